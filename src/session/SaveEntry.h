// Saving one row's file into a file at a path the caller chose (see
// SaveTargets.h for how a save of many rows chooses them), with the entry's
// attribute flags and times: its data streamed from its file system in
// pieces of a few MiB, whatever its size, holes written as holes.
//
// What a save promises:
// - The entry's data is opened, and the target checked, before the file is
//   made: a record that cannot be read, an existing file that is read-only
//   (5) or not a plain file, or one of the disks being read (5), leave
//   nothing behind. A folder is never written as a file (336).
// - An existing file at the target is otherwise replaced. The file carries
//   the entry's read-only flag whether it was created or replaced, and its
//   modification time (on Windows its creation time too), as its file
//   system describes them in UTC.
// - A read of the disk that fails is tried again in smaller pieces, down to
//   one sector; what still cannot be read is left as zeros (holes where the
//   destination keeps them) and counted in UnreadableBytes(), and the rest
//   of the file is saved. A file of which not one byte could be read is
//   removed and fails with the read's code.
// - When a whole piece cannot be read and the volume's first sector cannot
//   be read either, the disk is gone: the unfinished file is removed and
//   the code returned, with FailedSide() eSource.
// - A cancel removes the unfinished file; a failing write leaves it with what
//   was written (eDestination). A write that reports success short is
//   ERROR_WRITE_FAULT. Every failure has a code.
#pragma once

#include "fs/FileSystem.h"
#include "session/TargetPath.h"

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class CEntrySave
{
public:
    CEntrySave() = default;
    ~CEntrySave();
    CEntrySave(const CEntrySave&) = delete;
    CEntrySave& operator=(const CEntrySave&) = delete;

    // Opens row dwId's data on the file system and makes the file at
    // strTarget with the flags and times of desc (the row's description).
    // The file system is not used after Begin; its device must stay open.
    // 0 or the code; nothing is made on failure.
    DWORD Begin(IFileSystem& fs, DWORD dwId, const std::string& strTarget, const CEntryDescription& desc);
    // Writes the next piece (holes cost nothing). 0, or the code that ended the save.
    DWORD Step();
    bool Done() const { return m_bDone; }
    // Stops after the piece in hand and removes the unfinished file.
    void Cancel();

    // Where the code of a failure came from.
    enum class ESide
    {
        eNone,
        eSource,       // the disk read from is gone
        eData,         // this entry's data (its record, its pieces)
        eDestination,  // making or writing the file
    };
    ESide FailedSide() const { return m_eSide; }

    const std::string& Name() const { return m_strName; }
    const std::string& Target() const { return m_strTarget; }
    ULONGLONG BytesDone() const { return m_n64Done; }
    ULONGLONG BytesTotal() const { return m_pData ? m_pData->Size() : 0; }
    ULONGLONG UnreadableBytes() const { return m_n64Unreadable; }

    static constexpr DWORD kPieceSize = 4 * 1024 * 1024;

private:
    DWORD Finish();
    void MarkSparse();
    DWORD Fail(bool bRemove, ESide eSide, DWORD dwCode);
    DWORD WritePiece(const BYTE* pBytes, ULONGLONG n64Offset, DWORD dwCount);
    // Reads a stretch into the piece; what cannot be read even a sector at
    // a time is zeros there, its places added to m_vecLost.
    DWORD ReadRecovering(ULONGLONG n64Offset, DWORD dwAt, DWORD dwCount, int nDepth);
    DWORD WriteReadable(DWORD dwCount);
    DWORD SetTimes();

    std::unique_ptr<IDataStream> m_pData;
    std::string m_strName;
    std::string m_strTarget;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    HANDLE m_hDevice = INVALID_HANDLE_VALUE;  // the file system's, for the probe
    ULONGLONG m_n64VolumeOffset = 0;
    DWORD m_dwSectorSize = 512;
    ULONGLONG m_n64CreationTime = 0;
    ULONGLONG m_n64WriteTime = 0;
    std::unique_ptr<BYTE[]> m_pPiece;  // the bytes in hand, at most kPieceSize
    DWORD m_dwPieceSize = 0;
    std::vector<std::pair<DWORD, DWORD>> m_vecLost;  // in the piece: where, how long
    DWORD m_dwReadError = 0;         // the first read that failed
    ULONGLONG m_n64Unreadable = 0;
    ULONGLONG m_n64Read = 0;         // bytes read from the disk that came
    ULONGLONG m_n64Done = 0;
    ESide m_eSide = ESide::eNone;
    bool m_bDone = false;
    bool m_bSparse = false;
};

// A volume opened for one save alone: a handle on the disk and a twin of the
// scan's file system of its own, so that a scan that opens another
// partition, or closes the session's handle, changes nothing for the save.
struct CSaveVolume
{
    CSaveVolume() = default;
    ~CSaveVolume();
    CSaveVolume(const CSaveVolume&) = delete;
    CSaveVolume& operator=(const CSaveVolume&) = delete;

    // Opens disk dwDisk and on it pFs (a twin, see IFileSystem::Twin) at
    // geometry: 0 or the code.
    DWORD Open(DWORD dwDisk, const CVolumeGeometry& geometry, std::unique_ptr<IFileSystem> pFs);
    // 0 while the disk still answers (the volume's first sector is read
    // again), else the code that says it does not.
    DWORD Probe();

    HANDLE m_hDevice = INVALID_HANDLE_VALUE;
    std::unique_ptr<IFileSystem> m_pFs;
    CVolumeGeometry m_geometry;
    DWORD m_dwDisk = 0;
};

// The whole save of row dwId into strFolder under its own name made safe
// (SafeName.h), every call on the file system made under lockVolume, reading
// through its handle. 0 also when bytes could not be read (zeros stand for
// them); ERROR_PATH_NOT_FOUND for an empty folder.
DWORD SaveEntry(IFileSystem& fs, std::mutex& lockVolume, DWORD dwId, const std::string& strFolder);

// The same on an NTFS drive its caller opened (tests and tools hold one).
class CNTFSDrive;
DWORD SaveEntry(CNTFSDrive& drive, std::mutex& lockDrive, DWORD dwRecordIndex, const std::string& strFolder);

// WriteFile for the saved files, through the test seam.
BOOL WriteOutput(HANDLE hFile, const void* pData, DWORD dwCount, LPDWORD pdwWritten);

// Codes of a read that a sector at a time may get past.
bool IsUnreadableCode(DWORD dwCode);
