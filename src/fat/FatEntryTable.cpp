#include "fat/FatEntryTable.h"

#include <algorithm>

namespace fat
{

DWORD CFatEntryTable::Add(const CWalkedEntry& entry, const char* pName, size_t nName, DWORD& dwId)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const WORD wLength = static_cast<WORD>(std::min<size_t>(nName, 0xFFFF));
    if (m_vecNameChunks.empty() || m_vecNameChunks.back().size() + wLength > kNameChunk)
    {
        if (m_vecNameChunks.size() >= 0xFFFFFFFFu / kNameChunk)
            return ERROR_FILE_TOO_LARGE;
        m_vecNameChunks.emplace_back();
        m_vecNameChunks.back().reserve(kNameChunk);
    }
    if (m_nEntries >= 0xFFFFFFFFu)
        return ERROR_FILE_TOO_LARGE;
    if (m_nEntries % kBlock == 0)
    {
        m_vecBlocks.emplace_back();
        m_vecBlocks.back().reserve(kBlock);
    }
    std::string& strChunk = m_vecNameChunks.back();
    CWalkedEntry kept = entry;
    kept.m_dwNameOffset = static_cast<DWORD>((m_vecNameChunks.size() - 1) * kNameChunk + strChunk.size());
    kept.m_wNameLength = wLength;
    strChunk.append(pName, wLength);
    m_vecBlocks.back().push_back(kept);
    dwId = static_cast<DWORD>(m_nEntries++);
    return 0;
}

bool CFatEntryTable::Get(DWORD dwId, CWalkedEntry& entry, std::string* pName) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (dwId >= m_nEntries)
        return false;
    entry = m_vecBlocks[dwId / kBlock][dwId % kBlock];
    if (pName)
        pName->assign(m_vecNameChunks[entry.m_dwNameOffset / kNameChunk], entry.m_dwNameOffset % kNameChunk,
                      entry.m_wNameLength);
    return true;
}

size_t CFatEntryTable::Count() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nEntries;
}

DWORD CFatEntryTable::AddFolder(std::string strText)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_vecFolders.push_back(std::move(strText));
    return static_cast<DWORD>(m_vecFolders.size() - 1);
}

std::string CFatEntryTable::Folder(size_t nFolder) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return nFolder < m_vecFolders.size() ? m_vecFolders[nFolder] : std::string();
}

size_t CFatEntryTable::FolderCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_vecFolders.size();
}

void CFatEntryTable::FoldersFrom(size_t nFrom, std::vector<std::string>& vecOut) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (size_t n = nFrom; n < m_vecFolders.size(); ++n)
        vecOut.push_back(m_vecFolders[n]);
}

}  // namespace fat
