#pragma once

class CSMultiDocTemplateManager;

// Registers the image viewer ("CPixelFrame", resource 129) with its menu and
// keys; the first document kind of the program.
bool RegisterImageViewer(CSMultiDocTemplateManager& manager);
