#include "ExtractVolume.h"

#include <gtest/gtest.h>

namespace extract_test
{

namespace
{

const unsigned long long kVolumeBytes = 8ull << 20;
const unsigned long long kDiskBytes = 10ull << 20;

std::string Latin1ToUtf8(const std::string& strLatin1)
{
    std::string strUtf8;
    for (unsigned char ch : strLatin1)
    {
        if (ch < 0x80)
            strUtf8 += static_cast<char>(ch);
        else
        {
            strUtf8 += static_cast<char>(0xC0 | (ch >> 6));
            strUtf8 += static_cast<char>(0x80 | (ch & 0x3F));
        }
    }
    return strUtf8;
}

// Removes the work folders of this process when the tests end.
class CCleanup : public ::testing::Environment
{
public:
    void TearDown() override
    {
        const CExtractVolume& volume = CExtractVolume::Get();
        if (!volume.m_strFolder.empty() && !::testing::UnitTest::GetInstance()->Failed())
            RemoveTree(volume.m_strFolder);
    }
};
::testing::Environment* const g_pCleanup = ::testing::AddGlobalTestEnvironment(new CCleanup);

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

bool CExtractVolume::Copy(const std::string& strName, const Bytes& data,
                          const std::string& strStream)
{
    const std::string strSource = m_strFolder + "/source.bin";
    if (!WriteWholeFile(strSource, data))
        return false;
    std::string strCommand = "LC_ALL=C.UTF-8 ntfscp -q";
    if (!strStream.empty())
        strCommand += " -N " + Quote(strStream);
    strCommand += " " + Quote(m_strVolume) + " " + Quote(strSource) + " " +
                  Quote(Latin1ToUtf8(strName));
    if (!RunCommand(strCommand))
    {
        m_strError = "ntfscp failed for " + strName;
        return false;
    }
    return true;
}

bool CExtractVolume::Edit(const std::string& strName, const RecordEditor& fnEdit)
{
    DWORD dwIndex = 0;
    if (!EditRecordByName(m_strVolume, strName, fnEdit, &dwIndex))
    {
        m_strError = "could not edit the record of " + strName;
        return false;
    }
    m_mapIndex[strName] = dwIndex;
    return true;
}

bool CExtractVolume::Build()
{
    m_strFolder = MakeTempFolder(SALVIX_EXTRACT_WORK_DIR);
    if (m_strFolder.empty())
        return m_strError = "cannot make a folder under " SALVIX_EXTRACT_WORK_DIR, false;
    m_strVolume = m_strFolder + "/volume.ntfs";
    m_strDisk = m_strFolder + "/disk.img";

    if (!RunCommand("truncate -s " + std::to_string(kVolumeBytes) + " " + Quote(m_strVolume)) ||
        !RunCommand("mkntfs -F -q -f -c 4096 -p " + std::to_string(kStartSector) + " " +
             Quote(m_strVolume)))
        return m_strError = "mkntfs failed", false;

    // Files whose data the tests compare with the Sleuth Kit's.
    struct CPlain
    {
        const char* m_pszName;
        size_t m_nLength;
    };
    const CPlain kPlain[] = {
        {"small.txt", 300},               // resident
        {"photo.jpg", 300000},            // non-resident
        {"caf\xE9.txt", 50},              // Latin-1 names
        {"M\xFCller \xDF.doc", 5000},
        {"empty.dat", 0},
        {"readonly.txt", 120},
        {"flagged.txt", 2000},
        {"twinA.txt", 100},
        {"twinB.txt", 7000},
        {"victim.txt", 80},
        {"disk.img", 64},                 // the name of the disk image itself
        {"damagedsi.bin", 60000},         // its $STANDARD_INFORMATION gets flagged non-resident
    };
    unsigned long long n64Seed = 1;
    for (const CPlain& plain : kPlain)
    {
        m_mapContent[plain.m_pszName] = PseudoRandomBytes(plain.m_nLength, n64Seed++);
        if (!Copy(plain.m_pszName, m_mapContent[plain.m_pszName]))
            return false;
        m_vecPlainNames.push_back(plain.m_pszName);
    }
    // One unnamed and two named streams, one of them non-resident.
    if (!Copy("notes.txt", PseudoRandomBytes(200, n64Seed++)) ||
        !Copy("notes.txt", PseudoRandomBytes(6000, n64Seed++), "extra") ||
        !Copy("notes.txt", PseudoRandomBytes(40, n64Seed++), "meta"))
        return false;
    m_vecPlainNames.push_back("notes.txt");

    // Records whose names are replaced by names that must never reach the
    // file system as they are.
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
    for (const auto& hostile : kHostile)
    {
        if (!Copy(hostile.first, PseudoRandomBytes(64, n64Seed++)))
            return false;
        m_mapHostile[hostile.first] = hostile.second;
    }

    // Cases made by editing records: the tools write none of them.
    for (const std::string& strName : m_vecPlainNames)
        if (!Edit(strName, [](BYTE*, DWORD, const std::vector<DWORD>&) { return true; }))
            return false;
    for (const auto& hostile : kHostile)
        if (!Edit(hostile.first, RenameTo(hostile.second)))
            return false;
    if (!Edit("readonly.txt", SetNameFlags(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                           FILE_ATTRIBUTE_ARCHIVE)) ||
        !Edit("flagged.txt", SetNameFlags(FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_NO_BUFFERING |
                                          FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_ARCHIVE)) ||
        !Edit("twinB.txt", RenameTo(u"twinA.txt")) ||
        !Edit("damagedsi.bin", MarkNonResident(0x10)))
        return false;

    if (!MakeDiskImage(m_strDisk, m_strVolume, kStartSector, kDiskBytes))
        return m_strError = "could not write the disk image", false;
    return true;
}

std::string NewOutputFolder()
{
    const CExtractVolume& volume = CExtractVolume::Get();
    return MakeTempFolder(volume.m_strFolder + "/out");
}

}  // namespace extract_test
