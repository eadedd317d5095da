#pragma once

#include <cstdint>
#include <string>

#include "image/pixel_interface.h"

class QEvent;
class QObject;
struct TW_IDENTITY;
struct TW_IMAGEINFO;
struct TW_EVENT;

// Scanner acquisition through a TWAIN source manager loaded at run time.
// The session is process-wide and lives on the user-interface thread: the
// main window offers its events to ProcessMessage, and every acquired image
// is sent to it as message 0x804D with a CVelvix* that is valid only during
// the call; a picture that could not be held for want of memory arrives
// empty, for the window to tell of it. The instance operation trims the dark frame a flatbed scan
// leaves around the picture.
class VELVIX_EXPORT CVelvix_Twain : public virtual CVelvix_PixelInterface {
public:
    static constexpr int kImageMessage = 0x804D;

    // Removes dark rows and columns at the edges (channel averages all below
    // tolerance). False when nothing is left or the image is empty.
    bool AutoCropForScannedImage(int tolerance);

    static bool OpenTwain(QObject* hWnd);
    static bool CloseTwain();
    static bool SelectSource();
    static bool SelectDefaultSource();
    static bool OpenSource();
    static bool CloseSource();
    // The count is not used: the source's dialog decides how many pages.
    static bool Acquire(int count);
    static void ProcessMessage(QEvent* msg);
    static bool IsTwainOpen() { return m_bIsSourceManagerLoaded; }
    static bool IsSourceSelected() { return m_bIsSourceSelected; }
    static bool IsSourceOpen() { return m_bIsSourceOpen; }
    static bool IsSourceEnabled() { return m_bIsSourceEnabled; }
    // The return code of the last call into the source manager.
    static std::uint16_t GetReturnCode() { return m_returnCode; }

    // VELVIX_TWAIN_DSM names another source manager library; otherwise ours
    // is taken from beside this library, then from the library path.
    static std::string SourceManagerPath();

    // The picture of a native transfer: a packed bitmap (40-byte header,
    // colour table, rows bottom-up padded to 4 bytes) of 1, 4, 8 or 24 bits
    // without compression. False, and the image untouched, for any other;
    // std::bad_alloc when there is no memory for a picture it would read.
    static bool ReadPackedBitmap(const void* block, CVelvix_PixelInterface& image);

private:
    static bool DSM_Entry(TW_IDENTITY* pDest, std::uint32_t group, std::uint16_t argument, std::uint16_t message,
                          void* pData);
    static bool EnableSource(bool showUI);
    static bool DisableSource();
    static bool GetImageInfo(TW_IMAGEINFO& info);
    static bool GetImage(TW_IMAGEINFO& info);
    static void TransferImage();
    static void TranslateMessage(TW_EVENT& event);
    static bool EndTransfer();
    static bool CancelTransfer();
    static void CopyImage(void* handle, int bitsPerPixel);

    static TW_IDENTITY m_AppID;
    static TW_IDENTITY m_Source;
    static bool m_bIsSourceManagerLoaded;
    static bool m_bIsSourceSelected;
    static bool m_bIsSourceOpen;
    static bool m_bIsSourceEnabled;
    static QObject* m_hWnd;
    static std::uint16_t m_returnCode;
    static void* m_hTwainDLL;
    static void* m_pDSM_Entry;
};
