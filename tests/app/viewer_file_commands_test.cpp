// The image window's file commands on the shown file: rename, move, copy and
// delete, with their questions answered by a script.
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "browser/fileops/file_undo.h"
#include "support/doc_template_manager.h"
#include "support/group_struct.h"
#include "support/message_event.h"
#include "child_process.h"
#include "program_fixture.h"
#include "scripted_asker.h"
#include "shell/command_ids.h"
#include "shell/messages.h"
#include "shell/shell_dialogs.h"
#include "viewer/view/view_commands.h"

namespace {

using vxtest::ProcessEvents;

class ViewerFileCommands : public vxtest::ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        CFileUndo::Instance().Clear();
        QDir().mkpath(Sorted());
    }

    // Three pictures of different widths; opens the first.
    vxtest::ImageWindowParts OpenThree()
    {
        for (int i = 1; i <= 3; ++i) {
            CVelvix picture = vxtest::FilledImage(10 * i, 8, 0x102030u * VxPixel(i));
            EXPECT_EQ(picture.SaveImage(m_dir.File(Name(i)).c_str()), 1);
        }
        EXPECT_TRUE(m_main->OpenPath(Path(1)));
        ProcessEvents();
        return Active();
    }
    static std::string Name(int i) { return "photo " + std::to_string(i) + " [%].png"; }
    QString Path(int i) const { return QString::fromStdString(m_dir.File(Name(i))); }
    QString Sorted() const { return QString::fromStdString(m_dir.File("sorted")); }
    bool Run(int id)
    {
        const bool handled = m_main->ExecuteCommand(id);
        ProcessEvents();
        return handled;
    }

    vxtest::ScriptedAsker m_ask;
};

TEST_F(ViewerFileCommands, MoveAndDeleteShowTheNextFile)
{
    auto window = OpenThree();
    ASSERT_NE(window.doc, nullptr);
    m_ask.destinations = {Sorted()};
    ASSERT_TRUE(Run(viewcmd::ID_MOVE_FILE));
    EXPECT_EQ(m_ask.log, QStringList{"destination: Move photo 1 [%] to"});
    EXPECT_TRUE(QFile::exists(Sorted() + "/photo 1 [%].png"));
    EXPECT_EQ(window.doc->GetPathName(), Path(2));
    EXPECT_EQ(window.Image().GetWidth(), 20);
    EXPECT_EQ(window.doc->GetFileCount(), 2);

    // The last file of the list: the one before it follows.
    ASSERT_TRUE(Run(viewcmd::ID_LAST_FILE));
    m_ask.yesNo = {true};
    ASSERT_TRUE(Run(viewcmd::ID_DELETE_FILE));
    EXPECT_FALSE(QFile::exists(Path(3)));
    EXPECT_EQ(window.doc->GetPathName(), Path(2));
    EXPECT_EQ(window.doc->GetFileCount(), 1);

    // Undo (from the frame, as Ctrl+Alt+Z) puts the deleted file back, and
    // the folder watch lists it again.
    ASSERT_TRUE(Run(cmd::ID_UNDO_FILE_OPERATION));
    EXPECT_TRUE(QFile::exists(Path(3)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.doc->GetFileCount() == 2; }, 5000));

    // The last file: the window closes.
    for (int i = 0; i < 2; ++i) {
        m_ask.yesNo = {true};
        ASSERT_TRUE(Run(viewcmd::ID_DELETE_FILE));
    }
    ProcessEvents();
    EXPECT_EQ(m_main->GetMDIChildCount(), 0);
}

