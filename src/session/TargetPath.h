// Where a saved file goes: the checks on the name it is saved under, the path
// built from the chosen folder and that name, and the creation of files and
// folders, for the system the program runs on. Names and folders are UTF-8
// here; Windows gets them through its wide-character API with the "\\?\"
// prefix, so any name survives whatever the code page, and paths may be
// as long as the file system takes (not MAX_PATH).
#pragma once

#include "platform/Win32.h"

#include <string>

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

// 0 when strName (UTF-8) may be used as the name of a file inside the chosen
// folder, ERROR_INVALID_NAME (123) when it is empty, "." or "..", holds a
// separator, a control character (C0, DEL or C1) or one that changes the
// direction of text, or (on Windows) is not a plain file name there: a device
// name, a reserved character, a trailing dot or blank. SafeFileName makes
// any name into one that passes.
DWORD CheckEntryName(const std::string& strName, ETargetSystem eSystem = kThisTargetSystem);

// folder + separator + name into strTarget; the separator is appended whatever
// the folder ends with. On failure strTarget is empty and the code says why:
// 123 for a name CheckEntryName refuses; ERROR_PATH_NOT_FOUND (3) for an empty
// folder; ERROR_FILENAME_EXCED_RANGE (206) for a name longer than nNameMax or
// a path longer than nPathMax (as NameLength counts them; FolderLimits gives
// the system's own).
DWORD BuildTargetPath(const std::string& strFolder, const std::string& strName,
                      std::string& strTarget, ETargetSystem eSystem = kThisTargetSystem,
                      size_t nNameMax = 255, size_t nPathMax = 4095);

// The entry's attribute flags reduced to those a file can be given when it is
// created: read-only, hidden, system, archive, normal, temporary, offline and
// not-indexed. Bits that would act as creation flags (delete-on-close,
// no-buffering, overlapped, ...) and those that describe how NTFS stored the
// data (directory, sparse, compressed, encrypted, reparse point) are dropped.
DWORD OutputFileFlags(DWORD dwFileFlags);

// An existing file at the target that is not a plain file, or that is one of
// the disks the program reads, is never replaced: ERROR_ACCESS_DENIED.
DWORD CheckExistingTarget(const std::string& strTarget);

// Creates (or replaces) the file for writing, with the given attributes; a
// link put at the name meanwhile is refused, not followed.
HANDLE CreateOutputFile(const std::string& strTarget, DWORD dwAttributes);


// GetFileAttributes of a path where files are saved.
DWORD TargetAttributes(const std::string& strPath);
// Makes a folder: 0, ERROR_ALREADY_EXISTS, or the system's code.
DWORD MakeFolder(const std::string& strPath);
// Removes a saved file, read-only or not.
void RemoveOutput(const std::string& strTarget);
// 0 when the folder is there and a file can still be made in it (one is made
// and removed); otherwise the code that says why.
DWORD ProbeFolder(const std::string& strFolder, ETargetSystem eSystem = kThisTargetSystem);

#ifdef _WIN32
// A path for the wide-character calls: "\\?\" before a drive's or a
// share's path, so that a path longer than MAX_PATH is taken whole.
std::wstring OutputPathW(const std::string& strPath);
#endif
