// The volume object on small hand-made volumes.
#include "support/NtfsImage.h"
#include "support/FaultFreeTest.h"

#include "ntfs/NTFSDrive.h"

#include <gtest/gtest.h>

#include <map>

using namespace salvix_test;

namespace
{

// The volumes here start at sector 2048 unless said.
DWORD OpenOn(CNTFSDrive& drive, HANDLE hDevice, DWORD dwFirstSector = 2048)
{
    return OpenVolumeOn(drive, hDevice, dwFirstSector);
}

}  // namespace

class NTFSDriveTest : public CFaultFreeTest
{
};

TEST_F(NTFSDriveTest, OpensTheVolumeAndDescribesRecords)
{
    CTestDisk volume;
    CRecordImage& file = volume.Record(30);
    file.AddResident(0x10, StandardInfoValue(100));
    file.AddResident(0x30, FileNameValue(u"caf\u00e9.txt", 8192, 0x21));
    file.AddResident(0x80, {'h', 'i'});
    CRecordImage& gone = volume.Record(31);
    gone = CRecordImage(1024, false);
    gone.AddResident(0x30, FileNameValue(u"old.bin", 4097));
    volume.Record(32);  // no attributes at all
    volume.Build(40);

    CHandle device(volume.Open());
    CNTFSDrive drive;
    ASSERT_EQ(0u, OpenOn(drive, device));
    EXPECT_EQ(40u, drive.GetRecordCount());
    EXPECT_EQ(4096u, drive.m_dwClusterSize);
    EXPECT_EQ(1024u, drive.m_dwRecordSize);

    MFTEntryInfo info;
    ASSERT_EQ(0u, drive.GetEntryInfo(30, info));
    EXPECT_STREQ("caf\xe9.txt", info.szName);
    EXPECT_EQ(0x21u, info.dwFileFlags);
    EXPECT_EQ(2, info.n64Clusters);
    EXPECT_EQ(0, info.bNotInUse);
    EXPECT_EQ(100, info.n64CreationTime);
    EXPECT_EQ(103, info.n64ReadTime);

    ASSERT_EQ(0u, drive.GetEntryInfo(31, info));
    EXPECT_STREQ("old.bin", info.szName);
    EXPECT_EQ(1, info.n64Clusters) << "4097 bytes is one cluster, truncated";
    EXPECT_EQ(1, info.bNotInUse);

    ASSERT_EQ(0u, drive.GetEntryInfo(32, info));
    EXPECT_STREQ("", info.szName);
    EXPECT_EQ(0u, info.dwFileFlags);
    EXPECT_EQ(1, info.n64Clusters);
    EXPECT_EQ(0, info.n64CreationTime);

    BYTE* pData = nullptr;
    DWORD dwLength = 0;
    ASSERT_EQ(0u, drive.ReadEntryData(30, pData, dwLength));
    ASSERT_EQ(2u, dwLength);
    EXPECT_EQ('h', pData[0]);
    delete[] pData;
    ASSERT_EQ(0u, drive.ReadEntryData(32, pData, dwLength));
    EXPECT_EQ(0u, dwLength);
    EXPECT_NE(nullptr, pData) << "an empty array still belongs to the caller";
    delete[] pData;
}

TEST_F(NTFSDriveTest, TableBoundsAndRecordsWithoutSignature)
{
    CDiskSpec spec;
    spec.m_n64TableRealSize = 40 * 1024 + 300;  // a part record at the end is ignored
    CTestDisk volume(spec);
    volume.Record(39).AddResident(0x30, FileNameValue(u"last"));
    volume.SetRaw(35, std::vector<BYTE>(1024, 0));
    volume.Build(40);
    CHandle device(volume.Open());
    CNTFSDrive drive;
    ASSERT_EQ(0u, OpenOn(drive, device));

    MFTEntryInfo info;
    memset(&info, 0x5A, sizeof(info));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, drive.GetEntryInfo(35, info));
    EXPECT_EQ(0x5A, static_cast<BYTE>(info.szName[0])) << "a failed query leaves the outputs alone";
    BYTE* pData = reinterpret_cast<BYTE*>(0x1);
    DWORD dwLength = 77;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, drive.ReadEntryData(35, pData, dwLength));
    EXPECT_EQ(reinterpret_cast<BYTE*>(0x1), pData);
    EXPECT_EQ(77u, dwLength);

    ASSERT_EQ(0u, drive.GetEntryInfo(39, info));
    EXPECT_STREQ("last", info.szName);
    EXPECT_EQ(ERROR_NO_MORE_FILES, drive.GetEntryInfo(40, info));
    EXPECT_EQ(ERROR_NO_MORE_FILES, drive.GetEntryInfo(0x00400000, info)) << "position beyond 32 bits";
    EXPECT_EQ(ERROR_NO_MORE_FILES, drive.GetEntryInfo(0xFFFFFFFF, info));
}

