#include "session/SaveRun.h"

CSaveRun::CSaveRun(CScanSession& session, std::vector<DWORD> vecRecords, std::string strFolder)
    : m_session(session), m_vecRecords(std::move(vecRecords)), m_strFolder(std::move(strFolder))
{
}

CSaveRun::EStep CSaveRun::Step(DWORD dwWaitMs)
{
    if (m_dwError != 0)
        return EStep::eFailed;
    if (m_nNext >= m_vecRecords.size())
        return EStep::eDone;
    bool bBusy = false;
    const DWORD dwCode =
        m_session.TrySaveEntry(m_vecRecords[m_nNext], m_strFolder.c_str(), dwWaitMs, bBusy);
    if (bBusy)
        return EStep::eMore;
    if (dwCode != 0)
    {
        m_dwError = dwCode;
        return EStep::eFailed;
    }
    ++m_nNext;
    return m_nNext < m_vecRecords.size() ? EStep::eMore : EStep::eDone;
}
