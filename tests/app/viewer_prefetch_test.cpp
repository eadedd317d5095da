// The prefetch worker: its picture is handed over without a copy, only for
// the entry asked for, and a new start always waits for the previous worker.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "test_support.h"
#include "viewer/image_prefetch.h"

namespace {

CImagePrefetch::Reader MakeReader(std::atomic<int>* calls = nullptr, bool ok = true)
{
    return [calls, ok](CVelvix& image, const std::string& path, int index) {
        if (calls)
            ++*calls;
        image = vxtest::FilledImage(int(path.size()), index + 1, VxPixel(index));
        return ok;
    };
}

} // namespace

TEST(ViewerPrefetch, PictureIsHandedOverWithoutCopyOnlyForTheEntryAskedFor)
{
    CImagePrefetch prefetch;
    ASSERT_TRUE(prefetch.Start(3, "/p/abcd.jpg", MakeReader()));
    CVelvix target;
    EXPECT_FALSE(prefetch.TakeIfReady(2, "/p/abcd.jpg", target));
    EXPECT_FALSE(prefetch.TakeIfReady(3, "/p/other.jpg", target));
    EXPECT_FALSE(target.IsValidObject());
    EXPECT_TRUE(prefetch.TakeIfReady(3, "/p/abcd.jpg", target));
    EXPECT_EQ(target.GetWidth(), 11);
    EXPECT_EQ(target.GetHeight(), 4);
    EXPECT_EQ(target.Bytes(0), 3u);
    // Taken once: the next load reads the file itself.
    CVelvix again;
    EXPECT_FALSE(prefetch.TakeIfReady(3, "/p/abcd.jpg", again));
    EXPECT_EQ(prefetch.GetIndex(), -1);
}

// Nor one whose fit found no memory for its work buffer (the exception
// ended the program on the worker's thread).
TEST(ViewerPrefetch, FailedDecodeIsNeverHandedOver)
{
    const CImagePrefetch::Reader wantOfMemory = [](CVelvix& image, const std::string&, int) -> bool {
        image = vxtest::FilledImage(3, 3, 1);
        throw std::bad_alloc();
    };
    for (const CImagePrefetch::Reader& reader : {MakeReader(nullptr, false), wantOfMemory}) {
        CImagePrefetch prefetch;
        prefetch.Start(1, "/p/broken.jpg", reader);
        CVelvix target = vxtest::FilledImage(2, 2, 7);
        EXPECT_FALSE(prefetch.TakeIfReady(1, "/p/broken.jpg", target));
        EXPECT_EQ(target.GetWidth(), 2);
        EXPECT_FALSE(prefetch.Succeeded());
    }
}

TEST(ViewerPrefetch, StartingAgainWaitsForTheRunningWorker)
{
    std::atomic<bool> release{false};
    std::atomic<int> inside{0}, most{0};
    auto slow = [&](CVelvix& image, const std::string&, int index) {
        const int now = ++inside;
        most = std::max(most.load(), now);
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        image = vxtest::FilledImage(1, 1, VxPixel(index));
        --inside;
        return true;
    };
    CImagePrefetch prefetch;
    prefetch.Start(0, "/a.jpg", slow);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release = true;
    });
    prefetch.Start(1, "/b.jpg", slow);  // must join the first worker before
    releaser.join();
    CVelvix target;
    EXPECT_TRUE(prefetch.TakeIfReady(1, "/b.jpg", target));
    EXPECT_EQ(target.Bytes(0), 1u);
    EXPECT_EQ(most.load(), 1);
    prefetch.Forget();
    EXPECT_FALSE(prefetch.IsStarted());
}
