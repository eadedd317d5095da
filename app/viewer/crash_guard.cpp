#include "viewer/crash_guard.h"

#include <QString>

#include "shell/ambrel_app.h"

std::function<void(const std::string&, int)> CCrashGuard::s_pfnObserver;

CCrashGuard::CCrashGuard(const std::string& path, int index)
{
    if (s_pfnObserver)
        s_pfnObserver(path, index);
    CAmbrelApp::RecordLastImage(true, QString::fromStdString(path), index);
}

CCrashGuard::~CCrashGuard()
{
    CAmbrelApp::RecordLastImage(false, QString(), 0);
}
