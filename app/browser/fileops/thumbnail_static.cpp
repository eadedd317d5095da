#include "thumbnail_static.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPromise>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "image/covering_decode.h"
#include "native_path.h"
#include "safe_file_io.h"
#include "shell/ambrel_app.h"
#include "support/vx_helper.h"

struct CThumbnailStatic::SPicture {
    CVelvix image;
    int width = 0;
    int height = 0;
    bool ok = false;
};

std::function<void(const QString&)> CThumbnailStatic::s_pfnOpenViewer = [](const QString& path) {
    if (CAmbrelApp* app = AmbrelApp())
        app->GetTemplateManager().OpenNewFrame(QStringLiteral("CPixelFrame"), false, path);
};

namespace {

// Decodes on a worker and keeps at most `side` x `side` pixels of it: the
// box never shows more, and two 24-megapixel pictures would cost 200 MB.
std::shared_ptr<CThumbnailStatic::SPicture> Decode(const std::string& path, int side);

// Decodes still running on their threads: the application waits for them as
// it ends, before the codecs go.
struct SRunningDecodes {
    std::mutex mutex;
    std::condition_variable ended;
    int count = 0;

    static SRunningDecodes& Get()
    {
        static SRunningDecodes* running = new SRunningDecodes;  // outlives every thread
        return *running;
    }
    void Add(int n)
    {
        std::lock_guard lock(mutex);
        count += n;
        ended.notify_all();
    }
    static void WaitForAll()
    {
        SRunningDecodes& running = Get();
        std::unique_lock lock(running.mutex);
        running.ended.wait(lock, [&] { return running.count == 0; });
    }
};

void WaitForDecodesAtExit()
{
    qAddPostRoutine(SRunningDecodes::WaitForAll);
}
Q_COREAPP_STARTUP_FUNCTION(WaitForDecodesAtExit)

} // namespace

CThumbnailStatic::CThumbnailStatic(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(32, 32);
}

CThumbnailStatic::~CThumbnailStatic() = default;

bool CThumbnailStatic::SetFile(const QString& path)
{
    Clear();
    if (path.isEmpty())
        return false;
    m_strPath = path;
    const int side = std::max({width(), height(), 256}) * 2;
    m_pWatcher = std::make_unique<QFutureWatcher<std::shared_ptr<SPicture>>>();
    connect(m_pWatcher.get(), &QFutureWatcherBase::finished, this, &CThumbnailStatic::_OnDecoded);
    auto promise = std::make_shared<QPromise<std::shared_ptr<SPicture>>>();
    m_pWatcher->setFuture(promise->future());
    promise->start();
    auto decode = [promise, file = NativePath(path), side] {
        std::shared_ptr<SPicture> picture;
        try {
            picture = Decode(file, side);
        } catch (const std::bad_alloc&) {
        }
        promise->addResult(std::move(picture));
        promise->finish();
    };
    // A thread the system refuses (too many running) leaves the decode to
    // this one. (A pool's refused thread is never told: its decode would
    // never come, and the pool would keep the program from ending.)
    SRunningDecodes& running = SRunningDecodes::Get();
    running.Add(1);
    try {
        std::thread([decode, &running] {
            decode();
            running.Add(-1);
        }).detach();
    } catch (const std::system_error&) {
        running.Add(-1);
        decode();
    }
    return true;
}

void CThumbnailStatic::_OnDecoded()
{
    const std::shared_ptr<SPicture> picture = m_pWatcher->result();
    // Deleted later: this runs inside the watcher's own signal.
    m_pWatcher.release()->deleteLater();
    if (picture && picture->ok) {
        m_Image.Swap(picture->image);
        m_nWidth = picture->width;
        m_nHeight = picture->height;
    }
    update();
    emit Decoded(HasPicture());
}

void CThumbnailStatic::Clear()
{
    if (m_pWatcher) {
        m_pWatcher->disconnect(this);
        m_pWatcher.release()->deleteLater();
    }
    m_strPath.clear();
    m_Image.DeleteObject();
    m_nWidth = m_nHeight = 0;
    update();
}

QString CThumbnailStatic::GetResolutionText() const
{
    return QStringLiteral("(%1 x %2)").arg(m_nWidth).arg(m_nHeight);
}

QString CThumbnailStatic::GetSizeText() const
{
    const vxfile::SEntry entry = vxfile::Stat(NativePath(m_strPath));
    return CVxHelper::FormatNumber(QString::number(entry.exists ? entry.size : 0)) + QStringLiteral(" byte(s)");
}

void CThumbnailStatic::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().button());
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (!HasPicture() || width() <= 2 || height() <= 2)
        return;
    painter.translate(1, 1);
    m_Image.Draw(&painter, width() - 2, height() - 2, true);
}

void CThumbnailStatic::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    if (!m_strPath.isEmpty() && s_pfnOpenViewer)
        s_pfnOpenViewer(m_strPath);
}

namespace {

std::shared_ptr<CThumbnailStatic::SPicture> Decode(const std::string& path, int side)
{
    auto picture = std::make_shared<CThumbnailStatic::SPicture>();
    // A JPEG decodes at the smallest scale that still covers the box.
    if (VxReadImageCovering(picture->image, path.c_str(), side, side, &picture->width, &picture->height) != 1 ||
        !picture->image.IsValidObject())
        return picture;
    // The fit's work buffers that cannot be had leave no picture: the
    // exception would reach the window's thread and end the program.
    try {
        if (picture->image.GetWidth() > side || picture->image.GetHeight() > side)
            picture->image.Resize(nullptr, side, side, true);
    } catch (const std::bad_alloc&) {
        return picture;
    }
    picture->ok = true;
    return picture;
}

} // namespace
