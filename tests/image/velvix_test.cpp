#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "image/parallel.h"
#include "test_support.h"

using vxtest::RandomImage;

namespace {

CVelvix_PixelInterface& Raw(CVelvix& image)
{
    return image;
}

} // namespace

TEST(ImageObject, EmptyUntilCreatedAndEmptyAgainAfterDelete)
{
    CVelvix image;
    EXPECT_FALSE(image.IsValidObject());
    ASSERT_TRUE(Raw(image).RawCreateImage(3, 5));
    EXPECT_TRUE(image.IsValidObject());
    EXPECT_EQ(image.GetWidth(), 5);
    EXPECT_EQ(image.GetHeight(), 3);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(image.Bytes(i), 0u) << "new buffers are black";
    image.DeleteObject();
    EXPECT_FALSE(image.IsValidObject());
    EXPECT_EQ(vxtest::Data(image), nullptr);
}

TEST(ImageObject, RefusesSizesBeyondTheCapAndLeavesTheImageEmpty)
{
    CVelvix image = RandomImage(4, 4);
    EXPECT_FALSE(Raw(image).RawCreateImage(70000, 10));
    EXPECT_FALSE(image.IsValidObject());
    EXPECT_FALSE(Raw(image).RawCreateImage(0, 10));
    EXPECT_FALSE(Raw(image).RawCreateImage(60000, 60000)) << "3.6 gigapixels exceed the cap";
}

TEST(ImageObject, BoundsAndPixelAddressing)
{
    CVelvix image = RandomImage(7, 4);
    EXPECT_FALSE(image.ValidX(-1));
    EXPECT_FALSE(image.ValidX(7));
    EXPECT_TRUE(image.ValidX(0));
    EXPECT_TRUE(image.ValidX(6));
    EXPECT_FALSE(image.ValidY(4));
    EXPECT_TRUE(image.ValidY(3));
    EXPECT_FALSE(image.ValidPoint(6, -1));
    EXPECT_TRUE(image.ValidPoint(6, 3));
    EXPECT_EQ(&image.Bytes(3, 2), &image.Bytes(2 * 7 + 3));
    EXPECT_EQ(&image.Bytes(0, 0), vxtest::Data(image));
}

TEST(ImageObject, AssignmentIsADeepCopyAndAnEmptySourceEmptiesTheTarget)
{
    CVelvix source = RandomImage(9, 5, 7);
    CVelvix copy;
    copy = source;
    ASSERT_EQ(vxtest::FirstDifference(copy, source), -1);
    EXPECT_NE(vxtest::Data(copy), vxtest::Data(source));
    copy.Bytes(0) = 0x123456;
    EXPECT_NE(source.Bytes(0), 0x123456u);

    CVelvix sameSize = RandomImage(9, 5, 8);
    sameSize = source;
    EXPECT_EQ(vxtest::FirstDifference(sameSize, source), -1);

    CVelvix empty;
    copy = empty;
    EXPECT_FALSE(copy.IsValidObject());
}

