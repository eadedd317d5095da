#include "browser/thumbnails/thumbnails_kind.h"

#include <QKeySequence>

#include "browser/thumbnails/browser_actions.h"
#include "browser/thumbnails/program_actions.h"
#include "browser/thumbnails/thumbnails_doc.h"
#include "browser/thumbnails/thumbnails_frame.h"
#include "browser/thumbnails/thumbnails_tree_view.h"
#include "browser/thumbnails/thumbnails_view.h"
#include "shell/command_ids.h"
#include "shell/document_kinds.h"
#include "shell/menus.h"
#include "support/doc_template_manager.h"

namespace {

constexpr unsigned kThumbnailsResource = 245;

void RegisterThumbnailResources()
{
    using M = SMenuItem;
    using V = CThumbnailsView;
    using T = CThumbnailsTreeView;
    using F = CThumbnailsFrame;
    CAmbrelMenus::RegisterMenu(
        kThumbnailsResource,
        {M::Popup("&File", {M::Item("&Open...\tCtrl+O", cmd::ID_FILE_OPEN),
                            M::Item("Open &Thumbnails\tCtrl+T", cmd::ID_OPEN_THUMBNAILS), M::Separator(),
                            M::Item("&Rename File\tF6", V::ID_RENAME), M::Item("&Move File\tF7", V::ID_MOVE),
                            M::Item("&Copy File\tF8", V::ID_COPY), M::Item("&Delete File\tDEL", V::ID_DELETE),
                            M::Separator(), M::Item("Select &All\tCtrl+A", V::ID_SELECT_ALL),
                            M::Item("Re&fresh\tF5", V::ID_REFRESH), M::Separator(),
                            M::Item("&Close", cmd::ID_FILE_CLOSE), M::Item("E&xit", cmd::ID_APP_EXIT)}),
         M::Popup("Thumbnail &Groups",
                  {M::Item("&1 Convert group into folder", T::ID_CONVERT),
                   M::Item("&2 Convert group into folder and rename", T::ID_CONVERT_RENAME), M::Separator(),
                   M::Item("&Move Group/File\tF7", T::ID_MOVE), M::Item("&Copy Group/File\tF8", T::ID_COPY),
                   M::Item("Move G&roup into subfolder\tSHIFT+F7", T::ID_MOVE_SUB),
                   M::Item("Copy Gr&oup into subfolder\tSHIFT+F8", T::ID_COPY_SUB),
                   M::Item("Move Gro&up into subfolder && rename\tSHIFT+CTRL+F7", T::ID_MOVE_SUB_RENAME),
                   M::Item("Copy Grou&p into subfolder && rename\tSHIFT+CTRL+F8", T::ID_COPY_SUB_RENAME),
                   M::Separator(), M::Item("&Delete Group/File\tDEL", T::ID_DELETE), M::Separator(),
                   M::Item("Re&fresh\tF5", T::ID_REFRESH), M::Separator(), M::Item("All", T::ID_SHOW_ALL),
                   M::Item("Grouped", T::ID_SHOW_GROUPED)}),
         M::Popup("&View", {M::Item("&Toolbar", cmd::ID_VIEW_TOOLBAR), M::Item("&Status Bar", cmd::ID_VIEW_STATUS_BAR),
                            M::Separator(), M::Item("Lar&ge Icons", F::ID_VIEW_LARGEICON),
                            M::Item("S&mall Icons", F::ID_VIEW_SMALLICON), M::Item("&List", F::ID_VIEW_LIST),
                            M::Item("&Details", F::ID_VIEW_DETAILS), M::Item("Line &Up Icons", F::ID_VIEW_LINEUP),
                            M::Separator(), M::Item("Increase Size of Thumbnails", V::ID_INCREASE_SIZE),
                            M::Item("Decrease Size of Thumbnails", V::ID_DECREASE_SIZE),
                            M::Item("Set thumbnail settings.", V::ID_THUMBNAIL_SETTINGS)}),
         M::Popup("&Settings", {M::Item("&General Settings", cmd::ID_SETTINGS)}),
         M::Popup("&Window", {M::Item("&Cascade", cmd::ID_WINDOW_CASCADE), M::Item("&Tile", cmd::ID_WINDOW_TILE_HORZ)}),
         M::Popup("&Help", {M::Item("&About ambrel...", cmd::ID_APP_ABOUT)})});

    // The keys the menu texts name.
    using K = QKeySequence;
    CAmbrelMenus::RegisterAccelerators(kThumbnailsResource,
                                       {{K(Qt::Key_F5), V::ID_REFRESH},
                                        {K(Qt::Key_F6), V::ID_RENAME},
                                        {K(Qt::Key_F7), V::ID_MOVE},
                                        {K(Qt::Key_F8), V::ID_COPY},
                                        {K(Qt::Key_Delete), V::ID_DELETE},
                                        {K(Qt::SHIFT | Qt::Key_F7), T::ID_MOVE_SUB},
                                        {K(Qt::SHIFT | Qt::Key_F8), T::ID_COPY_SUB},
                                        {K(Qt::SHIFT | Qt::CTRL | Qt::Key_F7), T::ID_MOVE_SUB_RENAME},
                                        {K(Qt::SHIFT | Qt::CTRL | Qt::Key_F8), T::ID_COPY_SUB_RENAME},
                                        {K(Qt::CTRL | Qt::Key_A), V::ID_SELECT_ALL}});
}

} // namespace

bool RegisterThumbnailBrowser(CSMultiDocTemplateManager& manager)
{
    RegisterThumbnailResources();
    if (!CBrowserActions::Get())
        CBrowserActions::Set(ProgramBrowserActions());
    return manager.AddDocumentTemplate(QStringLiteral("CThumbnailsFrame"), kThumbnailsResource,
                                       VX_DOCUMENT_CLASS(CThumbnailsDoc), VX_FRAME_CLASS(CThumbnailsFrame),
                                       VX_VIEW_CLASS(CThumbnailsView), true, false, nullptr,
                                       QString::fromLatin1(kImageDocString));
}
