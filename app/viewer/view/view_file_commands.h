#pragma once

#include "view_part.h"

// The commands on the shown file and on other windows: Quick Open, the
// wallpaper, sending by e-mail, the image information, the thumbnails and
// the duplicate finder. The file operations on the shown file (rename,
// move, copy, delete) belong here too.
class CViewFileCommands : public CViewPart {
public:
    explicit CViewFileCommands(CAmbrelView& view);

private:
    void _SetWallpaper();
    void _QuickOpen();
    void _ShowThumbnails();
    void _ShowImageInfo();
    void _SendMail();
};
