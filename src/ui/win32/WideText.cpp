#include "ui/win32/WideText.h"

#include <algorithm>

std::wstring WideFromUtf8(const std::string& str)
{
    if (str.empty())
        return std::wstring();
    const int nBytes = static_cast<int>(str.size());
    const int nChars = MultiByteToWideChar(CP_UTF8, 0, str.data(), nBytes, nullptr, 0);
    if (nChars <= 0)
        return std::wstring();
    std::wstring wstr(static_cast<size_t>(nChars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, str.data(), nBytes, &wstr[0], nChars);
    return wstr;
}

std::string Utf8FromWide(const std::wstring& wstr)
{
    if (wstr.empty())
        return std::string();
    const int nChars = static_cast<int>(wstr.size());
    const int nBytes = WideCharToMultiByte(CP_UTF8, 0, wstr.data(), nChars, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 0)
        return std::string();
    std::string str(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wstr.data(), nChars, &str[0], nBytes, nullptr, nullptr);
    return str;
}

void CopyToBuffer(const std::wstring& wstr, wchar_t* pszBuffer, int nCapacity)
{
    if (!pszBuffer || nCapacity <= 0)
        return;
    const size_t nCopy = std::min(wstr.size(), static_cast<size_t>(nCapacity) - 1);
    wstr.copy(pszBuffer, nCopy);
    pszBuffer[nCopy] = L'\0';
}
