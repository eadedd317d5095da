#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <typeinfo>
#include <vector>

#include "support/command_target.h"
#include "velvix_export.h"

class CSDocument;
class CSMDIChildWnd;
class CSView;
class SMCMultiDocTemplate;
class QWidget;

// What a template knows of a class: how to make one and whether an object
// is one (or derived). The three classes of a document kind are given as
// VX_DOCUMENT_CLASS(T), VX_FRAME_CLASS(T) and VX_VIEW_CLASS(T).
template <class Base>
struct CSRuntimeClass {
    const char* m_lpszClassName = nullptr;
    Base* (*m_pfnCreateObject)() = nullptr;
    bool (*m_pfnIsKindOf)(const Base*) = nullptr;

    Base* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
    bool IsKindOf(const Base* object) const { return object && m_pfnIsKindOf && m_pfnIsKindOf(object); }
};

template <class T, class Base>
CSRuntimeClass<Base> VxRuntimeClass()
{
    return {typeid(T).name(), []() -> Base* { return new T; },
            [](const Base* object) { return dynamic_cast<const T*>(object) != nullptr; }};
}

#define VX_DOCUMENT_CLASS(T) VxRuntimeClass<T, CSDocument>()
#define VX_FRAME_CLASS(T) VxRuntimeClass<T, CSMDIChildWnd>()
#define VX_VIEW_CLASS(T) VxRuntimeClass<T, CSView>()

// The base of every document: a path, a title, a modified flag, its views,
// the edit mode and the two values the opener hands over.
class VELVIX_EXPORT CSDocument : public QObject, public CSCmdTarget {
    Q_OBJECT
public:
    CSDocument();
    ~CSDocument() override;

    // The values the opener of the window handed over (an image, a group...).
    void SetInitialInfo(void* info, void* infoEx);
    void* GetInitialInfo() const { return m_pInitialInfo; }
    void* GetInitialInfoEx() const { return m_pInitialInfoEx; }

    virtual void SetEditMode(bool on) { m_bEditMode = on; }
    bool IsEditMode() const { return m_bEditMode; }

    void SetAddNewHandle(std::uint32_t handle) { m_hAddNewHandle = handle; }
    std::uint32_t GetAddNewHandle() const { return m_hAddNewHandle; }
    void DestroyAddNewRequest();
    QString GetAddNewRequestRef() const;

    // false keeps the window from being created (the document is destroyed).
    virtual bool OnAllowCreateInstance() { return true; }
    virtual void PreCloseFrame(CSMDIChildWnd* frame);

    virtual bool OnNewDocument();
    virtual bool OnOpenDocument(const QString& path);
    virtual bool OnSaveDocument(const QString& path);
    virtual void DeleteContents() {}
    // Asked before a frame of the document closes; false keeps it open.
    virtual bool SaveModified() { return true; }
    virtual bool CanCloseFrame(CSMDIChildWnd* frame);
    virtual void OnCloseDocument();

    const QString& GetPathName() const { return m_strPathName; }
    virtual void SetPathName(const QString& path, bool addToRecentFiles = true);
    void ClearPathName() { m_strPathName.clear(); }
    const QString& GetTitle() const { return m_strTitle; }
    virtual void SetTitle(const QString& title);
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool modified = true) { m_bModified = modified; }
    bool IsEmbedded() const { return m_bEmbedded; }
    void SetEmbedded(bool embedded) { m_bEmbedded = embedded; }

    SMCMultiDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }
    void SetDocTemplate(SMCMultiDocTemplate* docTemplate) { m_pDocTemplate = docTemplate; }

    void AddView(CSView* view);
    void RemoveView(CSView* view);
    const std::vector<CSView*>& GetViews() const { return m_views; }
    void UpdateAllViews(CSView* sender, long hint = 0, void* hintObject = nullptr);

    // The document is deleted with its last view unless this is cleared.
    bool m_bAutoDelete = true;

    // The program's recent-file list, told of every path a document takes.
    static std::function<void(const QString&)> s_pfnAddToRecentFileList;

    // The add-new engine: a request made by another window, identified by a
    // handle (0 is none) and described by a text or the requester's window.
    static std::uint32_t CreateAddNewRequest(const QString& text, QWidget* requester);
    static bool IsAddNewRequestActive(std::uint32_t handle);

private:
    bool m_bEditMode = false;
    void* m_pInitialInfo = nullptr;
    void* m_pInitialInfoEx = nullptr;
    std::uint32_t m_hAddNewHandle = 0;

    QString m_strPathName;
    QString m_strTitle;
    bool m_bModified = false;
    bool m_bEmbedded = false;
    bool m_bClosing = false;
    SMCMultiDocTemplate* m_pDocTemplate = nullptr;
    std::vector<CSView*> m_views;
};

// The mix-in of every view: a widget class derives from it and from a Qt
// widget. It gives the view its document and the hooks the frame calls.
class VELVIX_EXPORT CSView : public CSCmdTarget {
public:
    CSView() = default;
    ~CSView() override;

    CSDocument* GetDocument() const { return m_pDocument; }
    QWidget* GetViewWidget();
    CSMDIChildWnd* GetParentFrame();

    virtual void OnInitialUpdate() { OnUpdate(nullptr, 0, nullptr); }
    virtual void OnUpdate(CSView* sender, long hint, void* hintObject);
    // The frame is closing (the close message sent to the view first).
    virtual void OnCloseView() {}
    virtual void OnActivateView(bool active) {}

    // Commands go to the view first, then to its document.
    bool OnCmdMsg(int id) override;
    bool OnUpdateCmdMsg(CSCmdUI& ui) override;

private:
    friend class CSDocument;
    CSDocument* m_pDocument = nullptr;
};
