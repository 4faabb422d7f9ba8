// Threads of the Win32 subset over POSIX: started on std::thread, waited
// for by handle. See Win32.h.
#ifndef _WIN32

#include "platform/PosixHandles.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace
{

struct CThreadState
{
    std::mutex m_lock;
    std::condition_variable m_cvDone;
    bool m_bDone = false;
    DWORD m_dwExitCode = STILL_ACTIVE;
};

struct CThreadObject : CObject
{
    CThreadObject() : CObject(eThread) {}
    ~CThreadObject() override
    {
        if (m_thread.joinable())
        {
            bool bDone;
            {
                std::lock_guard<std::mutex> lock(m_pState->m_lock);
                bDone = m_pState->m_bDone;
            }
            if (bDone)
                m_thread.join();
            else
                m_thread.detach();
        }
    }
    std::shared_ptr<CThreadState> m_pState = std::make_shared<CThreadState>();
    std::thread m_thread;
};

}  // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T /*dwStackSize*/,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD /*dwCreationFlags*/, LPDWORD lpThreadId)
{
    if (!lpStartAddress)
        return Fail(ERROR_INVALID_PARAMETER), nullptr;
    auto pThread = std::make_unique<CThreadObject>();
    std::shared_ptr<CThreadState> pState = pThread->m_pState;
    try
    {
        pThread->m_thread = std::thread([pState, lpStartAddress, lpParameter]() {
            DWORD dwCode = lpStartAddress(lpParameter);
            std::lock_guard<std::mutex> lock(pState->m_lock);
            pState->m_dwExitCode = dwCode;
            pState->m_bDone = true;
            pState->m_cvDone.notify_all();
        });
    }
    catch (const std::exception&)
    {
        return Fail(ERROR_NOT_ENOUGH_MEMORY), nullptr;
    }
    if (lpThreadId)
        *lpThreadId = 0;
    return Register(std::move(pThread));
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    CThreadObject* pThread = Lookup<CThreadObject>(hThread, CObject::eThread);
    if (!pThread)
        return Fail(ERROR_INVALID_HANDLE), FALSE;
    if (!lpExitCode)
        return Fail(ERROR_NOACCESS), FALSE;
    std::lock_guard<std::mutex> lock(pThread->m_pState->m_lock);
    *lpExitCode = pThread->m_pState->m_bDone ? pThread->m_pState->m_dwExitCode : STILL_ACTIVE;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    CThreadObject* pThread = Lookup<CThreadObject>(hHandle, CObject::eThread);
    if (!pThread)
        return Fail(ERROR_INVALID_HANDLE), WAIT_FAILED;
    std::unique_lock<std::mutex> lock(pThread->m_pState->m_lock);
    auto fnDone = [&] { return pThread->m_pState->m_bDone; };
    if (dwMilliseconds == INFINITE)
        pThread->m_pState->m_cvDone.wait(lock, fnDone);
    else if (!pThread->m_pState->m_cvDone.wait_for(lock, std::chrono::milliseconds(dwMilliseconds),
                                                    fnDone))
        return WAIT_TIMEOUT;
    return WAIT_OBJECT_0;
}

#endif  // !_WIN32
