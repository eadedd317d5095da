#pragma once

#include <QString>

#include <string>

// What the thumbnail window needs of the file operations and of the user.
// The program's implementation shows the message boxes and dialogs and
// runs the program's file operations; tests answer at once.
class CBrowserActions {
public:
    virtual ~CBrowserActions() = default;

    // A Yes/No question captioned `caption`; true for Yes.
    virtual bool Ask(const QString& text, const QString& caption, bool stopIcon, bool defaultNo) = 0;
    // A message captioned with the program's title.
    virtual void Tell(const QString& text) = 0;
    // The rename dialog filled with `name`; false when cancelled.
    virtual bool EditName(QString& name) = 0;
    // The destination dialog; an empty text when cancelled.
    virtual QString AskDestination(const QString& caption) = 0;

    // The single-file operations of the program (they ask and report
    // themselves).
    virtual std::string RenameFile(const std::string& path, bool retry) = 0;
    virtual bool DeleteFileAsk(const std::string& path) = 0;
    virtual int MoveFileTo(const std::string& path) = 0;
    virtual int CopyFileTo(const std::string& path) = 0;
    virtual bool MoveFileChecked(const std::string& source, const std::string& target) = 0;
    virtual bool CopyFileChecked(const std::string& source, const std::string& target) = 0;
    // Deletes without asking (called within a batch); false when the file
    // is still there.
    virtual bool DeleteFile(const std::string& path) = 0;
    // A run over several files: no per-file delete question, the
    // destination asked once.
    virtual void SetBatch(bool on) = 0;
    // Within a batch: Cancel was pressed in a copy's progress window; the
    // batch ends without a failure message.
    virtual bool BatchCancelled() const = 0;

    // The implementation the windows use (the program installs one).
    static CBrowserActions* Get();
    static void Set(CBrowserActions* actions);
};
