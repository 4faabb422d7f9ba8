#include "session/SaveRun.h"

#include "disk/DiskLayout.h"

CSaveRun::CSaveRun(CScanSession& session, std::vector<DWORD> vecRecords, std::string strFolder)
    : m_session(session), m_vecRecords(std::move(vecRecords)), m_strFolder(std::move(strFolder))
{
}

CSaveRun::EStep CSaveRun::Step(DWORD dwWaitMs)
{
    if (m_bCancelled)
        return EStep::eCancelled;
    if (m_dwError != 0)
        return EStep::eFailed;
    if (m_nNext >= m_vecRecords.size())
        return EStep::eDone;
    DWORD dwCode = 0;
    if (!m_save)
    {
        m_save = std::make_unique<CEntrySave>();
        bool bBusy = false;
        dwCode = m_session.BeginSave(m_vecRecords[m_nNext], m_strFolder, *m_save, dwWaitMs, bBusy);
        if (bBusy)
        {
            m_save.reset();
            return EStep::eMore;
        }
    }
    else
    {
        dwCode = m_save->Step();
    }
    if (dwCode != 0)
    {
        m_dwError = dwCode;
        return EStep::eFailed;
    }
    if (m_save->Done())
    {
        m_last.m_strName = m_save->Name();
        m_last.m_n64Done = m_save->BytesDone();
        m_last.m_n64Total = m_save->BytesTotal();
        m_last.m_nIndex = m_nNext;
        m_save.reset();
        ++m_nNext;
    }
    return m_nNext < m_vecRecords.size() ? EStep::eMore : EStep::eDone;
}

void CSaveRun::Cancel()
{
    if (m_save)
        m_save->Cancel();
    m_save.reset();
    m_bCancelled = true;
}

std::string ByteCountText(ULONGLONG n64Bytes)
{
    return FormatDiskSize(n64Bytes);
}

std::string CSaveRun::ProgressText() const
{
    std::string strText = "正在保存 " + Name();
    if (Count() > 1)
        strText += " (" + std::to_string((m_save ? m_nNext : m_last.m_nIndex) + 1) + "/" +
                   std::to_string(Count()) + ")";
    return strText + "\n" + ByteCountText(BytesDone()) + " / " + ByteCountText(BytesTotal());
}

int CSaveRun::Permille() const
{
    const ULONGLONG n64Total = BytesTotal();
    return n64Total == 0 ? 0 : static_cast<int>(BytesDone() * 1000 / n64Total);
}
