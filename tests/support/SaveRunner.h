// Runs a save of the session to its end as a window would, without one, and
// finds the rows of a scan by their folder and name. Builds on Windows too.
#pragma once

#include "fs/Rows.h"
#include "session/SaveRun.h"

#include <functional>
#include <string>

namespace salvix_test
{

// Steps the run until it ends; fnBetween runs after every step that asks for
// more (a fault set, a scan started, a cancel). The end, or eMore when it
// never came.
inline CSaveRun::EStep RunToEnd(CSaveRun& run, const std::function<void(CSaveRun&)>& fnBetween = {})
{
    for (unsigned nStep = 0; nStep < 1000000; ++nStep)
    {
        const CSaveRun::EStep eStep = run.Step(1000);
        if (eStep != CSaveRun::EStep::eMore)
            return eStep;
        if (fnBetween)
            fnBetween(run);
    }
    return CSaveRun::EStep::eMore;
}

// The store row that lists strPath ("\a\report.txt"), or the store's size.
inline size_t RowOfPath(const CRowStore& store, const std::string& strPath)
{
    for (size_t nRow = 0; nRow < store.Size(); ++nRow)
        if (!store.FolderText(nRow).empty() && ChildPath(store.FolderText(nRow), store.Name(nRow)) == strPath)
            return nRow;
    return store.Size();
}

}  // namespace salvix_test
