// Every refusal: one line naming the file or the value and the reason, a
// non-zero exit code, and no file left behind.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <thread>
#include <utility>

#include "batch_runner.h"
#include "cli_commands.h"
#include "cli_run.h"
#include "duplicate_commands.h"
#include "duplicates/signature_record.h"
#include "effect_names.h"
#include "picture_task.h"

namespace {

// While set, every operator new above this many bytes fails, on every
// thread, as in a process at the end of its memory.
std::atomic<std::size_t> g_newLimit{0};

} // namespace

// From malloc, as the standard library's own: its delete frees these too.
void* operator new(std::size_t size)
{
    if (const std::size_t limit = g_newLimit.load(std::memory_order_relaxed); limit && size > limit)
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

#include "operator_new_companions.h"

namespace {

namespace fs = std::filesystem;

struct ErrorCase {
    std::vector<std::string> args;  // "@" stands for the test's folder
    int code;
    std::string says;
};

long CountFiles(const fs::path& folder)
{
    return std::distance(fs::recursive_directory_iterator(folder), fs::recursive_directory_iterator());
}

TEST(CliErrors, OneLineNonZeroExitAndNoFileLeft)
{
    vxtest::TempDir dir;
    CVelvix picture = vxtest::RandomImage(30, 20, 2);
    ASSERT_EQ(picture.SaveImage(dir.File("good.png").c_str()), 1);
    ASSERT_EQ(vxtest::RandomImage(1, 40000, 2).SaveImage(dir.File("tall.png").c_str()), 1);
    std::ofstream(dir.File("bad [*].jpg")) << "not a picture at all";
    fs::create_directory(dir.Path() / "folder.png");
    fs::create_symlink("good.png", dir.Path() / "link [1].bmp");
    fs::create_symlink("no such folder/out.png", dir.Path() / "dangling [1].png");
    ASSERT_EQ(mkfifo(dir.File("pipe [1].png").c_str(), 0644), 0);
    const std::string original = clitest::ReadFile(dir.File("good.png"));
    const std::vector<ErrorCase> cases = {
        {{"convert", "@/missing.png", "@/out.png"}, 1, "@/missing.png: No such file or directory"},
        {{"convert", "@/bad [*].jpg", "@/out.png"}, 1, "@/bad [*].jpg: not a picture"},
        {{"convert", "@/folder.png", "@/out.png"}, 1, "@/folder.png: is a folder"},
        {{"convert", "@/pipe [1].png", "@/out.png"}, 1, "@/pipe [1].png: is not a regular file"},
        {{"convert", "@/good.png", "@/no such folder/out.png"}, 1, "the folder @/no such folder does not exist"},
        {{"convert", "@/good.png", "@/folder.png"}, 1, "@/folder.png: is a folder"},
        {{"convert", "@/good.png", "@/dangling [1].png"}, 1, "@/dangling [1].png: could not be written: No such file"},
        {{"convert", "@/good.png", "@/pipe [1].png"}, 1, "@/pipe [1].png: is not a regular file"},
        {{"effect", "No Such Effect", "@/good.png", "@/out.png"}, 2, "unknown effect 'No Such Effect'"},
        {{"effect", "Gamma Correction", "30.5", "@/good.png", "@/out.png"}, 2, "30.5 is outside 0.1..30"},
        {{"effect", "Gamma Correction", "0.09", "@/good.png", "@/out.png"}, 2, "0.09 is outside 0.1..30"},
        {{"effect", "Gamma Correction", "nan", "@/good.png", "@/out.png"}, 2, "'nan' is not a number"},
        {{"effect", "Gamma Correction", "1e999", "@/good.png", "@/out.png"}, 2, "'1e999' is not a number"},
        {{"effect", "Shift Blur", "2.5", "@/good.png", "@/out.png"}, 2, "'2.5' is not an integer"},
        {{"effect", "Shift Blur", "0", "@/good.png", "@/out.png"}, 2, "0 is outside 1..1000"},
        {{"effect", "Negative", "1", "@/good.png", "@/out.png"}, 2, "takes 0 value(s)"},
        {{"effect", "Rotate Angle", "10", "Bicubic", "@/good.png", "@/out.png"}, 2, "'Bicubic' is not Bilinear or B-Spline"},
        {{"effect", "Rotate Angle", "10", "2", "@/good.png", "@/out.png"}, 2, "outside Bilinear or B-Spline"},
        {{"effect", "Resample", "0", "@/good.png", "@/out.png"}, 2, "0 is outside 1..65535"},
        {{"effect", "Resample", "60000", "60000", "@/good.png", "@/out.png"}, 2, "more pixels than a picture may have"},
        {{"effect", "Resample", "65535", "@/tall.png", "@/out.png"}, 1, "new size 65535 x 2.6214e+09 is not possible"},
        {{"effect", "--effect", "@/good.png", "@/out.png"}, 2, "unknown effect '@/good.png'"},
        {{"effect", "--effect"}, 2, "--effect needs an effect's name"},
        {{"convert", "--jobs", "0", "@/good.png", "@/out.png"}, 2, "--jobs takes a whole number from 1 to 256"},
        {{"convert", "--jobs", "257", "@/good.png", "@/out.png"}, 2, "not '257'"},
        {{"convert", "-j", "2x", "@/good.png", "@/out.png"}, 2, "not '2x'"},
        {{"convert", "--jobs"}, 2, "--jobs needs a value"},
        {{"convert", "--format", "tiff", "-o", "@", "@/good.png"}, 2, "not 'tiff'"},
        {{"convert", "--format", "png", "@/good.png", "@/out.png"}, 2, "--format goes with --out-dir"},
        {{"convert", "--colour", "@/good.png", "@/out.png"}, 2, "unknown option '--colour'"},
        {{"convert", "@/good.png"}, 2, "needs an INPUT and an OUTPUT"},
        {{"convert", "@/good.png", "@/a.png", "@/b.png"}, 2, "many files need --out-dir"},
        {{"convert", "-o", "@"}, 2, "no input files"},
        {{"convert", "-o", "@", "@/good.png"}, 1, "the output would replace the input"},
        {{"effect", "Negative", "@/good.png", "@/./good.png"}, 1, "@/good.png: the output would replace the input"},
        {{"convert", "@/good.png", "@/link [1].bmp"}, 1, "@/good.png: the output would replace the input"},
        {{"convert", "-o", "@/nowhere", "@/good.png"}, 1, "the folder @/nowhere does not exist"},
        {{"rotate", "@/good.png"}, 2, "unknown command 'rotate'"},
        {{}, 2, "Usage: ambrel-cli COMMAND"},
    };
    const std::string folder = dir.Path().string();
    const long before = CountFiles(dir.Path());
    for (const ErrorCase& test : cases) {
        std::vector<std::string> args;
        for (std::string arg : test.args)
            args.push_back(arg.find('@') == 0 ? folder + arg.substr(1) : arg);
        std::string says = test.says;
        for (std::size_t at; (at = says.find('@')) != std::string::npos;)
            says.replace(at, 1, folder);
        const auto run = clitest::Run(args);
        const std::string what = test.args.empty() ? "(nothing)" : test.args[0] + " " + test.args.back();
        EXPECT_EQ(run.code, test.code) << what << ": " << run.err;
        EXPECT_NE(run.err.find(says), std::string::npos) << what << ": " << run.err;
        if (!test.args.empty()) {
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << what << ": " << run.err;
        }
        EXPECT_EQ(CountFiles(dir.Path()), before) << what << ": no file is left behind";
        EXPECT_EQ(clitest::ReadFile(dir.File("good.png")), original) << what;
    }
    // An output that is another input of the batch is refused as well: that
    // input is neither replaced nor read while it is being written.
    fs::create_directory(dir.Path() / "sub [2]");
    CVelvix other = vxtest::RandomImage(12, 9, 3);
    ASSERT_EQ(other.SaveImage(dir.File("sub [2]/good.bmp").c_str()), 1);
    const auto run = clitest::Run({"convert", "-j", "1", "-o", folder, "--format", "png", dir.File("sub [2]/good.bmp"),
                                   dir.File("good.png")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("good.bmp: its output " + folder + "/good.png would replace another input"),
              std::string::npos) << run.err;
    EXPECT_EQ(clitest::ReadFile(dir.File("good.png")), original);
}

TEST(CliErrors, HelpForEveryCommand)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"help"}, {"--help"}, {"effect", "--help"}, {"convert", "-h"}, {"effect", "--list"}}) {
        const auto run = clitest::Run(args);
        EXPECT_EQ(run.code, 0) << args[0];
        EXPECT_NE(run.out.find(args.size() > 1 && args[1] == "--list" ? "Gamma Correction" : "Usage: ambrel-cli"),
                  std::string::npos)
            << args[0];
        EXPECT_EQ(run.err, "");
    }
}

