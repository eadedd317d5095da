#include "viewer/view/view_edit_commands.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <new>

#include "support/wait_cursor.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/view/view_selection.h"
#include "viewer/view/view_zoom.h"
#include "viewer/view_geometry.h"

using namespace viewcmd;

const char* const CViewEditCommands::kCopyFailed =
    "The picture could not be copied to the clipboard: there is not enough memory.";
const char* const CViewEditCommands::kCropFailed = "The picture could not be cropped: there is not enough memory.";
const char* const CViewEditCommands::kPasteFailed =
    "The picture on the clipboard could not be pasted: it is too large, or there is not enough memory.";

CViewEditCommands::CViewEditCommands(CAmbrelView& view) : CViewPart(view)
{
    OnCommand(ID_EDIT_UNDO, [this](int) { _Undo(); });
    OnCommand(ID_EDIT_REDO, [this](int) { _Redo(); });
    OnUpdateCommand(ID_EDIT_UNDO, [this](CSCmdUI& ui) {
        CAmbrelDoc* doc = Doc();
        const int count = doc ? doc->m_Buffer.GetUndoCount() : 0;
        ui.SetText(QString::fromStdString(viewgeom::UndoMenuText(count)));
        ui.Enable(doc && doc->m_Buffer.HasUndo());
    });
    OnUpdateCommand(ID_EDIT_REDO, [this](CSCmdUI& ui) {
        CAmbrelDoc* doc = Doc();
        const int count = doc ? doc->m_Buffer.GetRedoCount() : 0;
        ui.SetText(QString::fromStdString(viewgeom::RedoMenuText(count)));
        ui.Enable(doc && doc->m_Buffer.HasRedo());
    });

    OnCommand(ID_EDIT_COPY, [this](int) { _Copy(); });
    OnUpdateCommand(ID_EDIT_COPY, [this](CSCmdUI& ui) { ui.Enable(Doc() && Doc()->Image().IsValidObject()); });
    OnCommand(ID_EDIT_PASTE, [this](int) { _Paste(); });
    OnUpdateCommand(ID_EDIT_PASTE, [](CSCmdUI& ui) {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        ui.Enable(data && data->hasImage());
    });
    OnUpdateCommand(ID_EDIT_CUT, [](CSCmdUI& ui) { ui.Enable(false); });

    OnCommand(ID_CROP_SELECTION, [this](int) { _Crop(); });
    OnUpdateCommand(ID_CROP_SELECTION, [this](CSCmdUI& ui) { ui.Enable(m_View.HasSelection()); });
}

void CViewEditCommands::_Undo()
{
    CAmbrelDoc* doc = Doc();
    if (!doc || !doc->m_Buffer.HasUndo())
        return;
    CVxWaitCursor wait;
    doc->m_Buffer.Undo();
    m_View.ImageChanged();
}

void CViewEditCommands::_Redo()
{
    CAmbrelDoc* doc = Doc();
    if (!doc || !doc->m_Buffer.HasRedo())
        return;
    CVxWaitCursor wait;
    doc->m_Buffer.Redo();
    m_View.ImageChanged();
}

void CViewEditCommands::_Copy()
{
    CAmbrelDoc* doc = Doc();
    if (!doc || !doc->Image().IsValidObject())
        return;
    CVxWaitCursor wait;
    VxRect rect = m_View.GetImageSelection();
    bool copied;
    if (m_View.HasSelection() && !rect.IsEmpty()) {
        CVelvix part;
        copied = part.CopyFromRect(doc->Image(), &rect, nullptr, true) && part.Copy(&m_View);
    } else {
        copied = doc->Image().Copy(&m_View);
    }
    // The clipboard keeps what it held.
    if (!copied)
        CAmbrelDoc::s_pfnReportError(QString::fromLatin1(kCopyFailed));
}

void CViewEditCommands::_Paste()
{
    CAmbrelDoc* doc = Doc();
    if (!doc)
        return;
    CVxWaitCursor wait;
    // The result is made before the undo step: a paste that fails (nothing
    // on the clipboard) leaves the ring exactly as it was, redo included.
    CVelvix pasted;
    bool read = false;
    try {
        read = pasted.Paste(&m_View, nullptr);
    } catch (const std::bad_alloc&) {  // the clipboard's data, fetched by Qt
    }
    if (!read) {
        // An image that is there but cannot be had: too large, or memory short.
        if (pasted.CanPaste(&m_View))
            CAmbrelDoc::s_pfnReportError(QString::fromLatin1(kPasteFailed));
        return;
    }
    VxRect rect = m_View.GetImageSelection();
    const bool intoSelection = m_View.HasSelection() && !rect.IsEmpty() && doc->Image().IsValidObject();
    if (intoSelection) {
        CVelvix whole = doc->Image();
        if (!whole.CopyFromRect(pasted, nullptr, &rect, true)) {
            CAmbrelDoc::s_pfnReportError(QString::fromLatin1(kPasteFailed));
            return;
        }
        pasted.Swap(whole);
    }
    doc->m_Buffer.Push(pasted);
    if (!intoSelection) {
        m_View.SetLoadError(QString());
        m_View.Selection().Drop();
    }
    m_View.ImageChanged();
}

void CViewEditCommands::_Crop()
{
    CAmbrelDoc* doc = Doc();
    const VxRect rect = m_View.GetImageSelection();
    if (!doc || rect.IsEmpty())
        return;
    doc->StartClock();
    // The part is made before the undo step, from a selection inside the
    // picture: a failure is the memory's, and then the picture, its steps and
    // the selection stay as they were.
    CVelvix part;
    if (!part.CopyFromRect(doc->Image(), &rect, nullptr, true)) {
        CAmbrelDoc::s_pfnReportError(QString::fromLatin1(kCropFailed));
        return;
    }
    doc->m_Buffer.Push(part);
    m_View.Zoom().SetZoomValue(1.0);
    m_View.Selection().Drop();
    m_View.Zoom().UpdateZoomDisplay();
    m_View.ImageChanged();
    m_View.UpdateTimingPane();
}
