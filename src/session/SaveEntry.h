// Saving one master-file-table entry into a file of the name its owner gave
// it, with the entry's attribute flags, in a folder the user chose. The scan
// session calls these for every saved row; tests call them directly.
#pragma once

#include "ntfs/NTFSDrive.h"
#include "session/TargetPath.h"

#include <memory>
#include <mutex>
#include <string>

// What a save needs of a record: its data, its description and its name.
struct CEntryContent
{
    MFTEntryInfo m_info = {};
    std::string m_strName;  // UTF-8, the whole name
    std::unique_ptr<BYTE[]> m_pData;
    DWORD m_dwLength = 0;
};

// Reads the record's data, then its description (the drive's lock held by the caller).
DWORD ReadEntryContent(CNTFSDrive& drive, DWORD dwRecordIndex, CEntryContent& content);

// Writes the content into strFolder (UTF-8), in a file of the entry's name;
// an existing file of that name is replaced, unless it is read-only
// (ERROR_ACCESS_DENIED, 5) or not a regular file (a symbolic link, a pipe or
// device: ERROR_ACCESS_DENIED, so nothing outside the folder is ever
// written). The file carries the entry's read-only flag whether it was
// created or replaced. Returns 0 or the first error; a file whose write
// failed stays with what was written.
DWORD WriteEntryFile(const std::string& strFolder, const CEntryContent& content);

// Both steps for record dwRecordIndex, every call on the drive made under lockDrive.
DWORD SaveEntry(CNTFSDrive& drive, std::mutex& lockDrive, DWORD dwRecordIndex,
                const std::string& strFolder);

// WriteFile for the saved files, through the test seam.
BOOL WriteOutput(HANDLE hFile, const void* pData, DWORD dwCount, LPDWORD pdwWritten);
