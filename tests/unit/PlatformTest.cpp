// The Win32-shaped layer over POSIX: positions, errors, the disk name, texts,
// threads, and the read-ahead that must never change what a read returns.
#include "support/DiskGuard.h"
#include "support/FaultFreeTest.h"
#include "support/Files.h"
#include "support/ZoneGuard.h"

#include "disk/Disk.h"
#include "session/SaveEntry.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>
#include <thread>

#ifndef _WIN32

using namespace salvix_test;

namespace
{

HANDLE OpenRead(const std::string& strPath)
{
    return CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

class PlatformTest : public CFaultFreeTest
{
};

TEST_F(PlatformTest, HandleKeepsItsPositionAndLastErrorIsPerThread)
{
    CScratchFile file;
    std::vector<BYTE> vec(10000);
    for (size_t i = 0; i < vec.size(); ++i)
        vec[i] = static_cast<BYTE>(i * 7);
    file.Write(0, vec);
    HANDLE h = OpenRead(file.Path());
    ASSERT_NE(INVALID_HANDLE_VALUE, h);

    BYTE by[100];
    DWORD dwRead = 0;
    ASSERT_TRUE(ReadFile(h, by, 100, &dwRead, nullptr));  // a fresh handle stands at 0
    EXPECT_EQ(100u, dwRead);
    EXPECT_EQ(vec[99], by[99]);
    LONG lHigh = 0;
    ASSERT_EQ(5000u, SetFilePointer(h, 5000, &lHigh, FILE_BEGIN));
    ASSERT_TRUE(ReadFile(h, by, 100, &dwRead, nullptr));
    EXPECT_EQ(vec[5000], by[0]);
    ASSERT_TRUE(ReadFile(h, by, 100, &dwRead, nullptr));
    EXPECT_EQ(vec[5100], by[0]) << "reads advance the position";
    // Reading at the end succeeds with fewer bytes, then none.
    lHigh = 0;
    SetFilePointer(h, 9950, &lHigh, FILE_BEGIN);
    ASSERT_TRUE(ReadFile(h, by, 100, &dwRead, nullptr));
    EXPECT_EQ(50u, dwRead);
    ASSERT_TRUE(ReadFile(h, by, 100, &dwRead, nullptr));
    EXPECT_EQ(0u, dwRead);

    // A negative position fails; the error belongs to this thread only.
    lHigh = -1;
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(h, 0, &lHigh, FILE_BEGIN));
    EXPECT_EQ(ERROR_NEGATIVE_SEEK, GetLastError());
    DWORD dwOther = 99;
    std::thread([&] { dwOther = GetLastError(); }).join();
    EXPECT_EQ(0u, dwOther);

    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_FALSE(ReadFile(h, by, 1, &dwRead, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST_F(PlatformTest, ReadAheadNeverChangesWhatIsRead)
{
    // Random seeks and reads of every size through one handle, compared with
    // the file itself: the read-ahead window is invisible.
    CScratchFile file;
    const size_t nSize = 24 * 1024 * 1024 + 333;
    std::vector<BYTE> vec(nSize);
    std::mt19937 rng(7);
    for (auto& by : vec)
        by = static_cast<BYTE>(rng());
    file.Write(0, vec);
    HANDLE h = OpenRead(file.Path());
    std::vector<BYTE> vecBuffer(9 * 1024 * 1024);
    ULONGLONG n64Pos = 0;
    for (int i = 0; i < 3000; ++i)
    {
        if (rng() % 4 == 0)
        {
            n64Pos = rng() % (nSize + 100);
            LONG lHigh = 0;
            ASSERT_EQ(static_cast<DWORD>(n64Pos), SetFilePointer(h, static_cast<LONG>(n64Pos), &lHigh, FILE_BEGIN));
        }
        DWORD dwAsk = rng() % 3 == 0 ? rng() % (9 * 1024 * 1024) : 1 + rng() % 8192;
        DWORD dwGot = 0;
        ASSERT_TRUE(ReadFile(h, vecBuffer.data(), dwAsk, &dwGot, nullptr));
        ULONGLONG n64Want = n64Pos >= nSize ? 0 : std::min<ULONGLONG>(dwAsk, nSize - n64Pos);
        ASSERT_EQ(n64Want, dwGot) << "at " << n64Pos;
        ASSERT_EQ(0, memcmp(vecBuffer.data(), vec.data() + std::min<ULONGLONG>(n64Pos, nSize), dwGot))
            << "at " << n64Pos << " size " << dwAsk;
        n64Pos += dwGot;
    }
    CloseHandle(h);
}

TEST_F(PlatformTest, FirstDiskIsReadOnlyAndFollowsSalvixDisk)
{
    CScratchFile file;
    file.Write(0, "disk", 4);
    {
        CDiskGuard disk(file.Path());
        EXPECT_EQ(file.Path(), FirstDiskPath());
        HANDLE h = OpenFirstDisk();
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        char sz[5] = {};
        DWORD dwRead = 0;
        ASSERT_TRUE(ReadFile(h, sz, 4, &dwRead, nullptr));
        EXPECT_STREQ("disk", sz);
        DWORD dwWritten = 0;
        EXPECT_FALSE(WriteFile(h, "x", 1, &dwWritten, nullptr));
        EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
        CloseHandle(h);

        for (DWORD dwAccess : {GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE})
        {
            EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(SALVIX_FIRST_DISK, dwAccess, 3, nullptr,
                                                        OPEN_EXISTING, 0, nullptr));
            EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
        }
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(SALVIX_FIRST_DISK, GENERIC_READ, 3, nullptr,
                                                    CREATE_ALWAYS, 0, nullptr));
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("\\\\.\\PhysicalDrive1", GENERIC_READ, 3,
                                                    nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    }
    {
        CDiskGuard missing("/nonexistent/disk.img");
        EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFirstDisk());
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    }
    {
        // Without the variable: a whole disk, never a loop, RAM or mapper device.
        CDiskGuard none("");
        std::string strPath = FirstDiskPath();
        if (!strPath.empty())
        {
            EXPECT_EQ(0u, strPath.rfind("/dev/", 0));
            for (const char* pszBad : {"loop", "ram", "zram", "dm-", "md", "sr"})
                EXPECT_NE(0u, strPath.rfind(std::string("/dev/") + pszBad, 0)) << strPath;
        }
    }
}

TEST_F(PlatformTest, DiskNumbersFollowTheDiskList)
{
    CScratchFile first, second;
    first.Write(0, "one", 3);
    second.Write(0, "two", 3);
    CDiskGuard disks(first.Path() + ":" + second.Path());

    HANDLE h = CreateFileA("\\\\.\\PHYSICALDRIVE1", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    char sz[4] = {};
    DWORD dwRead = 0;
    ASSERT_TRUE(ReadFile(h, sz, 3, &dwRead, nullptr));
    EXPECT_STREQ("two", sz);
    CloseHandle(h);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("\\\\.\\PhysicalDrive1", GENERIC_READ | GENERIC_WRITE,
                                                3, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    // Only the plain decimal number of a listed disk names one.
    for (const char* pszName : {"\\\\.\\PhysicalDrive2", "\\\\.\\PhysicalDrive01", "\\\\.\\PhysicalDrive",
                                "\\\\.\\PhysicalDrive1x", "\\\\.\\PhysicalDrive-1",
                                "\\\\.\\PhysicalDrive4294967297"})
    {
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(pszName, GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr))
            << pszName;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError()) << pszName;
    }
}

TEST_F(PlatformTest, GeometryCallsOnAFileFailAsOnWindows)
{
    CScratchFile file;
    file.Truncate(5ull << 30);  // past 32 bits, sparse
    HANDLE h = OpenRead(file.Path());
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DISK_GEOMETRY_EX geometry = {};
    DWORD dwReturned = 77;
    for (DWORD dwCode : {IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, IOCTL_DISK_GET_LENGTH_INFO, 0x12345u})
    {
        EXPECT_FALSE(DeviceIoControl(h, dwCode, nullptr, 0, &geometry, sizeof(geometry), &dwReturned,
                                     nullptr));
        EXPECT_EQ(ERROR_INVALID_FUNCTION, GetLastError());
        EXPECT_EQ(0u, dwReturned);
    }
    LARGE_INTEGER size = {};
    ASSERT_TRUE(GetFileSizeEx(h, &size));
    EXPECT_EQ(5ll << 30, size.QuadPart);
    CloseHandle(h);
    EXPECT_FALSE(GetFileSizeEx(h, &size));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_FALSE(DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &geometry, sizeof(geometry),
                                 &dwReturned, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST_F(PlatformTest, OutputFilesFollowWindowsRules)
{
    CTempDir dir;
    const std::string strFile = dir.File("ro.txt");

    HANDLE h = CreateFileA(strFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD dwWritten = 0;
    ASSERT_TRUE(WriteFile(h, "abc", 3, &dwWritten, nullptr));
    EXPECT_EQ(3u, dwWritten);
    CloseHandle(h);
    struct stat st;
    ASSERT_EQ(0, stat(strFile.c_str(), &st));
    EXPECT_EQ(0u, st.st_mode & 0222) << "read-only becomes no write permission";
    EXPECT_EQ(3, st.st_size);

    // Replacing a read-only file is refused, for root as for anyone.
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA(strFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());

    // An ordinary file is replaced.
    const std::string strPlain = dir.File("plain");
    for (const char* pszText : {"first long text", "2nd"})
    {
        h = CreateFileA(strPlain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0x80, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        WriteFile(h, pszText, static_cast<DWORD>(strlen(pszText)), &dwWritten, nullptr);
        CloseHandle(h);
    }
    ASSERT_EQ(0, stat(strPlain.c_str(), &st));
    EXPECT_EQ(3, st.st_size);

    // Codes for the usual failures.
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(dir.File("no/such").c_str(), GENERIC_WRITE,
                                                0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(dir.File("missing").c_str(), GENERIC_READ,
                                                0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(dir.File("").c_str(), GENERIC_WRITE, 0,
                                                nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    const std::string strLong = dir.File(std::string(300, 'n'));
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA(strLong.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, GetLastError());

    h = CreateFileA("/dev/full", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_FALSE(WriteFile(h, "abc", 3, &dwWritten, nullptr));
    EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
    CloseHandle(h);

    // An injected write fault leaves the bytes before it.
    InjectFault(CDeviceFault::eWriteError, 4, ERROR_DISK_FULL);
    h = CreateFileA(strPlain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_FALSE(WriteOutput(h, "abcdefgh", 8, &dwWritten));
    EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
    EXPECT_EQ(4u, dwWritten);
    CloseHandle(h);
    ClearFaults();

    // Not following links: a link at the name is refused and what it points
    // at is left alone; a pipe does not block the open.
    const std::string strLink = dir.File("link");
    ASSERT_EQ(0, symlink(strPlain.c_str(), strLink.c_str()));
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(strLink.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    EXPECT_EQ(ERROR_CANT_RESOLVE_FILENAME, GetLastError());
    ASSERT_EQ(0, stat(strPlain.c_str(), &st));
    EXPECT_EQ(4, st.st_size) << "the file behind the link is untouched";
    const std::string strPipe = dir.File("pipe");
    ASSERT_EQ(0, mkfifo(strPipe.c_str(), 0666));
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(strPipe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    h = CreateFileA(dir.File("new").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    EXPECT_TRUE(WriteFile(h, "ok", 2, &dwWritten, nullptr));
    CloseHandle(h);
}

TEST_F(PlatformTest, MessagesForEveryCodeEndWithALineBreak)
{
    for (DWORD dwCode : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY,
                         ERROR_INVALID_ACCESS, ERROR_INVALID_DRIVE, ERROR_NO_MORE_FILES, ERROR_READ_FAULT,
                         ERROR_HANDLE_EOF, ERROR_INVALID_PARAMETER, ERROR_DISK_FULL, ERROR_INVALID_NAME,
                         ERROR_FILENAME_EXCED_RANGE, ERROR_FILE_TOO_LARGE, ERROR_IO_DEVICE, ERROR_BAD_DEVICE})
    {
        char* psz = nullptr;
        DWORD dwLength = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                                        dwCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                        reinterpret_cast<LPSTR>(&psz), 0, nullptr);
        ASSERT_NE(nullptr, psz) << dwCode;
        EXPECT_EQ(strlen(psz), dwLength);
        EXPECT_GT(dwLength, 10u);
        EXPECT_EQ('\n', psz[dwLength - 1]) << dwCode;
        EXPECT_EQ(nullptr, strstr(psz, "error 1")) << "a known code has its own sentence: " << psz;
        LocalFree(psz);
    }
    char* psz = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 424242, 1024,
                   reinterpret_cast<LPSTR>(&psz), 0, nullptr);
    ASSERT_NE(nullptr, psz);
    EXPECT_NE(nullptr, strstr(psz, "424242"));
    LocalFree(psz);

    char szDir[MAX_PATH];
    DWORD dwLength = GetCurrentDirectoryA(MAX_PATH, szDir);
    ASSERT_GT(dwLength, 0u);
    EXPECT_EQ(strlen(szDir), dwLength);
    EXPECT_EQ(dwLength + 1, GetCurrentDirectoryA(1, szDir)) << "too small a buffer asks for more";
}

namespace
{
DWORD WINAPI SlowThread(LPVOID pParameter)
{
    auto* pbGo = static_cast<std::atomic<bool>*>(pParameter);
    while (!pbGo->load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 42;
}
}  // namespace

TEST_F(PlatformTest, ThreadsReportStillActiveUntilTheyHaveFinished)
{
    std::atomic<bool> bGo{false};
    HANDLE hThread = CreateThread(nullptr, 0, SlowThread, &bGo, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    DWORD dwCode = 0;
    ASSERT_TRUE(GetExitCodeThread(hThread, &dwCode));
    EXPECT_EQ(STILL_ACTIVE, dwCode);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hThread, 10));
    bGo = true;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, INFINITE));
    ASSERT_TRUE(GetExitCodeThread(hThread, &dwCode));
    EXPECT_EQ(42u, dwCode);
    EXPECT_TRUE(CloseHandle(hThread));
    EXPECT_FALSE(GetExitCodeThread(hThread, &dwCode));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

#endif  // !_WIN32

namespace
{

// 100-ns units since 1601 of a UTC date and time.
ULONGLONG FileTimeOfUtc(int nYear, int nMonth, int nDay, int nHour)
{
    struct tm tmUtc = {};
    tmUtc.tm_year = nYear - 1900;
    tmUtc.tm_mon = nMonth - 1;
    tmUtc.tm_mday = nDay;
    tmUtc.tm_hour = nHour;
    return (static_cast<ULONGLONG>(timegm(&tmUtc)) + 11644473600ull) * 10000000ull;
}

}  // namespace

// FAT's wall-clock times become UTC by the local zone's rules for their own
// date: summer time where the zone keeps it. Zones as rules, so that no zone
// database is needed.
TEST(LocalTimeTest, WallClockBecomesUtcByTheZonesRulesForThatDate)
{
    struct CZoneCase
    {
        const char* m_pszZone;
        int m_nMonth;
        int m_nHoursToUtc;  // added to the wall clock
    };
    const CZoneCase kCases[] = {
        {"UTC0", 1, 0},
        {"SVX-8", 1, -8},
        {"SVX-8", 7, -8},
        {"EST5EDT,M3.2.0,M11.1.0", 1, 5},
        {"EST5EDT,M3.2.0,M11.1.0", 7, 4},
    };
    CZoneGuard zone;
    for (const CZoneCase& c : kCases)
    {
        SCOPED_TRACE(std::string(c.m_pszZone) + " month " + std::to_string(c.m_nMonth));
        zone.Set(c.m_pszZone);
        const ULONGLONG n64Wall = FileTimeOfUtc(2024, c.m_nMonth, 15, 12) + 1234567;  // and a fraction of a second
        FILETIME local = {static_cast<DWORD>(n64Wall), static_cast<DWORD>(n64Wall >> 32)};
        FILETIME utc = {};
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
        const ULONGLONG n64Utc = (static_cast<ULONGLONG>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
        EXPECT_EQ(static_cast<LONGLONG>(n64Utc - n64Wall), c.m_nHoursToUtc * 3600ll * 10000000ll);
    }
    // A time before 1970 is one the system cannot hold here.
    FILETIME early = {0, 0}, out = {};
    EXPECT_FALSE(LocalFileTimeToFileTime(&early, &out));
}
