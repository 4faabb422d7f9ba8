// The Sleuth Kit's library on FAT and exFAT images.
#include "SleuthFat.h"

#include <tsk/libtsk.h>

namespace salvix_test
{

namespace
{

struct CWalkState
{
    std::vector<uint8_t>* m_pData = nullptr;
    uint64_t m_n64First = 0;
};

TSK_WALK_RET_ENUM AppendBlock(TSK_FS_FILE*, TSK_OFF_T, TSK_DADDR_T, char* pBuf, size_t nLen,
                              TSK_FS_BLOCK_FLAG_ENUM, void* pState)
{
    std::vector<uint8_t>& vec = *static_cast<CWalkState*>(pState)->m_pData;
    vec.insert(vec.end(), pBuf, pBuf + nLen);
    return TSK_WALK_CONT;
}

TSK_WALK_RET_ENUM FirstAddress(TSK_FS_FILE*, TSK_OFF_T, TSK_DADDR_T addr, char*, size_t, TSK_FS_BLOCK_FLAG_ENUM,
                               void* pState)
{
    static_cast<CWalkState*>(pState)->m_n64First = addr;
    return TSK_WALK_STOP;
}

}  // namespace

CSleuthFat::~CSleuthFat()
{
    if (m_pFs)
        tsk_fs_close(m_pFs);
    if (m_pImage)
        tsk_img_close(m_pImage);
}

bool CSleuthFat::Open(const std::string& strImage, uint64_t n64Offset)
{
    m_pImage = tsk_img_open_sing(strImage.c_str(), TSK_IMG_TYPE_RAW, 0);
    m_pFs = m_pImage ? tsk_fs_open_img(m_pImage, static_cast<TSK_OFF_T>(n64Offset), TSK_FS_TYPE_DETECT) : nullptr;
    return m_pFs != nullptr;
}

bool CSleuthFat::Data(uint64_t n64Inode, std::vector<uint8_t>& vecData) const
{
    vecData.clear();
    TSK_FS_FILE* pFile = tsk_fs_file_open_meta(m_pFs, nullptr, n64Inode);
    if (!pFile)
        return false;
    CWalkState state;
    state.m_pData = &vecData;
    const bool bOk = tsk_fs_file_walk(pFile, TSK_FS_FILE_WALK_FLAG_NONE, AppendBlock, &state) == 0;
    tsk_fs_file_close(pFile);
    return bOk;
}

uint64_t CSleuthFat::FirstSector(uint64_t n64Inode) const
{
    TSK_FS_FILE* pFile = tsk_fs_file_open_meta(m_pFs, nullptr, n64Inode);
    if (!pFile)
        return 0;
    CWalkState state;
    tsk_fs_file_walk(pFile, static_cast<TSK_FS_FILE_WALK_FLAG_ENUM>(TSK_FS_FILE_WALK_FLAG_AONLY), FirstAddress, &state);
    tsk_fs_file_close(pFile);
    return state.m_n64First;
}

int64_t CSleuthFat::Modified(uint64_t n64Inode) const
{
    TSK_FS_FILE* pFile = tsk_fs_file_open_meta(m_pFs, nullptr, n64Inode);
    if (!pFile)
        return 0;
    const int64_t n64Time = pFile->meta ? static_cast<int64_t>(pFile->meta->mtime) : 0;
    tsk_fs_file_close(pFile);
    return n64Time;
}

bool CSleuthFat::InUse(uint64_t n64Sector) const
{
    return (m_pFs->block_getflags(m_pFs, n64Sector) & TSK_FS_BLOCK_FLAG_ALLOC) != 0;
}

}  // namespace salvix_test