// When the system starts no more threads (too many, or no room for their
// stacks), the loops do all the work on this thread: the exception of a
// refused thread would end the program (an undo copy, a thumbnail worker).
TEST(ImageObject, LoopsRunOnThisThreadWhenNoThreadCanBeStarted)
{
    CVelvix source = RandomImage(1024, 1024, 8);
    const pid_t child = fork();
    if (child == 0) {
        // Root may start threads beyond the limit: the child runs as nobody.
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        const rlimit one {1, 1};
        setrlimit(RLIMIT_NPROC, &one);
        try {
            std::thread([] {}).join();
            _exit(3);
        } catch (const std::system_error&) {
        }
        try {
            std::vector<int> ranges(1000), pieces(1000);
            VxParallelRanges(ranges.size(), true, [&](std::size_t begin, std::size_t end) {
                for (std::size_t i = begin; i < end; ++i)
                    ++ranges[i];
            });
            VxParallelPieces(pieces.size(), true, [&](std::size_t, std::size_t begin, std::size_t end) {
                for (std::size_t i = begin; i < end; ++i)
                    ++pieces[i];
            });
            CVelvix copy(source);
            const bool once = std::count(ranges.begin(), ranges.end(), 1) == 1000 &&
                              std::count(pieces.begin(), pieces.end(), 1) == 1000;
            _exit(once && vxtest::FirstDifference(copy, source) == -1 ? 0 : 1);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "threads cannot be refused here (no user 65534, or the limit is not enforced)";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// An exception of a range or piece (an effect's work buffer that cannot be
// had) reaches the loop's caller once every thread has ended, wherever it was
// thrown: escaping a thread of its own, or the caller while threads still
// run, it ended the program.
TEST(ImageObject, LoopsHandTheirCallerAnExceptionOnceEveryThreadHasEnded)
{
    if (VxCores() < 2)
        GTEST_SKIP() << "one core: the loops start no thread";
    const std::thread::id caller = std::this_thread::get_id();
    for (const bool pieces : {false, true})
        for (const char* thrower : {"caller", "others", "all"}) {
            std::atomic<int> started{0}, ended{0};
            auto part = [&] {
                if (std::this_thread::get_id() != caller) {
                    ++started;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    ++ended;
                    if (std::strcmp(thrower, "caller") != 0)
                        throw std::bad_alloc();
                    return;
                }
                // Another thread takes a piece before this one fails.
                for (int wait = 0; wait < 500 && std::strcmp(thrower, "others") == 0 && started == 0; ++wait)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (std::strcmp(thrower, "others") != 0)
                    throw std::bad_alloc();
            };
            const std::size_t count = 64;
            if (pieces)
                EXPECT_THROW(VxParallelPieces(count, true, [&](std::size_t, std::size_t, std::size_t) { part(); }),
                             std::bad_alloc) << thrower;
            else
                EXPECT_THROW(VxParallelRanges(count, true, [&](std::size_t, std::size_t) { part(); }), std::bad_alloc)
                    << thrower;
            EXPECT_EQ(ended.load(), started.load()) << thrower << (pieces ? " pieces" : " ranges");
        }
}

TEST(ImageObject, SwapExchangesPicturesWithoutCopying)
{
    CVelvix a = RandomImage(3, 2, 1), b = RandomImage(5, 4, 2);
    VxPixel* aData = vxtest::Data(a);
    a.Swap(b);
    EXPECT_EQ(vxtest::Data(b), aData);
    EXPECT_EQ(a.GetWidth(), 5);
    EXPECT_EQ(b.GetWidth(), 3);
    CVelvix empty;
    a.Swap(empty);
    EXPECT_FALSE(a.IsValidObject());
    EXPECT_EQ(empty.GetHeight(), 4);
}

TEST(ImageObject, HslOfPrimaryColoursAndGreys)
{
    float h, s, l;
    CVelvix::_GetHSL(0xFF0000, h, s, l);
    EXPECT_FLOAT_EQ(h, 360);
    EXPECT_FLOAT_EQ(s, 1);
    EXPECT_FLOAT_EQ(l, 0.5);
    EXPECT_EQ(CVelvix::_SetHSL(360, 1, 0.5f), 0xFF0000u);
    EXPECT_EQ(CVelvix::_SetHSL(240, 1, 0.5f), 0x0000FFu);
    EXPECT_EQ(CVelvix::_SetHSL(120, 1, 0.5f), 0x00FF00u);
    const VxPixel hues[] = {0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF, 0xFF00FF};
    const float expected[] = {60, 120, 180, 240, 300};
    for (int i = 0; i < 5; ++i) {
        CVelvix::_GetHSL(hues[i], h, s, l);
        EXPECT_FLOAT_EQ(h, expected[i]) << i;
    }
    for (unsigned v : {0u, 1u, 77u, 128u, 255u}) {
        CVelvix::_GetHSL(v * 0x010101u, h, s, l);
        EXPECT_EQ(h, 0);
        EXPECT_EQ(s, 0);
    }
    for (float hue : {0.f, 90.f, 359.f}) {
        EXPECT_EQ(CVelvix::_SetHSL(hue, 0, 1), 0xFFFFFFu);
        EXPECT_EQ(CVelvix::_SetHSL(hue, 0, 0), 0u);
    }
}

TEST(ImageObject, HslRoundTripKeepsColoursUpToTruncation)
{
    std::mt19937 random(3);
    for (int i = 0; i < 2000; ++i) {
        const VxPixel p = random() & 0xFFFFFF;
        float h, s, l;
        CVelvix::_GetHSL(p, h, s, l);
        const VxPixel q = CVelvix::_SetHSL(h, s, l);
        for (int shift : {0, 8, 16})
            EXPECT_LE(std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)), 1) << std::hex << p;
    }
}

TEST(ImageObject, PolarHelpers)
{
    CVelvix image = RandomImage(101, 80);
    CVelvix_PixelInterface& raw = image;
    EXPECT_FLOAT_EQ(raw.GetAngle(-1, 1), raw.GetAngle(1, -1));
    EXPECT_FLOAT_EQ(raw.GetAngle(1, -1), float(-M_PI / 4));
    EXPECT_FLOAT_EQ(raw.GetAngle(0, 5), float(M_PI / 2));
    float radius, angle;
    image.CartesianToPolar(0, 0, radius, angle);
    EXPECT_EQ(radius, 0);
    EXPECT_TRUE(std::isnan(angle));
    image.CartesianToPolar(3, 4, radius, angle);
    EXPECT_FLOAT_EQ(radius, 5);
    int x, y;
    image.PolarToCartesian(10, float(M_PI), x, y);
    EXPECT_EQ(x, -10);
    EXPECT_EQ(y, 0) << "sin(pi) is a tiny number that truncates to 0";
    EXPECT_EQ(&image.PolarBytes(1000, 0), &image.Bytes(100, 40));
    EXPECT_EQ(&image.PolarBytes(1000, float(M_PI)), &image.Bytes(0, 40));
    EXPECT_EQ(&image.PolarBytes(1000, float(M_PI / 2)), &image.Bytes(50, 79));
}

TEST(ImageObject, HalfSizesAndSafeRadius)
{
    struct Case { int w, h, halfW, halfH; float safe; };
    for (const Case& c : {Case{101, 80, 50, 40, 40}, Case{80, 101, 40, 50, 40}, Case{100, 101, 50, 50, 51}}) {
        CVelvix image = RandomImage(c.w, c.h);
        CVelvix_PixelInterface& raw = image;
        EXPECT_EQ(raw.GetHalfWidth(), c.halfW);
        EXPECT_EQ(raw.GetHalfHeight(), c.halfH);
        EXPECT_EQ(raw.GetSafeRadius(), c.safe) << c.w << "x" << c.h;
    }
}

TEST(ImageObject, PackedTwentyFourBitRowsArePaddedToFourBytes)
{
    for (int width : {1, 2, 3, 4, 5, 7, 64, 65}) {
        CVelvix image = RandomImage(width, 3, width);
        int size = -1;
        unsigned char* block = Raw(image).Create24BitDWORDAlignedBuffer(size);
        ASSERT_NE(block, nullptr);
        const int row = width * 3 + (width & 3);
        ASSERT_EQ(row % 4, 0);
        ASSERT_EQ(size, 3 * row);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < width; ++x) {
                const VxPixel p = image.Bytes(x, y);
                const unsigned char* at = block + y * row + x * 3;
                ASSERT_EQ(at[0], p & 0xFF);
                ASSERT_EQ(at[1], (p >> 8) & 0xFF);
                ASSERT_EQ(at[2], (p >> 16) & 0xFF);
            }
            for (int pad = width * 3; pad < row; ++pad)
                ASSERT_EQ(block[y * row + pad], 0);
        }
        delete[] block;
    }
    CVelvix empty;
    int size = -1;
    EXPECT_EQ(Raw(empty).Create24BitDWORDAlignedBuffer(size), nullptr);
    EXPECT_EQ(size, 0);
}

