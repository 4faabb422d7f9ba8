#include "ExtractVolume.h"

#include "support/VolumeEdit.h"

#include "Images.h"
#include "NtfsWriter.h"

#include <gtest/gtest.h>

namespace extract_test
{

namespace
{

const unsigned long long kVolumeBytes = 8ull << 20;
const unsigned long long kDiskBytes = 10ull << 20;

// Removes the work folders of this process when the tests end.
class CCleanup : public ::testing::Environment
{
public:
    void TearDown() override
    {
        const CExtractVolume& volume = CExtractVolume::Get();
        std::error_code ec;
        if (!volume.m_strFolder.empty() && !::testing::UnitTest::GetInstance()->Failed())
            std::filesystem::remove_all(volume.m_strFolder, ec);
    }
};
::testing::Environment* const g_pCleanup = ::testing::AddGlobalTestEnvironment(new CCleanup);

// Records whose names are replaced by names that must never reach the file
// system as they are.
const std::pair<const char*, std::u16string> kHostile[] = {
    {"hostile01.txt", u".."},
    {"hostile02.txt", u"."},
    {"hostile03.txt", u"a/b"},
    {"hostile04.txt", u"..\\x"},
    {"hostile05.txt", u"a\x01" u"b"},
    {"hostile06.txt", u""},
    {"hostile07.txt", u"../up.txt"},
    {"hostile08.txt", u"a\x7F" u"b"},
    {"hostile09.txt", u"a\x85" u"b"},
    {"hostile10.txt", u"\x4E2D\\..\\x"},  // a whole name, leading out of the folder
    {"hostile11.txt", u"..\\up.txt"},
};

}  // namespace

const CExtractVolume& CExtractVolume::Get()
{
    static CExtractVolume* s_pVolume = [] {
        auto* pVolume = new CExtractVolume;
        if (!pVolume->Build() && pVolume->m_strError.empty())
            pVolume->m_strError = "building the test volume failed";
        return pVolume;
    }();
    return *s_pVolume;
}

DWORD CExtractVolume::Index(const std::string& strCreatedName) const
{
    auto it = m_mapIndex.find(strCreatedName);
    return it == m_mapIndex.end() ? 0xFFFFFFFFu : it->second;
}

// Writes the files through the library; their record numbers go to m_mapIndex.
bool CExtractVolume::Fill()
{
    CNtfsWriter writer;
    if (!writer.Mount(m_strVolume))
        return m_strError = "cannot mount " + m_strVolume, false;
    auto write = [&](const std::string& strName, const Bytes& data) {
        const std::string strPath = "/" + Latin1ToUtf8(strName);
        const bool bWritten = writer.WriteFile(strPath, data);
        m_mapIndex[strName] = static_cast<DWORD>(writer.RecordOf(strPath));
        return bWritten || (m_strError = "cannot write " + strName, false);
    };
    // Files whose data the tests compare with the Sleuth Kit's.
    const std::pair<const char*, size_t> kPlain[] = {
        {"small.txt", 300},     // resident
        {"photo.jpg", 300000},  // non-resident
        {"caf\xE9.txt", 50},    // Latin-1 names
        {"M\xFCller \xDF.doc", 5000},
        {"empty.dat", 0},
        {"readonly.txt", 120},
        {"flagged.txt", 2000},
        {"twinA.txt", 100},
        {"twinB.txt", 7000},
        {"victim.txt", 80},
        {"disk.img", 64},          // the name of the disk image itself
        {"damagedsi.bin", 60000},  // its $STANDARD_INFORMATION gets flagged non-resident
    };
    unsigned long long n64Seed = 1;
    for (const auto& plain : kPlain)
    {
        m_mapContent[plain.first] = PseudoRandomBytes(plain.second, n64Seed++);
        if (!write(plain.first, m_mapContent[plain.first]))
            return false;
        m_vecPlainNames.push_back(plain.first);
    }
    // One unnamed and two named streams, one of them non-resident.
    if (!write("notes.txt", PseudoRandomBytes(200, n64Seed++)) ||
        !writer.AddStream("/notes.txt", "extra", PseudoRandomBytes(6000, n64Seed++)) ||
        !writer.AddStream("/notes.txt", "meta", PseudoRandomBytes(40, n64Seed++)))
        return m_strError = "cannot write notes.txt", false;
    m_vecPlainNames.push_back("notes.txt");
    for (const auto& hostile : kHostile)
    {
        if (!write(hostile.first, PseudoRandomBytes(64, n64Seed++)))
            return false;
        m_mapHostile[hostile.first] = hostile.second;
    }
    return FillFolders(writer, n64Seed) && (writer.Unmount() || (m_strError = "cannot unmount " + m_strVolume, false));
}

// Two files of one name in two folders, and a folder tree deleted whole
// (last, so that nothing written after it reuses its clusters).
bool CExtractVolume::FillFolders(CNtfsWriter& writer, unsigned long long n64Seed)
{
    const char* const kFolders[] = {"/a", "/b", "/Beach", "/Beach/2024"};
    for (const char* pszFolder : kFolders)
        if (!writer.MakeDir(pszFolder))
            return m_strError = std::string("cannot make ") + pszFolder, false;
    const std::pair<const char*, size_t> kFiles[] = {
        {"/a/report.txt", 1000},  {"/b/report.txt", 2000}, {"/Beach/sea.jpg", 70000},
        {"/Beach/2024/sand.jpg", 9000}, {"/Beach/2024/notes.txt", 100},
    };
    for (const auto& file : kFiles)
    {
        if (!writer.WriteFile(file.first, PseudoRandomBytes(file.second, n64Seed++)))
            return m_strError = std::string("cannot write ") + file.first, false;
        m_mapIndex[file.first] = static_cast<DWORD>(writer.RecordOf(file.first));
    }
    for (const char* pszFolder : {"/Beach", "/Beach/2024"})
        m_mapIndex[pszFolder] = static_cast<DWORD>(writer.RecordOf(pszFolder));
    for (const char* pszPath : {"/Beach/2024/notes.txt", "/Beach/2024/sand.jpg", "/Beach/sea.jpg", "/Beach/2024", "/Beach"})
        if (!writer.Delete(pszPath))
            return m_strError = std::string("cannot delete ") + pszPath, false;
    return true;
}

bool CExtractVolume::Build()
{
    m_strFolder = MakeTempFolder(SALVIX_EXTRACT_WORK_DIR);
    if (m_strFolder.empty())
        return m_strError = "cannot make a folder under " SALVIX_EXTRACT_WORK_DIR, false;
    m_strVolume = m_strFolder + "/volume.ntfs";
    m_strDisk = m_strFolder + "/disk.img";
    NtfsFormat format;
    format.dwClusterSize = 4096;
    format.dwPartitionStart = kStartSector;
    if (!FormatNtfs(m_strVolume, kVolumeBytes, format))
        return m_strError = "mkntfs failed", false;
    if (!Fill())
        return false;

    // Cases made by editing records: the tools write none of them.
    auto edit = [&](const std::string& strName, const RecordEdit& fnEdit) {
        return EditRecord(m_strVolume, Index(strName), fnEdit) ||
               (m_strError = "could not edit the record of " + strName, false);
    };
    for (const auto& hostile : kHostile)
        if (!edit(hostile.first, RenameTo(hostile.second)))
            return false;
    if (!edit("readonly.txt", SetNameFlags(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE)) ||
        !edit("flagged.txt", SetNameFlags(FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_NO_BUFFERING |
                                          FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_ARCHIVE)) ||
        !edit("twinB.txt", RenameTo(u"twinA.txt")) || !edit("damagedsi.bin", MarkNonResident(0x10)))
        return false;

    if (!MakePartitionedDisk(m_strDisk, kDiskBytes, {{kStartSector, kVolumeBytes / 512, 0x07}}) ||
        !PlaceImage(m_strVolume, m_strDisk, kStartSector * 512ull))
        return m_strError = "could not write the disk image", false;
    return true;
}

std::string NewOutputFolder()
{
    return MakeTempFolder(CExtractVolume::Get().m_strFolder + "/out");
}

Bytes PseudoRandomBytes(size_t nLength, unsigned long long n64Seed)
{
    // splitmix64
    Bytes data(nLength);
    unsigned long long n64State = n64Seed;
    for (size_t i = 0; i < nLength; i += 8)
    {
        unsigned long long z = (n64State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        for (size_t j = 0; j < 8 && i + j < nLength; ++j)
            data[i + j] = static_cast<BYTE>(z >> (8 * j));
    }
    return data;
}

}  // namespace extract_test