TEST_F(ViewerFileCommands, RefusedOperationsLeaveTheWindowAsItWas)
{
    auto window = OpenThree();
    ASSERT_NE(window.doc, nullptr);
    struct Case {
        const char* what;
        int command;
        std::function<void()> script;
        bool refusedName = false;
    } const cases[] = {
        {"move cancelled", viewcmd::ID_MOVE_FILE, [&] { m_ask.destinations = {std::nullopt}; }},
        {"move to an empty slot", viewcmd::ID_MOVE_FILE, [&] { m_ask.destinations = {QString()}; }},
        {"move onto an existing file, cancelled", viewcmd::ID_MOVE_FILE, [&] {
             QFile::copy(Path(2), Sorted() + "/photo 1 [%].png");
             m_ask.destinations = {Sorted()};
             m_ask.overwrite = {2};
         }},
        {"delete answered No", viewcmd::ID_DELETE_FILE, [&] { m_ask.yesNo = {false}; }},
        {"rename cancelled", viewcmd::ID_RENAME_FILE, [&] { m_ask.names = {std::nullopt}; }},
        {"copy", viewcmd::ID_COPY_FILE, [&] { m_ask.destinations = {Sorted()}; m_ask.overwrite = {2}; }},
        // A slot's text "caf\uFFFD" reads like the folder "caf\xe9" (not
        // UTF-8) as well as naming "caf\xef\xbf\xbd".
        {"move to a slot that may name another folder", viewcmd::ID_MOVE_FILE,
         [&] { m_ask.destinations = {QString::fromStdString(m_dir.File("caf\uFFFD"))}; }, true},
        {"copy to such a slot, relative", viewcmd::ID_COPY_FILE, [&] { m_ask.destinations = {"caf\uFFFD/ "}; }, true},
    };
    for (const char* folder : {"caf\xe9", "caf\xef\xbf\xbd"})
        std::filesystem::create_directory(m_dir.File(folder));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_ask.log.clear();
        c.script();
        ASSERT_TRUE(Run(c.command));
        EXPECT_EQ(window.doc->GetPathName(), Path(1));
        EXPECT_EQ(window.Image().GetWidth(), 10);
        EXPECT_EQ(window.doc->GetFileCount(), 3);
        EXPECT_TRUE(QFile::exists(Path(1)));
        EXPECT_TRUE(std::filesystem::is_empty(m_dir.File("caf\xef\xbf\xbd")));
        const QString refused = "warn: Ambrel | This name may stand for another file:\n" +
                                QString::fromStdString(m_dir.File("caf\uFFFD"));
        EXPECT_EQ(m_ask.log.last().startsWith(refused), c.refusedName) << m_ask.log.last().toStdString();
    }
}

TEST_F(ViewerFileCommands, RenameGivesTheDocumentTheNewPath)
{
    auto window = OpenThree();
    ASSERT_NE(window.doc, nullptr);
    m_ask.names = {QStringLiteral("renamed ü")};
    ASSERT_TRUE(Run(viewcmd::ID_RENAME_FILE));
    const QString renamed = QString::fromStdString(m_dir.File("renamed ü.png"));
    EXPECT_EQ(window.doc->GetPathName(), renamed);
    EXPECT_TRUE(QFile::exists(renamed));
    EXPECT_EQ(m_app->GetRecentFileList()[0], renamed);
    EXPECT_EQ(window.Image().GetWidth(), 10);
}

