// UTF-8 from the code points and UTF-16 units file systems store names in,
// for every file system: a name is never cut or dropped, and what is not
// valid UTF-16 (a surrogate without its partner) shows as U+FFFD.
#pragma once

#include "platform/Win32.h"

#include <cstddef>
#include <string>

// Appends one code point (at most U+10FFFF) to str as UTF-8.
void AppendCodePointAsUtf8(std::string& str, DWORD dwCode);

// Appends the UTF-16 units fnUnit(0), ..., fnUnit(nUnits - 1) to str as
// UTF-8: a high surrogate and the low one after it as the one code point
// they stand for, any other surrogate as U+FFFD.
template <class FnUnit>
void AppendUtf16UnitsAsUtf8(std::string& str, size_t nUnits, FnUnit fnUnit)
{
    for (size_t i = 0; i < nUnits; ++i)
    {
        const DWORD dwUnit = fnUnit(i);
        if (dwUnit < 0x80)
        {
            str += static_cast<char>(dwUnit);
            continue;
        }
        if (dwUnit >= 0xD800 && dwUnit <= 0xDBFF && i + 1 < nUnits)
        {
            const DWORD dwLow = fnUnit(i + 1);
            if (dwLow >= 0xDC00 && dwLow <= 0xDFFF)
            {
                AppendCodePointAsUtf8(str, 0x10000 + ((dwUnit - 0xD800) << 10) + (dwLow - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendCodePointAsUtf8(str, dwUnit >= 0xD800 && dwUnit <= 0xDFFF ? 0xFFFD : dwUnit);
    }
}
