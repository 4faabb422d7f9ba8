// A disk walked by the partition table walk: the input is the first disk, an
// MBR or a GPT one (the image's content tells 512- from 4096-byte sectors).
// The GPT header parser and the file system probe also see the input directly.
#include "FuzzDisk.h"

#include "disk/DiskLayout.h"
#include "disk/FileSystemProbe.h"
#include "disk/Gpt.h"
#include "disk/PartitionTable.h"

#include <cstdlib>
#include <cstring>

using fuzzdisk::CFuzzDisk;

namespace
{

// The master table lists at most 4, each of the at most 50 extended records 4.
const unsigned kMaxMbrItems = 4 + 50 * 4;

CFuzzDisk& Disk()
{
    static CFuzzDisk s_disk;
    return s_disk;
}

// The parsers on the bytes themselves, at both sector sizes.
void ParseDirectly(const uint8_t* pData, size_t nSize)
{
    ProbeFileSystem(pData, nSize);
    for (DWORD dwSectorSize : {kSmallSectorSize, kLargeSectorSize})
    {
        if (nSize <= dwSectorSize)
            continue;
        const ULONGLONG qwSectors = nSize / dwSectorSize;
        const DWORD dwAvailable = static_cast<DWORD>(nSize - dwSectorSize);
        CGptHeader header;
        if (!ParseGptHeader(pData + dwSectorSize, dwAvailable < dwSectorSize ? dwAvailable : dwSectorSize,
                            dwSectorSize, 1, qwSectors, header))
            continue;
        FUZZ_CHECK(header.m_dwArrayBytes <= kGptMaxArrayBytes);
        FUZZ_CHECK(header.m_qwEntryLba + header.m_dwArraySectors <= qwSectors);
        FUZZ_CHECK(header.m_qwLastUsableLba < qwSectors);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("SALVIX_DISK", Disk().Path().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize > 1u << 20)
        return 0;
    Disk().Load(pData, nSize);
    ParseDirectly(pData, nSize);

    unsigned nItems = 0;
    const DWORD dwError = WalkPartitionTables(0, [&](const char* pszText, const PartitionRecord& record) {
        FUZZ_CHECK(pszText && strlen(pszText) < 256 && strstr(pszText, " Drive ") != nullptr);
        FUZZ_CHECK(record.wKind == 1 && record.dwReserved == 0 && record.dwReserved2 == 0);
        FUZZ_CHECK(record.dwFirstSector == static_cast<DWORD>(record.qwFirstSector));
        FUZZ_CHECK(record.dwSectorSize == kSmallSectorSize || record.dwSectorSize == kLargeSectorSize);
        // A master table holds 32-bit starts; a GPT entry lies inside a disk of at most 1 MiB.
        FUZZ_CHECK(record.qwFirstSector <= 0xFFFFFFFFull);
        ++nItems;
    });
    // A GPT lists no more entries than its array, inside the disk, can hold.
    FUZZ_CHECK(nItems <= kMaxMbrItems || nItems <= nSize / kGptMinEntrySize);
    if (nSize < 512)
        FUZZ_CHECK(dwError == ERROR_READ_FAULT && nItems == 0);
    return 0;
}
