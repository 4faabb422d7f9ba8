// What the platform layer offers beyond the Win32 names: allocation that
// reports failure instead of throwing, and where the first disk lives.
#pragma once

#include "platform/Win32.h"

#include <string>

// A new heap array of n64Count bytes, released with delete[]; null when the
// memory cannot be had (or a test asked for the allocation to fail). The
// count is 64-bit so that a size read from disk is never truncated on its way.
BYTE* AllocBytes(ULONGLONG n64Count);

// The path that stands behind the first physical disk: SALVIX_DISK when it is
// set, otherwise the first whole disk the system lists. Empty when none.
std::string FirstDiskPath();

// Says that bytes are about to be written to [pBytes, pBytes + n64Count), so
// the platform may make the memory ready in one step instead of a fault per
// page. Only a hint: nothing changes if it is not taken.
void PrepareForWrite(BYTE* pBytes, ULONGLONG n64Count);