// "caf\xe9" is not UTF-8: as text it reads "caf\uFFFD", the name of another
// file here. Whatever list the window walks, the picture shown is the file
// its path names, so Delete (and Save, Move, Rename) reach that file only.
TEST_F(ViewerFileCommands, NamesThatAreNotTextNeverStandForAnotherFile)
{
    const std::vector<std::string> text = {"a.png", "caf\xef\xbf\xbd.png", "sub/b.png"};
    const std::vector<std::string> other = {"caf\xe9.png", "x\xff\xfe.png", "sub\xe9/c.png", "sub/caf\xe9.png"};
    auto save = [&](const std::string& name, int width) {
        std::filesystem::create_directories(std::filesystem::path(m_dir.File(name)).parent_path());
        CVelvix picture = vxtest::FilledImage(width, 4, VxPixel(width));
        EXPECT_EQ(picture.SaveImage(m_dir.File(name).c_str()), 1);
    };
    const QString folder = QString::fromStdString(m_dir.File(""));
    const QString first = QString::fromStdString(m_dir.File(text[0]));
    GeneralSettings.bBrowseGroupOnly = 1;
    struct Case {
        const char* what;
        std::function<void()> open;
        int count;  // entries named as text
    } const cases[] = {
        {"folder", [&] { m_main->OpenPath(first); }, 2},
        {"subfolders", [&] { m_main->OpenPath(folder); }, 3},
        {"thumbnail group", [&] {
             CGroupStruct group;
             group.m_strName = "[Other]";
             for (const auto& name : text)
                 group.m_Paths.Add(m_dir.File(name));
             for (const auto& name : other)
                 group.m_Paths.Add(m_dir.File(name));
             m_app->GetTemplateManager().OpenNewFrame(QStringLiteral("CPixelFrame"), false, first, nullptr, &group);
         }, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int width = 10;
        for (const auto& name : text)
            save(name, width++);
        for (const auto& name : other)
            save(name, width++);
        c.open();
        ProcessEvents();
        auto window = Active();
        ASSERT_NE(window.doc, nullptr);
        EXPECT_EQ(window.doc->GetFileCount(), c.count);
        // Every entry, then Delete until the window closes.
        ASSERT_TRUE(Run(viewcmd::ID_FIRST_FILE));
        for (int step = 0; step < 2 * c.count && m_main->GetMDIChildCount() > 0; ++step) {
            CVelvix named;
            ASSERT_EQ(named.ReadImage(nullptr, QFile::encodeName(window.doc->GetPathName()).constData()), 1);
            EXPECT_EQ(vxtest::FirstDifference(window.Image(), named), -1) << window.doc->GetPathName().toStdString();
            m_ask.yesNo = {true};
            Run(step < c.count - 1 ? viewcmd::ID_NEXT_FILE : viewcmd::ID_DELETE_FILE);
        }
        EXPECT_EQ(m_main->GetMDIChildCount(), 0);
        for (const auto& name : other)
            EXPECT_TRUE(std::filesystem::exists(m_dir.File(name))) << name;
    }
}

// Answers the modal dialogs as a user would: the file dialog picks the entry
// shown as `name` in `folder` (or takes it typed, or is cancelled), the
// folder question takes Browse, Quick Open takes `folder/name`, and every
// message box is logged and answered Yes (the dialog's "replace it?").
class DialogUser : public QObject {
public:
    enum Way { Pick, Type, Cancel, Current, Relative };
    DialogUser(QString folder, QString name, Way way) : m_folder(std::move(folder)), m_name(std::move(name)), m_way(way)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { _Answer(); });
        m_timer.start(10);
    }
    QStringList boxes;

