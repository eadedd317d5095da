#include "duplicates/dif_kind.h"

#include "duplicates/dif_document.h"
#include "duplicates/dif_form_view.h"
#include "shell/command_ids.h"
#include "shell/menus.h"
#include "support/doc_template_manager.h"

namespace {

constexpr unsigned kFinderResource = 294;

void RegisterFinderResources()
{
    using M = SMenuItem;
    CAmbrelMenus::RegisterMenu(
        kFinderResource,
        {M::Popup("&File", {M::Item("&Open...\tCtrl+O", cmd::ID_FILE_OPEN),
                            M::Item("Open &Thumbnails\tCtrl+T", cmd::ID_OPEN_THUMBNAILS),
                            M::Item("&Close", cmd::ID_FILE_CLOSE), M::Separator(),
                            M::Item("E&xit", cmd::ID_APP_EXIT)}),
         M::Popup("Se&ttings", {M::Item("&General Settings", cmd::ID_SETTINGS)}),
         M::Popup("Advanc&ed Tools", {M::Item("&Find Duplicate Images", cmd::ID_FIND_DUPLICATES)}),
         M::Popup("&View", {M::Item("&Toolbar", cmd::ID_VIEW_TOOLBAR), M::Item("&Status Bar", cmd::ID_VIEW_STATUS_BAR)}),
         M::Popup("&Window", {M::Item("&Cascade", cmd::ID_WINDOW_CASCADE), M::Item("&Tile", cmd::ID_WINDOW_TILE_HORZ)}),
         M::Popup("&Help", {M::Item("&About ambrel...", cmd::ID_APP_ABOUT)})});
    // The popups' keys differ from the form's buttons (Alt+A is "&Add", Alt+S
    // "Mark &smaller size"). The review keys (N, P, X, Space) belong to the results tree alone, so
    // that they still type into the form's fields.
    CAmbrelMenus::RegisterAccelerators(kFinderResource, {});
}

} // namespace

bool RegisterDuplicateFinder(CSMultiDocTemplateManager& manager)
{
    RegisterFinderResources();
    return manager.AddDocumentTemplate(QStringLiteral("CDIFFrame"), kFinderResource, VX_DOCUMENT_CLASS(CDIFDocument),
                                       VX_FRAME_CLASS(CDIFFrame), VX_VIEW_CLASS(CDIFFormView), true, false, nullptr,
                                       QStringLiteral("Ambrel"));
}
