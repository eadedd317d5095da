#include "duplicate_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>

#include "cli_commands.h"
#include "command_line.h"
#include "duplicate_report.h"
#include "duplicates/duplicate_groups.h"
#include "duplicates/signature_database.h"
#include "duplicates/signature_scanner.h"
#include "progress_bar.h"

namespace {

const char kScanUsage[] =
    "Usage: ambrel-cli scan FOLDER... [--db FILE] [--no-cache] [--jobs N]\n"
    "\n"
    "Rebuilds the duplicate finder's signature database from the pictures in\n"
    "the folders and their subfolders, in the folders' order, as \"Scan Now\" of\n"
    "the window does (with its signature cache of unchanged files).\n"
    "\n"
    "Options:\n"
    "  --db FILE      the database (default: the window's, in the data folder);\n"
    "                 a file that is not one is left alone\n"
    "  --no-cache     decode every picture again\n"
    "  --jobs N, -j N pictures decoded at once (1 to 256; default: the cores)\n";

const char kCompareUsage[] =
    "Usage: ambrel-cli compare [--db FILE] [--threshold N] [--rotations] [--grey]\n"
    "                          [--format text|csv|json]\n"
    "\n"
    "Lists the groups of similar pictures of the signature database, as\n"
    "\"Compare Now\" of the window does: each group's first picture, then the\n"
    "pictures that match it at least N percent, with their match.\n"
    "\n"
    "Options:\n"
    "  --db FILE          the database (default: the window's)\n"
    "  --threshold N      the least match in percent, 1 to 100 (default 100)\n"
    "  --rotations        also match rotated and mirrored copies\n"
    "  --grey             also match greyscale copies\n"
    "  --format F         text (default), csv or json\n";

std::atomic<int> g_nStopRequests{0};

struct CDuplicateArguments {
    std::vector<std::string> folders;
    std::string database = dif::DatabasePath();
    std::string threshold = "100";
    CReportFormat format = CReportFormat::Text;
    dif::SCompareOptions compare;
    bool cache = true, help = false;
    int jobs = DefaultJobs();
};

// Reads the options both commands know; `scan` takes folders, `compare`
// its own options. false with a message on a mistake.
bool ReadDuplicateArguments(const std::vector<std::string>& args, bool scan, CDuplicateArguments& out,
                            std::string& error)
{
    for (std::size_t at = 0; at < args.size(); ++at) {
        const std::string& arg = args[at];
        const bool hasValue = at + 1 < args.size();
        auto value = [&]() -> const std::string& { return args[++at]; };
        if (arg == "--help" || arg == "-h") {
            out.help = true;
        } else if (arg == "--db" && hasValue) {
            out.database = value();
        } else if (scan && arg == "--no-cache") {
            out.cache = false;
        } else if (scan && (arg == "--jobs" || arg == "-j") && hasValue) {
            const auto jobs = ParseJobs(value());
            if (!jobs) {
                error = "--jobs takes a whole number from 1 to 256, not '" + args[at] + "'";
                return false;
            }
            out.jobs = *jobs;
        } else if (!scan && arg == "--threshold" && hasValue) {
            out.threshold = value();
        } else if (!scan && arg == "--rotations") {
            out.compare.rotations = true;
        } else if (!scan && arg == "--grey") {
            out.compare.greyscale = true;
        } else if (!scan && arg == "--format" && hasValue) {
            if (!ParseReportFormat(value(), out.format)) {
                error = "--format takes text, csv or json, not '" + args[at] + "'";
                return false;
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
            error = hasValue || !(arg == "--db" || arg == "--jobs" || arg == "-j" || arg == "--threshold" ||
                                  arg == "--format")
                        ? "unknown option '" + arg + "'"
                        : arg + " needs a value";
            return false;
        } else if (scan) {
            if (arg == "--") {
                out.folders.insert(out.folders.end(), args.begin() + long(at) + 1, args.end());
                break;
            }
            out.folders.push_back(arg);
        } else {
            error = "compare takes no folder ('" + arg + "'); scan them first";
            return false;
        }
    }
    return true;
}

// Counts the pictures as the scan meets them and keeps a terminal's line
// up to date.
class CScanCounter : public dif::IScanProgress {
public:
    explicit CScanCounter(bool show) : m_bar(stderr, -1), m_bShow(show) {}
    void OnAnalyzing(const std::string&) override
    {
        ++m_nFiles;
        const auto now = std::chrono::steady_clock::now();
        if (m_bShow && now - m_Drawn > std::chrono::milliseconds(200)) {
            m_bar.Draw(m_nFiles);
            m_Drawn = now;
        }
    }
    void Finish()
    {
        if (m_bShow) {
            m_bar.Draw(m_nFiles);
            std::fputc('\n', stderr);
        }
    }

private:
    CProgressBar m_bar;
    bool m_bShow;
    long m_nFiles = 0;
    std::chrono::steady_clock::time_point m_Drawn{};
};

int Refuse(const char* command, const std::string& error)
{
    std::fprintf(stderr, "ambrel-cli %s: %s\n", command, error.c_str());
    return kExitUsage;
}

int ShortOfMemory(const char* command, const char* more)
{
    std::fprintf(stderr, "ambrel-cli %s: not enough memory%s\n", command, more);
    return kExitFailed;
}

// Each folder must exist, as the window's "Add" asks.
std::string FolderProblem(const std::string& folder)
{
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0)
        return folder + ": " + std::strerror(errno);
    return S_ISDIR(info.st_mode) ? std::string() : folder + ": not a folder";
}

// A scan replaces the file --db names: only a signature database (or an
// empty file) may be replaced, not a picture or a document named by mistake.
// Every record's path is either all zeros (a deleted record) or a full
// path, zero-terminated and zero-filled.
std::string DatabaseProblem(const std::string& path)
{
    const std::string refusal = path + ": not a signature database; it is left as it is";
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
        return S_ISDIR(info.st_mode) ? std::string() : refusal; // a folder: the scan says it cannot write
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return errno == ENOENT ? std::string() : path + ": " + std::strerror(errno);
    unsigned char record[dif::kRecordSize];
    std::size_t read = 0, records = 0;
    bool plausible = true;
    while (plausible && records < 64 && (read = std::fread(record, 1, sizeof record, file)) == sizeof record) {
        const std::string name = dif::RecordPath(record);
        plausible = name.size() < dif::kPathFieldSize && (name.empty() || name[0] == '/');
        for (std::size_t i = name.size(); plausible && i < dif::kPathFieldSize; ++i)
            plausible = record[i] == 0;
        ++records;
    }
    std::fclose(file);
    if (plausible && (records > 0 || read == 0))
        return {};
    return refusal;
}

} // namespace

