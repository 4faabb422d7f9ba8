// A failing device or exhausted memory at each stage of what a user does:
// the partition walk (master and extended boot records), opening the volume
// (boot sector, table record 0, the table's runs), listing the rows, and
// saving a row's data. Each fault must reach the user as its code, keep what
// was listed before it, and end promptly.
#include "VolumeWalk.h"
#include "support/DiskGuard.h"
#include "support/FaultFreeTest.h"

#include "disk/Disk.h"
#include "disk/PartitionTable.h"

#include <gtest/gtest.h>

using namespace salvix_test;

namespace
{

const DWORD kCluster = 4096;
const DWORD kExtendedSector = 100;
const ULONGLONG kDataCluster = 200;
const DWORD kDataLength = 8000;
const DWORD kNone = ~0u;  // a stage the user never reaches

// The disk: an NTFS primary partition at sector 2048 and an extended
// partition at sector 100 whose one record lists a FAT32 partition. The
// table is in two runs; record 30 is resident, record 31 has 8000 bytes in
// two clusters.
class CFaultDisk
{
public:
    CFaultDisk() : m_disk(Spec())
    {
        CRecordImage& resident = m_disk.Record(30);
        resident.AddResident(0x10, StandardInfoValue());
        resident.AddResident(0x30, FileNameValue(u"resident.txt"));
        resident.AddResident(0x80, {'r', 'e', 's'});
        CRecordImage& data = m_disk.Record(31);
        data.AddResident(0x10, StandardInfoValue());
        data.AddResident(0x30, FileNameValue(u"data.bin", 2 * kCluster));
        data.AddNonResident(0x80, Runs({{2, static_cast<LONGLONG>(kDataCluster)}}), 2 * kCluster, kDataLength);
        m_disk.Build(32);
        std::vector<BYTE> vecData(2 * kCluster);
        for (size_t i = 0; i < vecData.size(); ++i)
            vecData[i] = static_cast<BYTE>(i * 7 + 3);
        m_disk.File().Write(m_disk.ClusterPosition(kDataCluster), vecData);
        m_vecData.assign(vecData.begin(), vecData.begin() + kDataLength);
        WritePartitionTable(m_disk.Path(), 0, {Part(7, 2048), Part(5, kExtendedSector)});
        WritePartitionTable(m_disk.Path(), kExtendedSector, {Part(11, 1)});
    }

    static CDiskSpec Spec()
    {
        CDiskSpec spec;
        spec.m_vecMftRuns = {{4, 4}, {4, 20}};
        return spec;
    }

    CTestDisk m_disk;
    std::vector<BYTE> m_vecData;
};

// What the user sees after going through every stage as far as it goes.
struct CFlow
{
    DWORD m_dwWalk = kNone;      // the partition walk's code
    size_t m_nItems = 0;         // tree items listed
    DWORD m_dwOpen = kNone;      // OpenVolume's code, shown in the error box
    size_t m_nRows = 0;          // list rows from record 30 on
    DWORD m_dwRowsEnd = kNone;   // the code that ended the listing
    DWORD m_dwSave = kNone;      // ReadEntryData of row 1 (record 31)
    std::vector<BYTE> m_vecSaved;
    double m_dSeconds = 0;
};

// Injects the allocation fault at the start of one stage.
enum EStage
{
    eWalk,
    eOpen,
    eRows,
    eSave,
};

CFlow RunFlow(const CFaultDisk& disk, EStage eAllocStage = eWalk, ULONGLONG n64AllocMin = ~0ull,
              unsigned nAllocSkip = 0)
{
    const auto start = std::chrono::steady_clock::now();
    CFlow flow;
    auto allocFault = [&](EStage eStage) {
        if (eStage == eAllocStage && n64AllocMin != ~0ull)
            SetAllocationFault(n64AllocMin, nAllocSkip);
    };

    CDiskGuard guard(disk.m_disk.Path());
    DWORD dwNtfsStart = kNone;
    allocFault(eWalk);
    flow.m_dwWalk = WalkPartitionTables([&](const char* pszText, const PartitionRecord& record) {
        ++flow.m_nItems;
        if (std::string(pszText) == "NTFS Drive 0")
            dwNtfsStart = record.dwFirstSector;
    });
    if (dwNtfsStart != kNone)
    {
        CHandle device(OpenFirstDisk());
        CNTFSDrive drive;
        allocFault(eOpen);
        flow.m_dwOpen = OpenVolumeOn(drive, device, dwNtfsStart);
        if (flow.m_dwOpen == 0)
        {
            allocFault(eRows);
            for (DWORD i = 30;; ++i)
            {
                MFTEntryInfo info;
                flow.m_dwRowsEnd = drive.GetEntryInfo(i, info);
                if (flow.m_dwRowsEnd != 0)
                    break;
                ++flow.m_nRows;
            }
            SetAllocationFault(~0ull);
            allocFault(eSave);
            if (flow.m_nRows >= 2)
            {
                BYTE* pData = nullptr;
                DWORD dwLength = 0;
                flow.m_dwSave = drive.ReadEntryData(31, pData, dwLength);
                if (flow.m_dwSave == 0)
                {
                    flow.m_vecSaved.assign(pData, pData + dwLength);
                    delete[] pData;
                }
            }
        }
    }
    ClearFaults();
    flow.m_dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return flow;
}

class FaultMatrixTest : public CFaultFreeTest
{
};

void ExpectFlow(const CFlow& got, DWORD dwWalk, size_t nItems, DWORD dwOpen, size_t nRows, DWORD dwRowsEnd,
                DWORD dwSave, const std::vector<BYTE>& vecData)
{
    EXPECT_EQ(dwWalk, got.m_dwWalk) << "partition walk";
    EXPECT_EQ(nItems, got.m_nItems) << "tree items";
    EXPECT_EQ(dwOpen, got.m_dwOpen) << "opening the volume";
    EXPECT_EQ(nRows, got.m_nRows) << "list rows";
    EXPECT_EQ(dwRowsEnd, got.m_dwRowsEnd) << "end of the listing";
    EXPECT_EQ(dwSave, got.m_dwSave) << "saving row 1";
    if (dwSave == 0)
    {
        EXPECT_EQ(vecData, got.m_vecSaved) << "saved bytes";
    }
    EXPECT_LT(got.m_dSeconds, kTimeBoundSeconds);
}

}  // namespace

