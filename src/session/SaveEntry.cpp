#include "session/SaveEntry.h"

#include "platform/FaultInjection.h"
#include "platform/Platform.h"

#include <algorithm>

namespace
{

// A code for a failed call even when the platform left none, so that a failure
// is never taken for success.
DWORD LastErrorOr(DWORD dwFallback)
{
    DWORD dwError = GetLastError();
    return dwError ? dwError : dwFallback;
}

DWORD SeekOutput(HANDLE hFile, ULONGLONG n64Offset)
{
    LONG lHigh = static_cast<LONG>(n64Offset >> 32);
    SetLastError(NO_ERROR);
    if (SetFilePointer(hFile, static_cast<LONG>(static_cast<DWORD>(n64Offset)), &lHigh, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return GetLastError();
    return 0;
}

void RemoveOutput(const std::string& strTarget)
{
#ifdef _WIN32
    const std::wstring strWide = WideFromUtf8(strTarget);
    SetFileAttributesW(strWide.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(strWide.c_str());
#else
    DeleteFileA(strTarget.c_str());
#endif
}

}  // namespace

BOOL WriteOutput(HANDLE hFile, const void* pData, DWORD dwCount, LPDWORD pdwWritten)
{
    DWORD dwAsk = dwCount;
    DWORD dwInjected = 0;
    if (faultseam::Active())
    {
        LONG lHigh = 0;
        const DWORD dwLow = SetFilePointer(hFile, 0, &lHigh, FILE_CURRENT);
        const ULONGLONG n64Pos = (static_cast<ULONGLONG>(static_cast<DWORD>(lHigh)) << 32) | dwLow;
        dwAsk = faultseam::ShapeWrite(n64Pos, dwCount, dwInjected);
    }
    faultseam::CountWrite();
    DWORD dwWritten = 0;
    BOOL bOk = WriteFile(hFile, pData, dwAsk, &dwWritten, nullptr);
    if (pdwWritten)
        *pdwWritten = dwWritten;
    if (bOk && dwInjected)
    {
        SetLastError(dwInjected);
        return FALSE;
    }
    return bOk;
}

CEntrySave::~CEntrySave()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        Fail(true);
    if (m_hOwnDevice != INVALID_HANDLE_VALUE)
        CloseHandle(m_hOwnDevice);
}

DWORD CEntrySave::Begin(CNTFSDrive& drive, DWORD dwRecord, const std::string& strFolder, HANDLE hOwnDevice)
{
    m_hOwnDevice = hOwnDevice;
    MFTEntryInfo info;
    MFTEntryDetails details;
    // The file's own bytes: its unnamed stream, never its named ones glued on.
    if (DWORD dwError = drive.OpenFileStream(dwRecord, m_data))
        return dwError;
    if (m_hOwnDevice != INVALID_HANDLE_VALUE)
        m_data.SetDevice(m_hOwnDevice);
    // The name may be in an extension record that only a list on the disk names.
    if (DWORD dwError = drive.GetEntryDetails(dwRecord, info, details, true))
        return dwError;
    m_strName = std::move(details.strName);
    if (DWORD dwError = BuildTargetPath(strFolder, m_strName, m_strTarget))
        return dwError;
    if (DWORD dwError = CheckExistingTarget(m_strTarget))
        return dwError;
    // The one buffer a save holds, whatever the file's size.
    m_dwPieceSize = static_cast<DWORD>(std::min<ULONGLONG>(kPieceSize, m_data.Size()));
    m_pPiece.reset(AllocBytes(m_dwPieceSize));
    if (!m_pPiece)
        return ERROR_NOT_ENOUGH_MEMORY;
    SetLastError(NO_ERROR);
    m_hFile = CreateOutputFile(m_strTarget, OutputFileFlags(info.dwFileFlags));
    if (m_hFile == INVALID_HANDLE_VALUE)
        return LastErrorOr(ERROR_GEN_FAILURE);
    return m_data.Size() == 0 ? Finish() : 0;
}

DWORD CEntrySave::WritePiece(ULONGLONG n64Offset, DWORD dwCount)
{
    if (DWORD dwError = SeekOutput(m_hFile, n64Offset))
        return dwError;
    DWORD dwWritten = 0;
    SetLastError(NO_ERROR);
    if (!WriteOutput(m_hFile, m_pPiece.get(), dwCount, &dwWritten))
        return LastErrorOr(ERROR_WRITE_FAULT);
    // A write that reports success with bytes missing still lost data.
    return dwWritten == dwCount ? 0 : ERROR_WRITE_FAULT;
}

DWORD CEntrySave::Step()
{
    if (m_bDone || m_hFile == INVALID_HANDLE_VALUE)
        return 0;
    const ULONGLONG n64Size = m_data.Size();
    // Holes are passed over: the file grows past them only where data follows,
    // or at the end.
    while (m_n64Done < n64Size)
    {
        const ULONGLONG n64Hole = m_data.HoleLength(m_n64Done);
        if (n64Hole == 0)
            break;
        m_n64Done += std::min(n64Hole, n64Size - m_n64Done);
        if (!m_bSparse)
            MarkSparse();
        m_bSparse = true;
    }
    if (m_n64Done >= n64Size)
        return Finish();
    const DWORD dwCount = static_cast<DWORD>(
        std::min<ULONGLONG>({m_dwPieceSize, m_data.DataLength(m_n64Done), n64Size - m_n64Done}));
    if (DWORD dwError = m_data.Read(m_n64Done, m_pPiece.get(), dwCount))
    {
        // What could not be read must not stand as a file that looks whole.
        Fail(true);
        return dwError;
    }
    if (DWORD dwError = WritePiece(m_n64Done, dwCount))
    {
        Fail(false);
        return dwError;
    }
    m_n64Done += dwCount;
    return m_n64Done >= n64Size ? Finish() : 0;
}

void CEntrySave::MarkSparse()
{
#ifdef _WIN32
    // NTFS keeps holes only in files marked sparse; elsewhere they are zeros.
    DWORD dwReturned = 0;
    DeviceIoControl(m_hFile, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &dwReturned, nullptr);
#endif
}

DWORD CEntrySave::Finish()
{
    // A file that ends in a hole ends at its size all the same.
    if (m_bSparse)
    {
        DWORD dwError = SeekOutput(m_hFile, m_data.Size());
        if (dwError == 0 && !SetEndOfFile(m_hFile))
            dwError = LastErrorOr(ERROR_WRITE_FAULT);
        if (dwError)
        {
            Fail(false);
            return dwError;
        }
    }
    CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_bDone = true;
    return 0;
}

void CEntrySave::Fail(bool bRemove)
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    if (bRemove)
        RemoveOutput(m_strTarget);
    m_bDone = true;
}

void CEntrySave::Cancel()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        Fail(true);
    m_bDone = true;
}

DWORD SaveEntry(CNTFSDrive& drive, std::mutex& lockDrive, DWORD dwRecordIndex,
                const std::string& strFolder)
{
    CEntrySave save;
    DWORD dwError = 0;
    {
        // The gathering under one hold, so that a scan reopening the drive in
        // between cannot pair one volume's data with another's name.
        std::lock_guard<std::mutex> lock(lockDrive);
        dwError = save.Begin(drive, dwRecordIndex, strFolder);
    }
    while (dwError == 0 && !save.Done())
    {
        std::lock_guard<std::mutex> lock(lockDrive);
        dwError = save.Step();
    }
    return dwError;
}
