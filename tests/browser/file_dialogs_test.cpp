// The destination dialog and its file, the rename and overwrite dialogs and
// the picture box, offscreen.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <tuple>

#include "browser/fileops/confirm_overwrite_dialog.h"
#include "browser/fileops/file_op_asker.h"
#include "browser/fileops/folder_sets.h"
#include "browser/fileops/move_copy_dialog.h"
#include "browser/fileops/rename_dialog.h"
#include "browser/fileops/thumbnail_static.h"
#include "child_process.h"
#include "qt_test_support.h"
#include "scripted_asker.h"
#include "support/vx_helper.h"
#include "test_support.h"
#include "thread_start_refused.h"

namespace {

QByteArray SetBytes(const char* name, std::initializer_list<std::pair<int, const char*>> folders)
{
    QByteArray bytes(SFolderSet::kBytes, '\0');
    std::memcpy(bytes.data(), name, std::strlen(name));
    for (const auto& [slot, folder] : folders)
        std::memcpy(bytes.data() + 31 + 261 * slot, folder, std::strlen(folder));
    return bytes;
}

class FileDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings().clear();
        m_file = QString::fromStdString(m_dir.File("folsdata.dat"));
        m_browse = CMoveCopyDialog::s_pfnBrowse;
    }
    void TearDown() override { CMoveCopyDialog::s_pfnBrowse = m_browse; }

    void WriteSets(const QByteArray& bytes)
    {
        QFile file(m_file);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray ReadSets() const
    {
        QFile file(m_file);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    vxtest::TempDir m_dir;
    QString m_file;
    vxtest::ScriptedAsker m_ask;
    std::function<QString(QWidget*, const QString&)> m_browse;
};

TEST_F(FileDialogs, TheSetsFileIsReadAsWholeSets)
{
    const QByteArray two = SetBytes("Photos", {{0, "/home/u/zero"}, {12, "/home/u/ç [C] 100%"}}) +
                           SetBytes("Other", {{3, "/x"}});
    struct Case {
        const char* what;
        QByteArray bytes;
        int count;
    } const cases[] = {
        {"two sets and ten bytes more", two + QByteArray(10, 'x'), 2},
        {"a set cut short", QByteArray(SFolderSet::kBytes - 1, 'x'), 0},
        {"empty", QByteArray(), 0},
        {"fields without their zero", QByteArray(SFolderSet::kBytes, 'y'), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteSets(c.bytes);
        CFolderSets sets;
        sets.Load(m_file);
        EXPECT_EQ(int(sets.m_sets.size()), c.count);
    }
    WriteSets(two);
    CFolderSets sets;
    ASSERT_TRUE(sets.Load(m_file));
    EXPECT_EQ(sets.m_sets[0].name, QStringLiteral("Photos"));
    EXPECT_EQ(sets.m_sets[0].folders[12], QStringLiteral("/home/u/ç [C] 100%"));
    EXPECT_EQ(sets.m_sets[1].folders[3], QStringLiteral("/x"));
    // Written back byte for byte.
    ASSERT_TRUE(sets.Save(m_file));
    EXPECT_EQ(ReadSets(), two);
    EXPECT_FALSE(sets.Load(m_file + QStringLiteral(".missing")));
    EXPECT_TRUE(sets.m_sets.empty());
}

// A name is cut at a character; a folder is kept whole or not at all: cut,
// it would name another folder.
TEST_F(FileDialogs, LongNamesAreCutAtACharacterAndLongFoldersAreNotKept)
{
    SFolderSet set;
    set.name = QString(40, QLatin1Char('n'));
    const QString fits = QStringLiteral("/") + QString(200, QLatin1Char('a')) + QString(29, QChar(0x00E9));
    set.folders[4] = fits;
    set.folders[5] = fits + QChar(0x00E9);
    const SFolderSet back = SFolderSet::FromBytes(set.ToBytes().constData());
    EXPECT_EQ(back.name, QString(30, QLatin1Char('n')));
    EXPECT_EQ(back.folders[4], fits); // 259 bytes
    EXPECT_EQ(back.folders[5], QString());
    // The dialog says which slots it cannot keep; they still serve this time.
    WriteSets(SetBytes("sorted", {{1, "/one"}}));
    CMoveCopyDialog dialog(QStringLiteral("Copy x to"), nullptr, m_file);
    dialog.SlotEdit(5)->setText(set.folders[5]);
    dialog.SlotButton(5)->click();
    EXPECT_EQ(dialog.GetFolder(), set.folders[5]);
    EXPECT_EQ(m_ask.log, QStringList{QStringLiteral("warn: Ambrel | ") +
                                     QString::fromLatin1(CMoveCopyDialog::kFolderTooLong).arg("sorted: 5")});
    EXPECT_EQ(ReadSets(), SetBytes("sorted", {{1, "/one"}}));
}

TEST_F(FileDialogs, OpeningSelectsTheRememberedSet)
{
    WriteSets(SetBytes("one", {{1, "/1"}}) + SetBytes("two", {{1, "/2"}}) + SetBytes("three", {{1, "/3"}}));
    struct Case {
        QVariant stored;
        const char* folder;
    } const cases[] = {{2, "/3"},           {5, "/1"}, {-1, "/1"}, {QStringLiteral("garbage"), "/1"}, {QVariant(), "/1"},
                       {QStringLiteral("99999999999"), "/1"}, {QByteArray("\xff\x01\x00", 3), "/1"}};
    for (const Case& c : cases) {
        QSettings().setValue("CMoveCopyDialog/Combo", c.stored);
        CMoveCopyDialog dialog(QStringLiteral("Move x to"), nullptr, m_file);
        EXPECT_EQ(dialog.SlotEdit(1)->text(), QString::fromLatin1(c.folder)) << c.stored.toString().toStdString();
    }
}

TEST_F(FileDialogs, OneKeyPicksASlotEvenFromTheSetList)
{
    WriteSets(SetBytes("set", {{0, "/zero"}, {3, "/three"}, {10, "/ten [A]"}, {12, "/twelve"}}));
    CMoveCopyDialog::s_pfnBrowse = [](QWidget*, const QString& title) {
        return title == QLatin1String("Browse for Temporary Folder") ? QStringLiteral("/tmp/chosen") : QString();
    };
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool accepted;
        const char* folder;
    } const cases[] = {{Qt::Key_0, {}, true, "/zero"},       {Qt::Key_3, {}, true, "/three"},
                       {Qt::Key_3, Qt::KeypadModifier, true, "/three"}, {Qt::Key_A, {}, true, "/ten [A]"},
                       {Qt::Key_C, Qt::ShiftModifier, true, "/twelve"}, {Qt::Key_5, {}, true, ""},
                       {Qt::Key_T, {}, true, "/tmp/chosen"},           {Qt::Key_3, Qt::ControlModifier, false, ""},
                       {Qt::Key_D, {}, false, ""}};
    for (const Case& c : cases) {
        for (bool fromList : {true, false}) {
            SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString() + (fromList ? " list" : " button"));
            CMoveCopyDialog dialog(QStringLiteral("Move x to"), nullptr, m_file);
            dialog.show();
            QWidget* target = fromList ? static_cast<QWidget*>(dialog.SetList()) : dialog.AddButton();
            QTest::keyClick(target, c.key, c.modifiers);
            EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
            EXPECT_EQ(dialog.GetFolder(), QString::fromUtf8(c.folder));
        }
    }
    // A cancelled folder dialog leaves the destination dialog open.
    CMoveCopyDialog::s_pfnBrowse = [](QWidget*, const QString&) { return QString(); };
    CMoveCopyDialog dialog(QStringLiteral("Move x to"), nullptr, m_file);
    dialog.show();
    dialog.TempButton()->click();
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(FileDialogs, EditingTheSetsRewritesTheFileOnClose)
{
    const QByteArray original = SetBytes("first", {{1, "/one"}}) + SetBytes("second", {}) + QByteArray(10, 'z');
    WriteSets(original);
    {
        // Cancel without a change leaves the file as it was, ten bytes too.
        CMoveCopyDialog dialog(QStringLiteral("Copy x to"), nullptr, m_file);
        dialog.reject();
        EXPECT_EQ(ReadSets(), original);
    }
    CMoveCopyDialog::s_pfnBrowse = [](QWidget*, const QString& title) {
        return QStringLiteral("/picked/") + title;
    };
    CMoveCopyDialog dialog(QStringLiteral("Copy x to"), nullptr, m_file);
    dialog.SlotEdit(2)->setText(QStringLiteral("/typed"));
    dialog.BrowseButton(0)->click();
    dialog.BrowseButton(11)->click();
    vxtest::WhenShown<CAddGroupDialog>([](CAddGroupDialog* add) {
        add->Edit()->setText(QString(40, QLatin1Char('g')));
        add->accept();
    });
    dialog.AddButton()->click();
    dialog.SetList()->setCurrentIndex(1);
    dialog.DeleteButton()->click(); // "second" goes, "first" is selected again
    EXPECT_EQ(dialog.SetList()->currentIndex(), 0);
    EXPECT_EQ(dialog.SlotEdit(2)->text(), QStringLiteral("/typed"));
    dialog.reject();
    EXPECT_EQ(ReadSets(), SetBytes("first", {{0, "/picked/Browse for 10"}, {1, "/one"}, {2, "/typed"},
                                             {11, "/picked/Browse for B"}}) +
                              SetBytes("gggggggggggggggggggggggggggggg", {}));
    EXPECT_EQ(QSettings().value("CMoveCopyDialog/Combo").toInt(), 0);
}

TEST_F(FileDialogs, AFailedRewriteKeepsTheOldFileAndSaysSo)
{
    VX_SKIP_UNLESS_ROOT();
    // Sets that cannot be written, or that were there but could not be read,
    // stay exactly as they were after a set is added.
    const QByteArray original = SetBytes("kept", {{4, "/four"}});
    const std::string path = m_file.toStdString();
    struct Case {
        const char* what;
        mode_t folderMode;
        std::function<void()> make;
    } const cases[] = {
        {"a folder nobody may write", 0755, [&] { WriteSets(original); }},
        {"a file nobody may read", 0777, [&] { WriteSets(original); chmod(path.c_str(), 0622); }},
        {"a file of a terabyte", 0777, [&] {
             WriteSets(original);
             QFile(m_file).resize(qint64(1) << 40);
         }},
        {"a pipe", 0777, [&] { mkfifo(path.c_str(), 0666); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(m_file);
        c.make();
        chmod(m_dir.Path().c_str(), c.folderMode);
        struct stat before {}, after {};
        ASSERT_EQ(lstat(path.c_str(), &before), 0);
        const int result = vxtest::InChild([&] {
            alarm(60); // a dialog waiting for a writer of the pipe ends here
            if (!vxtest::BecomeNobody())
                return 10;
            CMoveCopyDialog dialog(QStringLiteral("Move x to"), nullptr, m_file);
            vxtest::WhenShown<CAddGroupDialog>([](CAddGroupDialog* add) {
                add->Edit()->setText(QStringLiteral("new"));
                add->accept();
            });
            dialog.AddButton()->click();
            m_ask.log.clear();
            dialog.reject();
            return m_ask.log == QStringList{QStringLiteral("warn: Ambrel | Error opening folder data file for writing")}
                       ? 0
                       : 11;
        });
        EXPECT_EQ(result, 0);
        ASSERT_EQ(lstat(path.c_str(), &after), 0);
        // The same file, not rewritten, and nothing left beside it.
        EXPECT_EQ(std::make_tuple(after.st_ino, after.st_size, after.st_mtim.tv_sec, after.st_mtim.tv_nsec),
                  std::make_tuple(before.st_ino, before.st_size, before.st_mtim.tv_sec, before.st_mtim.tv_nsec));
        EXPECT_EQ(QDir(QString::fromStdString(m_dir.Path().string())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                  QStringList{QStringLiteral("folsdata.dat")});
    }
}

TEST_F(FileDialogs, RenameDialogRefusesDotsSlashesAndEmptyNames)
{
    struct Case {
        const char* name;
        bool accepted;
    } const cases[] = {{"new name [1] 100%", true}, {"été", true}, {"a.b", false}, {"a/b", false}, {"", false}};
    for (const Case& c : cases) {
        CRenameDialog dialog(QStringLiteral("photo"));
        EXPECT_FALSE(dialog.SerialButton()->isEnabled());
        dialog.Edit()->setText(QString::fromUtf8(c.name));
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted) << c.name;
        dialog.OriginalButton()->click();
        EXPECT_EQ(dialog.GetName(), QStringLiteral("photo"));
    }
}

CVelvix Picture(int w, int h)
{
    return vxtest::RandomImage(w, h, std::uint32_t(w * 7 + h));
}

TEST_F(FileDialogs, OverwriteDialogShowsBothFilesAndGivesTheButtonsNumber)
{
    const std::string source = m_dir.File("source.bmp"), target = m_dir.File("target.png");
    ASSERT_EQ(Picture(40, 30).SaveImage(source.c_str()), 1);
    ASSERT_EQ(Picture(20, 50).SaveImage(target.c_str()), 1);
    const QString s = QString::fromStdString(source), t = QString::fromStdString(target);
    for (int button = 1; button <= 4; ++button) {
        CConfirmOverwriteDialog dialog(s, t);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Confirm file overwrite"));
        EXPECT_EQ(dialog.SizeLabel(true)->text(), QStringLiteral("%1 bytes").arg(QFileInfo(s).size()));
        EXPECT_EQ(dialog.SizeLabel(false)->text(), QStringLiteral("%1 bytes").arg(QFileInfo(t).size()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.SourceBox()->IsDecoding() && !dialog.TargetBox()->IsDecoding(); }));
        EXPECT_EQ(dialog.SourceBox()->GetResolutionText(), QStringLiteral("(40 x 30)"));
        EXPECT_EQ(dialog.TargetBox()->GetResolutionText(), QStringLiteral("(20 x 50)"));
        vxtest::WhenShown<CConfirmOverwriteDialog>([button](CConfirmOverwriteDialog* shown) {
            shown->Button(button)->click();
        });
        EXPECT_EQ(dialog.exec(), button);
    }
    CConfirmOverwriteDialog dialog(s, t);
    vxtest::WhenShown<CConfirmOverwriteDialog>([](CConfirmOverwriteDialog* shown) {
        QTest::keyClick(shown, Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.exec(), int(CConfirmOverwriteDialog::kCancel));
    // Dates without leading zeros, in UTC.
    QFile touched(s);
    ASSERT_TRUE(touched.open(QIODevice::ReadWrite));
    ASSERT_TRUE(touched.setFileTime(QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7), Qt::UTC),
                                    QFileDevice::FileModificationTime));
    touched.close();
    const QString date = CConfirmOverwriteDialog::DateText(s);
    EXPECT_TRUE(date == QStringLiteral("4-3-2021 5:6:7") || QFileInfo(s).birthTime().isValid()) << date.toStdString();
}

// A failure within a batch: the same warning, with a way out of the run.
TEST_F(FileDialogs, AFailureInABatchOffersToStop)
{
    SetFileOpAsker(nullptr);
    const std::pair<std::function<void(QMessageBox*)>, bool> answers[] = {
        {[](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); }, true},
        {[](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }, true},
        {[](QMessageBox* box) { box->buttons().back()->click(); }, false},
        {[](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }, false},
    };
    for (const auto& [answer, goOn] : answers) {
        QString text;
        int buttons = 0;
        vxtest::WhenShown<QMessageBox>([&, answer = answer](QMessageBox* box) {
            text = box->text();
            buttons = int(box->buttons().size());
            answer(box);
        });
        EXPECT_EQ(FileOpAsker().TellGoOn(QStringLiteral("Could not move file"), QStringLiteral("Ambrel")), goOn);
        EXPECT_EQ(text, QStringLiteral("Could not move file"));
        EXPECT_EQ(buttons, 2);
    }
    SetFileOpAsker(&m_ask);
}

// Also when the system refuses the decode's thread (too many running): the
// picture then decodes on this one (a pool's refused thread never decoded
// it, and the pool kept the program from ending).
TEST_F(FileDialogs, PictureBoxDrawsTheFittedPictureInsideItsFrame)
{
    const std::string path = m_dir.File("exact [fit] 100%.bmp");
    CVelvix picture = Picture(64, 32);
    ASSERT_EQ(picture.SaveImage(path.c_str()), 1);
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "thread refused" : "on a thread");
        CThumbnailStatic box;
        box.resize(66, 34);
        QSignalSpy decoded(&box, &CThumbnailStatic::Decoded);
        QThreadPool::globalInstance()->waitForDone();  // no pooled thread left waiting for work
        g_refuseThreads = refused;
        const bool started = box.SetFile(QString::fromStdString(path));
        g_refuseThreads = false;
        ASSERT_TRUE(started);
        ASSERT_TRUE(decoded.wait(10000));
        EXPECT_TRUE(decoded.first().first().toBool());
        EXPECT_EQ(box.GetResolutionText(), QStringLiteral("(64 x 32)"));
        const QString bytes = CVxHelper::FormatNumber(QString::number(QFileInfo(QString::fromStdString(path)).size()));
        EXPECT_EQ(box.GetSizeText(), bytes + QStringLiteral(" byte(s)"));
        const QImage shot = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(shot.size(), QSize(66, 34));
        long wrong = 0;
        for (int y = 0; y < 34; ++y)
            for (int x = 0; x < 66; ++x) {
                const bool frame = x == 0 || y == 0 || x == 65 || y == 33;
                // The picture's row 0 is its bottom row.
                const QRgb expected = frame ? 0xFF000000 : (0xFF000000 | picture.Bytes(x - 1, 32 - y));
                wrong += (shot.pixel(x, y) | 0xFF000000) != expected;
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(FileDialogs, PictureBoxOpensItsPathOnDoubleClickEvenUndecoded)
{
    QStringList opened;
    const auto open = CThumbnailStatic::s_pfnOpenViewer;
    CThumbnailStatic::s_pfnOpenViewer = [&opened](const QString& path) { opened << path; };
    const QString broken = QString::fromStdString(m_dir.File("not a picture.jpg"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("no jpeg here");
    file.close();
    CThumbnailStatic box;
    box.resize(50, 40);
    QSignalSpy decoded(&box, &CThumbnailStatic::Decoded);
    box.SetFile(broken);
    ASSERT_TRUE(decoded.wait(10000));
    EXPECT_FALSE(decoded.first().first().toBool());
    EXPECT_EQ(box.GetFilePath(), broken);
    const QImage shot = box.grab().toImage();
    EXPECT_EQ(shot.pixel(25, 20), box.palette().button().color().rgb());
    QTest::mouseDClick(&box, Qt::LeftButton);
    box.Clear();
    QTest::mouseDClick(&box, Qt::LeftButton);
    EXPECT_EQ(opened, QStringList{broken});
    // A box cleared while decoding never shows the old picture.
    box.SetFile(broken);
    box.Clear();
    QTest::qWait(200);
    EXPECT_TRUE(box.GetFilePath().isEmpty());
    CThumbnailStatic::s_pfnOpenViewer = open;
}

} // namespace
