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
    // UTF-8, as every path of the program: any name survives whatever the code page.
    for (int i = 1; i < nArgs; ++i)
        if (ppszArgs[i][0])
            vecImages.push_back(Utf8FromWide(ppszArgs[i]));
    LocalFree(ppszArgs);
    return vecImages;
}
