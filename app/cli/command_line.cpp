#include "command_line.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <map>
#include <set>
#include <thread>

#include "effect_names.h"

namespace {

const std::set<std::string> kFormats = {"jpg", "jpeg", "png", "gif", "bmp"};

struct CArguments {
    std::vector<std::string> positional;
    std::vector<CEffectStep> steps;
    std::string outDir, format;
    bool hasOutDir = false;
    int jobs = DefaultJobs();
    bool help = false, list = false;
};

std::string FileName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithFormat(const std::string& name, const std::string& format)
{
    if (format.empty())
        return name;
    const auto dot = name.rfind('.');
    return (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + "." + format;
}

// A negative number is a value, not an option.
bool IsNumber(const std::string& text)
{
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first {}, second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// Reads an effect's name and the values that follow it at `at`; values are
// taken while they read as values, up to the number the effect has.
bool ReadStep(const std::vector<std::string>& args, std::size_t& at, bool greedy, std::size_t valuesEnd,
              CEffectStep& step, std::string& error)
{
    const std::string& name = args[at++];
    step.command = FindEffectByName(QString::fromLocal8Bit(name.c_str()));
    if (!step.command) {
        error = "unknown effect '" + name + "' (ambrel-cli effect --list shows them)";
        return false;
    }
    for (std::size_t index = 0; at < valuesEnd; ++index, ++at) {
        if (greedy && (args[at].rfind("--", 0) == 0 || !LooksLikeEffectValue(*step.command, index, args[at])))
            break;
        const auto value = ParseEffectValue(*step.command, index, args[at], error);
        if (!value)
            return false;
        step.values.push_back(*value);
    }
    error = CheckEffectStep(step);
    return error.empty();
}

bool ReadOption(const std::vector<std::string>& args, std::size_t& at, CArguments& out, std::string& error)
{
    const std::string& option = args[at];
    auto value = [&]() -> std::optional<std::string> {
        if (at + 1 >= args.size()) {
            error = option + " needs a value";
            return std::nullopt;
        }
        at += 2;
        return args[at - 1];
    };
    if (option == "--help" || option == "-h") {
        out.help = true;
        ++at;
    } else if (option == "--list") {
        out.list = true;
        ++at;
    } else if (option == "--jobs" || option == "-j") {
        const auto text = value();
        if (!text)
            return false;
        const auto jobs = ParseJobs(*text);
        if (!jobs) {
            error = "--jobs takes a whole number from 1 to 256, not '" + *text + "'";
            return false;
        }
        out.jobs = *jobs;
    } else if (option == "--out-dir" || option == "-o") {
        const auto text = value();
        if (!text || text->empty()) {
            error = error.empty() ? "--out-dir needs a folder" : error;
            return false;
        }
        out.outDir = *text;
        out.hasOutDir = true;
    } else if (option == "--format") {
        const auto text = value();
        if (!text)
            return false;
        std::string format = *text;
        std::transform(format.begin(), format.end(), format.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        if (!kFormats.count(format)) {
            error = "--format takes jpg, jpeg, png, gif or bmp, not '" + *text + "'";
            return false;
        }
        out.format = format;
    } else {
        error = "unknown option '" + option + "'";
        return false;
    }
    return true;
}

bool ReadArguments(const std::vector<std::string>& args, bool withEffects, CArguments& out, std::string& error)
{
    for (std::size_t at = 0; at < args.size();) {
        const std::string& arg = args[at];
        if (arg == "--") {
            out.positional.insert(out.positional.end(), args.begin() + long(at) + 1, args.end());
            break;
        }
        if (arg == "--effect" && withEffects) {
            if (++at >= args.size()) {
                error = "--effect needs an effect's name";
                return false;
            }
            CEffectStep step;
            if (!ReadStep(args, at, true, args.size(), step, error))
                return false;
            out.steps.push_back(step);
        } else if (arg.size() > 1 && arg[0] == '-' && !IsNumber(arg)) {
            if (!ReadOption(args, at, out, error))
                return false;
        } else {
            out.positional.push_back(args[at++]);
        }
    }
    return true;
}

} // namespace

int DefaultJobs()
{
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 256u));
}

std::optional<int> ParseJobs(const std::string& text)
{
    int jobs = 0;
    const auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), jobs);
    if (code != std::errc() || end != text.data() + text.size() || jobs < 1 || jobs > 256)
        return std::nullopt;
    return jobs;
}

std::optional<CBatchPlan> ParseBatchCommand(const std::vector<std::string>& args, bool withEffects,
                                            std::string& error)
{
    CArguments parsed;
    if (!ReadArguments(args, withEffects, parsed, error))
        return std::nullopt;
    CBatchPlan plan;
    plan.jobs = parsed.jobs;
    plan.help = parsed.help;
    plan.list = parsed.list;
    if (plan.help || plan.list)
        return plan;
    std::vector<std::string>& files = parsed.positional;
    plan.steps = parsed.steps;
    if (withEffects && plan.steps.empty()) {
        // effect NAME [VALUE...] INPUT OUTPUT: the last two words are the
        // files; with --out-dir, the values end where the files begin.
        if (files.empty()) {
            error = "which effect? (ambrel-cli effect --list shows them)";
            return std::nullopt;
        }
        const std::size_t valuesEnd = parsed.hasOutDir ? files.size() : std::max<std::size_t>(1, files.size() - std::min<std::size_t>(2, files.size()));
        std::size_t at = 0;
        CEffectStep step;
        if (!ReadStep(files, at, parsed.hasOutDir, valuesEnd, step, error))
            return std::nullopt;
        plan.steps.push_back(step);
        files.erase(files.begin(), files.begin() + long(at));
    }
    if (!parsed.hasOutDir) {
        if (!parsed.format.empty()) {
            error = "--format goes with --out-dir; otherwise OUTPUT's name gives the format";
            return std::nullopt;
        }
        if (files.size() != 2) {
            error = files.size() < 2 ? "needs an INPUT and an OUTPUT file" : "many files need --out-dir FOLDER";
            return std::nullopt;
        }
        CPictureTask task{files[0], files[1], {}};
        if (SameFile(task.input, task.output))
            task.refusal = task.input + ": the output would replace the input; choose another OUTPUT";
        plan.tasks.push_back(task);
        return plan;
    }
    if (files.empty()) {
        error = "no input files";
        return std::nullopt;
    }
    // An output that an earlier input already makes, or that is an input
    // of the batch, is refused: nothing is overwritten by surprise, and no
    // input is replaced before (or while) it is read.
    std::set<std::pair<dev_t, ino_t>> inputs;
    for (const std::string& input : files)
        if (struct stat info {}; stat(input.c_str(), &info) == 0)
            inputs.emplace(info.st_dev, info.st_ino);
    std::map<std::string, std::string> makers;
    for (const std::string& input : files) {
        CPictureTask task{input, parsed.outDir + "/" + WithFormat(FileName(input), parsed.format), {}};
        const auto [maker, fresh] = makers.emplace(task.output, input);
        struct stat output {};
        if (!fresh)
            task.refusal = input + ": its output " + task.output + " is already made from " + maker->second;
        else if (SameFile(input, task.output))
            task.refusal = input + ": the output would replace the input; choose another --out-dir";
        else if (stat(task.output.c_str(), &output) == 0 && inputs.count({output.st_dev, output.st_ino}))
            task.refusal = input + ": its output " + task.output + " would replace another input; choose another --out-dir";
        plan.tasks.push_back(task);
    }
    return plan;
}
