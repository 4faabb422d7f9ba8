// FAT12, FAT16, FAT32 and exFAT behind the file-system interface
// (fs/FileSystem.h): a CFatVolume and its walk from the root.
//
// - Row ids are the entries' places in the walk, from 0, and the "#" a row
//   shows is that number; a save finds them in a twin, which shares the
//   walk's table of entries (CFatEntryTable).
// - Rows carry their size, their modification time as the volume stored it
//   (FAT: the wall clock, kRowWallClock; exFAT: UTC where it kept the
//   zone's offset) and their state from the map of clusters in use.
// - Descriptions give UTC times: a wall-clock time is read on the local zone.
// - Progress counts folders read of those known so far; what the walk could
//   not read is counted in folders.
#pragma once

#include "fat/FatVolume.h"
#include "fs/FileSystem.h"

class CFatFileSystem : public IFileSystem
{
public:
    CFatFileSystem() = default;
    // Whether a boot sector is a FAT12/16/32 or exFAT one (ProbeFileSystem).
    static bool Recognises(const BYTE* pBoot, size_t nSize);

    DWORD Open(HANDLE hDevice, const CVolumeGeometry& geometry, const std::atomic<BYTE>* pStop) override;
    DWORD Walk(IRowSink& sink, const std::atomic<BYTE>& bStop, std::mutex& lockShared, DWORD& dwUnread) override;
    DWORD Describe(DWORD dwId, CEntryDescription& desc) override;
    DWORD OpenStream(DWORD dwId, std::unique_ptr<IDataStream>& pStream) override;
    std::unique_ptr<IFileSystem> Twin() const override;
    DWORD ReadLabel(HANDLE hDevice, const CVolumeGeometry& geometry, std::string& strLabel) override;
    HANDLE Device() const override { return m_hDevice; }
    void DetachDevice() override;
    const CVolumeGeometry& Geometry() const override { return m_geometry; }
    // The FAT, or exFAT's allocation bitmap, read when the volume opened.
    DWORD AllocationMapCode() const override { return m_volume.MapKnown() ? 0 : ERROR_INVALID_DATA; }

    fat::CFatVolume& Volume() { return m_volume; }

private:
    fat::CFatVolume m_volume;
    // A twin not open yet: what it shares with the volume it was taken of.
    std::unique_ptr<fat::CFatVolume::CShare> m_pShare;
    CVolumeGeometry m_geometry;
    HANDLE m_hDevice = INVALID_HANDLE_VALUE;
};
