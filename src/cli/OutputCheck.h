// Whether the folder files are saved into lies on the disk being read, where
// every file written could overwrite what is still to be recovered.
#pragma once

#include "platform/Win32.h"

#include <filesystem>
#include <string>

// True when strFolder (or, while it does not exist yet, its nearest existing
// parent) lies on a partition of disk dwDisk, the disk being a device. An
// image file as the disk is never written (see CheckExistingTarget), and the
// folder beside it is fine. False when it cannot be told.
bool FolderOnSourceDisk(const std::string& strFolder, DWORD dwDisk);

// A UTF-8 path as the system's path type.
std::filesystem::path PathFromUtf8(const std::string& str);
