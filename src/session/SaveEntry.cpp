#include "session/SaveEntry.h"

#include "disk/Disk.h"
#include "platform/FaultInjection.h"
#include "platform/Platform.h"
#include "ntfs/NtfsFileSystem.h"
#include "session/SaveTargets.h"

#include <algorithm>
#include <cstring>

namespace
{

// Each halving of a piece that failed; from 4 MiB to one sector of 512.
const int kMaxSplits = 16;

// A code for a failed call even when the platform left none, so that a failure
// is never taken for success.
DWORD LastErrorOr(DWORD dwFallback)
{
    DWORD dwError = GetLastError();
    return dwError ? dwError : dwFallback;
}

DWORD SeekOutput(HANDLE hFile, ULONGLONG n64Offset)
{
    LONG lHigh = static_cast<LONG>(n64Offset >> 32);
    SetLastError(NO_ERROR);
    if (SetFilePointer(hFile, static_cast<LONG>(static_cast<DWORD>(n64Offset)), &lHigh, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return GetLastError();
    return 0;
}

FILETIME FileTimeOf(ULONGLONG n64Time)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(n64Time);
    time.dwHighDateTime = static_cast<DWORD>(n64Time >> 32);
    return time;
}

// A time a file can carry: after 1601 and below the sign bit, as the
// system's signed times are.
bool UsableTime(ULONGLONG n64Time)
{
    return n64Time > 0 && n64Time < (1ull << 63);
}

}  // namespace

bool IsUnreadableCode(DWORD dwCode)
{
    switch (dwCode)
    {
    case ERROR_INVALID_DATA:  // a compressed unit that does not expand
    case ERROR_CRC:
    case ERROR_SEEK:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_HANDLE_EOF:  // an image that ends before the volume does
    case ERROR_SEM_TIMEOUT:
    case ERROR_IO_DEVICE:
        return true;
    default:
        return false;
    }
}

BOOL WriteOutput(HANDLE hFile, const void* pData, DWORD dwCount, LPDWORD pdwWritten)
{
    DWORD dwAsk = dwCount;
    DWORD dwInjected = 0;
    if (faultseam::Active())
    {
        LONG lHigh = 0;
        const DWORD dwLow = SetFilePointer(hFile, 0, &lHigh, FILE_CURRENT);
        const ULONGLONG n64Pos = (static_cast<ULONGLONG>(static_cast<DWORD>(lHigh)) << 32) | dwLow;
        dwAsk = faultseam::ShapeWrite(n64Pos, dwCount, dwInjected);
    }
    faultseam::CountWrite();
    DWORD dwWritten = 0;
    BOOL bOk = WriteFile(hFile, pData, dwAsk, &dwWritten, nullptr);
    if (pdwWritten)
        *pdwWritten = dwWritten;
    if (bOk && dwInjected)
    {
        SetLastError(dwInjected);
        return FALSE;
    }
    return bOk;
}

CEntrySave::~CEntrySave()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        Fail(true, ESide::eNone, 0);
}

DWORD CEntrySave::Begin(IFileSystem& fs, DWORD dwId, const std::string& strTarget, const CEntryDescription& desc)
{
    m_strTarget = strTarget;
    m_strName = strTarget.substr(strTarget.find_last_of("/\\") + 1);
    m_eSide = ESide::eData;
    if (DWORD dwError = fs.OpenStream(dwId, m_pData))
        return dwError;
    m_hDevice = fs.Device();
    const CVolumeGeometry& geometry = fs.Geometry();
    m_dwSectorSize = geometry.m_dwSectorSize >= 512 ? geometry.m_dwSectorSize : 512;
    m_n64VolumeOffset = geometry.m_n64Offset;
    m_n64CreationTime = desc.m_n64Created;
    m_n64WriteTime = desc.m_n64Modified;
    // The one buffer a save holds, whatever the file's size.
    m_dwPieceSize = static_cast<DWORD>(std::min<ULONGLONG>(kPieceSize, m_pData->Size()));
    m_pPiece.reset(AllocBytes(m_dwPieceSize));
    if (!m_pPiece)
        return ERROR_NOT_ENOUGH_MEMORY;
    m_eSide = ESide::eDestination;
    if (DWORD dwError = CheckExistingTarget(m_strTarget))
        return dwError;
    SetLastError(NO_ERROR);
    m_hFile = CreateOutputFile(m_strTarget, OutputFileFlags(desc.m_dwFileFlags));
    if (m_hFile == INVALID_HANDLE_VALUE)
        return LastErrorOr(ERROR_GEN_FAILURE);
    m_eSide = ESide::eNone;
    return m_pData->Size() == 0 ? Finish() : 0;
}

