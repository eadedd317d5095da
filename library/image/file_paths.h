#pragma once

// Names of files as the library writes them.
#include <string>

// The folder part of a path: "." for a bare name, "/" for a file in the root.
std::string VxFolderOf(const std::string& path);

// Writing through a symbolic link changes the file at the end of its chain
// of links; the links stay. That file may not exist yet (a link made for a
// file still to come). Empty, with errno set, when the chain cannot be
// followed (a loop, an unreadable link).
std::string VxLinkChainEnd(std::string path);

// A file with other names (hard links) is rewritten where it is, so that
// every name keeps showing the new content, from the complete and synced
// file `from`. A full disk is found before the old content is touched: on
// false the file is as it was, unless it failed while being overwritten
// (an I/O error, or a file system that writes every block anew).
bool VxCopyInPlace(int from, const std::string& target);
