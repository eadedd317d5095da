#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

#include "image/velvix.h"
#include "support/message_event.h"
#include "twain/twain.h"
#include "twain/twain_protocol.h"

TW_IDENTITY CVelvix_Twain::m_AppID{};
TW_IDENTITY CVelvix_Twain::m_Source{};
bool CVelvix_Twain::m_bIsSourceManagerLoaded = false;
bool CVelvix_Twain::m_bIsSourceSelected = false;
bool CVelvix_Twain::m_bIsSourceOpen = false;
bool CVelvix_Twain::m_bIsSourceEnabled = false;
QObject* CVelvix_Twain::m_hWnd = nullptr;
std::uint16_t CVelvix_Twain::m_returnCode = 0;
void* CVelvix_Twain::m_hTwainDLL = nullptr;
void* CVelvix_Twain::m_pDSM_Entry = nullptr;

namespace {

const char kSourceManagerName[] = "libvelvix_twain_dsm.so";

void CopyText(char (&target)[34], const char* text)
{
    std::memset(target, 0, sizeof target);
    std::strncpy(target, text, sizeof target - 1);
}

// Messages handled while a transfer runs (a nested event loop in the
// receiver of an image) are not offered to the source again.
bool g_bInProcessMessage = false;

} // namespace

std::string CVelvix_Twain::SourceManagerPath()
{
    if (const char* path = std::getenv("VELVIX_TWAIN_DSM"); path && *path)
        return path;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&CVelvix_Twain::OpenTwain), &info) && info.dli_fname) {
        std::error_code error;
        const auto beside = std::filesystem::path(info.dli_fname).parent_path() / kSourceManagerName;
        if (std::filesystem::exists(beside, error))
            return beside.string();
    }
    return kSourceManagerName;
}

bool CVelvix_Twain::DSM_Entry(TW_IDENTITY* pDest, std::uint32_t group, std::uint16_t argument, std::uint16_t message,
                              void* pData)
{
    m_returnCode = reinterpret_cast<DSMENTRYPROC>(m_pDSM_Entry)(&m_AppID, pDest, group, argument, message, pData);
    return m_returnCode == TWRC_SUCCESS;
}

bool CVelvix_Twain::OpenTwain(QObject* hWnd)
{
    if (m_bIsSourceManagerLoaded)
        return true;
    m_hWnd = hWnd;
    // Never unloaded: the manager's windows and event types outlive a close.
    m_hTwainDLL = dlopen(SourceManagerPath().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!m_hTwainDLL)
        return false;
    m_pDSM_Entry = dlsym(m_hTwainDLL, "DSM_Entry");
    if (!m_pDSM_Entry) {
        dlclose(m_hTwainDLL);
        m_hTwainDLL = nullptr;
        return false;
    }
    m_AppID = TW_IDENTITY{};
    m_AppID.Version = {1, 1, TWLG_ENGLISH_USA, TWCY_USA, {}};
    CopyText(m_AppID.Version.Info, "1.1");
    m_AppID.ProtocolMajor = TWON_PROTOCOLMAJOR;
    m_AppID.ProtocolMinor = TWON_PROTOCOLMINOR;
    m_AppID.SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyText(m_AppID.Manufacturer, "Ambrel");
    CopyText(m_AppID.ProductFamily, "Graphics");
    CopyText(m_AppID.ProductName, "Ambrel");
    m_bIsSourceManagerLoaded = true;
    if (DSM_Entry(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &m_hWnd))
        return true;
    m_bIsSourceManagerLoaded = false;
    dlclose(m_hTwainDLL);
    m_hTwainDLL = nullptr;
    m_pDSM_Entry = nullptr;
    return false;
}

bool CVelvix_Twain::CloseTwain()
{
    if (!m_bIsSourceManagerLoaded)
        return false;
    CloseSource();
    DSM_Entry(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &m_hWnd);
    dlclose(m_hTwainDLL);
    m_bIsSourceSelected = m_bIsSourceManagerLoaded = false;
    m_returnCode = 0;
    m_hTwainDLL = m_pDSM_Entry = nullptr;
    m_hWnd = nullptr;
    return true;
}

bool CVelvix_Twain::SelectSource()
{
    if (!m_bIsSourceManagerLoaded)
        return false;
    // Calls to an open source carry its identity: it is closed before that
    // identity is replaced, or it could never be closed again. A cancelled
    // choice leaves it open, its dialog in use.
    TW_IDENTITY chosen{};
    if (!DSM_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &chosen)) {
        if (!m_bIsSourceOpen) {
            m_bIsSourceSelected = false;
            m_Source = TW_IDENTITY{};
        }
        return false;
    }
    const std::uint16_t code = m_returnCode;
    CloseSource();
    m_returnCode = code;
    m_Source = chosen;
    m_bIsSourceSelected = true;
    return true;
}

