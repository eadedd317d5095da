#pragma once

class CSMultiDocTemplateManager;

// The document string that the image viewer and the thumbnail browser share:
// both open the same image files.
extern const char kImageDocString[];

// Registers every document kind of the program with the template manager,
// in the order that decides which template claims a file: image viewer,
// thumbnail browser, duplicate finder. Each kind also registers its menu
// and accelerator table (CAmbrelMenus) under its resource number. false
// when a registration fails.
bool AddDocumentKinds(CSMultiDocTemplateManager& manager);
