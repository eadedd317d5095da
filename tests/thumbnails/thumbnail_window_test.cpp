// The thumbnail window in the whole program (offscreen): grouping, the hints
// between its three panes, loading, sizes, the file and group commands, and
// opening a cell in the viewer.
#include <QDateTime>
#include <QDir>
#include <QHeaderView>
#include <QLocale>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolBox>
#include <QToolButton>

#include <utime.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <new>
#include <sstream>
#include <thread>

#include "address_space_limit.h"
#include "app/program_fixture.h"
#include "browser/child_process.h"
#include "browser/explorer/explorer_tree_view.h"
#include "browser/scripted_asker.h"
#include "browser/thumbnails/program_actions.h"
#include "browser/thumbnails/thumbnails_doc.h"
#include "browser/thumbnails/thumbnails_frame.h"
#include "browser/thumbnails/thumbnails_settings_dialog.h"
#include "browser/thumbnails/thumbnails_tree_view.h"
#include "browser/thumbnails/thumbnails_view.h"
#include "test_actions.h"

namespace fs = std::filesystem;
using namespace vxtest;

#include "new_refused_off_thread.h"
#include "thread_start_refused.h"

namespace {

CVelvix Picture(int w, int h, VxPixel seed)
{
    CVelvix image = FilledImage(w, h, 0);
    for (int i = 0; i < w * h; ++i)
        image.Bytes(i) = (seed * 2654435761u + VxPixel(i) * 40503u) & 0xFFFFFF;
    return image;
}

template <typename Done>
bool WaitFor(Done done, int milliseconds = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class ThumbnailWindow : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        CBrowserActions::Set(&m_actions);
        m_cwd = QDir::currentPath();
    }
    void TearDown() override
    {
        ProgramTest::TearDown();
        CBrowserActions::Set(nullptr);
        EXPECT_EQ(QDir::currentPath(), m_cwd); // nothing changes the process's folder
    }

    void Make(const std::vector<std::string>& names, int w = 60, int h = 40)
    {
        VxPixel seed = 1;
        for (const std::string& name : names) {
            CVelvix picture = Picture(w, h, seed++);
            ASSERT_EQ(picture.SaveImage(m_dir.File(name).c_str()), 1) << name;
        }
    }

    // Opens a window on the folder and waits for the grouping and the first group.
    void OpenBrowser(const std::string& folder, bool waitLoads = true)
    {
        ASSERT_EQ(m_app->GetTemplateManager().OpenNewFrame("CThumbnailsFrame", false, QString::fromStdString(folder)), 1);
        m_frame = qobject_cast<CThumbnailsFrame*>(m_main->MDIGetActive());
        ASSERT_NE(m_frame, nullptr);
        m_frame->GetMDISubWindow()->resize(900, 700);
        m_view = m_frame->ThumbnailView();
        m_tree = m_frame->GroupsView();
        m_doc = m_view->GetDocument();
        ASSERT_TRUE(WaitFor([&] { return !m_tree->IsGrouping(); }));
        ASSERT_TRUE(WaitFor([&] { return m_tree->topLevelItemCount() == 0 || m_tree->CurrentGroup() >= 0; }));
        if (waitLoads)
            WaitLoads();
    }

    // Until every cell in sight has its picture (or cannot have one).
    void WaitLoads()
    {
        ASSERT_TRUE(WaitFor([&] {
            m_view->viewport()->repaint();
            QApplication::processEvents();
            if (m_view->RunningLoaders() != 0)
                return false;
            for (int i = 0; i < m_view->ItemCount(); ++i) {
                ThumbnailItem* item = m_view->Item(i);
                const bool inSight = m_view->visualRect(m_view->model()->index(i, 0)).intersects(m_view->viewport()->rect());
                if (inSight && item->m_bLoadable && item->m_nLoadState != ThumbnailItem::LoadState::Done)
                    return false;
            }
            return true;
        }));
        ProcessEvents();
    }

    std::vector<QString> RootTexts() const
    {
        std::vector<QString> texts;
        for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
            texts.push_back(m_tree->topLevelItem(i)->text(0));
        return texts;
    }

    std::vector<std::string> CellNames() const
    {
        std::vector<std::string> names;
        for (int i = 0; i < m_view->ItemCount(); ++i)
            names.push_back(m_view->Item(i)->m_strName);
        return names;
    }

    void SelectCells(const std::vector<int>& rows)
    {
        m_view->clearSelection();
        for (int row : rows)
            m_view->selectionModel()->select(m_view->model()->index(row, 0), QItemSelectionModel::Select);
    }

    void ShowGroup(int index)
    {
        m_tree->setCurrentItem(m_tree->topLevelItem(index));
        ASSERT_TRUE(WaitFor([&] { return m_tree->CurrentGroup() == index; }));
        WaitLoads();
    }

    CTestActions m_actions;
    QString m_cwd;
    CThumbnailsFrame* m_frame = nullptr;
    CThumbnailsView* m_view = nullptr;
    CThumbnailsTreeView* m_tree = nullptr;
    CThumbnailsDoc* m_doc = nullptr;
};

