#include "source_manager.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "scan_dialog.h"
#include "source_chooser.h"

namespace {

// A notice of the source for the application, posted to its window and
// handed back through MSG_PROCESSEVENT.
class CSourceEvent : public QEvent {
public:
    CSourceEvent(TW_UINT16 message, unsigned generation)
        : QEvent(Type()), m_nMessage(message), m_nGeneration(generation)
    {
    }
    QEvent* clone() const override { return new CSourceEvent(*this); }
    static QEvent::Type Type()
    {
        static const auto type = QEvent::Type(QEvent::registerEventType());
        return type;
    }
    TW_UINT16 m_nMessage;
    unsigned m_nGeneration;
};

void CopyText(char (&target)[34], const std::string& text)
{
    std::memset(target, 0, sizeof target);
    std::memcpy(target, text.data(), std::min(text.size(), sizeof target - 1));
}

TW_FIX32 ToFix32(double value)
{
    const long fixed = std::lround(std::clamp(value, -32768.0, 32767.0) * 65536.0);
    return {TW_INT16(fixed >> 16), TW_UINT16(fixed & 0xFFFF)};
}

} // namespace

CTwainSourceManager& CTwainSourceManager::Instance()
{
    static CTwainSourceManager manager;
    return manager;
}

TW_UINT16 CTwainSourceManager::_Fail(TW_UINT16 condition)
{
    m_nCondition = condition;
    return TWRC_FAILURE;
}

TW_UINT16 CTwainSourceManager::Entry(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 group,
                                     TW_UINT16 argument, TW_UINT16 message, TW_MEMREF data)
{
    if (!origin)
        return _Fail(TWCC_BADVALUE);
    if (group == DG_CONTROL && argument == DAT_STATUS) {
        if (message != MSG_GET || !data)
            return _Fail(message != MSG_GET ? TWCC_BADPROTOCOL : TWCC_BADVALUE);
        *static_cast<TW_STATUS*>(data) = {m_nCondition, 0};
        m_nCondition = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    }
    m_nCondition = TWCC_SUCCESS;
    if (group == DG_CONTROL && argument == DAT_PARENT) {
        const TW_UINT16 result = _Parent(message, data);
        if (result == TWRC_SUCCESS)
            origin->Id = m_nAppId;
        return result;
    }
    if (m_nState < 3)
        return _Fail(TWCC_SEQERROR);
    if (origin->Id != m_nAppId)
        return _Fail(TWCC_BADPROTOCOL);
    if (group == DG_CONTROL && argument == DAT_IDENTITY)
        return _Identity(message, static_cast<TW_IDENTITY*>(data));

    const bool known = (group == DG_CONTROL && (argument == DAT_USERINTERFACE || argument == DAT_EVENT ||
                                                argument == DAT_PENDINGXFERS)) ||
                       (group == DG_IMAGE && (argument == DAT_IMAGEINFO || argument == DAT_IMAGENATIVEXFER));
    if (!known)
        return _Fail(TWCC_BADPROTOCOL);
    if (m_nState < 4)
        return _Fail(TWCC_SEQERROR);
    if (!destination || destination->Id != m_Source.Id)
        return _Fail(TWCC_BADDEST);
    if (!data)
        return _Fail(TWCC_BADVALUE);
    switch (argument) {
    case DAT_USERINTERFACE:
        return _UserInterface(message, static_cast<TW_USERINTERFACE*>(data));
    case DAT_EVENT:
        return message == MSG_PROCESSEVENT ? _Event(static_cast<TW_EVENT*>(data)) : _Fail(TWCC_BADPROTOCOL);
    case DAT_PENDINGXFERS:
        return _PendingTransfers(message, static_cast<TW_PENDINGXFERS*>(data));
    case DAT_IMAGEINFO:
        return message == MSG_GET ? _ImageInfo(static_cast<TW_IMAGEINFO*>(data)) : _Fail(TWCC_BADPROTOCOL);
    default:
        return message == MSG_GET ? _NativeTransfer(static_cast<TW_HANDLE*>(data)) : _Fail(TWCC_BADPROTOCOL);
    }
}

