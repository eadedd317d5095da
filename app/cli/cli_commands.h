#pragma once

// The tool's exit codes.
enum : int {
    kExitDone = 0,
    kExitFailed = 1,       // some files failed
    kExitUsage = 2,        // a mistake on the command line
    kExitInterrupted = 130,
};
