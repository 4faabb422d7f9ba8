#include "ntfs/StructureParsers.h"

namespace ntfs
{

DWORD DecodeRunList(const BYTE* pList, DWORD dwSize, ULONGLONG n64FirstVcn,
                    std::vector<CExtent>& vecExtents)
{
    vecExtents.clear();
    ULONGLONG n64Vcn = n64FirstVcn;
    ULONGLONG n64Cluster = 0;
    DWORD dwPos = 0;
    for (;;)
    {
        if (dwPos >= dwSize)
            return ERROR_INVALID_PARAMETER;  // no terminating 0 inside the list
        const BYTE byHeader = pList[dwPos++];
        if (byHeader == 0)
            return 0;
        const DWORD dwL = byHeader & 0x0F;
        const DWORD dwF = byHeader >> 4;
        if (dwL > 8 || dwF > 8 || dwL + dwF > dwSize - dwPos)
            return ERROR_INVALID_PARAMETER;

        ULONGLONG n64Length = 0;
        for (DWORD i = 0; i < dwL; ++i)
            n64Length |= static_cast<ULONGLONG>(pList[dwPos + i]) << (8 * i);
        dwPos += dwL;
        ULONGLONG n64Delta = 0;
        for (DWORD i = 0; i < dwF; ++i)
            n64Delta |= static_cast<ULONGLONG>(pList[dwPos + i]) << (8 * i);
        if (dwF > 0 && dwF < 8 && (pList[dwPos + dwF - 1] & 0x80) != 0)
            n64Delta |= ~0ull << (8 * dwF);
        dwPos += dwF;

        const bool bSparse = dwF == 0;
        if (!bSparse)
        {
            // A run before the volume's first cluster would hand over whatever
            // lies in front of the partition as the file's data.
            n64Cluster += n64Delta;
            if (static_cast<LONGLONG>(n64Cluster) < 0)
                return ERROR_INVALID_PARAMETER;
        }
        if (n64Length == 0)
            continue;
        if (n64Length > ~0ull - n64Vcn)
            return ERROR_INVALID_PARAMETER;
        CExtent extent;
        extent.m_n64Vcn = n64Vcn;
        extent.m_n64Clusters = n64Length;
        extent.m_n64Lcn = bSparse ? 0 : n64Cluster;
        extent.m_bSparse = bSparse;
        vecExtents.push_back(extent);
        n64Vcn += n64Length;
    }
}

}  // namespace ntfs
