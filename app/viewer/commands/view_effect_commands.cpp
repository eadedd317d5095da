#include "view_effect_commands.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>

#include "effect_host.h"
#include "encode_text_dialog.h"
#include "image/velvix.h"
#include "image/velvix_buffer.h"
#include "support/mdi_frames.h"

const char* const CViewEffectCommands::kLastCommandMarker = "Last Command:";
const char* const CViewEffectCommands::kEffectFailed =
    "%1 could not be applied to this picture: it would be too large, or there is not enough memory.";
const char* const CViewEffectCommands::kEffectWithoutThread =
    "%1 could not be applied to this picture: the system refused to start another task.";
const char* const CViewEffectCommands::kRepeatTooSmall =
    "%1 cannot be repeated on this picture of %2 x %3 pixels: by the last ratios a side would be less than one "
    "pixel.";
const char* const CViewEffectCommands::kAutoCropShortOfMemory =
    "The picture could not be cropped: there is not enough memory.";
const char* const CViewEffectCommands::kAutoCropWithoutThread =
    "The picture could not be cropped: the system refused to start another task.";

namespace {

// Counts a command as running for the lifetime of the guard.
class CRunningGuard {
public:
    explicit CRunningGuard(int& count) : m_count(count) { ++m_count; }
    ~CRunningGuard() { --m_count; }
    CRunningGuard(const CRunningGuard&) = delete;
    CRunningGuard& operator=(const CRunningGuard&) = delete;

private:
    int& m_count;
};

} // namespace

CViewEffectCommands::CViewEffectCommands(CEffectHost& host)
    : m_Host(host), m_pPrompter(std::make_unique<CDialogPrompter>(host.EffectWidget()))
{
    _Register();
}

CViewEffectCommands::~CViewEffectCommands() = default;

void CViewEffectCommands::SetPrompter(std::unique_ptr<CEffectPrompter> prompter)
{
    m_pPrompter = std::move(prompter);
}

bool CViewEffectCommands::_HasImage() const
{
    CVelvixBuffer* ring = m_Host.EffectRing();
    return ring && (*ring)->IsValidObject();
}

void CViewEffectCommands::_Register()
{
    for (const CEffectCommand& command : EffectCommands()) {
        OnCommand(command.id, [this, &command](int) { _RunEffect(command); });
        OnUpdateCommand(command.id, [this, &command](CSCmdUI& ui) {
            const bool selected = !m_Host.EffectSelection().IsEmpty();
            switch (command.needs) {
            case CEffectCommand::Needs::Selection:
                ui.Enable(_HasImage() && selected);
                break;
            case CEffectCommand::Needs::NoSelection:
                ui.Enable(_HasImage() && !selected);
                break;
            case CEffectCommand::Needs::Anything:
                ui.Enable(_HasImage());
                break;
            }
        });
    }
    OnCommand(kRepeatLastEffectId, [this](int) { _RepeatLast(); });
    OnUpdateCommand(kRepeatLastEffectId,
                    [this](CSCmdUI& ui) { ui.Enable(m_Last.Exists() && _HasImage() && _IsEnabled(m_Last.id)); });
    OnCommand(kEncodeTextId, [this](int) { _EncodeText(); });
    OnCommand(kDecodeTextId, [this](int) { _DecodeText(); });
    OnCommand(kAutoCropId, [this](int) { _AutoCrop(); });
    for (int id : {kEncodeTextId, kDecodeTextId, kAutoCropId})
        OnUpdateCommand(id, [this](CSCmdUI& ui) { ui.Enable(_HasImage()); });
}

void CViewEffectCommands::_RunEffect(const CEffectCommand& command)
{
    CRunningGuard running(m_nRunning);
    if (!_HasImage())
        return;
    CVelvixBuffer& ring = *m_Host.EffectRing();
    const VxRect selection = m_Host.EffectSelection();
    // Once the values are known: the prompts are not timed, and a cancelled
    // resample leaves the zoom as it was.
    auto starting = [this, &command] {
        if (command.resample) {
            // Resampling works on the whole picture at its own scale.
            m_Host.ResetZoom();
            m_Host.DropSelection();
        }
        m_Host.StartProcessingClock();
    };
    const int width = ring->GetWidth(), height = ring->GetHeight();
    CEffectRunner::EFailure failure = CEffectRunner::EFailure::None;
    if (CEffectRunner::Run(command, ring, selection.IsEmpty() ? nullptr : &selection, m_bRepeating, *m_pPrompter,
                           m_Last, m_Host.EffectWidget(), starting, &failure))
        m_Host.EffectApplied();
    else if (failure == CEffectRunner::EFailure::Failed || failure == CEffectRunner::EFailure::NoThread)
        QMessageBox::warning(
            m_Host.EffectWidget(), QCoreApplication::applicationName(),
            QString::fromLatin1(failure == CEffectRunner::EFailure::Failed ? kEffectFailed : kEffectWithoutThread)
                .arg(command.name));
    else if (failure == CEffectRunner::EFailure::TooSmall)
        QMessageBox::warning(m_Host.EffectWidget(), QCoreApplication::applicationName(),
                             QString::fromLatin1(kRepeatTooSmall).arg(m_Last.name).arg(width).arg(height));
}