const std::vector<std::string> kFiles = {"cat01.jpg", "cat02.jpg", "Cat-3.png", "dog.bmp", "2004.jpg"};

} // namespace

TEST_F(ThumbnailWindow, GroupsTheFolderAndLinksTheThreePanes)
{
    Make(kFiles);
    OpenBrowser(m_dir.Path().string());
    EXPECT_EQ(m_doc->GetTitle(), QString::fromStdString(m_dir.Path().string()));
    EXPECT_EQ(RootTexts(), (std::vector<QString>{"[Other] (2)", "cat (3)"}));
    EXPECT_EQ(m_tree->topLevelItem(1)->child(2)->text(0), "Cat-3");
    // The first group shows after the selection delay.
    EXPECT_EQ(CellNames(), (std::vector<std::string>{"2004", "dog"}));
    EXPECT_EQ(m_view->Counters().m_nDecodes + m_view->Counters().m_nCacheHits, 2);

    // A file in the tree: its group at once, and the cell selected.
    m_tree->setCurrentItem(m_tree->topLevelItem(1)->child(1));
    EXPECT_EQ(CellNames(), (std::vector<std::string>{"cat01", "cat02", "Cat-3"}));
    EXPECT_EQ(m_view->SelectedIndexes(), std::vector<int>{1});
    // A cell selected in the view selects its file in the tree.
    m_view->selectionModel()->setCurrentIndex(m_view->model()->index(2, 0), QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(m_tree->currentItem(), m_tree->topLevelItem(1)->child(2));

    // The grouping menu of the small button, then the set "All".
    std::unique_ptr<QMenu> menu(m_tree->BuildGroupingSelectionMenu(m_frame));
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(actions[0]->text(), "Grouping Selection");
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[3]->isChecked()); // Grouped
    actions[2]->trigger();
    EXPECT_EQ(RootTexts(), std::vector<QString>{"All (5)"});
    EXPECT_EQ(m_view->ItemCount(), 0);
    ShowGroup(0);
    ASSERT_EQ(m_view->ItemCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(m_view->Item(i)->HasScaled()) << i;
    m_tree->OnCmdMsg(CThumbnailsTreeView::ID_SHOW_GROUPED);
    EXPECT_EQ(RootTexts(), (std::vector<QString>{"[Other] (2)", "cat (3)"}));

    // Escape in the view gives the focus back to the trees; Tab moves on.
    m_frame->SetActivePane(m_view);
    m_doc->UpdateAllViews(m_view, thumbhint::HINT_ESCAPE);
    EXPECT_EQ(m_frame->GetActiveView(), m_tree);
    m_doc->UpdateAllViews(m_tree, thumbhint::HINT_NEXT_PANE);
    EXPECT_EQ(m_frame->GetActiveView(), m_view);
}

// A folder too large for the memory left to group: the window opens empty
// and says so (the grouping's thread ended the program); with memory back a
// refresh lists it.
TEST_F(ThumbnailWindow, AFolderTooLargeForTheMemoryLeftOpensEmptyWithAMessage)
{
    for (int i = 0; i < 3000; ++i)  // a list of names above 64 KB
        std::ofstream(m_dir.File("p" + std::to_string(i) + ".jpg"));
    g_sparedThread = std::this_thread::get_id();
    g_newLimit = 65536;
    OpenBrowser(m_dir.Path().string(), false);
    g_newLimit = 0;
    EXPECT_EQ(m_actions.m_Told, std::vector<QString>{QString::fromLatin1(CThumbnailsTreeView::kGroupingShortOfMemory)});
    EXPECT_EQ(m_tree->topLevelItemCount(), 0);
    m_tree->Regroup();
    ASSERT_TRUE(WaitFor([&] { return !m_tree->IsGrouping(); }));
    EXPECT_EQ(RootTexts(), std::vector<QString>{"p (3000)"});
    EXPECT_EQ(m_actions.m_Told.size(), 1u);
}

// A refresh when the system cannot start the grouping's thread (its stack
// does not fit in the memory left): the window says so and shows nothing
// (the refresh had cleared it), and a refresh with memory back lists the
// folder. The exception ended the program through the event loop.
TEST_F(ThumbnailWindow, ARefreshWithoutMemoryForItsThreadSaysSo)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under a limit of the address space";
#endif
    Make(kFiles);
    OpenBrowser(m_dir.Path().string());
    {
        const LargeThreadStacks stacks;
        const AddressSpaceLimit limit(16 << 20);
        ASSERT_TRUE(stacks.IsSet() && limit.IsSet());
        m_view->OnCmdMsg(CThumbnailsView::ID_REFRESH);
    }
    EXPECT_FALSE(m_tree->IsGrouping());
    EXPECT_EQ(m_actions.m_Told, std::vector<QString>{QString::fromLatin1(CThumbnailsTreeView::kGroupingShortOfMemory)});
    EXPECT_EQ(m_tree->topLevelItemCount(), 0);
    EXPECT_EQ(m_view->ItemCount(), 0);
    m_view->OnCmdMsg(CThumbnailsView::ID_REFRESH);
    ASSERT_TRUE(WaitFor([&] { return !m_tree->IsGrouping(); }));
    EXPECT_EQ(RootTexts(), (std::vector<QString>{"[Other] (2)", "cat (3)"}));
    EXPECT_EQ(m_actions.m_Told.size(), 1u);
}

