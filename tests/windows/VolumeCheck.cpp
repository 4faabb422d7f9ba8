#include "VolumeCheck.h"
#include "support/Disagreements.h"
#include "support/NtfsImage.h"

#include "ntfs/NTFSDrive.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

std::string WindowsPath(const std::string& strLinuxPath)
{
    std::string strPath = "Z:" + strLinuxPath;
    for (char& c : strPath)
        if (c == '/')
            c = '\\';
    return strPath;
}

std::string ImagePath(const std::string& strName)
{
    return WindowsPath(std::string(SALVIX_WINDOWS_IMAGES) + "/" + strName);
}

bool LoadExpectations(const std::string& strWindowsPath, CExpectedImage& image, std::string& strError)
{
    std::ifstream file(strWindowsPath, std::ios::binary);
    if (!file)
    {
        strError = strWindowsPath + " is missing: the windows_images test makes it";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (!ParseExpectations(text.str(), image, strError))
    {
        strError = strWindowsPath + ": " + strError;
        return false;
    }
    return true;
}

namespace
{
using salvix_test::AskRecord;
using salvix_test::CRecordResult;
using salvix_test::Printable;

const unsigned long long kFirstListedRecord = 30;

class CRecordCheck
{
public:
    CRecordCheck(CNTFSDrive& drive, CVolumeTally& tally) : m_drive(drive), m_tally(tally) {}

    void Check(const CExpectedRecord& expected)
    {
        const DWORD dwRecord = expected.m_dwRecord;
        const CRecordResult got = AskRecord(m_drive, dwRecord);
        const MFTEntryInfo& info = got.m_info;
        ++m_tally.m_nRecords;

        if (expected.m_eKind == CExpectedRecord::eNotFile)
        {
            ++m_tally.m_nNotFile;
            if (got.m_dwInfo != ERROR_INVALID_PARAMETER || got.m_dwData != ERROR_INVALID_PARAMETER)
                Mismatch(dwRecord, "not a FILE record, yet the codes are " + std::to_string(got.m_dwInfo) +
                                       " and " + std::to_string(got.m_dwData));
            return;
        }
        if (expected.m_eKind == CExpectedRecord::eUnread)
            return;
        ++m_tally.m_nEntries;
        if (got.m_dwInfo != 0)
            return Mismatch(dwRecord, "GetEntryInfo gave " + std::to_string(got.m_dwInfo));
        if (got.m_strName != expected.m_strName)
            Mismatch(dwRecord, "name \"" + Printable(got.m_strName) + "\", expected \"" +
                                   Printable(expected.m_strName) + "\"");
        if (info.dwFileFlags != expected.m_dwFlags)
            Mismatch(dwRecord, "flags " + std::to_string(info.dwFileFlags) + ", expected " +
                                   std::to_string(expected.m_dwFlags));
        if (info.n64Clusters != expected.m_n64Clusters)
            Mismatch(dwRecord, "clusters " + std::to_string(info.n64Clusters) + ", expected " +
                                   std::to_string(expected.m_n64Clusters));
        if (info.bNotInUse != expected.m_nNotInUse)
            Mismatch(dwRecord, "not-in-use mark " + std::to_string(info.bNotInUse) + ", expected " +
                                   std::to_string(expected.m_nNotInUse));
        if (!expected.m_bData)
            return;
        if (got.m_dwData != 0)
            return Mismatch(dwRecord, "ReadEntryData gave " + std::to_string(got.m_dwData));
        const DWORD dwLength = static_cast<DWORD>(got.m_vecData.size());
        ++m_tally.m_nDataCompared;
        m_tally.m_n64BytesCompared += dwLength;
        m_tally.m_nDeletedWithData += expected.m_nNotInUse && dwLength > 0;
        if (dwLength != expected.m_dwDataLength || DataHash(got.m_vecData.data(), dwLength) != expected.m_n64DataHash)
            Mismatch(dwRecord, "data of " + std::to_string(dwLength) + " bytes differs from The Sleuth Kit's " +
                                   std::to_string(expected.m_dwDataLength));
    }

    void Report() const { m_disagreements.Report(); }

private:
    void Mismatch(DWORD dwRecord, const std::string& strWhat) { m_disagreements.Add(dwRecord, strWhat); }

    CNTFSDrive& m_drive;
    CVolumeTally& m_tally;
    salvix_test::CDisagreements m_disagreements;
};
}  // namespace

CVolumeTally CompareVolume(HANDLE hDevice, const CExpectedVolume& volume)
{
    CVolumeTally tally;
    CNTFSDrive drive;
    const DWORD dwOpen = salvix_test::OpenVolumeOn(drive, hDevice, volume.m_dwFirstSector);
    EXPECT_EQ(0u, dwOpen) << "volume at sector " << volume.m_dwFirstSector;
    if (dwOpen != 0)
        return tally;
    tally.m_bOpened = true;
    EXPECT_EQ(volume.m_dwClusterSize, drive.m_dwClusterSize);
    EXPECT_EQ(volume.m_dwRecordSize, drive.m_dwRecordSize);
    EXPECT_EQ(volume.m_n64Records, drive.GetRecordCount());
    MFTEntryInfo info;
    EXPECT_EQ(ERROR_NO_MORE_FILES, drive.GetEntryInfo(static_cast<DWORD>(volume.m_n64Records), info))
        << "one past the table";

    EXPECT_EQ(volume.m_n64Records - kFirstListedRecord, volume.m_vecRecords.size())
        << "every listed record has its line";

    CRecordCheck check(drive, tally);
    for (const CExpectedRecord& expected : volume.m_vecRecords)
        check.Check(expected);
    check.Report();
    return tally;
}
