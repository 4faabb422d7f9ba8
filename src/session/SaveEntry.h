// Saving one master-file-table entry into a file of the same name, with the
// entry's attribute flags, in a folder the user chose. The scan session calls
// these for every saved row; tests call them directly.
#pragma once

#include "ntfs/NTFSDrive.h"

#include <memory>
#include <mutex>

// The system a target path is built for. The names on the disk are Latin-1
// bytes; a POSIX file system wants them as UTF-8 and '/' between folder and
// name, Windows takes the bytes as they are after a backslash.
enum ETargetSystem
{
    eTargetPosix,
    eTargetWindows,
};

#ifdef _WIN32
const ETargetSystem kThisTargetSystem = eTargetWindows;
#else
const ETargetSystem kThisTargetSystem = eTargetPosix;
#endif

// 0 when pszName may be used as the name of a file inside the chosen folder,
// ERROR_INVALID_NAME (123) when it is empty, "." or "..", holds a separator or
// a control character, or (on Windows) is not a plain file name there: a
// device name, a reserved character, a trailing dot or blank.
DWORD CheckEntryName(const char* pszName, ETargetSystem eSystem = kThisTargetSystem);

// Builds folder + separator + name into pszTarget (MAX_PATH bytes). The
// separator is appended whatever the folder ends with. On failure pszTarget
// holds an empty string and the code says why: ERROR_INVALID_NAME (123) for a
// name CheckEntryName refuses, ERROR_FILENAME_EXCED_RANGE (206) when the path
// and its terminator do not fit in MAX_PATH bytes, ERROR_PATH_NOT_FOUND (3)
// for an empty folder, ERROR_INVALID_PARAMETER (87) for null arguments.
DWORD BuildTargetPath(const char* pszFolder, const char* pszName, char* pszTarget,
                      ETargetSystem eSystem = kThisTargetSystem);

// The entry's attribute flags reduced to those a file can be given when it is
// created: read-only, hidden, system, archive, normal, temporary, offline and
// not-indexed. Bits that would act as creation flags (delete-on-close,
// no-buffering, overlapped, ...) and those that describe how NTFS stored the
// data (directory, sparse, compressed, encrypted, reparse point) are dropped.
DWORD OutputFileFlags(DWORD dwFileFlags);

// What a save needs of a record: its data and its description.
struct CEntryContent
{
    MFTEntryInfo m_info = {};
    std::unique_ptr<BYTE[]> m_pData;
    DWORD m_dwLength = 0;
};

// Reads the record's data, then its description (the drive's lock held by the caller).
DWORD ReadEntryContent(CNTFSDrive& drive, DWORD dwRecordIndex, CEntryContent& content);

// Writes the content into pszFolder, in a file named after the record; an
// existing file of that name is replaced, unless it is read-only
// (ERROR_ACCESS_DENIED, 5) or not a regular file (a symbolic link, a pipe or
// device: ERROR_ACCESS_DENIED, so nothing outside the folder is ever
// written). The file carries the entry's read-only flag whether it was
// created or replaced. Returns 0 or the first error; a file whose write
// failed stays with what was written.
DWORD WriteEntryFile(const char* pszFolder, const CEntryContent& content);

// Both steps for record dwRecordIndex, every call on the drive made under lockDrive.
DWORD SaveEntry(CNTFSDrive& drive, std::mutex& lockDrive, DWORD dwRecordIndex,
                const char* pszFolder);

// WriteFile for the saved files, through the test seam.
BOOL WriteOutput(HANDLE hFile, const void* pData, DWORD dwCount, LPDWORD pdwWritten);