DWORD CEntrySave::WritePiece(const BYTE* pBytes, ULONGLONG n64Offset, DWORD dwCount)
{
    if (DWORD dwError = SeekOutput(m_hFile, n64Offset))
        return dwError;
    DWORD dwWritten = 0;
    SetLastError(NO_ERROR);
    if (!WriteOutput(m_hFile, pBytes, dwCount, &dwWritten))
        return LastErrorOr(ERROR_WRITE_FAULT);
    // A write that reports success with bytes missing still lost data.
    return dwWritten == dwCount ? 0 : ERROR_WRITE_FAULT;
}

DWORD CEntrySave::ReadRecovering(ULONGLONG n64Offset, DWORD dwAt, DWORD dwCount, int nDepth)
{
    DWORD dwError = m_pData->Read(n64Offset, m_pPiece.get() + dwAt, dwCount);
    if (dwError == 0)
    {
        m_n64Read += dwCount;
        return 0;
    }
    if (!IsUnreadableCode(dwError))
        return dwError;
    if (m_dwReadError == 0)
        m_dwReadError = dwError;
    if (dwCount <= m_dwSectorSize || nDepth >= kMaxSplits)
    {
        memset(m_pPiece.get() + dwAt, 0, dwCount);
        m_n64Unreadable += dwCount;
        if (!m_vecLost.empty() && m_vecLost.back().first + m_vecLost.back().second == dwAt)
            m_vecLost.back().second += dwCount;
        else
            m_vecLost.emplace_back(dwAt, dwCount);
        return 0;
    }
    // Halves that end on a sector of the disk: the file's data starts on one.
    DWORD dwHalf = dwCount / 2 / m_dwSectorSize * m_dwSectorSize;
    if (dwHalf == 0)
        dwHalf = m_dwSectorSize;
    if ((dwError = ReadRecovering(n64Offset, dwAt, dwHalf, nDepth + 1)) != 0)
        return dwError;
    return ReadRecovering(n64Offset + dwHalf, dwAt + dwHalf, dwCount - dwHalf, nDepth + 1);
}

DWORD CEntrySave::WriteReadable(DWORD dwCount)
{
    // What could not be read is not written: a hole, read as zeros.
    DWORD dwFrom = 0;
    for (const auto& lost : m_vecLost)
    {
        if (lost.first > dwFrom)
            if (DWORD dwError = WritePiece(m_pPiece.get() + dwFrom, m_n64Done + dwFrom, lost.first - dwFrom))
                return dwError;
        dwFrom = lost.first + lost.second;
    }
    if (dwFrom < dwCount)
        return WritePiece(m_pPiece.get() + dwFrom, m_n64Done + dwFrom, dwCount - dwFrom);
    return 0;
}

DWORD CEntrySave::Step()
{
    if (m_bDone || m_hFile == INVALID_HANDLE_VALUE)
        return 0;
    const ULONGLONG n64Size = m_pData->Size();
    // Holes are passed over: the file grows past them only where data follows,
    // or at the end.
    while (m_n64Done < n64Size)
    {
        const ULONGLONG n64Hole = m_pData->HoleLength(m_n64Done);
        if (n64Hole == 0)
            break;
        m_n64Done += std::min(n64Hole, n64Size - m_n64Done);
        if (!m_bSparse)
            MarkSparse();
        m_bSparse = true;
    }
    if (m_n64Done >= n64Size)
        return Finish();
    const DWORD dwCount = static_cast<DWORD>(
        std::min<ULONGLONG>({m_dwPieceSize, m_pData->DataLength(m_n64Done), n64Size - m_n64Done}));
    m_vecLost.clear();
    if (DWORD dwError = ReadRecovering(m_n64Done, 0, dwCount, 0))
        return Fail(true, ESide::eData, dwError);
    if (m_vecLost.size() == 1 && m_vecLost[0].second == dwCount)
    {
        // Nothing of the piece came: is the disk still there?
        BYTE bySector[4096];
        const DWORD dwProbe = std::min<DWORD>(m_dwSectorSize, sizeof(bySector));
        if (DWORD dwError = ReadDeviceAt(m_hDevice, m_n64VolumeOffset, bySector, dwProbe))
            return Fail(true, ESide::eSource, dwError);
    }
    if (!m_vecLost.empty())
    {
        if (!m_bSparse)
            MarkSparse();
        m_bSparse = true;
    }
    if (DWORD dwError = WriteReadable(dwCount))
        return Fail(false, ESide::eDestination, dwError);
    m_n64Done += dwCount;
    return m_n64Done >= n64Size ? Finish() : 0;
}

