// The folder watcher: names are reported, contents are not, failures end the
// watch with 0, and a stopped watch reports nothing more.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <thread>
#include <vector>

#include "support/file_change_watcher.h"
#include "test_support.h"

#include "new_refused_off_thread.h"

namespace {

constexpr int kMessage = 0x8007;

class Receiver : public QObject {
public:
    struct Note {
        CFileChangeWatcher* watcher;
        int changed;
        qint64 at;
    };
    std::vector<Note> notes;
    QElapsedTimer clock;

    Receiver() { clock.start(); }

    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::Type(kMessage)) {
            auto* change = static_cast<CFileChangeEvent*>(e);
            notes.push_back({change->Watcher(), change->Changed(), clock.elapsed()});
            return true;
        }
        return QObject::event(e);
    }

    // Dispatches posted events for `ms` milliseconds or until `count` notes.
    void Pump(int ms, std::size_t count = SIZE_MAX)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms && notes.size() < count) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QCoreApplication::sendPostedEvents();
            // Not a busy wait: the watch thread runs at the lowest priority.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
};

void Touch(const std::string& path, const char* text = "x")
{
    std::ofstream(path) << text;
}

// The most folders one inotify instance of this process watches.
std::size_t WatchedFolders()
{
    std::size_t most = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(fd.path(), error).string() != "anon_inode:inotify")
            continue;
        std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
        std::size_t count = 0;
        for (std::string line; std::getline(info, line);)
            count += line.rfind("inotify wd:", 0) == 0 ? 1 : 0;
        most = std::max(most, count);
    }
    return most;
}

// Three levels of hostile names (2379 folders), with symbolic links looping
// back up; returns the number of folders.
std::size_t MakeTree(const std::filesystem::path& root)
{
    static const char* const kNames[] = {"[a]", "*", "?x",    "sp ace", "100%", "%s%n", "über",
                                         "日本", "€ 5", "a[!b]", ".hid",   "y{1,2}", "~t"};
    for (const char* a : kNames)
        for (const char* b : kNames)
            for (const char* c : kNames)
                std::filesystem::create_directories(root / a / b / c);
    for (const char* c : kNames)
        std::filesystem::create_directory_symlink("../..", root / "[a]" / "*" / c / "up");
    std::filesystem::create_directory_symlink(".", root / "*" / "self");
    std::size_t folders = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        folders += entry.is_directory() && !entry.is_symlink() ? 1 : 0;
    return folders;
}

} // namespace

TEST(FileChangeWatcher, RenameIsReportedPromptlyWithTheWatcherAddress)
{
    vxtest::TempDir dir;
    Touch(dir.File("a.jpg"));
    Receiver receiver;
    CFileChangeWatcher watcher;
    ASSERT_TRUE(watcher.StartWatch(dir.Path().string(), &receiver, kMessage, false));
    receiver.Pump(50);
    receiver.notes.clear();

    const qint64 renamedAt = receiver.clock.elapsed();
    std::filesystem::rename(dir.File("a.jpg"), dir.File("b.jpg"));
    receiver.Pump(2000, 1);
    ASSERT_FALSE(receiver.notes.empty());
    EXPECT_EQ(receiver.notes[0].changed, 1);
    EXPECT_EQ(receiver.notes[0].watcher, &watcher);
    // About 200 ms at worst; generous for a loaded machine.
    EXPECT_LT(receiver.notes[0].at - renamedAt, 600);
}

