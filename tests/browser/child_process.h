#pragma once

// Running a piece of a test in a forked child: with the rights of an
// ordinary user (we run as root, and root skips permission checks), or with
// a small file system of its own, mounted in a private mount namespace so
// that it disappears with the child.
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include <functional>
#include <string>

namespace vxtest {

constexpr uid_t kNobody = 65534;

// The child's exit code, or -1 when it did not exit normally.
inline int InChild(const std::function<int()>& body)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(body());
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Whether this process is the rerun of RerunInFolder.
inline bool InRerunFolder()
{
    return getenv("AMBREL_TEST_IN_FOLDER") != nullptr;
}

// Runs this test binary again for the tests matching `filter`, in `folder`
// (the program never changes its own current folder); the child's exit code.
inline int RerunInFolder(const std::string& folder, const std::string& filter)
{
    return InChild([&] {
        std::string self = "/proc/self/exe", option = "--gtest_filter=" + filter;
        char* argv[] = {self.data(), option.data(), nullptr};
        if (chdir(folder.c_str()) != 0 || setenv("AMBREL_TEST_IN_FOLDER", "1", 1) != 0)
            return 2;
        execv(self.data(), argv);
        return 3;
    });
}

// In a child: the rights of "nobody" from now on.
inline bool BecomeNobody()
{
    return setgid(kNobody) == 0 && setuid(kNobody) == 0 && geteuid() == kNobody;
}

// In a child: a tmpfs of `kilobytes` at `folder`, seen only by this child.
inline bool MountTmpfs(const std::string& folder, int kilobytes)
{
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    const std::string options = "size=" + std::to_string(kilobytes) + "k";
    return mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

// Whether this machine lets a test mount a file system (root with the right
// to make a mount namespace); else those tests are skipped.
inline bool CanMount(const std::string& folder)
{
    return InChild([&folder] { return MountTmpfs(folder, 64) ? 0 : 1; }) == 0;
}

} // namespace vxtest

#define VX_SKIP_UNLESS_ROOT()                                                                                          \
    if (geteuid() != 0)                                                                                                \
    GTEST_SKIP() << "needs root to drop to an ordinary user"
#define VX_SKIP_UNLESS_MOUNT(folder)                                                                                   \
    if (!vxtest::CanMount(folder))                                                                                     \
    GTEST_SKIP() << "cannot mount a second file system here (needs root and mount namespaces)"
