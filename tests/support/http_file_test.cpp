// The background download against a real server on 127.0.0.1: what counts
// as a document, what is a failure, and that failures keep the last result.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QUrl>

#include <gtest/gtest.h>

#include <vector>

#include "loopback_http_server.h"
#include "support/http_file.h"
#include "support/message_event.h"

namespace {

constexpr unsigned kMessage = 0x0401;

class Receiver : public QObject {
public:
    struct Completion {
        std::uintptr_t succeeded;
        std::intptr_t parameter;
    };
    std::vector<Completion> completions;

    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::Type(kMessage))
            return QObject::event(e);
        auto* message = static_cast<CVxMessageEvent*>(e);
        completions.push_back({message->m_wParam, message->m_lParam});
        return true;
    }
};

// Serves the test's server and dispatches the completion until `done`.
template <typename Done>
bool Pump(Done done, int ms = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Downloads `url` and returns the completion; {2, 0} when none came.
Receiver::Completion Download(const QString& url, std::intptr_t parameter = 0)
{
    Receiver receiver;
    if (!CGetHTTPFile::GetFile(url, &receiver, kMessage, parameter))
        return {3, 0};
    Pump([&] { return !receiver.completions.empty(); });
    EXPECT_LE(receiver.completions.size(), 1u);
    EXPECT_FALSE(CGetHTTPFile::IsBusy());
    return receiver.completions.empty() ? Receiver::Completion{2, 0} : receiver.completions.front();
}

QByteArray Filled(qsizetype size)
{
    return QByteArray(size, 'a');
}

TEST(GetHTTPFile, RepliesOfEveryKindAndFailuresKeepTheLastResult)
{
    vxtest::LoopbackHttpServer server;
    ASSERT_TRUE(server.IsListening());
    const QByteArray document = "<version>1.6</version>\n<info>Größe ∞</info>";
    const qint64 limit = CGetHTTPFile::kMaxDocumentSize;
    struct Case {
        const char* name;
        QByteArray reply;
        bool succeeds;
        QByteArray result;
    };
    const Case cases[] = {
        {"length announced", server.Ok(document), true, document},
        {"length 0", server.Ok(""), false, {}},
        {"chunked", server.Chunked(document), true, document},
        {"until the connection ends", server.UntilClosed("plain"), true, "plain"},
        {"server error", server.Ok("<version>9</version>", "500 Internal Server Error"), false, {}},
        {"not found", server.Ok("<version>9</version>", "404 Not Found"), false, {}},
        {"shorter than announced",
         "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nshort", false, {}},
        {"chunked, exactly the limit", server.Chunked(Filled(limit), 4096), true, Filled(limit)},
        {"chunked, one byte more", server.Chunked(Filled(limit + 1), 4096), false, {}},
        {"announced, one byte more", server.Ok(Filled(limit + 1)), false, {}},
        {"until the end, one byte more", server.UntilClosed(Filled(limit + 1)), false, {}},
        {"announced, exactly the limit", server.Ok(Filled(limit)), true, Filled(limit)},
        {"not HTTP", "<version>9</version>\r\n\r\n", false, {}},
        {"redirect to a web page", server.Redirect(server.Url("/target").toLatin1()), true, "moved here"},
        {"redirect to a local file", server.Redirect("file:///etc/hostname"), false, {}},
        {"redirect to ftp", server.Redirect("ftp://127.0.0.1/target"), false, {}},
        {"redirect to itself", server.Redirect("/doc"), false, {}},
    };
    server.Serve("/target", server.Ok("moved here"));
    std::intptr_t parameter = -7;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Serve("/doc", c.reply);
        const QString before = CGetHTTPFile::GetResult();
        const Receiver::Completion completion = Download(server.Url("/doc"), ++parameter);
        EXPECT_EQ(completion.succeeded, c.succeeds ? 1u : 0u);
        EXPECT_EQ(completion.parameter, parameter);
        EXPECT_EQ(CGetHTTPFile::GetResult(), c.succeeds ? QString::fromUtf8(c.result) : before);
    }
}