// A disk that fills up while the picture is written: the message says so
// and neither the picture nor a temporary file is left.
TEST(CliErrors, AFullDiskLeavesNoFile)
{
    vxtest::TempDir dir, mounted;
    if (mount("ambrel-full", mounted.Path().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here (needs root): " << std::strerror(errno);
    const std::unique_ptr<const char, void (*)(const char*)> unmount(mounted.Path().c_str(),
                                                                      [](const char* path) { umount(path); });
    CVelvix picture = vxtest::RandomImage(600, 400, 9);
    ASSERT_EQ(picture.SaveImage(dir.File("big.png").c_str()), 1);
    const std::vector<std::string> outputs = {"full.bmp", "full.png", "full.jpg", "full.gif"};
    for (const std::string& name : outputs) {
        const auto run = clitest::Run({"convert", dir.File("big.png"), (mounted.Path() / name).string()});
        EXPECT_EQ(run.code, 1) << name;
        EXPECT_NE(run.err.find(name + ": could not be written"), std::string::npos) << run.err;
        EXPECT_EQ(CountFiles(mounted.Path()), 0) << name;
    }
}

// A folder the user may not write to (as a user other than root, who may
// write anywhere).
TEST(CliErrors, AFolderWithoutWritePermission)
{
    vxtest::TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all, fs::perm_options::add);
    fs::create_directory(dir.Path() / "locked");
    fs::permissions(dir.Path() / "locked", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                               fs::perms::others_read | fs::perms::others_exec);
    CVelvix picture = vxtest::RandomImage(10, 10, 1);
    ASSERT_EQ(picture.SaveImage(dir.File("in.png").c_str()), 1);
    fs::permissions(dir.File("in.png"), fs::perms::others_read, fs::perm_options::add);
    const auto asNobody = [] {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(99);
    };
    const auto run = clitest::Run({"convert", dir.File("in.png"), dir.File("locked/out.png")}, asNobody);
    if (run.code == 99 || run.code == 127)
        GTEST_SKIP() << "cannot run the tool as another user here";
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("locked/out.png: could not be written: Permission denied"), std::string::npos) << run.err;
    EXPECT_EQ(CountFiles(dir.Path() / "locked"), 0);
}

