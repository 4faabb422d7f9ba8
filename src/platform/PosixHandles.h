// The handles of the Win32 subset over POSIX: every handle names a live
// object in one table, so that a stale or made-up handle gives
// ERROR_INVALID_HANDLE instead of a crash. Shared by the files and threads
// beside it.
#pragma once

#ifndef _WIN32

#include "platform/Win32.h"

#include <memory>

struct CObject
{
    enum EType { eFile, eThread };
    explicit CObject(EType eType) : m_eType(eType) {}
    virtual ~CObject() = default;
    const EType m_eType;
};

// Takes the object into the table; its address is the handle.
HANDLE Register(std::unique_ptr<CObject> pObject);
// The object behind a live handle of that type, or null.
CObject* LookupObject(HANDLE hHandle, CObject::EType eType);

template <class T>
T* Lookup(HANDLE hHandle, CObject::EType eType)
{
    return static_cast<T*>(LookupObject(hHandle, eType));
}

// Sets the thread's last error and gives it back.
inline DWORD Fail(DWORD dwError)
{
    SetLastError(dwError);
    return dwError;
}

#endif  // !_WIN32
