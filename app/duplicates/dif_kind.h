#pragma once

class CSMultiDocTemplateManager;

// Registers the duplicate finder ("CDIFFrame", resource 294) with its menu;
// the third document kind of the program.
bool RegisterDuplicateFinder(CSMultiDocTemplateManager& manager);
