#pragma once

#include <QString>

#include "view_part.h"

// The commands on the shown file and on other windows: Quick Open, the
// wallpaper, sending by e-mail, the image information, the thumbnails and
// the duplicate finder, and the file operations on the shown file (rename,
// move, copy, delete): after a move or a delete the next file is shown.
class CViewFileCommands : public CViewPart {
public:
    explicit CViewFileCommands(CAmbrelView& view);

private:
    void _SetWallpaper();
    void _QuickOpen();
    void _ShowThumbnails();
    void _ShowImageInfo();
    void _SendMail();
    void _RenameFile();
    void _CopyFile();
    void _MoveFile();
    void _DeleteFile();
    // The shown file left its place: drops it from the list and shows the
    // file that followed it (the one before, at the end of the list).
    void _ShowNextAfterRemoval(const QString& removed);
};
