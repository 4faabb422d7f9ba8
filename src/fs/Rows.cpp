#include "fs/Rows.h"

#include <algorithm>

CScanRow& CRowBatch::Add(DWORD dwId, const char* pName, size_t nName, DWORD dwFolder, BYTE byRowFlags)
{
    CScanRow row;
    row.m_dwRecord = dwId;
    row.m_dwNameOffset = static_cast<DWORD>(m_strNames.size());
    // Names are at most 255 UTF-16 units, so 765 bytes; anything longer is cut, not trusted.
    row.m_wNameLength = static_cast<WORD>(std::min<size_t>(nName, 0xFFFF));
    m_strNames.append(pName, row.m_wNameLength);
    row.m_dwFolder = dwFolder;
    row.m_byRowFlags = byRowFlags;
    m_vecRows.push_back(row);
    return m_vecRows.back();
}

void CRowBatch::AddDamaged(DWORD dwId)
{
    CScanRow row;
    row.m_dwRecord = dwId;
    row.m_dwNameOffset = static_cast<DWORD>(m_strNames.size());
    row.m_byRowFlags = CScanRow::kRowDamaged;
    m_vecRows.push_back(row);
}

std::string ChildPath(const std::string& strParent, const std::string& strName)
{
    if (!strParent.empty() && strParent.back() == '\\')
        return strParent + strName;
    return strParent + "\\" + strName;
}
