// A copy of a made volume to break one thing in, with what the intact
// volume lists and where its structures lie.
#pragma once

#include "FatTestSupport.h"

#include "support/NtfsImage.h"

#include <algorithm>

namespace salvix_test
{

// The byte offset of the first place the bytes stand in the image.
inline ULONGLONG Find(const Bytes& vecImage, const std::string& strBytes)
{
    const Bytes vecBytes(strBytes.begin(), strBytes.end());
    auto it = std::search(vecImage.begin(), vecImage.end(), vecBytes.begin(), vecBytes.end());
    EXPECT_NE(it, vecImage.end()) << strBytes;
    return static_cast<ULONGLONG>(it - vecImage.begin());
}

// A copy of a made volume to break, with what the intact one lists.
class CBrokenCopy
{
public:
    explicit CBrokenCopy(const std::string& strKind) : m_strKind(strKind)
    {
        m_strMissing = CMadeVolumes::Get().Missing(strKind);
        if (!m_strMissing.empty())
            return;
        m_vecImage = ReadFileBytes(CMadeVolumes::Get().Image(strKind));
        CHandle disk(OpenImage(CMadeVolumes::Get().Image(strKind)));
        m_intact = WalkImage(m_volume, disk);
        m_boot = m_volume.Boot();
    }
    // Another copy of the intact bytes, for the next thing to break.
    CBrokenCopy(const CBrokenCopy& other)
        : m_strKind(other.m_strKind), m_vecImage(other.m_vecImage), m_intact(other.m_intact), m_boot(other.m_boot)
    {
    }
    const CWalkedRow& Row(const std::string& strPath) const
    {
        const CWalkedRow* pRow = m_intact.Find(strPath);
        EXPECT_NE(pRow, nullptr) << strPath;
        static const CWalkedRow s_none{};
        return pRow ? *pRow : s_none;
    }
    // Where a cluster's FAT entry lies in the image (FAT16 and exFAT).
    ULONGLONG FatEntryAt(DWORD dwCluster) const
    {
        return m_boot.m_n64FatSector * m_boot.m_dwBytesPerSector + fat::FatEntryOffset(m_boot.m_eKind, dwCluster);
    }
    ULONGLONG ClusterAt(DWORD dwCluster) const
    {
        return m_boot.m_n64DataSector * m_boot.m_dwBytesPerSector +
               static_cast<ULONGLONG>(dwCluster - 2) * m_boot.m_dwClusterSize;
    }
    // The broken image, walked.
    CImageWalk Walk(fat::CFatVolume& volume, CScratchFile& file) const
    {
        WriteFileBytes(file.Path(), m_vecImage);
        CHandle disk(OpenImage(file.Path()));
        return WalkImage(volume, disk);
    }

    std::string m_strKind;
    std::string m_strMissing;
    Bytes m_vecImage;
    fat::CFatVolume m_volume;
    CImageWalk m_intact;
    fat::CFatBoot m_boot;
};

}  // namespace salvix_test
