#pragma once

class CSMultiDocTemplateManager;

// Registers every document kind of the program with the template manager,
// in the order that decides which template claims a file: image viewer,
// thumbnail browser, duplicate finder. Each kind also registers its menu
// and accelerator table (CAmbrelMenus) under its resource number. false
// when a registration fails.
bool AddDocumentKinds(CSMultiDocTemplateManager& manager);
