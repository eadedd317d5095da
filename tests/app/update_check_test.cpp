// The update check: what a version document offers, and the real program
// asking after its start with its version document on a server on 127.0.0.1.
#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "loopback_http_server.h"
#include "settings/general_settings.h"
#include "shell/ambrel_app.h"
#include "shell/main_frame.h"
#include "shell/update_check.h"
#include "support/http_file.h"

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString kPage = QString::fromLatin1(CUpdateCheck::kDownloadPage);

TEST(UpdateOffer, DocumentsAndWhatTheyOffer)
{
    struct Case {
        const char* document;
        bool offers;
        QString version = {}, link = {}, info = {};
    };
    const Case cases[] = {
        {"<version>1.6</version>", true, "1.6", kPage, ""},
        {"x<info>New look</info>\n<url>https://example.net/get?a=1</url> <version>2</version>", true, "2",
         "https://example.net/get?a=1", "New look"},
        {"<version>1.51</version>", false},
        {"<version>1.5.9</version>", false},
        {"<version>1.510001</version>", true, "1.510001", kPage, ""},
        {"<version>\n 1.6 beta\t</version>", true, "\n 1.6 beta\t", kPage, ""},
        {"<version>+1.6</version>", true, "+1.6", kPage, ""},
        {"<version>-2</version>", false},
        {"<version>beta</version>", false},
        {"<version></version>", false},
        {"<version>inf</version>", false},
        {"<version>nan</version>", false},
        {"<version>1,6</version>", false},
        {"<VERSION>2</VERSION>", false},
        {"1.6", false},
        {"<version>1.6", false},
        {"</version>1.6<version>", false},
        {"<version>1.6</version><version>0.1</version><info>a</info><info>b</info>", true, "1.6", kPage, "a"},
        {"<version>1.6</version><url></url><info></info>", true, "1.6", kPage, ""},
        {"<version>1.6</version><url> https://example.net/a b </url>", true, "1.6", "https://example.net/a b", ""},
        {"<version>1.6</version><url>file:///usr/bin/xterm</url>", true, "1.6", kPage, ""},
        {"<version>1.6</version><url>/usr/bin/xterm</url>", true, "1.6", kPage, ""},
        {"<version>1.6</version><url>javascript:alert(1)</url>", true, "1.6", kPage, ""},
        {"<version>1.6</version><url>http://</url>", true, "1.6", kPage, ""},
        {"<version>2</version><info><b>%s [*?]</b> ü</info>", true, "2", kPage, "<b>%s [*?]</b> ü"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        const std::optional<SUpdateOffer> offer = CUpdateCheck::ReadOffer(QString::fromUtf8(c.document));
        ASSERT_EQ(offer.has_value(), c.offers);
        if (!offer)
            continue;
        EXPECT_EQ(offer->strVersion, c.version);
        EXPECT_EQ(offer->strLink, c.link);
        EXPECT_EQ(offer->strInfo, c.info);
    }
}

// The program as started by the user, with its update server on 127.0.0.1.
class UpdateCheck : public QObject, public ::testing::Test {
    Q_OBJECT
public:
    struct Box {
        QString caption, text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        Qt::TextFormat format;
        bool ownedByTheFrame;
        bool fits;
    };

public slots:
    void Open(const QUrl& url) { m_opened.push_back(url); }

protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.IsListening());
        for (const char* scheme : {"http", "https", "file"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
        qputenv(CUpdateCheck::kServerVariable, m_server.Url().toLatin1());
    }
    void TearDown() override
    {
        m_app.reset();
        for (const char* scheme : {"http", "https", "file"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        qputenv(CUpdateCheck::kServerVariable, "http://127.0.0.1:9/");
    }

    // Starts the program and answers every question with `answer`, until
    // the check has ended.
    void Start(bool check, QMessageBox::StandardButton answer = QMessageBox::No)
    {
        m_app.reset();
        m_boxes.clear();
        m_opened.clear();
        QSettings().clear();
        GeneralSettings = SGeneralSettings{};
        GeneralSettings.bCheckForNewVersion = check;
        m_app = std::make_unique<CAmbrelApp>();
        m_app->m_bShowSplash = false;
        QTimer answers;
        connect(&answers, &QTimer::timeout, this, [this, answer] { _Answer(answer); });
        answers.start(10);
        const int connections = m_server.Connections();
        ASSERT_TRUE(m_app->InitInstance({}));
        // Nothing has gone out while the program was starting.
        EXPECT_EQ(m_server.Connections(), connections);
        EXPECT_FALSE(CGetHTTPFile::IsBusy());
        QElapsedTimer clock;
        clock.start();
        auto ended = [&] { return m_server.Connections() > connections && !CGetHTTPFile::IsBusy(); };
        while (!ended() && clock.elapsed() < (check ? 20000 : 500))
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        m_nConnections = m_server.Connections() - connections;
    }

    void _Answer(QMessageBox::StandardButton answer)
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible() || box->property("answered").toBool())
                continue;
            box->setProperty("answered", true);
            const QSize screen = box->screen()->availableSize();
            m_boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->textFormat(),
                               box->parentWidget() == m_app->GetMainFrame(),
                               box->width() <= screen.width() && box->height() <= screen.height()});
            box->button(answer)->click();
        }
    }

    vxtest::LoopbackHttpServer m_server;
    std::unique_ptr<CAmbrelApp> m_app;
    std::vector<Box> m_boxes;
    std::vector<QUrl> m_opened;
    int m_nConnections = 0;
};

