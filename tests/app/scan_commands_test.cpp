#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "program_fixture.h"
#include "shell/command_ids.h"
#include "twain/sane_test_device.h"

using vxtest::CSaneTestConfig;
using vxtest::WaitFor;

namespace {

struct SSeenBox {
    QString title, text;
    QMessageBox::Icon icon;
};

class ScanCommands : public vxtest::ProgramTest {
protected:
    void TearDown() override
    {
        CVelvix_Twain::CloseTwain();
        qunsetenv("VELVIX_TWAIN_DSM");
        ProgramTest::TearDown();
    }
    // Runs a command of the main frame and answers the boxes it shows.
    std::vector<SSeenBox> Run(int id)
    {
        std::vector<SSeenBox> seen;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&seen] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && box->isVisible()) {
                seen.push_back({box->windowTitle(), box->text(), box->icon()});
                box->done(0);
            }
        });
        timer.start(10);
        m_main->ExecuteCommand(id);
        vxtest::ProcessEvents();
        return seen;
    }
};

} // namespace

TEST_F(ScanCommands, WithoutSourceManagerOrScannerTheTwainBoxSaysSo)
{
    struct Case {
        bool manager;
        int command;
        const char* text;
        QMessageBox::Icon icon;
    } cases[] = {
        {false, cmd::ID_SELECT_SOURCE, "Twain not present...", QMessageBox::Information},
        {false, cmd::ID_ACQUIRE, "Twain not present...", QMessageBox::Information},
        {true, cmd::ID_SELECT_SOURCE, "Source not selected...", QMessageBox::NoIcon},
        {true, cmd::ID_ACQUIRE, "Source not selected...", QMessageBox::NoIcon},
    };
    CSaneTestConfig noScanners(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (c.manager)
            qunsetenv("VELVIX_TWAIN_DSM");
        else
            qputenv("VELVIX_TWAIN_DSM", "/nonexistent/libvelvix_twain_dsm.so");
        const std::vector<SSeenBox> seen = Run(c.command);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].title, QStringLiteral("Twain"));
        EXPECT_EQ(seen[0].text, QLatin1String(c.text));
        EXPECT_EQ(seen[0].icon, c.icon);
        EXPECT_EQ(m_main->GetMDIChildCount(), 0);
        EXPECT_FALSE(CVelvix_Twain::IsSourceOpen());
        CVelvix_Twain::CloseTwain();
    }
}

// The new image window holds the scan as scanimage reads it, trimmed by auto
// crop when that is on (the grey pattern has dark bands at its edges).
TEST_F(ScanCommands, AnAcquiredPictureOpensInANewImageWindow)
{
    const vxtest::SScanSettings scan{"Gray", 8, 40, 30, 22, "Color pattern", 1, "Flatbed", 5};
    CSaneTestConfig config(1, scan.picture);
    CVelvix scanned = vxtest::ScanImageOracle(scan);
    ASSERT_TRUE(scanned.IsValidObject());
    for (bool autoCrop : {false, true}) {
        SCOPED_TRACE(autoCrop);
        GeneralSettings.bAutoCropScanned = autoCrop;
        GeneralSettings.nAutoCropTolerance = 100;
        CVelvix expected = scanned;
        if (autoCrop) {
            ASSERT_TRUE(expected.AutoCropForScannedImage(GeneralSettings.nAutoCropTolerance));
            ASSERT_LT(expected.GetWidth() * expected.GetHeight(), scanned.GetWidth() * scanned.GetHeight());
        }
        EXPECT_TRUE(Run(cmd::ID_ACQUIRE).empty());
        QWidget* dialog = vxtest::SourceDialog();
        ASSERT_NE(dialog, nullptr);
        const int before = m_main->GetMDIChildCount();
        vxtest::PressScan(dialog, scan);
        ASSERT_TRUE(WaitFor([&] { return m_main->GetMDIChildCount() == before + 1; }));
        vxtest::ImageWindowParts window = Active();
        ASSERT_NE(window.doc, nullptr);
        EXPECT_TRUE(window.doc->m_bCreatedFromImage);
        EXPECT_EQ(vxtest::FirstDifference(window.Image(), expected), -1);
        // The source stays for another page until its dialog is cancelled.
        dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        EXPECT_TRUE(WaitFor([] { return !CVelvix_Twain::IsSourceOpen(); }));
    }
}

