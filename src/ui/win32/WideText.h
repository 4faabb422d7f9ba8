// Text between the shared code, which speaks UTF-8, and the window, which
// speaks UTF-16.
#pragma once

#include "platform/Win32.h"

#include <string>

std::wstring WideFromUtf8(const std::string& str);
std::string Utf8FromWide(const std::wstring& wstr);

// A message that may come from the system's ANSI calls (FormatMessageA) or
// from the program's own UTF-8 table: UTF-8 when it is valid UTF-8, else the
// ANSI code page.
std::wstring WideFromMessage(const std::string& str);

// Copies wstr into a fixed buffer of nCapacity characters, cut to fit.
void CopyToBuffer(const std::wstring& wstr, wchar_t* pszBuffer, int nCapacity);
