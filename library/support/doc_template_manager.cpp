#include "support/doc_template_manager.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QSettings>

#include <algorithm>

#include "support/wait_cursor.h"

const char* const CSMultiDocTemplateManager::kFailedToCreateDoc = "Failed to create empty document.";

namespace {

const char kOpenedWindows[] = "TemplateManager/OpenedWindows";
constexpr int kMaxTemplateName = 200;

// The ';' that starts the last record of text[0, end): the rightmost one
// whose name part (from the ',' before it) holds no '|' or '/', which only
// paths hold; -1 when there is none.
qsizetype LastRecordStart(const QString& text, qsizetype end, qsizetype& nameStart)
{
    qsizetype semicolon = end;
    while (semicolon > 0) {
        semicolon = text.lastIndexOf(QLatin1Char(';'), semicolon - 1);
        if (semicolon < 0)
            break;
        const qsizetype comma = semicolon > 0 ? text.lastIndexOf(QLatin1Char(','), semicolon - 1) : -1;
        nameStart = comma + 1;
        const QString name = text.mid(nameStart, semicolon - nameStart);
        if (!name.contains(QLatin1Char('|')) && !name.contains(QLatin1Char('/')))
            return semicolon;
    }
    return -1;
}

// The path of a record's tail "<number or X>[|<path>]".
QString SavedRecordPath(const QString& tail)
{
    const qsizetype bar = tail.indexOf(QLatin1Char('|'));
    return bar < 0 ? QString() : tail.mid(bar + 1);
}

void ReportCannotCreate()
{
    QMessageBox::warning(CSMDIFrameWnd::GetMainFrame(), QCoreApplication::applicationName(),
                         QString::fromLatin1(CSMultiDocTemplateManager::kFailedToCreateDoc));
}

} // namespace

// ------------------------------------------------------------------- template

SMCMultiDocTemplate::SMCMultiDocTemplate(unsigned resourceId, const CSRuntimeClass<CSDocument>& documentClass,
                                         const CSRuntimeClass<CSMDIChildWnd>& frameClass,
                                         const CSRuntimeClass<CSView>& viewClass, const QString& docString)
    : m_nIDResource(resourceId), m_pDocClass(documentClass), m_pFrameClass(frameClass), m_pViewClass(viewClass),
      m_strDocStrings(docString)
{
}

SMCMultiDocTemplate::~SMCMultiDocTemplate()
{
    for (CSDocument* document : m_documents)
        document->SetDocTemplate(nullptr);
}

QString SMCMultiDocTemplate::GetDocString(DocStringIndex index) const
{
    const QStringList fields = m_strDocStrings.split(QLatin1Char('\n'));
    return int(index) < fields.size() ? fields.at(int(index)) : QString();
}

