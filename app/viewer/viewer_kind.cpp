#include "viewer/viewer_kind.h"

#include <QKeySequence>

#include "shell/command_ids.h"
#include "shell/document_kinds.h"
#include "shell/menus.h"
#include "support/doc_template_manager.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/effect_menus.h"
#include "viewer/pixel_frame.h"

namespace {

constexpr unsigned kViewerResource = 129;

void RegisterViewerResources()
{
    using M = SMenuItem;
    using namespace viewcmd;
    std::vector<SMenuItem> popups = {
        M::Popup("&File",
                  {M::Item("&Open...\tCtrl+O", cmd::ID_FILE_OPEN), M::Item("&Quick Open (Shell)\tQ", ID_QUICK_OPEN),
                   M::Item("Open Folder (Recursed)", cmd::ID_OPEN_FOLDER_RECURSED),
                   M::Item("Show &Thumbnails\tT", ID_SHOW_THUMBNAILS), M::Item("&Close", cmd::ID_FILE_CLOSE),
                   M::Item("&Save\tCtrl+S", cmd::ID_FILE_SAVE), M::Item("Save &As...", cmd::ID_FILE_SAVE_AS),
                   M::Separator(), M::Item("&Rename File\tF2", ID_RENAME_FILE), M::Item("&Move File\tF7", ID_MOVE_FILE),
                   M::Item("&Copy File\tF8", ID_COPY_FILE), M::Item("&Delete File\tDel", ID_DELETE_FILE),
                   M::Item("&Undo File Operation\tCtrl+Alt+Z", cmd::ID_UNDO_FILE_OPERATION),
                   M::Separator(), M::Item("Set as &wallpaper", ID_SET_WALLPAPER), M::Separator(),
                   M::Item("&Select Source", cmd::ID_SELECT_SOURCE), M::Item("&Acquire\tCtrl+Q", cmd::ID_ACQUIRE),
                   M::Separator(), M::Item("&Print...\tCtrl+P", ID_FILE_PRINT),
                   M::Item("Print Pre&view", ID_FILE_PRINT_PREVIEW), M::Item("P&rint Setup...", cmd::ID_FILE_PRINT_SETUP),
                   M::Separator(), M::Item("Send &email", ID_FILE_SEND_MAIL), M::Separator(),
                   M::Item("Recent File", cmd::ID_FILE_MRU_FILE1),
                   M::Item("(Clear Recent &File List)", cmd::ID_CLEAR_RECENT_FILES), M::Separator(),
                   M::Item("E&xit", cmd::ID_APP_EXIT)}),
         M::Popup("&Settings", {M::Item("&General Settings", cmd::ID_SETTINGS),
                                M::Item("&Register File Types", cmd::ID_REGISTER_FILE_TYPES)}),
         M::Popup("&Edit", {M::Item("&Undo x0\tCtrl+Z", ID_EDIT_UNDO), M::Item("&Redo x0\tCtrl+Y", ID_EDIT_REDO),
                            M::Separator(), M::Item("Cu&t\tCtrl+X", ID_EDIT_CUT), M::Item("&Copy\tCtrl+C", ID_EDIT_COPY),
                            M::Item("&Paste\tCtrl+V", ID_EDIT_PASTE), M::Separator(),
                            M::Item("Select &All\tCtrl+A", cmd::ID_SELECT_ALL_FILES)}),
         M::Popup("&Selection",
                  {M::Item("Make selection square using &longer axes", ID_SQUARE_LONGER),
                   M::Item("Make selection square using &shorter axes", ID_SQUARE_SHORTER), M::Separator(),
                   M::Item("Always make selection square using longer axes", ID_ALWAYS_SQUARE_LONGER),
                   M::Item("Always make selection square using shorter axes", ID_ALWAYS_SQUARE_SHORTER),
                   M::Separator(), M::Item("&Move selection", ID_MOVE_SELECTION),
                   M::Item("Cr&op Selection", ID_CROP_SELECTION)}),
         M::Popup("&Control",
                  {M::Item("&First File\tF", ID_FIRST_FILE), M::Item("&Next File\tSpace", ID_NEXT_FILE),
                   M::Item("&Previous File\tBackspace", ID_PREVIOUS_FILE),
                   M::Item("Next File in Next Folder\tShift+Space", ID_NEXT_FOLDER),
                   M::Item("First File in Previous Folder\tShift+Backspace", ID_PREVIOUS_FOLDER),
                   M::Item("&Last File\tL", ID_LAST_FILE), M::Item("Refresh &Folder", ID_REFRESH_FOLDER),
                   M::Separator(), M::Item("&Slideshow\tS", ID_SLIDESHOW), M::Separator(),
                   M::Item("Zoom &In", ID_ZOOM_IN), M::Item("&Cancel Zoom", ID_CANCEL_ZOOM),
                   M::Item("&Auto Scale", ID_AUTO_SCALE), M::Item("&Resize to Contents", ID_RESIZE_TO_CONTENTS),
                   M::Item("&Cursor track lines", ID_TRACK_LINES), M::Separator(),
                   M::Item("&Maximize\tM", ID_MAXIMIZE), M::Item("&Restore", ID_RESTORE),
                   M::Item("Min&imize\tN", ID_MINIMIZE)}),
         M::Popup("&Tools", {M::Item("Image &Information", ID_IMAGE_INFO)}),
         M::Popup("&Advanced Tools", {M::Item("&Find Duplicate Images", ID_FIND_DUPLICATES)}),
         M::Popup("&View", {M::Item("&Toolbar", cmd::ID_VIEW_TOOLBAR), M::Item("&Status Bar", cmd::ID_VIEW_STATUS_BAR),
                            M::Separator(), M::Item("&Full Screen\tF11", cmd::ID_FULL_SCREEN)}),
         M::Popup("&Window", {M::Item("&Cascade", cmd::ID_WINDOW_CASCADE), M::Item("&Tile", cmd::ID_WINDOW_TILE_HORZ)}),
         M::Popup("&Help", {M::Item("&About ambrel...", cmd::ID_APP_ABOUT)})};
    AddEffectMenus(popups);
    CAmbrelMenus::RegisterMenu(kViewerResource, std::move(popups));

    using K = QKeySequence;
    CAmbrelMenus::RegisterAccelerators(
        kViewerResource,
        {{K(Qt::Key_F), ID_FIRST_FILE},
         {K(Qt::Key_L), ID_LAST_FILE},
         {K(Qt::Key_Space), ID_NEXT_FILE},
         {K(Qt::Key_Backspace), ID_PREVIOUS_FILE},
         {K(Qt::Key_R), 257},
         {K(Qt::Key_AsciiTilde), cmd::ID_REPEAT_LAST_EFFECT},
         {K(Qt::Key_Return), cmd::ID_FULL_SCREEN},
         {K(Qt::Key_Enter), cmd::ID_FULL_SCREEN},
         {K(Qt::Key_M), ID_MAXIMIZE},
         {K(Qt::Key_N), ID_MINIMIZE},
         {K(Qt::Key_T), ID_SHOW_THUMBNAILS},
         {K(Qt::Key_S), ID_SLIDESHOW},
         {K(Qt::Key_Q), ID_QUICK_OPEN},
         {K(Qt::CTRL | Qt::Key_C), ID_EDIT_COPY},
         {K(Qt::CTRL | Qt::Key_Insert), ID_EDIT_COPY},
         {K(Qt::CTRL | Qt::Key_X), ID_EDIT_CUT},
         {K(Qt::SHIFT | Qt::Key_Delete), ID_EDIT_CUT},
         {K(Qt::CTRL | Qt::Key_V), ID_EDIT_PASTE},
         {K(Qt::SHIFT | Qt::Key_Insert), ID_EDIT_PASTE},
         {K(Qt::CTRL | Qt::Key_Z), ID_EDIT_UNDO},
         {K(Qt::ALT | Qt::Key_Backspace), ID_EDIT_UNDO},
         {K(Qt::CTRL | Qt::Key_Y), ID_EDIT_REDO},
         {K(Qt::CTRL | Qt::Key_A), cmd::ID_SELECT_ALL_FILES},
         {K(Qt::Key_Delete), ID_DELETE_FILE}});
}

} // namespace

bool RegisterImageViewer(CSMultiDocTemplateManager& manager)
{
    RegisterViewerResources();
    return manager.AddDocumentTemplate(QStringLiteral("CPixelFrame"), kViewerResource, VX_DOCUMENT_CLASS(CAmbrelDoc),
                                       VX_FRAME_CLASS(CPixelFrame), VX_VIEW_CLASS(CAmbrelView), true, false, nullptr,
                                       QString::fromLatin1(kImageDocString));
}
