#include "cli/Listing.h"

CListing::CListing(const std::string& strMatch, bool bDeletedOnly, std::function<void(size_t)> fnShown)
    : m_fnShown(std::move(fnShown))
{
    m_view.SetFilter(strMatch, bDeletedOnly);
}

DWORD CListing::Run(CScanSession& session, const CScanTarget& target)
{
    m_dwError = 0;
    m_dwUnread = 0;
    const DWORD dwCode = session.RunScan(&target, m_bStop, *this);
    return dwCode ? dwCode : m_dwError;
}

void CListing::OnCleared()
{
    m_store.Clear();
    m_view.Clear();
}

void CListing::OnRows(CRowBatch&& batch, DWORD, DWORD)
{
    const size_t nShown = m_view.Size();
    m_store.Append(std::move(batch));
    m_view.Append(m_store);
    for (size_t n = nShown; n < m_view.Size() && !m_bStop.load(); ++n)
        m_fnShown(m_view.StoreRow(n));
}
