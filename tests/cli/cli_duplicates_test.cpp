// scan and compare: the window's database byte for byte and its groups, in
// its order, with its percentages.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <sstream>

#include "cli_run.h"
#include "duplicates/duplicate_groups.h"
#include "duplicates/signature_database.h"
#include "duplicates/signature_scanner.h"

namespace {

namespace fs = std::filesystem;

struct NoProgress : dif::IScanProgress {
    void OnAnalyzing(const std::string&) override {}
};

// Two folders of pictures with copies, a rotated and a grey copy, a picture
// that does not decode and hostile names.
std::vector<std::string> MakePictures(const vxtest::TempDir& dir)
{
    fs::create_directories(dir.Path() / "one [*]" / "sub");
    fs::create_directories(dir.Path() / "two 100%");
    CVelvix a = vxtest::RandomImage(48, 32, 1), b = vxtest::RandomImage(48, 32, 2);
    CVelvix rotated = a, grey = b;
    rotated.SimpleRotate(false);
    grey.ConvertToGrayScale();
    const std::vector<std::pair<std::string, CVelvix*>> files = {
        {"one [*]/a é.bmp", &a},     {"one [*]/b.png", &b},         {"one [*]/sub/a copy.PNG", &a},
        {"two 100%/rotated.bmp", &rotated}, {"two 100%/grey.gif", &grey}, {"two 100%/b again.bmp", &b},
    };
    for (const auto& [name, image] : files)
        EXPECT_EQ(image->SaveImage(dir.File(name).c_str()), 1) << name;
    std::ofstream(dir.File("two 100%/broken.jpg")) << "no picture";
    return {dir.File("one [*]"), dir.File("two 100%")};
}

std::vector<unsigned char> Bytes(const std::string& path)
{
    const std::string text = clitest::ReadFile(path);
    return {text.begin(), text.end()};
}

// The rows the groups give in the CSV layout, made here from the core's
// own grouping (the window's call).
std::string ExpectedCsv(const std::string& database, int threshold, bool rotations, bool grey)
{
    dif::CSignatureDatabase opened;
    EXPECT_TRUE(opened.Open(database, false));
    dif::SGroupingOptions options;
    options.compare.rotations = rotations;
    options.compare.greyscale = grey;
    const std::atomic<int> stop{0};
    std::ostringstream out;
    out << "group,role,record,match,size,path\n";
    std::size_t number = 0;
    for (const dif::SDuplicateGroup& group :
         dif::BuildDuplicateGroups(opened, threshold, options, stop, [](std::size_t, std::size_t) {})) {
        ++number;
        out << number << ",head," << group.head.record << "," << group.head.match << "," << group.head.size
            << ",\"" << group.head.path << "\"\n";
        for (const dif::SDuplicateItem& member : group.members)
            out << number << ",member," << member.record << "," << member.match << "," << member.size << ",\""
                << member.path << "\"\n";
    }
    return out.str();
}

TEST(CliDuplicates, ScanWritesTheWindowsDatabase)
{
    vxtest::TempDir dir;
    const std::vector<std::string> folders = MakePictures(dir);
    const std::string database = dir.File("cli.dat"), reference = dir.File("window.dat");
    const auto run = clitest::Run({"scan", folders[0], folders[1], "--db", database, "--no-cache"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "6 file(s) scanned in database.\n");
    dif::SScanOptions options;
    options.decodeThreads = 2;
    NoProgress progress;
    const std::atomic<int> stop{0};
    dif::CSignatureScanner(reference, options, &progress, stop).Scan(folders);
    EXPECT_EQ(Bytes(database), Bytes(reference));
    EXPECT_EQ(Bytes(database).size(), 6u * 1285);

    // Without --db, the window's database in the user's data folder, and its
    // cache: a second scan gives the same bytes.
    const auto inHome = [&dir] { setenv("XDG_DATA_HOME", dir.File("data home").c_str(), 1); };
    for (int pass = 0; pass < 2; ++pass) {
        const auto again = clitest::Run({"scan", "-j", "1", folders[0], folders[1]}, inHome);
        ASSERT_EQ(again.code, 0) << again.err;
        EXPECT_EQ(Bytes(dir.File("data home/Velvix/Ambrel/ambrelid.dat")), Bytes(reference)) << pass;
        EXPECT_TRUE(fs::exists(dir.File("data home/Velvix/Ambrel/ambrelid.cache")));
    }

    // A folder named relatively or with "." and ".." gives the same full paths.
    const auto relative = clitest::Run({"scan", "--no-cache", "--db", database, "two 100%/../one [*]/.", "two 100%/"},
                                       [&dir] { chdir(dir.Path().c_str()); });
    ASSERT_EQ(relative.code, 0) << relative.err;
    EXPECT_EQ(Bytes(database), Bytes(reference));
}

TEST(CliDuplicates, CompareListsTheWindowsGroups)
{
    vxtest::TempDir dir;
    const std::vector<std::string> folders = MakePictures(dir);
    const std::string database = dir.File("data.dat");
    ASSERT_EQ(clitest::Run({"scan", folders[0], folders[1], "--db", database, "--no-cache"}).code, 0);
    for (const int threshold : {100, 90, 40})
        for (const bool rotations : {false, true})
            for (const bool grey : {false, true}) {
                std::vector<std::string> args = {"compare", "--db", database, "--threshold",
                                                 std::to_string(threshold) + "%", "--format", "csv"};
                if (rotations)
                    args.push_back("--rotations");
                if (grey)
                    args.push_back("--grey");
                const auto run = clitest::Run(args);
                ASSERT_EQ(run.code, 0) << run.err;
                EXPECT_EQ(run.out, ExpectedCsv(database, threshold, rotations, grey))
                    << threshold << " " << rotations << " " << grey;
            }
    // At 100 the byte-equal copies pair: a with its copy, b with its copy;
    // the text lists heads and members as the tree does.
    dif::CSignatureDatabase opened;
    ASSERT_TRUE(opened.Open(database, false));
    const std::atomic<int> stop{0};
    const auto groups = dif::BuildDuplicateGroups(opened, 100, {}, stop, [](std::size_t, std::size_t) {});
    ASSERT_EQ(groups.size(), 2u);
    std::string expected;
    std::set<std::set<std::string>> pairs;
    for (const dif::SDuplicateGroup& group : groups) {
        expected += group.head.path + "\n";
        ASSERT_EQ(group.members.size(), 1u);
        expected += "  100%  " + group.members[0].path + "\n";
        pairs.insert({fs::path(group.head.path).filename().string(), fs::path(group.members[0].path).filename().string()});
    }
    EXPECT_EQ(pairs, (std::set<std::set<std::string>>{{"a é.bmp", "a copy.PNG"}, {"b.png", "b again.bmp"}}));
    const auto text = clitest::Run({"compare", "--db", database, "--threshold", "100"});
    ASSERT_EQ(text.code, 0);
    EXPECT_EQ(text.out, expected);
    const std::string one = folders[0];
    const auto json = clitest::Run({"compare", "--db", database, "--format", "json"});
    EXPECT_EQ(json.code, 0);
    EXPECT_NE(json.out.find("\"path\": \"" + one + "/a é.bmp\""), std::string::npos) << json.out;
}

// A newline in a file name: the text layout writes it as an escape, and
// CSV and JSON keep the name whole, so no name reads as a group of its own.
TEST(CliDuplicates, ANewlineInANameStaysInItsLine)
{
    vxtest::TempDir dir;
    CVelvix picture = vxtest::RandomImage(20, 16, 4);
    ASSERT_EQ(picture.SaveImage(dir.File("a.bmp").c_str()), 1);
    fs::copy_file(dir.File("a.bmp"), dir.File("new\n100%  line.bmp"));
    const std::string database = dir.File("data.dat");
    ASSERT_EQ(clitest::Run({"scan", dir.Path().string(), "--db", database, "--no-cache"}).code, 0);
    const std::string head = dir.File("a.bmp"), member = dir.File("new\n100%  line.bmp");
    dif::CSignatureDatabase opened;
    ASSERT_TRUE(opened.Open(database, false));
    const bool headFirst = opened.Path(0) == head;
    const std::string first = headFirst ? head : member, second = headFirst ? member : head;
    const auto escaped = [](std::string path) {
        const auto at = path.find('\n');
        return at == std::string::npos ? path : path.replace(at, 1, "\\n");
    };
    EXPECT_EQ(clitest::Run({"compare", "--db", database}).out,
              escaped(first) + "\n  100%  " + escaped(second) + "\n");
    EXPECT_EQ(clitest::Run({"compare", "--db", database, "--format", "csv"}).out, ExpectedCsv(database, 100, false, false));
    EXPECT_NE(clitest::Run({"compare", "--db", database, "--format", "json"}).out.find("new\\u000a100%  line.bmp"),
              std::string::npos);
}

TEST(CliDuplicates, Refusals)
{
    vxtest::TempDir dir;
    const std::vector<std::string> folders = MakePictures(dir);
    const std::string database = dir.File("data.dat"), picture = dir.File("two 100%/b again.bmp");
    ASSERT_EQ(clitest::Run({"scan", folders[0], "--db", database, "--no-cache"}).code, 0);
    std::ofstream(dir.File("notes [1].txt")) << "/not a database\n";
    ASSERT_EQ(mkfifo(dir.File("pipe.dat").c_str(), 0644), 0);
    const std::string pictureBytes = clitest::ReadFile(picture);
    const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases = {
        {{"compare", "--db", dir.File("none.dat")}, 1, "Could not load data file, you have to scan files first."},
        {{"compare", "--db", database, "--threshold", "0"}, 2, "Percent value is invalid..."},
        {{"compare", "--db", database, "--threshold", "101"}, 2, "Percent value is invalid..."},
        {{"compare", "--db", database, "--threshold", "x90"}, 2, "Percent value is invalid..."},
        {{"compare", "--db", database, "--format", "xml"}, 2, "--format takes text, csv or json"},
        {{"compare", "--db"}, 2, "--db needs a value"},
        {{"compare", folders[0]}, 2, "compare takes no folder"},
        {{"scan", dir.File("missing")}, 2, "missing: No such file or directory"},
        {{"scan", dir.File("two 100%/b again.bmp")}, 2, "not a folder"},
        {{"scan"}, 2, "which folders?"},
        {{"scan", folders[0], "--jobs", "0"}, 2, "--jobs takes a whole number"},
        {{"scan", folders[0], "--db", dir.File("no folder/x.dat"), "--no-cache"}, 1, "could not be written"},
        {{"scan", folders[0], "--db", picture}, 2, "b again.bmp: not a signature database"},
        {{"scan", folders[0], "--db", dir.File("notes [1].txt")}, 2, "notes [1].txt: not a signature database"},
        {{"scan", folders[0], "--db", dir.File("pipe.dat")}, 2, "pipe.dat: not a signature database"},
        {{"compare", "--db", dir.File("pipe.dat")}, 1, "Could not load data file"},
    };
    for (const auto& [args, code, says] : cases) {
        const auto run = clitest::Run(args);
        EXPECT_EQ(run.code, code) << args.back() << ": " << run.err;
        EXPECT_NE(run.err.find(says), std::string::npos) << args.back() << ": " << run.err;
        EXPECT_EQ(run.out, "") << args.back();
    }
    EXPECT_EQ(clitest::ReadFile(picture), pictureBytes);
    EXPECT_EQ(clitest::ReadFile(dir.File("notes [1].txt")), "/not a database\n");
    for (const char* command : {"scan", "compare"})
        EXPECT_EQ(clitest::Run({command, "--help"}).code, 0) << command;
}

} // namespace
