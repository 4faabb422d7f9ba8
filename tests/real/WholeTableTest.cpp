// The scan walks the whole table and a save writes the file's own bytes, on
// volumes made elsewhere and here, checked against The Sleuth Kit: every
// file fls names is listed under its name and folder and saves as icat reads
// it; records no file ever held get no row, damaged ones a row that says so,
// records on a bad sector are counted and the walk goes on; named streams
// stay out of a saved file; a run past the volume is refused.
#include "RealTestSupport.h"
#include "support/DiskGuard.h"
#include "support/FaultFreeTest.h"
#include "support/Process.h"
#include "support/ScanSink.h"
#include "support/VolumeEdit.h"

#include "disk/PartitionTable.h"

#include "RecordEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

using namespace salvix_test;

namespace
{

const DWORD kFirstRecord = 30;

// fls's path as the folder column shows it: "\" for the root, "\a\b" below.
std::string FolderOf(const std::string& strPath)
{
    const size_t nSlash = strPath.rfind('/');
    if (nSlash == std::string::npos)
        return "\\";
    std::string strFolder = "\\" + strPath.substr(0, nSlash);
    std::replace(strFolder.begin(), strFolder.end(), '/', '\\');
    return strFolder;
}

// A scan of the volume at dwStart of the disk given, as the program scans it.
class CListing
{
public:
    CListing(const std::string& strDisk, DWORD dwStart) : m_disk(strDisk)
    {
        m_dwCode = m_sink.Scan(m_session, dwStart);
        for (size_t i = 0; i < m_sink.m_store.Size(); ++i)
            m_mapRows[m_sink.m_store.Row(i).m_dwRecord] = i;
    }
    const CScanRow* Row(uint64_t n64Record) const
    {
        auto it = m_mapRows.find(static_cast<DWORD>(n64Record));
        return it == m_mapRows.end() ? nullptr : &m_sink.m_store.Row(it->second);
    }
    std::string Text(uint64_t n64Record, int nColumn) const
    {
        return m_sink.m_store.Text(m_mapRows.at(static_cast<DWORD>(n64Record)), nColumn);
    }