// A window opened while the system refuses threads (a user at the limit of
// processes) opens empty and says so, not blaming the memory (the refused
// loader threads ended the program); with threads back a refresh lists the folder and its loaders,
// none of which started, load.
TEST_F(ThumbnailWindow, AFolderOpenedWhileThreadsAreRefusedOpensEmptyWithAMessage)
{
    Make(kFiles);
    g_refuseThreads = true;
    OpenBrowser(m_dir.Path().string(), false);
    g_refuseThreads = false;
    EXPECT_EQ(m_actions.m_Told, std::vector<QString>{QString::fromLatin1(CThumbnailsTreeView::kGroupingWithoutThread)});
    EXPECT_EQ(m_tree->topLevelItemCount(), 0);
    m_tree->Regroup();
    ASSERT_TRUE(WaitFor([&] { return !m_tree->IsGrouping(); }));
    EXPECT_EQ(RootTexts(), (std::vector<QString>{"[Other] (2)", "cat (3)"}));
    ShowGroup(1);
    ASSERT_EQ(m_view->ItemCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(m_view->Item(i)->HasScaled()) << i;
    EXPECT_EQ(m_actions.m_Told.size(), 1u);
}

TEST_F(ThumbnailWindow, SizeStaysWithinLimitsAndIsRemembered)
{
    OpenBrowser(m_dir.Path().string());
    EXPECT_EQ(m_view->ThumbnailSize(), 128);
    struct Step {
        int start, command, expected;
    };
    for (const Step& s : {Step{48, CThumbnailsView::ID_DECREASE_SIZE, 48}, {52, CThumbnailsView::ID_DECREASE_SIZE, 48},
                          {1024, CThumbnailsView::ID_INCREASE_SIZE, 1024}, {1020, CThumbnailsView::ID_INCREASE_SIZE, 1024},
                          {128, CThumbnailsView::ID_INCREASE_SIZE, 132}}) {
        m_view->SetThumbnailSize(s.start);
        m_view->OnCmdMsg(s.command);
        EXPECT_EQ(m_view->ThumbnailSize(), s.expected) << s.start;
    }
    m_frame->CloseFrame();
    ProcessEvents();
    EXPECT_EQ(QSettings().value("Thumbnails/Size").toInt(), 132);
    const std::pair<const char*, int> stored[] = {{"200", 200}, {"abc", 128}, {"", 128},   {"5", 48},
                                                  {"-7", 48},   {"99999", 1024}, {"1e9", 128}, {"64 ", 64}};
    for (const auto& [text, size] : stored) {
        QSettings().setValue("Thumbnails/Size", QString::fromLatin1(text));
        EXPECT_EQ(CThumbnailsView::LoadStoredSize(), size) << text;
    }
}

TEST_F(ThumbnailWindow, SettingsDialogPreviewsRefusesAndCancels)
{
    OpenBrowser(m_dir.Path().string());
    m_view->SetThumbnailSize(100);
    {
        CThumbnailsSettingsDlg dialog(m_view);
        for (const char* text : {"300", "2000", "47", "x", ""}) {
            dialog.m_pSize->setText(text);
            emit dialog.m_pSize->textEdited(text);
        }
        EXPECT_EQ(m_view->ThumbnailSize(), 300); // only the valid value applied
        dialog.show();
        dialog.m_pOk->click(); // "" is refused: the dialog stays
        EXPECT_TRUE(dialog.isVisible());
        dialog.reject();
        EXPECT_EQ(m_view->ThumbnailSize(), 100);
    }
    CThumbnailsSettingsDlg dialog(m_view);
    dialog.m_pSize->setText("256");
    emit dialog.m_pSize->textEdited("256");
    dialog.show();
    dialog.m_pOk->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_view->ThumbnailSize(), 256);
}

