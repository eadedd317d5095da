#include "duplicates/picture_size_reader.h"

#include <QMetaObject>

#include <memory>

#include "common/picture_header.h"

namespace {

// Progress is reported after this many files.
constexpr int kProgressStep = 32;

} // namespace

bool CPictureSizeReader::Start(std::vector<QString> paths, QObject* context, Progress onProgress,
                               Finished onFinished, EThreadRefusal* refused)
{
    Cancel();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_pCancelled = cancelled;
    m_bEnded = false;
    // The owner of the context destroys this reader first, which joins the
    // thread: the context outlives every call posted to it.
    QObject* target = context;
    const auto read = [this, paths = std::move(paths), cancelled, target, onProgress = std::move(onProgress),
                       onFinished = std::move(onFinished)] {
        std::vector<std::uint64_t> pixels(paths.size(), 0);
        for (std::size_t i = 0; i < paths.size() && !*cancelled; ++i) {
            const QSize size = PictureHeaderSize(paths[i]);
            if (size.isValid())
                pixels[i] = std::uint64_t(size.width()) * std::uint64_t(size.height());
            if ((i + 1) % kProgressStep == 0)
                QMetaObject::invokeMethod(target, [onProgress, cancelled, done = int(i + 1)] {
                    if (!*cancelled)
                        onProgress(done);
                }, Qt::QueuedConnection);
        }
        if (!*cancelled)
            QMetaObject::invokeMethod(target, [onFinished, cancelled, pixels = std::move(pixels)] {
                if (!*cancelled)
                    onFinished(pixels);
            }, Qt::QueuedConnection);
        m_bEnded = true;
    };
    try {
        m_thread = std::thread(read);
    } catch (const std::system_error&) {
        if (refused)
            *refused = VxWhyThreadRefused();
        m_bEnded = true;
        return false;
    }
    return true;
}

void CPictureSizeReader::Cancel()
{
    if (m_pCancelled)
        *m_pCancelled = true;
    if (m_thread.joinable())
        m_thread.join();
    m_bEnded = true;
}
