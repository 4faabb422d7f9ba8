#include "ntfs/Names.h"

void AppendUtf16AsUtf8(std::string& str, const BYTE* pUnits, size_t nUnits)
{
    AppendUtf16UnitsAsUtf8(str, nUnits,
                           [pUnits](size_t i) { return static_cast<DWORD>(pUnits[2 * i] | (pUnits[2 * i + 1] << 8)); });
}

std::string Utf16ToUtf8(const BYTE* pUnits, size_t nUnits)
{
    std::string str;
    str.reserve(nUnits);
    AppendUtf16AsUtf8(str, pUnits, nUnits);
    return str;
}
