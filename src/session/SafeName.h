// The name a listed entry is saved under, made from its own so that no entry
// is ever refused for its name: what the destination cannot hold, or what
// could mislead (a separator, a control or direction-changing character, a
// device name on Windows), becomes '_'; a name too long is cut, keeping its
// extension; an entry without a name is saved as "记录_<record number>".
// Names are UTF-8; lengths count as the system counts them: bytes on POSIX,
// UTF-16 units on Windows.
#pragma once

#include "session/TargetPath.h"

#include <string>
#include <vector>

// The code points of UTF-8 text; a broken sequence counts as U+FFFD.
std::vector<DWORD> CodePoints(const std::string& str);
std::string Utf8Of(const std::vector<DWORD>& vecCodes);

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9, with any extension and in any case.
bool IsWindowsDeviceName(const std::vector<DWORD>& vecCodes);
// C0, DEL and C1.
bool IsControlCode(DWORD dwCode);
// The marks, embeddings, overrides and isolates that change the direction
// text is shown in, so that "photo\u202Egnp.exe" would read "photoexe.png".
bool IsDirectionCode(DWORD dwCode);

// How long a name is where it is saved.
size_t NameLength(const std::string& strName, ETargetSystem eSystem = kThisTargetSystem);

// The safe form of strName (see above), at most nMaxLength long. Never
// empty, never "." or "..", always passes CheckEntryName.
std::string SafeFileName(const std::string& strName, DWORD dwRecord, size_t nMaxLength,
                         ETargetSystem eSystem = kThisTargetSystem);

// A safe name with " (n)" before its extension ("report (2).txt"), cut to
// fit nMaxLength.
std::string NumberedName(const std::string& strSafeName, unsigned nNumber, size_t nMaxLength,
                         ETargetSystem eSystem = kThisTargetSystem);