bool SMCMultiDocTemplate::MatchesExtension(const QString& path) const
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.isEmpty())
        return false;
    const QStringList extensions = GetDocString(filterExt).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& extension : extensions)
        if (extension.compare(QLatin1Char('.') + suffix, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

CSDocument* SMCMultiDocTemplate::CreateNewDocument()
{
    CSDocument* document = m_pDocClass.CreateObject();
    if (!document)
        return nullptr;
    document->SetDocTemplate(this);
    m_documents.push_back(document);
    return document;
}

void SMCMultiDocTemplate::RemoveDocument(CSDocument* document)
{
    m_documents.erase(std::remove(m_documents.begin(), m_documents.end(), document), m_documents.end());
}

CSMDIChildWnd* SMCMultiDocTemplate::CreateNewFrame(CSDocument* document)
{
    CSMDIFrameWnd* mainFrame = CSMDIFrameWnd::GetMainFrame();
    if (!mainFrame)
        return nullptr;
    CSMDIChildWnd* frame = m_pFrameClass.CreateObject();
    if (!frame)
        return nullptr;
    mainFrame->AddMDIChild(frame);
    CSCreateContext context;
    context.m_pCurrentDoc = document;
    context.m_pNewViewClass = m_pViewClass;
    context.m_pNewDocTemplate = this;
    if (!frame->OnCreate(context)) {
        delete frame->GetMDISubWindow();
        return nullptr;
    }
    return frame;
}

void SMCMultiDocTemplate::SetDefaultTitle(CSDocument* document)
{
    const QString name = GetDocString(docName);
    document->SetTitle(name.isEmpty() ? QStringLiteral("Untitled") : name + QString::number(m_nUntitledCount + 1));
}

// -------------------------------------------------------------------- manager

CSMultiDocTemplateManager::CSMultiDocTemplateManager() = default;
CSMultiDocTemplateManager::~CSMultiDocTemplateManager() = default;

bool CSMultiDocTemplateManager::AddDocumentTemplate(const QString& name, unsigned resourceId,
                                                    const CSRuntimeClass<CSDocument>& documentClass,
                                                    const CSRuntimeClass<CSMDIChildWnd>& frameClass,
                                                    const CSRuntimeClass<CSView>& viewClass, bool rememberAtExit,
                                                    bool storeNumber, void* /*templatePrivate*/,
                                                    const QString& docString)
{
    if (name.isEmpty() || name.size() > kMaxTemplateName)
        return false;
    if (!documentClass.m_pfnCreateObject || !frameClass.m_pfnCreateObject || !viewClass.m_pfnCreateObject)
        return false;
    Node node;
    node.m_bRememberAtExit = rememberAtExit;
    node.m_bStoreNumber = storeNumber;
    node.m_pTemplate =
        std::make_unique<SMCMultiDocTemplate>(resourceId, documentClass, frameClass, viewClass, docString);
    node.m_strName = name;
    m_nodes.push_back(std::move(node));
    return true;
}

const CSMultiDocTemplateManager::Node* CSMultiDocTemplateManager::_FindNode(const QString& name) const
{
    for (const Node& node : m_nodes)
        if (node.m_strName == name)
            return &node;
    return nullptr;
}

SMCMultiDocTemplate* CSMultiDocTemplateManager::GetTemplate(const QString& name) const
{
    const Node* node = _FindNode(name);
    return node ? node->m_pTemplate.get() : nullptr;
}

QStringList CSMultiDocTemplateManager::GetTemplateNames() const
{
    QStringList names;
    for (const Node& node : m_nodes)
        names << node.m_strName;
    return names;
}

bool CSMultiDocTemplateManager::IsDocumentTemplate(const QString& name) const
{
    return _FindNode(name) != nullptr;
}

bool CSMultiDocTemplateManager::_FrameBelongsTo(const CSMDIChildWnd* frame, const Node& node) const
{
    if (!frame)
        return false;
    CSView* view = frame->GetActiveView();
    CSDocument* document = view ? view->GetDocument() : nullptr;
    if (!document)
        return false;
    const SMCMultiDocTemplate& tpl = *node.m_pTemplate;
    return tpl.m_pFrameClass.IsKindOf(frame) && tpl.m_pViewClass.IsKindOf(view) && tpl.m_pDocClass.IsKindOf(document);
}

QString CSMultiDocTemplateManager::FrameTemplateName(const CSMDIChildWnd* frame) const
{
    for (const Node& node : m_nodes)
        if (_FrameBelongsTo(frame, node))
            return node.m_strName;
    return QString();
}

CSMDIChildWnd* CSMultiDocTemplateManager::IsFrameTypeOpened(const QString& name) const
{
    const Node* node = _FindNode(name);
    CSMDIFrameWnd* mainFrame = CSMDIFrameWnd::GetMainFrame();
    if (!node || !mainFrame)
        return nullptr;
    for (CSMDIChildWnd* child : mainFrame->GetMDIChildren())
        if (_FrameBelongsTo(child, *node))
            return child;
    return nullptr;
}

bool CSMultiDocTemplateManager::ActivateFrame(const QString& name) const
{
    CSMDIChildWnd* frame = IsFrameTypeOpened(name);
    if (!frame)
        return false;
    if (QMdiSubWindow* window = frame->GetMDISubWindow()) {
        window->raise();
        frame->MDIActivate();
        window->setFocus();
    }
    return true;
}

bool CSMultiDocTemplateManager::IsWindowChildOfFrameTemplate(QWidget* window, const QString& name) const
{
    CSMDIChildWnd* frame = IsFrameTypeOpened(name);
    if (!frame || !window)
        return false;
    for (QWidget* w = window; w; w = w->parentWidget())
        if (w == frame || w == frame->GetMDISubWindow())
            return true;
    return false;
}

int CSMultiDocTemplateManager::OpenNewFrame(const QString& name, bool activateExisting, const QString& path,
                                            void* initialInfo, void* initialInfoEx, bool makeVisible,
                                            CSDocument* existingDocument, std::uint32_t addNewHandle)
{
    const Node* node = m_nodes.empty() ? nullptr : _FindNode(name);
    if (!node)
        return -1;
    if (activateExisting && ActivateFrame(name))
        return 0;

    SMCMultiDocTemplate* tpl = node->m_pTemplate.get();
    if (existingDocument) {
        existingDocument->SetInitialInfo(initialInfo, initialInfoEx);
        CSMDIChildWnd* frame = tpl->CreateNewFrame(existingDocument);
        if (!frame) {
            ReportCannotCreate();
            return 1;
        }
        frame->InitialUpdateFrame(existingDocument, makeVisible);
        return 1;
    }

    CSDocument* document = tpl->CreateNewDocument();
    if (!document) {
        ReportCannotCreate();
        return 1;
    }
    document->SetInitialInfo(initialInfo, initialInfoEx);
    document->SetAddNewHandle(addNewHandle);
    if (!document->OnAllowCreateInstance()) {
        delete document;
        return 1;
    }
    // The document must outlive a frame that fails half-way.
    document->m_bAutoDelete = false;
    CSMDIChildWnd* frame = tpl->CreateNewFrame(document);
    document->m_bAutoDelete = true;
    if (!frame) {
        ReportCannotCreate();
        delete document;
        return 1;
    }
    tpl->SetDefaultTitle(document);
    if (!makeVisible)
        document->SetEmbedded(true);
    bool opened;
    if (path.isEmpty()) {
        opened = document->OnNewDocument();
    } else {
        CVxWaitCursor wait;
        opened = document->OnOpenDocument(path);
        if (opened)
            document->SetPathName(path);
    }
    if (!opened) {
        // The frame takes its view and with it the document.
        frame->_Destroy();
        delete frame->GetMDISubWindow();
        return 1;
    }
    ++tpl->m_nUntitledCount;
    frame->InitialUpdateFrame(document, makeVisible);
    return 1;
}

void CSMultiDocTemplateManager::SaveOpenedFrames()
{
    QString text;
    if (CSMDIFrameWnd* mainFrame = CSMDIFrameWnd::GetMainFrame()) {
        for (CSMDIChildWnd* child : mainFrame->GetMDIChildren()) {
            const Node* owner = nullptr;
            for (const Node& node : m_nodes)
                if (node.m_bRememberAtExit && _FrameBelongsTo(child, node)) {
                    owner = &node;
                    break;
                }
            if (!owner)
                continue;
            CSDocument* document = child->GetActiveDocument();
            text += owner->m_strName + QLatin1Char(';');
            if (owner->m_bStoreNumber)
                text += QString::asprintf("%li", long(reinterpret_cast<std::intptr_t>(document->GetInitialInfo())));
            else
                text += QLatin1Char('X');
            if (!document->GetPathName().isEmpty())
                text += QLatin1Char('|') + document->GetPathName();
            text += QLatin1Char(',');
        }
    }
    if (!text.isEmpty())
        text.chop(1);
    QSettings().setValue(QLatin1String(kOpenedWindows), text);
}

void CSMultiDocTemplateManager::ClearRegistryEntries()
{
    QSettings().setValue(QLatin1String(kOpenedWindows), QString());
}

void CSMultiDocTemplateManager::OpenSavedFrames()
{
    QSettings settings;
    const QString text = settings.value(QLatin1String(kOpenedWindows)).toString();
    if (text.isEmpty())
        return;
    // Cleared first: a crash while reopening must not repeat at the next start.
    settings.setValue(QLatin1String(kOpenedWindows), QString());
    settings.sync();

    CVxWaitCursor wait;
    qsizetype end = text.size(); // the records left to read are text[0, end)
    while (end > 0) {
        qsizetype nameStart = 0;
        const qsizetype semicolon = LastRecordStart(text, end, nameStart);
        if (semicolon < 0)
            break;
        const Node* node = _FindNode(text.mid(nameStart, semicolon - nameStart));
        if (!node) {
            // A kind this program lacks, or a ';' inside a path: a registered
            // record further left whose path, read to the end, exists decides.
            qsizetype outerStart = 0;
            const qsizetype outer = LastRecordStart(text, nameStart - 1, outerStart);
            const Node* outerNode = outer < 0 ? nullptr : _FindNode(text.mid(outerStart, outer - outerStart));
            if (!outerNode || !QFileInfo::exists(SavedRecordPath(text.mid(outer + 1, end - outer - 1)))) {
                end = nameStart - 1; // skip the unknown record
                continue;
            }
            _OpenSavedRecord(*outerNode, text.mid(outer + 1, end - outer - 1));
            nameStart = outerStart;
        } else {
            _OpenSavedRecord(*node, text.mid(semicolon + 1, end - semicolon - 1));
        }
        wait.Restore();
        if (nameStart == 0)
            break;
        end = nameStart - 1; // left of the ','
    }
}

// One saved window: "<number or X>[|<path>]". The number goes only to kinds
// that store one (any other kind would read it as its initial info); a path
// that no longer exists is not reopened, nor is any other in its place.
void CSMultiDocTemplateManager::_OpenSavedRecord(const Node& node, QString tail)
{
    const QString path = SavedRecordPath(tail);
    const qsizetype bar = tail.indexOf(QLatin1Char('|'));
    if (bar >= 0)
        tail.truncate(bar);
    if (!path.isEmpty() && !QFileInfo::exists(path))
        return;
    void* info = nullptr;
    if (node.m_bStoreNumber)
        info = reinterpret_cast<void*>(std::intptr_t(std::atol(tail.toLatin1().constData())));
    OpenNewFrame(node.m_strName, false, path, info, nullptr, true, nullptr, 0);
}

QString CSMultiDocTemplateManager::TemplateNameForFile(const QString& path) const
{
    for (const Node& node : m_nodes)
        if (node.m_pTemplate->MatchesExtension(path))
            return node.m_strName;
    return QString();
}

CSDocument* CSMultiDocTemplateManager::OpenDocumentFile(const QString& path)
{
    const QString canonical = QFileInfo(path).absoluteFilePath();
    // A document already showing the file is brought to the front.
    for (const Node& node : m_nodes)
        for (CSDocument* document : node.m_pTemplate->GetDocuments())
            if (!document->GetPathName().isEmpty() && QFileInfo(document->GetPathName()).absoluteFilePath() == canonical &&
                !document->GetViews().empty()) {
                if (CSMDIChildWnd* frame = document->GetViews().front()->GetParentFrame())
                    frame->MDIActivate();
                return document;
            }
    // No template claims the extension: the first one tries, and reports.
    QString name = TemplateNameForFile(path);
    if (name.isEmpty() && !m_nodes.empty())
        name = m_nodes.front().m_strName;
    if (name.isEmpty())
        return nullptr;
    SMCMultiDocTemplate* tpl = GetTemplate(name);
    const std::size_t before = tpl->GetDocuments().size();
    OpenNewFrame(name, false, path);
    if (tpl->GetDocuments().size() > before)
        return tpl->GetDocuments().back();
    return nullptr;
}
