#include "cli/ListColumns.h"

#include "session/RowText.h"
#include "session/SavePlan.h"

#include <cstdio>

namespace
{

std::string Flag(bool b)
{
    return b ? "1" : "0";
}

std::string Hex(DWORD dw)
{
    char szText[16];
    std::snprintf(szText, sizeof(szText), "0x%08x", static_cast<unsigned>(dw));
    return szText;
}

// The state as a machine word.
std::string StateWord(const CScanRow& row)
{
    if (row.m_byRowFlags & CScanRow::kRowDamaged)
        return std::string();
    switch (row.m_eState)
    {
    case eRowStateLive: return "live";
    case eRowStateRecoverable: return "recoverable";
    case eRowStatePartial: return "partial";
    case eRowStateOverwritten: return "overwritten";
    case eRowStateNoData: return "nodata";
    default: return "unknown";
    }
}

// The share still free, for the states that say it; empty otherwise.
std::string FreePercent(const CScanRow& row)
{
    const bool bTold = row.m_eState == eRowStateRecoverable || row.m_eState == eRowStatePartial ||
                       row.m_eState == eRowStateOverwritten;
    return bTold && !(row.m_byRowFlags & CScanRow::kRowDamaged) ? std::to_string(row.m_byFreePercent) : std::string();
}

}  // namespace

std::string Iso8601Time(ULONGLONG n64Time, bool bWallClock)
{
    // "2024-05-01 12:00:00" as stored; UTC gets its "Z", a clock time without a zone none.
    std::string strTime = TimeText(n64Time, true);
    if (strTime.empty())
        return strTime;
    strTime[strTime.find(' ')] = 'T';
    return bWallClock ? strTime : strTime + "Z";
}

const CListColumn kListColumns[] = {
    {"record", CListColumn::eNumber,
     [](const CRowStore& s, size_t n) { return std::to_string(s.Row(n).m_dwRecord); }},
    {"name", CListColumn::eText, [](const CRowStore& s, size_t n) { return s.Name(n); }},
    {"path", CListColumn::eText, [](const CRowStore& s, size_t n) { return s.FolderText(n); }},
    {"deleted", CListColumn::eFlag, [](const CRowStore& s, size_t n) { return Flag(s.Row(n).m_bNotInUse); }},
    {"folder", CListColumn::eFlag,
     [](const CRowStore& s, size_t n) { return Flag(IsFolderRow(s.Row(n))); }},
    {"clusters", CListColumn::eNumber,
     [](const CRowStore& s, size_t n) { return std::to_string(s.Row(n).m_dwClusters); }},
    {"flags", CListColumn::eText, [](const CRowStore& s, size_t n) { return Hex(s.Row(n).m_dwFileFlags); }},
    {"size", CListColumn::eNumber,
     [](const CRowStore& s, size_t n) {
         const CScanRow& row = s.Row(n);
         return row.m_byRowFlags & CScanRow::kRowHasSize ? std::to_string(row.m_n64Size) : std::string();
     }},
    {"modified", CListColumn::eOptionalText,
     [](const CRowStore& s, size_t n) {
         const CScanRow& row = s.Row(n);
         return Iso8601Time(row.m_n64Modified, (row.m_byRowFlags & CScanRow::kRowWallClock) != 0);
     }},
    {"state", CListColumn::eOptionalText, [](const CRowStore& s, size_t n) { return StateWord(s.Row(n)); }},
    {"free_percent", CListColumn::eNumber, [](const CRowStore& s, size_t n) { return FreePercent(s.Row(n)); }},
};
const size_t kListColumnCount = sizeof(kListColumns) / sizeof(kListColumns[0]);

std::string JsonString(const std::string& str)
{
    std::string strOut = "\"";
    for (const char c : str)
    {
        const unsigned char b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            (strOut += '\\') += c;
        else if (c == '\n')
            strOut += "\\n";
        else if (c == '\t')
            strOut += "\\t";
        else if (b < 0x20 || b == 0x7F)
        {
            char szEscape[8];
            std::snprintf(szEscape, sizeof(szEscape), "\\u%04x", b);
            strOut += szEscape;
        }
        else
            strOut += c;
    }
    return strOut + "\"";
}

std::string TsvField(const std::string& str)
{
    std::string strOut;
    for (const char c : str)
    {
        const unsigned char b = static_cast<unsigned char>(c);
        if (c == '\t')
            strOut += "\\t";
        else if (c == '\n')
            strOut += "\\n";
        else if (c == '\r')
            strOut += "\\r";
        else if (b < 0x20 || b == 0x7F)
        {
            char szEscape[8];
            std::snprintf(szEscape, sizeof(szEscape), "\\x%02x", b);
            strOut += szEscape;
        }
        else
            strOut += c;
    }
    return strOut;
}

std::string TsvHeader()
{
    std::string strLine;
    for (size_t i = 0; i < kListColumnCount; ++i)
        (strLine += i ? "\t" : "") += kListColumns[i].m_pszName;
    return strLine + "\n";
}

std::string TsvLine(const CRowStore& store, size_t nRow)
{
    std::string strLine;
    for (size_t i = 0; i < kListColumnCount; ++i)
        (strLine += i ? "\t" : "") += TsvField(kListColumns[i].m_fnValue(store, nRow));
    return strLine + "\n";
}

std::string JsonLine(const CRowStore& store, size_t nRow)
{
    std::string strLine = "{";
    for (size_t i = 0; i < kListColumnCount; ++i)
    {
        const CListColumn& column = kListColumns[i];
        const std::string strValue = column.m_fnValue(store, nRow);
        (strLine += i ? ",\"" : "\"") += column.m_pszName;
        strLine += "\":";
        // A value the row does not have (a folder's size, an unknown time) is null.
        if (strValue.empty() && (column.m_eKind == CListColumn::eNumber || column.m_eKind == CListColumn::eOptionalText))
            strLine += "null";
        else if (column.m_eKind == CListColumn::eText || column.m_eKind == CListColumn::eOptionalText)
            strLine += JsonString(strValue);
        else if (column.m_eKind == CListColumn::eFlag)
            strLine += strValue == "1" ? "true" : "false";
        else
            strLine += strValue;
    }
    return strLine + "}\n";
}
