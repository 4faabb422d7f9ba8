#include "cli/Commands.h"

#include "cli/ListColumns.h"
#include "cli/Listing.h"
#include "cli/OutputCheck.h"
#include "session/Messages.h"

#include <algorithm>
#include <map>

namespace
{

// The scan's own failure: the partition cannot be read.
int ScanFailed(DWORD dwCode)
{
    PrintError("the partition cannot be read: " + ErrorSentence(dwCode));
    return eExitUnreadable;
}

// The rows of the named records, in the order named; false (with the error
// written) when one is not listed.
bool RowsOfRecords(const CRowStore& store, const std::vector<DWORD>& vecRecords, std::vector<size_t>& vecRows)
{
    std::map<DWORD, size_t> mapRows;
    for (DWORD dwRecord : vecRecords)
        mapRows[dwRecord] = store.Size();
    for (size_t n = 0; n < store.Size(); ++n)
    {
        auto it = mapRows.find(store.Row(n).m_dwRecord);
        if (it != mapRows.end())
            it->second = n;
    }
    for (DWORD dwRecord : vecRecords)
    {
        const size_t nRow = mapRows[dwRecord];
        if (nRow == store.Size())
        {
            PrintError("record " + std::to_string(dwRecord) +
                       " is not listed on this partition (salvix-cli list shows the records).");
            return false;
        }
        if (std::find(vecRows.begin(), vecRows.end(), nRow) == vecRows.end())
            vecRows.push_back(nRow);
    }
    return true;
}

// Records lost to bad sectors are said once on standard error; true when there were any.
bool ReportUnread(const CListing& listing)
{
    if (listing.UnreadRecords() == 0)
        return false;
    PrintError(UnreadRecordsText(listing.UnreadRecords()));
    return true;
}

// Without the volume's allocation map the listing is whole, its states not known.
void ReportNoMap(const CScanSession& session)
{
    if (session.ClusterMapCode() != 0)
        PrintError("the volume's allocation map ($Bitmap) cannot be read, so states are unknown: " +
                   ErrorSentence(session.ClusterMapCode()));
}

}  // namespace

int RunList(const CSourceOptions& source, const CRowChoice& choice, bool bJson, std::FILE* pOut)
{
    CScanTarget target;
    if (const int nExit = FindPartition(source, target))
        return nExit;
    CScanSession session;
    // The header goes out with the first row, or at the end of an empty
    // listing: a partition that cannot be read prints nothing.
    bool bHeader = bJson;
    CListing* pListing = nullptr;
    CListing listing(choice.m_strMatch, choice.m_bDeletedOnly, choice.m_bRecoverableOnly, [&](size_t nRow) {
        if (!bHeader)
            std::fputs(TsvHeader().c_str(), pOut);
        bHeader = true;
        const std::string strLine = bJson ? JsonLine(pListing->Store(), nRow) : TsvLine(pListing->Store(), nRow);
        // Nobody reads any more (a closed pipe): the scan stops.
        if (std::fputs(strLine.c_str(), pOut) < 0)
            pListing->Stop();
    });
    pListing = &listing;
    const DWORD dwCode = listing.Run(session, target);
    if (!bHeader && !dwCode)
        std::fputs(TsvHeader().c_str(), pOut);
    std::fflush(pOut);
    if (dwCode)
        return ScanFailed(dwCode);
    ReportNoMap(session);
    return ReportUnread(listing) ? eExitProblems : eExitOk;
}

int RunSave(const CSourceOptions& source, const CRowChoice& choice, const CSaveOptions& options, bool bForce)
{
    CScanTarget target;
    if (const int nExit = FindPartition(source, target))
        return nExit;
    if (!bForce && FolderOnSourceDisk(options.m_strOutput, target.m_dwDisk))
    {
        PrintError(options.m_strOutput + " is on the disk being read, where saving could overwrite what is still "
                                         "to be recovered: choose a folder on another disk, or add --force.");
        return eExitUsage;
    }
    CScanSession session;
    std::vector<size_t> vecRows;
    const bool bByRecord = !choice.m_vecRecords.empty();
    CListing listing(bByRecord ? std::string() : choice.m_strMatch, !bByRecord && choice.m_bDeletedOnly,
                     !bByRecord && choice.m_bRecoverableOnly,
                     [&](size_t nRow) {
                         if (!bByRecord)
                             vecRows.push_back(nRow);
                     });
    const DWORD dwScan = listing.Run(session, target);
    // A table that cannot be read to its end still gives the rows before the
    // failure: those are saved, and the run counts as one with problems.
    if (dwScan && listing.Store().Size() == 0)
        return ScanFailed(dwScan);
    if (dwScan)
        PrintError("the table could be read only in part, the rows before the failure are saved: " +
                   ErrorSentence(dwScan));
    ReportNoMap(session);
    const bool bUnread = ReportUnread(listing);
    if (bByRecord && !RowsOfRecords(listing.Store(), choice.m_vecRecords, vecRows))
        return eExitUsage;
    const int nExit = SaveRows(session, listing.Store(), vecRows, options);
    return dwScan || bUnread ? std::max(nExit, static_cast<int>(eExitProblems)) : nExit;
}
