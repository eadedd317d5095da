#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "effect_host.h"
#include "image/velvix.h"
#include "support/file_change_watcher.h"
#include "support/sdocument.h"
#include "viewer/image_prefetch.h"
#include "viewer/view/view_commands.h"
#include "view_effect_commands.h"

class CAmbrelDoc;
class CAmbrelViewStatusBar;
class CPixelFrame;
class CViewCanvas;
class CViewEditCommands;
class CViewFileCommands;
class CViewNavigation;
class CViewPrinting;
class CViewSelection;
class CViewSlideshow;
class CViewZoom;
class QMenu;
class QPaintDevice;
class QPainter;

// The scrolling view of an image window. It owns the parts that do the
// work (app/viewer/view): selection and mouse gestures, zoom and scrolling,
// stepping through the file lists, edit and file commands, slideshow,
// printing and the drawing of the picture. It routes commands and window
// events to them and keeps what several parts share.
class CAmbrelView : public QAbstractScrollArea, public CSView, public CEffectHost {
    Q_OBJECT
public:
    CAmbrelView();
    ~CAmbrelView() override;

    CAmbrelDoc* GetDocument() const;
    void OnInitialUpdate() override;
    void OnUpdate(CSView* sender, long hint, void* hintObject) override;
    void OnCloseView() override;
    bool OnCmdMsg(int id) override;
    bool OnUpdateCmdMsg(CSCmdUI& ui) override;

    CViewEffectCommands& EffectCommands() { return *m_pEffects; }
    // The right button's menu: the image window's main popups and the
    // last-command entry. The caller owns it.
    QMenu* BuildContextMenu();

    // The state the status bar and the tests read.
    double GetZoom() const;
    bool IsAutoScale() const;
    bool HasSelection() const;
    // The selection in image coordinates, clipped; empty when none.
    VxRect GetImageSelection() const;
    VxRect GetViewSelection() const;
    void SetViewSelection(const VxRect& rect);
    bool IsSlideshow() const;
    const QString& GetLoadError() const { return m_strLoadError; }

    // Loads the active list's current entry (+1 / -1: the stepping
    // direction, which also picks the neighbour to prefetch). Without
    // `usePrefetch` the file is always read.
    void LoadCurrentFile(int direction, bool usePrefetch);
    void RefreshFolder();

    // The drawing of the picture, the hatch and the selection, as the
    // window, the slideshow and the printer use it.
    void DrawImage(QPainter& painter, const QRect& area, bool printing);
    // One printed page: the picture at its size on the screen, converted to
    // the device's resolution.
    void PrintPage(QPaintDevice* device);

    // Answers to the questions of navigation; tests replace it.
    static std::function<bool(QWidget* parent, const QString& caption, const QString& text)> s_pfnAskYesNo;
    static std::function<void()> s_pfnBeep;

    // The parts.
    CViewSelection& Selection() const { return *m_pSelection; }
    CViewZoom& Zoom() const { return *m_pZoom; }
    CViewNavigation& Navigation() const { return *m_pNavigation; }
    CViewSlideshow& Slideshow() const { return *m_pSlideshow; }
    CViewFileCommands& FileCommands() const { return *m_pFiles; }

    // What the parts share.
    CPixelFrame* Frame() const;
    CAmbrelViewStatusBar* StatusBar() const;
    void SetPane(int pane, const QString& text);
    void Repaint();
    // After a change of the picture: marks it modified (when asked),
    // rescrolls, repaints and tells the bars.
    void ImageChanged(bool modified = true);
    // Tells the bars that the followed picture changed.
    void NotifyBars();
    void UpdateTimingPane();
    void SetLoadError(const QString& text) { m_strLoadError = text; }
    // A newly shown picture starts at zoom 1.0, scrolled to its corner,
    // with no selection.
    void ResetForNewPicture();
    // The next paint of a picture is noted for AMBREL_TRACE_LOG.
    void MarkLoadUnseen() { m_bLoadUnseen = true; }
    void TraceLoadSeen();

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

    // What the effect commands use.
    CVelvixBuffer* EffectRing() override;
    VxRect EffectSelection() const override { return GetImageSelection(); }
    void ResetZoom() override;
    void DropSelection() override;
    void StartProcessingClock() override;
    void EffectApplied() override { ImageChanged(); UpdateTimingPane(); }
    void SendCommand(int id) override { OnCmdMsg(id); }
    QWidget* EffectWidget() override { return this; }
    int AutoCropTolerance() const override;

private:
    void _RegisterWindowCommands();
    void _AutoCropNewPicture(CAmbrelDoc& doc);

    std::unique_ptr<CViewEffectCommands> m_pEffects;
    std::unique_ptr<CViewSelection> m_pSelection;
    std::unique_ptr<CViewZoom> m_pZoom;
    std::unique_ptr<CViewNavigation> m_pNavigation;
    std::unique_ptr<CViewEditCommands> m_pEdit;
    std::unique_ptr<CViewFileCommands> m_pFiles;
    std::unique_ptr<CViewSlideshow> m_pSlideshow;
    std::unique_ptr<CViewPrinting> m_pPrinting;
    std::unique_ptr<CViewCanvas> m_pCanvas;
    // The command targets consulted before the view's own, in order.
    std::vector<CSCmdTarget*> m_Parts;
    QString m_strLoadError;
    bool m_bInitialised = false;
    bool m_bLoadUnseen = false;

public:
    // Shared by the parts (the prefetch by stepping and the slideshow, the
    // full-screen window by the slideshow and stepping) and reached by the
    // tests. The worker and the watcher stop before the parts go.
    CImagePrefetch m_Prefetch;
    CFileChangeWatcher m_Watcher;
    std::unique_ptr<QWidget> m_FullScreenWnd;
    // A folder change waits for the window to become active.
    bool m_bRefreshDue = false;
};
