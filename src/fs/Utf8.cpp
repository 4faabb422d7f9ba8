#include "fs/Utf8.h"

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
