#include "session/SaveRun.h"

#include "disk/Disk.h"
#include "disk/DiskLayout.h"
#include "platform/Platform.h"
#include "session/SaveTargets.h"

#include <algorithm>

namespace
{

// Codes of the destination that every later file would meet too.
bool StopsEveryFile(DWORD dwCode)
{
    return dwCode == ERROR_DISK_FULL || dwCode == ERROR_HANDLE_DISK_FULL || dwCode == ERROR_DISK_QUOTA_EXCEEDED ||
           dwCode == ERROR_WRITE_PROTECT;
}

// Codes of a read that may mean the disk itself has gone.
bool MayBeGone(DWORD dwCode)
{
    return IsUnreadableCode(dwCode) || dwCode == ERROR_DEV_NOT_EXIST || dwCode == ERROR_NOT_READY ||
           dwCode == ERROR_INVALID_HANDLE || dwCode == ERROR_DEVICE_REMOVED;
}

}  // namespace

CSaveRun::CSaveRun(CScanSession& session, CSavePlan plan, std::string strFolder)
    : m_session(session), m_plan(std::move(plan)), m_strFolder(std::move(strFolder))
{
}

CSaveRun::~CSaveRun() = default;

DWORD CSaveRun::Bind(DWORD dwWaitMs, bool& bBusy)
{
    if (m_strFolder.empty())
        return ERROR_PATH_NOT_FOUND;  // no folder chosen: never the root by accident
    auto pVolume = std::make_unique<CSaveVolume>();
    if (DWORD dwError = m_session.OpenSaveVolume(*pVolume, dwWaitMs, bBusy))
        return dwError;
    if (bBusy)
        return 0;
    if (DWORD dwError = ProbeFolder(m_strFolder))
        return dwError;
    size_t nNameMax = 0, nPathMax = 0;
    FolderLimits(m_strFolder, nNameMax, nPathMax);
    m_pTargets = std::make_unique<CSaveTargets>(m_strFolder, nNameMax, nPathMax);
    m_pVolume = std::move(pVolume);
    return 0;
}

CSaveRun::EStep CSaveRun::Step(DWORD dwWaitMs)
{
    if (m_bEnded)
        return m_eEnd;
    if (m_bCancelled)
        return End(EStep::eCancelled);
    if (!m_bBound)
    {
        bool bBusy = false;
        if (DWORD dwError = Bind(dwWaitMs, bBusy))
        {
            m_dwFirstError = dwError;
            m_report.SetStopped(m_strFolder, dwError, m_plan.FileCount());
            return End(EStep::eStopped);
        }
        m_bBound = !bBusy;
        return EStep::eMore;
    }
    if (m_pSave)
        StepEntry();
    else if (m_nNext < m_plan.Count())
        StartItem();
    if (m_bEnded)
        return m_eEnd;
    return !m_pSave && m_nNext >= m_plan.Count() ? End(EStep::eDone) : EStep::eMore;
}

std::string CSaveRun::What()
{
    if (!m_bHaveDetails || m_desc.m_strName.empty())
        return "记录 " + std::to_string(m_dwRecord);
    return ChildPath(m_desc.m_strFolder, m_desc.m_strName);
}

void CSaveRun::StartItem()
{
    const size_t nItem = m_nNext;
    m_dwRecord = m_plan.Record(nItem);
    m_bHaveDetails = false;
    DWORD dwError = m_pVolume->m_pFs->Describe(m_dwRecord, m_desc);
    m_bHaveDetails = dwError == 0;
    const bool bFolder = m_plan.IsFolder(nItem) || (m_bHaveDetails && m_desc.m_bDirectory);
    if (bFolder && !m_bHaveDetails)
    {
        m_report.AddNotSaved(What(), dwError);
        ++m_nNext;
        return;
    }
    if (bFolder)
        return FolderItem(m_desc);
    ++m_nFilesStarted;
    m_strShownName = m_bHaveDetails ? m_desc.m_strName : "记录 " + std::to_string(m_dwRecord);
    m_n64ShownDone = m_n64ShownTotal = 0;
    if (dwError != 0)
        return Failed(dwError, CEntrySave::ESide::eData);
    DWORD dwFolder = CSaveTargets::kChosen;
    std::string strTarget, strFinal;
    if (m_plan.Mode() == ESaveMode::eFolders)
        dwError = m_pTargets->Folder(m_desc.m_strFolder, dwFolder);
    if (dwError == 0)
        dwError = m_pTargets->FileTarget(dwFolder, m_desc.m_strName, m_dwRecord, strTarget, strFinal);
    if (dwError != 0)
        return Failed(dwError, CEntrySave::ESide::eDestination);
    m_strSavedAs = strTarget.substr(std::min(strTarget.size(), m_strFolder.size() + 1));
    m_strShownName = strFinal;
    m_pSave = std::make_unique<CEntrySave>();
    dwError = m_pSave->Begin(*m_pVolume->m_pFs, m_dwRecord, strTarget, m_desc);
    m_n64ShownTotal = m_pSave->BytesTotal();
    if (dwError != 0)
        return Failed(dwError, m_pSave->FailedSide());
    if (m_pSave->Done())
        Finished();
}

