// Text between the shared code, which speaks UTF-8, the disk layer, which
// opens paths with the ANSI calls, and the window, which speaks UTF-16.
#pragma once

#include "platform/Win32.h"

#include <string>

std::wstring WideFromUtf8(const std::string& str);
std::string Utf8FromWide(const std::wstring& wstr);

// A message that may come from the system's ANSI calls (FormatMessageA) or
// from the program's own UTF-8 table: UTF-8 when it is valid UTF-8, else the
// ANSI code page.
std::wstring WideFromMessage(const std::string& str);

// The path in the ANSI code page, for the calls that take one. bExact is
// false when a character has no equivalent there.
std::string AnsiFromWide(const std::wstring& wstr, bool& bExact);

// A path the ANSI calls can open: the path itself when the code page holds
// it, else its short (8.3) form. False when neither fits; strPath then holds
// the closest text, which names no file.
bool AnsiPathFromWide(const std::wstring& wstrPath, std::string& strPath);

// Copies wstr into a fixed buffer of nCapacity characters, cut to fit.
void CopyToBuffer(const std::wstring& wstr, wchar_t* pszBuffer, int nCapacity);
