#include "picture_task.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "image/velvix.h"

namespace {

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Why the input cannot be read as a file at all; empty when it can.
std::string InputProblem(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return std::strerror(errno);
    if (S_ISDIR(info.st_mode))
        return "is a folder, not a picture";
    // A pipe or a device would block the tool in open() or read forever.
    if (!S_ISREG(info.st_mode))
        return "is not a regular file";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    close(fd);
    return {};
}

std::string OutputProblem(const std::string& path)
{
    const std::string folder = FolderOf(path);
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0)
        return errno == ENOENT ? "the folder " + folder + " does not exist" : folder + ": " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode))
        return folder + " is not a folder";
    if (stat(path.c_str(), &info) != 0)
        return {};
    if (S_ISDIR(info.st_mode))
        return "is a folder";
    // A pipe or a device is not replaced by a picture file.
    return S_ISREG(info.st_mode) ? std::string() : "is not a regular file";
}

std::string RunTask(const CPictureTask& task, const std::vector<CEffectStep>& steps)
{
    if (!task.refusal.empty())
        return task.refusal;
    if (const std::string problem = InputProblem(task.input); !problem.empty())
        return task.input + ": " + problem;
    CVelvix image;
    if (!image.ReadImage(task.input.c_str()))
        return task.input + ": not a picture this program can read (BMP, JPEG, PNG or GIF)";
    for (const CEffectStep& step : steps) {
        std::string error;
        if (!ApplyEffectStep(step, image, error))
            return task.input + ": " + error;
    }
    if (const std::string problem = OutputProblem(task.output); !problem.empty())
        return task.output + ": " + problem;
    errno = 0;
    if (!image.SaveImage(task.output.c_str())) {
        const int cause = errno;
        return task.output + ": could not be written" + (cause ? std::string(": ") + std::strerror(cause) : "");
    }
    return {};
}

} // namespace

std::string RunPictureTask(const CPictureTask& task, const std::vector<CEffectStep>& steps)
{
    // An effect's work buffer that cannot be had fails this picture only;
    // on a batch worker the exception would end the whole run.
    try {
        return RunTask(task, steps);
    } catch (const std::bad_alloc&) {
        return task.input + ": not enough memory";
    }
}
