// Loading a cell's picture: scaling against the image object's own rules,
// the shared thumbnail cache (fresh, stale and foreign entries), the pool
// of loaders and the memory budget of full pictures.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "browser/thumbnails/full_picture_budget.h"
#include "browser/thumbnails/loader_pool.h"
#include "browser/thumbnails/thumbnail_cache.h"
#include "browser/thumbnails/thumbnail_item.h"
#include "browser/thumbnails/thumbnail_loader.h"
#include "common/picture_header.h"
#include "test_support.h"
#include "thread_start_refused.h"

namespace {

CVelvix Smooth(int w, int h)
{
    CVelvix image = vxtest::FilledImage(w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.Bytes(x, y) = VxPixel(x * 255 / w) << 16 | VxPixel(y * 255 / h) << 8 | VxPixel((x ^ y) & 0xFF);
    return image;
}

void SetTime(const std::string& path, long seconds)
{
    struct utimbuf times {seconds, seconds};
    utime(path.c_str(), &times);
}

} // namespace

TEST(ThumbnailCache, NamesFollowTheSharedConvention)
{
    const std::pair<const char*, const char*> uris[] = {
        {"/home/jens/photos/me.png", "file:///home/jens/photos/me.png"},
        {"/a b/c%[1]?#.jpg", "file:///a%20b/c%25%5B1%5D%3F%23.jpg"},
        {"/é.jpg", "file:///%C3%A9.jpg"},
        {"/x/y+z,@$&=:!~*'().jpg", "file:///x/y+z,@$&=:!~*'().jpg"},
        {"/q\"<>\\^`{|};.jpg", "file:///q%22%3C%3E%5C%5E%60%7B%7C%7D%3B.jpg"}};
    for (const auto& [path, uri] : uris)
        EXPECT_EQ(CThumbnailCache::FileUri(path), uri);
    // The example every desktop program agrees on.
    CThumbnailCache cache("/cache");
    EXPECT_EQ(cache.EntryPath("/home/jens/photos/me.png", 128),
              "/cache/normal/c6ee772d9e49320e97ec29a7eb5b1697.png");
    const std::pair<int, int> buckets[] = {{1, 128}, {116, 128}, {128, 128}, {129, 256}, {256, 256},
                                           {500, 512}, {513, 1024}, {1012, 1024}, {5000, 1024}};
    for (const auto& [box, bucket] : buckets)
        EXPECT_EQ(CThumbnailCache::BucketFor(box), bucket) << box;
    EXPECT_TRUE(cache.EntryPath("/a", 256).contains("/large/"));
    EXPECT_TRUE(cache.EntryPath("/a", 512).contains("/x-large/"));
    EXPECT_TRUE(cache.EntryPath("/a", 1024).contains("/xx-large/"));
}

TEST(ThumbnailCache, FreshEntriesAreReadStaleAndForeignOnesAreNot)
{
    vxtest::TempDir dir;
    CThumbnailCache cache(QString::fromStdString(dir.File("thumbnails")));
    const std::string photo = dir.File("a [1] %.png");
    CVelvix picture = Smooth(40, 30);
    ASSERT_EQ(picture.SaveImage(photo.c_str()), 1);
    SetTime(photo, 1000000000);
    QImage entry(20, 15, QImage::Format_RGB32);
    entry.fill(0x123456);
    ASSERT_TRUE(cache.Write(photo, 128, entry, 40, 30));
    QImage back;
    int w = 0, h = 0;
    ASSERT_TRUE(cache.Read(photo, 128, back, w, h));
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), entry);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);
    struct stat info {};
    ASSERT_EQ(stat(cache.EntryPath(photo, 128).toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(cache.Read(photo, 256, back, w, h)); // another size

    // The file changed: the entry is stale until written again.
    SetTime(photo, 1000000001);
    EXPECT_FALSE(cache.Read(photo, 128, back, w, h));
    ASSERT_TRUE(cache.Write(photo, 128, entry, 40, 30));
    EXPECT_TRUE(cache.Read(photo, 128, back, w, h));
    // Replaced by another picture within the same second (moved over it).
    ASSERT_EQ(Smooth(41, 30).SaveImage(photo.c_str()), 1);
    SetTime(photo, 1000000001);
    EXPECT_FALSE(cache.Read(photo, 128, back, w, h));

    // Another program's entry, without the picture's size.
    QImage foreign(16, 12, QImage::Format_RGB32);
    foreign.fill(0xABCDEF);
    foreign.setText("Thumb::URI", QString::fromStdString(CThumbnailCache::FileUri(photo)));
    foreign.setText("Thumb::MTime", "1000000001");
    ASSERT_TRUE(foreign.save(cache.EntryPath(photo, 128), "png"));
    ASSERT_TRUE(cache.Read(photo, 128, back, w, h));
    EXPECT_EQ(back.size(), QSize(16, 12));
    EXPECT_EQ(w, 0);
    // An entry naming another file, one larger than its size, one that is
    // not a picture: none is used.
    foreign.setText("Thumb::URI", "file:///elsewhere.png");
    ASSERT_TRUE(foreign.save(cache.EntryPath(photo, 128), "png"));
    EXPECT_FALSE(cache.Read(photo, 128, back, w, h));
    QImage huge(300, 10, QImage::Format_RGB32);
    huge.setText("Thumb::URI", QString::fromStdString(CThumbnailCache::FileUri(photo)));
    huge.setText("Thumb::MTime", "1000000001");
    ASSERT_TRUE(huge.save(cache.EntryPath(photo, 128), "png"));
    EXPECT_FALSE(cache.Read(photo, 128, back, w, h));
    QFile garbage(cache.EntryPath(photo, 128));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("not a png");
    garbage.close();
    EXPECT_FALSE(cache.Read(photo, 128, back, w, h));

    // Nothing is written for files inside the cache, for missing files, or
    // larger than the size.
    const std::string inside = cache.EntryPath(photo, 256).toStdString();
    EXPECT_TRUE(cache.IsInsideCache(inside));
    EXPECT_FALSE(cache.IsInsideCache(dir.File("thumbnails-not/x.png")));
    EXPECT_FALSE(cache.Write(cache.EntryPath(photo, 128).toStdString(), 128, entry, 1, 1));
    EXPECT_FALSE(cache.Write(dir.File("missing.png"), 128, entry, 1, 1));
    EXPECT_FALSE(cache.Write(photo, 128, huge, 1, 1));

    // Another user's cache folder: nothing written, nothing left behind,
    // the old entry kept.
    vxtest::TempDir locked;
    const std::string file = (locked.Path() / "x [1].png").string();
    std::ofstream(file) << "x";
    const CThumbnailCache own(QString::fromStdString((locked.Path() / "thumbnails").string()));
    QImage first(8, 8, QImage::Format_RGB32);
    first.fill(0x010203);
    ASSERT_TRUE(own.Write(file, 128, first, 8, 8));
    const QString folder = QFileInfo(own.EntryPath(file, 128)).absolutePath();
    for (const QString& open : {QString::fromStdString(locked.Path().string()), own.Root(), folder})
        chmod(QFile::encodeName(open).constData(), 0755);
    const auto failures = vxtest::RunUnprivileged({}, [&]() -> std::string {
        QImage second = first;
        second.fill(0x040506);
        return own.Write(file, 128, second, 8, 8) ? "written into another user's folder" : "";
    });
    if (!failures)
        GTEST_SKIP() << "privileges cannot be dropped: another user's cache was not checked";
    EXPECT_EQ(*failures, "");
    EXPECT_TRUE(own.Read(file, 128, back, w, h));
    EXPECT_EQ(back.pixel(0, 0), first.pixel(0, 0));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(ThumbnailLoading, CellPicturesFollowTheImageObjectsScaling)
{
    vxtest::TempDir dir;
    struct Case {
        const char* name;
        int w, h, box;
        bool bilinear;
    };
    for (const Case& c : {Case{"wide é.png", 301, 97, 116, false}, {"tall [1].bmp", 37, 250, 116, true},
                          {"small.gif", 20, 10, 116, false}, {"small2.png", 20, 10, 36, true},
                          {"thin.png", 1000, 1, 36, false}}) {
        SCOPED_TRACE(c.name);
        CVelvix source = Smooth(c.w, c.h);
        const std::string path = dir.File(c.name);
        ASSERT_EQ(source.SaveImage(path.c_str()), 1);
        CVelvix full;
        ASSERT_EQ(full.ReadImage(path.c_str()), 1);
        // The oracle: the full picture fitted by the library's own calls.
        CVelvix expected(full);
        if (c.bilinear)
            expected.Resample_Bilinear(c.box, c.box, true);
        else
            ASSERT_TRUE(expected.Resize(nullptr, c.box, c.box, true) || c.h == 1);
        ThumbnailItem item(0, path);
        SThumbnailLoad load;
        load.m_strPath = path;
        load.m_nBox = c.box;
        load.m_bKeepFull = true;
        load.m_bBilinear = c.bilinear;
        ASSERT_TRUE(LoadThumbnail(item, load));
        if (c.h > 1)
            EXPECT_EQ(vxtest::FirstDifference(item.m_imgScaled, expected), -1);
        else
            EXPECT_EQ(item.m_imgScaled.GetHeight(), 1); // never zero rows
        EXPECT_EQ(vxtest::FirstDifference(item, full), -1); // kept, as decoded
        EXPECT_EQ(item.m_nFullWidth, c.w);
        EXPECT_EQ(item.m_nScaledBox, c.box);
        EXPECT_EQ(item.Drawable().size(), QSize(item.m_imgScaled.GetWidth(), item.m_imgScaled.GetHeight()));
        EXPECT_EQ(item.Drawable().pixel(0, 0) & 0xFFFFFF,
                  item.m_imgScaled.Bytes(0, item.m_imgScaled.GetHeight() - 1)); // top row first
    }
    // Not a picture: the cell stays without one and is skipped later.
    std::ofstream(dir.File("fake.jpg")) << "no picture here";
    ThumbnailItem fake(0, dir.File("fake.jpg"));
    SThumbnailLoad load;
    load.m_strPath = dir.File("fake.jpg");
    EXPECT_FALSE(LoadThumbnail(fake, load));
    EXPECT_FALSE(fake.m_bLoadable);
    EXPECT_FALSE(fake.HasScaled());
}

TEST(ThumbnailLoading, LargeJpegsDecodeReducedOnceAndThenComeFromTheCache)
{
    vxtest::TempDir dir;
    CThumbnailCache cache(QString::fromStdString(dir.File("cache")));
    const std::string path = dir.File("big photo.jpg");
    CVelvix source = Smooth(1203, 811);
    ASSERT_EQ(source.SaveImage(path.c_str()), 1);
    int fittedW, fittedH;
    thumbs::FittedSize(1203, 811, 116, fittedW, fittedH);
    SLoadCounters counters;
    SThumbnailLoad load;
    load.m_strPath = path;
    load.m_bKeepFull = true;
    load.m_pCache = &cache;
    for (int round = 0; round < 2; ++round) {
        ThumbnailItem item(0, path);
        ASSERT_TRUE(LoadThumbnail(item, load, &counters));
        // The size is the full picture's fit, whatever scale was decoded.
        EXPECT_EQ(item.m_imgScaled.GetWidth(), fittedW);
        EXPECT_EQ(item.m_imgScaled.GetHeight(), fittedH);
        EXPECT_FALSE(item.IsValidObject()); // decoded reduced: no full picture
        EXPECT_EQ(item.m_nFullWidth, 1203);
        EXPECT_EQ(item.m_nFullHeight, 811);
    }
    EXPECT_EQ(counters.m_nDecodes, 1);
    EXPECT_EQ(counters.m_nCacheHits, 1);
    const QImage entry(cache.EntryPath(path, 128));
    EXPECT_EQ(entry.size(), QSize(128, 86));
    EXPECT_EQ(entry.text("Thumb::Image::Width"), "1203");
}

// A few hundred kilobytes of PNG can hold a gigabyte of pixels: pictures
// that need more memory than the loaders' decodes may share are decoded one
// after the other, never side by side, and each still gets its cell picture.
TEST(ThumbnailLoading, PicturesBeyondTheDecodeMemoryAreDecodedOneAtATime)
{
    vxtest::TempDir dir;
    CVelvix source = Smooth(800, 600);
    std::vector<std::unique_ptr<ThumbnailItem>> items;
    for (const char* name : {"a.png", "b [1].bmp", "c %.gif", "d.png", "e.bmp", "f.gif"}) {
        ASSERT_EQ(source.SaveImage(dir.File(name).c_str()), 1) << name;
        items.push_back(std::make_unique<ThumbnailItem>(int(items.size()), dir.File(name)));
    }
    SetThumbnailDecodeMemory(800 * 600 * 4 / 2);
    SLoadCounters counters;
    {
        CLoaderPool pool(4);
        for (const auto& item : items)
            pool.Queue(nullptr, [&counters, target = item.get()] {
                SThumbnailLoad load;
                load.m_strPath = target->m_strPath;
                LoadThumbnail(*target, load, &counters);
            });
        pool.Finish();
    }
    SetThumbnailDecodeMemory(0);
    EXPECT_EQ(counters.m_nDecodes, 6);
    EXPECT_EQ(counters.m_nPeakDecoding, 1);
    for (const auto& item : items)
        EXPECT_TRUE(item->HasScaled()) << item->m_strPath;
}

TEST(LoaderPool, NewestRunFirstQueuedJobsDropAtOnceRunningOnesAreWaitedFor)
{
    std::atomic<int> started{0}, finished{0};
    std::atomic<bool> release{false};
    auto gate = [&] {
        ++started;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++finished;
    };
    // One thread held at a gate: what queues behind it runs newest first.
    {
        CLoaderPool one(1);
        one.Queue(nullptr, gate);
        while (started < 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::vector<int> order;
        int keys[5];
        for (int i = 0; i < 5; ++i)
            one.Queue(&keys[i], [&order, i] { order.push_back(i); });
        EXPECT_EQ(one.Drop([&](const void* key) { return key == &keys[1]; }), 1);
        release = true;
        one.Finish();
        EXPECT_EQ(order, (std::vector<int>{4, 3, 2, 0}));
    }
    // Both threads held: the queue goes at once, the two running are waited for.
    started = 0;
    finished = 0;
    release = false;
    CLoaderPool pool(2);
    pool.Queue(nullptr, gate);
    pool.Queue(nullptr, gate);
    while (started < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int keys[8];
    for (int& key : keys)
        pool.Queue(&key, gate);
    EXPECT_EQ(pool.Running(), 2);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release = true;
    });
    int dropped = 0;
    EXPECT_EQ(pool.DropAllAndWait([&](const void*) { ++dropped; }), 8);
    EXPECT_EQ(dropped, 8);
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(pool.Running(), 0);
    releaser.join();
}

// Threads the system refuses (too many running) are done without: with none
// a job runs on the thread that queues it, and a later job starts a thread
// again (a refused thread ended the program).
TEST(LoaderPool, ThreadsTheSystemRefusesAreDoneWithout)
{
    g_refuseThreads = true;
    CLoaderPool pool(3);
    EXPECT_EQ(pool.Threads(), 0);
    std::vector<std::thread::id> ran;
    std::mutex mutex;
    auto job = [&] {
        std::lock_guard lock(mutex);
        ran.push_back(std::this_thread::get_id());
    };
    pool.Queue(nullptr, job);
    EXPECT_EQ(ran, std::vector<std::thread::id>{std::this_thread::get_id()});
    g_refuseThreads = false;
    pool.Queue(nullptr, job);
    pool.Finish();
    EXPECT_EQ(pool.Threads(), 1);
    ASSERT_EQ(ran.size(), 2u);
    EXPECT_NE(ran[1], std::this_thread::get_id());
}

// In a forked child: the exit code, or -1 when it did not end within 20 s.
int InChildWithin20s(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        alarm(20);
        _exit(body());
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Choosing what to drop asks the view where a cell is; the view may lay
// itself out and drop again from its resize: the pool must not wait for
// itself.
TEST(LoaderPool, ChoosingWhatToDropMayDropAgain)
{
    const int result = InChildWithin20s([] {
        std::atomic<bool> started{false}, release{false};
        CLoaderPool one(1);
        one.Queue(nullptr, [&] {
            started = true;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        while (!started)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        int keys[4];
        std::vector<int> order;
        for (int i = 0; i < 4; ++i)
            one.Queue(&keys[i], [&order, i] { order.push_back(i); });
        int inner = -1;
        const int outer = one.Drop([&](const void* key) {
            if (inner < 0)
                inner = one.Drop([&](const void* other) { return other == &keys[3]; });
            return key == &keys[1];
        });
        release = true;
        one.Finish();
        return outer == 1 && inner == 1 && order == std::vector<int>{2, 0} ? 0 : 1;
    });
    EXPECT_EQ(result, 0) << "-1: the drop waited for itself";
}

TEST(FullPictureBudget, LeastRecentlyPaintedPicturesGoFirst)
{
    std::vector<std::unique_ptr<ThumbnailItem>> items;
    for (int i = 0; i < 4; ++i) {
        items.push_back(std::make_unique<ThumbnailItem>(i, "x"));
        static_cast<CVelvix&>(*items.back()) = vxtest::FilledImage(16, 16, 1); // 1 KiB
        items.back()->m_nLastPaint = 10 - i;
    }
    CFullPictureBudget budget(2048);
    for (auto& item : items)
        budget.Admit(item.get());
    // Painted last: items 0 and 1 (ticks 10 and 9) stay.
    EXPECT_TRUE(items[0]->IsValidObject());
    EXPECT_TRUE(items[1]->IsValidObject());
    EXPECT_FALSE(items[2]->IsValidObject());
    EXPECT_FALSE(items[3]->IsValidObject());
    EXPECT_EQ(budget.Used(), 2048u);
    budget.SetBudget(1024);
    EXPECT_FALSE(items[1]->IsValidObject());
    EXPECT_TRUE(budget.Fits(1024));
    EXPECT_FALSE(budget.Fits(1025));
    budget.Forget(items[0].get());
    EXPECT_EQ(budget.Used(), 0u);
    const std::size_t machine = CFullPictureBudget::DefaultBytes();
    EXPECT_GT(machine, 0u);
    EXPECT_LE(machine, std::size_t(1) << 30);
}

TEST(PictureHeader, SizesAsTheReaderSaysWithoutTakingMemoryForASideChunk)
{
    // Good files of every kind give the reader's size; a broken header none.
    for (const char* name : {"png/pngsuite/basn2c08.png", "png/pngsuite/s39i3p04.png", "gif/pygif-test-suite/255-codes.gif",
                             "jpeg/exif-orientation-examples/Landscape_1.jpg", "png/pngsuite/xs1n0g01.png"}) {
        const QString path = QString::fromStdString(vxtest::TestData(name));
        ASSERT_TRUE(QFileInfo::exists(path)) << name;
        EXPECT_EQ(PictureHeaderSize(path), QImageReader(path).size()) << name;
    }
    // 57-byte files whose side chunk claims a gigabyte, sized in a child.
    for (const char* name : {"huge_tEXt_chunk.png", "huge_zTXt_chunk.png"}) {
        const QString path = QString::fromStdString(vxtest::TestData(std::string("png/libpng-crashers/") + name));
        const auto [sized, peakKb] = vxtest::InChildWithPeakKb([&] { return PictureHeaderSize(path) == QSize(1, 1); });
        EXPECT_TRUE(sized) << name << ": not its header's size";
        EXPECT_LT(peakKb, 64 * 1024) << name << ": KB taken";
    }
    // A pipe named like a picture: no size, and no open waiting for a writer.
    vxtest::TempDir dir;
    ASSERT_EQ(mkfifo(dir.File("pipe.jpg").c_str(), 0600), 0);
    const bool refused = vxtest::InChildWithPeakKb([&] {
        alarm(30);
        return !PictureHeaderSize(QString::fromStdString(dir.File("pipe.jpg"))).isValid();
    }).first;
    EXPECT_TRUE(refused) << "the pipe blocked or gave a size";
}