TEST_F(FaultMatrixTest, HealthyDiskGoesThroughEveryStage)
{
    CFaultDisk disk;
    CFlow flow = RunFlow(disk);
    ExpectFlow(flow, 0, 2, 0, 2, ERROR_NO_MORE_FILES, 0, disk.m_vecData);
}

TEST_F(FaultMatrixTest, DeviceFaultAtEachStage)
{
    CFaultDisk disk;
    const ULONGLONG n64Ebr = kExtendedSector * 512ull;
    const ULONGLONG n64Boot = disk.m_disk.VolumeOffset();
    const ULONGLONG n64Record0 = disk.m_disk.ClusterPosition(4);
    const ULONGLONG n64SecondRun = disk.m_disk.ClusterPosition(20);
    const ULONGLONG n64Data = disk.m_disk.ClusterPosition(kDataCluster);
    const std::vector<BYTE>& vecData = disk.m_vecData;
    const std::vector<BYTE> vecNone;

    using K = CDeviceFault;
    struct CCase
    {
        const char* m_pszStage;
        CDeviceFault::EKind m_eKind;
        ULONGLONG m_n64Offset;
        DWORD m_dwWalk;
        size_t m_nItems;
        DWORD m_dwOpen;
        size_t m_nRows;
        DWORD m_dwRowsEnd;
        DWORD m_dwSave;
    };
    // Injected codes: ERROR_CRC for reads, ERROR_SEEK for seeks. Short reads and the end of
    // the device have no code of their own: what the caller makes of them shows.
    const CCase cases[] = {
        {"master boot record", K::eReadError, 100, ERROR_CRC, 0, kNone, 0, kNone, kNone},
        {"master boot record", K::eShortRead, 100, ERROR_READ_FAULT, 0, kNone, 0, kNone, kNone},
        {"master boot record", K::eEndOfDevice, 0, ERROR_READ_FAULT, 0, kNone, 0, kNone, kNone},
        // The master boot record is read without a seek; the first seek fails.
        {"master boot record", K::eSeekError, 0, ERROR_SEEK, 1, ERROR_SEEK, 0, kNone, kNone},
        {"extended boot record", K::eReadError, n64Ebr, ERROR_CRC, 1, 0, 2, ERROR_NO_MORE_FILES, 0},
        {"extended boot record", K::eShortRead, n64Ebr + 511, ERROR_READ_FAULT, 1, 0, 2, ERROR_NO_MORE_FILES, 0},
        {"extended boot record", K::eEndOfDevice, n64Ebr, ERROR_READ_FAULT, 1, ERROR_READ_FAULT, 0, kNone, kNone},
        {"extended boot record", K::eSeekError, n64Ebr, ERROR_SEEK, 1, ERROR_SEEK, 0, kNone, kNone},
        {"volume boot sector", K::eReadError, n64Boot + 0x30, 0, 2, ERROR_CRC, 0, kNone, kNone},
        // The walk reads the boot sector first, for the file system that names
        // the partition: the one short read is its, and the label falls back
        // to the type byte; the volume then opens whole.
        {"volume boot sector", K::eShortRead, n64Boot + 100, 0, 2, 0, 2, ERROR_NO_MORE_FILES, 0},
        {"volume boot sector", K::eEndOfDevice, n64Boot + 511, 0, 2, ERROR_READ_FAULT, 0, kNone, kNone},
        {"volume boot sector", K::eSeekError, n64Boot, 0, 2, ERROR_SEEK, 0, kNone, kNone},
        {"table record 0", K::eReadError, n64Record0 + 1000, 0, 2, ERROR_CRC, 0, kNone, kNone},
        {"table record 0", K::eShortRead, n64Record0 + 512, 0, 2, ERROR_INVALID_PARAMETER, 0, kNone, kNone},
        {"table record 0", K::eEndOfDevice, n64Record0 + 512, 0, 2, ERROR_INVALID_PARAMETER, 0, kNone, kNone},
        {"table record 0", K::eSeekError, n64Record0, 0, 2, ERROR_SEEK, 0, kNone, kNone},
        // The table is read as records are asked for: opening reads record 0
        // only, and a stretch that cannot be read ends the listing there.
        {"table's second run", K::eReadError, n64SecondRun + 14 * 1024 + 100, 0, 2, 0, 0, ERROR_CRC, kNone},
        // A short read is followed by a read of the rest: nothing is lost.
        {"table's second run", K::eShortRead, n64SecondRun + 512, 0, 2, 0, 2, ERROR_NO_MORE_FILES, 0},
        {"table's second run", K::eEndOfDevice, n64SecondRun, 0, 2, 0, 0, ERROR_HANDLE_EOF, kNone},
        {"table's second run", K::eSeekError, n64SecondRun, 0, 2, 0, 0, ERROR_SEEK, kNone},
        // Descriptions come from memory; only the save reads the disk again.
        {"file data", K::eReadError, n64Data + kCluster, 0, 2, 0, 2, ERROR_NO_MORE_FILES, ERROR_CRC},
        {"file data", K::eShortRead, n64Data + 100, 0, 2, 0, 2, ERROR_NO_MORE_FILES, 0},
        {"file data", K::eEndOfDevice, n64Data + kCluster, 0, 2, 0, 2, ERROR_NO_MORE_FILES, ERROR_HANDLE_EOF},
        {"file data", K::eSeekError, n64Data, 0, 2, 0, 2, ERROR_NO_MORE_FILES, ERROR_SEEK},
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(std::string(test.m_pszStage) + ", fault kind " + std::to_string(test.m_eKind));
        InjectFault(test.m_eKind, test.m_n64Offset, test.m_eKind == K::eSeekError ? ERROR_SEEK : ERROR_CRC);
        CFlow flow = RunFlow(disk);
        ExpectFlow(flow, test.m_dwWalk, test.m_nItems, test.m_dwOpen, test.m_nRows, test.m_dwRowsEnd,
                   test.m_dwSave, test.m_dwSave == 0 ? vecData : vecNone);
    }
}

TEST_F(FaultMatrixTest, AllocationFailureAtEachStage)
{
    CFaultDisk disk;
    const std::vector<BYTE> vecNone;
    // The work buffer is the open's first allocation of a record's size.
    CFlow flow = RunFlow(disk, eOpen, 1024);
    ExpectFlow(flow, 0, 2, ERROR_NOT_ENOUGH_MEMORY, 0, kNone, kNone, vecNone);
    // The blocks the table is read in, made when the volume opens.
    flow = RunFlow(disk, eOpen, 8 * kCluster);
    ExpectFlow(flow, 0, 2, ERROR_NOT_ENOUGH_MEMORY, 0, kNone, kNone, vecNone);
    // Describing a record allocates nothing: with every allocation failing
    // the listing still runs to the table's end.
    flow = RunFlow(disk, eRows, 1);
    ExpectFlow(flow, 0, 2, 0, 2, ERROR_NO_MORE_FILES, 0, disk.m_vecData);
    // The data buffer of the save: the file's bytes, not its whole clusters.
    flow = RunFlow(disk, eSave, kDataLength);
    ExpectFlow(flow, 0, 2, 0, 2, ERROR_NO_MORE_FILES, ERROR_NOT_ENOUGH_MEMORY, vecNone);
}
