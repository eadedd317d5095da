#include "viewer/view/view_printing.h"

#include <QFileInfo>
#include <QPaintEngine>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>
#include <memory>
#include <new>

#include "shell/ambrel_app.h"
#include "support/wait_cursor.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/view/print_file.h"
#include "viewer/view/view_zoom.h"

using namespace viewcmd;

CViewPrinting::CViewPrinting(CAmbrelView& view) : CViewPart(view)
{
    OnCommand(ID_FILE_PRINT, [this](int) { _Print(false); });
    OnCommand(ID_FILE_PRINT_PREVIEW, [this](int) { _Print(true); });
}

namespace {

void Report(const QString& text)
{
    CAmbrelDoc::s_pfnReportError(text);
}

QString CannotPrintTo(const QString& file)
{
    return QStringLiteral("The picture could not be printed to\n%1").arg(file);
}

QString NoMemory()
{
    return QStringLiteral("The picture could not be printed: there is not enough memory.");
}

// A print whose engine found no memory to end, its output already given up.
// Its painter stays active (its destructor would try again and end the
// program), and so the printer busy, until a later try succeeds. Held by
// plain pointers: nothing of it is destroyed at exit, when the printer may
// be gone.
struct Unended {
    QPainter* painter = nullptr;
    QPrinter* printer = nullptr; // its own output name is given back
    QString file;
    CPrintFile* output = nullptr; // drains the pipe until the engine closes it
    bool ownsPrinter = false;
};
Unended s_unended;

} // namespace

bool CViewPrinting::FinishUnended()
{
    if (!s_unended.painter)
        return true;
    try {
        s_unended.painter->end();
    } catch (const std::bad_alloc&) {
        return false;
    }
    delete s_unended.painter;
    delete s_unended.output;
    if (s_unended.ownsPrinter)
        delete s_unended.printer;
    else if (s_unended.printer)
        s_unended.printer->setOutputFileName(s_unended.file);
    s_unended = Unended();
    return true;
}

bool CViewPrinting::FinishUnendedOrTell()
{
    if (FinishUnended())
        return true;
    Report(NoMemory());
    return false;
}

void CViewPrinting::PrintPage(QPaintDevice* device)
{
    CAmbrelDoc* doc = Doc();
    if (!doc || !doc->Image().IsValidObject())
        return;
    if (!FinishUnendedOrTell())
        return;
    auto* printer = dynamic_cast<QPrinter*>(device);
    const QString file = printer ? printer->outputFileName() : QString();
    // Print Preview paints the same printer through an engine of its own;
    // only the PDF engine writes the file.
    std::unique_ptr<CPrintFile> output;
    if (!file.isEmpty() && printer->paintEngine() && printer->paintEngine()->type() == QPaintEngine::Pdf) {
        output = std::make_unique<CPrintFile>(file);
        if (!output->IsFileName()) {
            Report(CannotPrintTo(file) +
                   QStringLiteral("\nThat name is a pipe, a device or a folder, not a file."));
            return;
        }
        const QString pipe = output->Start();
        if (pipe.isEmpty()) {
            Report(CannotPrintTo(file) +
                   (output->PipeUnnamed()
                        ? QStringLiteral("\nPrinting to a file needs the /proc file system, "
                                         "which is not available here.")
                        : QString()));
            return;
        }
        printer->setOutputFileName(pipe);
    }
    const Painted painted = _Paint(device, output.get());
    if (painted == Painted::Unended) {
        s_unended.printer = printer;
        s_unended.file = file;
        s_unended.output = output.release();
        Report(NoMemory());
        return;
    }
    if (output)
        printer->setOutputFileName(file);
    if (painted == Painted::NotStarted)
        // A printer that cannot start would otherwise end the job as if it
        // had printed.
        Report(file.isEmpty() ? QStringLiteral("The picture could not be printed.") : CannotPrintTo(file));
    else if (painted == Painted::OutOfMemory)
        Report(NoMemory());
    else if (output && !output->Commit())
        Report(CannotPrintTo(file) +
               QStringLiteral("\nThe file could not be written completely; the disk may be full."));
}

CViewPrinting::Painted CViewPrinting::_Paint(QPaintDevice* device, CPrintFile* output)
{
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(device))
        return Painted::NotStarted;
    if (output)
        output->WriterOpened();
    // The largest pictures take seconds to draw and write out.
    const CVxWaitCursor wait;
    const double screenDpi = m_View.logicalDpiX() > 0 ? m_View.logicalDpiX() : 96;
    const CViewZoom& zoom = m_View.Zoom();
    const double factor =
        device->logicalDpiX() / screenDpi * (zoom.IsAutoScale() ? zoom.Scale() : zoom.GetZoom());
    CVelvix& image = Doc()->Image();
    try {
        image.Draw(painter.get(), std::max(1, int(image.GetWidth() * factor)),
                   std::max(1, int(image.GetHeight() * factor)), false);
        painter->end();
        return Painted::Printed;
    } catch (const std::bad_alloc&) {
    }
    // The engine ends with what it has, which is then discarded. Should that
    // find no memory either, the painter is kept for a later try.
    try {
        painter->end();
    } catch (const std::bad_alloc&) {
        if (output)
            output->Drop();
        s_unended.painter = painter.release();
        return Painted::Unended;
    }
    return Painted::OutOfMemory;
}

void CViewPrinting::_Print(bool preview)
{
    // A busy printer would show and take nothing from the dialogs.
    if (!FinishUnendedOrTell())
        return;
    QPrinter* printer = AmbrelApp() ? AmbrelApp()->GetPrinter() : nullptr;
    std::unique_ptr<QPrinter> own;
    if (!printer) {
        own = std::make_unique<QPrinter>();
        printer = own.get();
    }
    if (CAmbrelDoc* doc = Doc())
        printer->setDocName(QFileInfo(doc->GetPathName()).fileName());
    if (preview) {
        QPrintPreviewDialog dialog(printer, &m_View);
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &m_View,
                         [this](QPrinter* p) { PrintPage(p); });
        dialog.exec();
    } else {
        QPrintDialog dialog(printer, &m_View);
        if (dialog.exec() == QDialog::Accepted)
            PrintPage(printer);
    }
    if (own && s_unended.printer == own.get())
        s_unended.ownsPrinter = own.release() != nullptr;
}
