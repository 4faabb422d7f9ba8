// A record's data read in pieces: attribute lists and extension records,
// each way they can fail to fit; compressed units of every kind; a sparse
// stream past 4 GiB read through a tiny buffer.
#include "Lznt1Pack.h"
#include "support/NtfsImage.h"

#include "ntfs/EntryData.h"
#include "ntfs/NTFSDrive.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace testimg;

namespace
{

const DWORD kCluster = 4096;
const DWORD kBase = 30;
const WORD kBaseSeq = 5;
const WORD kExtSeq[] = {3, 9};  // records 31 and 32
const ULONGLONG kSplitReal = 5 * kCluster - 2000;

std::vector<BYTE> Clusters(std::initializer_list<ULONGLONG> clusters)
{
    std::vector<BYTE> vec;
    for (ULONGLONG n : clusters)
    {
        std::vector<BYTE> one = ClusterPattern(n, kCluster);
        vec.insert(vec.end(), one.begin(), one.end());
    }
    return vec;
}

// A file whose unnamed $DATA runs over clusters 100-101 (base record 30),
// 110-111 (extension 31) and 120 (extension 32), with a resident stream "s"
// in extension 31; damage is done to the parts before they are placed.
struct CSplitFile
{
    CRecordImage m_base, m_ext1, m_ext2;
    std::vector<std::vector<BYTE>> m_vecList;
    bool m_bNonResidentList = false;
    ULONGLONG m_n64ListSize = 0;  // when not 0: the size a non-resident list claims

    CSplitFile()
    {
        m_base.SetSequence(kBaseSeq).AddResident(0x30, FileNameValue(u"split.bin"));
        m_base.AddNonResident(0x80, Runs({{2, 100}}), 5 * kCluster, kSplitReal, 0, 1);
        m_ext1.SetSequence(kExtSeq[0]).SetBaseRecord(kBase, kBaseSeq);
        m_ext1.AddNonResident(0x80, Runs({{2, 110}}), 0, 0, 2, 3);
        m_ext1.Name(m_ext1.AddResident(0x80, {'n', 'a', 'm', 'e', 'd'}), u"s");
        m_ext2.SetSequence(kExtSeq[1]).SetBaseRecord(kBase, kBaseSeq);
        m_ext2.AddNonResident(0x80, Runs({{1, 120}}), 0, 0, 4, 4);
        m_vecList = {ListEntry(0x30, 0, kBase, kBaseSeq), ListEntry(0x80, 0, kBase, kBaseSeq),
                     ListEntry(0x80, 2, 31, kExtSeq[0]), ListEntry(0x80, 4, 32, kExtSeq[1]),
                     ListEntry(0x80, 0, 31, kExtSeq[0], 1, u"s")};
    }
    void Place(CTestDisk& disk)
    {
        std::vector<BYTE> vecList;
        for (const auto& entry : m_vecList)
            vecList.insert(vecList.end(), entry.begin(), entry.end());
        if (!m_bNonResidentList)
            m_base.AddResident(0x20, vecList);
        else
        {
            disk.File().Write(disk.ClusterPosition(130), vecList);
            m_base.AddNonResident(0x20, Runs({{1, 130}}), kCluster,
                                  m_n64ListSize ? m_n64ListSize : vecList.size());
        }
        disk.Record(kBase) = m_base;
        disk.Record(31) = m_ext1;
        disk.Record(32) = m_ext2;
    }
};

class EntryDataTest : public ::testing::Test
{
protected:
    // Builds the disk with records 0..39 and opens the volume on it.
    void Open(const std::function<void(CTestDisk&)>& fnRecords, const CDiskSpec& spec = CDiskSpec())
    {
        m_pDisk.reset(new CTestDisk(spec));
        fnRecords(*m_pDisk);
        m_pDisk->Build(40);
        for (ULONGLONG n : {100, 101, 110, 111, 120})
            m_pDisk->File().Write(m_pDisk->ClusterPosition(n), ClusterPattern(n, kCluster));
        m_hDevice = m_pDisk->Open();
        m_drive.AttachDevice(m_hDevice);
        m_drive.SetVolumeStart(m_pDisk->FirstSector(), 512);
        ASSERT_EQ(0u, m_drive.OpenVolume());
    }
    void TearDown() override
    {
        if (m_hDevice != INVALID_HANDLE_VALUE)
            CloseHandle(m_hDevice);
        m_hDevice = INVALID_HANDLE_VALUE;
    }
    std::vector<BYTE> ReadAll(DWORD dwIndex, DWORD& dwError)
    {
        BYTE* pData = nullptr;
        DWORD dwLength = 0;
        dwError = m_drive.ReadEntryData(dwIndex, pData, dwLength);
        std::vector<BYTE> vec(pData, pData + (dwError ? 0 : dwLength));
        delete[] pData;
        return vec;
    }
    // The whole data read in pieces of nPiece bytes.
    std::vector<BYTE> ReadInPieces(CEntryData& data, size_t nPiece)
    {
        std::vector<BYTE> vec(static_cast<size_t>(data.Size()));
        for (size_t n = 0; n < vec.size(); n += nPiece)
            EXPECT_EQ(0u, data.Read(n, vec.data() + n, std::min(nPiece, vec.size() - n))) << n;
        return vec;
    }

