#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "address_space_limit.h"
#include "image/velvix_buffer.h"
#include "test_support.h"

namespace {

// A ring with one picture loaded into its current slot; each edit marks the
// picture's first pixel with the edit's number, so states can be told apart.
CVelvixBuffer LoadedRing(unsigned size)
{
    CVelvixBuffer ring(size);
    *ring = vxtest::FilledImage(4, 4, 0);
    return ring;
}

void Edit(CVelvixBuffer& ring, VxPixel mark)
{
    ring.MakeCopy();
    ring->Bytes(0) = mark;
}

} // namespace

TEST(SharedArray, SizesCopiesAndBadIndexes)
{
    CSmartPtrToNonClass<int> empty(0);
    EXPECT_EQ(empty.GetArraySize(), 0u);
    EXPECT_THROW(empty[0], std::out_of_range);
    EXPECT_THROW(CSmartPtrToNonClass<int>(-1), std::invalid_argument);

    CSmartPtrToNonClass<int> a(3);
    EXPECT_EQ(a[2], 0) << "elements are value-initialised";
    a[1] = 42;
    {
        CSmartPtrToNonClass<int> b(a);
        EXPECT_EQ(b[1], 42);
        EXPECT_EQ(a.UseCount(), 2);
        CSmartPtrToNonClass<int> c(5);
        c = b;
        EXPECT_EQ(c.GetArraySize(), 3u);
        EXPECT_EQ(a.UseCount(), 3);
        c = c;
        EXPECT_EQ(a.UseCount(), 3);
    }
    EXPECT_EQ(a.UseCount(), 1);
    EXPECT_THROW(a[3], std::out_of_range);
    EXPECT_THROW(a[-1], std::out_of_range);
}

