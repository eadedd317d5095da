#include "support/sdocument.h"

#include <QFileInfo>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <map>

#include "support/doc_template_manager.h"
#include "support/mdi_frames.h"

std::function<void(const QString&)> CSDocument::s_pfnAddToRecentFileList;

namespace {

struct AddNewRequest {
    QString text;
    QPointer<QWidget> requester;
};

std::map<std::uint32_t, AddNewRequest>& AddNewRequests()
{
    static std::map<std::uint32_t, AddNewRequest> requests;
    return requests;
}

} // namespace

CSDocument::CSDocument() = default;

CSDocument::~CSDocument()
{
    DestroyAddNewRequest();
    if (m_pDocTemplate)
        m_pDocTemplate->RemoveDocument(this);
    for (CSView* view : m_views)
        view->m_pDocument = nullptr;
}

void CSDocument::SetInitialInfo(void* info, void* infoEx)
{
    m_pInitialInfo = info;
    m_pInitialInfoEx = infoEx;
}

std::uint32_t CSDocument::CreateAddNewRequest(const QString& text, QWidget* requester)
{
    static std::uint32_t next = 0;
    if (++next == 0)
        ++next;
    AddNewRequests()[next] = AddNewRequest{text, requester};
    return next;
}

bool CSDocument::IsAddNewRequestActive(std::uint32_t handle)
{
    return handle != 0 && AddNewRequests().count(handle) != 0;
}

void CSDocument::DestroyAddNewRequest()
{
    if (m_hAddNewHandle)
        AddNewRequests().erase(m_hAddNewHandle);
    m_hAddNewHandle = 0;
}

QString CSDocument::GetAddNewRequestRef() const
{
    auto it = AddNewRequests().find(m_hAddNewHandle);
    if (m_hAddNewHandle == 0 || it == AddNewRequests().end())
        return QString();
    if (!it->second.text.isEmpty())
        return it->second.text;
    if (it->second.requester)
        return it->second.requester->windowTitle().left(100);
    return QString();
}

void CSDocument::PreCloseFrame(CSMDIChildWnd* /*frame*/)
{
    DestroyAddNewRequest();
}

bool CSDocument::OnNewDocument()
{
    DeleteContents();
    m_strPathName.clear();
    SetModifiedFlag(false);
    return true;
}

bool CSDocument::OnOpenDocument(const QString& /*path*/)
{
    DeleteContents();
    SetModifiedFlag(false);
    return true;
}

bool CSDocument::OnSaveDocument(const QString& /*path*/)
{
    return false;
}

bool CSDocument::CanCloseFrame(CSMDIChildWnd* frame)
{
    // Only the last frame of a document asks to save it.
    int frames = 0;
    for (CSView* view : m_views)
        if (view->GetParentFrame() && view->GetParentFrame() != frame)
            ++frames;
    return frames > 0 || SaveModified();
}

void CSDocument::OnCloseDocument()
{
    if (m_bClosing)
        return;
    m_bClosing = true;
    for (CSView* view : std::vector<CSView*>(m_views)) {
        if (CSMDIChildWnd* frame = view->GetParentFrame())
            frame->CloseFrame();
    }
    m_bClosing = false;
}

void CSDocument::SetPathName(const QString& path, bool addToRecentFiles)
{
    m_strPathName = path;
    SetTitle(QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName());
    if (addToRecentFiles && s_pfnAddToRecentFileList && !path.isEmpty())
        s_pfnAddToRecentFileList(path);
}

void CSDocument::SetTitle(const QString& title)
{
    m_strTitle = title;
    for (CSView* view : m_views)
        if (CSMDIChildWnd* frame = view->GetParentFrame())
            frame->OnUpdateFrameTitle();
}

void CSDocument::AddView(CSView* view)
{
    if (!view || std::find(m_views.begin(), m_views.end(), view) != m_views.end())
        return;
    if (view->m_pDocument)
        view->m_pDocument->RemoveView(view);
    m_views.push_back(view);
    view->m_pDocument = this;
}

void CSDocument::RemoveView(CSView* view)
{
    auto it = std::find(m_views.begin(), m_views.end(), view);
    if (it == m_views.end())
        return;
    m_views.erase(it);
    view->m_pDocument = nullptr;
    if (m_views.empty() && m_bAutoDelete && !m_bClosing)
        delete this;
}

void CSDocument::UpdateAllViews(CSView* sender, long hint, void* hintObject)
{
    for (CSView* view : std::vector<CSView*>(m_views))
        if (view != sender)
            view->OnUpdate(sender, hint, hintObject);
}

CSView::~CSView()
{
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

QWidget* CSView::GetViewWidget()
{
    return dynamic_cast<QWidget*>(this);
}

CSMDIChildWnd* CSView::GetParentFrame()
{
    QWidget* widget = GetViewWidget();
    for (QWidget* parent = widget ? widget->parentWidget() : nullptr; parent; parent = parent->parentWidget())
        if (auto* frame = qobject_cast<CSMDIChildWnd*>(parent))
            return frame;
    return nullptr;
}

void CSView::OnUpdate(CSView* /*sender*/, long /*hint*/, void* /*hintObject*/)
{
    if (QWidget* widget = GetViewWidget())
        widget->update();
}

bool CSView::OnCmdMsg(int id)
{
    if (CSCmdTarget::OnCmdMsg(id))
        return true;
    return m_pDocument && m_pDocument->OnCmdMsg(id);
}

bool CSView::OnUpdateCmdMsg(CSCmdUI& ui)
{
    if (CSCmdTarget::OnUpdateCmdMsg(ui))
        return true;
    return m_pDocument && m_pDocument->OnUpdateCmdMsg(ui);
}
