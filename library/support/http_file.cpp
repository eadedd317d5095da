#include "support/http_file.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <netdb.h>

#include "support/message_event.h"

QString CGetHTTPFile::m_strURL;
QPointer<QObject> CGetHTTPFile::m_hWnd;
unsigned CGetHTTPFile::m_nMessage = 0;
QString CGetHTTPFile::m_strResult;

namespace {

// Touched on the user-interface thread only.
QThread* g_pThread = nullptr;
quint64 g_nDownload = 0;

// Shared with the worker: its event loop (so that Stop can end it), the stop
// request; the mutex also guards the result text.
struct SWorker {
    std::mutex mutex;
    QEventLoop* pLoop = nullptr;
    bool bStop = false;
} g_worker;

bool IsWebUrl(const QUrl& url)
{
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
           !url.host().isEmpty();
}

// Runs `loop` unless Stop came first; Stop can end it while it runs.
bool RunStoppable(QEventLoop& loop)
{
    {
        std::lock_guard lock(g_worker.mutex);
        if (g_worker.bStop)
            return false;
        g_worker.pLoop = &loop;
    }
    loop.exec();
    std::lock_guard lock(g_worker.mutex);
    g_worker.pLoop = nullptr;
    return !g_worker.bStop;
}

bool StopRequested()
{
    std::lock_guard lock(g_worker.mutex);
    return g_worker.bStop;
}

// The network layer looks names up on a pool that the application waits for
// when it ends, so a name server that never answers would keep the program
// alive long after its windows closed. The name is looked up first on a
// thread that nobody waits for; only a name that resolves in time goes on.
bool Resolves(const QString& host, const QDeadlineTimer& deadline)
{
    if (!QHostAddress(host).isNull())
        return true;
    struct SLookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false, found = false;
    };
    auto lookup = std::make_shared<SLookup>();
    const QByteArray name = QUrl::toAce(host);
    try {
        std::thread([lookup, name] {
            addrinfo hints{};
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* result = nullptr;
            const bool found = getaddrinfo(name.constData(), nullptr, &hints, &result) == 0;
            if (result)
                freeaddrinfo(result);
            std::lock_guard lock(lookup->mutex);
            lookup->finished = true;
            lookup->found = found;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock lock(lookup->mutex);
    while (!lookup->finished && !deadline.hasExpired() && !StopRequested())
        lookup->done.wait_for(lock, std::chrono::milliseconds(50));
    return lookup->found;
}

// The whole document, or false. A reply without a length is read to its end;
// both kinds are limited in size and in time as a whole.
bool Fetch(const QUrl& url, QByteArray& document)
{
    const QDeadlineTimer deadline(CGetHTTPFile::kTimeLimitMs);
    if (!IsWebUrl(url) || !Resolves(url.host(), deadline))
        return false;
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    // The document is compared byte for byte with its announced length.
    request.setRawHeader("Accept-Encoding", "identity");
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QNetworkReply* r = reply.get();

    QEventLoop loop;
    bool failed = false;
    auto fail = [&] {
        failed = true;
        loop.quit();
    };
    auto take = [&] {
        document += r->read(CGetHTTPFile::kMaxDocumentSize + 1 - document.size());
        if (document.size() > CGetHTTPFile::kMaxDocumentSize)
            fail();
    };
    QObject::connect(r, &QNetworkReply::redirected, &loop, [&](const QUrl& target) {
        if (IsWebUrl(target) && Resolves(target.host(), deadline))
            emit r->redirectAllowed();
        else
            fail();
    });
    QObject::connect(r, &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = r->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > CGetHTTPFile::kMaxDocumentSize)
            fail();
    });
    QObject::connect(r, &QNetworkReply::readyRead, &loop, take);
    QObject::connect(r, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(deadline.remainingTime(), &loop, fail);

    if (!RunStoppable(loop) || failed || !r->isFinished() || r->error() != QNetworkReply::NoError)
        return false;
    take();
    const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant length = r->header(QNetworkRequest::ContentLengthHeader);
    if (status < 200 || status > 299 || failed || document.isEmpty())
        return false;
    return !length.isValid() || length.toLongLong() == document.size();
}

} // namespace

bool CGetHTTPFile::GetFile(const QString& url, QObject* window, unsigned message, std::intptr_t parameter)
{
    if (g_pThread || !window || !QCoreApplication::instance() || message < unsigned(QEvent::User) ||
        message > unsigned(QEvent::MaxUser))
        return false;
    // A download still running when the application ends is stopped first.
    qRemovePostRoutine(&CGetHTTPFile::Stop);
    qAddPostRoutine(&CGetHTTPFile::Stop);

    m_strURL = url;
    m_hWnd = window;
    m_nMessage = message;
    {
        std::lock_guard lock(g_worker.mutex);
        g_worker.bStop = false;
    }
    const quint64 download = ++g_nDownload;
    g_pThread = QThread::create([parameter, download] { ClientUrlThreadProc(parameter, download); });
    g_pThread->start();
    // A thread the system refuses (too many running) is only warned about:
    // nothing would ever come.
    if (!g_pThread->isRunning() && !g_pThread->isFinished()) {
        delete g_pThread;
        g_pThread = nullptr;
        return false;
    }
    return true;
}

void CGetHTTPFile::ClientUrlThreadProc(std::intptr_t parameter, quint64 download)
{
    QByteArray document;
    const bool succeeded = Fetch(QUrl(m_strURL), document);
    std::lock_guard lock(g_worker.mutex);
    if (g_worker.bStop)
        return;
    if (succeeded)
        m_strResult = QString::fromUtf8(document);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [=] { _Complete(succeeded, parameter, download); }, Qt::QueuedConnection);
}

void CGetHTTPFile::_Complete(bool succeeded, std::intptr_t parameter, quint64 download)
{
    // A completion of a stopped download comes too late.
    if (download != g_nDownload || !g_pThread)
        return;
    g_pThread->wait();
    delete g_pThread;
    g_pThread = nullptr;
    VxPostMessage(m_hWnd, int(m_nMessage), succeeded ? 1 : 0, parameter);
}

QString CGetHTTPFile::GetResult()
{
    std::lock_guard lock(g_worker.mutex);
    return m_strResult;
}

bool CGetHTTPFile::IsBusy()
{
    return g_pThread != nullptr;
}

void CGetHTTPFile::Stop()
{
    if (!g_pThread)
        return;
    {
        std::lock_guard lock(g_worker.mutex);
        g_worker.bStop = true;
        if (g_worker.pLoop)
            QMetaObject::invokeMethod(g_worker.pLoop, &QEventLoop::quit, Qt::QueuedConnection);
    }
    g_pThread->wait();
    delete g_pThread;
    g_pThread = nullptr;
    ++g_nDownload;
}
