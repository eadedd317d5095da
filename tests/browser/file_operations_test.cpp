// The file operations with their questions answered by a script: rename,
// delete into the trash, the overwrite question and automatic renaming,
// batches, and undo.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "browser/fileops/file_operations.h"
#include "browser/fileops/file_undo.h"
#include "child_process.h"
#include "scripted_asker.h"
#include "settings/general_settings.h"
#include "test_support.h"

namespace {

using namespace fileops_text;

const QStringList kHostileNames = {QStringLiteral("with space"), QStringLiteral("100%"),  QStringLiteral("%1%s"),
                                   QStringLiteral("[a-z]"),      QStringLiteral("star*?"), QStringLiteral("quo\"te'"),
                                   QStringLiteral("Ünïcødé 写真"),
                                   QStringLiteral("line\nbreak")};

QString Warn(const char* text)
{
    return QStringLiteral("warn: Ambrel | ") + QString::fromUtf8(text);
}

class FileOperations : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings().clear();
        GeneralSettings = SGeneralSettings{};
        CFileUndo::Instance().Clear();
    }
    void TearDown() override
    {
        g_bBatchFileOperation = false;
        g_strBatchDestinationFolder.clear();
    }

    QString Path(const QString& relative) const
    {
        return QString::fromStdString(m_dir.Path().string()) + QLatin1Char('/') + relative;
    }
    QString Make(const QString& relative, const QByteArray& bytes = "photo")
    {
        const QString path = Path(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QStringList Files(const QString& folder) const
    {
        return QDir(Path(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    vxtest::TempDir m_dir;
    vxtest::ScriptedAsker m_ask;
};

TEST_F(FileOperations, SplitsPathsLikeTheRuntime)
{
    struct Case {
        const char *path, *folder, *name, *extension;
    } const cases[] = {{"/a/b/photo.jpg", "/a/b/", "photo", ".jpg"},
                       {"photo.tar.gz", "", "photo.tar", ".gz"},
                       {"/a.b/photo", "/a.b/", "photo", ""},
                       {"/a/.hidden", "/a/", ".hidden", ""},
                       {"/", "/", "", ""}};
    for (const Case& c : cases) {
        const SSplitPath parts = SplitPath(QString::fromUtf8(c.path));
        EXPECT_EQ(parts.folder + QLatin1Char('|') + parts.name + QLatin1Char('|') + parts.extension,
                  QStringLiteral("%1|%2|%3").arg(c.folder, c.name, c.extension));
    }
}

TEST_F(FileOperations, RenameKeepsTheExtensionAndNeverReplaces)
{
    for (const QString& name : kHostileNames) {
        SCOPED_TRACE(name.toStdString());
        const QString old = Make(QStringLiteral("old.JPG"));
        m_ask.names = {name};
        EXPECT_EQ(RenameFile(old, false), Path(name + QStringLiteral(".JPG")));
        EXPECT_EQ(Read(Path(name + QStringLiteral(".JPG"))), "photo");
        QFile::remove(Path(name + QStringLiteral(".JPG")));
    }
    const QString photo = Make(QStringLiteral("photo.jpg")), other = Make(QStringLiteral("other.jpg"), "other");
    struct Case {
        const char* what;
        std::deque<std::optional<QString>> names;
        bool retry;
        QString result;
        QStringList told;
    } const cases[] = {
        {"cancelled", {std::nullopt}, false, QString(), {}},
        {"same name", {QStringLiteral("photo")}, false, QString(), {}},
        {"taken name", {QStringLiteral("other")}, false, QString(), {Warn(kRenameFailed)}},
        {"a path", {QStringLiteral("../photo")}, false, QString(), {Warn(kRenameFailed)}},
        {"taken, then free", {QStringLiteral("other"), QStringLiteral("new")}, true, Path(QStringLiteral("new.jpg")),
         {Warn(kRenameFailedRetry)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_ask.log.clear();
        m_ask.names = c.names;
        EXPECT_EQ(RenameFile(photo, c.retry), c.result);
        EXPECT_EQ(m_ask.log.filter(QStringLiteral("warn")), c.told);
        EXPECT_EQ(Read(other), "other");
    }
    EXPECT_EQ(Files(QString()), (QStringList{QStringLiteral("new.jpg"), QStringLiteral("other.jpg")}));
    // Undo gives the old name back.
    EXPECT_EQ(CFileUndo::Instance().Undo(), QString());
    EXPECT_EQ(Read(photo), "photo");
}

TEST_F(FileOperations, DeleteAsksUnlessInABatchAndGoesToTheTrash)
{
    const QString photo = Make(QStringLiteral("[del] 100%.jpg"));
    m_ask.yesNo = {false};
    EXPECT_FALSE(DeleteFileAsk(photo));
    EXPECT_EQ(m_ask.log, QStringList{QStringLiteral("ask: Confirm Delete | Are you sure you want to delete the file "
                                                    "[del] 100%.jpg ?")});
    EXPECT_EQ(Read(photo), "photo");

    m_ask.yesNo = {true};
    EXPECT_TRUE(DeleteFileAsk(photo));
    EXPECT_FALSE(QFile::exists(photo));
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
    EXPECT_EQ(QDir(trash + "/files").entryList(QDir::Files).filter("[del] 100%").size(), 1);
    EXPECT_EQ(CFileUndo::Instance().Undo(), QString());
    EXPECT_EQ(Read(photo), "photo");
    EXPECT_TRUE(QDir(trash + "/info").entryList(QDir::Files).filter("[del] 100%").isEmpty());

    // In a batch nothing is asked; with the trash off the file is gone.
    SetMoveDeletedFilesToTrash(false);
    m_ask.log.clear();
    {
        CBatchFileOperation batch;
        EXPECT_TRUE(DeleteFileAsk(photo));
    }
    EXPECT_TRUE(m_ask.log.isEmpty());
    EXPECT_FALSE(QFile::exists(photo));
    // Nothing to put back after a permanent delete of the batch.
    EXPECT_EQ(CFileUndo::Instance().Undo(), QString::fromLatin1(CFileUndo::kNothingToUndo));

    // A folder or a missing file is not deleted.
    m_ask.yesNo = {true, true};
    m_ask.log.clear();
    EXPECT_FALSE(DeleteFileAsk(Path(QString())));
    EXPECT_FALSE(DeleteFileAsk(photo));
    EXPECT_EQ(m_ask.log.filter("warn"), QStringList(2, Warn(kDeleteFailed)));
}

// The trash takes no link that leads nowhere (missing target, loop): the
// second question says that only the link goes, and for good.
TEST_F(FileOperations, DeletingALinkThatLeadsNowhereSaysItGoesForGood)
{
    struct Case {
        const char* name;
        const char* target;
        bool yes; // to the second question
    } cases[] = {
        {"[gone] 100% \xC3\xA9.jpg", "missing.jpg", true},
        {"loop.jpg", "loop.jpg", true},
        {"kept link.jpg", "missing.jpg", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString link = Path(QString::fromUtf8(c.name));
        ASSERT_EQ(symlink(c.target, link.toUtf8().constData()), 0);
        m_ask.yesNo = {true, c.yes};
        m_ask.log.clear();
        EXPECT_EQ(DeleteFileAsk(link), c.yes);
        const QString name = QString::fromUtf8(c.name);
        const QString ask = QStringLiteral("ask: Confirm Delete | ");
        EXPECT_EQ(m_ask.log, (QStringList{ask + QString::fromUtf8(kConfirmDelete).arg(name),
                                          ask + QString::fromUtf8(kNoTrashForLink).arg(name)}));
        EXPECT_EQ(QFileInfo(link).isSymLink(), !c.yes);
        EXPECT_EQ(CFileUndo::Instance().Undo(), QString::fromLatin1(CFileUndo::kNothingToUndo));
    }
    // A yes for a link in a batch is no yes for the batch's other deletes.
    CBatchFileOperation batch;
    m_ask.yesNo = {true, true};
    m_ask.log.clear();
    for (const char* name : {"a.jpg", "b.jpg"}) {
        ASSERT_EQ(symlink("missing.jpg", Path(QString::fromLatin1(name)).toUtf8().constData()), 0);
        EXPECT_TRUE(DeleteFileAsk(Path(QString::fromLatin1(name))));
    }
    EXPECT_EQ(m_ask.log.size(), 2);
}

// In a folder that ignores case (vfat, here through the FUSE driver
// fusefat), a new spelling of a file's name is that file: a rename that only
// changes the case works, and so does its undo. A name that is another file
// stays refused, both files intact.
TEST_F(FileOperations, ARenameOfTheCaseOnlyWorksWhereCaseIsIgnored)
{
    const std::string image = m_dir.File("fat.img"), folder = Path(QStringLiteral("fat")).toStdString();
    QDir().mkpath(QString::fromStdString(folder));
    VX_SKIP_UNLESS_MOUNT(folder);
    const std::string make = "truncate -s 8M '" + image + "' && mkfs.vfat '" + image + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "needs mkfs.vfat (dosfstools) to make a vfat image";
    const int result = vxtest::InChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            std::system(("fusefat -o rw+ '" + image + "' '" + folder + "' >/dev/null 2>&1").c_str()) != 0)
            return 20;
        const QString photo = Make(QStringLiteral("fat/photo.jpg"));
        const QString other = Make(QStringLiteral("fat/other.jpg"), "o");
        m_ask.names = {QStringLiteral("Photo"), QStringLiteral("OTHER")};
        int failed = RenameFile(photo, false) == Path(QStringLiteral("fat/Photo.jpg")) ? 0 : 1;
        if (!failed && Files(QStringLiteral("fat")).join(' ') != QStringLiteral("Photo.jpg other.jpg"))
            failed = 2;
        if (!failed && !RenameFile(Path(QStringLiteral("fat/Photo.jpg")), false).isEmpty())
            failed = 3;
        if (!failed && !CFileUndo::Instance().Undo().isEmpty())
            failed = 4;
        if (!failed && (Files(QStringLiteral("fat")).join(' ') != QStringLiteral("other.jpg photo.jpg") ||
                        Read(photo) != "photo" || Read(other) != "o"))
            failed = 5;
        umount2(folder.c_str(), 0);
        return failed;
    });
    if (result == 20)
        GTEST_SKIP() << "needs fusefat and /dev/fuse to mount a vfat image";
    EXPECT_EQ(result, 0);
}

TEST_F(FileOperations, DeleteOfAFileTheUserMayNotDeleteSaysSo)
{
    VX_SKIP_UNLESS_ROOT();
    const QString photo = Make(QStringLiteral("locked/photo.jpg"));
    chmod(m_dir.Path().c_str(), 0755); // nobody sees the file but may not delete it
    const int result = vxtest::InChild([&] {
        if (!vxtest::BecomeNobody())
            return 10;
        m_ask.yesNo = {true};
        m_ask.log.clear();
        if (DeleteFileAsk(photo))
            return 11;
        return m_ask.log.last() == Warn(kDeleteFailed) ? 0 : 12;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Read(photo), "photo");
}

TEST_F(FileOperations, DifferentSizesAreRenamedWithoutAQuestion)
{
    GeneralSettings.bAutoRenameDifferentSizes = 1;
    struct Case {
        const char *target, *base;
    } const cases[] = {{"Holiday2024 [x].jpg", "Holiday"}, {"2024.jpg", "AMB"}, {"été.jpg", "AMB"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const QString source = Make(QStringLiteral("src/") + QString::fromUtf8(c.target), "new photo");
        const QString target = Make(QStringLiteral("dst/") + QString::fromUtf8(c.target), "old");
        m_ask.log.clear();
        ASSERT_TRUE(MoveFileChecked(source, target));
        EXPECT_EQ(Read(target), "old");
        const QStringList moved = Files(QStringLiteral("dst")).filter(QRegularExpression(
            QStringLiteral("^%1[A-Z]{3}1\\.jpg$").arg(QString::fromLatin1(c.base))));
        ASSERT_EQ(moved.size(), 1);
        EXPECT_EQ(Read(Path(QStringLiteral("dst/") + moved[0])), "new photo");
        EXPECT_EQ(m_ask.log, QStringList{QStringLiteral("info: Auto rename | The new generated name is : ") +
                                         QFileInfo(moved[0]).completeBaseName()});
        QFile::remove(Path(QStringLiteral("dst/") + moved[0]));
    }
}

TEST_F(FileOperations, OverwriteQuestionAnswers)
{
    struct Case {
        const char* what;
        int answer;
        std::deque<std::optional<QString>> names;
        bool moved;
        const char* renamedTo;
        int messages;
    } const cases[] = {
        {"overwrite", 1, {}, true, nullptr, 0},
        {"cancel", 2, {}, false, nullptr, 0},
        {"rename, cancelled", 4, {std::nullopt}, false, nullptr, 0},
        {"rename to its own name", 4, {QStringLiteral("photo")}, false, nullptr, 0},
        {"rename to a taken name, then a free one", 4, {QStringLiteral("taken"), QStringLiteral("free")}, true,
         "free.jpg", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString source = Make(QStringLiteral("src/photo.jpg"), "new");
        const QString target = Make(QStringLiteral("dst/photo.jpg"), "old");
        Make(QStringLiteral("dst/taken.jpg"), "taken");
        m_ask.log.clear();
        m_ask.overwrite = {c.answer};
        m_ask.names = c.names;
        EXPECT_EQ(MoveFileChecked(source, target), c.moved);
        EXPECT_EQ(m_ask.log.first(), QStringLiteral("overwrite: %1 | %2").arg(source, target));
        const QString landed = c.renamedTo ? Path(QStringLiteral("dst/")) + c.renamedTo : target;
        EXPECT_EQ(Read(landed), c.moved ? "new" : "old");
        EXPECT_EQ(QFile::exists(source), !c.moved);
        EXPECT_EQ(Read(Path(QStringLiteral("dst/taken.jpg"))), "taken");
        EXPECT_EQ(m_ask.log.filter(QStringLiteral("Already exists")).size(), c.messages);
        QDir(Path(QStringLiteral("dst"))).removeRecursively();
    }
}

TEST_F(FileOperations, AFileIsNeitherCopiedNorMovedOntoItself)
{
    const QString photo = Make(QStringLiteral("photo.jpg"));
    EXPECT_FALSE(MoveFileChecked(photo, photo));
    EXPECT_FALSE(CopyFileChecked(photo, photo));
    EXPECT_EQ(m_ask.log, (QStringList{Warn(kMoveFailed), Warn(kCopyFailed)}));
    EXPECT_EQ(Read(photo), "photo");
}

TEST_F(FileOperations, AutoRenameNamesSkipTakenOnesAndGiveUpAfterAThousand)
{
    const QString folder = Path(QStringLiteral("auto"));
    QDir().mkpath(folder);
    struct Case {
        int random;
        const char* letters;
    } const cases[] = {{0, "AAA"}, {32767, "ZZZ"}, {16384, "MMM"}, {32766, "YYY"}};
    for (const Case& c : cases)
        EXPECT_EQ(MakeAutoRenameName(folder + QStringLiteral("//"), QStringLiteral("B"), QStringLiteral(".png"),
                                     [&] { return c.random; }),
                  folder + QStringLiteral("/B%1%2.png").arg(QString::fromLatin1(c.letters)).arg(1));
    const auto zero = [] { return 0; };
    Make(QStringLiteral("auto/BAAA1.png"));
    QDir().mkpath(folder + QStringLiteral("/BAAA2.png")); // a folder takes the name too
    EXPECT_EQ(MakeAutoRenameName(folder, QStringLiteral("B"), QStringLiteral(".png"), zero),
              folder + QStringLiteral("/BAAA3.png"));
    for (int n = 3; n <= 1000; ++n)
        Make(QStringLiteral("auto/BAAA%1.png").arg(n));
    EXPECT_EQ(MakeAutoRenameName(folder, QStringLiteral("B"), QStringLiteral(".png"), zero), QString());
}

TEST_F(FileOperations, ABatchAsksForTheDestinationOnce)
{
    const QString dest = Path(QStringLiteral("sorted [2024] 100%"));
    QDir().mkpath(dest);
    QStringList sources;
    for (const QString& name : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")})
        sources << Make(name + QStringLiteral(".jpg"), name.toLatin1());
    {
        CBatchFileOperation batch;
        m_ask.destinations = {dest + QStringLiteral("/ \t")};
        for (const QString& source : sources)
            EXPECT_EQ(MoveFileTo(source), 1);
        EXPECT_EQ(g_strBatchDestinationFolder, dest + QStringLiteral("/"));
    }
    EXPECT_FALSE(g_bBatchFileOperation);
    EXPECT_TRUE(g_strBatchDestinationFolder.isEmpty());
    EXPECT_EQ(m_ask.log, QStringList{QStringLiteral("destination: Move a to")});
    EXPECT_EQ(QDir(dest).entryList(QDir::Files),
              (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")}));
    // Undo puts the whole batch back.
    EXPECT_EQ(CFileUndo::Instance().Undo(), QString());
    for (const QString& source : sources)
        EXPECT_TRUE(QFile::exists(source)) << source.toStdString();
    EXPECT_TRUE(QDir(dest).entryList(QDir::Files).isEmpty());
}

// A failure within a batch may stop it (a full disk would give one message
// per file): the files not reached yet stay as they are, nothing more is asked.
TEST_F(FileOperations, AFailureInABatchMayStopTheRest)
{
    const struct {
        const char* what;
        std::function<bool(const QString&)> run;
        QStringList leftAfterGoingOn;
        bool intoDestination;
    } operations[] = {
        {"move", [](const QString& path) { return MoveFileTo(path) == 1; }, {}, true},
        {"copy", [](const QString& path) { return CopyFileTo(path) == 1; }, {"b.jpg", "c.jpg"}, true},
        {"delete", [](const QString& path) { return DeleteFileAsk(path); }, {}, false},
        {"rename", [](const QString& path) { return !RenameFile(path, false).isEmpty(); }, {"new 2.jpg", "new 3.jpg"},
         false},
    };
    for (const auto& operation : operations)
        for (const bool stop : {true, false}) {
            SCOPED_TRACE(std::string(operation.what) + (stop ? " stopped" : " going on"));
            const QString folder = QStringLiteral("%1 %2").arg(operation.what).arg(stop);
            const QString dest = Path(folder + QStringLiteral("/to"));
            QDir().mkpath(dest);
            // The first file vanished after it was listed.
            const QStringList sources = {Path(folder + QStringLiteral("/a [1] 100%.jpg")),
                                         Make(folder + QStringLiteral("/b.jpg")), Make(folder + QStringLiteral("/c.jpg"))};
            m_ask.log.clear();
            m_ask.destinations = {dest};
            m_ask.names = {QStringLiteral("new 1"), QStringLiteral("new 2"), QStringLiteral("new 3")};
            m_ask.goOn = {!stop};
            QStringList done;
            {
                CBatchFileOperation batch;
                for (const QString& source : sources)
                    if (operation.run(source))
                        done << QFileInfo(source).fileName();
            }
            EXPECT_EQ(m_ask.log.filter(QStringLiteral("warn: ")).size(), 1) << m_ask.log.join('\n').toStdString();
            if (stop)
                EXPECT_TRUE(m_ask.log.last().startsWith(QStringLiteral("warn: ")));
            EXPECT_EQ(Files(folder), stop ? QStringList({"b.jpg", "c.jpg"}) : operation.leftAfterGoingOn);
            EXPECT_EQ(done, stop ? QStringList() : QStringList({"b.jpg", "c.jpg"}));
            EXPECT_EQ(Files(folder + QStringLiteral("/to")),
                      stop || !operation.intoDestination ? QStringList() : QStringList({"b.jpg", "c.jpg"}));
        }
}

TEST_F(FileOperations, ARelativeDestinationIsAFolderOfTheFirstFilesFolder)
{
    const QString first = Make(QStringLiteral("a/photo 1.jpg")), second = Make(QStringLiteral("b/photo 2.jpg"));
    QDir().mkpath(Path(QStringLiteral("a/sorted")));
    CBatchFileOperation batch;
    m_ask.destinations = {QStringLiteral("sorted")};
    EXPECT_EQ(MoveFileTo(first), 1);
    EXPECT_EQ(MoveFileTo(second), 1);
    EXPECT_EQ(Files(QStringLiteral("a/sorted")), (QStringList{QStringLiteral("photo 1.jpg"), QStringLiteral("photo 2.jpg")}));
}

TEST_F(FileOperations, CancelledOrEmptyDestinationsEndTheBatch)
{
    const QString photo = Make(QStringLiteral("photo.jpg"));
    for (const std::optional<QString>& choice : {std::optional<QString>(), std::optional<QString>(QStringLiteral(" ")),
                                                 std::optional<QString>(QString())}) {
        CBatchFileOperation batch;
        m_ask.destinations = {choice};
        EXPECT_EQ(MoveFileTo(photo), -1);
        m_ask.destinations = {choice};
        EXPECT_EQ(CopyFileTo(photo), -1);
        EXPECT_TRUE(g_strBatchDestinationFolder.isEmpty());
    }
    EXPECT_EQ(Files(QString()), QStringList{QStringLiteral("photo.jpg")});
}

// Cancel in the progress window of a long copy, also of a move to another
// file system: no failure is reported, source and target stay as they were,
// and the rest of the batch (a group's run of ...Checked calls too) is not done.
TEST_F(FileOperations, CancelInTheCopyProgressChangesNothingAndEndsTheBatch)
{
    const QString other = QStringLiteral("other disk [1] 100%");
    const QString dest = Path(other);
    QDir().mkpath(dest);
    VX_SKIP_UNLESS_MOUNT(dest.toStdString());
    QByteArray big(5 << 20, '\0'); // more than one piece of the copy
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 131 >> 3);
    const QString name = QStringLiteral("é 1 *?.jpg");
    const QString first = Make(name, big), second = Make(QStringLiteral("%s 2.jpg"));
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [] {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* progress = qobject_cast<QProgressDialog*>(window); progress && progress->isVisible())
                progress->findChild<QPushButton*>()->click();
    });
    struct Case {
        const char* what;
        bool move;
        bool existing;
    } const cases[] = {{"copy", false, false},
                       {"copy over a file", false, true},
                       {"move to another disk", true, false},
                       {"move over a file on another disk", true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int result = vxtest::InChild([&] {
            if (!vxtest::MountTmpfs(dest.toStdString(), 32 << 10))
                return 10;
            if (c.existing)
                Make(other + QLatin1Char('/') + name, "old");
            g_nCopyProgressDelayMs = 0;
            m_ask.destinations = {dest};
            m_ask.overwrite = {1};
            CBatchFileOperation batch;
            cancel.start(0);
            const int cancelled = c.move ? MoveFileTo(first) : CopyFileTo(first);
            const int next = c.move ? MoveFileTo(second) : CopyFileTo(second);
            const bool checked =
                c.move ? MoveFileChecked(second, dest + "/2.jpg") : CopyFileChecked(second, dest + "/2.jpg");
            cancel.stop();
            if (cancelled != -1 || next != -1 || checked)
                return 11;
            if (m_ask.log.size() != (c.existing ? 2 : 1)) // the destination and the overwrite question only
                return 12;
            if (Files(other) != (c.existing ? QStringList{name} : QStringList()))
                return 13;
            if (c.existing && Read(dest + QLatin1Char('/') + name) != "old")
                return 14;
            return Read(first) == big && Read(second) == "photo" ? 0 : 15;
        });
        EXPECT_EQ(result, 0);
    }
}

// Nobody was asked about a file that another program writes by the target's
// name while a long copy runs: it stays, and the copy fails.
TEST_F(FileOperations, AFileMadeAtTheTargetDuringACopyIsNeverReplaced)
{
    const QString other = QStringLiteral("other disk [2] 100%");
    const QString dest = Path(other);
    QDir().mkpath(dest);
    VX_SKIP_UNLESS_MOUNT(dest.toStdString());
    QByteArray big(9 << 20, '\0'); // several pieces of the copy
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 131 >> 3);
    const QString name = QStringLiteral("é 1 *?.jpg");
    const QString photo = Make(name, big);
    QTimer newcomer;
    QObject::connect(&newcomer, &QTimer::timeout, [&] {
        if (!QFile::exists(dest + QLatin1Char('/') + name))
            Make(other + QLatin1Char('/') + name, "newcomer");
    });
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move to another disk" : "copy");
        const int result = vxtest::InChild([&] {
            if (!vxtest::MountTmpfs(dest.toStdString(), 32 << 10))
                return 10;
            g_nCopyProgressDelayMs = 0;
            m_ask.destinations = {dest};
            newcomer.start(0); // runs while the progress window shows
            const int done = move ? MoveFileTo(photo) : CopyFileTo(photo);
            newcomer.stop();
            if (done != 0 || m_ask.log.last() != Warn(move ? kMoveFailed : kCopyFailed))
                return 11;
            if (Files(other) != QStringList{name} || Read(dest + QLatin1Char('/') + name) != "newcomer")
                return 12;
            return Read(photo) == big ? 0 : 13;
        });
        EXPECT_EQ(result, 0);
    }
}

TEST_F(FileOperations, SkippingAnExistingTargetCountsForACopyButNotForAMove)
{
    const QString photo = Make(QStringLiteral("photo.jpg"), "new");
    Make(QStringLiteral("dst/photo.jpg"), "old");
    QString done;
    m_ask.destinations = {Path(QStringLiteral("dst")), Path(QStringLiteral("dst"))};
    m_ask.overwrite = {2, 2};
    EXPECT_EQ(CopyFileTo(photo, &done), 1);
    EXPECT_EQ(MoveFileTo(photo, &done), 0);
    EXPECT_TRUE(done.isEmpty());
    m_ask.destinations = {Path(QStringLiteral("dst")), Path(QStringLiteral("missing folder"))};
    m_ask.overwrite = {1};
    EXPECT_EQ(CopyFileTo(photo, &done), 1);
    EXPECT_EQ(done, Path(QStringLiteral("dst/photo.jpg")));
    EXPECT_EQ(Read(done), "new");
    EXPECT_EQ(MoveFileTo(photo), 0);
    EXPECT_EQ(m_ask.log.last(), Warn(kMoveFailed));
    EXPECT_EQ(m_ask.log.filter("destination: Copy photo to").size(), 2);
}

TEST_F(FileOperations, UndoRefusesWhenTheFileHasChangedPlace)
{
    const QString photo = Make(QStringLiteral("photo.jpg"));
    const QString dest = Path(QStringLiteral("dst"));
    QDir().mkpath(dest);
    struct Case {
        const char* what;
        std::function<void()> meddle;
        const char* refusal;
    } const cases[] = {
        {"moved on", [&] { QFile::rename(dest + "/photo.jpg", dest + "/elsewhere.jpg"); }, CFileUndo::kChangedSince},
        {"changed", [&] { Make(QStringLiteral("dst/photo.jpg"), "edited, longer"); }, CFileUndo::kChangedSince},
        {"old name taken", [&] { Make(QStringLiteral("photo.jpg"), "newcomer"); }, CFileUndo::kNameTaken},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(dest).removeRecursively();
        QDir().mkpath(dest);
        Make(QStringLiteral("photo.jpg"));
        m_ask.destinations = {dest};
        ASSERT_EQ(MoveFileTo(photo), 1);
        c.meddle();
        const QStringList before = Files(QString()) + Files(QStringLiteral("dst"));
        EXPECT_TRUE(CFileUndo::Instance().Undo().endsWith(QString::fromLatin1(c.refusal).section(QStringLiteral("%1"), 1)));
        EXPECT_EQ(Files(QString()) + Files(QStringLiteral("dst")), before);
        QFile::remove(photo);
    }
}

} // namespace
