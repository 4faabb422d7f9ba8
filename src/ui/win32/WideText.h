// Text between the shared code, which speaks UTF-8, and the window, which
// speaks UTF-16.
#pragma once

#include "platform/Platform.h"  // WideFromUtf8, Utf8FromWide

#include <string>

// Copies wstr into a fixed buffer of nCapacity characters, cut to fit.
void CopyToBuffer(const std::wstring& wstr, wchar_t* pszBuffer, int nCapacity);
