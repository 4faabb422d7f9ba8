// The folder each listed file was in, from the volume's root, as Windows
// shows NTFS paths: "\" for the root, "\文档\2024年" two folders down. Found by
// following the parent reference of each name through the table, once per
// folder. A parent whose record now holds something else (its sequence
// number moved on while it is in use, or it is no folder), cannot be read, or
// loops, is not guessed at: the path then starts with "?\" and shows only
// what could be followed.
#pragma once

#include "fs/Rows.h"
#include "ntfs/NTFSDrive.h"

#include <string>
#include <unordered_map>
#include <vector>

class CFolderPaths
{
public:
    // The folder a name's parent reference points at, as an index of Text();
    // computed the first time and kept. The drive is asked under the caller's lock.
    DWORD FolderOf(CNTFSDrive& drive, ULONGLONG n64ParentRef);
    const std::string& Text(DWORD dwFolder) const { return m_vecTexts[dwFolder]; }
    size_t Count() const { return m_vecTexts.size(); }
    void Clear();

    // Folders deeper than this are taken for a loop.
    static const int kMaxDepth = 300;
    static const DWORD kRootRecord = 5;

private:
    DWORD Add(const std::string& strText, ULONGLONG n64Ref);

    std::vector<std::string> m_vecTexts;
    std::unordered_map<ULONGLONG, DWORD> m_mapByRef;
};
