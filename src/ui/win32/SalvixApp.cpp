#include "ui/win32/SalvixApp.h"

#include "ui/win32/SalvixDlg.h"
#include "ui/win32/WideText.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

CSalvixApp theApp;

BOOL CSalvixApp::InitInstance()
{
    // The tree and the list; the folder chooser's new style needs OLE.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    const HRESULT hrOle = OleInitialize(nullptr);
    {
        CSalvixDlg dlg;
        dlg.DoModal();
    }
    if (SUCCEEDED(hrOle))
        OleUninitialize();
    return FALSE;
}

std::vector<std::string> DiskImagesFromCommandLine(const wchar_t* pszCommandLine)
{
    std::vector<std::string> vecImages;
    int nArgs = 0;
    LPWSTR* ppszArgs = CommandLineToArgvW(pszCommandLine, &nArgs);
    if (!ppszArgs)
        return vecImages;
    for (int i = 1; i < nArgs; ++i)
    {
        // A path the ANSI code page cannot name is kept as its closest text:
        // the disk is then listed with the reason it cannot be opened.
        std::string strPath;
        AnsiPathFromWide(ppszArgs[i], strPath);
        if (!strPath.empty())
            vecImages.push_back(strPath);
    }
    LocalFree(ppszArgs);
    return vecImages;
}
