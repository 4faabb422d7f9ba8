// Fills an NTFS volume image through the ntfs-3g library, without mounting it
// in the system. Paths are UTF-8, absolute inside the volume ("/dir/file");
// every directory a path names must have been made through this object.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct _ntfs_volume;
struct _ntfs_inode;

class CNtfsWriter
{
public:
    CNtfsWriter();
    ~CNtfsWriter();
    CNtfsWriter(const CNtfsWriter&) = delete;
    CNtfsWriter& operator=(const CNtfsWriter&) = delete;

    bool Mount(const std::string& strImage);
    // Writes everything out and closes the volume; false when that failed.
    bool Unmount();

    bool MakeDir(const std::string& strPath);
    // Creates a file holding strData (an empty vector makes an empty file).
    bool WriteFile(const std::string& strPath, const std::vector<uint8_t>& data);
    // Writes into an existing file at n64Offset, growing it as needed.
    bool WriteAt(const std::string& strPath, uint64_t n64Offset, const std::vector<uint8_t>& data);
    // Adds a named $DATA stream to an existing file.
    bool AddStream(const std::string& strPath, const std::string& strStream,
                   const std::vector<uint8_t>& data);
    // Creates a file of n64Size bytes that holds only the given pieces; the
    // rest is left unallocated where the volume allows it.
    bool WriteSparse(const std::string& strPath, uint64_t n64Size,
                     const std::vector<std::pair<uint64_t, std::vector<uint8_t>>>& pieces);
    // A second name for an existing file, in any directory made here.
    bool Link(const std::string& strExisting, const std::string& strNewPath);
    // Removes a name; the record is freed when it was the file's last name.
    // A directory must be empty.
    bool Delete(const std::string& strPath);

    // Gives the file the DOS 8.3 name strDosName beside its long name.
    bool SetDosName(const std::string& strPath, const std::string& strDosName);
    // Sets the file's attribute flags (FILE_ATTRIBUTE_*); on a directory,
    // the compressed flag makes the files created in it compressed.
    bool SetAttributes(const std::string& strPath, uint32_t dwAttributes);
    // Closes and opens the volume again. Within one mount the library hands
    // out records further and further on; after a new mount it starts again
    // at the lowest free user record, so the next file reuses it.
    bool Remount();

    // Free bytes outside the zone the library keeps free after the table
    // for the table's own growth.
    bool FreeOutsideTableZone(uint64_t& n64Bytes);

    uint32_t ClusterSize() const;

    // Record number of a path made through this object, or -1.
    int64_t RecordOf(const std::string& strPath) const;
    // The extension records the file's attribute list names, in list order.
    bool ExtensionRecords(const std::string& strPath, std::vector<uint64_t>& records);

private:
    _ntfs_inode* OpenInode(uint64_t n64Record);
    _ntfs_inode* Directory(uint64_t n64Record);
    void ReleaseDirectory();
    bool Create(const std::string& strPath, bool bDirectory, const std::vector<uint8_t>* pData);
    bool Fail(const char* pszWhat, const std::string& strPath) const;

    _ntfs_volume* m_pVolume;
    _ntfs_inode* m_pDir;          // the directory used last, kept open for speed
    uint64_t m_n64DirRecord;
    std::string m_strImage;
    std::map<std::string, uint64_t> m_mapRecords;
};

// UTF-8 to UTF-16 code units (host order), for names inside the volume.
std::vector<uint16_t> Utf8ToUtf16(const std::string& str);
