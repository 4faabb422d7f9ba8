#include "support/SleuthKit.h"
#include "support/NtfsImage.h"

#include <tsk/libtsk.h>
#include <tsk/fs/tsk_ntfs.h>

#include <algorithm>
#include <set>
#include <utility>

namespace
{
using salvix_test::GetLE;

std::string TakeError()
{
    const char* psz = tsk_error_get();
    std::string str = psz ? psz : "unknown error";
    tsk_error_reset();
    return str;
}

const uint32_t kAttrList = 0x20, kFileName = 0x30, kData = 0x80;

// Where the entries of an $ATTRIBUTE_LIST value place each attribute:
// (type, id) pairs stored in the base record, and those stored elsewhere;
// and the names of the $DATA streams in the order the list first names them.
void SplitAttributeList(const std::vector<uint8_t>& list, uint64_t n64Base,
                        std::set<std::pair<uint32_t, uint16_t>>& inBase,
                        std::set<std::pair<uint32_t, uint16_t>>& elsewhere,
                        std::vector<std::u16string>& streams)
{
    size_t off = 0;
    while (off <= list.size() && list.size() - off >= 0x1A)
    {
        const uint8_t* p = list.data() + off;
        uint32_t dwType = static_cast<uint32_t>(GetLE(p, 4));
        size_t cbEntry = static_cast<size_t>(GetLE(p + 4, 2));
        uint64_t n64Record = GetLE(p + 0x10, 8) & 0xFFFFFFFFFFFFull;
        uint16_t wId = static_cast<uint16_t>(GetLE(p + 0x18, 2));
        (n64Record == n64Base ? inBase : elsewhere).insert({dwType, wId});
        std::u16string strName;
        for (size_t i = 0; i < p[6] && p[7] + 2 * i + 1 < cbEntry && off + p[7] + 2 * i + 1 < list.size(); ++i)
            strName += static_cast<char16_t>(GetLE(p + p[7] + 2 * i, 2));
        if (dwType == kData && std::find(streams.begin(), streams.end(), strName) == streams.end())
            streams.push_back(strName);
        if (cbEntry == 0)
            break;
        off += cbEntry;
    }
}
}  // namespace

std::vector<uint16_t> FileNameUnits(const std::vector<uint8_t>& fileName)
{
    std::vector<uint16_t> units;
    for (size_t i = 0; fileName.size() >= 0x42 && i < fileName[0x40] && 0x42 + 2 * i + 1 < fileName.size(); ++i)
        units.push_back(static_cast<uint16_t>(GetLE(fileName.data() + 0x42 + 2 * i, 2)));
    return units;
}

