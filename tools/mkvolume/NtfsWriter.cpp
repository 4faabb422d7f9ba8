#include "NtfsWriter.h"

// The library's headers rely on these being included first.
#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>

// The library is C and its headers do not say so.
extern "C" {
#include <ntfs-3g/types.h>
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/layout.h>
#include <ntfs-3g/security.h>
#include <ntfs-3g/volume.h>
}

#include <cstring>

std::vector<uint16_t> Utf8ToUtf16(const std::string& str)
{
    std::vector<uint16_t> units;
    size_t i = 0;
    while (i < str.size())
    {
        unsigned char c = static_cast<unsigned char>(str[i]);
        uint32_t cp = 0;
        size_t nMore = 0;
        if (c < 0x80) { cp = c; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; nMore = 1; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; nMore = 2; }
        else { cp = c & 0x07; nMore = 3; }
        ++i;
        for (size_t k = 0; k < nMore && i < str.size(); ++k, ++i)
            cp = (cp << 6) | (static_cast<unsigned char>(str[i]) & 0x3F);
        if (cp >= 0x10000)
        {
            cp -= 0x10000;
            units.push_back(static_cast<uint16_t>(0xD800 | (cp >> 10)));
            units.push_back(static_cast<uint16_t>(0xDC00 | (cp & 0x3FF)));
        }
        else
            units.push_back(static_cast<uint16_t>(cp));
    }
    return units;
}

namespace
{
// Splits "/a/b/c" into "/a/b" and "c".
void SplitPath(const std::string& strPath, std::string& strParent, std::string& strName)
{
    size_t nSlash = strPath.rfind('/');
    strParent = nSlash == 0 ? "/" : strPath.substr(0, nSlash);
    strName = strPath.substr(nSlash + 1);
}

std::vector<ntfschar> NtfsName(const std::string& strName)
{
    std::vector<ntfschar> name;
    for (uint16_t unit : Utf8ToUtf16(strName))
        name.push_back(cpu_to_le16(unit));
    return name;
}

bool WriteAll(ntfs_attr* pAttr, uint64_t n64Offset, const std::vector<uint8_t>& data)
{
    size_t cbDone = 0;
    while (cbDone < data.size())
    {
        s64 n = ntfs_attr_pwrite(pAttr, static_cast<s64>(n64Offset + cbDone),
                                 static_cast<s64>(data.size() - cbDone), data.data() + cbDone);
        if (n <= 0)
            return false;
        cbDone += static_cast<size_t>(n);
    }
    return true;
}

// Owns an open attribute for the length of one write.
struct CAttrCloser
{
    ntfs_attr* m_pAttr;
    ~CAttrCloser() { if (m_pAttr) ntfs_attr_close(m_pAttr); }
};
}  // namespace

CNtfsWriter::CNtfsWriter() : m_pVolume(nullptr), m_pDir(nullptr), m_n64DirRecord(0) {}

CNtfsWriter::~CNtfsWriter()
{
    Unmount();
}

bool CNtfsWriter::Fail(const char* pszWhat, const std::string& strPath) const
{
    fprintf(stderr, "salvix_mkvolume: %s %s: %s\n", pszWhat, strPath.c_str(), strerror(errno));
    return false;
}

bool CNtfsWriter::Mount(const std::string& strImage)
{
    m_strImage = strImage;
    m_pVolume = ntfs_mount(strImage.c_str(), NTFS_MNT_NONE);
    if (!m_pVolume)
        return Fail("cannot open the volume", strImage);
    // Files made in a directory flagged compressed are compressed only
    // when this is on; no other layout has such a directory.
    NVolSetCompression(m_pVolume);
    m_mapRecords["/"] = FILE_root;
    return true;
}

bool CNtfsWriter::Unmount()
{
    if (!m_pVolume)
        return true;
    ReleaseDirectory();
    bool bOk = ntfs_umount(m_pVolume, FALSE) == 0;
    m_pVolume = nullptr;
    if (!bOk)
        Fail("cannot write out the volume", "");
    return bOk;
}

