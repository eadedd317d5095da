#pragma once

#include <QString>

#include <cstdint>

#include "velvix_export.h"

class QWidget;

// Small file-system, number-formatting and desktop services. Paths use '/';
// "a trailing separator" means a trailing '/'.
class VELVIX_EXPORT CVxHelper {
public:
    // An existing file (file true) or folder (false). Names are literal:
    // '*', '?' and '[' are not wildcards.
    static bool IsFileExists(const QString& path, bool file);
    // Low 32 bits of the size of the entry the path names; 0 when none.
    static std::uint32_t GetFileSize(const QString& path);
    // "1234567" -> "1,234,567"; three characters or fewer unchanged.
    static QString FormatNumber(const QString& text);
    static QString FormatNumber(long number);
    // The folder dialog; the empty text when cancelled, failed or refused
    // (a folder named ambiguously, below).
    static QString BrowseForFolder(QWidget* owner, const QString& title, unsigned flags, bool addTrailingSeparator);
    // The folder of the running executable, without a trailing separator.
    static QString GetAppFullPath();
    // The executable's file name without folder and extension.
    static QString GetAppName();
    static bool GetUUID(QString& uuid);
    // Makes the program the desktop's handler of the extension: a .desktop
    // file "<content>.desktop" under the user's XDG data folder and, with
    // registerOpen, the default application in the user's mimeapps.list.
    static bool RegisterType(const QString& typeName, const QString& extension, const QString& content, int iconIndex,
                             bool registerOpen);
    // The value of a desktop entry's Exec key that runs `program` on one
    // file: the program quoted and escaped as the desktop-entry rules ask
    // (so that '$', '%', quotes, backslashes and spaces in its path survive),
    // then " %f".
    static QString DesktopExecValue(const QString& program);

    // True when a folder on the path holds an entry whose name is not UTF-8
    // but reads as text like that part of the path ("caf\xe9" reads as
    // "caf\uFFFD", the name of another entry): the text cannot tell which of
    // them it stands for, so the dialogs refuse it.
    static bool IsAmbiguousName(const QString& path);
    static QString AmbiguousNameMessage(const QString& path);

    // The message of BrowseForFolder when the folder has no path.
    static const char* const kFailedToGetDirectory;
};