    std::unique_ptr<CTestDisk> m_pDisk;
    HANDLE m_hDevice = INVALID_HANDLE_VALUE;
    CNTFSDrive m_drive;
};

}  // namespace

TEST_F(EntryDataTest, ExtentsFromExtensionRecordsThroughResidentAndNonResidentLists)
{
    std::vector<BYTE> vecWant = Clusters({100, 101, 110, 111, 120});
    vecWant.resize(kSplitReal);
    for (char c : std::string("named"))
        vecWant.push_back(static_cast<BYTE>(c));
    for (bool bNonResident : {false, true})
    {
        SCOPED_TRACE(bNonResident ? "non-resident list" : "resident list");
        Open([&](CTestDisk& disk) {
            CSplitFile file;
            file.m_bNonResidentList = bNonResident;
            file.Place(disk);
        });
        DWORD dwError = ~0u;
        EXPECT_EQ(vecWant, ReadAll(kBase, dwError));
        EXPECT_EQ(0u, dwError);
        CEntryData data;
        ASSERT_EQ(0u, m_drive.OpenEntryData(kBase, data));
        ASSERT_EQ(2u, data.StreamCount());
        EXPECT_EQ(std::vector<WORD>{'s'}, data.Stream(1).m_vecName);
        EXPECT_EQ(vecWant, ReadInPieces(data, 999));
        // The extension record as a row of its own: the extent's sizes are
        // in the base record, so only its resident stream is data.
        EXPECT_EQ(std::vector<BYTE>({'n', 'a', 'm', 'e', 'd'}), ReadAll(31, dwError));
        TearDown();
    }
}

TEST_F(EntryDataTest, ListsWhoseExtentsDoNotFitTogetherAreRefused)
{
    struct CCase
    {
        const char* m_pszWhat;
        std::function<void(CSplitFile&)> m_fnDamage;
        DWORD m_dwWant;
    };
    const CCase cases[] = {
        {"sound", [](CSplitFile&) {}, 0},
        {"extension names another base", [](CSplitFile& f) { f.m_ext1.SetBaseRecord(33, kBaseSeq); }, 1392},
        {"extension names the base's old sequence", [](CSplitFile& f) { f.m_ext1.SetBaseRecord(kBase, 4); }, 1392},
        {"extension reused: its sequence moved on", [](CSplitFile& f) { f.m_ext1.SetSequence(4); }, 1392},
        {"extension not in use", [](CSplitFile& f) { f.m_ext1.Bytes()[0x16] = 0; }, 1392},
        {"list names a record past the table",
         [](CSplitFile& f) { f.m_vecList[2] = ListEntry(0x80, 2, 1000, kExtSeq[0]); }, 1392},
        {"list names the extents twice over",
         [](CSplitFile& f) {
             const std::vector<std::vector<BYTE>> vecAgain(f.m_vecList.begin() + 1, f.m_vecList.begin() + 4);
             f.m_vecList.insert(f.m_vecList.end(), vecAgain.begin(), vecAgain.end());
         },
         1392},
        {"list names a piece the record lacks",
         [](CSplitFile& f) { f.m_vecList[2] = ListEntry(0x80, 2, 32, kExtSeq[1]); }, 1392},
        {"a gap between extents",
         [](CSplitFile& f) {
             f.m_ext1 = CRecordImage();
             f.m_ext1.SetSequence(kExtSeq[0]).SetBaseRecord(kBase, kBaseSeq);
             f.m_ext1.AddNonResident(0x80, Runs({{1, 110}}), 0, 0, 3, 3);
             f.m_vecList[2] = ListEntry(0x80, 3, 31, kExtSeq[0]);
             f.m_vecList.pop_back();
         },
         1392},
        {"overlapping extents",
         [](CSplitFile& f) {
             f.m_ext2 = CRecordImage();
             f.m_ext2.SetSequence(kExtSeq[1]).SetBaseRecord(kBase, kBaseSeq);
             f.m_ext2.AddNonResident(0x80, Runs({{2, 120}}), 0, 0, 3, 4);
             f.m_vecList[3] = ListEntry(0x80, 3, 32, kExtSeq[1]);
         },
         1392},
        {"the last extent left out of the list", [](CSplitFile& f) { f.m_vecList.erase(f.m_vecList.begin() + 3); }, 1392},
        {"a list entry of length 0", [](CSplitFile& f) { PutLE(f.m_vecList[3], 4, 0, 2); }, 1392},
        {"a list over 256 KiB",
         [](CSplitFile& f) {
             f.m_bNonResidentList = true;
             f.m_n64ListSize = 300 * 1024;
         },
         1392},
        {"freed with its base: every sequence one step on",
         [](CSplitFile& f) {
             f.m_base.SetSequence(kBaseSeq + 1).Bytes()[0x16] = 0;
             f.m_ext1.SetSequence(kExtSeq[0] + 1).Bytes()[0x16] = 0;
             f.m_ext2.SetSequence(kExtSeq[1] + 1).Bytes()[0x16] = 0;
         },
         0},
        {"freed base, an extension in use again",
         [](CSplitFile& f) {
             f.m_base.SetSequence(kBaseSeq + 1).Bytes()[0x16] = 0;
             f.m_ext2.SetSequence(kExtSeq[1] + 1).Bytes()[0x16] = 0;
         },
         1392},
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(test.m_pszWhat);
        Open([&](CTestDisk& disk) {
            CSplitFile file;
            test.m_fnDamage(file);
            file.Place(disk);
        });
        CEntryData data;
        EXPECT_EQ(test.m_dwWant, m_drive.OpenEntryData(kBase, data));
        EXPECT_EQ(test.m_dwWant == 0, data.IsOpen());
        BYTE* pData = reinterpret_cast<BYTE*>(0x1);
        DWORD dwLength = 77;
        const DWORD dwRead = m_drive.ReadEntryData(kBase, pData, dwLength);
        EXPECT_EQ(test.m_dwWant, dwRead);
        if (dwRead == 0)
        {
            EXPECT_EQ(kSplitReal + 5, dwLength);
            delete[] pData;
        }
        else
            EXPECT_EQ(77u, dwLength) << "a refused read leaves the outputs alone";
        TearDown();
    }
}

