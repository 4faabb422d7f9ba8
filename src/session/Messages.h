// The sentences the program shows for error codes. The program's own table
// comes first, so every system shows the same words for the codes the
// program gives a meaning to; the system's own text comes after it.
#pragma once

#include "platform/Win32.h"

#include <string>

// The text for dwCode, ending with a line break as the system's texts do.
std::string SystemErrorText(DWORD dwCode);

// The sentence at the end of a scan that could not read dwCount records of
// the table, ending with a line break.
std::string UnreadRecordsText(DWORD dwCount);

// The program's own sentence for dwCode, without a line break; null when the
// program has none and the system's text is to be used.
const char* ProgramMessage(DWORD dwCode);
