#pragma once

#include <QPointer>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sane_device.h"
#include "twain/twain_protocol.h"

class QObject;
class CScanSourceDialog;

// The source manager and its sources: every SANE device is a source. One
// application and one open source at a time, driven through Entry() on the
// user-interface thread. States as the protocol numbers them: 2 loaded,
// 3 manager open, 4 source open, 5 enabled, 6 transfer ready, 7 transferring.
class CTwainSourceManager {
public:
    static CTwainSourceManager& Instance();

    TW_UINT16 Entry(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 group, TW_UINT16 argument,
                    TW_UINT16 message, TW_MEMREF data);

    // From the source's dialog.
    void PagesScanned(std::vector<SScannedPage> pages);
    void CloseRequested();

    int State() const { return m_nState; }

private:
    TW_UINT16 _Fail(TW_UINT16 condition);
    TW_UINT16 _Parent(TW_UINT16 message, TW_MEMREF data);
    TW_UINT16 _Identity(TW_UINT16 message, TW_IDENTITY* identity);
    TW_UINT16 _UserInterface(TW_UINT16 message, TW_USERINTERFACE* ui);
    TW_UINT16 _Event(TW_EVENT* event);
    TW_UINT16 _PendingTransfers(TW_UINT16 message, TW_PENDINGXFERS* pending);
    TW_UINT16 _ImageInfo(TW_IMAGEINFO* info);
    TW_UINT16 _NativeTransfer(TW_HANDLE* handle);
    TW_UINT16 _Select(TW_IDENTITY* identity);
    TW_UINT16 _OpenSource(TW_IDENTITY* identity);
    void _CloseSource();
    void _Disable();
    void _Abandon();
    void _Post(TW_UINT16 message);
    bool _Describe(std::size_t index, TW_IDENTITY* identity);
    std::size_t _DefaultIndex() const;
    const std::vector<SSaneDeviceName>& _Devices(bool refresh);

    int m_nState = 2;
    TW_UINT16 m_nCondition = TWCC_SUCCESS;
    TW_UINT32 m_nAppId = 0;
    TW_UINT32 m_nNextId = 1;
    QPointer<QObject> m_pParent;     // the window of MSG_OPENDSM
    QPointer<QObject> m_pReceiver;   // the window of MSG_ENABLEDS
    std::vector<SSaneDeviceName> m_Devices;
    bool m_bListed = false;
    std::size_t m_nNext = 0;         // MSG_GETNEXT position
    std::string m_strDefault;        // the user's last choice
    TW_IDENTITY m_Source{};
    std::unique_ptr<CSaneDevice> m_pDevice = std::make_unique<CSaneDevice>();
    // A scan that did not stop was left to its worker, with its device and
    // dialog: SANE is not called again in this process.
    bool m_bAbandoned = false;
    bool m_bSaneUp = false;
    QPointer<CScanSourceDialog> m_pDialog;
    std::deque<SScannedPage> m_Pages;
    unsigned m_nGeneration = 0;      // events of an earlier enabling are stale
};