bool CVelvix_Twain::SelectDefaultSource()
{
    if (!m_bIsSourceManagerLoaded)
        return false;
    m_bIsSourceSelected = DSM_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &m_Source);
    return m_bIsSourceSelected;
}

bool CVelvix_Twain::OpenSource()
{
    if (!m_bIsSourceManagerLoaded)
        return false;
    if (!m_bIsSourceSelected && !SelectDefaultSource())
        return false;
    if (m_bIsSourceOpen)
        return true;
    m_bIsSourceOpen = DSM_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &m_Source);
    return m_bIsSourceOpen;
}

bool CVelvix_Twain::EnableSource(bool showUI)
{
    if (!m_bIsSourceOpen || m_bIsSourceEnabled)
        return false;
    TW_USERINTERFACE ui{TW_BOOL(showUI), false, m_hWnd};
    m_bIsSourceEnabled = DSM_Entry(&m_Source, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    return m_bIsSourceEnabled;
}

bool CVelvix_Twain::DisableSource()
{
    if (!m_bIsSourceEnabled)
        return false;
    TW_USERINTERFACE ui{false, false, m_hWnd};
    if (!DSM_Entry(&m_Source, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui))
        return false;
    m_bIsSourceEnabled = false;
    return true;
}

bool CVelvix_Twain::CloseSource()
{
    if (!m_bIsSourceOpen)
        return false;
    // Pages not yet taken keep a source from being disabled: they are
    // discarded first, or the source and its manager could never close.
    if (!DisableSource() && m_bIsSourceEnabled && CancelTransfer())
        DisableSource();
    DSM_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &m_Source);
    m_bIsSourceOpen = false;
    return true;
}

bool CVelvix_Twain::Acquire(int)
{
    if (!m_bIsSourceOpen && !OpenSource())
        return false;
    // A second request while the source's dialog is up keeps that dialog.
    if (m_bIsSourceEnabled)
        return true;
    if (EnableSource(true))
        return true;
    CloseSource();
    return false;
}

void CVelvix_Twain::ProcessMessage(QEvent* msg)
{
    if (!m_bIsSourceOpen || g_bInProcessMessage)
        return;
    g_bInProcessMessage = true;
    TW_EVENT event{msg, MSG_NULL};
    DSM_Entry(&m_Source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    if (m_returnCode != TWRC_NOTDSEVENT)
        TranslateMessage(event);
    g_bInProcessMessage = false;
}

void CVelvix_Twain::TranslateMessage(TW_EVENT& event)
{
    if (event.TWMessage == MSG_XFERREADY)
        TransferImage();
    else if (event.TWMessage == MSG_CLOSEDSREQ)
        CloseSource();
}

bool CVelvix_Twain::GetImageInfo(TW_IMAGEINFO& info)
{
    return DSM_Entry(&m_Source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
}

void CVelvix_Twain::TransferImage()
{
    while (m_bIsSourceOpen) {
        TW_IMAGEINFO info{};
        if (!GetImageInfo(info) || !GetImage(info))
            break;
    }
}

bool CVelvix_Twain::GetImage(TW_IMAGEINFO& info)
{
    TW_HANDLE handle = nullptr;
    DSM_Entry(&m_Source, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
    switch (m_returnCode) {
    case TWRC_XFERDONE:
        CopyImage(handle, info.BitsPerPixel);
        std::free(handle);
        return EndTransfer();
    case TWRC_FAILURE:
        CancelTransfer();
        return false;
    default:
        std::free(handle);
        return EndTransfer();
    }
}

bool CVelvix_Twain::EndTransfer()
{
    TW_PENDINGXFERS pending{};
    if (!DSM_Entry(&m_Source, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending))
        return false;
    return pending.Count != 0;
}

bool CVelvix_Twain::CancelTransfer()
{
    TW_PENDINGXFERS pending{};
    return DSM_Entry(&m_Source, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}

void CVelvix_Twain::CopyImage(void* handle, int)
{
    CVelvix image;
    bool read = false;
    try {
        read = handle && ReadPackedBitmap(handle, image);
    } catch (const std::bad_alloc&) {
        read = true;  // sent empty: the window tells of the page it could not hold
    }
    if (read)
        VxSendMessage(m_hWnd, kImageMessage, reinterpret_cast<std::uintptr_t>(&image), 0);
}
