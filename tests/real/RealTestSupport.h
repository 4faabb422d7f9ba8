// Where the real-volume tests find the images ctest made for them, and what
// the manifest beside each feature layout says of its files.
#pragma once

#include "support/Files.h"
#include "support/NtfsImage.h"
#include "support/SleuthKit.h"

#include "Manifest.h"

#include <fstream>
#include <map>
#include <sstream>
#include <string>

inline std::string ImagePath(const char* pszName)
{
    return std::string(SALVIX_REAL_IMAGES) + "/" + pszName;
}

// The bare volume of a feature layout.
inline std::string LayoutPath(const char* pszName)
{
    return std::string(SALVIX_LAYOUT_IMAGES) + "/" + pszName + ".vol";
}

// "CKSUM SIZE" as cksum prints them.
inline std::string CksumText(const CCksum& sum)
{
    return std::to_string(sum.Value()) + " " + std::to_string(sum.Length());
}

// One entry of a layout's manifest (see tools/mkvolume/Manifest.h).
struct CNoted
{
    std::string m_strKey;
    DWORD m_dwRecord = 0;
    std::string m_strCksum;  // "CKSUM SIZE" as cksum prints them, or "-"
    std::string m_strPath;
};

// The manifest beside the volume, by key.
inline std::map<std::string, CNoted> ReadManifest(const std::string& strVolume)
{
    std::map<std::string, CNoted> mapNoted;
    std::ifstream file(strVolume + ".manifest");
    std::string strLine;
    while (std::getline(file, strLine))
    {
        std::istringstream fields(strLine);
        CNoted noted;
        std::string strRecord, strSize, strSum;
        if (strLine.empty() || strLine[0] == '#' || !std::getline(fields, noted.m_strKey, '\t') ||
            !std::getline(fields, strRecord, '\t') || !std::getline(fields, strSize, '\t') ||
            !std::getline(fields, strSum, '\t') || !std::getline(fields, noted.m_strPath))
            continue;
        noted.m_dwRecord = static_cast<DWORD>(std::stoul(strRecord));
        noted.m_strCksum = strSum == "-" ? "-" : strSum + " " + strSize;
        mapNoted[noted.m_strKey] = noted;
    }
    return mapNoted;
}