    CDiskGuard m_disk;
    CScanSession m_session;
    CCollectingSink m_sink;
    DWORD m_dwCode = 0;
    std::map<DWORD, size_t> m_mapRows;
};

// Copies the bytes of the image from n64From on into a file of their own:
// the volume alone, as `dd if=/dev/sdb1` gives it.
bool CopyVolume(const std::string& strImage, uint64_t n64From, const std::string& strVolume)
{
    std::ifstream in(strImage, std::ios::binary);
    std::ofstream out(strVolume, std::ios::binary | std::ios::trunc);
    in.seekg(static_cast<std::streamoff>(n64From));
    std::vector<char> vec(1 << 20);
    while (in.read(vec.data(), static_cast<std::streamsize>(vec.size())) || in.gcount() > 0)
        out.write(vec.data(), in.gcount());
    return static_cast<bool>(out);
}

// Where record n64Record of a bare volume's table lies, from istat's list of
// the table's clusters.
uint64_t RecordOffset(const CIstatInfo& table, DWORD dwClusterSize, DWORD dwRecordSize, uint64_t n64Record)
{
    const uint64_t n64Byte = n64Record * dwRecordSize;
    return table.m_vecClusters.at(n64Byte / dwClusterSize) * dwClusterSize + n64Byte % dwClusterSize;
}

// Saves record n64Record into a folder of its own under strOut; the saved
// bytes, or the save's code in dwCode.
Bytes SaveRecord(CScanSession& session, const std::string& strOut, uint64_t n64Record, const std::string& strName,
                 DWORD& dwCode)
{
    const std::string strFolder = strOut + "/" + std::to_string(n64Record);
    std::filesystem::create_directory(strFolder);
    dwCode = session.SaveEntry(static_cast<DWORD>(n64Record), strFolder);
    return ReadFileBytes(strFolder + "/" + strName);
}

// Every file fls names from record 30 on, live or deleted but not reused, is
// a row under one of its names, in that name's folder, and saves byte for
// byte as The Sleuth Kit reads its unnamed stream.
void ExpectEveryNamedFile(const std::string& strImage, DWORD dwStart, int nAtLeast)
{
    CListing listing(strImage, dwStart);
    ASSERT_EQ(0u, listing.m_dwCode);
    EXPECT_TRUE(listing.m_sink.m_vecErrors.empty());
    EXPECT_EQ(std::vector<DWORD>{0}, listing.m_sink.m_vecUnread) << "every record was read";
    std::vector<CFlsEntry> vecFls;
    ASSERT_TRUE(Fls(strImage, dwStart, vecFls));
    CSleuthVolume sleuth;
    std::string strError;
    ASSERT_TRUE(sleuth.Open(strImage, dwStart, strError)) << strError;

    // A record fls names twice (hard links) is one row under one of the names.
    std::map<uint64_t, std::map<std::string, std::string>> mapNames;  // record: name -> folder
    std::set<uint64_t> setFiles;
    for (const CFlsEntry& entry : vecFls)
    {
        if (entry.m_n64Record < kFirstRecord || entry.m_bReallocated || entry.m_strAttribute.empty() ||
            entry.Name().find(':') != std::string::npos)
            continue;
        mapNames[entry.m_n64Record][entry.Name()] = FolderOf(entry.m_strPath);
        if (!entry.IsDirectory())
            setFiles.insert(entry.m_n64Record);
    }
    CTempDir out;
    int nListed = 0, nSaved = 0;
    for (const auto& [n64Record, mapOfRecord] : mapNames)
    {
        SCOPED_TRACE("record " + std::to_string(n64Record) + " " + mapOfRecord.begin()->first);
        const CScanRow* pRow = listing.Row(n64Record);
        if (!pRow)
        {
            ADD_FAILURE() << "not listed";
            continue;
        }
        const std::string strName = listing.Text(n64Record, eColumnName);
        auto itName = mapOfRecord.find(strName);
        if (itName == mapOfRecord.end())
        {
            ADD_FAILURE() << "listed as \"" << strName << "\"";
            continue;
        }
        EXPECT_EQ(itName->second, listing.Text(n64Record, eColumnPath));
        ++nListed;
        if (!setFiles.count(n64Record))
            continue;
        Bytes vecExpected;
        ASSERT_TRUE(sleuth.FileData(n64Record, vecExpected));
        DWORD dwSave = 0;
        const Bytes vecSaved = SaveRecord(listing.m_session, out.Path(), n64Record, strName, dwSave);
        EXPECT_EQ(0u, dwSave);
        EXPECT_TRUE(vecSaved == vecExpected) << vecSaved.size() << " bytes saved, " << vecExpected.size()
                                             << " read by The Sleuth Kit";
        nSaved += vecSaved == vecExpected;
    }
    EXPECT_GE(nListed, nAtLeast);
    EXPECT_EQ(setFiles.size(), static_cast<size_t>(nSaved));
}

}  // namespace

// A volume formatted by Windows (never-used records between used ones, files
// far past them, $Tops with a 1 MiB named stream) and one made by another
// NTFS driver.
TEST(WholeTable, PublicVolumesListAndSaveEveryFileTheSleuthKitNames)
{
    const struct
    {
        const char* m_pszImage;
        DWORD m_dwStart;
        int m_nAtLeast;
    } kVolumes[] = {{"dissect.img", 2048, 2000}, {"testfs1.img", 63, 500}};
    for (const auto& volume : kVolumes)
    {
        const std::string strImage = ImagePath(volume.m_pszImage);
        if (!std::filesystem::exists(strImage))
            GTEST_SKIP() << strImage << " is missing: the public test images are not here";
        SCOPED_TRACE(volume.m_pszImage);
        ExpectEveryNamedFile(strImage, volume.m_dwStart, volume.m_nAtLeast);
    }
}

// A made volume, taken out of its disk as a bare volume, with four of its
// file records damaged as disks damage them, then read with one bad sector
// in its table.
class WholeTableEdited : public CFaultFreeTest
{
protected:
    void SetUp() override
    {
        CFaultFreeTest::SetUp();
        m_strVolume = m_dir.File("volume.img");
        ASSERT_TRUE(CopyVolume(ImagePath("c4096.img"), 2048ull * 512, m_strVolume))
            << "the real_images test makes c4096.img";
        std::string strError;
        ASSERT_TRUE(m_sleuth.Open(m_strVolume, 0, strError)) << strError;
        ASSERT_TRUE(Istat(m_strVolume, 0, 0, m_table));
        m_dwClusterSize = m_sleuth.ClusterSize();
        m_dwRecordSize = m_sleuth.RecordSize();
    }