TEST_F(NTFSDriveTest, NamesFollowTheByteRule)
{
    CTestDisk volume;
    std::u16string str255(255, u'\u00e0');
    volume.Record(30).AddResident(0x30, FileNameValue(u"ab\u00e9\u4e2dxyz"));
    volume.Record(31).AddResident(0x30, FileNameValue(u"\u4e2dabc"));
    volume.Record(32).AddResident(0x30, FileNameValue(str255));
    volume.Build(33);
    CHandle device(volume.Open());
    CNTFSDrive drive;
    ASSERT_EQ(0u, OpenOn(drive, device));
    MFTEntryInfo info;
    ASSERT_EQ(0u, drive.GetEntryInfo(30, info));
    EXPECT_STREQ("ab\xe9", info.szName);
    ASSERT_EQ(0u, drive.GetEntryInfo(31, info));
    EXPECT_STREQ("", info.szName);
    ASSERT_EQ(0u, drive.GetEntryInfo(32, info));
    EXPECT_EQ(255u, strlen(info.szName));
    EXPECT_EQ('\xe0', info.szName[254]);
}

TEST_F(NTFSDriveTest, ClustersFromTheAllocatedSize)
{
    CTestDisk volume;
    const ULONGLONG sizes[] = {0, 4096, 4097, 8192, 0x7FFFFFFFFFFFF000ull};
    for (DWORD i = 0; i < 5; ++i)
        volume.Record(30 + i).AddResident(0x30, FileNameValue(u"f", sizes[i]));
    volume.Build(35);
    CHandle device(volume.Open());
    CNTFSDrive drive;
    ASSERT_EQ(0u, OpenOn(drive, device));
    const LONGLONG want[] = {1, 1, 1, 2, 0x7FFFFFFFFFFFFll};
    for (DWORD i = 0; i < 5; ++i)
    {
        MFTEntryInfo info;
        ASSERT_EQ(0u, drive.GetEntryInfo(30 + i, info));
        EXPECT_EQ(want[i], info.n64Clusters) << sizes[i];
    }
}

