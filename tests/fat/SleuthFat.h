// The Sleuth Kit's library on a FAT or exFAT image, in the test's own
// process: the code behind icat (a file's data by its entry number), istat
// (where its data starts) and blkls (which sectors are in use now), without
// a process per question.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TSK_IMG_INFO;
struct TSK_FS_INFO;

namespace salvix_test
{

class CSleuthFat
{
public:
    CSleuthFat() = default;
    ~CSleuthFat();
    CSleuthFat(const CSleuthFat&) = delete;
    CSleuthFat& operator=(const CSleuthFat&) = delete;

    // The volume at byte n64Offset of the image.
    bool Open(const std::string& strImage, uint64_t n64Offset = 0);
    // The entry's data as icat writes it; false when The Sleuth Kit cannot walk it.
    bool Data(uint64_t n64Inode, std::vector<uint8_t>& vecData) const;
    // The first sector of the entry's data, as istat lists it; 0 for none.
    uint64_t FirstSector(uint64_t n64Inode) const;
    // The entry's modification time as istat gives it: seconds since 1970
    // (FAT's wall clock read on the local zone, as the program reads it).
    int64_t Modified(uint64_t n64Inode) const;
    // Whether the sector is in use now, as blkls -a says.
    bool InUse(uint64_t n64Sector) const;

private:
    TSK_IMG_INFO* m_pImage = nullptr;
    TSK_FS_INFO* m_pFs = nullptr;
};

}  // namespace salvix_test