bool CViewEffectCommands::_IsEnabled(int id)
{
    CSCmdUI ui(id);
    return OnUpdateCmdMsg(ui) && ui.m_bEnabled;
}

void CViewEffectCommands::_RepeatLast()
{
    // The last command may be disabled now (Red Eye without a selection).
    if (!m_Last.Exists() || !_IsEnabled(m_Last.id)) {
        QApplication::beep();
        return;
    }
    m_bRepeating = true;
    m_Host.SendCommand(m_Last.id);
    m_bRepeating = false;
}

void CViewEffectCommands::_EncodeText()
{
    CRunningGuard running(m_nRunning);
    CVelvixBuffer* ring = m_Host.EffectRing();
    if (!ring)
        return;
    const VxRect selection = m_Host.EffectSelection();
    if (EncodeTextCommand(*ring, selection.IsEmpty() ? nullptr : &selection, m_Last, m_Host.EffectWidget(),
                          [this] { m_Host.StartProcessingClock(); }))
        m_Host.EffectApplied();
}

void CViewEffectCommands::_DecodeText()
{
    CVelvixBuffer* ring = m_Host.EffectRing();
    if (!ring)
        return;
    const VxRect selection = m_Host.EffectSelection();
    DecodeTextCommand(*ring, selection.IsEmpty() ? nullptr : &selection, m_Host.EffectWidget());
}

void CViewEffectCommands::_AutoCrop()
{
    CRunningGuard running(m_nRunning);
    if (!_HasImage())
        return;
    CVelvixBuffer& ring = *m_Host.EffectRing();
    m_Host.ResetZoom();
    m_Host.StartProcessingClock();
    const int tolerance = m_Host.AutoCropTolerance();
    // A picture dark everywhere has nothing to keep and stays as it was,
    // with no undo step and no change to save. Any other failure is the
    // memory's (a crop that cannot have its new picture is left with none)
    // or a refused worker thread: that is told, and the picture stays as it
    // was too.
    bool nothingToKeep = false;
    CEffectRunner::EFailure failure = CEffectRunner::EFailure::None;
    if (!CEffectRunner::Apply(
            ring, nullptr, m_Host.EffectWidget(),
            [tolerance, &nothingToKeep](CVelvix& image) {
                if (image.AutoCropForScannedImage(tolerance))
                    return true;
                nothingToKeep = image.IsValidObject();
                return false;
            },
            &failure)) {
        if (!nothingToKeep)
            QMessageBox::warning(m_Host.EffectWidget(), QCoreApplication::applicationName(),
                                 QString::fromLatin1(failure == CEffectRunner::EFailure::NoThread
                                                         ? kAutoCropWithoutThread
                                                         : kAutoCropShortOfMemory));
        return;
    }
    // The crop may have emptied the selection's place; it is not repeated.
    m_Host.DropSelection();
    m_Host.EffectApplied();
}

namespace {

bool IsLastCommandItem(const QAction* action)
{
    return action && action->text().contains(QLatin1String(CViewEffectCommands::kLastCommandMarker));
}

} // namespace

void CViewEffectCommands::UpdateLastCommandItem(QMenu* menu) const
{
    if (!menu)
        return;
    QList<QAction*> actions = menu->actions();
    if (!actions.isEmpty() && IsLastCommandItem(actions.last())) {
        QAction* item = actions.takeLast();
        menu->removeAction(item);
        item->deleteLater();
        if (!actions.isEmpty() && actions.last()->isSeparator()) {
            menu->removeAction(actions.last());
            actions.last()->deleteLater();
        }
    }
    AppendLastCommandItem(menu);
}

void CViewEffectCommands::AppendLastCommandItem(QMenu* menu) const
{
    if (!menu || !m_Last.Exists())
        return;
    menu->addSeparator();
    QAction* item = menu->addAction(m_Last.MenuText());
    item->setData(int(kRepeatLastEffectId));
    QObject::connect(item, &QAction::triggered, item, [] {
        if (CSMDIFrameWnd* main = CSMDIFrameWnd::GetMainFrame())
            main->RouteCommand(kRepeatLastEffectId);
    });
}
