// Disks over POSIX: which path stands behind "\\.\PhysicalDriveN", and the
// disk control calls that tell a device's geometry.
#ifndef _WIN32

#include "platform/Platform.h"
#include "platform/PosixDisk.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>

#ifdef __linux__
#include <linux/fs.h>
#endif

namespace
{

std::mutex g_diskLock;
std::vector<std::string> g_vecGivenPaths;

// A disk number of more digits than this is no disk; it also keeps the
// number from overflowing.
const size_t kMaxDiskDigits = 6;

std::vector<std::string> SplitDiskVariable(const char* pszValue)
{
    std::vector<std::string> vecPaths;
    const std::string strValue = pszValue;
    size_t nStart = 0;
    while (nStart <= strValue.size())
    {
        size_t nEnd = strValue.find(':', nStart);
        if (nEnd == std::string::npos)
            nEnd = strValue.size();
        if (nEnd > nStart)
            vecPaths.push_back(strValue.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return vecPaths;
}

// The whole disks the kernel lists, in name order; never a loop, RAM, mapper,
// software RAID or optical device.
std::vector<std::string> SystemDisks()
{
    static const char* const kDiskPrefixes[] = {"nvme", "sd", "vd", "xvd", "hd", "mmcblk"};
    std::vector<std::string> vecNames;
    if (DIR* pDir = opendir("/sys/block"))
    {
        while (dirent* pEntry = readdir(pDir))
        {
            std::string strName = pEntry->d_name;
            for (const char* pszPrefix : kDiskPrefixes)
                if (strName.compare(0, strlen(pszPrefix), pszPrefix) == 0)
                {
                    vecNames.push_back("/dev/" + strName);
                    break;
                }
        }
        closedir(pDir);
    }
    std::sort(vecNames.begin(), vecNames.end());
    return vecNames;
}

std::vector<std::string> DiskPaths()
{
    {
        std::lock_guard<std::mutex> lock(g_diskLock);
        if (!g_vecGivenPaths.empty())
            return g_vecGivenPaths;
    }
    const char* pszEnv = getenv("SALVIX_DISK");
    if (pszEnv && *pszEnv)
        return SplitDiskVariable(pszEnv);
    return SystemDisks();
}

DWORD Fail(DWORD dwError)
{
    SetLastError(dwError);
    return dwError;
}

// The logical sector size and length of a block device.
bool BlockDeviceGeometry(int nFd, DWORD& dwSectorSize, ULONGLONG& qwBytes)
{
#if defined(__linux__) && defined(BLKSSZGET) && defined(BLKGETSIZE64)
    struct stat st;
    int nSector = 0;
    uint64_t qwSize = 0;
    if (fstat(nFd, &st) != 0 || !S_ISBLK(st.st_mode) || ioctl(nFd, BLKSSZGET, &nSector) != 0 ||
        ioctl(nFd, BLKGETSIZE64, &qwSize) != 0 || nSector <= 0)
        return false;
    dwSectorSize = static_cast<DWORD>(nSector);
    qwBytes = qwSize;
    return true;
#else
    (void)nFd;
    (void)dwSectorSize;
    (void)qwBytes;
    return false;
#endif
}

LARGE_INTEGER Large(ULONGLONG qwValue)
{
    LARGE_INTEGER value;
    value.QuadPart = static_cast<LONGLONG>(qwValue);
    return value;
}

// Fills the answer of one geometry call; false with the code set when it cannot.
bool AnswerGeometry(DWORD dwCode, DWORD dwSectorSize, ULONGLONG qwBytes, LPVOID lpOut,
                    DWORD nOutSize, DWORD& dwReturned)
{
    DISK_GEOMETRY geometry = {};
    // The traditional 255 heads and 63 sectors per track, as Windows reports
    // for a disk addressed by LBA.
    geometry.MediaType = FixedMedia;
    geometry.TracksPerCylinder = 255;
    geometry.SectorsPerTrack = 63;
    geometry.BytesPerSector = dwSectorSize;
    geometry.Cylinders = Large(qwBytes / (255ull * 63 * dwSectorSize));

    const DWORD dwNeed = dwCode == IOCTL_DISK_GET_LENGTH_INFO ? sizeof(GET_LENGTH_INFORMATION)
                         : dwCode == IOCTL_DISK_GET_DRIVE_GEOMETRY
                             ? sizeof(DISK_GEOMETRY)
                             : offsetof(DISK_GEOMETRY_EX, Data);
    if (!lpOut || nOutSize < dwNeed)
        return Fail(ERROR_INSUFFICIENT_BUFFER), false;
    if (dwCode == IOCTL_DISK_GET_LENGTH_INFO)
        static_cast<GET_LENGTH_INFORMATION*>(lpOut)->Length = Large(qwBytes);
    else if (dwCode == IOCTL_DISK_GET_DRIVE_GEOMETRY)
        *static_cast<DISK_GEOMETRY*>(lpOut) = geometry;
    else
    {
        DISK_GEOMETRY_EX* pEx = static_cast<DISK_GEOMETRY_EX*>(lpOut);
        pEx->Geometry = geometry;
        pEx->DiskSize = Large(qwBytes);
    }
    dwReturned = dwNeed;
    return true;
}

}  // namespace

bool ParseDiskName(const char* pszName, DWORD& dwDisk)
{
    static const char kPrefix[] = SALVIX_DISK_PREFIX;
    const size_t nPrefix = sizeof(kPrefix) - 1;
    for (size_t i = 0; i < nPrefix; ++i)
        if (tolower(static_cast<unsigned char>(pszName[i])) !=
            tolower(static_cast<unsigned char>(kPrefix[i])))
            return false;
    // Only the plain decimal form names a drive: no sign, no leading zero.
    const char* pszNumber = pszName + nPrefix;
    const size_t nDigits = strlen(pszNumber);
    dwDisk = kNoSuchDisk;
    if (nDigits == 0 || nDigits > kMaxDiskDigits || (pszNumber[0] == '0' && nDigits > 1))
        return true;
    DWORD dwValue = 0;
    for (size_t i = 0; i < nDigits; ++i)
    {
        if (!isdigit(static_cast<unsigned char>(pszNumber[i])))
            return true;
        dwValue = dwValue * 10 + static_cast<DWORD>(pszNumber[i] - '0');
    }
    dwDisk = dwValue;
    return true;
}

void SetDiskPaths(const std::vector<std::string>& vecPaths)
{
    std::lock_guard<std::mutex> lock(g_diskLock);
    g_vecGivenPaths.clear();
    for (const std::string& strPath : vecPaths)
        if (!strPath.empty())
            g_vecGivenPaths.push_back(strPath);
}

std::string DiskPath(DWORD dwDisk)
{
    const std::vector<std::string> vecPaths = DiskPaths();
    return dwDisk < vecPaths.size() ? vecPaths[dwDisk] : std::string();
}

std::vector<std::string> ImageDiskPaths()
{
    return std::vector<std::string>();
}

std::string FirstDiskPath()
{
    return DiskPath(0);
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID /*lpInBuffer*/,
                     DWORD /*nInBufferSize*/, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                     LPDWORD lpBytesReturned, LPOVERLAPPED /*lpOverlapped*/)
{
    if (lpBytesReturned)
        *lpBytesReturned = 0;
    const int nFd = DescriptorOf(hDevice);
    if (nFd < 0)
        return Fail(ERROR_INVALID_HANDLE), FALSE;
    if (dwIoControlCode != IOCTL_DISK_GET_DRIVE_GEOMETRY &&
        dwIoControlCode != IOCTL_DISK_GET_DRIVE_GEOMETRY_EX &&
        dwIoControlCode != IOCTL_DISK_GET_LENGTH_INFO)
        return Fail(ERROR_INVALID_FUNCTION), FALSE;
    // A file is no disk: the disk calls fail on it as they do on Windows.
    DWORD dwSectorSize = 0;
    ULONGLONG qwBytes = 0;
    if (!BlockDeviceGeometry(nFd, dwSectorSize, qwBytes))
        return Fail(ERROR_INVALID_FUNCTION), FALSE;
    DWORD dwReturned = 0;
    if (!AnswerGeometry(dwIoControlCode, dwSectorSize, qwBytes, lpOutBuffer, nOutBufferSize,
                        dwReturned))
        return FALSE;
    if (lpBytesReturned)
        *lpBytesReturned = dwReturned;
    SetLastError(0);
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize)
{
    const int nFd = DescriptorOf(hFile);
    if (nFd < 0)
        return Fail(ERROR_INVALID_HANDLE), FALSE;
    if (!lpFileSize)
        return Fail(ERROR_NOACCESS), FALSE;
    struct stat st;
    if (fstat(nFd, &st) != 0)
    {
        const int nErrno = errno;
        return Fail(nErrno == EBADF ? ERROR_INVALID_HANDLE : ERROR_GEN_FAILURE), FALSE;
    }
    ULONGLONG qwSize = static_cast<ULONGLONG>(st.st_size);
    DWORD dwSectorSize = 0;
    if (S_ISBLK(st.st_mode) && !BlockDeviceGeometry(nFd, dwSectorSize, qwSize))
        return Fail(ERROR_INVALID_FUNCTION), FALSE;
    *lpFileSize = Large(qwSize);
    SetLastError(0);
    return TRUE;
}

#endif  // !_WIN32