// A scanner that sends nothing for seconds (a lamp warming up) scans on; one
// whose backend can wait without blocking is cancelled while it waits.
TEST_F(ScanCommands, ASlowScannerScansOnAndCancelsWhileItWaits)
{
    struct Case {
        bool nonBlocking, cancel;
    } cases[] = {{false, false}, {true, false}, {true, true}};
    CSaneTestConfig config;
    config.Backends("stall\n");
    qputenv("LD_LIBRARY_PATH", SANE_STALL_DIR);
    const std::string pipe = m_dir.File("device");
    const QString waiting = QString::fromStdString(pipe + ".waiting");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    qputenv("STALL_FIFO", QByteArray::fromStdString(pipe));
    const int device = open(pipe.c_str(), O_RDWR);
    ASSERT_GE(device, 0);
    const auto blocking = qScopeGuard([device] {
        qunsetenv("STALL_NONBLOCKING");
        close(device);
    });
    GeneralSettings.bAutoCropScanned = false;
    CVelvix page = vxtest::FilledImage(8, 8, 0x5A5A5A);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "non-blocking " << c.nonBlocking << " cancel " << c.cancel);
        if (c.nonBlocking)
            qputenv("STALL_NONBLOCKING", "1");
        else
            qunsetenv("STALL_NONBLOCKING");
        QFile::remove(waiting);
        EXPECT_TRUE(Run(cmd::ID_ACQUIRE).empty());
        QWidget* dialog = vxtest::SourceDialog();
        ASSERT_NE(dialog, nullptr);
        auto* scan = dialog->findChild<QPushButton*>(QStringLiteral("scanButton"));
        auto* status = dialog->findChild<QLabel*>(QStringLiteral("status"));
        const int before = m_main->GetMDIChildCount();
        scan->click();
        ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(waiting); }));
        WaitFor([] { return false; }, 2500);  // longer than any patience with a device
        EXPECT_EQ(status->text(), QStringLiteral("Scanning..."));
        if (c.cancel) {
            dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
            EXPECT_TRUE(WaitFor([&] { return scan->isEnabled(); }));
            EXPECT_EQ(status->text(), QStringLiteral("The scan was cancelled."));
            EXPECT_EQ(m_main->GetMDIChildCount(), before);
        } else {
            ASSERT_EQ(write(device, "x", 1), 1);
            ASSERT_TRUE(WaitFor([&] { return m_main->GetMDIChildCount() == before + 1; }));
            EXPECT_EQ(vxtest::FirstDifference(Active().Image(), page), -1);
            EXPECT_TRUE(status->text().isEmpty()) << status->text().toStdString();
        }
        dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        EXPECT_TRUE(WaitFor([] { return !CVelvix_Twain::IsSourceOpen(); }));
    }
}

// A scanner that stops answering in the middle of a page does not keep the
// program from ending: leaving waits a moment, then leaves the scan to its
// thread. SANE stays with that thread for the rest of the process, so this
// is the file's last test.
TEST_F(ScanCommands, LeavingWhileTheScannerHangsEndsTheProgram)
{
    CSaneTestConfig config;
    config.Backends("stall\n");
    qputenv("LD_LIBRARY_PATH", SANE_STALL_DIR);
    const std::string pipe = m_dir.File("device");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    qputenv("STALL_FIFO", QByteArray::fromStdString(pipe));
    // Held open, the pipe makes the device's read wait until it is closed.
    const int device = open(pipe.c_str(), O_RDWR);
    ASSERT_GE(device, 0);
    EXPECT_TRUE(Run(cmd::ID_ACQUIRE).empty());
    QWidget* dialog = vxtest::SourceDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QPushButton*>(QStringLiteral("scanButton"))->click();
    QPointer<QLabel> status = dialog->findChild<QLabel*>(QStringLiteral("status"));
    EXPECT_EQ(status->text(), QStringLiteral("Scanning..."));
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(QString::fromStdString(pipe + ".waiting")); }));

    std::atomic<bool> ended{false}, released{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 600 && !ended; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!ended) {
            released = true;
            (void)!write(device, "x", 1);
        }
    });
    m_app.reset();
    ended = true;
    watchdog.join();
    EXPECT_FALSE(released) << "leaving waited for the scanner";
    // The device gives up once its pipe closes; the scan's thread ends.
    close(device);
    EXPECT_TRUE(WaitFor([&] { return status && status->text() == QLatin1String("The scan was cancelled."); }));
}