    uint64_t Offset(uint64_t n64Record) const
    {
        return RecordOffset(m_table, m_dwClusterSize, m_dwRecordSize, n64Record);
    }

    CTempDir m_dir;
    std::string m_strVolume;
    CSleuthVolume m_sleuth;
    CIstatInfo m_table;
    DWORD m_dwClusterSize = 0;
    DWORD m_dwRecordSize = 0;
};

TEST_F(WholeTableEdited, GapsAndDamagedRecordsNeverEndTheListing)
{
    // What each record must give, from The Sleuth Kit before the edits: a row
    // for a file record holding a name, data or a list, or in use; none for
    // what formatting left (free, nothing in it) or a zeroed slot.
    enum EExpect { eNoRow, eRow, eDamaged };
    std::map<uint64_t, EExpect> mapExpect;
    std::map<uint64_t, bool> mapDeleted;
    std::vector<uint64_t> vecInUseFiles;
    for (uint64_t n = kFirstRecord; n < m_sleuth.RecordCount(); ++n)
    {
        std::vector<uint8_t> raw;
        ASSERT_TRUE(m_sleuth.RawRecord(n, raw));
        const SleuthRecord r = m_sleuth.Record(n);
        const bool bEmpty = raw == std::vector<uint8_t>(raw.size(), 0) ||
                            (!r.bAllocated && r.nFileNames == 0 && r.nDataAttributes == 0 && !r.bAttributeList);
        mapExpect[n] = bEmpty ? eNoRow : eRow;
        mapDeleted[n] = !r.bAllocated;
        if (r.bAllocated && !r.bDirectory && r.nFileNames > 0 && r.n64BaseRecord == 0 && n > 64)
            vecInUseFiles.push_back(n);
    }
    ASSERT_GE(vecInUseFiles.size(), 40u);
    ASSERT_EQ(eNoRow, mapExpect[40]) << "mkntfs leaves records 24 to 63 formatted and free";

    // A slot zeroed between used ones, a torn write NTFS marked, one whose
    // update sequence does not match (a sector written, its neighbour not),
    // and an attribute whose length runs past the record.
    const uint64_t n64Zeroed = vecInUseFiles[3], n64Baad = vecInUseFiles[10], n64Torn = vecInUseFiles[20],
                   n64Broken = vecInUseFiles[30];
    ASSERT_TRUE(WriteFileAt(m_strVolume, Offset(n64Zeroed), Bytes(m_dwRecordSize, 0)));
    ASSERT_TRUE(WriteFileAt(m_strVolume, Offset(n64Baad), "BAAD", 4));
    Bytes vecTail = {0x5A, 0xA5};
    ASSERT_TRUE(WriteFileAt(m_strVolume, Offset(n64Torn) + 510, vecTail));
    ASSERT_TRUE(EditRecord(m_strVolume, n64Broken, [](std::vector<uint8_t>& vecRecord, const std::vector<size_t>&) {
        const size_t nFirst = vecRecord[0x14] | (vecRecord[0x15] << 8);
        vecRecord[nFirst + 4] = 0xF0;
        vecRecord[nFirst + 5] = 0xFF;
        return true;
    }));
    mapExpect[n64Zeroed] = eNoRow;
    mapExpect[n64Baad] = mapExpect[n64Torn] = mapExpect[n64Broken] = eDamaged;

    // The bare volume is listed as the disk's only partition and scanned there.
    {
        std::vector<std::string> vecItems;
        CDiskGuard disk(m_strVolume);
        EXPECT_EQ(0u, WalkPartitionTables([&](const char* pszText, const PartitionRecord& record) {
            vecItems.push_back(pszText);
            EXPECT_EQ(0u, record.qwFirstSector);
        }));
        EXPECT_EQ(std::vector<std::string>{"NTFS Drive 0"}, vecItems);
    }
    CListing listing(m_strVolume, 0);
    ASSERT_EQ(0u, listing.m_dwCode);
    EXPECT_EQ(std::vector<DWORD>{0}, listing.m_sink.m_vecUnread);
    DWORD dwRows = 0, dwDeleted = 0;
    for (const auto& [n64Record, eExpect] : mapExpect)
    {
        SCOPED_TRACE("record " + std::to_string(n64Record));
        const CScanRow* pRow = listing.Row(n64Record);
        ASSERT_EQ(eExpect != eNoRow, pRow != nullptr);
        if (!pRow)
            continue;
        ++dwRows;
        const bool bDamaged = (pRow->m_byRowFlags & CScanRow::kRowDamaged) != 0;
        EXPECT_EQ(eExpect == eDamaged, bDamaged);
        if (bDamaged)
        {
            EXPECT_EQ("", listing.Text(n64Record, eColumnName));
            EXPECT_EQ("损坏的记录", listing.Text(n64Record, eColumnAttributes));
            EXPECT_EQ("", listing.Text(n64Record, eColumnDeleted));
            continue;
        }
        EXPECT_EQ(mapDeleted[n64Record], pRow->m_bNotInUse != 0);
        dwDeleted += pRow->m_bNotInUse;
        EXPECT_EQ(std::to_string(n64Record - kFirstRecord), listing.Text(n64Record, eColumnNumber));
    }
    EXPECT_EQ(dwRows, listing.m_sink.m_dwTotal);
    EXPECT_EQ(dwDeleted, listing.m_sink.m_dwDeleted);
    const uint64_t n64Last = mapExpect.rbegin()->first;
    EXPECT_TRUE(listing.Row(n64Last) || mapExpect[n64Last] == eNoRow) << "the walk reaches the table's end";

    // A bad sector in the table: its record alone is lost and counted, the
    // walk goes on past it to the end.
    const uint64_t n64OnBadSector = vecInUseFiles[35];
    CDeviceFault fault;
    fault.m_eKind = CDeviceFault::eReadError;
    fault.m_n64Offset = Offset(n64OnBadSector) + 700;
    fault.m_dwError = ERROR_CRC;
    SetDeviceFault(fault);
    CListing bad(m_strVolume, 0);
    ClearFaults();
    ASSERT_EQ(0u, bad.m_dwCode);
    EXPECT_TRUE(bad.m_sink.m_vecErrors.empty());
    EXPECT_EQ(std::vector<DWORD>{1}, bad.m_sink.m_vecUnread);
    std::set<DWORD> setExpected, setGot;
    for (const auto& [dwRecord, nRow] : listing.m_mapRows)
        if (dwRecord != n64OnBadSector)
            setExpected.insert(dwRecord);
    for (const auto& [dwRecord, nRow] : bad.m_mapRows)
        setGot.insert(dwRecord);
    EXPECT_EQ(setExpected, setGot);
}

