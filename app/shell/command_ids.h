#pragma once

// Command numbers of the program's menus, tool bars and keys. The framework
// commands keep their usual numbers (57600 and up).
namespace cmd {
enum : int {
    ID_ESCAPE = 103,
    ID_QUICK_OPEN = 110,
    ID_SHOW_HISTOGRAM = 156,
    ID_VIEW_PORT_BAR = 157,
    ID_REGISTER_FILE_TYPES = 159,
    ID_FULL_SCREEN = 222,
    ID_SETTINGS = 239,
    ID_OPEN_THUMBNAILS = 240,
    ID_SELECT_ALL_FILES = 243,
    ID_REPEAT_LAST_EFFECT = 263,
    ID_SELECT_SOURCE = 265,
    ID_ACQUIRE = 266,
    ID_CLEAR_RECENT_FILES = 270,
    ID_OPEN_FOLDER_RECURSED = 285,
    ID_FIND_DUPLICATES = 286,
    ID_REFRESH = 32813,
    ID_UNDO_FILE_OPERATION = 32850,

    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_CLOSE = 57602,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_MRU_FILE1 = 57616,
    ID_FILE_MRU_LAST = 57631,
    ID_EDIT_CLEAR = 57632,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_SELECT_ALL = 57642,
    ID_EDIT_UNDO = 57643,
    ID_EDIT_REDO = 57644,
    ID_WINDOW_ARRANGE = 57649,
    ID_WINDOW_CASCADE = 57650,
    ID_WINDOW_TILE_HORZ = 57651,
    ID_WINDOW_TILE_VERT = 57652,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    // Entries of the Window menu that activate an open window.
    ID_WINDOW_CHILD_FIRST = 65000,
    ID_WINDOW_CHILD_LAST = 65099,
};
}

// Resource numbers of menus, accelerator tables and bitmaps.
namespace res {
enum : unsigned {
    IDR_MAINFRAME = 128,   // the main frame's menu, tool bar and keys
    IDR_AMBRELTYPE = 129,  // the image viewer's menu and keys
    IDR_DIFTYPE = 294,     // the duplicate finder's menu and keys
    IDB_LOGO = 200,        // the picture in the empty MDI area
    IDB_SPLASH = 234,      // the splash picture
};
}
