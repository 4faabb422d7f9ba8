// The rows a scan lists, kept for the list and the save: compact rows in
// blocks that never move, their names and folders beside them, and each
// cell's text as the list shows it (RowText.h). No toolkit here.
#pragma once

#include "fs/Rows.h"
#include "platform/Win32.h"

#include <string>
#include <vector>

class CRowStore
{
public:
    void Clear();
    // Adds the batch's rows, then applies its updates.
    void Append(CRowBatch&& batch);
    size_t Size() const { return m_nRows; }
    // How many updates were applied since the store was last emptied.
    size_t UpdateCount() const { return m_nUpdates; }
    const CScanRow& Row(size_t nRow) const { return m_vecBlocks[nRow / kBlockRows][nRow % kBlockRows]; }
    std::string Name(size_t nRow) const;
    // The names live in chunks of at most kNameChunk bytes that never move,
    // one name after the other; a row's m_dwNameOffset holds its chunk in the
    // bits above kNameChunkBits and its place in the chunk below them.
    static constexpr DWORD kNameChunkBits = 22;
    static constexpr size_t kNameChunk = size_t(1) << kNameChunkBits;
    size_t NameChunkCount() const { return m_vecNameChunks.size(); }
    const std::string& NameChunk(size_t nChunk) const { return m_vecNameChunks[nChunk]; }
    // The text of the folder a row was in; empty when it names none.
    const std::string& FolderText(size_t nRow) const;
    size_t FolderCount() const { return m_vecFolders.size(); }
    const std::string& Folder(size_t nFolder) const { return m_vecFolders[nFolder]; }
    // The cell's text, UTF-8; "#" shows a row's id minus the number base
    // the batches said.
    std::string Text(size_t nRow, int nColumn) const;

private:
    // Rows live in blocks of a fixed size that never move: millions of rows
    // grow the store without a copy of all of them held beside the old.
    static constexpr size_t kBlockRows = 1u << 16;
    const char* NameAt(DWORD dwOffset) const
    {
        return m_vecNameChunks[dwOffset >> kNameChunkBits].data() + (dwOffset & (kNameChunk - 1));
    }
    DWORD KeepName(const char* pName, WORD wLength);
    // Rows of a scan come in the order of their records: found by halving.
    void ApplyUpdate(const CRowUpdate& update);

    std::vector<std::string> m_vecNameChunks;
    std::vector<std::vector<CScanRow>> m_vecBlocks;
    size_t m_nRows = 0;
    size_t m_nUpdates = 0;
    std::vector<std::string> m_vecFolders;
    DWORD m_dwNumberBase = 0;
};
