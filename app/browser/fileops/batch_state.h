#pragma once

#include <QString>

// While a run over several files is in progress: no per-file delete
// question, and the copy/move destination asked for the first file is kept
// for the rest. Callers set the flag and empty the folder before the first
// file and again after the last, best through CBatchFileOperation.
extern bool g_bBatchFileOperation;
extern QString g_strBatchDestinationFolder;

// One batch for the lifetime of the object. The file operations made during
// it are also undone together (see file_undo.h).
class CBatchFileOperation {
public:
    CBatchFileOperation();
    ~CBatchFileOperation();

    // Yes to deleting permanently where there is no trash, for this batch.
    static bool s_bPermanentDeleteAllowed;
    // Cancel was pressed in a copy's progress window: the rest is not done.
    static bool s_bCancelled;

    CBatchFileOperation(const CBatchFileOperation&) = delete;
    CBatchFileOperation& operator=(const CBatchFileOperation&) = delete;
};