TW_UINT16 CTwainSourceManager::_Parent(TW_UINT16 message, TW_MEMREF data)
{
    if (message == MSG_OPENDSM) {
        if (m_nState != 2)
            return _Fail(TWCC_SEQERROR);
        if (!data)
            return _Fail(TWCC_BADVALUE);
        if (!m_bSaneUp && sane_init(nullptr, nullptr) != SANE_STATUS_GOOD)
            return _Fail(TWCC_BUMMER);
        m_bSaneUp = true;
        m_pParent = *static_cast<QObject**>(data);
        m_nAppId = 1;
        m_bListed = false;
        m_nState = 3;
        return TWRC_SUCCESS;
    }
    if (message == MSG_CLOSEDSM) {
        if (m_nState != 3)
            return _Fail(TWCC_SEQERROR);
        m_Devices.clear();
        m_bListed = false;
        if (!m_bAbandoned) {
            sane_exit();
            m_bSaneUp = false;
        }
        m_nAppId = 0;
        m_pParent = nullptr;
        m_nState = 2;
        return TWRC_SUCCESS;
    }
    return _Fail(TWCC_BADPROTOCOL);
}

const std::vector<SSaneDeviceName>& CTwainSourceManager::_Devices(bool refresh)
{
    // SANE is not asked for devices while a scan runs on the worker.
    if ((m_pDialog && m_pDialog->IsScanning()) || m_bAbandoned)
        refresh = false;
    if (refresh || !m_bListed) {
        m_Devices = CSaneDevice::List();
        m_bListed = true;
    }
    return m_Devices;
}

bool CTwainSourceManager::_Describe(std::size_t index, TW_IDENTITY* identity)
{
    if (index >= m_Devices.size())
        return false;
    const SSaneDeviceName& device = m_Devices[index];
    std::memset(identity, 0, sizeof *identity);
    identity->Version = {1, 0, TWLG_ENGLISH_USA, TWCY_USA, {}};
    CopyText(identity->Version.Info, "SANE");
    identity->ProtocolMajor = TWON_PROTOCOLMAJOR;
    identity->ProtocolMinor = TWON_PROTOCOLMINOR;
    identity->SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyText(identity->Manufacturer, device.vendor);
    CopyText(identity->ProductFamily, device.model);
    CopyText(identity->ProductName, device.name);
    return true;
}

// The user's last choice while it is listed, else the first device.
std::size_t CTwainSourceManager::_DefaultIndex() const
{
    auto it = std::find_if(m_Devices.begin(), m_Devices.end(),
                           [this](const SSaneDeviceName& d) { return d.name == m_strDefault; });
    return it == m_Devices.end() ? 0 : std::size_t(it - m_Devices.begin());
}

TW_UINT16 CTwainSourceManager::_Identity(TW_UINT16 message, TW_IDENTITY* identity)
{
    if (!identity)
        return _Fail(TWCC_BADVALUE);
    switch (message) {
    case MSG_GETDEFAULT:
        _Devices(false);
        if (!_Describe(_DefaultIndex(), identity))
            return _Fail(TWCC_NODS);
        return TWRC_SUCCESS;
    case MSG_GETFIRST:
        _Devices(true);
        m_nNext = 1;
        return _Describe(0, identity) ? TWRC_SUCCESS : TWRC_ENDOFLIST;
    case MSG_GETNEXT:
        return _Describe(m_nNext++, identity) ? TWRC_SUCCESS : TWRC_ENDOFLIST;
    case MSG_USERSELECT:
        return _Select(identity);
    case MSG_OPENDS:
        return _OpenSource(identity);
    case MSG_CLOSEDS:
        if (m_nState != 4)
            return _Fail(TWCC_SEQERROR);
        if (identity->Id != m_Source.Id)
            return _Fail(TWCC_BADDEST);
        _CloseSource();
        return TWRC_SUCCESS;
    default:
        return _Fail(TWCC_BADPROTOCOL);
    }
}