TEST_F(ThumbnailWindow, LoadsOnlyPaintedCellsAtMostOnceAndAtMostAHundredAtATime)
{
    std::vector<std::string> names;
    for (int i = 0; i < 400; ++i)
        names.push_back("p" + std::to_string(1000 + i) + ".png");
    Make(names, 20, 20);
    std::ofstream(m_dir.File("p0000 broken.jpg")) << "not a picture";
    QSettings().setValue("Thumbnails/Size", 48); // more cells in sight than loaders allowed
    OpenBrowser(m_dir.Path().string());
    ASSERT_EQ(RootTexts(), std::vector<QString>{"p (401)"});
    EXPECT_EQ(m_view->PeakRunningLoaders(), CThumbnailsView::kMaxLoaders);
    const int firstScreen = m_view->Counters().m_nDecodes;
    EXPECT_GT(firstScreen, 0);
    EXPECT_LT(firstScreen, 401); // cells out of view are not decoded
    EXPECT_LE(m_view->PeakRunningLoaders(), CThumbnailsView::kMaxLoaders);
    // The broken file keeps its cell, without picture, skipped by commands.
    ThumbnailItem* broken = m_view->Item(0);
    EXPECT_EQ(broken->m_strName, "p0000 broken");
    EXPECT_FALSE(broken->m_bLoadable);
    // Scrolling through everything decodes each file once.
    for (int step = 0; step < 100 && m_view->Counters().m_nDecodes < 401; ++step) {
        m_view->verticalScrollBar()->setValue(m_view->verticalScrollBar()->value() + m_view->viewport()->height());
        WaitLoads();
    }
    m_view->verticalScrollBar()->setValue(0);
    WaitLoads();
    EXPECT_EQ(m_view->Counters().m_nDecodes, 401);
    EXPECT_LE(m_view->PeakRunningLoaders(), CThumbnailsView::kMaxLoaders);
}

TEST_F(ThumbnailWindow, ClosingWhileLoadsRunWaitsForThemAndFreesEveryCell)
{
    std::vector<std::string> names;
    for (int i = 0; i < 150; ++i)
        names.push_back("big" + std::to_string(100 + i) + ".bmp");
    Make(names, 400, 300);
    QSettings().setValue("Thumbnails/Size", 48);
    OpenBrowser(m_dir.Path().string(), false);
    // Loads start with the first paint (the layout may come later on a busy
    // machine); on a fast one some or all may have reported already.
    EXPECT_TRUE(WaitFor([&] {
        m_view->viewport()->repaint();
        return m_view->PeakRunningLoaders() > 0;
    }));
    m_frame->CloseFrame();
    ProcessEvents();
    EXPECT_EQ(m_main->GetMDIChildCount(), 0);
}

// A huge picture decodes for seconds: the view is emptied at once when the
// user moves on, and the cell whose load still runs goes when the load ends.
TEST_F(ThumbnailWindow, EmptyingTheViewDoesNotWaitForADecodeStillRunning)
{
    Make({"cat01.jpg", "cat02.jpg"});
    CVelvix huge = FilledImage(8000, 8000, 0x204060);
    ASSERT_EQ(huge.SaveImage(m_dir.File("cat03 huge.png").c_str()), 1);
    huge.DeleteObject();
    OpenBrowser(m_dir.Path().string(), false);
    ASSERT_TRUE(WaitFor([&] {
        m_view->viewport()->repaint();
        return m_view->ItemCount() == 3 && m_view->Item(0)->m_nLoadState == ThumbnailItem::LoadState::Done &&
               m_view->Item(1)->m_nLoadState == ThumbnailItem::LoadState::Done &&
               m_view->Item(2)->m_nLoadState != ThumbnailItem::LoadState::None;
    }));
    // The workers of the small pictures may still be ending their jobs.
    WaitFor([&] { return m_view->Pool().Running() <= 1; });
    if (m_view->Pool().Running() == 0 || m_view->Item(2)->m_nLoadState == ThumbnailItem::LoadState::Done)
        GTEST_SKIP() << "the huge picture decoded before the view was emptied";
    m_view->DestroyAllItems();
    EXPECT_EQ(m_view->ItemCount(), 0);
    EXPECT_EQ(m_view->Pool().Running(), 1);
    EXPECT_EQ(m_view->CellsAside(), 1);
    EXPECT_TRUE(WaitFor([&] { return m_view->CellsAside() == 0; }, 60000));
}

// Entries are written after their cells show; closing the window still
// leaves every one of them, complete, and nothing else.
TEST_F(ThumbnailWindow, CacheEntriesOfLoadedCellsAreAllWrittenByTheClose)
{
    Make(kFiles);
    TempDir cacheDir;
    const QString root = QString::fromStdString(cacheDir.File("thumbnails"));
    OpenBrowser(m_dir.Path().string());
    m_view->SetCache(std::make_unique<CThumbnailCache>(root));
    ShowGroup(1);
    ASSERT_EQ(CellNames(), (std::vector<std::string>{"cat01", "cat02", "Cat-3"}));
    m_frame->CloseFrame();
    ProcessEvents();
    EXPECT_EQ(QDir(root + "/normal").entryList(QDir::Files | QDir::Hidden).size(), 3);
    const CThumbnailCache cache(root);
    for (const char* name : {"cat01.jpg", "cat02.jpg", "Cat-3.png"}) {
        QImage entry;
        int w = 0, h = 0;
        EXPECT_TRUE(cache.Read(m_dir.File(name), 128, entry, w, h)) << name;
        EXPECT_EQ(QSize(w, h), QSize(60, 40)) << name;
    }
}

