#pragma once

// The scan's walk of a folder tree: entries in the order the file system
// lists them, subfolders depth-first where they are met. It never changes
// the process's current directory (other windows share it), enters each
// folder once per walk (a link loop cannot hang it, overlapping folder rows
// do not list a file twice) and reports each file once, whatever the number
// of names that lead to it.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>

namespace dif {

struct SFoundFile {
    std::string path; // the folder as walked, '/', the file's real name
    std::uint64_t size = 0;
    std::int64_t modified = 0; // nanoseconds
    std::int64_t changed = 0;  // status change, nanoseconds
    std::uint64_t inode = 0;
};

struct SWalkCounts {
    std::uint64_t unreadableFolders = 0; // could not be listed
    std::uint64_t longPaths = 0;         // image files whose path does not fit a record
};

class CFolderWalk {
public:
    // onFile is called for each image candidate, in walk order.
    using FileHandler = std::function<void(const SFoundFile&)>;

    CFolderWalk(const std::atomic<int>& stopRequests, FileHandler onFile)
        : m_stop(stopRequests), m_onFile(std::move(onFile))
    {
    }

    // Walks one listed folder; relative names are taken from the current
    // directory. Folders met in an earlier call of this walk are not
    // entered again.
    void Walk(const std::string& folder);
    const SWalkCounts& Counts() const { return m_counts; }

    // The folder as an absolute path without trailing separators.
    static std::string NormalFolder(const std::string& folder);

private:
    void _WalkOpen(int folderFd, const std::string& folderPath);
    bool _Stopped() const { return m_stop.load(std::memory_order_relaxed) != 0; }

    const std::atomic<int>& m_stop;
    FileHandler m_onFile;
    SWalkCounts m_counts;
    std::set<std::pair<dev_t, ino_t>> m_visitedFolders;
    std::set<std::pair<dev_t, ino_t>> m_seenFiles;
};

} // namespace dif
