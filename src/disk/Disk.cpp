#include "disk/Disk.h"

HANDLE OpenFirstDisk()
{
    return CreateFileA(SALVIX_FIRST_DISK, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}
