// Saving one master-file-table entry into a file of the name its owner gave
// it, with the entry's attribute flags, in a folder the user chose: its data
// streamed in pieces of a few MiB, whatever its size, holes written as holes.
//
// What a save promises:
// - The entry's data, description and name are read, and the target checked,
//   before the file is made: a record that cannot be read, a name that is not
//   safe (123), a path the system does not take (206), an existing file that
//   is read-only (5) or not a plain file, or one of the disks being read (5),
//   leave nothing behind.
// - An existing file of that name is otherwise replaced. The file carries the
//   entry's read-only flag whether it was created or replaced.
// - A failing read of the disk, or a cancel, removes the unfinished file; a
//   failing write leaves it with what was written. Every failure has a code:
//   a write that reports success short is ERROR_WRITE_FAULT.
// - The disk is read through the save's own handle, so a scan that reopens
//   or closes the session's handle meanwhile changes nothing for it.
#pragma once

#include "ntfs/EntryData.h"
#include "ntfs/NTFSDrive.h"
#include "session/TargetPath.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CEntrySave
{
public:
    CEntrySave() = default;
    ~CEntrySave();
    CEntrySave(const CEntrySave&) = delete;
    CEntrySave& operator=(const CEntrySave&) = delete;

    // Under the drive's lock: gathers the entry, checks the target and makes
    // the file. hOwnDevice, when valid, is a handle on the same disk that the
    // save takes over and reads through; otherwise it reads through the
    // drive's. 0 or the code; nothing is made on failure.
    DWORD Begin(CNTFSDrive& drive, DWORD dwRecord, const std::string& strFolder,
                HANDLE hOwnDevice = INVALID_HANDLE_VALUE);
    // Writes the next piece (holes cost nothing). 0, or the code that ended the save.
    DWORD Step();
    bool Done() const { return m_bDone; }
    // Stops after the piece in hand and removes the unfinished file.
    void Cancel();

    const std::string& Name() const { return m_strName; }
    ULONGLONG BytesDone() const { return m_n64Done; }
    ULONGLONG BytesTotal() const { return m_data.Size(); }

    static constexpr DWORD kPieceSize = 4 * 1024 * 1024;

private:
    DWORD Finish();
    void MarkSparse();
    void Fail(bool bRemove);
    DWORD WritePiece(ULONGLONG n64Offset, DWORD dwCount);

    CEntryData m_data;
    std::string m_strName;
    std::string m_strTarget;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    HANDLE m_hOwnDevice = INVALID_HANDLE_VALUE;
    std::unique_ptr<BYTE[]> m_pPiece;  // the bytes in hand, at most kPieceSize
    DWORD m_dwPieceSize = 0;
    ULONGLONG m_n64Done = 0;
    bool m_bDone = false;
    bool m_bSparse = false;
};

// The whole save of record dwRecordIndex, every call on the drive made
// under lockDrive, reading through the drive's handle.
DWORD SaveEntry(CNTFSDrive& drive, std::mutex& lockDrive, DWORD dwRecordIndex,
                const std::string& strFolder);

// WriteFile for the saved files, through the test seam.
BOOL WriteOutput(HANDLE hFile, const void* pData, DWORD dwCount, LPDWORD pdwWritten);