TEST(GetHTTPFile, AddressesThatAreNoWebPagesFailWithoutAConnection)
{
    vxtest::LoopbackHttpServer server;
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();
    const QString port = QString::number(QUrl(server.Url()).port());
    for (const QString& url : {refused, QString(), QStringLiteral("not an address"), QStringLiteral("http://"),
                               QStringLiteral("file:///etc/hostname"), "ftp://127.0.0.1:" + port + "/",
                               "gopher://127.0.0.1:" + port + "/"}) {
        SCOPED_TRACE(url.toStdString());
        EXPECT_EQ(Download(url, 5).succeeded, 0u);
    }
    EXPECT_EQ(server.Connections(), 0);
}

TEST(GetHTTPFile, RefusesACallThatCouldNotBeAnswered)
{
    Receiver receiver;
    EXPECT_FALSE(CGetHTTPFile::GetFile(QStringLiteral("http://127.0.0.1/"), nullptr, kMessage));
    EXPECT_FALSE(CGetHTTPFile::GetFile(QStringLiteral("http://127.0.0.1/"), &receiver, 5));
    EXPECT_FALSE(CGetHTTPFile::IsBusy());
}

TEST(GetHTTPFile, AWindowClosedBeforeTheEndGetsNothing)
{
    vxtest::LoopbackHttpServer server;
    server.Serve("/doc", server.Ok("text"));
    auto* receiver = new Receiver;
    ASSERT_TRUE(CGetHTTPFile::GetFile(server.Url("/doc"), receiver, kMessage));
    delete receiver;
    EXPECT_TRUE(Pump([] { return !CGetHTTPFile::IsBusy(); }));
    QCoreApplication::processEvents();
}

TEST(GetHTTPFile, StoppingEndsASilentDownloadWithoutACompletion)
{
    vxtest::LoopbackHttpServer server;
    server.Serve("/doc", server.Silent());
    Receiver receiver;
    ASSERT_TRUE(CGetHTTPFile::GetFile(server.Url("/doc"), &receiver, kMessage));
    ASSERT_TRUE(Pump([&] { return server.Requests().size() == 1; }));
    CGetHTTPFile::Stop();
    EXPECT_FALSE(CGetHTTPFile::IsBusy());
    Pump([] { return false; }, 300);
    EXPECT_TRUE(receiver.completions.empty());

    // The next download is not disturbed by the stopped one.
    server.Serve("/doc", server.Ok("next"));
    EXPECT_EQ(Download(server.Url("/doc")).succeeded, 1u);
    EXPECT_EQ(CGetHTTPFile::GetResult(), QStringLiteral("next"));
}

TEST(GetHTTPFile, OneDownloadAtATimeAndASilentServerFailsAtTheTimeLimit)
{
    vxtest::LoopbackHttpServer server;
    server.Serve("/doc", server.Silent());
    Receiver receiver;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(CGetHTTPFile::GetFile(server.Url("/doc"), &receiver, kMessage, 9));
    Receiver second;
    EXPECT_FALSE(CGetHTTPFile::GetFile(server.Url("/doc"), &second, kMessage));
    EXPECT_TRUE(CGetHTTPFile::IsBusy());

    ASSERT_TRUE(Pump([&] { return !receiver.completions.empty(); }, 3 * CGetHTTPFile::kTimeLimitMs));
    // Coarse timers may fire 5 % early.
    EXPECT_GE(clock.elapsed(), CGetHTTPFile::kTimeLimitMs * 95 / 100);
    EXPECT_EQ(receiver.completions.front().succeeded, 0u);
    EXPECT_EQ(receiver.completions.front().parameter, 9);
    EXPECT_TRUE(second.completions.empty());
    EXPECT_EQ(server.Connections(), 1);
}

} // namespace
