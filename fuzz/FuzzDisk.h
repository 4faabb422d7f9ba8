// The fuzz input as the disk: an in-memory file that the platform layer opens
// by name, exactly as it opens a disk image, so every read goes through
// CreateFileA, SetFilePointer and ReadFile as it does for a real disk.
#pragma once

#include "platform/FaultInjection.h"
#include "platform/Win32.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzdisk
{

// Allocations of this size or more fail with ERROR_NOT_ENOUGH_MEMORY. A value
// read from the disk may legitimately ask for up to 4 GiB; the fuzz runs cap
// it so that one input cannot take the machine's memory or minutes of
// zero-filling, and the refusal path is exercised as well.
const ULONGLONG kAllocationCap = 16ull << 20;

class CFuzzDisk
{
public:
    explicit CFuzzDisk(ULONGLONG n64AllocationCap = kAllocationCap)
    {
        m_nFd = memfd_create("salvix-fuzz-disk", 0);
        if (m_nFd < 0)
        {
            perror("memfd_create");
            abort();
        }
        m_strPath = "/proc/self/fd/" + std::to_string(m_nFd);
        SetAllocationFault(n64AllocationCap);
    }
    ~CFuzzDisk() { close(m_nFd); }
    CFuzzDisk(const CFuzzDisk&) = delete;
    CFuzzDisk& operator=(const CFuzzDisk&) = delete;

    // Makes the disk hold exactly these bytes.
    void Load(const BYTE* pData, size_t nSize)
    {
        if (ftruncate(m_nFd, 0) != 0 || (nSize && pwrite(m_nFd, pData, nSize, 0) != static_cast<ssize_t>(nSize)))
        {
            perror("loading the fuzz disk");
            abort();
        }
    }

    // A fresh read handle on the disk, opened as the program opens disks.
    HANDLE Open() const
    {
        HANDLE hDisk = CreateFileA(m_strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
        if (hDisk == INVALID_HANDLE_VALUE)
        {
            fprintf(stderr, "cannot open %s: %u\n", m_strPath.c_str(), GetLastError());
            abort();
        }
        return hDisk;
    }

    const std::string& Path() const { return m_strPath; }

private:
    int m_nFd = -1;
    std::string m_strPath;
};

// Reads every byte of a buffer the code handed out, so that a length larger
// than the buffer shows up under AddressSanitizer.
inline void TouchAll(const BYTE* pData, DWORD dwLength)
{
    volatile BYTE bySum = 0;
    for (DWORD i = 0; i < dwLength; ++i)
        bySum = static_cast<BYTE>(bySum + pData[i]);
    (void)bySum;
}

// A broken promise of the code under test: stop here so the fuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                  \
    do                                                                    \
    {                                                                     \
        if (!(cond))                                                      \
        {                                                                 \
            fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            abort();                                                      \
        }                                                                 \
    } while (0)

}  // namespace fuzzdisk
