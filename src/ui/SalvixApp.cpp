#include "ui/SalvixApp.h"

#include "ui/SalvixDlg.h"

CSalvixApp::CSalvixApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Salvix"));
    setApplicationVersion(QStringLiteral("2.0.0.1000"));
}

BOOL CSalvixApp::InitInstance()
{
    CSalvixDlg dlg;
    dlg.exec();
    return FALSE;
}
