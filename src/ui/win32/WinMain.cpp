#include "platform/Platform.h"
#include "ui/win32/SalvixApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // Disk images named on the command line are listed after the drives.
    const std::vector<std::string> vecImages = DiskImagesFromCommandLine(GetCommandLineW());
    if (!vecImages.empty())
        SetDiskPaths(vecImages);
    theApp.InitInstance();
    return 0;
}
