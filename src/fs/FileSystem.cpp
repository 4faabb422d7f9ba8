#include "fs/FileSystem.h"

bool GeometryOf(const PartitionRecord& partition, CVolumeGeometry& geometry)
{
    const bool bSized = partition.dwSectorSize != 0;
    const DWORD dwSectorSize = bSized ? partition.dwSectorSize : 512;
    const ULONGLONG n64First = bSized ? partition.qwFirstSector : partition.dwFirstSector;
    if (n64First > ~0ull / dwSectorSize)
        return false;
    geometry.m_n64Offset = n64First * dwSectorSize;
    geometry.m_dwSectorSize = dwSectorSize;
    return true;
}