void CSaveRun::FolderItem(const CEntryDescription& desc)
{
    ++m_nNext;
    // A folder is no file: a flat save passes over it, a save with folders
    // makes it (so that an empty one is kept too).
    if (m_plan.Mode() == ESaveMode::eFlat)
        return;
    DWORD dwFolder = CSaveTargets::kChosen;
    DWORD dwError = m_pTargets->Folder(desc.m_strFolder, dwFolder);
    if (dwError == 0)
        dwError = m_pTargets->ChildFolder(dwFolder, desc.m_strName.empty() ? "记录_" + std::to_string(m_dwRecord)
                                                                         : desc.m_strName,
                                          dwFolder);
    if (dwError == 0)
        return;
    // A folder that cannot be made: said like a file, and the destination
    // looked at as for a file.
    --m_nNext;
    Failed(dwError, CEntrySave::ESide::eDestination, false);
}

void CSaveRun::StepEntry()
{
    const DWORD dwError = m_pSave->Step();
    m_n64ShownDone = m_pSave->BytesDone();
    if (dwError != 0)
        return Failed(dwError, m_pSave->FailedSide());
    if (m_pSave->Done())
        Finished();
}

void CSaveRun::Finished()
{
    const std::string strWhat = What();
    m_report.AddSaved(m_pSave->BytesTotal());
    if (m_pSave->UnreadableBytes() > 0)
        m_report.AddUnreadable(strWhat, m_pSave->UnreadableBytes());
    BYTE byFreePercent = 0;
    const ERowState eState = m_plan.Overwritten(m_nNext, byFreePercent);
    if (eState != eRowStateUnknown)
        m_report.AddOverwritten(strWhat, eState == eRowStateOverwritten, byFreePercent);
    if (m_pSave->Name() != m_desc.m_strName)
        m_report.AddRenamed(strWhat, m_strSavedAs);
    m_n64ShownDone = m_pSave->BytesDone();
    m_pSave.reset();
    ++m_nFilesEnded;
    ++m_nNext;
}

void CSaveRun::Failed(DWORD dwCode, CEntrySave::ESide eSide, bool bFile)
{
    m_pSave.reset();
    if (m_dwFirstError == 0)
        m_dwFirstError = dwCode;
    bool bStop = eSide == CEntrySave::ESide::eSource;
    DWORD dwStop = dwCode;
    if (!bStop && eSide == CEntrySave::ESide::eDestination)
    {
        // Is it this file, or the folder every file goes to?
        bStop = StopsEveryFile(dwCode) || (dwStop = ProbeFolder(m_strFolder)) != 0;
        if (StopsEveryFile(dwCode))
            dwStop = dwCode;
    }
    else if (!bStop && MayBeGone(dwCode))
    {
        // Is it this file, or the disk every file is read from?
        bStop = (dwStop = m_pVolume->Probe()) != 0;
    }
    m_report.AddNotSaved(What(), dwCode);
    m_nFilesEnded += bFile ? 1 : 0;
    ++m_nNext;
    if (bStop)
        Stop(dwStop);
}

void CSaveRun::Stop(DWORD dwCode)
{
    size_t nLeft = 0;
    for (size_t nItem = m_nNext; nItem < m_plan.Count(); ++nItem)
        nLeft += m_plan.IsFolder(nItem) ? 0 : 1;
    m_report.SetStopped(What(), dwCode, nLeft);
    End(EStep::eStopped);
}

void CSaveRun::Cancel()
{
    if (m_pSave)
        m_pSave->Cancel();
    m_pSave.reset();
    m_bCancelled = true;
}

CSaveRun::EStep CSaveRun::End(EStep eEnd)
{
    if (m_bEnded)
        return m_eEnd;
    m_bEnded = true;
    m_eEnd = eEnd;
    if (eEnd == EStep::eCancelled)
    {
        size_t nLeft = 0;
        for (size_t nItem = m_nNext; nItem < m_plan.Count(); ++nItem)
            nLeft += m_plan.IsFolder(nItem) ? 0 : 1;
        m_report.SetCancelled(nLeft);
    }
    if ((m_plan.FileCount() > 1 || m_bReportOfOne) && m_report.HasProblems() && m_pTargets)
        WriteReportFile();
    m_pVolume.reset();  // the disk is let go at once
    return eEnd;
}