void CEntrySave::MarkSparse()
{
#ifdef _WIN32
    // NTFS keeps holes only in files marked sparse; elsewhere they are zeros.
    DWORD dwReturned = 0;
    DeviceIoControl(m_hFile, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &dwReturned, nullptr);
#endif
}

DWORD CEntrySave::SetTimes()
{
    // A time of 0 (or before 1970 where the system cannot hold it) is left
    // as the file has it.
    const FILETIME creation = FileTimeOf(m_n64CreationTime);
    const FILETIME written = FileTimeOf(m_n64WriteTime);
    if (!UsableTime(m_n64WriteTime) && !UsableTime(m_n64CreationTime))
        return 0;
    SetFileTime(m_hFile, UsableTime(m_n64CreationTime) ? &creation : nullptr, nullptr,
                UsableTime(m_n64WriteTime) ? &written : nullptr);
    return 0;
}

DWORD CEntrySave::Finish()
{
    // Not one byte of the file's stored data could be read: zeros are no file.
    if (m_n64Unreadable > 0 && m_n64Read == 0)
        return Fail(true, ESide::eData, m_dwReadError);
    // A file that ends in a hole ends at its size all the same.
    if (m_bSparse)
    {
        DWORD dwError = SeekOutput(m_hFile, m_pData->Size());
        if (dwError == 0 && !SetEndOfFile(m_hFile))
            dwError = LastErrorOr(ERROR_WRITE_FAULT);
        if (dwError)
            return Fail(false, ESide::eDestination, dwError);
    }
    // Last, so that no write moves the time again.
    SetTimes();
    CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_bDone = true;
    return 0;
}

DWORD CEntrySave::Fail(bool bRemove, ESide eSide, DWORD dwCode)
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    if (bRemove)
        RemoveOutput(m_strTarget);
    m_bDone = true;
    m_eSide = eSide;
    return dwCode;
}

void CEntrySave::Cancel()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        Fail(true, ESide::eNone, 0);
    m_bDone = true;
}

CSaveVolume::~CSaveVolume()
{
    if (m_pFs)
        m_pFs->DetachDevice();
    if (m_hDevice != INVALID_HANDLE_VALUE)
        CloseHandle(m_hDevice);
}

DWORD CSaveVolume::Open(DWORD dwDisk, const CVolumeGeometry& geometry, std::unique_ptr<IFileSystem> pFs)
{
    m_dwDisk = dwDisk;
    m_geometry = geometry;
    m_hDevice = OpenDisk(dwDisk);
    if (m_hDevice == INVALID_HANDLE_VALUE)
        return LastErrorOr(ERROR_FILE_NOT_FOUND);
    m_pFs = std::move(pFs);
    return m_pFs->Open(m_hDevice, geometry, nullptr);
}

DWORD CSaveVolume::Probe()
{
    BYTE bySector[4096];
    const DWORD dwSector = m_geometry.m_dwSectorSize >= 512 && m_geometry.m_dwSectorSize <= sizeof(bySector)
                               ? m_geometry.m_dwSectorSize
                               : 512;
    return ReadDeviceAt(m_hDevice, m_geometry.m_n64Offset, bySector, dwSector);
}

DWORD SaveEntry(IFileSystem& fs, std::mutex& lockVolume, DWORD dwId, const std::string& strFolder)
{
    if (strFolder.empty())
        return ERROR_PATH_NOT_FOUND;  // no folder chosen: never the root by accident
    CEntrySave save;
    DWORD dwError = 0;
    {
        // The gathering under one hold, so that a scan reopening the volume in
        // between cannot pair one volume's data with another's name.
        std::lock_guard<std::mutex> lock(lockVolume);
        CEntryDescription desc;
        if ((dwError = fs.Describe(dwId, desc)) != 0)
            return dwError;
        if (desc.m_bDirectory)
            return ERROR_DIRECTORY_NOT_SUPPORTED;
        size_t nNameMax = 0, nPathMax = 0;
        FolderLimits(strFolder, nNameMax, nPathMax);
        CSaveTargets targets(strFolder, nNameMax, nPathMax);
        std::string strTarget, strFinal;
        if ((dwError = targets.FileTarget(CSaveTargets::kChosen, desc.m_strName, dwId, strTarget, strFinal)) != 0)
            return dwError;
        dwError = save.Begin(fs, dwId, strTarget, desc);
    }
    while (dwError == 0 && !save.Done())
    {
        std::lock_guard<std::mutex> lock(lockVolume);
        dwError = save.Step();
    }
    return dwError;
}

DWORD SaveEntry(CNTFSDrive& drive, std::mutex& lockDrive, DWORD dwRecordIndex, const std::string& strFolder)
{
    CNtfsFileSystem fs(drive);
    return SaveEntry(fs, lockDrive, dwRecordIndex, strFolder);
}
