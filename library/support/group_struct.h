#pragma once

#include <string>

#include "support/sortable_string_array.h"

// One group of image files of a folder: its name (a lower-case word,
// "[Other]" or "All"), the file names without folder and extension, and the
// full paths parallel to them. A path is emptied when its file is deleted or
// moved away; readers skip empty paths.
struct CGroupStruct {
    std::string m_strName;
    CSortableStringArray m_Names;
    CSortableStringArray m_Paths;
};
