#pragma once

// Copying, moving and renaming files so that no failure loses data: a copy
// is written beside its target under a temporary name, flushed, checked and
// only then given the target's name; a move across file systems deletes the
// source only after its copy is complete on the disk. Plain POSIX, no Qt, so
// that tests can run it in a child process with other rights or mounts.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

namespace vxfile {

// What lstat says about a directory entry; `exists` false when there is none.
struct SEntry {
    bool exists = false;
    bool regular = false;
    bool directory = false;
    bool link = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;

    // The same file, unchanged: device, inode, size and modification time.
    bool SameState(const SEntry& other) const;
};

SEntry Stat(const std::string& path);
// Any entry by that name, a dangling symbolic link too.
bool Exists(const std::string& path);
// Both names lead to one file (the same path, or hard links).
bool SameFile(const std::string& a, const std::string& b);
// The name leads to an entry, but its folder lists none by this exact name:
// a folder that ignores case (vfat) finds "photo.jpg" as "Photo.jpg" too.
bool IsOtherSpelling(const std::string& path);
// The folder part of a path ("." when there is none, "/" for the root).
std::string FolderOf(const std::string& path);

// Told the bytes copied so far and the total; returning false cancels.
using Progress = std::function<bool(std::uint64_t copied, std::uint64_t total)>;

// Each returns 0 or an errno value. Nothing is left half-done: on failure the
// source is as it was and no partial target or temporary file remains.

// A rename within one file system. Without `replace` an existing target is
// refused (EEXIST), atomically where the file system allows.
int RenameEntry(const std::string& from, const std::string& to, bool replace);
// Copies a regular file (its mode and times too). With `replace` an existing
// target is swapped for the complete copy in one step (a symbolic link there
// too, whatever it leads to); a file the user may not write is refused
// (EACCES), and so is a source written to during the copy (EBUSY).
int CopyFile(const std::string& from, const std::string& to, bool replace, const Progress& progress = {});
// Renames; across file systems (EXDEV) and with `allowCopy`, copies, then
// deletes the source; a source that changed during the copy (still being
// written, or replaced) is not deleted and the move fails (EBUSY). A file
// moved onto itself is refused (EEXIST).
int MoveFile(const std::string& from, const std::string& to, bool replace, bool allowCopy,
             const Progress& progress = {});
// Whether this user may delete the entry: its folder is writable, and a
// sticky folder (like /tmp) lets only the owners delete.
bool MayRemove(const std::string& path);
// Deletes a file (not a folder).
int RemoveFile(const std::string& path);

} // namespace vxfile
