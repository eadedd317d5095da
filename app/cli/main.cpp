// ambrel-cli: the program's effects, conversions and duplicate scans without
// a window or a display.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "batch_runner.h"
#include "cli_commands.h"
#include "command_line.h"
#include "duplicate_commands.h"

namespace {

const char kUsage[] =
    "Usage: ambrel-cli COMMAND [OPTIONS] ...\n"
    "\n"
    "Commands:\n"
    "  effect    apply effects of the program to pictures\n"
    "  convert   write pictures in another format\n"
    "  scan      build the duplicate finder's signature database from folders\n"
    "  compare   list the groups of similar pictures of that database\n"
    "  help      this text; 'ambrel-cli COMMAND --help' tells about a command\n"
    "\n"
    "Exit codes: 0 every file done, 1 some files failed, 2 a mistake on the\n"
    "command line, 130 interrupted (a stopped scan keeps the records so far).\n";

const char kEffectUsage[] =
    "Usage: ambrel-cli effect NAME [VALUE...] INPUT OUTPUT\n"
    "       ambrel-cli effect --effect NAME [VALUE...] [--effect NAME [VALUE...]]... INPUT OUTPUT\n"
    "       ambrel-cli effect [--jobs N] [--format F] --out-dir FOLDER --effect NAME [VALUE...]... INPUT...\n"
    "\n"
    "Applies the effects in order, as the program's Tools menus do, and saves\n"
    "the picture in the format OUTPUT's name gives (.bmp, .gif, .png, else JPEG).\n"
    "NAME is the menu's text (quote it: \"Gamma Correction\"), any case. Values\n"
    "not given take the defaults the program offers. Put '--' before file names\n"
    "that look like numbers.\n"
    "\n"
    "Options:\n"
    "  --effect NAME [VALUE...]  one step; several are applied in order\n"
    "  --out-dir FOLDER, -o      many files: each output is FOLDER/INPUT's name\n"
    "  --format jpg|png|gif|bmp  with --out-dir: the outputs' format\n"
    "  --jobs N, -j N            files at once (1 to 256; default: the cores)\n"
    "  --list                    the effects with their values\n"
    "\n"
    "Effects:\n";

const char kConvertUsage[] =
    "Usage: ambrel-cli convert INPUT OUTPUT\n"
    "       ambrel-cli convert [--jobs N] [--format F] --out-dir FOLDER INPUT...\n"
    "\n"
    "Reads BMP, JPEG, PNG and GIF pictures and saves them in the format the\n"
    "output's name gives (.bmp, .gif, .png, else JPEG).\n"
    "\n"
    "Options:\n"
    "  --out-dir FOLDER, -o      each output is FOLDER/INPUT's name\n"
    "  --format jpg|png|gif|bmp  with --out-dir: the outputs' format\n"
    "  --jobs N, -j N            files at once (1 to 256; default: the cores)\n";

void OnInterrupt(int)
{
    InterruptBatch();
    StopDuplicateWork();
    // A second interruption ends the program at once.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

int BadCommandLine(const std::string& command, const std::string& error)
{
    std::fprintf(stderr, "ambrel-cli %s: %s\n", command.c_str(), error.c_str());
    return kExitUsage;
}

int RunBatchCommand(const std::string& command, const std::vector<std::string>& args)
{
    const bool withEffects = command == "effect";
    std::string error;
    const auto plan = ParseBatchCommand(args, withEffects, error);
    if (!plan)
        return BadCommandLine(command, error);
    if (plan->help || plan->list) {
        if (plan->help)
            std::fputs(withEffects ? kEffectUsage : kConvertUsage, stdout);
        if (withEffects)
            std::fputs(EffectListText().c_str(), stdout);
        return kExitDone;
    }
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const CBatchResult result =
        RunBatch(long(plan->tasks.size()), plan->jobs, isatty(STDERR_FILENO) == 1,
                 [&plan](long i) { return RunPictureTask(plan->tasks[std::size_t(i)], plan->steps); });
    if (result.interrupted) {
        std::fprintf(stderr, "ambrel-cli: interrupted; %ld of %zu files not done\n", result.failed,
                     plan->tasks.size());
        return kExitInterrupted;
    }
    return result.failed ? kExitFailed : kExitDone;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return kExitDone;
    }
    if (command == "effect" || command == "convert")
        return RunBatchCommand(command, rest);
    if (command == "scan" || command == "compare") {
        std::signal(SIGINT, OnInterrupt);
        std::signal(SIGTERM, OnInterrupt);
        return command == "scan" ? RunScanCommand(rest) : RunCompareCommand(rest);
    }
    std::fprintf(stderr, "ambrel-cli: unknown command '%s' (ambrel-cli help lists them)\n", command.c_str());
    return kExitUsage;
}
