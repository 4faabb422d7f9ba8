// Faults for the tests: one call that injects a device fault. The
// GoogleTest fixture that starts and ends every test with none set is
// CFaultFreeTest (FaultFreeTest.h). Builds on Windows too.
#pragma once

#include "platform/FaultInjection.h"

namespace salvix_test
{

inline void InjectFault(CDeviceFault::EKind eKind, ULONGLONG n64Offset, DWORD dwError = 0)
{
    CDeviceFault fault;
    fault.m_eKind = eKind;
    fault.m_n64Offset = n64Offset;
    fault.m_dwError = dwError;
    SetDeviceFault(fault);
}

}  // namespace salvix_test