namespace
{

// The name in UTF-8; a unit of a broken surrogate pair becomes U+FFFD.
std::string Utf8OfUnits(const std::vector<uint16_t>& units)
{
    std::string str;
    for (size_t i = 0; i < units.size(); ++i)
    {
        uint32_t dwChar = units[i];
        if (dwChar >= 0xD800 && dwChar < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000)
            dwChar = 0x10000 + ((dwChar - 0xD800) << 10) + (units[++i] - 0xDC00);
        else if (dwChar >= 0xD800 && dwChar < 0xE000)
            dwChar = 0xFFFD;
        if (dwChar < 0x80)
            str += static_cast<char>(dwChar);
        else if (dwChar < 0x800)
            str += {static_cast<char>(0xC0 | (dwChar >> 6)), static_cast<char>(0x80 | (dwChar & 0x3F))};
        else if (dwChar < 0x10000)
            str += {static_cast<char>(0xE0 | (dwChar >> 12)), static_cast<char>(0x80 | ((dwChar >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (dwChar & 0x3F))};
        else
            str += {static_cast<char>(0xF0 | (dwChar >> 18)), static_cast<char>(0x80 | ((dwChar >> 12) & 0x3F)),
                    static_cast<char>(0x80 | ((dwChar >> 6) & 0x3F)), static_cast<char>(0x80 | (dwChar & 0x3F))};
    }
    return str;
}

}  // namespace

std::string SleuthRecord::ShownName() const
{
    return salvix_test::NameBytes(FileNameUnits(fileName));
}

std::string SleuthRecord::WholeName() const
{
    return Utf8OfUnits(FileNameUnits(fileName));
}

uint32_t SleuthRecord::FileFlags() const
{
    return fileName.size() >= 0x3C ? static_cast<uint32_t>(GetLE(fileName.data() + 0x38, 4)) : 0;
}

int64_t SleuthRecord::Clusters(uint32_t dwClusterSize) const
{
    const int64_t n64Allocated = fileName.size() >= 0x30 ? static_cast<int64_t>(GetLE(fileName.data() + 0x28, 8)) : 0;
    const int64_t n64Clusters = n64Allocated / static_cast<int64_t>(dwClusterSize);
    return n64Clusters == 0 ? 1 : n64Clusters;
}

CSleuthVolume::~CSleuthVolume()
{
    if (m_pMft)
        tsk_fs_file_close(m_pMft);
    if (m_pFs)
        tsk_fs_close(m_pFs);
    if (m_pImage)
        tsk_img_close(m_pImage);
}

bool CSleuthVolume::Open(const std::string& strImage, uint64_t n64Start, std::string& strError,
                         uint32_t dwSectorSize)
{
    m_pImage = tsk_img_open_sing(strImage.c_str(), TSK_IMG_TYPE_RAW, dwSectorSize);
    if (m_pImage)
        m_pFs = tsk_fs_open_img(m_pImage, static_cast<TSK_OFF_T>(n64Start * dwSectorSize),
                                TSK_FS_TYPE_NTFS);
    if (m_pFs)
        m_pMft = tsk_fs_file_open_meta(m_pFs, nullptr, 0);
    if (m_pMft)
        m_pMftData = tsk_fs_file_attr_get_type(m_pMft, TSK_FS_ATTR_TYPE_NTFS_DATA, 0, 0);
    if (!m_pMftData)
    {
        strError = TakeError();
        return false;
    }
    // Records 0 .. last_inum - 1; last_inum itself is the orphan-files folder
    // that The Sleuth Kit adds.
    m_n64RecordCount = m_pFs->last_inum;
    m_dwClusterSize = m_pFs->block_size;
    m_dwRecordSize = reinterpret_cast<NTFS_INFO*>(m_pFs)->mft_rsize_b;
    return true;
}

bool CSleuthVolume::ReadAttribute(const TSK_FS_ATTR* pAttr, std::vector<uint8_t>& bytes)
{
    bytes.assign(static_cast<size_t>(pAttr->size), 0);
    size_t cbDone = 0;
    while (cbDone < bytes.size())
    {
        ssize_t n = tsk_fs_attr_read(pAttr, static_cast<TSK_OFF_T>(cbDone),
                                     reinterpret_cast<char*>(bytes.data() + cbDone),
                                     bytes.size() - cbDone, TSK_FS_FILE_READ_FLAG_NONE);
        if (n <= 0)
        {
            tsk_error_reset();
            return false;
        }
        cbDone += static_cast<size_t>(n);
    }
    return true;
}

bool CSleuthVolume::RawRecord(uint64_t n64Record, std::vector<uint8_t>& bytes)
{
    bytes.assign(m_dwRecordSize, 0);
    ssize_t n = tsk_fs_attr_read(m_pMftData, static_cast<TSK_OFF_T>(n64Record * m_dwRecordSize),
                                 reinterpret_cast<char*>(bytes.data()), bytes.size(),
                                 TSK_FS_FILE_READ_FLAG_NONE);
    if (n != static_cast<ssize_t>(bytes.size()))
    {
        tsk_error_reset();
        return false;
    }
    return true;
}

SleuthRecord CSleuthVolume::Record(uint64_t n64Record)
{
    SleuthRecord r;
    std::vector<uint8_t> raw;
    if (RawRecord(n64Record, raw))
        r.n64BaseRecord = GetLE(raw.data() + 0x20, 8) & 0xFFFFFFFFFFFFull;

    TSK_FS_FILE* pFile = tsk_fs_file_open_meta(m_pFs, nullptr, n64Record);
    if (!pFile || !pFile->meta)
    {
        r.strError = TakeError();
        if (pFile)
            tsk_fs_file_close(pFile);
        return r;
    }
    r.bOpened = true;
    r.bAllocated = (pFile->meta->flags & TSK_FS_META_FLAG_ALLOC) != 0;
    r.bDirectory = pFile->meta->type == TSK_FS_META_TYPE_DIR;
    r.n64Modified = static_cast<int64_t>(pFile->meta->mtime);
    r.nModifiedNano = static_cast<uint32_t>(pFile->meta->mtime_nano);

    const int nAttrs = tsk_fs_file_attr_getsize(pFile);
    std::set<std::pair<uint32_t, uint16_t>> inBase, elsewhere;
    std::vector<std::u16string> streams;
    for (int i = 0; i < nAttrs; ++i)
    {
        const TSK_FS_ATTR* pAttr = tsk_fs_file_attr_get_idx(pFile, i);
        std::vector<uint8_t> list;
        if (pAttr && static_cast<uint32_t>(pAttr->type) == kData && (!pAttr->name || !pAttr->name[0]))
        {
            r.bHasFileData = true;
            r.n64FileSize = static_cast<uint64_t>(pAttr->size);
        }
        if (pAttr && static_cast<uint32_t>(pAttr->type) == kAttrList && ReadAttribute(pAttr, list))
        {
            r.bAttributeList = true;
            SplitAttributeList(list, n64Record, inBase, elsewhere, streams);
        }
    }

    for (int i = 0; i < nAttrs; ++i)
    {
        const TSK_FS_ATTR* pAttr = tsk_fs_file_attr_get_idx(pFile, i);
        if (!pAttr)
            continue;
        const uint32_t dwType = static_cast<uint32_t>(pAttr->type);
        const std::pair<uint32_t, uint16_t> key(dwType, pAttr->id);
        // Without a list The Sleuth Kit shows exactly the record's own attributes.
        const bool bStoredHere = !r.bAttributeList || inBase.count(key) > 0;
        if (!bStoredHere)
            continue;
        if (dwType == kFileName)
        {
            ++r.nFileNames;
            if (!ReadAttribute(pAttr, r.fileName))
                r.strError = "cannot read a $FILE_NAME value";
        }
        else if (dwType == kData)
        {
            ++r.nDataAttributes;
            if (pAttr->name && pAttr->name[0])
                ++r.nNamedStreams;
            if (pAttr->flags & TSK_FS_ATTR_NONRES)
            {
                ++r.nNonResident;
                int nRuns = 0;
                for (const TSK_FS_ATTR_RUN* pRun = pAttr->nrd.run; pRun; pRun = pRun->next)
                    nRuns += pRun->len > 0 && !(pRun->flags & TSK_FS_ATTR_RUN_FLAG_FILLER);
                if (nRuns > r.nMaxRuns)
                    r.nMaxRuns = nRuns;
            }
            if (pAttr->flags & TSK_FS_ATTR_SPARSE)
                r.bSparse = true;
            r.bCompressed |= (pAttr->flags & TSK_FS_ATTR_COMP) != 0;
            if (pAttr->flags & TSK_FS_ATTR_ENC)
                r.strDataCaveat = "encrypted";
            else if (r.n64BaseRecord != 0 && (pAttr->flags & TSK_FS_ATTR_NONRES))
                r.strDataCaveat = "an extent of an attribute whose start is in the base record";
            if (!r.bAttributeList)
                AppendData(pAttr, r);
        }
    }
    // With a list, the streams wherever they lie, in the order it names them.
    for (const std::u16string& strStream : streams)
        for (int i = 0; i < nAttrs; ++i)
        {
            const TSK_FS_ATTR* pAttr = tsk_fs_file_attr_get_idx(pFile, i);
            if (pAttr && static_cast<uint32_t>(pAttr->type) == kData && NameOf(pAttr) == strStream)
            {
                AppendData(pAttr, r);
                break;
            }
        }
    tsk_fs_file_close(pFile);
    return r;
}

bool CSleuthVolume::FileData(uint64_t n64Record, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    TSK_FS_FILE* pFile = tsk_fs_file_open_meta(m_pFs, nullptr, n64Record);
    if (!pFile)
    {
        tsk_error_reset();
        return false;
    }
    const TSK_FS_ATTR* pAttr = tsk_fs_file_attr_get(pFile);
    const bool bRead = !pAttr || ReadAttribute(pAttr, bytes);
    tsk_error_reset();
    tsk_fs_file_close(pFile);
    return bRead;
}

std::u16string CSleuthVolume::NameOf(const TSK_FS_ATTR* pAttr)
{
    std::u16string str;
    const char* psz = pAttr->name ? pAttr->name : "";
    for (size_t i = 0; psz[i];)
    {
        const unsigned char c = static_cast<unsigned char>(psz[i++]);
        const size_t nMore = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
        uint32_t cp = nMore ? (c & (0x3F >> nMore)) : c;
        for (size_t k = 0; k < nMore && psz[i]; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(psz[i++]) & 0x3F);
        if (cp >= 0x10000)
        {
            str += static_cast<char16_t>(0xD800 | ((cp - 0x10000) >> 10));
            str += static_cast<char16_t>(0xDC00 | ((cp - 0x10000) & 0x3FF));
        }
        else
            str += static_cast<char16_t>(cp);
    }
    return str;
}

void CSleuthVolume::AppendData(const TSK_FS_ATTR* pAttr, SleuthRecord& r)
{
    std::vector<uint8_t> value;
    if (!ReadAttribute(pAttr, value) && r.strDataCaveat.empty())
        r.strDataCaveat = "The Sleuth Kit cannot read the data";
    r.data.insert(r.data.end(), value.begin(), value.end());
}