TEST(FileChangeWatcher, ContentChangesAreNotReportedButCreationAndDeletionAre)
{
    vxtest::TempDir dir;
    Touch(dir.File("a.jpg"));
    Receiver receiver;
    CFileChangeWatcher watcher;
    ASSERT_TRUE(watcher.StartWatch(dir.Path().string(), &receiver, kMessage, false));

    Touch(dir.File("a.jpg"), "new contents, new size");
    std::filesystem::last_write_time(dir.File("a.jpg"), std::filesystem::file_time_type::clock::now());
    std::filesystem::permissions(dir.File("a.jpg"), std::filesystem::perms::owner_all);
    receiver.Pump(500);
    EXPECT_TRUE(receiver.notes.empty());

    Touch(dir.File("c.png"));
    receiver.Pump(2000, 1);
    ASSERT_EQ(receiver.notes.size(), 1u);
    receiver.Pump(300);
    receiver.notes.clear();

    std::filesystem::remove(dir.File("c.png"));
    receiver.Pump(2000, 1);
    ASSERT_EQ(receiver.notes.size(), 1u);
    EXPECT_EQ(receiver.notes[0].changed, 1);
}

TEST(FileChangeWatcher, BurstsAreReportedInTheRhythmOfTheWatch)
{
    vxtest::TempDir dir;
    Receiver receiver;
    CFileChangeWatcher watcher;
    ASSERT_TRUE(watcher.StartWatch(dir.Path().string(), &receiver, kMessage, false));
    QElapsedTimer timer;
    timer.start();
    int created = 0;
    while (timer.elapsed() < 1000) {
        Touch(dir.File("burst" + std::to_string(created++) + ".jpg"));
        QCoreApplication::processEvents();
    }
    receiver.Pump(300);
    // Thousands of changes over about 1.3 s, a handful of reports: at most
    // one per beat of the watch. (The gaps between arrivals are not checked:
    // a busy receiver takes reports posted a beat apart together.)
    ASSERT_GE(receiver.notes.size(), 2u);
    EXPECT_LE(receiver.notes.size(), 15u) << "for " << created << " files";
}

