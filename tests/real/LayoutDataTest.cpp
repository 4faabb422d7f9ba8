// The data of every file the feature layouts note, streamed in pieces through
// CNTFSDrive::OpenEntryData: compressed files, files whose extents lie in
// extension records, a sparse file of 5 GiB. Compared with The Sleuth Kit's
// reading of the same record and with the manifest's checksums; the hand-
// damaged attribute lists must be refused.
#include "Manifest.h"
#include "RealTestSupport.h"
#include "SleuthKit.h"

#include "ntfs/EntryData.h"
#include "ntfs/NTFSDrive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

namespace
{

const size_t kPiece = 3 << 20;  // not a multiple of any unit or cluster

struct CNoted
{
    std::string m_strKey;
    DWORD m_dwRecord = 0;
    std::string m_strCksum;  // "CKSUM SIZE" as cksum prints it, or "-"
    std::string m_strPath;
};

std::vector<CNoted> ReadManifest(const std::string& strVolume)
{
    std::vector<CNoted> vec;
    std::ifstream file(strVolume + ".manifest");
    std::string strLine;
    while (std::getline(file, strLine))
    {
        std::istringstream fields(strLine);
        CNoted noted;
        std::string strRecord, strSize, strSum;
        if (strLine.empty() || strLine[0] == '#' || !std::getline(fields, noted.m_strKey, '\t') ||
            !std::getline(fields, strRecord, '\t') || !std::getline(fields, strSize, '\t') ||
            !std::getline(fields, strSum, '\t') || !std::getline(fields, noted.m_strPath))
            continue;
        noted.m_dwRecord = static_cast<DWORD>(std::stoul(strRecord));
        noted.m_strCksum = strSum == "-" ? "-" : strSum + " " + strSize;
        vec.push_back(noted);
    }
    return vec;
}

std::string Layout(const char* pszName)
{
    return std::string(SALVIX_LAYOUT_IMAGES) + "/" + pszName + ".vol";
}

std::string CksumOf(const CCksum& sum)
{
    return std::to_string(sum.Value()) + " " + std::to_string(sum.Length());
}

class CLayoutVolume
{
public:
    explicit CLayoutVolume(const char* pszName) : m_strImage(Layout(pszName)), m_device{OpenImage(m_strImage)}
    {
        m_drive.AttachDevice(m_device.m_h);
        m_drive.SetVolumeStart(0, 512);
    }
    DWORD Open() { return m_drive.OpenVolume(); }

    // The checksum of the stream at nStream, read in pieces; the holes it
    // has are checked to read as zeros and passed over when bAllocatedOnly.
    DWORD StreamCksum(CEntryData& data, size_t nStream, bool bAllocatedOnly, CCksum& sum,
                      std::vector<uint8_t>* pAll = nullptr)
    {
        const CEntryStream& stream = data.Stream(nStream);
        std::vector<BYTE> vec(kPiece);
        for (ULONGLONG n64Off = stream.m_n64Start; n64Off < stream.m_n64Start + stream.m_n64Size;)
        {
            const ULONGLONG n64Hole = std::min(data.HoleLength(n64Off), stream.m_n64Start + stream.m_n64Size - n64Off);
            if (n64Hole > 0 && bAllocatedOnly)
            {
                n64Off += n64Hole;
                continue;
            }
            ULONGLONG n64Count = std::min<ULONGLONG>(kPiece, stream.m_n64Start + stream.m_n64Size - n64Off);
            if (bAllocatedOnly)
                n64Count = std::min(n64Count, data.DataLength(n64Off));
            const size_t nCount = static_cast<size_t>(n64Count);
            if (DWORD dwError = data.Read(n64Off, vec.data(), nCount))
                return dwError;
            if (n64Hole > 0)
            {
                const size_t nZeros = static_cast<size_t>(std::min<ULONGLONG>(n64Hole, nCount));
                EXPECT_EQ(std::vector<BYTE>(nZeros, 0), std::vector<BYTE>(vec.begin(), vec.begin() + nZeros));
            }
            sum.Update(vec.data(), nCount);
            if (pAll)
                pAll->insert(pAll->end(), vec.begin(), vec.begin() + nCount);
            n64Off += nCount;
        }
        return 0;
    }

