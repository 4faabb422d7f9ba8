// Points the program's disks at image files for the life of the object, and
// puts back what was there before. Every test that makes the program read
// "the disk" goes through this one guard, in either of the program's two ways:
//   CDiskGuard disk(strImage);     the variable SALVIX_DISK (a ':' list
//                                  allowed; an empty value removes it)
//   auto disks = CDiskGuard::Given({strA, strB});   the disks of the command
//                                  line (SetDiskPaths), forgotten at the end
// On Windows the variable means nothing to the program; the guard still builds.
#pragma once

#include "platform/Platform.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace salvix_test
{

class CDiskGuard
{
public:
    explicit CDiskGuard(const std::string& strDisks)
    {
        const char* pszOld = getenv(kVariable);
        m_bHadOld = pszOld != nullptr;
        if (m_bHadOld)
            m_strOld = pszOld;
        Set(strDisks);
    }
    static CDiskGuard Given(const std::vector<std::string>& vecPaths) { return CDiskGuard(vecPaths); }
    ~CDiskGuard()
    {
        if (m_bGiven)
            SetDiskPaths({});
        else
            Put(m_bHadOld ? m_strOld : std::string());
    }
    CDiskGuard(const CDiskGuard&) = delete;
    CDiskGuard& operator=(const CDiskGuard&) = delete;

    // Points the variable somewhere else while the guard lives.
    void Set(const std::string& strDisks) { Put(strDisks); }

private:
    static constexpr const char* kVariable = "SALVIX_DISK";

    explicit CDiskGuard(const std::vector<std::string>& vecPaths) : m_bGiven(true) { SetDiskPaths(vecPaths); }

    static void Put(const std::string& strValue)
    {
#ifdef _WIN32
        _putenv_s(kVariable, strValue.c_str());  // an empty value removes it
#else
        if (strValue.empty())
            unsetenv(kVariable);
        else
            setenv(kVariable, strValue.c_str(), 1);
#endif
    }

    bool m_bGiven = false;
    bool m_bHadOld = false;
    std::string m_strOld;
};

}  // namespace salvix_test
