// A drive opened on an image the way the dialog opens one, with its lock.
#pragma once

#include "ExtractTestUtil.h"
#include "ntfs/NTFSDrive.h"

#include <mutex>
#include <string>

namespace extract_test
{

class CTestDrive
{
public:
    CTestDrive() = default;
    ~CTestDrive()
    {
        if (m_hDevice != INVALID_HANDLE_VALUE)
            CloseHandle(m_hDevice);
    }
    CTestDrive(const CTestDrive&) = delete;
    CTestDrive& operator=(const CTestDrive&) = delete;

    // Opens the image read-only and the volume at dwStartSector; 0 or a code.
    DWORD Open(const std::string& strImage, DWORD dwStartSector)
    {
        m_hDevice = CreateFileA(strImage.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
        if (m_hDevice == INVALID_HANDLE_VALUE)
            return GetLastError();
        return OpenOn(m_hDevice, dwStartSector);
    }

    // Opens the volume on a handle this object then owns.
    DWORD OpenOn(HANDLE hDevice, DWORD dwStartSector)
    {
        m_hDevice = hDevice;
        m_drive.AttachDevice(m_hDevice);
        m_drive.SetVolumeStart(dwStartSector, 512);
        return m_drive.OpenVolume();
    }

    HANDLE m_hDevice = INVALID_HANDLE_VALUE;
    CNTFSDrive m_drive;
    std::mutex m_lock;
};

}  // namespace extract_test
