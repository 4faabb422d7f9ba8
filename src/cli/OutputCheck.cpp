#include "cli/OutputCheck.h"

#include "disk/Disk.h"
#include "platform/Platform.h"

#include <algorithm>
#include <set>
#include <system_error>

#ifdef _WIN32
#include <winioctl.h>
#else
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

namespace fs = std::filesystem;

fs::path PathFromUtf8(const std::string& str)
{
#ifdef _WIN32
    return fs::path(WideFromUtf8(str));
#else
    return fs::path(str);
#endif
}

namespace
{

fs::path ExistingFolder(const std::string& strFolder)
{
    std::error_code ec;
    fs::path path = fs::absolute(PathFromUtf8(strFolder), ec);
    for (int i = 0; i < 4096 && !path.empty() && !fs::exists(path, ec); ++i)
        path = path.has_relative_path() ? path.parent_path() : fs::path();
    return path;
}

#ifdef _WIN32

bool OnDisk(const fs::path& folder, DWORD dwDiskNumber)
{
    wchar_t szMount[MAX_PATH] = {};
    if (!GetVolumePathNameW(folder.c_str(), szMount, MAX_PATH))
        return false;
    std::wstring strVolume = L"\\\\.\\" + std::wstring(szMount);
    while (!strVolume.empty() && strVolume.back() == L'\\')
        strVolume.pop_back();
    HANDLE hVolume = CreateFileW(strVolume.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (hVolume == INVALID_HANDLE_VALUE)
        return false;
    // A volume may span disks: up to 16 pieces are looked at.
    union
    {
        VOLUME_DISK_EXTENTS m_extents;
        BYTE m_by[sizeof(VOLUME_DISK_EXTENTS) + 15 * sizeof(DISK_EXTENT)];
    } out = {};
    DWORD dwBytes = 0;
    const BOOL bOk = DeviceIoControl(hVolume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &out,
                                     sizeof(out), &dwBytes, nullptr);
    CloseHandle(hVolume);
    for (DWORD i = 0; bOk && i < out.m_extents.NumberOfDiskExtents && i < 16; ++i)
        if (out.m_extents.Extents[i].DiskNumber == dwDiskNumber)
            return true;
    return false;
}

#else

// The whole disks a block device's sysfs folder stands on: itself, the disk
// of a partition, or those under a device-mapper or RAID device.
void WholeDisks(fs::path device, int nDepth, std::set<std::string>& setDisks)
{
    std::error_code ec;
    if (fs::exists(device / "partition", ec))
        device = device.parent_path();
    bool bStacked = false;
    if (nDepth < 4)
        for (fs::directory_iterator it(device / "slaves", ec), end; !ec && it != end; it.increment(ec))
        {
            bStacked = true;
            WholeDisks(fs::canonical(it->path(), ec), nDepth + 1, setDisks);
        }
    if (!bStacked)
        setDisks.insert(device.string());
}

std::set<std::string> WholeDisksOf(dev_t device)
{
    std::set<std::string> setDisks;
    std::error_code ec;
    const fs::path sys = fs::canonical("/sys/dev/block/" + std::to_string(major(device)) + ":" +
                                           std::to_string(minor(device)), ec);
    if (!ec)
        WholeDisks(sys, 0, setDisks);
    return setDisks;
}

#endif

}  // namespace

bool FolderOnSourceDisk(const std::string& strFolder, DWORD dwDisk)
{
    const fs::path folder = ExistingFolder(strFolder);
    if (folder.empty())
        return false;
#ifdef _WIN32
    const std::string strName = DiskOpenName(dwDisk);
    const std::string strPrefix = SALVIX_DISK_PREFIX;
    const std::string strNumber = strName.substr(std::min(strName.size(), strPrefix.size()));
    if (strName.compare(0, strPrefix.size(), strPrefix) != 0 || strNumber.empty() || strNumber.size() > 9 ||
        strNumber.find_first_not_of("0123456789") != std::string::npos)
        return false;  // an image
    return OnDisk(folder, static_cast<DWORD>(std::stoul(strNumber)));
#else
    struct stat stSource, stFolder;
    if (stat(DiskPath(dwDisk).c_str(), &stSource) != 0 || !S_ISBLK(stSource.st_mode) ||
        stat(folder.c_str(), &stFolder) != 0)
        return false;
    const std::set<std::string> setSource = WholeDisksOf(stSource.st_rdev);
    for (const std::string& strDisk : WholeDisksOf(stFolder.st_dev))
        if (setSource.count(strDisk))
            return true;
    return false;
#endif
}
