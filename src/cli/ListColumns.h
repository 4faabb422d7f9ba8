// The columns of `salvix-cli list`, in one table: their machine-readable
// names and how each row's value is written, as tab-separated text (a header
// line, then a line per row) or as JSON lines (an object per row).
#pragma once

#include "session/RowStore.h"

#include <string>

struct CListColumn
{
    enum EKind
    {
        eText,          // a JSON string
        eOptionalText,  // a JSON string, or null when empty
        eNumber,        // digits; null in JSON when empty
        eFlag,    // "1" or "0"; true or false in JSON
    };
    const char* m_pszName;
    EKind m_eKind;
    std::string (*m_fnValue)(const CRowStore& store, size_t nRow);
};

extern const CListColumn kListColumns[];
extern const size_t kListColumnCount;

std::string TsvHeader();
std::string TsvLine(const CRowStore& store, size_t nRow);
std::string JsonLine(const CRowStore& store, size_t nRow);

// The text as a JSON string, quotes included; UTF-8 passes as it is.
std::string JsonString(const std::string& str);
// The text as a tab-separated field: a tab, line break or other control
// character is written as \t, \n, \r or \xHH. A backslash stays as it is, so
// folders read as the window shows them (\a\b); JSON is the exact form.
std::string TsvField(const std::string& str);
// A time in 100-ns units since 1601 as ISO 8601: UTC with its "Z", or a
// wall-clock time (bWallClock) without a zone; empty for 0.
std::string Iso8601Time(ULONGLONG n64Time, bool bWallClock);