TEST_F(ThumbnailWindow, FullPicturesStayWithinTheBudget)
{
    Make(kFiles, 64, 64); // 16 KiB each
    OpenBrowser(m_dir.Path().string());
    m_view->Budget().SetBudget(2 * 64 * 64 * 4);
    m_view->SetCache(nullptr);
    ShowGroup(1);
    EXPECT_LE(m_view->Budget().Used(), 2u * 64 * 64 * 4);
    int kept = 0;
    for (int i = 0; i < m_view->ItemCount(); ++i)
        kept += m_view->Item(i)->IsValidObject();
    EXPECT_EQ(kept, 2);
    // A cell whose full picture was dropped opens from its file.
    for (int i = 0; i < m_view->ItemCount(); ++i)
        if (!m_view->Item(i)->IsValidObject()) {
            SelectCells({i});
            m_view->OpenSelected();
            ImageWindowParts viewer = Active();
            ASSERT_NE(viewer.doc, nullptr);
            EXPECT_EQ(viewer.doc->GetPathName(), QString::fromStdString(m_view->Item(i)->m_strPath));
            EXPECT_EQ(viewer.doc->GetFileCount(), 3); // only the group
            break;
        }
}

TEST_F(ThumbnailWindow, FileCommandsWorkOnSelectedLoadableCells)
{
    Make({"a1.png", "a2.png", "a3.png", "a4.png", "a5.png"});
    std::ofstream(m_dir.File("a0.jpg")) << "broken";
    OpenBrowser(m_dir.Path().string());
    ASSERT_EQ(CellNames(), (std::vector<std::string>{"a0", "a1", "a2", "a3", "a4", "a5"}));
    // Delete the selected cells; the one that does not decode is a file too.
    SelectCells({0, 2, 4});
    m_view->OnCmdMsg(CThumbnailsView::ID_DELETE);
    EXPECT_EQ(m_actions.m_Asked, std::vector<QString>{"Are you sure you want to delete 3 file(s) ?"});
    EXPECT_EQ(m_actions.m_Captions, std::vector<QString>{"Confirm Delete"});
    EXPECT_EQ(m_view->ItemCount(), 6);
    EXPECT_FALSE(fs::exists(m_dir.File("a0.jpg")));
    EXPECT_FALSE(fs::exists(m_dir.File("a2.png")));
    CGroupPtr group = m_doc->GetGroup(0);
    EXPECT_EQ(group->m_Paths[2], "");
    EXPECT_EQ(group->m_Paths[4], "");
    EXPECT_EQ(group->m_Paths[3], m_dir.File("a3.png"));
    EXPECT_FALSE(m_view->Item(2)->HasScaled());
    EXPECT_TRUE(m_view->Item(3)->HasScaled());
    // "No" deletes nothing.
    SelectCells({1});
    m_actions.m_Answers = {false};
    m_view->OnCmdMsg(CThumbnailsView::ID_DELETE);
    EXPECT_TRUE(fs::exists(m_dir.File("a1.png")));
    // Moving three asks for the destination once; gone cells are skipped.
    fs::create_directory(m_dir.File("to"));
    m_actions.m_Captions.clear();
    m_actions.m_Destinations = {QString::fromStdString(m_dir.File("to"))};
    SelectCells({1, 2, 3, 5});
    m_view->OnCmdMsg(CThumbnailsView::ID_MOVE);
    EXPECT_EQ(m_actions.m_Captions, std::vector<QString>{"Move %1 to"});
    for (const char* name : {"a1.png", "a3.png", "a5.png"})
        EXPECT_TRUE(fs::exists(m_dir.File(std::string("to/") + name))) << name;
    EXPECT_EQ(m_actions.m_nBatchDepth, 0);
    EXPECT_FALSE(m_view->Item(5)->m_bLoadable);
    // A cancelled destination ends the copy at once.
    SelectCells({0, 1});
    m_view->OnCmdMsg(CThumbnailsView::ID_COPY);
    EXPECT_EQ(m_actions.m_nBatchDepth, 0);
}

