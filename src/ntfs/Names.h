// NTFS names (UTF-16LE as stored) turned into UTF-8 text, whole: every code
// point of the name, with U+FFFD for what is not valid UTF-16 (an unpaired
// surrogate), so a name is never cut or dropped.
#pragma once

#include "fs/Utf8.h"
#include "platform/Win32.h"

#include <string>

// Appends the nUnits little-endian UTF-16 units at pUnits to str as UTF-8.
void AppendUtf16AsUtf8(std::string& str, const BYTE* pUnits, size_t nUnits);

std::string Utf16ToUtf8(const BYTE* pUnits, size_t nUnits);
