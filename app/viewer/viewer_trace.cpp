#include "viewer/viewer_trace.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QWidget>

#include <chrono>
#include <mutex>

namespace vxtrace {

namespace {

const QString& LogPath()
{
    static const QString path = qEnvironmentVariable("AMBREL_TRACE_LOG");
    return path;
}

// Start-up moments seen from the application's event stream: the splash
// and the main window's first paint come before any image window exists.
class StartupWatcher : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::Show && type != QEvent::Hide && type != QEvent::Paint)
            return false;
        if (!watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->inherits("CVxSplashDialog") && (type == QEvent::Show || type == QEvent::Hide)) {
            Log(type == QEvent::Show ? "splash-shown" : "splash-hidden");
        } else if (type == QEvent::Paint && widget->window()->inherits("CMainFrame")) {
            Log("frame-painted");
            qApp->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

void InstallStartupWatcher()
{
    if (Enabled())
        qApp->installEventFilter(new StartupWatcher);
}

Q_COREAPP_STARTUP_FUNCTION(InstallStartupWatcher)

} // namespace

bool Enabled()
{
    return !LogPath().isEmpty();
}

void Log(const char* event, const QString& detail)
{
    if (!Enabled())
        return;
    const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    QByteArray line = QByteArray::number(micros) + ' ' + event;
    if (!detail.isEmpty())
        line += ' ' + detail.toUtf8();
    line += '\n';
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    QFile file(LogPath());
    if (file.open(QIODevice::Append))
        file.write(line);
}

} // namespace vxtrace
