// A disk walked by the partition table walk: the input is the first disk.
#include "FuzzDisk.h"

#include "disk/PartitionTable.h"

#include <cstdlib>
#include <cstring>

using fuzzdisk::CFuzzDisk;

namespace
{

// The master table lists at most 4, each of the at most 50 extended records 4.
const unsigned kMaxItems = 4 + 50 * 4;

CFuzzDisk& Disk()
{
    static CFuzzDisk s_disk;
    return s_disk;
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

    unsigned nItems = 0;
    const DWORD dwError = WalkPartitionTables([&](const char* pszText, const PartitionRecord& record) {
        FUZZ_CHECK(pszText && strlen(pszText) < 256 && strstr(pszText, " Drive ") != nullptr);
        FUZZ_CHECK(record.wKind == 1 && record.dwReserved == 0 && record.dwReserved2 == 0);
        ++nItems;
    });
    FUZZ_CHECK(nItems <= kMaxItems);
    if (nSize < 512)
        FUZZ_CHECK(dwError == ERROR_READ_FAULT && nItems == 0);
    return 0;
}
