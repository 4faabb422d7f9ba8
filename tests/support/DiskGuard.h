// Points the program's disks at image files for the life of the object, and
// puts back what was there before. Every test that makes the program read
// "the disk" goes through this one guard.
#pragma once

#include <cstdlib>
#include <string>

class CDiskGuard
{
public:
    explicit CDiskGuard(const std::string& strPath)
    {
        const char* pszOld = getenv("SALVIX_DISK");
        m_bHadOld = pszOld != nullptr;
        if (m_bHadOld)
            m_strOld = pszOld;
        Set(strPath);
    }
    ~CDiskGuard()
    {
        if (m_bHadOld)
            setenv("SALVIX_DISK", m_strOld.c_str(), 1);
        else
            unsetenv("SALVIX_DISK");
    }
    CDiskGuard(const CDiskGuard&) = delete;
    CDiskGuard& operator=(const CDiskGuard&) = delete;

    // Points the disk somewhere else while the guard lives.
    void Set(const std::string& strPath) { setenv("SALVIX_DISK", strPath.c_str(), 1); }

private:
    bool m_bHadOld = false;
    std::string m_strOld;
};