// A record whose names all moved to an extension record, named by an
// attribute list that lies on the disk: only a details call that may read
// the disk finds the name, and only when the list's runs hold all of it.
TEST_F(NTFSDriveTest, NameFromAnExtensionRecordThroughAListOnTheDisk)
{
    struct CCase
    {
        const char* m_pszWhat;
        ULONGLONG m_n64ListSize;  // what the list attribute claims; 0: its own size
        bool m_bWantName;
    };
    const CCase cases[] = {
        {"list held by its runs", 0, true},
        {"list longer than its runs", 2 * 4096, false},
    };
    for (const CCase& test : cases)
    {
        CTestDisk volume;
        std::vector<BYTE> vecList;
        for (const auto& entry : {ListEntry(0x10, 0, 30, 1), ListEntry(0x30, 0, 31, 1)})
            vecList.insert(vecList.end(), entry.begin(), entry.end());
        const ULONGLONG n64ListSize = test.m_n64ListSize ? test.m_n64ListSize : vecList.size();
        CRecordImage& base = volume.Record(30);
        base.SetSequence(1);
        base.AddResident(0x10, StandardInfoValue(100));
        base.AddNonResident(0x20, Runs({{1, 100}}), 4096, n64ListSize);
        volume.Record(31).SetSequence(1).SetBaseRecord(30, 1).AddResident(0x30, FileNameValue(u"moved.txt"));
        volume.Build(40);
        vecList.resize(4096, 0);
        volume.File().Write(volume.ClusterPosition(100), vecList);

        CHandle device(volume.Open());
        CNTFSDrive drive;
        ASSERT_EQ(0u, OpenOn(drive, device)) << test.m_pszWhat;
        MFTEntryInfo info;
        MFTEntryDetails details;
        ASSERT_EQ(0u, drive.GetEntryDetails(30, info, details)) << test.m_pszWhat;
        EXPECT_FALSE(details.bHasName) << test.m_pszWhat << ": a description never reads the disk";
        EXPECT_STREQ("", info.szName) << test.m_pszWhat;

        ASSERT_EQ(0u, drive.GetEntryDetailsReadingDisk(30, info, details)) << test.m_pszWhat;
        EXPECT_EQ(test.m_bWantName, details.bHasName) << test.m_pszWhat;
        EXPECT_EQ(test.m_bWantName ? "moved.txt" : "", details.strName) << test.m_pszWhat;
        EXPECT_STREQ(test.m_bWantName ? "moved.txt" : "", info.szName) << test.m_pszWhat;
        EXPECT_EQ(100, info.n64CreationTime) << test.m_pszWhat;
    }
}

// A deleted file whose name lies in an extension record: deletion moved both
// records' sequences on by one, and the name is found as while it was in use;
// its data opens for a save by the same rule.
TEST_F(NTFSDriveTest, NameOfADeletedFileInAnExtensionRecord)
{
    for (const bool bDeleted : {false, true})
    {
        const WORD wStep = bDeleted ? 1 : 0;
        CTestDisk volume;
        std::vector<BYTE> vecList;
        for (const auto& entry : {ListEntry(0x10, 0, 30, 1), ListEntry(0x30, 0, 31, 1), ListEntry(0x80, 0, 30, 1)})
            vecList.insert(vecList.end(), entry.begin(), entry.end());
        CRecordImage& base = volume.Record(30);
        base = CRecordImage(1024, !bDeleted);
        base.SetSequence(static_cast<WORD>(1 + wStep));
        base.AddResident(0x10, StandardInfoValue());
        base.AddResident(0x20, vecList);
        base.AddResident(0x80, {'o', 'w', 'n'});
        CRecordImage& extension = volume.Record(31);
        extension = CRecordImage(1024, !bDeleted);
        extension.SetSequence(static_cast<WORD>(1 + wStep)).SetBaseRecord(30, 1);
        extension.AddResident(0x30, FileNameValue(u"moved.txt"));
        volume.Build(40);

        CHandle device(volume.Open());
        CNTFSDrive drive;
        ASSERT_EQ(0u, OpenOn(drive, device));
        MFTEntryInfo info;
        MFTEntryDetails details;
        ASSERT_EQ(ntfs::ERecordKind::eFile, drive.ExamineRecord(30, info, details));
        EXPECT_EQ("moved.txt", details.strName) << (bDeleted ? "deleted" : "in use");
        EXPECT_EQ(bDeleted ? 1 : 0, info.bNotInUse);
        CEntryData data;
        ASSERT_EQ(0u, drive.OpenFileStream(30, data)) << (bDeleted ? "deleted" : "in use");
        EXPECT_EQ(3u, data.Size());
    }
}

TEST_F(NTFSDriveTest, UpdateSequenceIsAppliedToCopiesNotToTheTable)
{
    // A name whose units cross the end of the first 512-byte stretch.
    CTestDisk volume;
    std::u16string strLong;
    for (int i = 0; i < 220; ++i)
        strLong += static_cast<char16_t>(u'a' + i % 26);
    volume.Record(30).AddResident(0x10, StandardInfoValue());
    volume.Record(30).AddResident(0x30, FileNameValue(strLong));
    volume.Build(31);
    CHandle device(volume.Open());
    CNTFSDrive drive;
    ASSERT_EQ(0u, OpenOn(drive, device));
    MFTEntryInfo info;
    ASSERT_EQ(0u, drive.GetEntryInfo(30, info));
    std::string strWant(strLong.begin(), strLong.end());
    EXPECT_EQ(strWant, info.szName);
    // The table's bytes keep the sequence number in place: asked again, the
    // record reads the same, and its image has the stretch end restored once.
    ASSERT_EQ(0u, drive.GetEntryInfo(30, info));
    EXPECT_EQ(strWant, info.szName);
    std::vector<BYTE> vecImage(1024);
    ASSERT_EQ(0u, drive.GetRecordImage(30, vecImage.data()));
    EXPECT_NE(31, vecImage[510]);
    EXPECT_LE(drive.TableMemory(), CTableReader::kMaxHeldBytes) << "the table is never held whole";
}

