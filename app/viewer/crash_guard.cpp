#include "viewer/crash_guard.h"

#include <QSettings>
#include <QString>

namespace {

// "Validation"/"LastImage": "Filename: <path>\tIndex: <position from 1>".
void RecordLastImage(bool set, const std::string& path, int index)
{
    QSettings settings;
    settings.setValue(QStringLiteral("Validation/LastImage"),
                      set ? QStringLiteral("Filename: %1\tIndex: %2").arg(QString::fromStdString(path)).arg(index)
                          : QString());
    settings.sync();
}

} // namespace

CCrashGuard::CCrashGuard(const std::string& path, int index)
{
    RecordLastImage(true, path, index);
}

CCrashGuard::~CCrashGuard()
{
    RecordLastImage(false, std::string(), 0);
}