// Rename, move and copy need no picture: a file that does not decode is done
// as any other (it could not be deleted or moved from the window at all).
TEST_F(ThumbnailWindow, CommandsWorkOnFilesThatDoNotDecode)
{
    std::ofstream(m_dir.File("a0.jpg")) << "broken";
    Make({"a1.png"});
    fs::create_directories(m_dir.File("copies"));
    fs::create_directories(m_dir.File("moved"));
    OpenBrowser(m_dir.Path().string());
    ASSERT_FALSE(m_view->Item(0)->m_bLoadable);
    const struct {
        int command;
        const char* destination;
        std::function<bool()> done;
    } rows[] = {
        {CThumbnailsView::ID_RENAME, "", [&] { return m_actions.m_Renamed == std::vector{m_dir.File("a0.jpg")}; }},
        {CThumbnailsView::ID_COPY, "copies",
         [&] { return fs::exists(m_dir.File("copies/a0.jpg")) && fs::exists(m_dir.File("a0.jpg")); }},
        {CThumbnailsView::ID_MOVE, "moved",
         [&] { return fs::exists(m_dir.File("moved/a0.jpg")) && !fs::exists(m_dir.File("a0.jpg")); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        m_actions.m_Destinations = {QString::fromStdString(m_dir.File(row.destination))};
        SelectCells({0});
        m_view->OnCmdMsg(row.command);
        EXPECT_TRUE(row.done());
    }
    EXPECT_TRUE(m_view->Item(0)->m_bFileGone);
    EXPECT_TRUE(m_actions.m_Told.empty());
}

// A question or dialog runs the event loop, where the tree may show the group
// the user picked just before: the command still works on the files it was
// given, and leaves the new group's cells and entries alone.
TEST_F(ThumbnailWindow, CommandsOutliveCellsReplacedWhileAsking)
{
    for (int command : {int(CThumbnailsView::ID_DELETE), int(CThumbnailsView::ID_MOVE)}) {
        SCOPED_TRACE(command);
        const std::string folder = m_dir.File(std::to_string(command));
        fs::create_directories(folder + "/to");
        for (const std::string& name : kFiles)
            Make({std::to_string(command) + "/" + name});
        OpenBrowser(folder);
        ASSERT_EQ(RootTexts(), (std::vector<QString>{"[Other] (2)", "cat (3)"}));
        ShowGroup(0);
        SelectCells({0, 1});
        m_tree->setCurrentItem(m_tree->topLevelItem(1)); // shown after a pause
        m_actions.m_Destinations = {QString::fromStdString(folder + "/to")};
        m_actions.m_WhileAsking = [&] { WaitFor([&] { return m_tree->CurrentGroup() == 1; }); };
        m_view->OnCmdMsg(command);
        m_actions.m_WhileAsking = nullptr;
        for (const char* name : {"2004.jpg", "dog.bmp"}) {
            EXPECT_FALSE(fs::exists(folder + "/" + name)) << name;
            EXPECT_EQ(fs::exists(folder + "/to/" + name), command == CThumbnailsView::ID_MOVE) << name;
        }
        ASSERT_EQ(CellNames(), (std::vector<std::string>{"cat01", "cat02", "Cat-3"}));
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(m_view->Item(i)->m_bLoadable) << i;
            EXPECT_FALSE(m_doc->GetGroup(1)->m_Paths[i].empty()) << i;
        }
        m_frame->CloseFrame();
        ProcessEvents();
    }
}

// The program's operations take paths as text, which cannot hold a name that
// is not UTF-8: such a file is left alone, and so is the file whose name the
// text would turn it into.
TEST(ProgramActions, NamesThatAreNotUtf8AreLeftAloneAndReportedAsFailures)
{
    TempDir dir;
    ScriptedAsker asker;
    CBrowserActions& actions = *ProgramBrowserActions();
    const std::string raw = dir.File("caf\xe9.jpg"), lookalike = dir.File("caf\xef\xbf\xbd.jpg");
    const std::string to = dir.File("to"), target = dir.File("to/new.jpg");
    const std::pair<const char*, std::function<bool()>> operations[] = {
        {"delete", [&] { return actions.DeleteFile(raw); }},
        {"move", [&] { return actions.MoveFileChecked(raw, target); }},
        {"copy", [&] { return actions.CopyFileChecked(raw, target); }},
        {"move to", [&] { return actions.MoveFileTo(raw) != 0; }},
        {"copy to", [&] { return actions.CopyFileTo(raw) != 0; }},
        {"rename", [&] { return !actions.RenameFile(raw, false).empty(); }},
    };
    actions.SetBatch(true); // no per-file questions
    for (const auto& [what, operation] : operations) {
        SCOPED_TRACE(what);
        fs::remove_all(to);
        fs::create_directory(to);
        std::ofstream(raw) << "raw";
        std::ofstream(lookalike) << "lookalike";
        asker.names = {QStringLiteral("renamed")};
        asker.destinations = {QString::fromStdString(to)};
        asker.log.clear();
        EXPECT_FALSE(operation());
        for (const auto& [path, text] : {std::pair{raw, "raw"}, std::pair{lookalike, "lookalike"}}) {
            std::stringstream contents;
            contents << std::ifstream(path).rdbuf();
            EXPECT_EQ(contents.str(), text);
        }
        EXPECT_TRUE(fs::is_empty(to));
        EXPECT_FALSE(fs::exists(dir.File("renamed.jpg")));
        EXPECT_TRUE(!asker.log.isEmpty() && asker.log.back().startsWith("warn: ")) << asker.log.join('\n').toStdString();
    }
    actions.SetBatch(false);
}

// The viewer takes paths as text: a cell whose name is not UTF-8 does not
// open a viewer on the file whose name that text would give.
TEST_F(ThumbnailWindow, CellsNamedInAnotherEncodingDoNotOpenAnotherFile)
{
    Make({"caf\xe9.jpg", "caf\xef\xbf\xbd.jpg", "caf1.jpg"});
    OpenBrowser(m_dir.Path().string());
    ASSERT_EQ(m_view->ItemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        SelectCells({i});
        const int before = m_main->GetMDIChildCount();
        m_view->OpenSelected();
        ProcessEvents();
        const bool utf8 = m_view->Item(i)->m_strPath.find('\xe9') == std::string::npos;
        EXPECT_EQ(m_main->GetMDIChildCount(), before + (utf8 ? 1 : 0)) << m_view->Item(i)->m_strPath;
        if (utf8)
            EXPECT_EQ(Active().doc->GetPathName(), QString::fromStdString(m_view->Item(i)->m_strPath));
        m_frame->MDIActivate();
    }
}

// A window opened without a folder shows the current one. Named "caf\xe9"
// (not UTF-8), its text names "caf\xef\xbf\xbd" beside it: no window opens.
// The program never changes its current folder: the test starts itself again
// in that folder.
TEST_F(ThumbnailWindow, WithoutAFolderTheCurrentOneIsNeverTakenForAnother)
{
    if (vxtest::InRerunFolder()) {
        EXPECT_EQ(m_app->GetTemplateManager().OpenNewFrame("CThumbnailsFrame", false, QString()), 1);
        EXPECT_EQ(m_main->GetMDIChildCount(), 0);
        ASSERT_EQ(m_actions.m_Told.size(), 1u);
        EXPECT_TRUE(m_actions.m_Told[0].startsWith("This name may stand for another file:\n" + QDir::currentPath()));
        return;
    }
    for (const std::string name : {"caf\xe9", "caf\xef\xbf\xbd"}) {
        std::filesystem::create_directory(m_dir.File(name));
        Make({name + "/" + name + ".jpg"});
    }
    EXPECT_EQ(vxtest::RerunInFolder(m_dir.File("caf\xe9"), "*WithoutAFolderTheCurrentOneIsNeverTakenForAnother"), 0);
}

TEST_F(ThumbnailWindow, GroupCommandsUpdateTheTreeAndTheView)
{
    Make({"cat01.jpg", "cat02.jpg", "Cat-3.png", "dog1.bmp", "dog2.bmp"});
    OpenBrowser(m_dir.Path().string());
    ASSERT_EQ(RootTexts(), (std::vector<QString>{"cat (3)", "dog (2)"}));
    // A file selected: convert does nothing; delete goes to the view.
    m_tree->setCurrentItem(m_tree->topLevelItem(0)->child(0));
    m_tree->OnCmdMsg(CThumbnailsTreeView::ID_CONVERT);
    EXPECT_TRUE(m_actions.m_Asked.empty());
    m_tree->setCurrentItem(m_tree->topLevelItem(0));
    m_tree->OnCmdMsg(CThumbnailsTreeView::ID_CONVERT);
    EXPECT_TRUE(fs::exists(m_dir.File("cat (3)/Cat-3.png")));
    EXPECT_EQ(RootTexts(), std::vector<QString>{"dog (2)"});
    EXPECT_EQ(m_tree->topLevelItem(0)->data(0, Qt::UserRole).toInt(), 0);
    ShowGroup(0);
    // A partial failure regroups from the folder.
    m_actions.m_Failing = {m_dir.File("dog1.bmp")};
    m_tree->setCurrentItem(m_tree->topLevelItem(0));
    m_tree->OnCmdMsg(CThumbnailsTreeView::ID_DELETE);
    EXPECT_EQ(m_actions.m_Told.back(), "Could not delete all files, the current view will refresh automatically");
    ASSERT_TRUE(WaitFor([&] { return !m_tree->IsGrouping(); }));
    EXPECT_EQ(RootTexts(), std::vector<QString>{"[Other] (1)"});
    // The last group removed: the view is emptied.
    m_actions.m_Failing.clear();
    ShowGroup(0);
    EXPECT_EQ(m_view->ItemCount(), 1);
    m_tree->setCurrentItem(m_tree->topLevelItem(0));
    m_tree->OnCmdMsg(CThumbnailsTreeView::ID_DELETE);
    EXPECT_EQ(m_tree->topLevelItemCount(), 0);
    EXPECT_EQ(m_view->ItemCount(), 0);
}

TEST_F(ThumbnailWindow, DetailsListShowsNameSizeAndDateOfEachFile)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    // Files that do not decode keep their cells, so any bytes will do.
    const std::pair<const char*, int> files[] = {{"a [1] %.jpg", 1536}, {"b é.jpg", 0}, {"c*?.jpg", 3 << 20}};
    for (const auto& [name, size] : files) {
        std::ofstream(m_dir.File(name)) << std::string(std::size_t(size), 'x');
        struct utimbuf times {1000000000, 1000000000};
        ASSERT_EQ(utime(m_dir.File(name).c_str(), &times), 0);
    }
    OpenBrowser(m_dir.Path().string());
    ASSERT_EQ(CellNames(), (std::vector<std::string>{"a [1] %", "b é", "c*?"}));
    fs::remove(m_dir.File("b é.jpg"));
    m_view->SetMode(CThumbnailsView::EMode::Details);
    QHeaderView* header = m_view->DetailsHeader();
    ASSERT_TRUE(header->isVisible());
    EXPECT_EQ(header->model()->headerData(2, Qt::Horizontal).toString(), "Modified");
    EXPECT_EQ(header->geometry().bottom() + 1, m_view->viewport()->geometry().top());
    const QString date = QLocale().toString(QDateTime::fromSecsSinceEpoch(1000000000), QLocale::ShortFormat);
    EXPECT_EQ(m_view->DetailsTexts(0), (QStringList{"a [1] %", "1.5 kB", date}));
    EXPECT_EQ(m_view->DetailsTexts(1), (QStringList{"b é", "", ""})); // gone
    EXPECT_EQ(m_view->DetailsTexts(2), (QStringList{"c*?", "3.0 MB", date}));
    m_view->viewport()->repaint();
    m_view->SetMode(CThumbnailsView::EMode::LargeIcons);
    EXPECT_FALSE(header->isVisible());
    EXPECT_EQ(m_view->viewport()->geometry().top(), m_view->frameWidth());
    QLocale::setDefault(before);
}

