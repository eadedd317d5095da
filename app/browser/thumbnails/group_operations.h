#pragma once

#include <string>

#include "support/group_struct.h"

class CBrowserActions;

// The commands on a whole group of the "Groups" tree.
enum class EGroupCommand {
    Convert,       // 246
    ConvertRename, // 248
    Move,          // 227
    Copy,          // 228
    MoveSub,       // 32823
    CopySub,       // 32824
    MoveSubRename, // 249
    CopySubRename, // 250
    Delete,        // 235
};

// What the tree does after a group command.
enum class EGroupOutcome {
    Nothing,     // stopped, or a copy that went through
    RemoveGroup, // every file left the folder
    Regroup,     // some file failed: rebuild from the folder
};

// Runs one command on `group`, whose folder is `currentFolder` (the
// window's). Questions and file operations go through `actions`.
EGroupOutcome RunGroupCommand(EGroupCommand command, const CGroupStruct& group, const std::string& currentFolder,
                              CBrowserActions& actions);

// The command id of the tree for each command, and back (-1 / false when
// the id is not a group command).
int GroupCommandId(EGroupCommand command);
bool GroupCommandFromId(int id, EGroupCommand& command);
