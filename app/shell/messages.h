#pragma once

// The program's private window messages, delivered as CVxMessageEvent with
// the message number as the event type.
namespace msg {
enum : int {
    WM_IMAGE_CHANGED = 0x8002,    // view -> main frame and its descendants
    WM_VISIBLE_PART = 0x8004,     // view -> main frame (view-port bar)
    WM_SLIDER_RELEASED = 0x8006,  // status bar -> its frame's descendants
    WM_FOLDER_CHANGED = 0x8007,   // folder watcher -> image view
    WM_GROUPING_DONE = 0x8008,    // grouping worker -> thumbnails view
    WM_THUMBNAIL_LOADED = 0x8009, // thumbnail loader -> thumbnails view
    WM_IMAGE_FRAME_DESTROYED = 0x800B, // image frame -> main frame
    WM_MENU_OPENING = 0x800C,     // main frame -> active view; wParam is the QMenu*
    WM_IMAGE_ACQUIRED = 0x804D,   // scanner -> main frame; wParam is a CVelvix* valid during the call
    WM_DOWNLOAD_DONE = 0x0401,    // download worker -> its owner
};
}