// Ctrl+C in the middle of a batch: the files being written are finished,
// no new one starts, nothing half-written is left and the exit code says so.
TEST(CliErrors, AnInterruptedBatchLeavesOnlyWholeFiles)
{
    vxtest::TempDir dir;
    CVelvix picture = vxtest::RandomImage(300, 200, 4);
    ASSERT_EQ(picture.SaveImage(dir.File("in.png").c_str()), 1);
    std::vector<std::string> args = {"convert", "--jobs", "2", "--format", "bmp", "-o", dir.File("out")};
    for (int i = 0; i < 1500; ++i) {
        args.push_back(dir.File("in " + std::to_string(i) + ".png"));
        fs::copy_file(dir.File("in.png"), args.back());
    }
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    const auto run = clitest::Run(args, [&out] {
        // In the child: a helper process interrupts the tool once its first file is out.
        const pid_t tool = getpid();
        if (fork() == 0) {
            for (int i = 0; i < 3000 && fs::is_empty(out); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            kill(tool, SIGINT);
            _exit(0);
        }
    });
    ASSERT_EQ(run.code, 130) << run.err;
    EXPECT_NE(run.err.find("ambrel-cli: interrupted;"), std::string::npos) << run.err;
    CVelvix expected;
    ASSERT_EQ(expected.ReadImage(dir.File("in.png").c_str()), 1);
    ASSERT_EQ(expected.SaveImage(dir.File("expected.bmp").c_str()), 1);
    const std::string whole = clitest::ReadFile(dir.File("expected.bmp"));
    long written = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name.rfind("in ", 0) == 0 && entry.path().extension() == ".bmp") << name;
        EXPECT_TRUE(clitest::ReadFile(entry.path().string()) == whole) << name;
        ++written;
    }
    EXPECT_GT(written, 0);
    EXPECT_LT(written, 1500);
}

} // namespace

