#include "ui/SalvixApp.h"

int main(int argc, char** argv)
{
    CSalvixApp app(argc, argv);
    app.InitInstance();
    return 0;
}
