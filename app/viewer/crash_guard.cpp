#include "viewer/crash_guard.h"

#include <QString>

#include "shell/ambrel_app.h"

CCrashGuard::CCrashGuard(const std::string& path, int index)
{
    CAmbrelApp::RecordLastImage(true, QString::fromStdString(path), index);
}

CCrashGuard::~CCrashGuard()
{
    CAmbrelApp::RecordLastImage(false, QString(), 0);
}
