// The NTFS volume most extraction tests save from, made once per test
// process: mkntfs formats it, the volume tools fill it through the ntfs-3g
// library, and a few of its records are edited afterwards (names, flags) for
// cases no tool makes. It lies in a disk image behind an MBR, at sector
// kStartSector. Also a drive opened on an image the way the dialog opens one.
#pragma once

#include "support/Files.h"
#include "support/NtfsImage.h"
#include "support/SleuthKit.h"

#include "ntfs/NTFSDrive.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

class CNtfsWriter;

namespace extract_test
{

using namespace salvix_test;

class CExtractVolume
{
public:
    static const DWORD kStartSector = 2048;

    // Built on first use; m_strError says what failed when it could not be.
    static const CExtractVolume& Get();

    // The record number of a file, by the name it was created with.
    DWORD Index(const std::string& strCreatedName) const;

    std::string m_strError;
    std::string m_strFolder;  // this process's own work folder
    std::string m_strVolume;  // the bare volume
    std::string m_strDisk;    // the disk image holding it

    // The names records had when they were created ("/a/report.txt" for one
    // in a folder), and the name they were given afterwards where one was
    // patched in. "/Beach" and all below it are deleted.
    std::map<std::string, DWORD> m_mapIndex;
    std::map<std::string, std::u16string> m_mapHostile;  // created name -> patched name

    // Files copied in as they are, with their Latin-1 names, and their bytes.
    std::vector<std::string> m_vecPlainNames;
    std::map<std::string, Bytes> m_mapContent;

private:
    bool Build();
    bool Fill();
    bool FillFolders(CNtfsWriter& writer, unsigned long long n64Seed);
};

// A new empty folder for one test's output, under this process's folder.
std::string NewOutputFolder();

// Deterministic bytes: the same seed always gives the same content.
Bytes PseudoRandomBytes(size_t nLength, unsigned long long n64Seed);

// A drive on an image, opened read-only, with the lock its users share.
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

    // Opens the image and the volume at dwStartSector; 0 or a code.
    DWORD Open(const std::string& strImage, DWORD dwStartSector)
    {
        const HANDLE hDevice = OpenImage(strImage);
        return hDevice == INVALID_HANDLE_VALUE ? GetLastError() : OpenOn(hDevice, dwStartSector);
    }

    // Opens the volume on a handle this object then owns.
    DWORD OpenOn(HANDLE hDevice, DWORD dwStartSector)
    {
        m_hDevice = hDevice;
        return OpenVolumeOn(m_drive, m_hDevice, dwStartSector);
    }

    HANDLE m_hDevice = INVALID_HANDLE_VALUE;
    CNTFSDrive m_drive;
    std::mutex m_lock;
};

}  // namespace extract_test
