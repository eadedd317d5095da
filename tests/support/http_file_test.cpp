// The background download against a real server on 127.0.0.1: what counts
// as a document, what is a failure, and that failures keep the last result.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "loopback_http_server.h"
#include "support/http_file.h"
#include "support/message_event.h"
#include "thread_start_refused.h"

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
        {"redirect to a name", server.Redirect(server.Url("/target").replace("127.0.0.1", "localhost").toLatin1()), true,
         "moved here"},
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
    // A thread the system refuses (too many running): nothing would come,
    // and the download stayed busy for good.
    g_refuseThreads = true;
    EXPECT_FALSE(CGetHTTPFile::GetFile(QStringLiteral("http://127.0.0.1:9/"), &receiver, kMessage));
    g_refuseThreads = false;
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

// The name server of the child below: it takes every query and answers none.
constexpr char kSilentNameServer[] = "VX_SILENT_NAME_SERVER_FD";
constexpr int kSilentNameServerFd = 100;

TEST(GetHTTPFile, StoppedWhileTheNameServerIsSilent)
{
    if (qEnvironmentVariableIntValue(kSilentNameServer) != kSilentNameServerFd)
        GTEST_SKIP() << "runs in the child of ASilentNameServerDoesNotKeepTheProgramAlive";
    Receiver receiver;
    ASSERT_TRUE(CGetHTTPFile::GetFile(QStringLiteral("http://update.example.org/"), &receiver, kMessage));
    pollfd query{kSilentNameServerFd, POLLIN, 0};
    ASSERT_EQ(poll(&query, 1, 5000), 1) << "the name was looked up";
    CGetHTTPFile::Stop();
}

// Quitting while the update server's name is being looked up: the program
// ends at once, not when the name server gives up.
TEST(GetHTTPFile, ASilentNameServerDoesNotKeepTheProgramAlive)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for network and mount namespaces of its own";
    QTemporaryDir dir;
    const QByteArray conf = (dir.path() + QStringLiteral("/resolv.conf")).toLocal8Bit();
    QFile file(QString::fromLocal8Bit(conf));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("nameserver 127.0.0.1\noptions timeout:30 attempts:1\n");
    file.close();
    // Everything the child needs is made before the fork.
    std::vector<QByteArray> variables{QByteArray(kSilentNameServer) + '=' + QByteArray::number(kSilentNameServerFd)};
    for (char** v = environ; *v; ++v)
        variables.emplace_back(*v);
    std::vector<char*> envp;
    for (QByteArray& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    char self[] = "/proc/self/exe", filter[] = "--gtest_filter=GetHTTPFile.StoppedWhileTheNameServerIsSilent";
    char* argv[] = {self, filter, nullptr};

    QElapsedTimer clock;
    clock.start();
    const pid_t child = fork();
    if (child == 0) {
        if (unshare(CLONE_NEWNS | CLONE_NEWNET) != 0 ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(conf.constData(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
            _exit(77);
        // In the new network namespace: its loopback comes up for the server.
        const int s = socket(AF_INET, SOCK_DGRAM, 0);
        ifreq lo{};
        std::strcpy(lo.ifr_name, "lo");
        sockaddr_in dns{};
        dns.sin_family = AF_INET;
        dns.sin_port = htons(53);
        dns.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (ioctl(s, SIOCGIFFLAGS, &lo) != 0)
            _exit(77);
        lo.ifr_flags |= IFF_UP;
        if (ioctl(s, SIOCSIFFLAGS, &lo) != 0 || bind(s, reinterpret_cast<sockaddr*>(&dns), sizeof dns) != 0 ||
            dup2(s, kSilentNameServerFd) != kSilentNameServerFd)
            _exit(77);
        execve(self, argv, envp.data());
        _exit(78);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no network and mount namespaces here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_LT(clock.elapsed(), CGetHTTPFile::kTimeLimitMs);
}

} // namespace