TEST_F(NTFSDriveTest, BootSectorChecks)
{
    CTestDisk volume;
    volume.Build(31);
    CHandle device(volume.Open());
    CNTFSDrive drive;

    // Bytes after "NTFS" do not matter.
    volume.File().Write(volume.VolumeOffset() + 7, "XYZW", 4);
    EXPECT_EQ(0u, OpenOn(drive, device));

    volume.File().Write(volume.VolumeOffset() + 3, "NTFX", 4);
    EXPECT_EQ(ERROR_INVALID_DRIVE, OpenOn(drive, device));
    MFTEntryInfo info;
    EXPECT_EQ(ERROR_INVALID_ACCESS, drive.GetEntryInfo(30, info));

    // A boot sector cut short by the end of the disk.
    CScratchFile tiny;
    tiny.Write(0, std::vector<BYTE>(300, 0));
    CHandle tinyDevice(OpenImage(tiny.Path()));
    EXPECT_EQ(ERROR_READ_FAULT, OpenOn(drive, tinyDevice, 0));
}

TEST_F(NTFSDriveTest, RecordSizeCodes)
{
    struct CCase
    {
        WORD m_wSector;
        BYTE m_bySpc;
        signed char m_chCode;
        DWORD m_dwWant;  // record size, or 0 for refused
    };
    const CCase cases[] = {
        {512, 8, -10, 1024}, {512, 8, -12, 4096}, {512, 1, 2, 1024},  {512, 2, 1, 1024},
        {4096, 1, 1, 4096},  {512, 8, 0, 0},      {512, 8, -9, 0},     {512, 8, -32, 0},
        {512, 8, -31, 0},    {512, 1, 1, 0},      {512, 128, 1, 65536}, {512, 128, 2, 0},
        {512, 0, -10, 0},
    };
    for (const CCase& test : cases)
    {
        CDiskSpec spec;
        spec.m_wBytesPerSector = test.m_wSector;
        spec.m_bySectorsPerCluster = test.m_bySpc ? test.m_bySpc : 8;
        spec.m_chRecordCode = test.m_chCode;
        spec.m_dwRecordSize = test.m_dwWant ? test.m_dwWant : 1024;
        CTestDisk volume(spec);
        volume.Build(31);
        if (test.m_bySpc == 0)
            volume.File().Write(volume.VolumeOffset() + 0x0D, "\0", 1);
        CHandle device(volume.Open());
        CNTFSDrive drive;
        if (!test.m_dwWant)
            SetAllocationFault(1ull << 20);  // nothing of a refused size may be allocated
        DWORD dwError = OpenOn(drive, device);
        ClearFaults();
        if (test.m_dwWant)
        {
            EXPECT_EQ(0u, dwError) << int(test.m_chCode) << " spc " << int(test.m_bySpc);
            EXPECT_EQ(test.m_dwWant, drive.m_dwRecordSize);
        }
        else
        {
            EXPECT_EQ(ERROR_INVALID_PARAMETER, dwError) << int(test.m_chCode) << " spc " << int(test.m_bySpc);
            EXPECT_FALSE(drive.m_bOpened);
        }
    }
}