TEST(SharedArray, CountIsSafeAcrossThreads)
{
    CSmartPtr<std::vector<int>> shared(1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&shared] {
            for (int i = 0; i < 20000; ++i) {
                CSmartPtr<std::vector<int>> copy(shared);
                (void)copy;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(shared.UseCount(), 1);
}

TEST(UndoRing, FreshRingHasNothingToUndoOrRedo)
{
    CVelvixBuffer ring = LoadedRing(21);
    EXPECT_EQ(ring.GetUndoCount(), 0);
    EXPECT_EQ(ring.GetRedoCount(), 0);
    EXPECT_FALSE(ring.HasUndo());
    EXPECT_FALSE(ring.HasRedo());
    EXPECT_FALSE(ring.Undo());
    EXPECT_FALSE(ring.Redo());
}

TEST(UndoRing, OneEditUndoneAndRedone)
{
    CVelvixBuffer ring = LoadedRing(21);
    Edit(ring, 1);
    EXPECT_EQ(ring.GetUndoCount(), 1);
    EXPECT_TRUE(ring.HasUndo());
    EXPECT_FALSE(ring.HasRedo());
    ASSERT_TRUE(ring.Undo());
    EXPECT_EQ(ring->Bytes(0), 0u);
    EXPECT_EQ(ring.GetUndoCount(), 0);
    EXPECT_TRUE(ring.HasRedo());
    EXPECT_EQ(ring.GetRedoCount(), 1);
    ASSERT_TRUE(ring.Redo());
    EXPECT_EQ(ring->Bytes(0), 1u);
}

TEST(UndoRing, SixSlotsKeepFiveStepsAndDropTheLoadedPicture)
{
    CVelvixBuffer ring = LoadedRing(6);
    for (VxPixel mark = 1; mark <= 6; ++mark)
        Edit(ring, mark);
    EXPECT_EQ(ring.GetUndoCount(), 5);
    EXPECT_FALSE(ring.HasRedo()) << "the next slot holds the oldest state, not a redo state";
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(ring.Undo());
    EXPECT_EQ(ring->Bytes(0), 1u) << "the state after the first edit";
    EXPECT_FALSE(ring.Undo());
}

TEST(UndoRing, ANewEditDiscardsTheUndoneStates)
{
    CVelvixBuffer ring = LoadedRing(21);
    Edit(ring, 1);
    Edit(ring, 2);
    Edit(ring, 3);
    ring.Undo();
    ring.Undo();
    Edit(ring, 9);
    EXPECT_EQ(ring.GetUndoCount(), 2);
    EXPECT_FALSE(ring.HasRedo());
    EXPECT_EQ(ring.GetRedoCount(), 0);
    EXPECT_FALSE(ring.Redo());
    ring.Undo();
    EXPECT_EQ(ring->Bytes(0), 1u);
}

TEST(UndoRing, ANewEditAfterUndoAcrossTheWrapPointKeepsTheCountsRight)
{
    CVelvixBuffer ring = LoadedRing(6);
    for (VxPixel mark = 1; mark <= 8; ++mark)
        Edit(ring, mark);
    ASSERT_EQ(ring.GetUndoCount(), 5);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(ring.Undo());
    EXPECT_EQ(ring->Bytes(0), 5u);
    Edit(ring, 20);
    EXPECT_EQ(ring.GetUndoCount(), 3);
    EXPECT_FALSE(ring.HasRedo());
    const VxPixel expected[] = {5, 4, 3};
    for (VxPixel mark : expected) {
        ASSERT_TRUE(ring.Undo());
        EXPECT_EQ(ring->Bytes(0), mark);
    }
    EXPECT_FALSE(ring.Undo());
    // Filling the ring again slides it as usual.
    for (int i = 0; i < 10; ++i)
        Edit(ring, 100 + i);
    EXPECT_EQ(ring.GetUndoCount(), 5);
}

TEST(UndoRing, MakeCopyOfAnEmptyImageDoesNothing)
{
    CVelvixBuffer ring(21);
    ring.MakeCopy();
    EXPECT_EQ(ring.GetUndoCount(), 0);
    EXPECT_FALSE(ring->IsValidObject());
}

// An edit whose undo copy cannot be had leaves the ring as it was: its
// redo state, and in a full ring its oldest one.
TEST(UndoRing, ACopyWithoutMemoryLeavesTheRingAsItWas)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under a limit of the address space";
#endif
    for (const unsigned size : {2u, 3u}) {
        SCOPED_TRACE(size);
        CVelvixBuffer ring(size);
        *ring = vxtest::FilledImage(2048, 2048, 0);  // mapped on its own, not from the heap
        Edit(ring, 1);
        if (size == 3) {
            Edit(ring, 2);
            ASSERT_TRUE(ring.Undo());
        }
        const int undos = ring.GetUndoCount(), redos = ring.GetRedoCount();
        {
            const AddressSpaceLimit limit(1 << 20);
            ASSERT_TRUE(limit.IsSet());
            EXPECT_FALSE(ring.MakeCopy());
        }
        EXPECT_EQ(ring.GetUndoCount(), undos);
        EXPECT_EQ(ring.GetRedoCount(), redos);
        EXPECT_EQ(ring->Bytes(0), VxPixel(1));
        if (size == 3) {
            ASSERT_TRUE(ring.Redo());
            EXPECT_EQ(ring->Bytes(0), VxPixel(2));
            ASSERT_TRUE(ring.Undo());
        }
        ASSERT_TRUE(ring.Undo());
        EXPECT_EQ(ring->Bytes(0), VxPixel(0));
    }
}

TEST(UndoRing, ResetFreesEveryImage)
{
    CVelvixBuffer ring = LoadedRing(6);
    for (VxPixel mark = 1; mark <= 6; ++mark)
        Edit(ring, mark);
    ring.Reset();
    EXPECT_FALSE(ring->IsValidObject());
    EXPECT_EQ(ring.GetUndoCount(), 0);
    EXPECT_EQ(ring.GetRedoCount(), 0);
}

TEST(UndoRing, CopiesShareImagesButMoveIndependently)
{
    CVelvixBuffer ring = LoadedRing(21);
    Edit(ring, 1);
    CVelvixBuffer other(ring);
    other.Undo();
    EXPECT_EQ(other->Bytes(0), 0u);
    EXPECT_EQ(ring->Bytes(0), 1u);
    other->Bytes(0) = 77;
    ring.Undo();
    EXPECT_EQ(ring->Bytes(0), 77u) << "the images are shared";
}

TEST(UndoRing, RefusesFewerThanTwoSlots)
{
    EXPECT_ANY_THROW(CVelvixBuffer(1));
    EXPECT_ANY_THROW(CVelvixBuffer(0));
}
