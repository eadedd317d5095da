// The image window's file lists and navigation rules on real folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "test_support.h"
#include "viewer/image_file_lists.h"

namespace {

void Touch(const std::filesystem::path& path)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

std::vector<std::string> Names(const CImageFileLists& lists, const std::filesystem::path& root)
{
    std::vector<std::string> names;
    for (const std::string& path : lists.ActiveList().files)
        names.push_back(std::filesystem::relative(path, root).string());
    return names;
}

// A list of `count` entries spread over folders given by `folders`, e.g.
// {2, 3} gives d0/f0 d0/f1 d1/f2 d1/f3 d1/f4 (no files needed).
CImageFileLists Synthetic(std::initializer_list<int> folders)
{
    CImageFileLists lists;
    int n = 0, d = 0;
    for (int size : folders) {
        for (int i = 0; i < size; ++i)
            lists.ActiveList().files.Add("/r/d" + std::to_string(d) + "/f" + std::to_string(n++) + ".jpg");
        ++d;
    }
    return lists;
}

struct Asker {
    bool answer = false;
    int asked = 0;
    bool lastAtEnd = false;
    CFileNavigator::AskLoop Fn()
    {
        return [this](bool atEnd) {
            ++asked;
            lastAtEnd = atEnd;
            return answer;
        };
    }
};

} // namespace

TEST(ViewerFileLists, FolderListIsNumericCaseKeepingAndMatchesSubstrings)
{
    vxtest::TempDir dir;
    for (const char* name : {"img2.jpg", "img10.jpg", "img1.jpg", "X.JPG", "x.jpg.txt", "notes.txt", "photo.jpeg",
                             "pic.png", "old.bmp", "anim.gif", "sub/inner.jpg", "a.jpg", "b.jpg"})
        Touch(dir.Path() / name);
    CImageFileLists lists;
    lists.m_strListPathName = dir.File("img2.jpg");
    lists.BuildFileList(lists.m_strListPathName, false);

    const auto names = Names(lists, dir.Path());
    // Numeric where digits exist; the digit-free names by path (ignoring case).
    std::vector<std::string> digits, plain;
    for (const auto& name : names)
        (name.find_first_of("0123456789") != std::string::npos ? digits : plain).push_back(name);
    EXPECT_EQ(digits, (std::vector<std::string>{"img1.jpg", "img2.jpg", "img10.jpg"}));
    EXPECT_EQ(names.size(), 11u);
    // The real name is kept, so the path opens on a case-sensitive system.
    EXPECT_NE(std::find(names.begin(), names.end(), "X.JPG"), names.end());
    EXPECT_TRUE(std::filesystem::exists(lists.GetFilePath(int(std::find(names.begin(), names.end(), "X.JPG") - names.begin()))));
    // The pattern may occur anywhere in the name.
    EXPECT_NE(std::find(names.begin(), names.end(), "x.jpg.txt"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "notes.txt"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "sub/inner.jpg"), names.end());
    EXPECT_EQ(lists.GetFilePath(lists.m_nCurrentFile), dir.File("img2.jpg"));
    EXPECT_EQ(lists.m_strListSource, dir.File("img2.jpg"));
}

TEST(ViewerFileLists, PlainNamesFollowTheirLowerCaseOrder)
{
    vxtest::TempDir dir;
    for (const char* name : {"b.jpg", "C.jpg", "a.jpg"})
        Touch(dir.Path() / name);
    CImageFileLists lists;
    lists.m_strListPathName = dir.File("a.jpg");
    lists.BuildFileList(lists.m_strListPathName, false);
    EXPECT_EQ(Names(lists, dir.Path()), (std::vector<std::string>{"a.jpg", "b.jpg", "C.jpg"}));
}

TEST(ViewerFileLists, RecursiveListKeepsCollectionOrderPatternByPattern)
{
    vxtest::TempDir dir;
    for (const char* name : {"b.png", "a.jpg", "sub/c.jpg", "sub/d.jpeg", "sub/deep/e.jpg", "z.jpg", "two.jpg.png"})
        Touch(dir.Path() / name);
    CImageFileLists lists;
    lists.m_strListPathName = dir.File("sub/c.jpg");
    lists.SelectFileList(CImageFileLists::kListSubFolders, dir.Path().string() + "/");
    EXPECT_EQ(Names(lists, dir.Path()),
              (std::vector<std::string>{"a.jpg", "sub/c.jpg", "sub/deep/e.jpg", "two.jpg.png", "z.jpg", "sub/d.jpeg",
                                        "b.png", "two.jpg.png"}));
    EXPECT_EQ(lists.m_nCurrentFile, 1);
    EXPECT_TRUE(lists.ActiveList().built);
    EXPECT_EQ(lists.PositionText(), "2/8 [Sub folders]");
}

