// Where the real-volume tests find the images ctest made for them.
#pragma once

#include "support/Files.h"
#include "support/NtfsImage.h"
#include "support/SleuthKit.h"

#include <string>

inline std::string ImagePath(const char* pszName)
{
    return std::string(SALVIX_REAL_IMAGES) + "/" + pszName;
}
