// Helpers for the extraction tests: running the NTFS and Sleuth Kit tools,
// building test volumes, editing master-file-table records in an image, and
// comparing files.
#pragma once

#include "platform/Win32.h"

#include <functional>
#include <string>
#include <vector>

namespace extract_test
{

using Bytes = std::vector<BYTE>;

// Quotes a string for /bin/sh.
std::string Quote(const std::string& str);
// Runs a shell command; true when it exits 0. Its standard output is kept in
// *pOutput when given, otherwise discarded; standard error is discarded.
bool RunCommand(const std::string& strCommand, std::string* pOutput = nullptr);

bool ReadWholeFile(const std::string& strPath, Bytes& data);
bool WriteWholeFile(const std::string& strPath, const Bytes& data);
bool PathExists(const std::string& strPath);  // without following a last symlink
std::vector<std::string> ListFolder(const std::string& strFolder);  // sorted, no . and ..
bool MakeFolders(const std::string& strPath);
void RemoveTree(const std::string& strPath);
std::string MakeTempFolder(const std::string& strParent);  // a new empty folder under it

// Deterministic bytes: the same seed always gives the same content.
Bytes PseudoRandomBytes(size_t nLength, unsigned long long n64Seed);

// ---- Sleuth Kit ---------------------------------------------------------------

struct CDataStream
{
    std::string m_strId;    // "128-2"
    std::string m_strName;  // empty for the unnamed stream
    bool m_bResident = false;
};

// The $DATA attributes of a record in the order istat lists them (the
// record's own order), and the clusters of its first non-resident one.
struct CIstatInfo
{
    std::vector<CDataStream> m_vecStreams;
    std::vector<unsigned long long> m_vecClusters;  // of the first non-resident $DATA
    unsigned m_nRuns = 0;                           // contiguous pieces among them
};

bool Istat(const std::string& strImage, unsigned long long n64StartSector, DWORD dwInode,
           CIstatInfo& info);
bool Icat(const std::string& strImage, unsigned long long n64StartSector,
          const std::string& strAddress, Bytes& data);
// What a reader of the record's data sees: every $DATA stream, in record order.
bool IcatAllStreams(const std::string& strImage, unsigned long long n64StartSector,
                    DWORD dwInode, Bytes& data);

// ---- images -----------------------------------------------------------------

// A disk image of n64Bytes holding an MBR with one NTFS partition (type 7) at
// dwStartSector, into which the volume file is copied.
bool MakeDiskImage(const std::string& strDisk, const std::string& strVolume,
                   DWORD dwStartSector, unsigned long long n64Bytes);

// Finds the file record whose $FILE_NAME holds strName (Latin-1 bytes) in a
// bare volume image, lets fnEdit change the record with its update sequence
// undone, and writes it back with the sequence redone. pdwIndex receives the
// record's number. fnEdit gets the record and the offsets of the values of
// every $FILE_NAME attribute in it, and returns false when it cannot do its edit.
using RecordEditor = std::function<bool(BYTE* pRecord, DWORD dwRecordSize,
                                        const std::vector<DWORD>& vecFileNames)>;
bool EditRecordByName(const std::string& strVolume, const std::string& strName,
                      const RecordEditor& fnEdit, DWORD* pdwIndex = nullptr);

// Editors for EditRecordByName.
// Every $FILE_NAME gets these UTF-16 units as its name; the name-length byte
// follows, and the rest of the old name is cleared. A new name longer than
// the old one fails the edit.
RecordEditor RenameTo(const std::u16string& strNewName);
RecordEditor SetNameFlags(DWORD dwFlags);
// Sets the non-resident flag in the header of the first attribute of dwType,
// as one damaged byte on a disk would.
RecordEditor MarkNonResident(DWORD dwType);

unsigned long long FileMTimeNs(const std::string& strPath);

}  // namespace extract_test