// An effect whose work buffer cannot be had fails its picture with a line
// that says so, on the calling thread and on the batch's workers alike (an
// escaping exception ended the whole run there), and nothing is written.
TEST(CliErrors, WantOfMemoryFailsThatPictureOnly)
{
    vxtest::TempDir dir;
    const std::string input = dir.File("in 100%.png");
    ASSERT_EQ(vxtest::RandomImage(100, 50, 5).SaveImage(input.c_str()), 1);
    const CEffectCommand* resample = FindEffectByName(QStringLiteral("Bilinear Resample"));
    ASSERT_NE(resample, nullptr);
    // 20000 columns take more than the limit in sample positions.
    const std::vector<CEffectStep> steps{{resample, {20000, 10}}};
    const std::vector<CPictureTask> tasks{{input, dir.File("a.png"), {}}, {input, dir.File("b.png"), {}}};
    g_newLimit = 65536;
    const std::string failure = RunPictureTask(tasks[0], steps);
    const CBatchResult batch =
        RunBatch(2, 2, false, [&](long i) { return RunPictureTask(tasks[std::size_t(i)], steps); });
    g_newLimit = 0;
    EXPECT_EQ(failure, input + ": not enough memory");
    EXPECT_EQ(batch.failed, 2);
    EXPECT_EQ(CountFiles(dir.Path()), 1) << "only the input";
    EXPECT_EQ(RunPictureTask(tasks[0], steps), "") << "the same task with memory enough";
}

// What `run` returns and writes on standard error (its output is dropped).
std::pair<int, std::string> WithStandardError(const std::function<int()>& run)
{
    vxtest::TempDir dir;
    const std::string path = dir.File("err");
    std::fflush(stdout);
    std::fflush(stderr);
    const int out = dup(1), err = dup(2);
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(file, 2);
    close(file);
    close(null);
    const int code = run();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    return {code, clitest::ReadFile(path)};
}

