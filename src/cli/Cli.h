// What the commands of salvix-cli share: their exit codes, the choice of the
// disks and the partition, and the one-sentence errors on standard error.
#pragma once

#include "session/DiskTree.h"

#include <cstdio>
#include <string>
#include <vector>

// The exit codes, as --help and the README state them.
enum ECliExit
{
    eExitOk = 0,          // all done (a save: every file saved)
    eExitProblems = 1,    // a save: some files were not saved, or not whole
    eExitUsage = 2,       // bad usage: unknown options, no such partition or record
    eExitUnreadable = 3,  // the disk or the partition cannot be read
};

extern const char kExitCodesHelp[];

// Where the files come from: the disks or images, and the partition.
struct CSourceOptions
{
    std::vector<std::string> m_vecImages;  // UTF-8; none: the disks the window would list
    std::string m_strPartition;            // "NTFS Drive 2", or "2"
    long m_nDisk = -1;                     // --disk, or -1 for none
};

// The disks read from here on: the images named, when any.
void UseImages(const std::vector<std::string>& vecImages);

// `disks`: the tree of disks and partitions, as text or as one JSON document.
int PrintDisks(std::FILE* pOut, bool bJson);

// The partition options name; 0, or the exit code after an error was written.
int FindPartition(const CSourceOptions& source, CScanTarget& target);

// "salvix-cli: TEXT" on standard error, one line.
void PrintError(const std::string& strText);
// The program's sentence for a code, without its line break.
std::string ErrorSentence(DWORD dwCode);