TW_UINT16 CTwainSourceManager::_Select(TW_IDENTITY* identity)
{
    const auto& devices = _Devices(true);
    if (devices.empty())
        return _Fail(TWCC_NODS);
    std::vector<QString> names;
    int current = 0;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        names.push_back(QString::fromStdString(devices[i].vendor + " " + devices[i].model + " (" + devices[i].name +
                                               ")"));
        if (devices[i].name == m_strDefault)
            current = int(i);
    }
    const int chosen = CSourceChooserDialog::Choose(qobject_cast<QWidget*>(m_pParent.data()), names, current);
    if (chosen < 0)
        return TWRC_CANCEL;
    m_strDefault = devices[std::size_t(chosen)].name;
    _Describe(std::size_t(chosen), identity);
    return TWRC_SUCCESS;
}

TW_UINT16 CTwainSourceManager::_OpenSource(TW_IDENTITY* identity)
{
    if (m_nState != 3)
        return _Fail(TWCC_MAXCONNECTIONS);
    const auto& devices = _Devices(false);
    std::string wanted(identity->ProductName, strnlen(identity->ProductName, sizeof identity->ProductName));
    if (wanted.empty() && !devices.empty())
        wanted = devices[_DefaultIndex()].name;
    // Names longer than the identity holds are matched by their beginning;
    // among names that begin alike, the user's choice is the one meant.
    auto matches = [&](const std::string& name) {
        return name.compare(0, sizeof identity->ProductName - 1, wanted) == 0;
    };
    const std::string& meant = matches(m_strDefault) ? m_strDefault : wanted;
    auto it = std::find_if(devices.begin(), devices.end(), [&](const SSaneDeviceName& d) { return d.name == meant; });
    if (it == devices.end())
        it = std::find_if(devices.begin(), devices.end(), [&](const SSaneDeviceName& d) { return matches(d.name); });
    if (it == devices.end())
        return _Fail(TWCC_NODS);
    if (m_bAbandoned || m_pDevice->Open(it->name) != SANE_STATUS_GOOD)
        return _Fail(TWCC_OPERATIONERROR);
    _Describe(std::size_t(it - devices.begin()), &m_Source);
    m_Source.Id = ++m_nNextId;
    *identity = m_Source;
    m_nState = 4;
    return TWRC_SUCCESS;
}

void CTwainSourceManager::_CloseSource()
{
    m_pDevice->Close();
    m_Source = TW_IDENTITY{};
    m_nState = 3;
}

TW_UINT16 CTwainSourceManager::_UserInterface(TW_UINT16 message, TW_USERINTERFACE* ui)
{
    if (message == MSG_ENABLEDS) {
        if (m_nState != 4)
            return _Fail(TWCC_SEQERROR);
        QObject* receiver = ui->hParent ? static_cast<QObject*>(ui->hParent) : m_pParent.data();
        if (!receiver)
            return _Fail(TWCC_BADVALUE);
        m_pReceiver = receiver;
        m_Pages.clear();
        m_nState = 5;
        m_pDialog = new CScanSourceDialog(qobject_cast<QWidget*>(receiver), *m_pDevice, ui->ShowUI != 0);
        if (ui->ShowUI) {
            m_pDialog->setWindowModality(ui->ModalUI ? Qt::ApplicationModal : Qt::NonModal);
            m_pDialog->show();
        } else {
            m_pDialog->StartScan();
        }
        return TWRC_SUCCESS;
    }
    if (message == MSG_DISABLEDS) {
        if (m_nState != 5)
            return _Fail(TWCC_SEQERROR);
        _Disable();
        return TWRC_SUCCESS;
    }
    return _Fail(TWCC_BADPROTOCOL);
}

void CTwainSourceManager::_Disable()
{
    ++m_nGeneration;
    if (m_pDialog) {
        m_pDialog->hide();
        // A device that stopped answering keeps its scan for ever: the
        // application (leaving the program too) waits a moment only.
        if (m_pDialog->StopScan(std::chrono::seconds(3)))
            m_pDialog->deleteLater();
        else
            _Abandon();
    }
    m_pDialog = nullptr;
    m_Pages.clear();
    m_nState = 4;
}

// The worker still uses the dialog and the device: both are left to it.
void CTwainSourceManager::_Abandon()
{
    m_pDialog->setParent(nullptr);
    m_pDialog->Abandon();
    (void)m_pDevice.release();
    m_pDevice = std::make_unique<CSaneDevice>();
    m_bAbandoned = true;
}