TEST(ImageObject, CopyFromRectAnchorsPartialCopiesAtTheTopLeft)
{
    CVelvix big = RandomImage(50, 50, 1);
    CVelvix target = RandomImage(40, 40, 2);
    CVelvix before = target;
    VxRect selection{5, 6, 25, 36};  // 20 x 30
    ASSERT_TRUE(target.CopyFromRect(big, nullptr, &selection, true));
    for (int r = 0; r < 40; ++r)
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 5 && x < 25 && r >= 6 && r < 36;
            const VxPixel expected = inside ? big.Bytes(x - 5, 49 - (r - 6)) : before.Bytes(x, 39 - r);
            ASSERT_EQ(target.Bytes(x, 39 - r), expected) << x << "," << r;
        }

    CVelvix small = RandomImage(10, 10, 3);
    target = before;
    ASSERT_TRUE(target.CopyFromRect(small, nullptr, &selection, true));
    for (int r = 0; r < 40; ++r)
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 5 && x < 15 && r >= 6 && r < 16;
            const VxPixel expected = inside ? small.Bytes(x - 5, 9 - (r - 6)) : before.Bytes(x, 39 - r);
            ASSERT_EQ(target.Bytes(x, 39 - r), expected) << x << "," << r;
        }
}

TEST(ImageObject, CopyFromRectRefusesMismatchedOrOutsideRectangles)
{
    CVelvix source = RandomImage(10, 10);
    CVelvix target = RandomImage(10, 10, 4);
    CVelvix before = target;
    VxRect a{0, 0, 4, 4}, b{0, 0, 5, 4}, outside{8, 8, 11, 10};
    EXPECT_FALSE(target.CopyFromRect(source, &a, &b, true));
    EXPECT_FALSE(target.CopyFromRect(source, &outside, nullptr, true));
    EXPECT_FALSE(target.CopyFromRect(source, nullptr, &outside, true));
    // Rectangles whose width or height does not fit an int are refused as
    // outside (their sizes are not compared first).
    VxRect huge{INT_MIN, 0, 1, 1}, tall{0, INT_MIN, 1, INT_MAX};
    EXPECT_FALSE(target.CopyFromRect(source, &huge, &huge, true));
    EXPECT_FALSE(target.CopyFromRect(source, &tall, &tall, true));
    EXPECT_EQ(vxtest::FirstDifference(target, before), -1);
    CVelvix empty;
    EXPECT_FALSE(empty.CopyFromRect(source, nullptr, &a, true)) << "a target rectangle needs a valid image";
    EXPECT_FALSE(target.CopyFromRect(empty, nullptr, nullptr, true));
    EXPECT_TRUE(empty.CopyFromRect(source, nullptr, nullptr, true));
    EXPECT_EQ(vxtest::FirstDifference(empty, source), -1);
}

