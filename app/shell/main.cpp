#include <QApplication>

#include "shell/ambrel_app.h"

#if defined(__SANITIZE_ADDRESS__)
// The desktop bus library keeps a buffer until the process ends; the leak
// checker of sanitized builds is told so, and reports only our leaks.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}
#endif

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    CAmbrelApp app;
    if (!app.InitInstance(argc, argv))
        return app.ExitInstance(1);
    return app.Run();
}