uint32_t CNtfsWriter::ClusterSize() const
{
    return m_pVolume ? m_pVolume->cluster_size : 0;
}

int64_t CNtfsWriter::RecordOf(const std::string& strPath) const
{
    auto it = m_mapRecords.find(strPath);
    return it == m_mapRecords.end() ? -1 : static_cast<int64_t>(it->second);
}

ntfs_inode* CNtfsWriter::OpenInode(uint64_t n64Record)
{
    // Closing this inode opens its directories to update their entries;
    // none of them may be held open here then.
    ReleaseDirectory();
    return ntfs_inode_open(m_pVolume, static_cast<MFT_REF>(n64Record));
}

ntfs_inode* CNtfsWriter::Directory(uint64_t n64Record)
{
    if (m_pDir && m_n64DirRecord == n64Record)
        return m_pDir;
    ReleaseDirectory();
    m_pDir = ntfs_inode_open(m_pVolume, static_cast<MFT_REF>(n64Record));
    m_n64DirRecord = n64Record;
    return m_pDir;
}

void CNtfsWriter::ReleaseDirectory()
{
    if (m_pDir)
        ntfs_inode_close(m_pDir);
    m_pDir = nullptr;
}

bool CNtfsWriter::Create(const std::string& strPath, bool bDirectory, const std::vector<uint8_t>* pData)
{
    std::string strParent, strName;
    SplitPath(strPath, strParent, strName);
    int64_t n64Parent = RecordOf(strParent);
    if (n64Parent < 0 || strName.empty())
    {
        errno = ENOENT;
        return Fail("no parent directory for", strPath);
    }
    ntfs_inode* pDir = Directory(static_cast<uint64_t>(n64Parent));
    if (!pDir)
        return Fail("cannot open the directory of", strPath);
    std::vector<ntfschar> name = NtfsName(strName);
    ntfs_inode* pNode = ntfs_create(pDir, const_cpu_to_le32(0), name.data(),
                                    static_cast<u8>(name.size()), bDirectory ? S_IFDIR : S_IFREG);
    if (!pNode)
        return Fail("cannot create", strPath);
    m_mapRecords[strPath] = pNode->mft_no;
    bool bOk = true;
    if (pData && !pData->empty())
    {
        CAttrCloser attr{ntfs_attr_open(pNode, AT_DATA, AT_UNNAMED, 0)};
        bOk = attr.m_pAttr && WriteAll(attr.m_pAttr, 0, *pData);
        if (!bOk)
            Fail("cannot write", strPath);
    }
    // Closing updates the directory's entry for the file: through the open
    // directory, since a second copy of it in memory would conflict.
    if (ntfs_inode_close_in_dir(pNode, pDir) != 0)
        bOk = Fail("cannot close", strPath);
    return bOk;
}

bool CNtfsWriter::MakeDir(const std::string& strPath)
{
    return Create(strPath, true, nullptr);
}

bool CNtfsWriter::WriteFile(const std::string& strPath, const std::vector<uint8_t>& data)
{
    return Create(strPath, false, &data);
}

bool CNtfsWriter::WriteAt(const std::string& strPath, uint64_t n64Offset, const std::vector<uint8_t>& data)
{
    int64_t n64Record = RecordOf(strPath);
    ntfs_inode* pNode = n64Record < 0 ? nullptr : OpenInode(static_cast<uint64_t>(n64Record));
    if (!pNode)
        return Fail("cannot open", strPath);
    bool bOk;
    {
        CAttrCloser attr{ntfs_attr_open(pNode, AT_DATA, AT_UNNAMED, 0)};
        bOk = attr.m_pAttr && WriteAll(attr.m_pAttr, n64Offset, data);
    }
    if (!bOk)
        Fail("cannot write", strPath);
    if (ntfs_inode_close(pNode) != 0)
        bOk = Fail("cannot close", strPath);
    return bOk;
}

