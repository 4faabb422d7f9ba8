// The application object: starts the main dialog and ends the program with it.
#pragma once

#include "platform/Win32.h"

#include <QApplication>

class CSalvixApp : public QApplication
{
    Q_OBJECT
public:
    CSalvixApp(int& argc, char** argv);

    // Runs the main dialog modally; false, so the program ends when it closes.
    BOOL InitInstance();
};
