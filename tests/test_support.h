#pragma once

// Helpers shared by the library's tests: random pictures, temporary folders,
// paths into the external test suites, and whole-buffer comparison.
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "image/velvix.h"

namespace vxtest {

inline VxPixel*& Data(CVelvix& image)
{
    return static_cast<CVelvix_PixelInterface&>(image).GetImageData();
}

// A w x h picture of random 24-bit pixels (top byte 0).
inline CVelvix RandomImage(int w, int h, std::uint32_t seed = 1)
{
    CVelvix image;
    static_cast<CVelvix_PixelInterface&>(image).RawCreateImage(h, w);
    std::mt19937 random(seed);
    for (int i = 0; i < w * h; ++i)
        image.Bytes(i) = random() & 0xFFFFFF;
    return image;
}

inline CVelvix FilledImage(int w, int h, VxPixel value)
{
    CVelvix image;
    static_cast<CVelvix_PixelInterface&>(image).RawCreateImage(h, w);
    for (int i = 0; i < w * h; ++i)
        image.Bytes(i) = value;
    return image;
}

// Index of the first differing pixel, or -1 when both pictures are equal.
inline long FirstDifference(CVelvix& a, CVelvix& b)
{
    if (a.IsValidObject() != b.IsValidObject())
        return 0;
    if (!a.IsValidObject())
        return -1;
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return 0;
    const long n = long(a.GetWidth()) * a.GetHeight();
    for (long i = 0; i < n; ++i)
        if (a.Bytes(int(i)) != b.Bytes(int(i)))
            return i;
    return -1;
}

inline std::string TestData(const std::string& relative)
{
    return std::string(AMBREL_TESTDATA_DIR) + "/" + relative;
}

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ambrel-test-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Runs `work` in a child process. Returns whether it gave true, and the
// most memory (KB) the child held above what this process held when it
// started (the child shares those pages).
inline std::pair<bool, long> InChildWithPeakKb(const std::function<bool()>& work)
{
    auto residentKb = [] {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmRSS:", 0) == 0)
                return std::atol(line.c_str() + 6);
        return 0L;
    };
    const long before = residentKb();
    const pid_t child = fork();
    if (child == 0)
        _exit(work() ? 0 : 1);
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return {false, 0};
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0, usage.ru_maxrss - before};
}

// Everything a child writes into the pipe `fd` until it closes its end;
// closes `fd`.
inline std::string ReadToEnd(int fd)
{
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(got));
    close(fd);
    return text;
}

// Runs `check` as the unprivileged user 65534 in a child process: root may
// write any file, so a permission rule checked as root passes whatever the
// code does. The folders in `owned` are handed to that user first. `check`
// returns "" when it passes, otherwise what failed. No value when the
// privileges cannot be dropped (the caller skips and says so).
inline std::optional<std::string> RunUnprivileged(const std::vector<std::filesystem::path>& owned,
                                                  const std::function<std::string()>& check)
{
    if (geteuid() != 0)
        return check();
    for (const auto& folder : owned)
        if (chown(folder.c_str(), 65534, 65534) != 0)
            return std::nullopt;
    int channel[2];
    if (pipe(channel) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0 || geteuid() == 0)
            _exit(3);
        const std::string failures = check();
        const bool sent = write(channel[1], failures.data(), failures.size()) == ssize_t(failures.size());
        _exit(sent ? 0 : 4);
    }
    close(channel[1]);
    std::string failures = ReadToEnd(channel[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return std::nullopt;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3)
        return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        failures += "the unprivileged check did not finish (status " + std::to_string(status) + ")";
    return failures;
}

} // namespace vxtest