TEST_F(ThumbnailWindow, ExplorerChangesTheWindowsFolderOnly)
{
    Make(kFiles);
    fs::create_directory(m_dir.File("sub [1] %"));
    CVelvix picture = Picture(30, 30, 9);
    ASSERT_EQ(picture.SaveImage(m_dir.File("sub [1] %/x1.jpg").c_str()), 1);
    ASSERT_EQ(picture.SaveImage(m_dir.File("sub [1] %/x2.jpg").c_str()), 1);
    for (const char* name : {"caf\xe9", "caf\xef\xbf\xbd"})
        fs::create_directory(m_dir.File(name));
    OpenBrowser(m_dir.Path().string());
    CExplorerTreeView* explorer = m_frame->ExplorerView();
    EXPECT_EQ(CVxExplorerTreeView::ItemPath(explorer->currentItem()), QString::fromStdString(m_dir.Path().string()));
    ASSERT_TRUE(explorer->SelectFolder(QString::fromStdString(m_dir.File("sub [1] %"))));
    ASSERT_TRUE(WaitFor([&] { return !m_tree->IsGrouping() && m_tree->topLevelItemCount() > 0; }));
    EXPECT_EQ(RootTexts(), std::vector<QString>{"x (2)"});
    EXPECT_EQ(m_doc->CurrentFolder(), QString::fromStdString(m_dir.File("sub [1] %")));
    // "caf\xe9" (not UTF-8) is listed as "caf\uFFFD", the name of the
    // folder beside it: neither is taken for the other.
    const QString lookalike = QString::fromStdString(m_dir.File("caf\uFFFD"));
    ASSERT_TRUE(explorer->SelectFolder(lookalike));
    ProcessEvents();
    EXPECT_EQ(m_doc->CurrentFolder(), QString::fromStdString(m_dir.File("sub [1] %")));
    ASSERT_EQ(m_actions.m_Told.size(), 1u);
    EXPECT_TRUE(m_actions.m_Told[0].startsWith("This name may stand for another file:\n" + lookalike + "\n"));
    // The highlight goes back to the folder shown, after a click too; the
    // refused entry keeps the keyboard's place, and the arrows go on from it.
    const QString sub = QString::fromStdString(m_dir.File("sub [1] %"));
    const auto highlighted = [&] {
        const auto items = explorer->selectedItems();
        return items.size() == 1 ? CVxExplorerTreeView::ItemPath(items[0]) : QString::number(items.size());
    };
    EXPECT_EQ(highlighted(), sub);
    QTreeWidgetItem* refused = explorer->currentItem();
    ASSERT_EQ(CVxExplorerTreeView::ItemPath(refused), lookalike);
    m_frame->Panes()->setCurrentIndex(1);
    ProcessEvents();
    QTest::mouseClick(explorer->viewport(), Qt::LeftButton, {}, explorer->visualItemRect(refused).center());
    ProcessEvents();
    EXPECT_EQ(m_actions.m_Told.size(), 2u);
    EXPECT_EQ(highlighted(), sub);
    ASSERT_EQ(explorer->itemBelow(refused), explorer->selectedItems().value(0));
    QTest::keyClick(explorer, Qt::Key_Down);
    EXPECT_EQ(explorer->currentItem(), explorer->itemBelow(refused));
    QTest::keyClick(explorer, Qt::Key_Up);
    ProcessEvents();
    EXPECT_EQ(explorer->currentItem(), refused);
    EXPECT_EQ(m_actions.m_Told.size(), 3u);
    EXPECT_EQ(highlighted(), sub);
    EXPECT_EQ(m_doc->CurrentFolder(), sub);
    EXPECT_EQ(m_frame->Panes()->itemText(0), "Groups");
    EXPECT_EQ(m_frame->Panes()->itemText(1), "Explorer");
    // Kinds of volumes: only fixed ones are looked into before expanding.
    EXPECT_EQ(CVxExplorerTreeView::VolumeKind("server:/share", "nfs4"), 3);
    EXPECT_EQ(CVxExplorerTreeView::VolumeKind("/dev/sr0", "iso9660"), 2);
    EXPECT_EQ(CVxExplorerTreeView::VolumeKind("/dev/../etc", "ext4"), 0);
}
