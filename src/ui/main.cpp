#include "platform/Platform.h"
#include "ui/SalvixApp.h"

#include <QFile>
#include <QStringList>

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    CSalvixApp app(argc, argv);
    // Disks or disk images named on the command line are the disks read.
    std::vector<std::string> vecDisks;
    const QStringList listArgs = QCoreApplication::arguments();
    for (int i = 1; i < listArgs.size(); ++i)
        vecDisks.push_back(QFile::encodeName(listArgs[i]).toStdString());
    if (!vecDisks.empty())
        SetDiskPaths(vecDisks);
    app.InitInstance();
    return 0;
}
