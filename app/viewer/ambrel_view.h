#pragma once

#include <QAbstractScrollArea>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <memory>

#include "effect_host.h"
#include "image/velvix.h"
#include "support/file_change_watcher.h"
#include "support/sdocument.h"
#include "viewer/image_file_lists.h"
#include "viewer/image_prefetch.h"
#include "view_effect_commands.h"

class CAmbrelDoc;
class CAmbrelViewStatusBar;
class CPixelFrame;
class QMenu;
class QPaintDevice;
class QPainter;
class QPrinter;

// Command numbers of the image window.
namespace viewcmd {
enum : int {
    ID_GROUP_ALL = 106,
    ID_GROUP_GROUP = 107,
    ID_GROUP_RECURSE = 108,
    ID_IMAGE_INFO = 109,
    ID_QUICK_OPEN = 110,
    ID_SQUARE_LONGER = 192,
    ID_SQUARE_SHORTER = 193,
    ID_ALWAYS_SQUARE_LONGER = 194,
    ID_ALWAYS_SQUARE_SHORTER = 195,
    ID_MOVE_SELECTION = 196,
    ID_TRACK_LINES = 197,
    ID_MAXIMIZE = 206,
    ID_MINIMIZE = 207,
    ID_RESTORE = 208,
    ID_NEXT_FILE = 209,
    ID_PREVIOUS_FILE = 210,
    ID_REFRESH_FOLDER = 211,
    ID_FIRST_FILE = 212,
    ID_LAST_FILE = 213,
    ID_RENAME_FILE = 223,
    ID_MOVE_FILE = 227,
    ID_COPY_FILE = 228,
    ID_DELETE_FILE = 235,
    ID_SHOW_THUMBNAILS = 240,
    ID_CROP_SELECTION = 259,
    ID_SET_WALLPAPER = 260,
    ID_SLIDESHOW = 284,
    ID_FIND_DUPLICATES = 286,
    ID_NEXT_FOLDER = 289,
    ID_PREVIOUS_FOLDER = 290,
    ID_RESIZE_TO_CONTENTS = 32772,
    ID_AUTO_SCALE = 32773,
    ID_ZOOM_IN = 32774,
    ID_CANCEL_ZOOM = 32777,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_SEND_MAIL = 57612,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_UNDO = 57643,
    ID_EDIT_REDO = 57644,
};
}

// Private messages of the image view.
namespace viewmsg {
enum : int {
    WM_FINISH_GESTURE = 0x8001,
    WM_TRACK_READY = 0x8005,
    WM_SLIDESHOW_EVENT = 0x800D,
};
}

// The scrolling view of an image window: draws the picture at a zoom
// factor, keeps a selection, steps through the document's file lists with a
// prefetched neighbour, and runs the slideshow.
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

    // Process-wide: always make the selection square (at most one is set).
    static bool s_bAlwaysSquareLonger;
    static bool s_bAlwaysSquareShorter;

    // The state the status bar and the tests read.
    double GetZoom() const { return m_dZoom; }
    bool IsAutoScale() const { return m_bAutoScale; }
    bool HasSelection() const { return m_rcSelection.top != -1; }
    // The selection in image coordinates, clipped; empty when none.
    VxRect GetImageSelection() const;
    VxRect GetViewSelection() const { return m_rcSelection; }
    void SetViewSelection(const VxRect& rect);
    bool IsSlideshow() const { return m_bSlideshow; }
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
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

    // What the effect commands use.
    CVelvixBuffer* EffectRing() override;
    VxRect EffectSelection() const override { return GetImageSelection(); }
    void ResetZoom() override;
    void DropSelection() override;
    void StartProcessingClock() override;
    void EffectApplied() override { _ImageChanged(); _UpdateTimingPane(); }
    void SendCommand(int id) override { OnCmdMsg(id); }
    QWidget* EffectWidget() override { return this; }
    int AutoCropTolerance() const override;

private:
    void _RegisterCommands();
    CPixelFrame* _Frame() const;
    CAmbrelViewStatusBar* _StatusBar() const;
    void _SetPane(int pane, const QString& text);

    // Navigation.
    bool _CanLeaveImage();
    void _Navigate(CNavigationStep (CFileNavigator::*step)(), bool needsPrompt = true);
    void _RunStep(const CNavigationStep& step, bool usePrefetch);
    void _ResetForNewPicture();
    void _StartPrefetch(int direction);
    bool _FitToSlideshow(CVelvix& image) const;
    void UpdatePositionDisplay();
    void _OnSliderReleased(int position);
    void _RestartFolderWatch();
    void _SelectList(int id);
    void _ShowGroupMenu();

    // Zoom, scrolling and selection.
    double _Scale() const;
    QSize _ContentSize() const;
    QPoint _ScrollPos() const;
    QPoint _ContentPoint(const QPoint& viewportPoint) const;
    void UpdateScrollSizes();
    void _SetZoom(double zoom);
    void _UpdateZoomDisplay();
    void _UpdateVisiblePart();
    void _ZoomIn();
    void _CancelZoom();
    void _AutoScale();
    void _ResizeToContents();
    void _ResizeToContents(int retries);
    void _DropSelection();
    void _FinishGesture();
    void _SquareSelection(bool longer);
    void _UpdateTrackLines(const QPoint& viewportPoint);
    void _Repaint();

    // Image commands.
    void _ImageChanged(bool modified = true);
    void _Undo();
    void _Redo();
    void _Copy();
    void _Paste();
    void _Crop();
    void _SetWallpaper();
    void _QuickOpen();
    void _ShowThumbnails();
    void _ShowImageInfo();
    void _Print(bool preview);
    void _SendMail();
    void _UpdateTimingPane();

    // Slideshow.
    void _StartSlideshow();
    void _StopSlideshow();
    void _OnSlideshowKey(int key, Qt::KeyboardModifiers modifiers);

    // Notes the first paint after a load for AMBREL_TRACE_LOG.
    void _TraceLoadSeen();

    // Renders the visible part of the picture into m_Canvas.
    void _RenderVisible(const QSize& size, const QPoint& scroll, double scale);

public:
    CVelvix m_SelectionImage;
    VxRect m_rcSelection{-1, -1, -1, -1};
    double m_dZoom = 1.0;
    bool m_bAutoScale = false;
    bool m_bTrackLines = false;
    bool m_bTrackReady = false;
    bool m_bDragging = false;
    QPoint m_ptDragStart{-1, -1};
    QPoint m_ptLastTrack{-1, -1};
    int m_nMouseMode = -1;
    VxRect m_rcMoving;
    bool m_bSlideshow = false;
    std::unique_ptr<QWidget> m_FullScreenWnd;
    bool m_bRefreshDue = false;
    CImagePrefetch m_Prefetch;
    CFileChangeWatcher m_Watcher;

private:
    std::unique_ptr<CViewEffectCommands> m_pEffects;
    QCursor m_ZoomCursor;
    QString m_strLoadError;
    QImage m_Canvas;
    bool m_bInitialised = false;
    bool m_bLoadUnseen = false;
};
