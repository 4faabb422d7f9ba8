// The application object: sets up what the dialogs need, runs the main
// dialog, and ends the program when it closes.
#pragma once

#include "platform/Win32.h"

#include <string>
#include <vector>

class CSalvixApp
{
public:
    // Runs the main dialog to its end. Returns FALSE, always: the program
    // ends when the dialog has closed.
    BOOL InitInstance();
};

extern CSalvixApp theApp;

// The disk images named on a command line (the words after the program's
// name), in UTF-8.
std::vector<std::string> DiskImagesFromCommandLine(const wchar_t* pszCommandLine);
