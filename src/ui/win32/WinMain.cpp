#include "SalvixVersion.h"
#include "platform/Platform.h"
#include "ui/win32/SalvixApp.h"

#include <algorithm>

namespace
{

// --version from a window program: written where its output goes, or to the
// console it was started from; there is none when it was started from a menu.
void PrintVersion()
{
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((hOut == nullptr || hOut == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
        hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    if (hOut == nullptr || hOut == INVALID_HANDLE_VALUE)
        return;
    const std::string strText = std::string("salvix ") + SALVIX_VERSION + "\r\n";
    DWORD dwWritten = 0;
    WriteFile(hOut, strText.data(), static_cast<DWORD>(strText.size()), &dwWritten, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // Disk images named on the command line are listed after the drives.
    const std::vector<std::string> vecImages = DiskImagesFromCommandLine(GetCommandLineW());
    if (std::find(vecImages.begin(), vecImages.end(), "--version") != vecImages.end())
    {
        PrintVersion();
        return 0;
    }
    if (!vecImages.empty())
        SetDiskPaths(vecImages);
    theApp.InitInstance();
    return 0;
}