// A receiver busy for long (a refresh of a huge tree) finds one report of
// all the changes meanwhile, not one per beat, then one for the changes made
// after that report was posted.
TEST(FileChangeWatcher, ABusyReceiverFindsOneReportWaiting)
{
    vxtest::TempDir dir;
    Receiver receiver;
    CFileChangeWatcher watcher;
    ASSERT_TRUE(watcher.StartWatch(dir.Path().string(), &receiver, kMessage, false));
    QElapsedTimer timer;
    timer.start();
    for (int created = 0; timer.elapsed() < 1500; ++created) {
        Touch(dir.File("busy " + std::to_string(created) + ".jpg"));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(receiver.notes.size(), 1u);
    receiver.Pump(2000, 2);
    receiver.Pump(500);
    EXPECT_EQ(receiver.notes.size(), 2u);
}

TEST(FileChangeWatcher, MissingFolderIsReportedOnceWithZeroAndLeavesTheWatcherIdle)
{
    vxtest::TempDir dir;
    Receiver receiver;
    CFileChangeWatcher watcher;
    ASSERT_TRUE(watcher.StartWatch(dir.File("not-there"), &receiver, kMessage, false));
    receiver.Pump(1000);
    ASSERT_EQ(receiver.notes.size(), 1u);
    EXPECT_EQ(receiver.notes[0].changed, 0);
    EXPECT_FALSE(watcher.IsWatching());

    // Idle again: a new watch may start.
    EXPECT_TRUE(watcher.StartWatch(dir.Path().string(), &receiver, kMessage, false));
    EXPECT_TRUE(watcher.IsWatching());
}

// A tree too large for the memory left to watch ends the watch with 0, as
// any failure does (the watch's thread ended the program); a new one may start.
TEST(FileChangeWatcher, ATreeTooLargeForTheMemoryLeftEndsTheWatchWithZero)
{
    vxtest::TempDir dir;
    MakeTree(dir.Path());  // a table of its folders above 16 KB
    Receiver receiver;
    CFileChangeWatcher watcher;
    g_sparedThread = std::this_thread::get_id();
    g_newLimit = 16384;
    ASSERT_TRUE(watcher.StartWatch(dir.Path().string(), &receiver, kMessage, true));
    receiver.Pump(30000, 1);  // the watch runs at the lowest priority
    g_newLimit = 0;
    receiver.Pump(300);
    ASSERT_EQ(receiver.notes.size(), 1u);
    EXPECT_EQ(receiver.notes[0].changed, 0);
    EXPECT_FALSE(watcher.IsWatching());
    EXPECT_TRUE(watcher.StartWatch(dir.Path().string(), &receiver, kMessage, true));
}

TEST(FileChangeWatcher, SecondStartFailsAndLeavesTheFirstWatchRunning)
{
    vxtest::TempDir one, two;
    Receiver receiver;
    CFileChangeWatcher watcher;
    ASSERT_TRUE(watcher.StartWatch(one.Path().string(), &receiver, kMessage, false));
    EXPECT_FALSE(watcher.StartWatch(two.Path().string(), &receiver, kMessage, false));
    EXPECT_EQ(watcher.GetPath(), one.Path().string());

    Touch(two.File("ignored.jpg"));
    receiver.Pump(400);
    EXPECT_TRUE(receiver.notes.empty());
    Touch(one.File("seen.jpg"));
    receiver.Pump(2000, 1);
    EXPECT_EQ(receiver.notes.size(), 1u);
}

TEST(FileChangeWatcher, SubfoldersAreWatchedOnlyWhenAskedIncludingNewOnes)
{
    vxtest::TempDir dir;
    std::filesystem::create_directories(dir.Path() / "sub" / "deeper");
    Receiver flat, tree;
    CFileChangeWatcher flatWatcher, treeWatcher;
    ASSERT_TRUE(flatWatcher.StartWatch(dir.Path().string(), &flat, kMessage, false));
    ASSERT_TRUE(treeWatcher.StartWatch(dir.Path().string(), &tree, kMessage, true));
    tree.Pump(2000, 1);  // its subfolders are all watched
    tree.Pump(300);
    tree.notes.clear();

    Touch((dir.Path() / "sub" / "deeper" / "x.jpg").string());
    tree.Pump(2000, 1);
    flat.Pump(300);
    EXPECT_EQ(tree.notes.size(), 1u);
    EXPECT_TRUE(flat.notes.empty());

    // A folder made after the start is watched too.
    std::filesystem::create_directory(dir.Path() / "new");
    tree.Pump(2000, 2);
    flat.Pump(2000, 1);
    EXPECT_EQ(flat.notes.size(), 1u);  // a folder name in the folder itself
    tree.Pump(300);
    tree.notes.clear();
    Touch((dir.Path() / "new" / "y.jpg").string());
    tree.Pump(2000, 1);
    EXPECT_EQ(tree.notes.size(), 1u);
}

// Folders made while the queue of changes overflowed are watched as well.
TEST(FileChangeWatcher, FoldersMadeWhileChangesWereLostAreWatched)
{
    vxtest::TempDir dir;
    std::filesystem::create_directories(dir.Path() / "sub");
    Receiver receiver;
    CFileChangeWatcher watcher;
    ASSERT_TRUE(watcher.StartWatch(dir.Path().string(), &receiver, kMessage, true));
    receiver.Pump(2000, 1);
    ASSERT_EQ(WatchedFolders(), 2u);
    long queued = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
    // A flood of renames, far more than the queue holds, with new folders among them.
    const std::string a = (dir.Path() / "a").string(), b = (dir.Path() / "b").string();
    Touch(a);
    int folders = 0;
    for (long i = 0; i < 4 * queued; ++i) {
        std::rename(i % 2 ? b.c_str() : a.c_str(), i % 2 ? a.c_str() : b.c_str());
        if (i % 1024 == 0)
            std::filesystem::create_directory(dir.Path() / "sub" / ("new " + std::to_string(++folders)));
    }
    const std::size_t all = 2u + std::size_t(folders);
    for (int waited = 0; waited < 10000 && WatchedFolders() != all; waited += 100)
        receiver.Pump(100);
    EXPECT_EQ(WatchedFolders(), all);
}

TEST(FileChangeWatcher, DeletingTheWatchedFolderEndsTheWatchWithZero)
{
    vxtest::TempDir dir;
    std::filesystem::create_directory(dir.Path() / "watched");
    Receiver receiver;
    CFileChangeWatcher watcher;
    ASSERT_TRUE(watcher.StartWatch((dir.Path() / "watched").string(), &receiver, kMessage, false));
    std::filesystem::remove(dir.Path() / "watched");
    receiver.Pump(2000);
    ASSERT_FALSE(receiver.notes.empty());
    EXPECT_EQ(receiver.notes.back().changed, 0);
    EXPECT_FALSE(watcher.IsWatching());
}

TEST(FileChangeWatcher, StoppedWatchPostsNothingAndStopsWithoutWaitingForTheRhythm)
{
    vxtest::TempDir dir;
    Receiver receiver;
    {
        CFileChangeWatcher watcher;
        ASSERT_TRUE(watcher.StartWatch(dir.Path().string(), &receiver, kMessage, true));
        Touch(dir.File("during.jpg"));  // the thread may be sleeping after this one
        QElapsedTimer timer;
        timer.start();
        watcher.StopWatch();
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_FALSE(watcher.IsWatching());
        receiver.Pump(100);
        receiver.notes.clear();
        Touch(dir.File("after.jpg"));
        receiver.Pump(400);
        EXPECT_TRUE(receiver.notes.empty());
        watcher.StopWatch();  // no thread: nothing happens
    }
    // A copy carries the settings, never the thread.
    CFileChangeWatcher original;
    ASSERT_TRUE(original.StartWatch(dir.Path().string(), &receiver, kMessage, false));
    CFileChangeWatcher copy(original);
    EXPECT_FALSE(copy.IsWatching());
    EXPECT_EQ(copy.GetPath(), dir.Path().string());
    EXPECT_TRUE(copy.StartWatch(dir.Path().string(), &receiver, kMessage, false));
}

// StartWatch leaves the subfolders to the thread, which reports once they are
// all watched; no change after StartWatch is lost, and a watch stopped or
// moved to another folder during that walk reports nothing of the old tree.
TEST(FileChangeWatcher, SubfoldersAreWatchedByTheThreadWithoutLosingAChange)
{
    vxtest::TempDir dir, other;
    const std::size_t folders = MakeTree(dir.Path() / "tree");
    std::filesystem::create_directory(other.Path() / "sub");
    const std::string root = (dir.Path() / "tree").string();
    const auto deep = [&](const char* name) { return root + "/~t/y{1,2}/a[!b]/" + name; };
    enum Change { AfterTheReport, RightAfterStart, AfterStopAndRestart };
    int file = 0;
    for (Change change : {AfterTheReport, RightAfterStart, AfterStopAndRestart}) {
        SCOPED_TRACE(change);
        Receiver receiver;
        CFileChangeWatcher watcher;
        ASSERT_TRUE(watcher.StartWatch(root, &receiver, kMessage, true));
        const std::string name = "new " + std::to_string(++file) + " *?[%].jpg";
        if (change == RightAfterStart) {
            Touch(deep(name.c_str()));
        } else if (change == AfterStopAndRestart) {
            watcher.StopWatch();
            ASSERT_TRUE(watcher.StartWatch(other.Path().string(), &receiver, kMessage, true));
            Touch(deep(name.c_str()));
        }
        receiver.Pump(20000, 1);
        ASSERT_EQ(receiver.notes.size(), 1u);
        EXPECT_EQ(receiver.notes[0].changed, 1);
        if (change == AfterTheReport) {
            // Every folder, whatever its name, links not followed.
            EXPECT_EQ(WatchedFolders(), folders + 1);
            Touch(deep(name.c_str()));
            receiver.Pump(2000, 2);
            EXPECT_EQ(receiver.notes.size(), 2u);
        }
        receiver.Pump(400);
        if (change != RightAfterStart) {  // there the change may come after the report
            EXPECT_EQ(receiver.notes.size(), change == AfterTheReport ? 2u : 1u);
        }
    }
}
