#include "ui/qt/SalvixApp.h"

#include "SalvixVersion.h"
#include "ui/qt/SalvixDlg.h"

CSalvixApp::CSalvixApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Salvix"));
    setApplicationVersion(QStringLiteral(SALVIX_VERSION));
}

BOOL CSalvixApp::InitInstance()
{
    CSalvixDlg dlg;
    dlg.exec();
    return FALSE;
}
