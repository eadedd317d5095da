#include "viewer/view/view_printing.h"

#include <QFileInfo>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>
#include <memory>

#include "shell/ambrel_app.h"
#include "support/wait_cursor.h"
#include "viewer/ambrel_doc.h"
#include "viewer/ambrel_view.h"
#include "viewer/view/view_zoom.h"

using namespace viewcmd;

CViewPrinting::CViewPrinting(CAmbrelView& view) : CViewPart(view)
{
    OnCommand(ID_FILE_PRINT, [this](int) { _Print(false); });
    OnCommand(ID_FILE_PRINT_PREVIEW, [this](int) { _Print(true); });
}

void CViewPrinting::PrintPage(QPaintDevice* device)
{
    CAmbrelDoc* doc = Doc();
    if (!doc || !doc->Image().IsValidObject())
        return;
    QPainter painter;
    if (!painter.begin(device)) {
        // A printer that cannot start (a PDF file in a folder that cannot be
        // written, say) would otherwise end the job as if it had printed.
        auto* printer = dynamic_cast<QPrinter*>(device);
        const QString file = printer ? printer->outputFileName() : QString();
        CAmbrelDoc::s_pfnReportError(file.isEmpty()
                                         ? QStringLiteral("The picture could not be printed.")
                                         : QStringLiteral("The picture could not be printed to\n%1").arg(file));
        return;
    }
    // The largest pictures take seconds to draw and write out.
    const CVxWaitCursor wait;
    const double screenDpi = m_View.logicalDpiX() > 0 ? m_View.logicalDpiX() : 96;
    const CViewZoom& zoom = m_View.Zoom();
    const double factor = device->logicalDpiX() / screenDpi * (zoom.IsAutoScale() ? zoom.Scale() : zoom.GetZoom());
    CVelvix& image = doc->Image();
    image.Draw(&painter, std::max(1, int(image.GetWidth() * factor)), std::max(1, int(image.GetHeight() * factor)),
               false);
    painter.end();
}

void CViewPrinting::_Print(bool preview)
{
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
        return;
    }
    QPrintDialog dialog(printer, &m_View);
    if (dialog.exec() == QDialog::Accepted)
        PrintPage(printer);
}
