#pragma once

class CSMultiDocTemplateManager;

// Registers the thumbnail browser ("CThumbnailsFrame", resource 245) with
// its menu and keys; the second document kind of the program.
bool RegisterThumbnailBrowser(CSMultiDocTemplateManager& manager);