TEST(ViewerFileLists, LocatingPrefersTheExactNameThenIgnoresCase)
{
    vxtest::TempDir dir;
    for (const char* name : {"a.jpg", "A.jpg", "b.jpg"})
        Touch(dir.Path() / name);
    CImageFileLists lists;
    lists.m_strListPathName = dir.File("a.jpg");
    lists.BuildFileList(lists.m_strListPathName, false);
    EXPECT_EQ(lists.GetFilePath(lists.m_nCurrentFile), dir.File("a.jpg"));
    lists.m_strListPathName = dir.File("A.jpg");
    lists.LocateCurrentFile();
    EXPECT_EQ(lists.GetFilePath(lists.m_nCurrentFile), dir.File("A.jpg"));
    lists.m_strListPathName = dir.File("B.JPG");
    const int before = lists.m_nCurrentFile;
    lists.LocateCurrentFile();
    EXPECT_EQ(lists.GetFilePath(lists.m_nCurrentFile), dir.File("b.jpg"));
    EXPECT_EQ(lists.m_nLastPosition, before);
    lists.m_strListPathName = dir.File("gone.jpg");
    lists.LocateCurrentFile();
    EXPECT_EQ(lists.m_nCurrentFile, -1);
    EXPECT_EQ(lists.PositionText(), "--/--");
}

TEST(ViewerFileLists, RefreshAfterDeletingTheCurrentFileThenStepping)
{
    vxtest::TempDir dir;
    for (int i = 1; i <= 8; ++i)
        Touch(dir.Path() / ("img" + std::to_string(i) + ".jpg"));
    CImageFileLists lists;
    lists.m_strListPathName = dir.File("img6.jpg");
    lists.BuildFileList(lists.m_strListPathName, false);
    ASSERT_EQ(lists.m_nCurrentFile, 5);
    std::filesystem::remove(dir.File("img6.jpg"));
    lists.RefreshFileList();
    EXPECT_EQ(lists.m_nCurrentFile, -1);
    EXPECT_EQ(lists.m_nLastPosition, 5);
    EXPECT_EQ(lists.GetFileCount(), 7);

    CImageFileLists next = lists, previous = lists;
    Asker ask;
    EXPECT_EQ(CFileNavigator(next, false, ask.Fn()).NextFile().kind, CNavigationStep::Load);
    EXPECT_EQ(next.m_nCurrentFile, 5);
    EXPECT_EQ(next.GetFilePath(5), dir.File("img7.jpg"));
    EXPECT_EQ(CFileNavigator(previous, false, ask.Fn()).PreviousFile().kind, CNavigationStep::Load);
    EXPECT_EQ(previous.m_nCurrentFile, 4);
    EXPECT_EQ(ask.asked, 0);
}

TEST(ViewerFileLists, NoPositionAtAllStepsFromTheEnds)
{
    CImageFileLists lists = Synthetic({4});
    Asker ask;
    CImageFileLists a = lists, b = lists;
    CFileNavigator(a, false, ask.Fn()).NextFile();
    EXPECT_EQ(a.m_nCurrentFile, 0);
    CFileNavigator(b, false, ask.Fn()).PreviousFile();
    EXPECT_EQ(b.m_nCurrentFile, 3);
    // A remembered position beyond a shrunken list is no position.
    CImageFileLists c = lists;
    c.m_nLastPosition = 9;
    CFileNavigator(c, false, ask.Fn()).PreviousFile();
    EXPECT_EQ(c.m_nCurrentFile, 3);
    EXPECT_EQ(ask.asked, 0);
}

TEST(ViewerFileLists, EndsOfTheListAskUnlessInASlideshow)
{
    CImageFileLists lists = Synthetic({3});
    Asker ask;
    lists.m_nCurrentFile = 2;
    auto step = CFileNavigator(lists, false, ask.Fn()).NextFile();
    EXPECT_EQ(step.kind, CNavigationStep::Stopped);
    EXPECT_EQ(lists.m_nCurrentFile, 2);
    EXPECT_TRUE(ask.lastAtEnd);
    ask.answer = true;
    step = CFileNavigator(lists, false, ask.Fn()).NextFile();
    EXPECT_EQ(step.kind, CNavigationStep::Load);
    EXPECT_EQ(step.direction, 1);
    EXPECT_EQ(lists.m_nCurrentFile, 0);

    ask.answer = false;
    step = CFileNavigator(lists, false, ask.Fn()).PreviousFile();
    EXPECT_EQ(step.kind, CNavigationStep::Stopped);
    EXPECT_FALSE(ask.lastAtEnd);
    EXPECT_EQ(lists.m_nCurrentFile, 0);
    EXPECT_EQ(ask.asked, 3);

    // The slideshow wraps silently both ways.
    step = CFileNavigator(lists, true, ask.Fn()).PreviousFile();
    EXPECT_EQ(lists.m_nCurrentFile, 2);
    EXPECT_EQ(step.direction, -1);
    CFileNavigator(lists, true, ask.Fn()).NextFile();
    EXPECT_EQ(lists.m_nCurrentFile, 0);
    EXPECT_EQ(ask.asked, 3);
}