private:
    void _Answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (m_busy || !modal || !modal->isVisible())
            return;
        m_busy = true;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->text();
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            (yes ? yes : box->buttons().first())->click();
        } else if (auto* ask = qobject_cast<CSubFolderAskDialog*>(modal)) {
            (m_way == Current ? ask->m_pCurrent : ask->m_pBrowse)->click();
        } else if (auto* quick = qobject_cast<CQuickFilenameSearchDlg*>(modal)) {
            quick->m_pEdit->setText(m_way == Relative ? m_name : m_folder + '/' + m_name);
            quick->accept();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            _Answer(dialog);
        }
        m_busy = false;
    }
    void _Answer(QFileDialog* dialog)
    {
        if (m_way == Cancel)
            return dialog->reject();
        dialog->setDirectory(m_folder);
        if (m_way == Type) {
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(m_name);
            return (void)QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
        auto* list = dialog->findChild<QListView*>("listView");
        QModelIndex entry;
        EXPECT_TRUE(QTest::qWaitFor([&] {
            for (int row = 0; row < list->model()->rowCount(list->rootIndex()) && !entry.isValid(); ++row)
                if (list->model()->index(row, 0, list->rootIndex()).data().toString() == m_name)
                    entry = list->model()->index(row, 0, list->rootIndex());
            return entry.isValid();
        }, 5000)) << "the dialog lists no " << m_name.toStdString();
        list->selectionModel()->setCurrentIndex(entry, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }

    QTimer m_timer;
    QString m_folder, m_name;
    Way m_way;
    bool m_busy = false;
};

// Every file under the folder, by its bytes.
std::map<std::string, std::string> Contents(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path().string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    return files;
}

// The dialogs show "caf\xe9" (not UTF-8) as "caf\uFFFD", the name of another
// file or folder beside it. Whether that entry is picked or its name typed,
// the dialog's command is refused with a message and leaves the window and
// every file as they were; a cancelled dialog likewise.
TEST_F(ViewerFileCommands, FileDialogsNeverTakeANameThatIsNotTextForAnother)
{
    const std::string pick = m_dir.File("pick");
    for (const char* name : {"caf\xe9", "caf\xef\xbf\xbd"}) {
        std::filesystem::create_directories(pick + "/" + name);
        for (const std::string& file : {pick + "/" + name + ".png", pick + "/" + name + "/a.png"}) {
            CVelvix picture = vxtest::FilledImage(int(file.size()), 4, VxPixel(name[3]));
            ASSERT_EQ(picture.SaveImage(file.c_str()), 1);
        }
    }
    CVelvix shown = vxtest::FilledImage(12, 8, 0x405060);
    auto window = Open("shown.png", shown);
    ASSERT_NE(window.doc, nullptr);
    window.view->SetViewSelection(VxRect{0, 0, 6, 6});
    ASSERT_TRUE(Run(viewcmd::ID_CROP_SELECTION));
    CVelvix edited = window.Image();
    const QString path = window.doc->GetPathName(), title = window.doc->GetTitle();
    const int undo = window.doc->m_Buffer.GetUndoCount();
    const auto files = Contents(m_dir.Path().string());

    const QString folder = QString::fromStdString(pick), file = "caf\uFFFD.png", sub = "caf\uFFFD";
    const QString refused = "This name may stand for another file:\n%1\n\nA file or folder on its path has a name "
                            "that is not valid UTF-8 and reads like this one; rename it to use it here.";
    struct Case {
        const char* what;
        int command;
        QString name;
        DialogUser::Way way;
    } const cases[] = {
        // Started in "caf\xe9", whose name reads as the other's.
        {"folder, the current one", cmd::ID_OPEN_FOLDER_RECURSED, sub, DialogUser::Current},
        {"quick open, a relative name", viewcmd::ID_QUICK_OPEN, "a.png", DialogUser::Relative},
        {"open, picked", cmd::ID_FILE_OPEN, file, DialogUser::Pick},
        {"open, typed", cmd::ID_FILE_OPEN, file, DialogUser::Type},
        {"open, cancelled", cmd::ID_FILE_OPEN, file, DialogUser::Cancel},
        {"quick open", viewcmd::ID_QUICK_OPEN, file, DialogUser::Type},
        {"save as, picked", cmd::ID_FILE_SAVE_AS, file, DialogUser::Pick},
        {"save as, typed", cmd::ID_FILE_SAVE_AS, file, DialogUser::Type},
        {"save as, cancelled", cmd::ID_FILE_SAVE_AS, file, DialogUser::Cancel},
        {"folder, picked", cmd::ID_OPEN_FOLDER_RECURSED, sub, DialogUser::Pick},
        {"folder, typed", cmd::ID_OPEN_FOLDER_RECURSED, sub, DialogUser::Type},
    };
    auto check = [&](const Case& c) {
        SCOPED_TRACE(c.what);
        DialogUser user(folder, c.name, c.way);
        ASSERT_TRUE(Run(c.command));
        ProcessEvents();
        // The refusal alone: no question about the other file before it.
        const QString named = c.way == DialogUser::Current    ? QDir::currentPath()
                              : c.way == DialogUser::Relative ? c.name
                                                              : folder + '/' + c.name;
        if (c.way != DialogUser::Cancel)
            EXPECT_EQ(user.boxes, QStringList{refused.arg(named)});
        else
            EXPECT_EQ(user.boxes, QStringList());
        EXPECT_EQ(m_main->GetMDIChildCount(), 1);
        EXPECT_EQ(Active().doc, window.doc);
        EXPECT_EQ(window.doc->GetPathName(), path);
        EXPECT_EQ(window.doc->GetTitle(), title);
        EXPECT_EQ(window.doc->m_Buffer.GetUndoCount(), undo);
        EXPECT_TRUE(window.doc->IsModified());
        EXPECT_EQ(vxtest::FirstDifference(window.Image(), edited), -1);
        EXPECT_TRUE(Contents(m_dir.Path().string()) == files);
        while (m_main->GetMDIChildCount() > 1)
            m_main->MDIGetActive()->CloseFrame(), ProcessEvents();
        Activate(window);
    };
    const bool inFolder = vxtest::InRerunFolder();
    for (const Case& c : cases)
        if (inFolder == (c.way == DialogUser::Current || c.way == DialogUser::Relative))
            check(c);
    if (inFolder)
        return;
    // The program never changes its current folder: for the rows that take
    // it, the test starts itself again in "caf\xe9".
    EXPECT_EQ(vxtest::RerunInFolder(pick + "/caf\xe9", "*FileDialogsNeverTakeANameThatIsNotTextForAnother"), 0);

    // A real file of that name is still asked about, and replaced on Yes.
    ASSERT_EQ(edited.SaveImage((pick + "/real [%].png").c_str()), 1);
    DialogUser user(folder, "real [%].png", DialogUser::Type);
    ASSERT_TRUE(Run(cmd::ID_FILE_SAVE_AS));
    EXPECT_EQ(user.boxes, QStringList{"real [%].png already exists.\nDo you want to replace it?"});
    EXPECT_EQ(window.doc->GetPathName(), folder + "/real [%].png");
}

} // namespace

