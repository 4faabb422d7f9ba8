#include "cli/Listing.h"

CListing::CListing(const std::string& strMatch, bool bDeletedOnly, bool bRecoverableOnly,
                   std::function<void(size_t)> fnShown)
    : m_fnShown(std::move(fnShown))
{
    m_view.SetFilter(strMatch, bDeletedOnly, bRecoverableOnly);
}

DWORD CListing::Run(CScanSession& session, const CScanTarget& target)
{
    m_dwError = 0;
    m_dwUnread = 0;
    const DWORD dwCode = session.RunScan(&target, m_bStop, *this);
    // What no later record completed is shown as it stands.
    ShowReady(true);
    return dwCode ? dwCode : m_dwError;
}

void CListing::OnCleared()
{
    m_store.Clear();
    m_view.Clear();
    m_nNext = 0;
}

void CListing::OnRows(CRowBatch&& batch, DWORD, DWORD)
{
    m_store.Append(std::move(batch));
    m_view.Append(m_store);
    ShowReady(false);
}

void CListing::ShowReady(bool bEnd)
{
    for (; m_nNext < m_store.Size() && !m_bStop.load(); ++m_nNext)
    {
        if (!bEnd && (m_store.Row(m_nNext).m_byRowFlags & CScanRow::kRowStatePending))
            break;
        if (m_view.Passes(m_store, m_nNext))
            m_fnShown(m_nNext);
    }
}