// Files with named streams (a download's Zone.Identifier, three streams on
// one file, a deleted file with one) save as their unnamed stream alone,
// byte for byte what icat gives; a run that points past the volume's end is
// refused and leaves nothing.
TEST_F(WholeTableEdited, SavedFilesAreTheirOwnBytesAndNeverComeFromOutsideTheVolume)
{
    std::vector<CFlsEntry> vecFls;
    ASSERT_TRUE(Fls(m_strVolume, 0, vecFls));
    std::map<std::string, uint64_t> mapRecords;
    for (const CFlsEntry& entry : vecFls)
        if (!entry.m_bReallocated)
            mapRecords[entry.m_strPath] = entry.m_n64Record;
    CListing listing(m_strVolume, 0);
    ASSERT_EQ(0u, listing.m_dwCode);
    CTempDir out;
    for (const char* pszPath : {"Documents/Nested/Deeper/deep.bin", "Streams/streams.txt", "Trash/deleted_streams.txt"})
    {
        SCOPED_TRACE(pszPath);
        ASSERT_TRUE(mapRecords.count(pszPath));
        const uint64_t n64Record = mapRecords[pszPath];
        std::vector<uint8_t> vecIcat, vecAll;
        ASSERT_TRUE(Icat(m_strVolume, 0, std::to_string(n64Record), vecIcat));
        ASSERT_TRUE(IcatAllStreams(m_strVolume, 0, n64Record, vecAll));
        EXPECT_GT(vecAll.size(), vecIcat.size()) << "the file has named streams";
        DWORD dwSave = 0;
        const std::string strName = std::string(pszPath).substr(std::string(pszPath).rfind('/') + 1);
        EXPECT_TRUE(SaveRecord(listing.m_session, out.Path(), n64Record, strName, dwSave) == vecIcat);
        EXPECT_EQ(0u, dwSave);
    }

    // The first run of deep.bin moved past the volume's last cluster.
    const uint64_t n64Moved = mapRecords["Documents/Nested/Deeper/deep.bin"];
    ASSERT_TRUE(EditRecord(m_strVolume, n64Moved, [](std::vector<uint8_t>& vecRecord, const std::vector<size_t>&) {
        std::vector<RecordAttribute> vecAttributes;
        if (!ParseAttributes(vecRecord, vecAttributes))
            return false;
        for (const RecordAttribute& attr : vecAttributes)
            if (attr.dwType == kTypeData && attr.bNonResident && attr.bytes[kAttrNameLength] == 0)
            {
                const size_t nRun = attr.offset + GetLE(attr.bytes, kNonResRunsOffset, 2);
                const size_t nLength = vecRecord[nRun] & 0x0F, nOffset = vecRecord[nRun] >> 4;
                if (nOffset < 2)
                    return false;
                // The largest positive offset its width holds: far past 32 MiB of 4 KiB clusters.
                for (size_t i = 0; i < nOffset; ++i)
                    vecRecord[nRun + 1 + nLength + i] = i + 1 == nOffset ? 0x7F : 0xFF;
                return true;
            }
        return false;
    }));
    CListing moved(m_strVolume, 0);
    EXPECT_NE(nullptr, moved.Row(n64Moved)) << "still listed";
    CTempDir outMoved;
    DWORD dwSave = 0;
    EXPECT_EQ(Bytes(), SaveRecord(moved.m_session, outMoved.Path(), n64Moved, "deep.bin", dwSave));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_CORRUPT), dwSave);
}