TEST_F(ViewerFileCommands, AFolderEmptiedUnderAQuestionOrMenuOfTheWindowClosesItOnlyAfterwards)
{
    // The question and the menu belong to the window's own commands, which
    // go on once they are answered: the window must still be there then.
    const std::function<void(CAmbrelView*)> asks[] = {
        [&](CAmbrelView*) {
            SetFileOpAsker(nullptr);  // the real rename dialog
            Run(viewcmd::ID_RENAME_FILE);
            SetFileOpAsker(&m_ask);
        },
        [&](CAmbrelView* view) {
            QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), view->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(view->viewport(), &menu);
        },
    };
    for (const auto& ask : asks) {
        SCOPED_TRACE(&ask == &asks[0] ? "rename question" : "context menu");
        CVelvix picture = vxtest::FilledImage(10, 8, 0x102030u);
        ASSERT_EQ(picture.SaveImage(m_dir.File("only.png").c_str()), 1);
        ASSERT_TRUE(m_main->OpenPath(QString::fromStdString(m_dir.File("only.png"))));
        ProcessEvents();
        QPointer<CAmbrelView> view = Active().view;
        ASSERT_FALSE(view.isNull());
        bool presentWhenAnswered = false;
        // Another program empties the folder while the user reads.
        QTimer::singleShot(0, [&] { QFile::remove(QString::fromStdString(m_dir.File("only.png"))); });
        QTimer::singleShot(600, [&] {
            presentWhenAnswered = !view.isNull();
            if (QWidget* open = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                                   : QApplication::activeModalWidget())
                open->close();
        });
        ask(view);
        EXPECT_TRUE(presentWhenAnswered);
        EXPECT_TRUE(QTest::qWaitFor([&] { return view.isNull(); }, 5000)) << "then the emptied window closes";
    }
}

// A picture without a file (a scan) has no folder of its own: "Current
// Folder" of the recursive list takes the current directory, as the "All"
// list does. Its empty path named the root folder: the window then walked the
// whole disk before it answered again.
TEST_F(ViewerFileCommands, TheRecursiveListOfAPictureWithoutAFileWalksTheCurrentDirectory)
{
    CVelvix scanned = vxtest::FilledImage(12, 9, 0x405060u);
    VxSendMessage(m_main, msg::WM_IMAGE_ACQUIRED, reinterpret_cast<std::uintptr_t>(&scanned), 0);
    ProcessEvents();
    vxtest::ImageWindowParts window = Active();
    ASSERT_NE(window.doc, nullptr);
    ASSERT_TRUE(window.doc->GetPathName().isEmpty());
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* ask = qobject_cast<CSubFolderAskDialog*>(QApplication::activeModalWidget()))
            ask->m_pCurrent->click();
    });
    answer.start(10);
    window.view->OnCmdMsg(viewcmd::ID_GROUP_RECURSE);
    EXPECT_EQ(window.doc->m_strListSource, QDir::currentPath().toStdString() + "/");
}