bool CNtfsWriter::AddStream(const std::string& strPath, const std::string& strStream,
                            const std::vector<uint8_t>& data)
{
    int64_t n64Record = RecordOf(strPath);
    ntfs_inode* pNode = n64Record < 0 ? nullptr : OpenInode(static_cast<uint64_t>(n64Record));
    if (!pNode)
        return Fail("cannot open", strPath);
    std::vector<ntfschar> name = NtfsName(strStream);
    bool bOk = ntfs_attr_add(pNode, AT_DATA, name.data(), static_cast<u8>(name.size()), nullptr, 0) == 0;
    if (bOk && !data.empty())
    {
        CAttrCloser attr{ntfs_attr_open(pNode, AT_DATA, name.data(), static_cast<u32>(name.size()))};
        bOk = attr.m_pAttr && WriteAll(attr.m_pAttr, 0, data);
    }
    if (!bOk)
        Fail("cannot write the stream of", strPath + ":" + strStream);
    if (ntfs_inode_close(pNode) != 0)
        bOk = Fail("cannot close", strPath);
    return bOk;
}

bool CNtfsWriter::WriteSparse(const std::string& strPath, uint64_t n64Size,
                              const std::vector<std::pair<uint64_t, std::vector<uint8_t>>>& pieces)
{
    if (!Create(strPath, false, nullptr))
        return false;
    ntfs_inode* pNode = OpenInode(static_cast<uint64_t>(RecordOf(strPath)));
    if (!pNode)
        return Fail("cannot open", strPath);
    bool bOk;
    {
        CAttrCloser attr{ntfs_attr_open(pNode, AT_DATA, AT_UNNAMED, 0)};
        // Growing by truncation leaves the new range as a hole.
        bOk = attr.m_pAttr && ntfs_attr_truncate(attr.m_pAttr, static_cast<s64>(n64Size)) == 0;
        for (const auto& piece : pieces)
            bOk = bOk && WriteAll(attr.m_pAttr, piece.first, piece.second);
    }
    if (!bOk)
        Fail("cannot write", strPath);
    if (ntfs_inode_close(pNode) != 0)
        bOk = Fail("cannot close", strPath);
    return bOk;
}

bool CNtfsWriter::Link(const std::string& strExisting, const std::string& strNewPath)
{
    std::string strParent, strName;
    SplitPath(strNewPath, strParent, strName);
    int64_t n64Record = RecordOf(strExisting);
    int64_t n64Parent = RecordOf(strParent);
    if (n64Record < 0 || n64Parent < 0)
    {
        errno = ENOENT;
        return Fail("cannot link", strNewPath);
    }
    ntfs_inode* pNode = OpenInode(static_cast<uint64_t>(n64Record));
    ntfs_inode* pDir = pNode ? ntfs_inode_open(m_pVolume, static_cast<MFT_REF>(n64Parent)) : nullptr;
    std::vector<ntfschar> name = NtfsName(strName);
    bool bOk = pDir && ntfs_link(pNode, pDir, name.data(), static_cast<u8>(name.size())) == 0;
    if (!bOk)
        Fail("cannot link", strNewPath);
    if (pDir && ntfs_inode_close(pDir) != 0)
        bOk = Fail("cannot close the directory of", strNewPath);
    if (pNode && ntfs_inode_close(pNode) != 0)
        bOk = Fail("cannot close", strExisting);
    if (bOk)
        m_mapRecords[strNewPath] = static_cast<uint64_t>(n64Record);
    return bOk;
}

bool CNtfsWriter::Delete(const std::string& strPath)
{
    std::string strParent, strName;
    SplitPath(strPath, strParent, strName);
    int64_t n64Record = RecordOf(strPath);
    int64_t n64Parent = RecordOf(strParent);
    if (n64Record < 0 || n64Parent < 0)
    {
        errno = ENOENT;
        return Fail("cannot delete", strPath);
    }
    // ntfs_delete closes both inodes itself, so neither may be the kept one.
    ReleaseDirectory();
    ntfs_inode* pNode = ntfs_inode_open(m_pVolume, static_cast<MFT_REF>(n64Record));
    ntfs_inode* pDir = pNode ? ntfs_inode_open(m_pVolume, static_cast<MFT_REF>(n64Parent)) : nullptr;
    if (!pDir)
    {
        if (pNode)
            ntfs_inode_close(pNode);
        return Fail("cannot open for deletion", strPath);
    }
    std::vector<ntfschar> name = NtfsName(strName);
    if (ntfs_delete(m_pVolume, strPath.c_str(), pNode, pDir, name.data(), static_cast<u8>(name.size())) != 0)
        return Fail("cannot delete", strPath);
    m_mapRecords.erase(strPath);
    return true;
}

