#include "shell/document_kinds.h"

#include "browser/thumbnails/thumbnails_kind.h"
#include "duplicates/dif_kind.h"
#include "support/doc_template_manager.h"
#include "viewer/viewer_kind.h"

const char kImageDocString[] =
    "\nambrel\nambrel\nImage files (.jpg, .jpeg, .bmp, .gif, .png)\n.jpg;.jpeg;.bmp;.gif;.png\nambrel.jpg\nambrel.jpg";

bool AddDocumentKinds(CSMultiDocTemplateManager& manager)
{
    // Kinds register here as they are built, in this order: the image
    // viewer ("CPixelFrame"), the thumbnail browser ("CThumbnailsFrame"),
    // the duplicate finder ("CDIFFrame"). Until a kind is here, the
    // commands that open it are disabled.
    return RegisterImageViewer(manager) && RegisterThumbnailBrowser(manager) && RegisterDuplicateFinder(manager);
}
