// The commands of salvix-cli once their arguments are parsed; each returns
// the exit code (Cli.h).
#pragma once

#include "cli/Cli.h"
#include "cli/SaveCommand.h"

#include <cstdio>
#include <string>
#include <vector>

// Which rows: those passing the list's filter, or the records named.
struct CRowChoice
{
    bool m_bDeletedOnly = false;
    bool m_bRecoverableOnly = false;  // deleted rows whose data can come back whole
    std::string m_strMatch;
    std::vector<DWORD> m_vecRecords;  // when not empty, these records only
};

// `list`: one line per shown row; bJson for JSON lines, else tab-separated
// text with a header line.
int RunList(const CSourceOptions& source, const CRowChoice& choice, bool bJson, std::FILE* pOut);

// `save`: the chosen rows into options.m_strOutput. bForce allows a folder
// on the disk being read.
int RunSave(const CSourceOptions& source, const CRowChoice& choice, const CSaveOptions& options, bool bForce);