TEST_F(NTFSDriveTest, CallerSectorSizePlacesTheVolume)
{
    // Partition at sector 63: the volume starts at byte 32256 whatever the
    // boot sector says about its own sectors; clusters follow the boot sector.
    CDiskSpec spec;
    spec.m_n64FirstSector = 63;
    spec.m_wBytesPerSector = 4096;
    spec.m_bySectorsPerCluster = 1;
    spec.m_chRecordCode = -12;
    spec.m_dwRecordSize = 4096;
    CTestDisk volume(spec);
    volume.Record(30).AddResident(0x30, FileNameValue(u"x"));
    volume.Build(31);
    CHandle device(volume.Open());
    CNTFSDrive drive;
    ASSERT_EQ(0u, OpenOn(drive, device, 63));
    EXPECT_EQ(4096u, drive.m_dwClusterSize);
    MFTEntryInfo info;
    ASSERT_EQ(0u, drive.GetEntryInfo(30, info));
    EXPECT_STREQ("x", info.szName);
}

TEST_F(NTFSDriveTest, TableBeyondFourGiB)
{
    CDiskSpec spec;
    spec.m_n64FirstSector = 9000000;  // byte 4,608,000,000
    CTestDisk volume(spec);
    volume.Record(30).AddResident(0x30, FileNameValue(u"far"));
    volume.Build(31);
    CHandle device(volume.Open());
    CNTFSDrive drive;
    ASSERT_EQ(0u, OpenOn(drive, device, 9000000));
    MFTEntryInfo info;
    ASSERT_EQ(0u, drive.GetEntryInfo(30, info));
    EXPECT_STREQ("far", info.szName);
}

TEST_F(NTFSDriveTest, FirstRecordChecks)
{
    struct CCase
    {
        const char* m_pszWhat;
        std::u16string m_strName;
        bool m_bData;
        DWORD m_dwWant;
    };
    const CCase cases[] = {
        {"longer name starting with $MFT", u"$MFTMirr", true, 0},
        {"other name", u"$MFX", true, ERROR_BAD_DEVICE},
        {"no data", u"$MFT", false, 0},
    };
    for (const CCase& test : cases)
    {
        CDiskSpec spec;
        spec.m_strMftName = test.m_strName;
        spec.m_bMftData = test.m_bData;
        CTestDisk volume(spec);
        volume.Build(31);
        CHandle device(volume.Open());
        CNTFSDrive drive;
        EXPECT_EQ(test.m_dwWant, OpenOn(drive, device)) << test.m_pszWhat;
        EXPECT_EQ(test.m_dwWant == 0, drive.m_bOpened) << test.m_pszWhat;
        if (!test.m_bData)
        {
            MFTEntryInfo info;
            EXPECT_EQ(ERROR_NO_MORE_FILES, drive.GetEntryInfo(0, info));
        }
    }

    // No file name at all, no signature, and a record cut by the disk's end.
    CTestDisk noName;
    CRecordImage bare(1024);
    bare.AddNonResident(0x80, Runs({{8, 4}}), 8 * 4096, 31 * 1024);
    noName.SetRaw(0, bare.End().Bytes());
    noName.Build(31);
    CHandle noNameDevice(noName.Open());
    CNTFSDrive drive;
    EXPECT_EQ(ERROR_BAD_DEVICE, OpenOn(drive, noNameDevice));

    // A large table may keep its own name in an extension record that
    // record 0's attribute list names: it opens when that record belongs to
    // record 0 and is named so.
    struct CMoved
    {
        const char* m_pszWhat;
        std::u16string m_strName;
        ULONGLONG m_n64Base;
        DWORD m_dwWant;
    };
    const CMoved moved[] = {
        {"named $MFT in record 16", u"$MFT", 0, 0},
        {"record 16 named otherwise", u"other", 0, ERROR_BAD_DEVICE},
        {"record 16 belongs to record 5", u"$MFT", 5, ERROR_BAD_DEVICE},
    };
    for (const CMoved& test : moved)
    {
        CTestDisk listed;
        CRecordImage zero(1024);
        zero.SetSequence(1);
        zero.AddResident(0x10, StandardInfoValue());
        std::vector<BYTE> vecList;
        for (const auto& entry : {ListEntry(0x10, 0, 0, 1), ListEntry(0x30, 0, 16, 1), ListEntry(0x80, 0, 0, 1)})
            vecList.insert(vecList.end(), entry.begin(), entry.end());
        zero.AddResident(0x20, vecList);
        zero.AddNonResident(0x80, Runs({{8, 4}}), 8 * 4096, 31 * 1024);
        listed.SetRaw(0, zero.End().Protect().Bytes());
        listed.Record(16).SetSequence(1).SetBaseRecord(test.m_n64Base, 1).AddResident(
            0x30, FileNameValue(test.m_strName));
        listed.Record(30).AddResident(0x30, FileNameValue(u"after"));
        listed.Build(31);
        CHandle listedDevice(listed.Open());
        CNTFSDrive listedDrive;
        EXPECT_EQ(test.m_dwWant, OpenOn(listedDrive, listedDevice)) << test.m_pszWhat;
        MFTEntryInfo info;
        if (test.m_dwWant == 0)
        {
            ASSERT_EQ(0u, listedDrive.GetEntryInfo(30, info));
            EXPECT_STREQ("after", info.szName);
        }
    }

    CTestDisk unsigned_;
    unsigned_.SetRaw(0, std::vector<BYTE>(1024, 0));
    unsigned_.Build(31);
    CHandle unsignedDevice(unsigned_.Open());
    EXPECT_EQ(ERROR_INVALID_PARAMETER, OpenOn(drive, unsignedDevice));

    CTestDisk cut;
    cut.Build(31);
    cut.File().Truncate(cut.ClusterPosition(4) + 700);
    CHandle cutDevice(cut.Open());
    EXPECT_EQ(ERROR_INVALID_PARAMETER, OpenOn(drive, cutDevice));
    MFTEntryInfo info;
    EXPECT_EQ(ERROR_INVALID_ACCESS, drive.GetEntryInfo(0, info));
}

