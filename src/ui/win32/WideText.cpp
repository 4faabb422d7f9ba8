#include "ui/win32/WideText.h"

#include <algorithm>

void CopyToBuffer(const std::wstring& wstr, wchar_t* pszBuffer, int nCapacity)
{
    if (!pszBuffer || nCapacity <= 0)
        return;
    const size_t nCopy = std::min(wstr.size(), static_cast<size_t>(nCapacity) - 1);
    wstr.copy(pszBuffer, nCopy);
    pszBuffer[nCopy] = L'\0';
}