TEST(ViewerFileLists, OneEntryListIgnoresSteppingButNotFirstAndLast)
{
    CImageFileLists lists = Synthetic({1});
    lists.m_nCurrentFile = 0;
    Asker ask;
    ask.answer = true;
    CFileNavigator nav(lists, true, ask.Fn());
    EXPECT_EQ(nav.NextFile().kind, CNavigationStep::Ignored);
    EXPECT_EQ(nav.PreviousFile().kind, CNavigationStep::Ignored);
    EXPECT_EQ(nav.NextFolder().kind, CNavigationStep::Ignored);
    EXPECT_EQ(nav.PreviousFolder().kind, CNavigationStep::Ignored);
    EXPECT_EQ(nav.SliderPosition(1).kind, CNavigationStep::Ignored);
    EXPECT_EQ(nav.FirstFile().kind, CNavigationStep::Load);
    EXPECT_EQ(nav.LastFile().kind, CNavigationStep::Load);
    EXPECT_EQ(lists.m_nCurrentFile, 0);
    EXPECT_EQ(CFileNavigator::PrefetchTarget(0, 1, 1), -1);

    CImageFileLists empty;
    CFileNavigator none(empty, false, ask.Fn());
    EXPECT_EQ(none.FirstFile().kind, CNavigationStep::Ignored);
    EXPECT_EQ(none.LastFile().kind, CNavigationStep::Ignored);
    EXPECT_EQ(ask.asked, 0);
}

TEST(ViewerFileLists, FolderStepsFindTheNeighbouringFoldersOrBeep)
{
    // d0: 0 1 | d1: 2 3 4 | d2: 5 6
    CImageFileLists lists = Synthetic({2, 3, 2});
    Asker ask;
    CFileNavigator nav(lists, false, ask.Fn());
    lists.m_nCurrentFile = 0;
    EXPECT_EQ(nav.NextFolder().kind, CNavigationStep::Load);
    EXPECT_EQ(lists.m_nCurrentFile, 2);
    lists.m_nCurrentFile = 3;
    nav.NextFolder();
    EXPECT_EQ(lists.m_nCurrentFile, 5);
    // Inside the last folder: nothing further, a beep, position kept.
    EXPECT_EQ(nav.NextFolder().kind, CNavigationStep::Beep);
    EXPECT_EQ(lists.m_nCurrentFile, 5);

    lists.m_nCurrentFile = 6;
    EXPECT_EQ(nav.PreviousFolder().kind, CNavigationStep::Load);
    EXPECT_EQ(lists.m_nCurrentFile, 2);
    // The first folder of the list is reachable too.
    lists.m_nCurrentFile = 4;
    EXPECT_EQ(nav.PreviousFolder().kind, CNavigationStep::Load);
    EXPECT_EQ(lists.m_nCurrentFile, 0);
    lists.m_nCurrentFile = 1;
    EXPECT_EQ(nav.PreviousFolder().kind, CNavigationStep::Beep);
    EXPECT_EQ(lists.m_nCurrentFile, 1);
    EXPECT_EQ(ask.asked, 0);

    // At the very ends the loop question comes first.
    lists.m_nCurrentFile = 6;
    EXPECT_EQ(nav.NextFolder().kind, CNavigationStep::Stopped);
    lists.m_nCurrentFile = 0;
    EXPECT_EQ(nav.PreviousFolder().kind, CNavigationStep::Stopped);
    EXPECT_EQ(ask.asked, 2);
    ask.answer = true;
    lists.m_nCurrentFile = 0;
    nav.PreviousFolder();
    EXPECT_EQ(lists.m_nCurrentFile, 5);  // the first file of the last folder
    lists.m_nCurrentFile = -1;
    lists.m_nLastPosition = -1;
    nav.NextFolder();
    EXPECT_EQ(lists.m_nCurrentFile, 0);
}

