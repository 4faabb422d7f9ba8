#include "ui/win32/WideText.h"

#include <algorithm>

namespace
{

std::wstring WideFrom(UINT nCodePage, DWORD dwFlags, const std::string& str, bool& bOk)
{
    bOk = true;
    if (str.empty())
        return std::wstring();
    const int nBytes = static_cast<int>(str.size());
    const int nChars = MultiByteToWideChar(nCodePage, dwFlags, str.data(), nBytes, nullptr, 0);
    if (nChars <= 0)
    {
        bOk = false;
        return std::wstring();
    }
    std::wstring wstr(static_cast<size_t>(nChars), L'\0');
    MultiByteToWideChar(nCodePage, dwFlags, str.data(), nBytes, &wstr[0], nChars);
    return wstr;
}

}  // namespace

std::wstring WideFromUtf8(const std::string& str)
{
    bool bOk = true;
    return WideFrom(CP_UTF8, 0, str, bOk);
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

std::wstring WideFromMessage(const std::string& str)
{
    bool bUtf8 = true;
    std::wstring wstr = WideFrom(CP_UTF8, MB_ERR_INVALID_CHARS, str, bUtf8);
    if (bUtf8)
        return wstr;
    bool bAnsi = true;
    return WideFrom(CP_ACP, 0, str, bAnsi);
}

void CopyToBuffer(const std::wstring& wstr, wchar_t* pszBuffer, int nCapacity)
{
    if (!pszBuffer || nCapacity <= 0)
        return;
    const size_t nCopy = std::min(wstr.size(), static_cast<size_t>(nCapacity) - 1);
    wstr.copy(pszBuffer, nCopy);
    pszBuffer[nCopy] = L'\0';
}
