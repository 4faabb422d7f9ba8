// FAT12/16/32 and exFAT boot sectors: whatever the bytes, a parsed boot
// sector describes a volume whose regions fit inside it.
#include "FuzzDisk.h"

#include "fat/FatStructures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    fat::CFatBoot boot;
    const DWORD dwParse = fat::ParseBootSector(pData, nSize, boot);
    if (nSize < 512)
        FUZZ_CHECK(dwParse == ERROR_READ_FAULT);
    if (dwParse == 0)
    {
        FUZZ_CHECK(boot.m_eKind != fat::eKindNone);
        FUZZ_CHECK(boot.m_dwBytesPerSector >= 512 && boot.m_dwBytesPerSector <= 4096);
        FUZZ_CHECK(boot.m_dwClusterSize >= boot.m_dwBytesPerSector && boot.m_dwClusterSize <= (32u << 20));
        FUZZ_CHECK((boot.m_dwClusterSize & (boot.m_dwClusterSize - 1)) == 0);
        FUZZ_CHECK(boot.m_dwClusterCount > 0 && boot.m_n64DataSector <= boot.m_n64TotalSectors);
        const ULONGLONG n64Sectors = static_cast<ULONGLONG>(boot.m_dwClusterCount) *
                                     (boot.m_dwClusterSize / boot.m_dwBytesPerSector);
        FUZZ_CHECK(n64Sectors <= boot.m_n64TotalSectors - boot.m_n64DataSector);
        FUZZ_CHECK(boot.m_szLabel[11] == 0);
        if (boot.m_eKind == fat::eKindFat32 || boot.m_eKind == fat::eKindExfat)
            FUZZ_CHECK(boot.m_dwRootCluster >= 2 && boot.m_dwRootCluster - 2 < boot.m_dwClusterCount);
        // The FAT holds an entry for every cluster.
        const ULONGLONG n64FatBytes = boot.m_n64FatSectors * boot.m_dwBytesPerSector;
        FUZZ_CHECK(fat::FatEntryOffset(boot.m_eKind, boot.m_dwClusterCount + 1) < n64FatBytes);
    }
    (void)fat::ExfatBootChecksum(pData, nSize);
    return 0;
}