// A scan or a comparison short of memory fails with a line and leaves the
// database and its folder as they were (it ended the tool, and an ended
// scan left its temporary database behind).
TEST(CliErrors, WantOfMemoryFailsTheScanOrTheComparisonWithALine)
{
    vxtest::TempDir dir;
    fs::create_directories(dir.File("pictures"));
    for (int i = 0; i < 70; ++i)
        ASSERT_EQ(vxtest::RandomImage(8, 8, std::uint32_t(i % 35)).SaveImage(dir.File("pictures/p" + std::to_string(i) + ".bmp").c_str()), 1);
    const char* const home = std::getenv("XDG_DATA_HOME");
    const std::string oldHome = home ? home : "";
    setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);  // the signature cache, 77 KB once made
    const std::string db = dir.File("dups.dat"), small = dir.File("small.dat");
    const std::vector<std::string> scan{dir.File("pictures"), "--db", db, "-j", "1"};
    ASSERT_EQ(WithStandardError([&scan] { return RunScanCommand(scan); }).first, kExitDone);
    std::string bytes = clitest::ReadFile(db);
    ASSERT_EQ(bytes.size(), 70 * dif::kRecordSize);
    std::ofstream(small, std::ios::binary) << bytes.substr(0, 40 * dif::kRecordSize);  // read in 51 KB
    const std::string tooLittle = "ambrel-cli compare: not enough memory\n";
    struct {
        bool scan;
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {true, scan, "ambrel-cli scan: not enough memory; the signature database is left as it was\n"},
        {false, {"--db", db}, tooLittle},              // reading 90 KB of records
        {false, {"--db", small, "--grey"}, tooLittle},  // 2 KB a record to compare
    };
    for (const auto& c : cases) {
        const long files = CountFiles(dir.Path());
        g_newLimit = 65536;
        const auto [code, said] =
            WithStandardError([&c] { return c.scan ? RunScanCommand(c.args) : RunCompareCommand(c.args); });
        g_newLimit = 0;
        EXPECT_EQ(code, kExitFailed) << c.args[1];
        EXPECT_EQ(said, c.says);
        EXPECT_EQ(CountFiles(dir.Path()), files) << "no file made or removed";
        EXPECT_EQ(clitest::ReadFile(db), bytes);
        const auto [again, nothing] =
            WithStandardError([&c] { return c.scan ? RunScanCommand(c.args) : RunCompareCommand(c.args); });
        EXPECT_EQ(again, kExitDone) << nothing;
    }
    if (home)
        setenv("XDG_DATA_HOME", oldHome.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

// Work whose threads the system refuses (too many already) is done on the
// tool's own thread, with the same result; the refusal ended the tool.
TEST(CliErrors, WorkWithoutThreadsIsDoneAllTheSame)
{
    vxtest::TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all, fs::perm_options::add);
    fs::create_directory(dir.Path() / "in");
    const std::string first = dir.File("in/0.png");
    ASSERT_EQ(vxtest::RandomImage(30, 20, 2).SaveImage(first.c_str()), 1);
    for (int i = 1; i < 300; ++i)  // enough records for the comparison to split
        fs::copy_file(first, dir.File("in/" + std::to_string(i) + ".png"));
    fs::permissions(dir.Path() / "in", fs::perms::all, fs::perm_options::add);
    // Root may start threads beyond the limit: the tool runs as nobody.
    const auto withoutThreads = [] {
        const rlimit one{1, 1};
#if defined(__SANITIZE_ADDRESS__)
        // The leak check at a checked build's exit needs a thread of its own.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
#endif
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0 || setrlimit(RLIMIT_NPROC, &one) != 0)
            _exit(99);
    };
    const std::vector<std::string> effect{"effect", "--jobs", "2", "--format", "bmp", "-o", dir.File("in"),
                                          "--effect", "Negative", first, dir.File("in/1.png")};
    const auto made = clitest::Run(effect, withoutThreads);
    if (made.code == 99 || made.code == 127)
        GTEST_SKIP() << "cannot run the tool as another user here";
    EXPECT_EQ(made.code, 0) << made.err;
    EXPECT_TRUE(fs::exists(dir.File("in/0.bmp")) && fs::exists(dir.File("in/1.bmp")));
    for (const char* db : {"threads.dat", "alone.dat"})
        clitest::Run({"scan", dir.File("in"), "--db", dir.File(db), "--no-cache", "--jobs", "2"},
                     db[0] == 'a' ? withoutThreads : std::function<void()>{});
    const std::string database = clitest::ReadFile(dir.File("threads.dat"));
    EXPECT_FALSE(database.empty());
    EXPECT_TRUE(clitest::ReadFile(dir.File("alone.dat")) == database) << "the same database";
    const std::vector<std::string> compare{"compare", "--db", dir.File("threads.dat")};
    const auto alone = clitest::Run(compare, withoutThreads), threads = clitest::Run(compare);
    EXPECT_EQ(alone.code, 0) << alone.err;
    EXPECT_TRUE(alone.out == threads.out) << "the same groups";
}
