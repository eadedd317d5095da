#pragma once

#include <QString>

#include <chrono>
#include <functional>

#include "bar_image_source.h"
#include "image/velvix_buffer.h"
#include "support/sdocument.h"
#include "viewer/image_file_lists.h"

// The image document: the picture with its undo history, and the lists of
// files the window steps through.
//
// Initial info handed over by an opener: a CVelvix* to show (copied), and
// as initial info ex a CGroupStruct* whose files the window browses (copied
// while the document opens).
class CAmbrelDoc : public CSDocument, public CImageFileLists, public CBarImageSource {
    Q_OBJECT
public:
    CAmbrelDoc();
    ~CAmbrelDoc() override;

    bool OnNewDocument() override;
    bool OnOpenDocument(const QString& path) override;
    bool OnSaveDocument(const QString& path) override;
    bool SaveModified() override;
    bool CanCloseFrame(CSMDIChildWnd* frame) override;
    void SetPathName(const QString& path, bool addToRecentFiles = true) override;

    // The file of the picture shown: a folder opened as a whole keeps the
    // folder's name as the document's until the window steps.
    QString ShownFilePath() const;

    // Save, or Save As when the picture has no file of its own.
    bool DoFileSave();
    bool DoSaveAs();

    CVelvix& Image() { return *m_Buffer; }
    CVelvix* BarImage() override { return &*m_Buffer; }
    VxRect BarVisiblePart() const override { return m_rcVisible; }
    void StartClock() { m_nLoadStart = std::chrono::steady_clock::now(); }
    long ElapsedMilliseconds() const;

    // Reads a file into `image` with the crash guard around the decode; safe
    // on any thread.
    static bool ReadGuarded(CVelvix& image, const std::string& path, int index);

    // Said when a window for a picture handed over (a scan) cannot hold it.
    static const char* const kNewPictureShortOfMemory;

    // Shows a message box; tests replace it to answer without a window.
    static std::function<void(const QString& text)> s_pfnReportError;
    // "Save changes to %1?": QMessageBox::Yes, No or Cancel.
    static std::function<int(const QString& name)> s_pfnAskSaveChanges;

    VxRect m_rcVisible;
    CVelvixBuffer m_Buffer;
    bool m_bCreatedFromImage = false;
    std::chrono::steady_clock::time_point m_nLoadStart;
};