TEST(ViewerFileLists, SliderAndPrefetchTargets)
{
    CImageFileLists lists = Synthetic({5});
    CFileNavigator nav(lists, false, nullptr);
    auto step = nav.SliderPosition(3);
    EXPECT_EQ(lists.m_nCurrentFile, 2);
    EXPECT_EQ(step.direction, 1);
    step = nav.SliderPosition(5);
    EXPECT_EQ(lists.m_nCurrentFile, 4);
    EXPECT_EQ(step.direction, -1);  // prefetch backwards from the last entry
    EXPECT_EQ(nav.SliderPosition(6).kind, CNavigationStep::Ignored);
    EXPECT_EQ(nav.SliderPosition(0).kind, CNavigationStep::Ignored);
    EXPECT_EQ(nav.LastFile().direction, -1);
    EXPECT_EQ(nav.FirstFile().direction, 1);

    EXPECT_EQ(CFileNavigator::PrefetchTarget(4, 5, 1), 0);
    EXPECT_EQ(CFileNavigator::PrefetchTarget(0, 5, -1), 4);
    EXPECT_EQ(CFileNavigator::PrefetchTarget(2, 5, 1), 3);
    EXPECT_EQ(CFileNavigator::PrefetchTarget(-1, 5, 1), -1);
}

TEST(ViewerFileLists, SelectingListsBuildsOnlyWhenNeededAndGroupsAreNeverRebuilt)
{
    vxtest::TempDir dir;
    for (const char* name : {"a1.jpg", "a2.jpg", "sub/b.jpg"})
        Touch(dir.Path() / name);
    CImageFileLists lists;
    lists.m_strListPathName = dir.File("a2.jpg");
    lists.m_FileLists[0].title = "All";
    lists.BuildFileList(lists.m_strListPathName, false);
    EXPECT_EQ(lists.PositionText(), "2/2 [All]");

    CGroupStruct group;
    group.m_strName = "[Other]";
    group.m_Paths.Add(dir.File("a2.jpg"));
    group.m_Paths.Add("");  // moved away from the thumbnails
    group.m_Paths.Add(dir.File("sub/b.jpg"));
    lists.SetGroupList(group);
    lists.SelectFileList(CImageFileLists::kListGroup, "");
    EXPECT_EQ(lists.GetFileCount(), 2);
    EXPECT_EQ(lists.PositionText(), "1/2 [Other]");
    lists.RefreshFileList();  // a group stays as it is
    EXPECT_EQ(lists.GetFileCount(), 2);

    lists.SelectFileList(CImageFileLists::kListSubFolders, dir.Path().string() + "/");
    EXPECT_EQ(lists.GetFileCount(), 3);
    Touch(dir.Path() / "sub" / "c.jpg");
    // Same folder again: rebuilt only because list 1 always is re-selected
    // with a check of its source; the source is the same, so no rebuild.
    lists.SelectFileList(CImageFileLists::kListSubFolders, dir.Path().string() + "/");
    EXPECT_EQ(lists.GetFileCount(), 3);
    lists.RefreshFileList();
    EXPECT_EQ(lists.GetFileCount(), 4);
    lists.SelectFileList(CImageFileLists::kListAll, "");
    EXPECT_EQ(lists.GetFileCount(), 2);
    EXPECT_EQ(lists.GetFilePath(lists.m_nCurrentFile), dir.File("a2.jpg"));
}

// Through links: a loop is left at once, a folder reached twice is listed
// once, a file reached by a second name is listed under it too (the user
// sees both names), and a link that leads nowhere is no picture.
TEST(ViewerFileLists, TheRecursiveListFollowsLinksOnce)
{
    namespace fs = std::filesystem;
    vxtest::TempDir dir;
    for (const char* name : {"a.jpg", "sub/c.jpg", "other/o.jpg"})
        Touch(dir.Path() / name);
    fs::create_directory_symlink("..", dir.Path() / "sub/up");
    fs::create_directory_symlink("../other", dir.Path() / "sub/into-other");
    fs::create_symlink("a.jpg", dir.Path() / "link-a.jpg");
    fs::create_symlink("gone.jpg", dir.Path() / "dangling.jpg");
    fs::create_symlink("loop.jpg", dir.Path() / "loop.jpg");
    CImageFileLists lists;
    lists.m_strListPathName = dir.File("sub/c.jpg");
    lists.SelectFileList(CImageFileLists::kListSubFolders, dir.Path().string() + "/");
    std::vector<std::string> names; // as listed, no link resolved
    for (const std::string& path : lists.ActiveList().files)
        names.push_back(path.substr(dir.Path().string().size() + 1));
    EXPECT_EQ(names, (std::vector<std::string>{"a.jpg", "link-a.jpg", "other/o.jpg", "sub/c.jpg"}));
}
