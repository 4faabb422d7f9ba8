// Text between the shared code, which speaks UTF-8, and the window, which
// speaks UTF-16.
#pragma once

#include "platform/Win32.h"

#include <string>

std::wstring WideFromUtf8(const std::string& str);
std::string Utf8FromWide(const std::wstring& wstr);

// Copies wstr into a fixed buffer of nCapacity characters, cut to fit.
void CopyToBuffer(const std::wstring& wstr, wchar_t* pszBuffer, int nCapacity);
