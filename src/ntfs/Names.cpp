#include "ntfs/Names.h"

namespace
{

const DWORD kReplacement = 0xFFFD;

}  // namespace

void AppendCodePointAsUtf8(std::string& str, DWORD dwCode)
{
    if (dwCode < 0x80)
    {
        str += static_cast<char>(dwCode);
    }
    else if (dwCode < 0x800)
    {
        str += static_cast<char>(0xC0 | (dwCode >> 6));
        str += static_cast<char>(0x80 | (dwCode & 0x3F));
    }
    else if (dwCode < 0x10000)
    {
        str += static_cast<char>(0xE0 | (dwCode >> 12));
        str += static_cast<char>(0x80 | ((dwCode >> 6) & 0x3F));
        str += static_cast<char>(0x80 | (dwCode & 0x3F));
    }
    else
    {
        str += static_cast<char>(0xF0 | (dwCode >> 18));
        str += static_cast<char>(0x80 | ((dwCode >> 12) & 0x3F));
        str += static_cast<char>(0x80 | ((dwCode >> 6) & 0x3F));
        str += static_cast<char>(0x80 | (dwCode & 0x3F));
    }
}

void AppendUtf16AsUtf8(std::string& str, const BYTE* pUnits, size_t nUnits)
{
    for (size_t i = 0; i < nUnits; ++i)
    {
        const DWORD dwUnit = static_cast<DWORD>(pUnits[2 * i] | (pUnits[2 * i + 1] << 8));
        if (dwUnit < 0x80)
        {
            str += static_cast<char>(dwUnit);
            continue;
        }
        if (dwUnit >= 0xD800 && dwUnit <= 0xDBFF && i + 1 < nUnits)
        {
            const DWORD dwLow = static_cast<DWORD>(pUnits[2 * i + 2] | (pUnits[2 * i + 3] << 8));
            if (dwLow >= 0xDC00 && dwLow <= 0xDFFF)
            {
                AppendCodePointAsUtf8(str, 0x10000 + ((dwUnit - 0xD800) << 10) + (dwLow - 0xDC00));
                ++i;
                continue;
            }
        }
        // A surrogate without its partner stands for nothing: it shows as such.
        AppendCodePointAsUtf8(str, (dwUnit >= 0xD800 && dwUnit <= 0xDFFF) ? kReplacement : dwUnit);
    }
}

std::string Utf16ToUtf8(const BYTE* pUnits, size_t nUnits)
{
    std::string str;
    str.reserve(nUnits);
    AppendUtf16AsUtf8(str, pUnits, nUnits);
    return str;
}