TEST_F(NTFSDriveTest, QueriesBeforeOpeningAndAfterAFailedLoad)
{
    CNTFSDrive drive;
    MFTEntryInfo info;
    BYTE* pData = nullptr;
    DWORD dwLength = 0;
    EXPECT_EQ(ERROR_INVALID_ACCESS, drive.GetEntryInfo(30, info));
    EXPECT_EQ(ERROR_INVALID_ACCESS, drive.ReadEntryData(30, pData, dwLength));
    EXPECT_EQ(ERROR_INVALID_ACCESS, drive.LoadMasterFileTable(4));

    CTestDisk volume;
    volume.Record(30).AddResident(0x30, FileNameValue(u"first"));
    volume.Build(31);
    CHandle device(volume.Open());
    ASSERT_EQ(0u, OpenOn(drive, device));
    drive.AttachDevice(device);
    EXPECT_EQ(ERROR_INVALID_ACCESS, drive.GetEntryInfo(30, info));

    // A failing load leaves the object not opened; the next one opens it.
    InjectFault(CDeviceFault::eReadError, volume.ClusterPosition(4) + 10, ERROR_IO_DEVICE);
    EXPECT_EQ(ERROR_IO_DEVICE, OpenOn(drive, device));
    EXPECT_EQ(ERROR_INVALID_ACCESS, drive.GetEntryInfo(30, info));
    ClearFaults();
    ASSERT_EQ(0u, OpenOn(drive, device));
    ASSERT_EQ(0u, drive.GetEntryInfo(30, info));
    EXPECT_STREQ("first", info.szName);
}

