// Helpers of the Windows tests: where the lane's images are, and a check of
// every listed record of a volume, read by the core through the real Win32
// API, against what The Sleuth Kit said of it on Linux.
#pragma once

#include "Expectations.h"
#include "support/Files.h"

#include "platform/Win32.h"

#include <string>

using salvix_test::OpenImage;

// The Windows name of a Linux path: Wine's drive Z: is the Linux root.
std::string WindowsPath(const std::string& strLinuxPath);
// The Windows name of a file in the folder where the images are made.
std::string ImagePath(const std::string& strName);
// False, with the reason in strError, when the file is missing or malformed.
bool LoadExpectations(const std::string& strWindowsPath, CExpectedImage& image, std::string& strError);

// What a comparison went through, so tests can tell it was not empty.
struct CVolumeTally
{
    bool m_bOpened = false;
    int m_nRecords = 0;
    int m_nEntries = 0;
    int m_nDataCompared = 0;
    unsigned long long m_n64BytesCompared = 0;
    int m_nNotFile = 0;
    int m_nDeletedWithData = 0;
};

// Opens the volume on hDevice with CNTFSDrive and compares every record with
// the expectations; each disagreement is a test failure.
CVolumeTally CompareVolume(HANDLE hDevice, const CExpectedVolume& volume);
