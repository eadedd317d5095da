// The sortable text array: numeric order by the first number in the file
// name, byte-wise order otherwise, and binary search.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/sortable_string_array.h"

namespace {

CSortableStringArray Make(std::initializer_list<const char*> items)
{
    CSortableStringArray array;
    for (const char* item : items)
        array.Add(item);
    return array;
}

std::vector<std::string> Sorted(CSortableStringArray array, bool ignoreCase = false)
{
    array.SortNumeric(ignoreCase);
    return array.Items();
}

} // namespace

TEST(SortableStringArray, NumbersInFileNamesSortByValue)
{
    EXPECT_EQ(Sorted(Make({"/p/img2.jpg", "/p/img10.jpg", "/p/img1.jpg"})),
              (std::vector<std::string>{"/p/img1.jpg", "/p/img2.jpg", "/p/img10.jpg"}));
    // Whatever precedes the digits; leading zeros do not count.
    EXPECT_EQ(Sorted(Make({"/p/zz3.jpg", "/p/a020.jpg", "/p/b007.jpg"})),
              (std::vector<std::string>{"/p/zz3.jpg", "/p/b007.jpg", "/p/a020.jpg"}));
}

TEST(SortableStringArray, NumericCompareRules)
{
    using A = CSortableStringArray;
    EXPECT_EQ(A::NumericCompare("/x/photo12.jpg", "/y/img012.png"), 0);  // equal numbers compare equal
    EXPECT_LT(A::NumericCompare("/p/img9.jpg", "/p/img10.jpg"), 0);
    EXPECT_GT(A::NumericCompare("/p/img10.jpg", "/p/img9.jpg"), 0);
    // Only the first run of digits counts.
    EXPECT_LT(A::NumericCompare("/p/a1b99.jpg", "/p/a2b1.jpg"), 0);
    // Digits in the folder or the extension are not part of the name.
    EXPECT_GT(A::NumericCompare("/2020/a.jpg", "/2019/b.jpg"), 0);  // no digit in the names: by path
    EXPECT_EQ(A::NumericCompare("/2020/a5.jpg", "/2019/b5.jpg"), 0);
    EXPECT_GT(A::NumericCompare("/p/b.mp4", "/p/a.mp3"), 0);
    // A name without digits against one with them: byte-wise on the paths.
    EXPECT_GT(A::NumericCompare("/p/b.jpg", "/p/a7.jpg"), 0);
    EXPECT_LT(A::NumericCompare("/p/a.jpg", "/p/b7.jpg"), 0);
    // Numbers longer than any integer do not overflow.
    EXPECT_LT(A::NumericCompare("/p/99999999999999999999998.jpg", "/p/99999999999999999999999.jpg"), 0);
    EXPECT_GT(A::NumericCompare("/p/100000000000000000000000.jpg", "/p/99999999999999999999999.jpg"), 0);
    // Case only matters for the byte-wise rule, and only when asked.
    EXPECT_LT(A::NumericCompare("/p/B.jpg", "/p/a.jpg"), 0);
    EXPECT_GT(A::NumericCompare("/p/B.jpg", "/p/a.jpg", true), 0);
}

TEST(SortableStringArray, NamesWithoutDigitsSortByPathAndCaseCanBeIgnored)
{
    EXPECT_EQ(Sorted(Make({"/p/b.jpg", "/p/a.jpg", "/p/C.jpg"})),
              (std::vector<std::string>{"/p/C.jpg", "/p/a.jpg", "/p/b.jpg"}));
    EXPECT_EQ(Sorted(Make({"/p/b.jpg", "/p/a.jpg", "/p/C.jpg"}), true),
              (std::vector<std::string>{"/p/a.jpg", "/p/b.jpg", "/p/C.jpg"}));
}

TEST(SortableStringArray, MixedRulesSortSafelyIntoAPermutation)
{
    // Names with and without digits do not form a consistent order; sorting
    // them must neither crash nor lose or duplicate entries.
    std::mt19937 random(7);
    CSortableStringArray array;
    std::vector<std::string> original;
    for (int i = 0; i < 3000; ++i) {
        std::string name = "/f/";
        name += char('a' + random() % 26);
        if (random() % 2)
            name += std::to_string(random() % 50);
        name += char('a' + random() % 26);
        name += ".jpg";
        array.Add(name);
        original.push_back(name);
    }
    array.SortNumeric();
    std::vector<std::string> result = array.Items();
    std::sort(result.begin(), result.end());
    std::sort(original.begin(), original.end());
    EXPECT_EQ(result, original);

    // With numbers only the order is total and ascending.
    CSortableStringArray numbers;
    for (int i = 0; i < 500; ++i)
        numbers.Add("/n/img" + std::to_string(random() % 1000) + ".png");
    numbers.SortNumeric();
    for (int i = 1; i < numbers.GetSize(); ++i)
        EXPECT_LE(CSortableStringArray::NumericCompare(numbers[i - 1], numbers[i]), 0);
}

TEST(SortableStringArray, AlphabeticalSortAndBinarySearch)
{
    CSortableStringArray array = Make({"/p/b", "/p/B", "/p/a", "/p/c10", "/p/c9"});
    array.SortAlphabetical();
    EXPECT_EQ(array.Items(), (std::vector<std::string>{"/p/B", "/p/a", "/p/b", "/p/c10", "/p/c9"}));
    EXPECT_EQ(array.BinarySearch("/p/b"), 2);
    EXPECT_EQ(array.BinarySearch("/p/c9"), 4);
    EXPECT_EQ(array.BinarySearch("/p/A"), -1);
    EXPECT_EQ(CSortableStringArray().BinarySearch("x"), -1);
    EXPECT_EQ(CSortableStringArray::AlphabeticalCompare("a", "b"), -1);
}
