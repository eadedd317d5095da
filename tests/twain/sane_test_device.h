#pragma once

// SANE's `test` backend as the scanner of the tests: a private configuration
// folder (SANE_CONFIG_DIR) that names only that backend, a window that
// routes its events through the scanner session, and scanimage as the
// independent reader the transferred pictures are compared with.
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "image/velvix.h"
#include "support/message_event.h"

namespace vxtest {

// SANE reads SANE_CONFIG_DIR once per process: one folder, rewritten for
// every configuration (the backends read their files at each sane_init).
class CSaneTestConfig {
public:
    // `devices` 0 leaves the backend out: a machine without scanners.
    explicit CSaneTestConfig(int devices = 1, const char* picture = "Grid", const QString& extra = QString())
    {
        Write(devices, picture, extra);
        qputenv("SANE_CONFIG_DIR", Folder().path().toUtf8());
    }
    void Write(int devices, const char* picture, const QString& extra) const
    {
        QFile dll(Folder().filePath(QStringLiteral("dll.conf")));
        dll.open(QIODevice::WriteOnly);
        dll.write(devices ? "test\n" : "");
        QFile test(Folder().filePath(QStringLiteral("test.conf")));
        test.open(QIODevice::WriteOnly);
        test.write(QStringLiteral("number_of_devices %1\nmode Gray\ndepth 8\nresolution 25.0\n"
                                  "test-picture \"%2\"\ntl_x 0.0\ntl_y 0.0\nbr_x 10.0\nbr_y 10.0\n%3")
                       .arg(devices)
                       .arg(QLatin1String(picture))
                       .arg(extra)
                       .toUtf8());
    }

    // The backends SANE loads, one name a line (`test` as written above).
    void Backends(const QByteArray& names) const
    {
        QFile dll(Folder().filePath(QStringLiteral("dll.conf")));
        if (dll.open(QIODevice::WriteOnly))
            dll.write(names);
    }

    // Other names for the devices ("alias Name test:0" lines); none when empty.
    void Aliases(const QByteArray& lines) const
    {
        QFile file(Folder().filePath(QStringLiteral("dll.aliases")));
        if (lines.isEmpty())
            file.remove();
        else if (file.open(QIODevice::WriteOnly))
            file.write(lines);
    }

private:
    static QTemporaryDir& Folder()
    {
        static QTemporaryDir folder;
        return folder;
    }
};

// The main window's part: every event passes the session first; acquired
// pictures are copied as they arrive.
class CScanReceiver : public QWidget {
public:
    std::vector<CVelvix> m_Images;
    bool m_bOffer = true;  // false: the source's notices are held back (counted)
    int m_nHeld = 0;
    std::vector<std::unique_ptr<QEvent>> m_Held;

    // Offers the notices held back, in their order.
    void Release()
    {
        m_bOffer = true;
        for (std::unique_ptr<QEvent>& event : m_Held)
            QCoreApplication::postEvent(this, event.release());
        m_Held.clear();
    }

protected:
    bool event(QEvent* event) override
    {
        if (!m_bOffer && event->type() >= QEvent::User && event->type() <= QEvent::MaxUser) {
            ++m_nHeld;
            m_Held.emplace_back(event->clone());
            return true;
        }
        CVelvix_Twain::ProcessMessage(event);
        if (int(event->type()) == CVelvix_Twain::kImageMessage) {
            m_Images.push_back(*reinterpret_cast<CVelvix*>(static_cast<CVxMessageEvent*>(event)->m_wParam));
            return true;
        }
        return QWidget::event(event);
    }
};

inline bool WaitFor(const std::function<bool()>& done, int milliseconds = 15000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!done() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

inline QWidget* SourceDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("ScanSourceDialog") && widget->isVisible())
            return widget;
    return nullptr;
}

struct SScanSettings {
    const char* mode;
    int depth;
    int resolution;
    double width, height;  // mm from the top left corner
    const char* picture;   // set through the configuration
    int pages;
    const char* source;
    double left = 0;
    const char* extra = "";  // more lines for the backend's configuration
};

