// Files and folders of the tests: scratch files and folders that go with
// their object, whole-file reads and writes, and a closer for device
// handles. Builds on Windows too (the lane under Wine uses it).
#pragma once

#include "platform/Win32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace salvix_test
{

using Bytes = std::vector<BYTE>;

// Closes a handle when it goes.
class CHandle
{
public:
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    operator HANDLE() const { return m_h; }

private:
    HANDLE m_h;
};

// A read handle on an image, shared for writing so a test may change the
// image while the handle is open.
inline HANDLE OpenImage(const std::string& strPath)
{
    return CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// The whole file; false when it cannot be read.
inline bool ReadFileBytes(const std::string& strPath, Bytes& vecData)
{
    std::ifstream file(strPath, std::ios::binary);
    if (!file)
        return false;
    vecData.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// The whole file, or nothing when it cannot be read.
inline Bytes ReadFileBytes(const std::string& strPath)
{
    Bytes vecData;
    ReadFileBytes(strPath, vecData);
    return vecData;
}

inline bool WriteFileBytes(const std::string& strPath, const Bytes& vecData)
{
    std::ofstream file(strPath, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(vecData.data()), static_cast<std::streamsize>(vecData.size()));
    return static_cast<bool>(file);
}

// Writes bytes at an offset of an existing file, leaving the rest as it was
// (holes stay holes).
inline bool WriteFileAt(const std::string& strPath, ULONGLONG n64Offset, const void* pBytes, size_t nLength)
{
    std::fstream file(strPath, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(n64Offset));
    file.write(static_cast<const char*>(pBytes), static_cast<std::streamsize>(nLength));
    return static_cast<bool>(file);
}

inline bool WriteFileAt(const std::string& strPath, ULONGLONG n64Offset, const Bytes& vecBytes)
{
    return WriteFileAt(strPath, n64Offset, vecBytes.data(), vecBytes.size());
}

// Lets fnChange edit nBytes of the file at n64Offset, then writes them back.
template <class F>
bool PatchFile(const std::string& strPath, ULONGLONG n64Offset, size_t nBytes, F fnChange)
{
    Bytes vecBytes(nBytes);
    {
        std::ifstream file(strPath, std::ios::binary);
        file.seekg(static_cast<std::streamoff>(n64Offset));
        if (!file.read(reinterpret_cast<char*>(vecBytes.data()), static_cast<std::streamsize>(nBytes)))
            return false;
    }
    fnChange(vecBytes.data());
    return WriteFileAt(strPath, n64Offset, vecBytes);
}

// A sparse file of exactly n64Size bytes, replacing any file of that name.
inline bool MakeSparseFile(const std::string& strPath, ULONGLONG n64Size)
{
    std::ofstream(strPath, std::ios::binary | std::ios::trunc);
    std::error_code ec;
    std::filesystem::resize_file(strPath, n64Size, ec);
    return !ec;
}

// The names in a folder, sorted; hidden ones included.
inline std::vector<std::string> ListFolder(const std::string& strFolder)
{
    std::vector<std::string> vecNames;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(strFolder, ec), end; !ec && it != end; it.increment(ec))
        vecNames.push_back(it->path().filename().string());
    std::sort(vecNames.begin(), vecNames.end());
    return vecNames;
}

// A new empty folder of a name nobody else has, below strParent (made as
// needed) or the system's folder for temporary files; empty on failure. It
// stays when the test ends.
inline std::string MakeTempFolder(const std::string& strParent = std::string())
{
    std::error_code ec;
    const std::filesystem::path parent =
        strParent.empty() ? std::filesystem::temp_directory_path(ec) : std::filesystem::path(strParent);
    std::filesystem::create_directories(parent, ec);
    static std::mt19937_64 s_random{std::random_device{}()};
    for (int nTry = 0; nTry < 100; ++nTry)
    {
        const std::filesystem::path folder = parent / ("salvix-" + std::to_string(s_random() % 1000000000));
        if (std::filesystem::create_directory(folder, ec))
            return folder.string();
    }
    return std::string();
}

// A temporary folder, removed with everything in it.
class CTempDir
{
public:
    explicit CTempDir(const std::string& strParent = std::string()) : m_strPath(MakeTempFolder(strParent)) {}
    ~CTempDir()
    {
        std::error_code ec;
        if (!m_strPath.empty())
            std::filesystem::remove_all(m_strPath, ec);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& strName) const { return m_strPath + "/" + strName; }

private:
    std::string m_strPath;
};

// A new empty temporary file, removed with the object.
class CScratchFile
{
public:
    CScratchFile()
    {
#ifdef _WIN32
        char szFolder[MAX_PATH], szPath[MAX_PATH];
        if (GetTempPathA(MAX_PATH, szFolder) && GetTempFileNameA(szFolder, "slx", 0, szPath))
            m_strPath = szPath;
#else
        std::error_code ec;
        std::string strTemplate = (std::filesystem::temp_directory_path(ec) / "salvix-test-XXXXXX").string();
        const int nFd = mkstemp(strTemplate.data());
        if (nFd >= 0)
        {
            close(nFd);
            m_strPath = strTemplate;
        }
#endif
    }
    ~CScratchFile()
    {
        if (!m_strPath.empty())
            std::remove(m_strPath.c_str());
    }
    CScratchFile(const CScratchFile&) = delete;
    CScratchFile& operator=(const CScratchFile&) = delete;

    // Writes bytes at an offset, leaving holes elsewhere.
    void Write(ULONGLONG n64Offset, const void* pBytes, size_t nLength)
    {
        WriteFileAt(m_strPath, n64Offset, pBytes, nLength);
    }
    void Write(ULONGLONG n64Offset, const Bytes& vec) { WriteFileAt(m_strPath, n64Offset, vec); }
    void Truncate(ULONGLONG n64Size)
    {
        std::error_code ec;
        std::filesystem::resize_file(m_strPath, n64Size, ec);
    }
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

// When the file was last written, to the clock's finest unit: equal values
// mean it was not written in between.
inline long long FileWriteTime(const std::string& strPath)
{
    std::error_code ec;
    return static_cast<long long>(std::filesystem::last_write_time(strPath, ec).time_since_epoch().count());
}

// Moves the file's write time a year into the past, so a write shows even
// on a file system whose clock is coarse.
inline bool AgeFile(const std::string& strPath)
{
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(strPath, ec);
    if (!ec)
        std::filesystem::last_write_time(strPath, time - std::chrono::hours(24 * 365), ec);
    return !ec;
}

}  // namespace salvix_test