    std::string m_strImage;
    HandleCloser m_device;
    CNTFSDrive m_drive;
};

// Every noted record's whole data against The Sleuth Kit's, and each noted
// file or stream against the manifest's checksum.
void CompareLayout(const char* pszName, const std::map<std::string, DWORD>& mapRefused)
{
    CLayoutVolume volume(pszName);
    ASSERT_EQ(0u, volume.Open()) << volume.m_strImage << ": the volume_layouts test makes it";
    CSleuthVolume sleuth;
    std::string strError;
    ASSERT_TRUE(sleuth.Open(volume.m_strImage, 0, strError)) << strError;
    size_t nCompared = 0, nRefused = 0;
    for (const CNoted& noted : ReadManifest(volume.m_strImage))
    {
        // Extension records are no files: their extents' sizes are in the base record.
        if (noted.m_strKey.find(".ext") != std::string::npos)
            continue;
        SCOPED_TRACE(noted.m_strKey + " (record " + std::to_string(noted.m_dwRecord) + ")");
        CEntryData data;
        const DWORD dwOpen = volume.m_drive.OpenEntryData(noted.m_dwRecord, data);
        auto it = mapRefused.find(noted.m_strKey);
        if (it != mapRefused.end())
        {
            EXPECT_EQ(it->second, dwOpen);
            ++nRefused;
            continue;
        }
        ASSERT_EQ(0u, dwOpen);
        std::vector<uint8_t> all;
        const std::string strStream = noted.m_strPath.find(':') == std::string::npos
                                          ? std::string()
                                          : noted.m_strPath.substr(noted.m_strPath.find(':') + 1);
        for (size_t i = 0; i < data.StreamCount(); ++i)
        {
            CCksum sum;
            ASSERT_EQ(0u, volume.StreamCksum(data, i, false, sum, &all));
            const std::vector<WORD>& vecName = data.Stream(i).m_vecName;
            if (noted.m_strCksum != "-" && std::string(vecName.begin(), vecName.end()) == strStream)
            {
                EXPECT_EQ(noted.m_strCksum, CksumOf(sum)) << "stream " << i;
            }
        }
        SleuthRecord r = sleuth.Record(noted.m_dwRecord);
        ASSERT_TRUE(r.bOpened) << r.strError;
        EXPECT_TRUE(all == r.data) << all.size() << " bytes read, The Sleuth Kit reads " << r.data.size();
        ++nCompared;
    }
    EXPECT_GE(nCompared, 3u);
    EXPECT_EQ(mapRefused.size(), nRefused);
}

}  // namespace

TEST(LayoutData, CompressedFilesComeBackExpanded)
{
    CompareLayout("compressed", {});
}

TEST(LayoutData, ExtentsInExtensionRecordsMadeByTheLibrary)
{
    CompareLayout("hardlinks", {});
}

TEST(LayoutData, AttributeListsMadeByHandAndTheirDamage)
{
    const DWORD kCorrupt = ERROR_FILE_CORRUPT;
    CompareLayout("attrlist", {{"attrlist.bad_backref", kCorrupt},
                               {"attrlist.bad_sequence", kCorrupt},
                               {"attrlist.bad_unused", kCorrupt},
                               {"attrlist.bad_beyond", kCorrupt},
                               {"attrlist.bad_loop", kCorrupt}});
}

// 5 GiB: its allocated pieces against the manifest, the rest holes that read as zeros.
TEST(LayoutData, SparseFileOfFiveGiBInPieces)
{
    CLayoutVolume volume("large");
    ASSERT_EQ(0u, volume.Open()) << volume.m_strImage << ": the volume_layouts test makes it";
    std::string strWant;
    DWORD dwRecord = 0;
    for (const CNoted& noted : ReadManifest(volume.m_strImage))
        if (noted.m_strKey == "large.sparse_5g.allocated")
        {
            strWant = noted.m_strCksum;
            dwRecord = noted.m_dwRecord;
        }
    ASSERT_FALSE(strWant.empty());
    BYTE* pData = nullptr;
    DWORD dwLength = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_TOO_LARGE), volume.m_drive.ReadEntryData(dwRecord, pData, dwLength));
    CEntryData data;
    ASSERT_EQ(0u, volume.m_drive.OpenEntryData(dwRecord, data));
    ASSERT_EQ(1u, data.StreamCount());
    EXPECT_EQ(5ull << 30, data.Size());
    CCksum sum;
    ASSERT_EQ(0u, volume.StreamCksum(data, 0, true, sum));
    EXPECT_EQ(strWant, CksumOf(sum));
}