// Clusters of 128 KiB, as Windows formats large volumes: the volume (a bare
// one, without a partition table) opens, lists every file and saves each as
// ntfs-3g's ntfscat reads its unnamed stream (The Sleuth Kit reads no
// clusters this large).
TEST(WholeTable, ClustersOf128KiB)
{
    const std::string strImage = ImagePath("c131072.bare");
    ASSERT_TRUE(std::filesystem::exists(strImage)) << "the real_images test makes it";
    ASSERT_FALSE(FindProgram("ntfscat").empty()) << "ntfscat (ntfs-3g) is missing: see scripts/deps.sh";
    CListing listing(strImage, 0);
    ASSERT_EQ(0u, listing.m_dwCode);
    EXPECT_TRUE(listing.m_sink.m_vecErrors.empty());
    EXPECT_EQ(std::vector<DWORD>{0}, listing.m_sink.m_vecUnread);
    EXPECT_EQ(131072u, NtfsDrive(listing.m_session).m_dwClusterSize);
    const CRowStore& store = listing.m_sink.m_store;
    ASSERT_GE(store.Size(), 150u);

    CTempDir out;
    int nSaved = 0, nLarge = 0;
    for (size_t i = 0; i < store.Size(); ++i)
    {
        const CScanRow& row = store.Row(i);
        const std::string strName = store.Name(i);
        if (row.m_bNotInUse || (row.m_byRowFlags & CScanRow::kRowDirectory) || strName.size() > 255 ||
            strName.empty() || strName[0] == '$')
            continue;
        SCOPED_TRACE("record " + std::to_string(row.m_dwRecord) + " " + strName);
        const CProcessResult cat =
            RunProcess({"ntfscat", "-f", "-i", std::to_string(row.m_dwRecord), strImage});
        if (!cat.Ok())
            continue;  // a record ntfscat does not open as a file (an extension record)
        DWORD dwSave = 0;
        const Bytes vecSaved = SaveRecord(listing.m_session, out.Path(), row.m_dwRecord, strName, dwSave);
        ASSERT_EQ(0u, dwSave);
        EXPECT_TRUE(vecSaved == Bytes(cat.m_strOutput.begin(), cat.m_strOutput.end()))
            << vecSaved.size() << " bytes saved, " << cat.m_strOutput.size() << " from ntfscat";
        ++nSaved;
        nLarge += vecSaved.size() > 131072;
    }
    EXPECT_GE(nSaved, 100);
    EXPECT_GE(nLarge, 2) << "files of several clusters";
}