void StopDuplicateWork()
{
    ++g_nStopRequests;
}

int RunScanCommand(const std::vector<std::string>& args)
{
    CDuplicateArguments parsed;
    std::string error;
    if (!ReadDuplicateArguments(args, true, parsed, error))
        return Refuse("scan", error);
    if (parsed.help) {
        std::fputs(kScanUsage, stdout);
        return kExitDone;
    }
    if (parsed.folders.empty())
        return Refuse("scan", "which folders? (ambrel-cli scan --help)");
    for (std::string& folder : parsed.folders) {
        if (const std::string problem = FolderProblem(folder); !problem.empty())
            return Refuse("scan", problem);
        // Records hold full paths, as the window's folder list gives them.
        folder = std::filesystem::absolute(folder).lexically_normal().string();
        if (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
    }
    if (const std::string problem = DatabaseProblem(parsed.database); !problem.empty())
        return Refuse("scan", problem);
    dif::SScanOptions options;
    options.decodeThreads = unsigned(parsed.jobs);
    if (parsed.cache)
        options.cachePath = dif::CachePath();
    if (parsed.cache || parsed.database == dif::DatabasePath()) {
        std::error_code ignored;
        std::filesystem::create_directories(dif::DataFolder(), ignored);
    }
    CScanCounter counter(isatty(STDERR_FILENO) == 1);
    dif::SScanResult result;
    try {
        result = dif::CSignatureScanner(parsed.database, options, &counter, g_nStopRequests).Scan(parsed.folders);
    } catch (const std::bad_alloc&) {
        counter.Finish();
        return ShortOfMemory("scan", "; the signature database is left as it was");
    }
    counter.Finish();
    if (result.longPaths)
        std::fprintf(stderr, "ambrel-cli: %llu file(s) skipped: their path is longer than 260 bytes\n",
                     (unsigned long long)result.longPaths);
    if (result.unreadableFolders)
        std::fprintf(stderr, "ambrel-cli: %llu folder(s) could not be read\n",
                     (unsigned long long)result.unreadableFolders);
    if (result.databaseUnwritable) {
        std::fprintf(stderr, "ambrel-cli: %s: the signature database could not be written\n",
                     parsed.database.c_str());
        return kExitFailed;
    }
    std::printf("%lli file(s) scanned in database.\n",
                (long long)dif::CSignatureDatabase::CountRecords(parsed.database));
    return result.stopped ? kExitInterrupted : kExitDone;
}

int RunCompareCommand(const std::vector<std::string>& args)
{
    CDuplicateArguments parsed;
    std::string error;
    if (!ReadDuplicateArguments(args, false, parsed, error))
        return Refuse("compare", error);
    if (parsed.help) {
        std::fputs(kCompareUsage, stdout);
        return kExitDone;
    }
    const int threshold = dif::ParseThreshold(parsed.threshold.substr(0, 50));
    if (!dif::IsValidThreshold(threshold))
        return Refuse("compare", "Percent value is invalid... ('" + parsed.threshold + "'; 1 to 100)");
    dif::CSignatureDatabase database;
    bool opened = false;
    try {
        opened = database.Open(parsed.database, false);
    } catch (const std::bad_alloc&) {
        return ShortOfMemory("compare", "");
    }
    if (!opened) {
        std::fprintf(stderr, "ambrel-cli: %s: Could not load data file, you have to scan files first.\n",
                     parsed.database.c_str());
        return kExitFailed;
    }
    const bool show = isatty(STDERR_FILENO) == 1;
    CProgressBar bar(stderr, long(database.GetCount()));
    auto drawn = std::chrono::steady_clock::now();
    std::mutex drawing;
    dif::SGroupingOptions options;
    options.compare = parsed.compare;
    options.threads = 0;
    bool stopped = false;
    std::string report;
    try {
        const auto groups = dif::BuildDuplicateGroups(
            database, threshold, options, g_nStopRequests,
            [&](std::size_t done, std::size_t) {
                const std::unique_lock guard(drawing, std::try_to_lock);
                if (!guard.owns_lock())
                    return;
                const auto now = std::chrono::steady_clock::now();
                if (show && now - drawn > std::chrono::milliseconds(200)) {
                    bar.Draw(long(done));
                    drawn = now;
                }
            },
            &stopped);
        report = FormatDuplicateGroups(groups, parsed.format);
    } catch (const std::bad_alloc&) {
        if (show)
            bar.Clear();
        return ShortOfMemory("compare", "");  // no list rather than part of one
    }
    if (show)
        bar.Clear();
    std::fwrite(report.data(), 1, report.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "ambrel-cli: the results could not be written: %s\n", std::strerror(errno));
        return kExitFailed;
    }
    return stopped ? kExitInterrupted : kExitDone;
}
