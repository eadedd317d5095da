#include <QApplication>

#include "shell/ambrel_app.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    CAmbrelApp app;
    if (!app.InitInstance(QApplication::arguments().mid(1)))
        return app.ExitInstance(1);
    return app.ExitInstance(QApplication::exec());
}
