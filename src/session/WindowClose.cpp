#include "session/WindowClose.h"

#include "session/ScanState.h"

bool CCloseConfirmation::MayClose(int nResult, size_t nRowsListed, const FnAsk& fnAsk, CSaveGuard& guard)
{
    if (!m_bConfirmed)
    {
        const char* pszQuestion = CloseQuestion(nRowsListed);
        if (pszQuestion && !fnAsk(pszQuestion))
            return false;
        m_bConfirmed = true;
    }
    return guard.MayClose(nResult);
}
