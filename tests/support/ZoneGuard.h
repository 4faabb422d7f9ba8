// The process's time zone set for a test and given back when the guard goes,
// however the test ends (a failed ASSERT included), so that no later test of
// the same program reads times on a zone it did not ask for. POSIX only.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace salvix_test
{

class CZoneGuard
{
public:
    CZoneGuard()
    {
        const char* pszOld = getenv("TZ");
        m_bHadZone = pszOld != nullptr;
        m_strOldZone = pszOld ? pszOld : "";
    }
    explicit CZoneGuard(const char* pszZone) : CZoneGuard() { Set(pszZone); }
    ~CZoneGuard()
    {
        if (m_bHadZone)
            setenv("TZ", m_strOldZone.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    CZoneGuard(const CZoneGuard&) = delete;
    CZoneGuard& operator=(const CZoneGuard&) = delete;

    // TZ as POSIX writes it: "UTC0", "CST-8", "EST5EDT,M3.2.0,M11.1.0".
    void Set(const char* pszZone)
    {
        setenv("TZ", pszZone, 1);
        tzset();
    }

private:
    bool m_bHadZone = false;
    std::string m_strOldZone;
};

}  // namespace salvix_test
