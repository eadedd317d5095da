#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

#include "support/mdi_frames.h"
#include "support/sdocument.h"
#include "velvix_export.h"

class QWidget;

// A multi-document template: a resource id, the document string and the
// three classes (document, frame, view) of one document kind.
class VELVIX_EXPORT SMCMultiDocTemplate {
public:
    SMCMultiDocTemplate(unsigned resourceId, const CSRuntimeClass<CSDocument>& documentClass,
                        const CSRuntimeClass<CSMDIChildWnd>& frameClass,
                        const CSRuntimeClass<CSView>& viewClass, const QString& docString = QString());
    // Documents still open forget the template.
    ~SMCMultiDocTemplate();
    SMCMultiDocTemplate(const SMCMultiDocTemplate&) = delete;
    SMCMultiDocTemplate& operator=(const SMCMultiDocTemplate&) = delete;

    // The fields of the document string "\nname\ndocName\nfilter\n.ext;.ext\n...".
    enum DocStringIndex { windowTitle, docName, fileNewName, filterName, filterExt, regFileTypeId, regFileTypeName };
    QString GetDocString(DocStringIndex index) const;
    // true when the path's extension is one of the template's (any case).
    bool MatchesExtension(const QString& path) const;

    CSDocument* CreateNewDocument();
    CSMDIChildWnd* CreateNewFrame(CSDocument* document);
    void SetDefaultTitle(CSDocument* document);
    // Documents the template made that are still open.
    const std::vector<CSDocument*>& GetDocuments() const { return m_documents; }
    void RemoveDocument(CSDocument* document);

    unsigned m_nIDResource;
    CSRuntimeClass<CSDocument> m_pDocClass;
    CSRuntimeClass<CSMDIChildWnd> m_pFrameClass;
    CSRuntimeClass<CSView> m_pViewClass;
    QString m_strDocStrings;
    int m_nUntitledCount = 0;

private:
    std::vector<CSDocument*> m_documents;
};

// Keeps the document templates under names, opens windows by name, and
// saves the list of open windows at exit to reopen it at the next start.
class VELVIX_EXPORT CSMultiDocTemplateManager {
public:
    CSMultiDocTemplateManager();
    ~CSMultiDocTemplateManager();

    bool AddDocumentTemplate(const QString& name, unsigned resourceId,
                             const CSRuntimeClass<CSDocument>& documentClass,
                             const CSRuntimeClass<CSMDIChildWnd>& frameClass,
                             const CSRuntimeClass<CSView>& viewClass, bool rememberAtExit,
                             bool storeNumber, void* templatePrivate, const QString& docString = QString());

    // -1 when the name is not registered, 0 when an open window was
    // activated, 1 when the creation was attempted.
    int OpenNewFrame(const QString& name, bool activateExisting, const QString& path = QString(),
                     void* initialInfo = nullptr, void* initialInfoEx = nullptr, bool makeVisible = true,
                     CSDocument* existingDocument = nullptr, std::uint32_t addNewHandle = 0);

    void OpenSavedFrames();
    void SaveOpenedFrames();
    static void ClearRegistryEntries();

    CSMDIChildWnd* IsFrameTypeOpened(const QString& name) const;
    bool ActivateFrame(const QString& name) const;
    bool IsWindowChildOfFrameTemplate(QWidget* window, const QString& name) const;
    bool IsDocumentTemplate(const QString& name) const;

    // The framework's opening of a file: the first template whose document
    // string lists the extension, or an already open document of that path.
    CSDocument* OpenDocumentFile(const QString& path);
    // The name of the first template that claims the path, or empty.
    QString TemplateNameForFile(const QString& path) const;
    SMCMultiDocTemplate* GetTemplate(const QString& name) const;
    QStringList GetTemplateNames() const;
    // The template the frame belongs to (by its three classes), or null.
    QString FrameTemplateName(const CSMDIChildWnd* frame) const;

    // The frames' message box for a document that cannot be created.
    static const char* const kFailedToCreateDoc;

private:
    struct Node {
        bool m_bRememberAtExit;
        bool m_bStoreNumber;
        std::unique_ptr<SMCMultiDocTemplate> m_pTemplate;
        QString m_strName;
    };
    const Node* _FindNode(const QString& name) const;
    void _OpenSavedRecord(const Node& node, QString tail);
    bool _FrameBelongsTo(const CSMDIChildWnd* frame, const Node& node) const;

    std::vector<Node> m_nodes; // insertion order
};