bool CNtfsWriter::SetDosName(const std::string& strPath, const std::string& strDosName)
{
    std::string strParent, strName;
    SplitPath(strPath, strParent, strName);
    int64_t n64Record = RecordOf(strPath);
    int64_t n64Parent = RecordOf(strParent);
    if (n64Record < 0 || n64Parent < 0)
    {
        errno = ENOENT;
        return Fail("cannot name", strPath);
    }
    ReleaseDirectory();
    ntfs_inode* pNode = ntfs_inode_open(m_pVolume, static_cast<MFT_REF>(n64Record));
    ntfs_inode* pDir = pNode ? ntfs_inode_open(m_pVolume, static_cast<MFT_REF>(n64Parent)) : nullptr;
    if (!pDir)
    {
        if (pNode)
            ntfs_inode_close(pNode);
        return Fail("cannot open for naming", strPath);
    }
    // The library closes both inodes itself, whatever the outcome.
    if (ntfs_set_ntfs_dos_name(pNode, pDir, strDosName.data(), strDosName.size(), 0) != 0)
        return Fail("cannot set the DOS name of", strPath);
    return true;
}

bool CNtfsWriter::SetAttributes(const std::string& strPath, uint32_t dwAttributes)
{
    int64_t n64Record = RecordOf(strPath);
    ntfs_inode* pNode = n64Record < 0 ? nullptr : OpenInode(static_cast<uint64_t>(n64Record));
    if (!pNode)
        return Fail("cannot open", strPath);
    le32 attributes = cpu_to_le32(dwAttributes);
    bool bOk = ntfs_set_ntfs_attrib(pNode, reinterpret_cast<const char*>(&attributes), sizeof(attributes), 0) == 0;
    if (!bOk)
        Fail("cannot set the attributes of", strPath);
    if (ntfs_inode_close(pNode) != 0)
        bOk = Fail("cannot close", strPath);
    return bOk;
}

bool CNtfsWriter::Remount()
{
    std::map<std::string, uint64_t> records = m_mapRecords;
    if (!Unmount() || !Mount(m_strImage))
        return false;
    m_mapRecords = records;
    return true;
}

bool CNtfsWriter::ExtensionRecords(const std::string& strPath, std::vector<uint64_t>& records)
{
    records.clear();
    int64_t n64Record = RecordOf(strPath);
    ntfs_inode* pNode = n64Record < 0 ? nullptr : OpenInode(static_cast<uint64_t>(n64Record));
    if (!pNode)
        return Fail("cannot open", strPath);
    bool bOk = ntfs_inode_attach_all_extents(pNode) == 0;
    for (s32 i = 0; bOk && i < pNode->nr_extents; ++i)
        records.push_back(pNode->extent_nis[i]->mft_no);
    if (ntfs_inode_close(pNode) != 0)
        bOk = Fail("cannot close", strPath);
    return bOk;
}

bool CNtfsWriter::FreeOutsideTableZone(uint64_t& n64Bytes)
{
    if (ntfs_volume_get_free_space(m_pVolume) != 0)
        return Fail("cannot count the free space of", m_strImage);
    s64 n64Zone = m_pVolume->mft_zone_end - m_pVolume->mft_zone_start;
    s64 n64Free = m_pVolume->free_clusters - n64Zone;
    n64Bytes = n64Free > 0 ? static_cast<uint64_t>(n64Free) * m_pVolume->cluster_size : 0;
    return true;
}
