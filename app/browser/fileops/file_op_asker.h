#pragma once

#include <QString>

#include <optional>

// Every question and message of the file operations goes through an asker:
// the program's asker opens the dialogs, a test answers at once.
class CFileOpAsker {
public:
    virtual ~CFileOpAsker() = default;

    // The rename dialog with `name` (without extension); nothing on Cancel.
    virtual std::optional<QString> AskName(const QString& name) = 0;
    // A Yes/No question with the stop icon and No as the default.
    virtual bool AskYesNo(const QString& text, const QString& caption) = 0;
    // The overwrite dialog: 1 overwrite, 2 cancel, 3 auto rename, 4 rename.
    virtual int AskOverwrite(const QString& source, const QString& target) = 0;
    // The destination dialog with its caption; nothing on Cancel.
    virtual std::optional<QString> AskDestination(const QString& caption) = 0;
    // A message with an OK button: information icon, else the warning icon.
    virtual void Tell(const QString& text, const QString& caption, bool information) = 0;
    // A failure within a run over several files: the warning with "OK" (go
    // on with the next file) and "Stop" (leave the rest as they are). True
    // to go on.
    virtual bool TellGoOn(const QString& text, const QString& caption)
    {
        Tell(text, caption, false);
        return true;
    }
};

// The asker the file operations use: the dialogs, unless a test set its own.
CFileOpAsker& FileOpAsker();
// nullptr gives the dialogs back. The caller keeps ownership.
void SetFileOpAsker(CFileOpAsker* asker);
