// Grouping a folder by the first word of its file names.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/thumbnails/grouping.h"
#include "test_support.h"

namespace {

void Touch(const vxtest::TempDir& dir, const std::string& name)
{
    std::ofstream(dir.File(name)) << "x";
}

// "name (n): a, b, c" for every group of a set.
std::vector<std::string> Describe(const CGroupSet& set)
{
    std::vector<std::string> lines;
    for (const CGroupPtr& group : set) {
        std::string line = grouping::GroupItemText(*group) + ":";
        for (int i = 0; i < group->m_Names.GetSize(); ++i) {
            line += " " + group->m_Names[i];
            EXPECT_EQ(grouping::BaseName(group->m_Paths[i]), group->m_Names[i]);
        }
        lines.push_back(line);
    }
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(Grouping, KeysAreTheFirstRunOfAsciiLetters)
{
    const std::pair<const char*, const char*> cases[] = {
        {"cat01", "cat"},   {"Cat-3", "cat"},     {"_x1y", "x"},       {"12", "[Other]"},  {"", "[Other]"},
        {"2004", "[Other]"}, {"DSC_0001", "dsc"}, {"été", "t"},        {"über", "ber"},    {"a b%[c]", "a"},
        {"[*?]z", "z"},     {"ÆØÅ", "[Other]"},   {"mIxEd9Case", "mixed"}};
    for (const auto& [name, key] : cases)
        EXPECT_EQ(grouping::GroupKey(name), key) << name;
}

TEST(Grouping, FolderGroupsAsTheTreeShowsThem)
{
    struct Case {
        std::vector<std::string> files;
        Lines grouped;
        Lines all;
    };
    const Case cases[] = {
        // Singletons join "[Other]", which comes first; jpg files before png and bmp.
        {{"cat01.jpg", "cat02.jpg", "Cat-3.png", "dog.bmp", "2004.jpg"},
         {"[Other] (2): 2004 dog", "cat (3): cat01 cat02 Cat-3"},
         {"All (5): 2004 cat01 cat02 Cat-3 dog"}},
        {{"_x1y.jpg", "x2.gif", "12.jpg"}, {"[Other] (1): 12", "x (2): _x1y x2"}, {"All (3): 12 _x1y x2"}},
        // All keys different: one "[Other]" group.
        {{"a.jpg", "b.png", "c.bmp"}, {"[Other] (3): a b c"}, {"All (3): a b c"}},
        {{"one.jpg"}, {"[Other] (1): one"}, {"All (1): one"}},
        {{"a1.jpg", "a2.jpg"}, {"a (2): a1 a2"}, {"All (2): a1 a2"}},
        // Names in any case match; each pattern in name order; the real name kept.
        {{"B.JPG", "a.Jpg", "c.jpeg", "d.JPEG", "e.GiF"},
         {"[Other] (5): a B c d e"},
         {"All (5): a B c d e"}},
        // Hostile names; folders, other files and a bare extension are not images.
        {{"p [1].jpg", "p*2.jpg", "p?3%.png", "été.bmp", "notes.txt", ".jpg", "x.jpg.txt"},
         {"[Other] (1): été", "p (3): p [1] p*2 p?3%"},
         {"All (4): p [1] p*2 p?3% été"}},
        {{}, {}, {}},
    };
    for (const Case& c : cases) {
        vxtest::TempDir dir;
        for (const std::string& name : c.files)
            Touch(dir, name);
        mkdir(dir.File("folder.jpg").c_str(), 0755);
        const CGroupingResult result = grouping::GroupFolder(dir.Path().string());
        EXPECT_EQ(Describe(result.m_Sets[0]), c.grouped) << c.files.size();
        EXPECT_EQ(Describe(result.m_Sets[1]), c.all);
        for (const CGroupPtr& group : result.m_Sets[1])
            for (const std::string& path : group->m_Paths)
                EXPECT_EQ(path.rfind(dir.Path().string() + "/", 0), 0u) << path;
    }
}

TEST(Grouping, HostileFoldersGiveNoFiles)
{
    EXPECT_TRUE(grouping::ListImageFiles("/nonexistent/folder").empty());
    vxtest::TempDir dir;
    Touch(dir, "a.jpg");
    EXPECT_TRUE(grouping::ListImageFiles(dir.File("a.jpg")).empty()); // a file, not a folder
    std::atomic<bool> stop{true};
    EXPECT_TRUE(grouping::GroupFolder(dir.Path().string(), &stop).m_Sets[1].empty());
    // A folder this user may not list (root lists anything: checked as nobody).
    mkdir(dir.File("closed").c_str(), 0755);
    Touch(dir, "closed/a.jpg");
    chmod(dir.File("closed").c_str(), 0);
    if (geteuid() == 0) {
        chown(dir.File("closed").c_str(), 0, 0);
        const pid_t child = fork();
        if (child == 0) {
            const bool ok = setgid(65534) == 0 && setuid(65534) == 0 &&
                            grouping::ListImageFiles(dir.File("closed")).empty();
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    } else {
        EXPECT_TRUE(grouping::ListImageFiles(dir.File("closed")).empty());
    }
    chmod(dir.File("closed").c_str(), 0755);
}