// Fills the source's dialog and presses "Scan".
inline void PressScan(QWidget* dialog, const SScanSettings& s)
{
    dialog->findChild<QComboBox*>(QStringLiteral("mode"))->setCurrentText(QString::fromLatin1(s.mode));
    auto* depth = dialog->findChild<QComboBox*>(QStringLiteral("depth"));
    depth->setCurrentIndex(depth->findData(double(s.depth)));
    dialog->findChild<QComboBox*>(QStringLiteral("source"))->setCurrentText(QString::fromLatin1(s.source));
    dialog->findChild<QDoubleSpinBox*>(QStringLiteral("resolution"))->setValue(s.resolution);
    dialog->findChild<QDoubleSpinBox*>(QStringLiteral("left"))->setValue(s.left);
    dialog->findChild<QDoubleSpinBox*>(QStringLiteral("top"))->setValue(0);
    dialog->findChild<QDoubleSpinBox*>(QStringLiteral("right"))->setValue(s.left + s.width);
    dialog->findChild<QDoubleSpinBox*>(QStringLiteral("bottom"))->setValue(s.height);
    dialog->findChild<QSpinBox*>(QStringLiteral("pages"))->setValue(s.pages);
    dialog->findChild<QPushButton*>(QStringLiteral("scanButton"))->click();
}

// The same scan read by scanimage, as a bottom-up picture; invalid when
// scanimage or its output fails.
inline CVelvix ScanImageOracle(const SScanSettings& s)
{
    // The test backend's reader thread is stopped by asynchronous
    // cancellation, which now and then catches it inside the allocator and
    // hangs scanimage for good: such a run is ended and the scan read again.
    const QStringList arguments = {QStringLiteral("-d"), QStringLiteral("test:0"), QStringLiteral("--format=pnm"),
                                   QStringLiteral("--mode=%1").arg(QLatin1String(s.mode)),
                                   QStringLiteral("--depth=%1").arg(s.depth),
                                   QStringLiteral("--resolution=%1").arg(s.resolution),
                                   QStringLiteral("--test-picture=%1").arg(QLatin1String(s.picture)),
                                   QStringLiteral("-l"), QString::number(s.left), QStringLiteral("-t"),
                                   QStringLiteral("0"), QStringLiteral("-x"), QString::number(s.width),
                                   QStringLiteral("-y"), QString::number(s.height)};
    QProcess process;
    for (int attempt = 0; attempt < 3; ++attempt) {
        process.start(QStringLiteral("scanimage"), arguments);
        if (process.waitForFinished(10000))
            break;
        process.kill();
        process.waitForFinished();
    }
    CVelvix image;
    if (process.state() != QProcess::NotRunning || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return image;
    const QByteArray data = process.readAllStandardOutput();
    // Header: magic, comment lines, width, height, and the maximum but for P4.
    QList<QByteArray> fields;
    qsizetype at = 0;
    const int needed = data.startsWith("P4") ? 3 : 4;
    while (fields.size() < needed && at < data.size()) {
        while (at < data.size() && QChar(data[at]).isSpace())
            ++at;
        if (data[at] == '#') {
            at = data.indexOf('\n', at);
            continue;
        }
        const qsizetype start = at;
        while (at < data.size() && !QChar(data[at]).isSpace())
            ++at;
        fields.append(data.mid(start, at - start));
    }
    ++at;
    const int w = fields.value(1).toInt(), h = fields.value(2).toInt();
    const int kind = fields.value(0).at(1) - '0';
    // 16-bit samples are big-endian; their high byte is what a bitmap keeps.
    const int bytes = kind != 4 && fields.value(3).toInt() > 255 ? 2 : 1;
    const qsizetype row = kind == 4 ? (w + 7) / 8 : kind == 5 ? w * bytes : 3 * w * bytes;
    if (w <= 0 || h <= 0 || data.size() - at < row * h)
        return image;
    static_cast<CVelvix_PixelInterface&>(image).RawCreateImage(h, w);
    for (int y = 0; y < h; ++y) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + at + row * y);
        for (int x = 0; x < w; ++x) {
            const unsigned char* q = p + 3 * bytes * x;
            VxPixel v = kind == 4 ? ((p[x >> 3] >> (7 - (x & 7))) & 1 ? 0 : 0xFFFFFF)
                      : kind == 5 ? p[bytes * x] * 0x010101u
                                  : VxPixel(q[0]) << 16 | VxPixel(q[bytes]) << 8 | q[2 * bytes];
            image.Bytes(x, h - 1 - y) = v;
        }
    }
    return image;
}

} // namespace vxtest