const QString kKeep = QStringLiteral("\n(you can disable Automatic Update from the general settings)");

TEST_F(UpdateCheck, ANewerVersionIsOfferedAndYesOpensItsPage)
{
    struct Case {
        const char* name;
        QByteArray document;
        QMessageBox::StandardButton answer;
        QString question;
        QString opened;
    };
    const Case cases[] = {
        {"version only", "<version>1.6</version>", QMessageBox::Yes,
         "A newer version of Ambrel exist [1.6] Would you like to go to the download page now?" + kKeep, kPage},
        {"with a page and news", "<info>Faster & <i>nicer</i></info><url>https://example.net/new</url><version> 2.0 </version>",
         QMessageBox::Yes,
         "A newer version of Ambrel exists [ 2.0 ] \n\nFaster & <i>nicer</i>\n\nwould you like to go to the download "
         "page now?" + kKeep,
         "https://example.net/new"},
        {"declined", "<version>1.6</version><url>https://example.net/new</url>", QMessageBox::No,
         "A newer version of Ambrel exist [1.6] Would you like to go to the download page now?" + kKeep, ""},
        {"chunked", "", QMessageBox::Yes,
         "A newer version of Ambrel exist [3] Would you like to go to the download page now?" + kKeep, kPage},
        {"endless news", "<version>2" + QByteArray(20000, 'v') + "</version><info>" + QByteArray(3000, '\r') +
                             QByteArray(30000, 'i') + "</info>",
         QMessageBox::No, "", ""},
        {"endless paragraphs", "<version>2</version><info>" + QString(3000, QChar(0x2029)).toUtf8() + "</info>",
         QMessageBox::No, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.Serve("/", c.document.isEmpty() ? m_server.Chunked("<version>3</version>")
                                                 : m_server.Ok(c.document));
        Start(true, c.answer);
        EXPECT_EQ(m_nConnections, 1);
        EXPECT_TRUE(m_server.Requests().back().startsWith("GET / HTTP/1.1\r\n"));
        ASSERT_EQ(m_boxes.size(), 1u);
        const Box& box = m_boxes.front();
        EXPECT_EQ(box.caption, QStringLiteral("Automatic Update"));
        if (!c.question.isEmpty())
            EXPECT_EQ(box.text, c.question);
        EXPECT_TRUE(box.fits);
        EXPECT_EQ(box.icon, QMessageBox::Question);
        EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.format, Qt::PlainText);
        EXPECT_TRUE(box.ownedByTheFrame);
        if (c.opened.isEmpty())
            EXPECT_TRUE(m_opened.empty());
        else
            EXPECT_EQ(m_opened, std::vector<QUrl>{QUrl(c.opened)});
    }
}

TEST_F(UpdateCheck, NothingIsShownWithoutANewerVersion)
{
    const QByteArray replies[] = {
        m_server.Ok("<version>9</version>", "500 Internal Server Error"),
        m_server.Ok(""),
        m_server.Ok("no tags at all"),
        m_server.Ok("<version>1.51</version>"),
        m_server.Ok("<version>1.5.9</version>"),
        m_server.Ok("<html><body>Moved</body></html>", "404 Not Found"),
    };
    for (const QByteArray& reply : replies) {
        SCOPED_TRACE(reply.toStdString());
        m_server.Serve("/", reply);
        Start(true, QMessageBox::Yes);
        EXPECT_EQ(m_nConnections, 1);
        EXPECT_TRUE(m_boxes.empty());
        EXPECT_TRUE(m_opened.empty());
    }
}

TEST_F(UpdateCheck, WithTheSettingOffNoConnectionIsMade)
{
    m_server.Serve("/", m_server.Ok("<version>9</version>"));
    Start(false, QMessageBox::Yes);
    EXPECT_EQ(m_nConnections, 0);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_FALSE(CGetHTTPFile::IsBusy());
}

TEST_F(UpdateCheck, ClosingTheProgramStopsASilentCheck)
{
    m_server.Serve("/", m_server.Silent());
    GeneralSettings = SGeneralSettings{};
    m_app = std::make_unique<CAmbrelApp>();
    m_app->m_bShowSplash = false;
    ASSERT_TRUE(m_app->InitInstance({}));
    QElapsedTimer clock;
    clock.start();
    while (m_server.Requests().empty() && clock.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(CGetHTTPFile::IsBusy());
    m_app.reset();
    EXPECT_FALSE(CGetHTTPFile::IsBusy());
    EXPECT_LT(clock.elapsed(), CGetHTTPFile::kTimeLimitMs);
}

} // namespace

#include "update_check_test.moc"