// Within one image the two rectangles may overlap: the copy reads the old
// pixels everywhere, as a copy from a separate duplicate does.
TEST(ImageObject, CopyFromRectWithinOneImageReadsTheOldPixels)
{
    struct Case {
        VxRect from, to;
    } const cases[] = {
        {{2, 1, 12, 9}, {2, 4, 12, 12}},  // shifted down (display rows)
        {{2, 4, 12, 12}, {2, 1, 12, 9}},  // shifted up
        {{0, 0, 10, 10}, {3, 2, 13, 12}}, // down and right
        {{3, 2, 13, 12}, {0, 0, 10, 10}}, // up and left
        {{1, 1, 14, 3}, {1, 2, 14, 4}},   // one row down
    };
    for (const Case& c : cases) {
        CVelvix image = RandomImage(14, 13, 6);
        CVelvix duplicate = image, expected = image;
        VxRect from = c.from, to = c.to;
        ASSERT_TRUE(expected.CopyFromRect(duplicate, &from, &to, true));
        ASSERT_TRUE(image.CopyFromRect(image, &from, &to, true));
        EXPECT_EQ(vxtest::FirstDifference(image, expected), -1)
            << from.left << "," << from.top << " -> " << to.left << "," << to.top;
    }
}

TEST(ImageObject, CropKeepsTheRectangleInDisplayRows)
{
    CVelvix image = RandomImage(100, 100, 9);
    CVelvix before = image;
    ASSERT_TRUE(image.Crop(VxRect{10, 20, 30, 60}));
    ASSERT_EQ(image.GetWidth(), 20);
    ASSERT_EQ(image.GetHeight(), 40);
    // Display row 0 of the result is display row 20 of the original.
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(image.Bytes(x, 39), before.Bytes(x + 10, 99 - 20));
    EXPECT_EQ(image.Bytes(0, 0), before.Bytes(10, 99 - 59));

    CVelvix kept = before;
    EXPECT_FALSE(kept.Crop(VxRect{90, 0, 101, 10}));
    EXPECT_FALSE(kept.Crop(VxRect{0, 95, 10, 101}));
    EXPECT_EQ(vxtest::FirstDifference(kept, before), -1);
}

