#pragma once

// Runs the command-line tool as a child process and collects what it says.
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace clitest {

struct Result {
    int code = -1;
    std::string out, err;
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// `prepare` runs in the child before the tool starts (dropping privileges,
// limits); the tool's standard error goes to `stderrFd` when given.
inline Result Run(const std::vector<std::string>& args, const std::function<void()>& prepare = {},
                  int stderrFd = -1)
{
    vxtest::TempDir logs;
    const std::string out = logs.File("out"), err = logs.File("err");
    const pid_t child = fork();
    if (child == 0) {
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = stderrFd >= 0 ? stderrFd : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(outFd, 1);
        dup2(errFd, 2);
        if (prepare)
            prepare();
        std::vector<char*> argv{const_cast<char*>(AMBREL_CLI)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(AMBREL_CLI, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(out), ReadFile(err)};
}

} // namespace clitest
