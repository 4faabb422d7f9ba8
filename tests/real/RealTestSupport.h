// Small helpers shared by the real-volume tests.
#pragma once

#include "platform/Win32.h"

#include <cstdint>
#include <string>
#include <vector>

inline std::string ImagePath(const char* pszName)
{
    return std::string(SALVIX_REAL_IMAGES) + "/" + pszName;
}

inline uint64_t Le(const uint8_t* p, int nBytes)
{
    uint64_t v = 0;
    for (int i = nBytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// The name as the program shows it: each UTF-16 unit from 1 to 255 becomes
// the byte of the same value; the name ends before the first unit above 255.
inline std::string NameBytes(const std::vector<uint16_t>& units)
{
    std::string str;
    for (uint16_t unit : units)
    {
        if (unit == 0 || unit > 255)
            break;
        str += static_cast<char>(unit);
    }
    return str;
}

inline std::vector<uint16_t> Utf8ToUnits(const std::string& str)
{
    std::vector<uint16_t> units;
    for (size_t i = 0; i < str.size();)
    {
        unsigned char c = static_cast<unsigned char>(str[i++]);
        uint32_t cp = c;
        size_t nMore = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
        if (nMore)
            cp = c & (0x3F >> nMore);
        for (size_t k = 0; k < nMore && i < str.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(str[i++]) & 0x3F);
        if (cp >= 0x10000)
        {
            cp -= 0x10000;
            units.push_back(static_cast<uint16_t>(0xD800 | (cp >> 10)));
            units.push_back(static_cast<uint16_t>(0xDC00 | (cp & 0x3FF)));
        }
        else
            units.push_back(static_cast<uint16_t>(cp));
    }
    return units;
}

struct HandleCloser
{
    HANDLE m_h;
    ~HandleCloser()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
    }
};

inline HANDLE OpenImage(const std::string& strImage)
{
    return CreateFileA(strImage.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}