namespace
{

const size_t kUnitBytes = 16 * kCluster;

std::vector<BYTE> Text(size_t nLength, unsigned nSeed)
{
    const char* const words[] = {"volume ", "record ", "cluster ", "stream ", "unit ", "\n", "12345 "};
    std::vector<BYTE> vec;
    while (vec.size() < nLength)
    {
        nSeed = nSeed * 1103515245u + 12345u;
        for (const char* p = words[(nSeed >> 16) % 7]; *p; ++p)
            vec.push_back(static_cast<BYTE>(*p));
    }
    vec.resize(nLength);
    return vec;
}

// A compressed stream of four units: stored, LZNT1, all sparse, and a
// short last one of five stored clusters. Unit 1 goes into clusters 300 on.
struct CCompressed
{
    std::vector<BYTE> m_vecStored = Text(kUnitBytes, 1), m_vecPacked = Text(kUnitBytes, 2);
    std::vector<BYTE> m_vecLast = Text(5 * kCluster, 3);
    std::vector<BYTE> m_vecPack = lznt1pack::Pack(m_vecPacked.data(), m_vecPacked.size());
    ULONGLONG m_n64Packed = (m_vecPack.size() + kCluster - 1) / kCluster;
    ULONGLONG m_n64Real = 53 * kCluster - 1000;

    void Place(CTestDisk& disk, WORD wUnitLog)
    {
        CRecordImage& r = disk.Record(kBase);
        r.AddResident(0x30, FileNameValue(u"packed.log"));
        const DWORD dwAttr = r.AddNonResident(
            0x80, Runs({{16, 200}, {m_n64Packed, 300}, {16 - m_n64Packed, kHole}, {16, kHole}, {5, 400}}),
            53 * kCluster, m_n64Real, 0, 52);
        PutLE(r.Bytes(), dwAttr + 0x0C, 0x0001, 2);
        PutLE(r.Bytes(), dwAttr + 0x22, wUnitLog, 2);
    }
    void Write(CTestDisk& disk)
    {
        disk.File().Write(disk.ClusterPosition(200), m_vecStored);
        disk.File().Write(disk.ClusterPosition(300), m_vecPack);
        disk.File().Write(disk.ClusterPosition(400), m_vecLast);
    }
    std::vector<BYTE> Expected() const
    {
        std::vector<BYTE> vec = m_vecStored;
        vec.insert(vec.end(), m_vecPacked.begin(), m_vecPacked.end());
        vec.resize(3 * kUnitBytes, 0);
        vec.insert(vec.end(), m_vecLast.begin(), m_vecLast.end());
        vec.resize(static_cast<size_t>(m_n64Real));
        return vec;
    }
};

}  // namespace