// A folder opened as a whole names the window after the folder, while the
// picture shown is its first file: the file commands and Save took the
// folder's name and each failed (Delete asked about a file with no name).
TEST_F(ViewerFileCommands, AFolderOpenedAsAWholeHandsThePictureShownToTheFileCommands)
{
    const QString folder = QString::fromStdString(m_dir.File("open as whole"));
    const QString first = folder + "/a [1].png";
    struct Case {
        const char* what;
        int command;
        std::function<void()> script;
        QString expected;  // where the shown picture is afterwards; empty: gone
    } const cases[] = {
        {"delete", viewcmd::ID_DELETE_FILE, [&] { m_ask.yesNo = {true}; }, QString()},
        {"rename", viewcmd::ID_RENAME_FILE, [&] { m_ask.names = {QStringLiteral("c")}; }, folder + "/c.png"},
        {"move", viewcmd::ID_MOVE_FILE, [&] { m_ask.destinations = {Sorted()}; }, Sorted() + "/a [1].png"},
        {"copy", viewcmd::ID_COPY_FILE, [&] { m_ask.destinations = {Sorted()}; }, Sorted() + "/a [1].png"},
        {"save", cmd::ID_FILE_SAVE, [] {}, first},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(folder).removeRecursively();
        QDir(Sorted()).removeRecursively();
        QDir().mkpath(folder);
        QDir().mkpath(Sorted());
        for (const char* name : {"a [1].png", "b.png"})
            ASSERT_EQ(vxtest::FilledImage(6, 4, 0x203040u).SaveImage((folder + "/" + name).toLocal8Bit()), 1);
        ASSERT_TRUE(m_main->OpenPath(folder));
        ProcessEvents();
        auto window = Active();
        ASSERT_NE(window.doc, nullptr);
        window.Image().Bytes(0, 0) = 0xFFFFFFu;
        window.doc->SetModifiedFlag(true);
        c.script();
        ASSERT_TRUE(Run(c.command));
        EXPECT_TRUE(QFile::exists(folder + "/b.png")) << "the folder is there";
        EXPECT_EQ(QFile::exists(first), c.command == cmd::ID_FILE_SAVE || c.command == viewcmd::ID_COPY_FILE);
        if (!c.expected.isEmpty()) {
            CVelvix saved;
            ASSERT_EQ(saved.ReadImage(nullptr, c.expected.toLocal8Bit().constData()), 1);
            EXPECT_EQ(saved.Bytes(0, 0) & 0xFFFFFFu, c.command == cmd::ID_FILE_SAVE ? 0xFFFFFFu : 0x203040u);
        }
        window.doc->SetModifiedFlag(false);
        m_main->MDIGetActive()->close();
        ProcessEvents();
    }
}

TEST_F(ViewerFileCommands, TheQuestionAndInformationOfAFolderOpenedAsAWholeNameThePictureShown)
{
    const QString folder = QString::fromStdString(m_dir.File("whole"));
    QDir().mkpath(folder);
    ASSERT_EQ(vxtest::FilledImage(6, 4, 0x203040u).SaveImage((folder + "/a 100%.png").toLocal8Bit()), 1);
    ASSERT_TRUE(m_main->OpenPath(folder));
    ProcessEvents();
    auto window = Active();
    ASSERT_NE(window.doc, nullptr);
    window.doc->SetModifiedFlag(true);
    QString asked;
    CAmbrelDoc::s_pfnAskSaveChanges = [&](const QString& name) {
        asked = name;
        return int(QMessageBox::No);
    };
    EXPECT_TRUE(window.doc->SaveModified());
    EXPECT_EQ(asked, "a 100%.png");

    QString shown;
    QTimer::singleShot(0, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileName")))
                shown = name->text();
            dialog->close();
        }
    });
    Run(viewcmd::ID_IMAGE_INFO);
    EXPECT_EQ(shown, "a 100%.png");
}
