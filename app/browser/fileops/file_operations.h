#pragma once

// The single-file operations of every browsing window: rename, delete,
// copy and move with the destination dialog, and the overwrite question with
// automatic renaming. They run on the user-interface thread, show their own
// messages (through FileOpAsker()) and report success. A batch over several
// files keeps one CBatchFileOperation (batch_state.h) for its whole run.
#include <QString>

#include <functional>

#include "batch_state.h"

// A path cut into folder (with its trailing '/', empty when there is none),
// name and extension (with its dot; a leading dot belongs to the name).
struct SSplitPath {
    QString folder;
    QString name;
    QString extension;
};
SSplitPath SplitPath(const QString& path);

// The rename dialog for the file's name; renames within its folder, never
// over another file. The new path, or the empty text when nothing was
// renamed. With `retry` a failed rename opens the dialog again.
QString RenameFile(const QString& path, bool retry);

// Asks (unless in a batch), then deletes the file: into the trash when the
// setting says so and the file system has one.
bool DeleteFileAsk(const QString& path);

// The target exists: asks what to do. True to go on, with `target` possibly
// changed to a new name inside `folder`; false to skip the file.
bool ConfirmOverwrite(const QString& source, QString& target, const QString& folder);

bool MoveFileChecked(const QString& source, const QString& target);
bool CopyFileChecked(const QString& source, const QString& target);

// With the destination dialog (once per batch; a relative folder is taken
// in the first file's folder). CopyFileTo: 1 copied or
// skipped, 0 failed, -1 cancelled. MoveFileTo: 1 moved, 0 failed or
// skipped, -1 cancelled. `done`, when given, receives the new path.
int CopyFileTo(const QString& path, QString* done = nullptr);
int MoveFileTo(const QString& path, QString* done = nullptr);

// A copy (or a move to another file system) that takes longer than this
// shows a progress window whose Cancel leaves source and target as they were
// and ends the batch: the operations above then give -1 (the ...Checked
// ones false), without a message.
extern int g_nCopyProgressDelayMs;

// Moves, replacing an existing target and copying across file systems;
// tries again a few times while the error may pass.
enum : unsigned {
    kMoveReplaceExisting = 1,
    kMoveCopyAllowed = 2,
    kMoveWriteThrough = 8,
};
bool MoveFileRetry(const QString& source, const QString& target, unsigned flags);

// A free name `folder`/`base`XYZ`n``extension`, with three random capitals
// and n = 1 ... 1000; the empty text when all are taken. `random` gives
// values 0 ... 32767 (the program's generator when not given).
QString MakeAutoRenameName(const QString& folder, const QString& base, const QString& extension,
                           const std::function<int()>& random = {});

// Puts the last rename, move or move to the trash (a whole batch) back;
// tells why when it cannot. True when put back.
bool UndoLastFileOperation();

// Texts shown by the operations.
namespace fileops_text {
extern const char* const kRenameFailedRetry;
extern const char* const kRenameFailed;
extern const char* const kConfirmDelete;
extern const char* const kConfirmDeleteCaption;
extern const char* const kDeleteFailed;
extern const char* const kNoTrash;
extern const char* const kNoTrashForLink;
extern const char* const kNoTempName;
extern const char* const kNewName;
extern const char* const kAutoRenameCaption;
extern const char* const kNameExists;
extern const char* const kNameExistsCaption;
extern const char* const kMoveFailed;
extern const char* const kCopyFailed;
extern const char* const kCopyCaption;
extern const char* const kMoveCaption;
} // namespace fileops_text