TEST(ImageObject, ResizeRepeatsWholeColumnsAndKeepsTheSameSize)
{
    CVelvix image = RandomImage(100, 100, 5);
    CVelvix before = image;
    EXPECT_TRUE(image.Resize(nullptr, 100, 100, false));
    EXPECT_EQ(vxtest::FirstDifference(image, before), -1);
    ASSERT_TRUE(image.Resize(nullptr, 200, 100, false));
    ASSERT_EQ(image.GetWidth(), 200);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(image.Bytes(x, y), before.Bytes(x / 2, y));
    // Shrinking and stretching either way: each new pixel is the old pixel
    // under its centre, whole rows and columns kept or dropped.
    struct Size {
        int w, h;
    } const sizes[] = {{100, 50}, {100, 30}, {37, 100}, {40, 30}, {1, 1}, {150, 250}};
    for (const Size& size : sizes) {
        CVelvix resized = before;
        ASSERT_TRUE(resized.Resize(nullptr, size.w, size.h, false));
        ASSERT_EQ(resized.GetWidth(), size.w);
        ASSERT_EQ(resized.GetHeight(), size.h);
        for (int r = 0; r < size.h; ++r)
            for (int x = 0; x < size.w; ++x) {
                const int oldRow = (2 * r + 1) * 100 / (2 * size.h), oldColumn = (2 * x + 1) * 100 / (2 * size.w);
                ASSERT_EQ(resized.Bytes(x, size.h - 1 - r), before.Bytes(oldColumn, 99 - oldRow))
                    << size.w << "x" << size.h << " at " << x << "," << r;
            }
    }
    CVelvix wide = RandomImage(400, 100);
    ASSERT_TRUE(wide.Resize(nullptr, 200, 200, true));
    EXPECT_EQ(wide.GetWidth(), 200);
    EXPECT_EQ(wide.GetHeight(), 50);
}

TEST(ImageObject, FittingIntoABox)
{
    int w, h;
    CVelvix::FitIntoBox(400, 100, 200, 200, true, w, h);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 50);
    CVelvix::FitIntoBox(100, 400, 200, 200, true, w, h);
    EXPECT_EQ(w, 50);
    EXPECT_EQ(h, 200);
    CVelvix::FitIntoBox(100, 400, 200, 200, false, w, h);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 200);
    // Boxes near the int range: the fitted side is limited to it, never wrapped
    // to a negative size.
    CVelvix::FitIntoBox(1, 1, INT_MAX, INT_MAX, true, w, h);
    EXPECT_EQ(w, INT_MAX);
    EXPECT_EQ(h, INT_MAX);
    CVelvix::FitIntoBox(100, 1, -1, 1 << 30, true, w, h);
    EXPECT_EQ(w, INT_MAX);
    EXPECT_EQ(h, 1 << 30);
    CVelvix tiny = RandomImage(1, 1);
    EXPECT_FALSE(tiny.Resize(nullptr, INT_MAX, INT_MAX, true));
    EXPECT_EQ(tiny.GetWidth(), 1);
}
