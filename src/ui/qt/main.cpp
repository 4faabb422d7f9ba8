#include "SalvixVersion.h"
#include "platform/Platform.h"
#include "ui/qt/SalvixApp.h"

#include <QFile>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv)
{
    // Answered before the application exists, so it needs no display.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0)
        {
            std::printf("salvix %s\n", SALVIX_VERSION);
            return 0;
        }
#if defined(__GLIBC__)
    // The list's rows live in a few large blocks that are freed at each new
    // scan. With the C library's sliding threshold the second scan's blocks
    // would come from the heap, which never shrinks: a rescan would hold a
    // third more than the first scan. Large blocks stay mapped of their own.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
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
