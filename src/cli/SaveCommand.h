// `salvix-cli save`: the chosen rows of a listing written into a folder, with
// a progress line on standard error when that is a terminal, and a report at
// the end (also written as 保存结果.txt beside the files when anything failed).
#pragma once

#include "session/RowStore.h"
#include "session/ScanSession.h"

#include <string>
#include <vector>

struct CSaveOptions
{
    std::string m_strOutput;  // UTF-8; made when missing
    bool m_bFolders = false;  // each file under its folder path, a folder row for its whole tree
};

// vecRows: rows of the store, in the order to save them. Returns the exit
// code: 0 when every file was saved, 1 when any was not.
int SaveRows(CScanSession& session, const CRowStore& store, const std::vector<size_t>& vecRows,
             const CSaveOptions& options);
