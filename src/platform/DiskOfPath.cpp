// Which disk a folder or a source device lies on, and what a folder's file
// system takes. See Platform.h.
#include "platform/Platform.h"

#include <algorithm>
#include <climits>
#include <mutex>

#ifdef _WIN32
#include <winioctl.h>
#else
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace
{

const size_t kDefaultNameMax = 255;

void AddOnce(std::vector<std::string>& vec, const std::string& str)
{
    if (!str.empty() && std::find(vec.begin(), vec.end(), str) == vec.end())
        vec.push_back(str);
}

}  // namespace

#ifndef _WIN32

namespace
{

std::mutex g_sysfsLock;
std::string g_strSysfs = "/sys";

std::string SysfsRoot()
{
    std::lock_guard<std::mutex> lock(g_sysfsLock);
    return g_strSysfs;
}

std::string FirstLine(const std::string& strPath)
{
    std::ifstream file(strPath);
    std::string strLine;
    std::getline(file, strLine);
    return strLine;
}

bool Exists(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0;
}

// The whole disks behind the block device whose sysfs folder is strDevice:
// a partition's disk, and the disks beneath a mapped or RAID device.
void WholeDisks(const std::string& strDevice, int nDepth, std::vector<std::string>& vecDisks)
{
    if (nDepth > 8)
        return;  // a loop of slaves: enough
    const bool bPartition = Exists(strDevice + "/partition");
    const std::string strDisk = bPartition ? strDevice + "/.." : strDevice;
    AddOnce(vecDisks, FirstLine(strDisk + "/dev"));
    DIR* pDir = opendir((strDisk + "/slaves").c_str());
    if (!pDir)
        return;
    while (const dirent* pEntry = readdir(pDir))
    {
        const std::string strName = pEntry->d_name;
        if (strName == "." || strName == "..")
            continue;
        char szReal[PATH_MAX];
        if (realpath((strDisk + "/slaves/" + strName).c_str(), szReal))
            WholeDisks(szReal, nDepth + 1, vecDisks);
    }
    closedir(pDir);
}

}  // namespace

std::vector<std::string> DisksOfDeviceNumber(unsigned nMajor, unsigned nMinor)
{
    std::vector<std::string> vecDisks;
    const std::string strLink = SysfsRoot() + "/dev/block/" + std::to_string(nMajor) + ":" + std::to_string(nMinor);
    char szReal[PATH_MAX];
    if (realpath(strLink.c_str(), szReal))
        WholeDisks(szReal, 0, vecDisks);
    return vecDisks;
}

void SetSysfsRoot(const std::string& strRoot)
{
    std::lock_guard<std::mutex> lock(g_sysfsLock);
    g_strSysfs = strRoot;
}

std::vector<std::string> DisksHoldingFolder(const std::string& strFolder)
{
    struct stat st;
    if (stat(strFolder.c_str(), &st) != 0)
        return {};
    return DisksOfDeviceNumber(major(st.st_dev), minor(st.st_dev));
}

std::vector<std::string> DisksOfDevice(const std::string& strPath)
{
    struct stat st;
    if (stat(strPath.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        return {};
    return DisksOfDeviceNumber(major(st.st_rdev), minor(st.st_rdev));
}

void FolderLimits(const std::string& strFolder, size_t& nNameMax, size_t& nPathMax)
{
    const long lName = pathconf(strFolder.c_str(), _PC_NAME_MAX);
    nNameMax = lName > 0 ? static_cast<size_t>(lName) : kDefaultNameMax;
    nPathMax = PATH_MAX - 1;
}

#else

namespace
{

// The path of the volume a folder lies on, "C:\" or a mount point's.
std::wstring VolumeRoot(const std::string& strFolder)
{
    wchar_t szRoot[MAX_PATH] = {};
    if (!GetVolumePathNameW(WideFromUtf8(strFolder).c_str(), szRoot, MAX_PATH))
        return std::wstring();
    return szRoot;
}

}  // namespace

std::vector<std::string> DisksHoldingFolder(const std::string& strFolder)
{
    std::vector<std::string> vecDisks;
    const std::wstring wstrRoot = VolumeRoot(strFolder);
    wchar_t szVolume[MAX_PATH] = {};
    if (wstrRoot.empty() || !GetVolumeNameForVolumeMountPointW(wstrRoot.c_str(), szVolume, MAX_PATH))
        return vecDisks;
    std::wstring wstrVolume = szVolume;
    if (!wstrVolume.empty() && wstrVolume.back() == L'\\')
        wstrVolume.pop_back();  // the volume itself, not its root folder
    HANDLE hVolume = CreateFileW(wstrVolume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (hVolume == INVALID_HANDLE_VALUE)
        return vecDisks;
    // Room for a volume spanning a few disks.
    BYTE byExtents[sizeof(VOLUME_DISK_EXTENTS) + 15 * sizeof(DISK_EXTENT)] = {};
    DWORD dwReturned = 0;
    if (DeviceIoControl(hVolume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, byExtents,
                        sizeof(byExtents), &dwReturned, nullptr))
    {
        const VOLUME_DISK_EXTENTS* pExtents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(byExtents);
        const DWORD dwCount = std::min<DWORD>(pExtents->NumberOfDiskExtents, 16);
        for (DWORD i = 0; i < dwCount; ++i)
            AddOnce(vecDisks, "PhysicalDrive" + std::to_string(pExtents->Extents[i].DiskNumber));
    }
    CloseHandle(hVolume);
    return vecDisks;
}

std::vector<std::string> DisksOfDevice(const std::string& strPath)
{
    // The drives are opened by their number; anything else is an image.
    const std::string strPrefix = SALVIX_DISK_PREFIX;
    if (strPath.size() <= strPrefix.size() || _strnicmp(strPath.c_str(), strPrefix.c_str(), strPrefix.size()) != 0)
        return {};
    const std::string strNumber = strPath.substr(strPrefix.size());
    if (strNumber.find_first_not_of("0123456789") != std::string::npos)
        return {};
    return {"PhysicalDrive" + strNumber};
}

void FolderLimits(const std::string& strFolder, size_t& nNameMax, size_t& nPathMax)
{
    DWORD dwComponent = 0;
    const std::wstring wstrRoot = VolumeRoot(strFolder);
    if (wstrRoot.empty() ||
        !GetVolumeInformationW(wstrRoot.c_str(), nullptr, 0, nullptr, &dwComponent, nullptr, nullptr, 0) ||
        dwComponent == 0)
        dwComponent = kDefaultNameMax;
    nNameMax = dwComponent;
    // Paths are written with the "\\?\" prefix, which takes them to 32,767
    // units; room is left for the prefix itself.
    nPathMax = 32767 - 8;
}

#endif