TEST_F(NTFSDriveTest, DeviceFaultsReachTheCaller)
{
    CTestDisk volume;
    volume.Record(30).AddResident(0x30, FileNameValue(u"data"));
    volume.Record(30).AddNonResident(0x80, Runs({{2, 100}}), 8192, 8000);
    volume.Build(31);
    volume.File().Write(volume.ClusterPosition(100), std::vector<BYTE>(8192, 0x42));
    CHandle device(volume.Open());
    CNTFSDrive drive;

    struct CCase
    {
        CDeviceFault::EKind m_eKind;
        ULONGLONG m_n64Offset;
        DWORD m_dwWant;
    };
    const CCase cases[] = {
        {CDeviceFault::eSeekError, volume.VolumeOffset(), ERROR_SEEK},
        {CDeviceFault::eReadError, volume.VolumeOffset() + 100, ERROR_IO_DEVICE},
        {CDeviceFault::eEndOfDevice, volume.VolumeOffset() + 200, ERROR_READ_FAULT},
        {CDeviceFault::eReadError, volume.ClusterPosition(4) + 1, ERROR_IO_DEVICE},
        {CDeviceFault::eShortRead, volume.ClusterPosition(4) + 512, ERROR_INVALID_PARAMETER},
    };
    for (const CCase& test : cases)
    {
        InjectFault(test.m_eKind, test.m_n64Offset, test.m_dwWant);
        EXPECT_EQ(test.m_dwWant, OpenOn(drive, device)) << test.m_eKind << " at " << test.m_n64Offset;
        ClearFaults();
    }

    // The table past record 0 is read when its records are asked for.
    InjectFault(CDeviceFault::eEndOfDevice, volume.ClusterPosition(4) + 4096);
    ASSERT_EQ(0u, OpenOn(drive, device));
    MFTEntryInfo infoEnd;
    EXPECT_EQ(ERROR_HANDLE_EOF, drive.GetEntryInfo(30, infoEnd));
    ClearFaults();

    // Once open, descriptions come from the table; data reads reach the disk.
    ASSERT_EQ(0u, OpenOn(drive, device));
    InjectFault(CDeviceFault::eReadError, volume.ClusterPosition(101), ERROR_CRC);
    MFTEntryInfo info;
    EXPECT_EQ(0u, drive.GetEntryInfo(30, info));
    BYTE* pData = nullptr;
    DWORD dwLength = 0;
    EXPECT_EQ(ERROR_CRC, drive.ReadEntryData(30, pData, dwLength));
    ClearFaults();
    ASSERT_EQ(0u, drive.ReadEntryData(30, pData, dwLength));
    ASSERT_EQ(8000u, dwLength);
    EXPECT_EQ(0x42, pData[7999]);
    delete[] pData;

    // Out of memory for the blocks the table is read in, made as a volume opens.
    CNTFSDrive fresh;
    SetAllocationFault(31 * 1024);
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, OpenOn(fresh, device));
}

TEST_F(NTFSDriveTest, TableLargerThan32BitsOpensAndIsReadWhereAsked)
{
    CTestDisk volume;
    volume.Record(30).AddResident(0x30, FileNameValue(u"near"));
    volume.Build(31);
    // Record 0's $DATA claims 5 GiB: the first 32 KiB where the table is,
    // then clusters far into a sparse disk, where record 5,000,000 lies.
    const ULONGLONG n64FarCluster = 3000000;
    CRecordImage mft(1024);
    mft.AddResident(0x30, FileNameValue(u"$MFT"));
    mft.AddNonResident(0x80, Runs({{8, 4}, {1310712, static_cast<LONGLONG>(n64FarCluster)}}), 5ull << 30,
                       5ull << 30);
    volume.File().Write(volume.ClusterPosition(4), mft.End().Protect().Bytes());
    CRecordImage farRecord(1024);
    farRecord.AddResident(0x30, FileNameValue(u"far away"));
    const ULONGLONG n64FarRecord = 5000000;  // past 4 GiB of table
    volume.File().Write(volume.ClusterPosition(n64FarCluster) + (n64FarRecord - 32) * 1024,
                        farRecord.End().Protect().Bytes());
    CHandle device(volume.Open());
    CNTFSDrive drive;
    ASSERT_EQ(0u, OpenOn(drive, device));
    EXPECT_EQ(5ull << 30, drive.TableBytes());
    EXPECT_EQ(5u * 1024 * 1024, drive.GetRecordCount());
    MFTEntryInfo info;
    ASSERT_EQ(0u, drive.GetEntryInfo(30, info));
    EXPECT_STREQ("near", info.szName);
    ASSERT_EQ(0u, drive.GetEntryInfo(static_cast<DWORD>(n64FarRecord), info));
    EXPECT_STREQ("far away", info.szName);
    EXPECT_LE(drive.TableMemory(), CTableReader::kMaxHeldBytes) << "the table is never held whole";
}