TW_UINT16 CTwainSourceManager::_Event(TW_EVENT* event)
{
    event->TWMessage = MSG_NULL;
    auto* qevent = static_cast<QEvent*>(event->pEvent);
    if (m_nState < 5 || !qevent || qevent->type() != CSourceEvent::Type())
        return TWRC_NOTDSEVENT;
    const auto* notice = static_cast<CSourceEvent*>(qevent);
    const bool current = notice->m_nGeneration == m_nGeneration;
    if (current && (notice->m_nMessage == MSG_CLOSEDSREQ || (notice->m_nMessage == MSG_XFERREADY && m_nState == 6)))
        event->TWMessage = notice->m_nMessage;
    return TWRC_DSEVENT;
}

TW_UINT16 CTwainSourceManager::_PendingTransfers(TW_UINT16 message, TW_PENDINGXFERS* pending)
{
    switch (message) {
    case MSG_GET:
        pending->Count = TW_UINT16(m_nState >= 6 ? m_Pages.size() : 0);
        return TWRC_SUCCESS;
    case MSG_ENDXFER:
        if (m_nState < 6)
            return _Fail(TWCC_SEQERROR);
        m_Pages.pop_front();
        break;
    case MSG_RESET:
        if (m_nState != 6)
            return _Fail(TWCC_SEQERROR);
        m_Pages.clear();
        break;
    default:
        return _Fail(TWCC_BADPROTOCOL);
    }
    pending->Count = TW_UINT16(m_Pages.size());
    if (!m_Pages.empty()) {
        m_nState = 6;
        return TWRC_SUCCESS;
    }
    m_nState = 5;
    if (m_pDialog)
        m_pDialog->TransfersDone();
    return TWRC_SUCCESS;
}

TW_UINT16 CTwainSourceManager::_ImageInfo(TW_IMAGEINFO* info)
{
    if (m_nState < 6 || m_Pages.empty())
        return _Fail(TWCC_SEQERROR);
    const SScannedPage& page = m_Pages.front();
    std::memset(info, 0, sizeof *info);
    info->XResolution = info->YResolution = ToFix32(page.resolution);
    info->ImageWidth = page.width;
    info->ImageLength = page.height;
    const bool colour = page.bitsPerPixel == 24;
    info->SamplesPerPixel = colour ? 3 : 1;
    for (int i = 0; i < info->SamplesPerPixel; ++i)
        info->BitsPerSample[i] = TW_INT16(colour ? 8 : page.bitsPerPixel);
    info->BitsPerPixel = TW_INT16(page.bitsPerPixel);
    info->PixelType = colour ? TWPT_RGB : page.bitsPerPixel == 1 ? TWPT_BW : TWPT_GRAY;
    info->Compression = TWCP_NONE;
    return TWRC_SUCCESS;
}

TW_UINT16 CTwainSourceManager::_NativeTransfer(TW_HANDLE* handle)
{
    if (m_nState != 6 || m_Pages.empty() || !m_Pages.front().dib)
        return _Fail(TWCC_SEQERROR);
    // The page's own block: the application frees it with free().
    *handle = m_Pages.front().dib.release();
    m_nState = 7;
    return TWRC_XFERDONE;
}

void CTwainSourceManager::PagesScanned(std::vector<SScannedPage> pages)
{
    if (m_nState != 5 || pages.empty())
        return;
    m_Pages.assign(std::make_move_iterator(pages.begin()), std::make_move_iterator(pages.end()));
    m_nState = 6;
    _Post(MSG_XFERREADY);
}

void CTwainSourceManager::CloseRequested()
{
    if (m_nState == 5 || m_nState == 6)
        _Post(MSG_CLOSEDSREQ);
}

void CTwainSourceManager::_Post(TW_UINT16 message)
{
    if (m_pReceiver)
        QCoreApplication::postEvent(m_pReceiver, new CSourceEvent(message, m_nGeneration));
}

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(TW_IDENTITY* origin, TW_IDENTITY* destination,
                                                                       TW_UINT32 group, TW_UINT16 argument,
                                                                       TW_UINT16 message, TW_MEMREF data)
{
    return CTwainSourceManager::Instance().Entry(origin, destination, group, argument, message, data);
}
