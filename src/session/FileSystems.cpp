#include "session/FileSystems.h"

#include "disk/DeviceIo.h"
#include "fat/FatFileSystem.h"
#include "ntfs/NtfsFileSystem.h"

namespace
{

struct CFileSystemKind
{
    bool (*m_pfnRecognises)(const BYTE* pBoot, size_t nSize);
    std::unique_ptr<IFileSystem> (*m_pfnNew)();
};

template <class T>
std::unique_ptr<IFileSystem> New()
{
    return std::make_unique<T>();
}

const CFileSystemKind kKinds[] = {
    {&CNtfsFileSystem::Recognises, &New<CNtfsFileSystem>},
    {&CFatFileSystem::Recognises, &New<CFatFileSystem>},
};

DWORD NewFileSystemAt(HANDLE hDevice, const CVolumeGeometry& geometry, std::unique_ptr<IFileSystem>& pFs)
{
    pFs.reset();
    BYTE abyBoot[512];
    if (DWORD dwError = ReadDeviceAt(hDevice, geometry.m_n64Offset, abyBoot, sizeof(abyBoot)))
        return dwError;
    pFs = NewFileSystemFor(abyBoot, sizeof(abyBoot));
    return pFs ? 0 : ERROR_INVALID_DRIVE;
}

}  // namespace

std::unique_ptr<IFileSystem> NewFileSystemFor(const BYTE* pBoot, size_t nSize)
{
    for (const CFileSystemKind& kind : kKinds)
        if (kind.m_pfnRecognises(pBoot, nSize))
            return kind.m_pfnNew();
    return nullptr;
}

DWORD OpenFileSystem(HANDLE hDevice, const CVolumeGeometry& geometry, const std::atomic<BYTE>* pStop,
                     std::unique_ptr<IFileSystem>& pFs)
{
    if (DWORD dwError = NewFileSystemAt(hDevice, geometry, pFs))
        return dwError;
    if (DWORD dwError = pFs->Open(hDevice, geometry, pStop))
    {
        pFs.reset();
        return dwError;
    }
    return 0;
}

DWORD ReadFileSystemLabel(HANDLE hDevice, const CVolumeGeometry& geometry, std::string& strLabel)
{
    strLabel.clear();
    std::unique_ptr<IFileSystem> pFs;
    if (DWORD dwError = NewFileSystemAt(hDevice, geometry, pFs))
        return dwError;
    return pFs->ReadLabel(hDevice, geometry, strLabel);
}
