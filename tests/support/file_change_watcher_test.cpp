// The folder watcher: names are reported, contents are not, failures end the
// watch with 0, and a stopped watch reports nothing more.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "support/file_change_watcher.h"
#include "test_support.h"

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
        }
    }
};

void Touch(const std::string& path, const char* text = "x")
{
    std::ofstream(path) << text;
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