void CSaveRun::WriteReportFile()
{
    std::string strTarget, strFinal;
    m_dwReportError = m_pTargets->FileTarget(CSaveTargets::kChosen, CSaveReport::kFileName, 0, strTarget, strFinal, true);
    if (m_dwReportError != 0)
        return;
    const std::string strText = m_report.Text();
    SetLastError(NO_ERROR);
    HANDLE hFile = CreateOutputFile(strTarget, FILE_ATTRIBUTE_NORMAL);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        m_dwReportError = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
        return;
    }
    DWORD dwWritten = 0;
    if (!WriteOutput(hFile, strText.data(), static_cast<DWORD>(strText.size()), &dwWritten) ||
        dwWritten != strText.size())
        m_dwReportError = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    CloseHandle(hFile);
    if (m_dwReportError == 0)
        m_strReportPath = strTarget;
    else
        RemoveOutput(strTarget);
}

CSaveOutcome CSaveRun::Outcome() const
{
    CSaveOutcome outcome;
    const bool bNothingTried = m_nFilesStarted == 0 && m_report.StopCode() != 0;
    const bool bOneFileFailed = m_plan.FileCount() <= 1 && m_report.NotSaved() > 0;
    if (bNothingTried || bOneFileFailed)
    {
        // One code says it all, as it always has.
        outcome.m_eKind = CSaveOutcome::eErrorBox;
        outcome.m_dwCode = m_dwFirstError ? m_dwFirstError : m_report.StopCode();
        return outcome;
    }
    const bool bOnlyFolders = m_plan.FileCount() == 0 && m_plan.FoldersPassedOver() > 0;
    if (!m_report.HasAnythingToSay() && !bOnlyFolders)
        return outcome;
    outcome.m_eKind = CSaveOutcome::eReportBox;
    outcome.m_strReport = m_report.Text();
    if (bOnlyFolders)
        outcome.m_strReport += "\n所选的 " + std::to_string(m_plan.FoldersPassedOver()) +
                               " 个文件夹不作为文件保存。要保存文件夹和其中的文件，请选择“保存（保留目录结构）”。\n";
    if (!m_strReportPath.empty())
        outcome.m_strReport += "\n本报告已保存为 " + m_strReportPath + "\n";
    else if (m_dwReportError != 0)
        outcome.m_strReport += "\n" + std::string(CSaveReport::kFileName) + " 未能写入：" + ReasonText(m_dwReportError) + "\n";
    return outcome;
}

ULONGLONG CSaveRun::BytesDone() const
{
    return m_pSave ? m_pSave->BytesDone() : m_n64ShownDone;
}

ULONGLONG CSaveRun::BytesTotal() const
{
    return m_pSave ? m_pSave->BytesTotal() : m_n64ShownTotal;
}

std::string ByteCountText(ULONGLONG n64Bytes)
{
    return FormatDiskSize(n64Bytes);
}

std::string CSaveRun::ProgressText() const
{
    std::string strText = "正在保存 " + Name();
    if (FileCount() > 1)
        strText += " (" + std::to_string(std::max<size_t>(m_nFilesStarted, 1)) + "/" + std::to_string(FileCount()) + ")";
    return strText + "\n" + ByteCountText(BytesDone()) + " / " + ByteCountText(BytesTotal());
}

int CSaveRun::Permille() const
{
    const ULONGLONG n64Total = BytesTotal();
    const ULONGLONG n64File = n64Total == 0 ? 0 : std::min<ULONGLONG>(BytesDone() * 1000 / n64Total, 1000);
    if (FileCount() <= 1)
        return static_cast<int>(n64File);
    // Files ended count whole; the file in hand by its bytes.
    const ULONGLONG n64Ended = std::min(m_nFilesEnded, FileCount());
    const ULONGLONG n64InHand = m_pSave ? n64File : 0;
    return static_cast<int>(std::min<ULONGLONG>((n64Ended * 1000 + n64InHand) / FileCount(), 1000));
}

bool DestinationOnSourceDisk(const CScanSession& session, const std::string& strFolder)
{
#ifdef _WIN32
    const std::string strSource = DiskOpenName(session.Disk());
#else
    const std::string strSource = DiskPath(session.Disk());
#endif
    // An image file is never the disk a folder lies on.
    const std::vector<std::string> vecSource = DisksOfDevice(strSource);
    if (vecSource.empty())
        return false;
    for (const std::string& strDisk : DisksHoldingFolder(strFolder))
        if (std::find(vecSource.begin(), vecSource.end(), strDisk) != vecSource.end())
            return true;
    return false;
}

const char* SameDiskWarningText()
{
    return "所选文件夹与正在恢复的磁盘在同一块磁盘上：保存到这里可能覆盖仍待恢复的文件。\n"
           "最好保存到另一块磁盘。仍要保存到这里吗？";
}