TEST_F(EntryDataTest, CompressedUnitsStoredPackedSparseAndShort)
{
    CCompressed file;
    ASSERT_LT(file.m_n64Packed, 16u) << "the text must compress";
    Open([&](CTestDisk& disk) { file.Place(disk, 4); });
    file.Write(*m_pDisk);
    DWORD dwError = ~0u;
    EXPECT_EQ(file.Expected(), ReadAll(kBase, dwError));
    EXPECT_EQ(0u, dwError);
    CEntryData data;
    ASSERT_EQ(0u, m_drive.OpenEntryData(kBase, data));
    EXPECT_EQ(file.Expected(), ReadInPieces(data, 3001));
    EXPECT_EQ(0u, data.HoleLength(0));
    EXPECT_EQ(2 * kUnitBytes, data.DataLength(0));
    EXPECT_EQ(kUnitBytes - 10, data.HoleLength(2 * kUnitBytes + 10));
    EXPECT_EQ(0u, data.DataLength(2 * kUnitBytes + 10));
    EXPECT_EQ(file.m_n64Real - 3 * kUnitBytes, data.DataLength(3 * kUnitBytes));

    // A damaged chunk header in the packed unit: that unit fails, the others read.
    m_pDisk->File().Write(m_pDisk->ClusterPosition(300), std::vector<BYTE>{0xFF, 0xBF});
    ASSERT_EQ(0u, m_drive.OpenEntryData(kBase, data));
    std::vector<BYTE> vec(100);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), data.Read(kUnitBytes + 5, vec.data(), vec.size()));
    EXPECT_EQ(0u, data.Read(3 * kUnitBytes, vec.data(), vec.size()));
    ReadAll(kBase, dwError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), dwError);
    TearDown();

    // A unit of 2^20 clusters cannot be held: refused before anything is read.
    Open([&](CTestDisk& disk) { file.Place(disk, 20); });
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), m_drive.OpenEntryData(kBase, data));
}

TEST_F(EntryDataTest, SparseStreamPastFourGiBReadsThroughATinyBuffer)
{
    const ULONGLONG n64Hole = 5ull << 30;  // 1310720 clusters
    const ULONGLONG n64Real = n64Hole + 11 * kCluster - 100;
    const ULONGLONG n64Initialized = n64Hole + kCluster - 1000;
    Open([&](CTestDisk& disk) {
        CRecordImage& r = disk.Record(kBase);
        const DWORD dwAttr = r.AddNonResident(0x80, Runs({{n64Hole / kCluster, kHole}, {1, 100}, {10, kHole}}),
                                              n64Hole + 11 * kCluster, n64Real);
        PutLE(r.Bytes(), dwAttr + 0x38, n64Initialized, 8);
    });
    DWORD dwError = 0;
    ReadAll(kBase, dwError);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_TOO_LARGE), dwError) << "one buffer holds 32 bits of length";

    CEntryData data;
    ASSERT_EQ(0u, m_drive.OpenEntryData(kBase, data));
    EXPECT_EQ(n64Real, data.Size());
    EXPECT_EQ(n64Hole, data.HoleLength(0));
    EXPECT_EQ(kCluster - 1000, data.DataLength(n64Hole));
    EXPECT_EQ(n64Real - n64Initialized, data.HoleLength(n64Initialized)) << "past the initialized size";
    const std::vector<BYTE> vecCluster = ClusterPattern(100, kCluster);
    BYTE by[7];
    ASSERT_EQ(0u, data.Read(n64Hole - 3, by, sizeof(by)));
    EXPECT_EQ(std::vector<BYTE>({0, 0, 0, vecCluster[0], vecCluster[1], vecCluster[2], vecCluster[3]}),
              std::vector<BYTE>(by, by + 7));
    ASSERT_EQ(0u, data.Read(n64Initialized - 3, by, sizeof(by)));
    EXPECT_EQ(std::vector<BYTE>({vecCluster[kCluster - 1003], vecCluster[kCluster - 1002],
                                 vecCluster[kCluster - 1001], 0, 0, 0, 0}),
              std::vector<BYTE>(by, by + 7))
        << "bytes past the initialized size are zeros, whatever the cluster holds";
    EXPECT_EQ(0u, data.Read(n64Real - 7, by, sizeof(by)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_HANDLE_EOF), data.Read(n64Real - 6, by, sizeof(by)));
}
