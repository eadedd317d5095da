#include "scan_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

#include "support/painting_threads.h"
#include "source_manager.h"

namespace {

const char* const kAreaOptions[4] = {"tl-x", "tl-y", "br-x", "br-y"};
constexpr int kPreviewSide = 240;

// The preview shows the packed bitmap as it will reach the application,
// sampled down to the size it is shown at: a picture of the whole glass would
// need memory that a high resolution may not leave, and drawing it scaled
// would hand the painting to Qt's thread pool, which waits for ever for a
// thread the system refuses. Null without the memory.
QImage PreviewImage(const SScannedPage& page, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const int bits = page.bitsPerPixel;
    const std::size_t rowBytes = (std::size_t(page.width) * bits + 31) / 32 * 4;
    const std::uint8_t* rows = page.dib.get() + 40 + (bits == 24 ? 0 : 4 << bits);
    const std::uint8_t* palette = page.dib.get() + 40;
    for (int y = 0; y < size.height(); ++y) {
        const int sourceY = int(std::int64_t(y) * page.height / size.height());
        const std::uint8_t* row = rows + rowBytes * std::size_t(page.height - 1 - sourceY);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int sourceX = int(std::int64_t(x) * page.width / size.width());
            if (bits == 24) {
                const std::uint8_t* pixel = row + 3 * std::size_t(sourceX);
                out[x] = qRgb(pixel[2], pixel[1], pixel[0]);
                continue;
            }
            const int index = bits == 1 ? (row[sourceX >> 3] >> (7 - (sourceX & 7))) & 1 : row[sourceX];
            const std::uint8_t* entry = palette + 4 * index;
            out[x] = qRgb(entry[2], entry[1], entry[0]);
        }
    }
    return image;
}

QString SaneText(SANE_Status status)
{
    return QString::fromUtf8(sane_strstatus(status));
}

} // namespace

CScanSourceDialog::CScanSourceDialog(QWidget* parent, CSaneDevice& device, bool showUI)
    : QDialog(parent), m_Device(device), m_bShowUI(showUI)
{
    setObjectName(QStringLiteral("ScanSourceDialog"));
    setWindowTitle(QStringLiteral("Scan"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    KeepPaintingThreads();
    auto* columns = new QHBoxLayout(this);
    auto* settings = new QVBoxLayout;
    m_pForm = new QFormLayout;
    settings->addLayout(m_pForm);
    m_pMode = _AddChoices("mode", QStringLiteral("&Mode:"));
    m_pDepth = _AddChoices("depth", QStringLiteral("Bit &depth:"));
    m_pSource = _AddChoices("source", QStringLiteral("&Paper source:"));
    const SSaneNumberChoices resolutions = m_Device.NumberChoices("resolution");
    if (resolutions.isList) {
        m_pResolutionList = new QComboBox;
        m_pResolutionList->setObjectName(QStringLiteral("resolution"));
        const double current = m_Device.GetNumber("resolution");
        for (double value : resolutions.values) {
            m_pResolutionList->addItem(QStringLiteral("%1 dpi").arg(value), value);
            if (value == current)
                m_pResolutionList->setCurrentIndex(m_pResolutionList->count() - 1);
        }
        m_pForm->addRow(QStringLiteral("&Resolution:"), m_pResolutionList);
    } else {
        m_pResolution = _AddNumber("resolution", QStringLiteral("&Resolution:"));
        if (m_pResolution)
            m_pResolution->setSuffix(QStringLiteral(" dpi"));
    }
    _BuildArea();
    m_pPages = new QSpinBox;
    m_pPages->setObjectName(QStringLiteral("pages"));
    m_pPages->setRange(1, 999);
    m_pForm->addRow(QStringLiteral("Pa&ges:"), m_pPages);

    m_pProgress = new QProgressBar;
    m_pProgress->setObjectName(QStringLiteral("progress"));
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    settings->addWidget(m_pProgress);
    m_pStatus = new QLabel;
    m_pStatus->setObjectName(QStringLiteral("status"));
    m_pStatus->setWordWrap(true);
    settings->addWidget(m_pStatus);
    auto* buttons = new QDialogButtonBox;
    m_pPreviewButton = buttons->addButton(QStringLiteral("Pre&view"), QDialogButtonBox::ActionRole);
    m_pPreviewButton->setObjectName(QStringLiteral("previewButton"));
    m_pScan = buttons->addButton(QStringLiteral("&Scan"), QDialogButtonBox::ActionRole);
    m_pScan->setObjectName(QStringLiteral("scanButton"));
    m_pScan->setDefault(true);
    m_pCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_pCancel->setObjectName(QStringLiteral("cancelButton"));
    connect(m_pPreviewButton, &QPushButton::clicked, this, &CScanSourceDialog::StartPreview);
    connect(m_pScan, &QPushButton::clicked, this, &CScanSourceDialog::StartScan);
    connect(m_pCancel, &QPushButton::clicked, this, &CScanSourceDialog::reject);
    settings->addStretch(1);
    settings->addWidget(buttons);
    columns->addLayout(settings);

    m_pPreview = new QLabel;
    m_pPreview->setObjectName(QStringLiteral("previewImage"));
    m_pPreview->setFixedSize(kPreviewSide, kPreviewSide);
    m_pPreview->setAlignment(Qt::AlignCenter);
    m_pPreview->setFrameShape(QFrame::StyledPanel);
    m_pPreview->setToolTip(QStringLiteral("Drag to choose the area to scan"));
    m_pPreview->installEventFilter(this);
    columns->addWidget(m_pPreview);
    for (int i = 0; i < 4; ++i) {
        const SSaneNumberChoices range = m_Device.NumberChoices(kAreaOptions[i]);
        m_Glass[i] = i < 2 ? range.min : range.max;
        if (m_pArea[i])
            connect(m_pArea[i], &QDoubleSpinBox::valueChanged, this, &CScanSourceDialog::_DrawPreview);
    }
    _DrawPreview();
}

// Where the glass lies in the preview label, in its pixels.
QRectF CScanSourceDialog::_PreviewFrame() const
{
    const double w = m_Glass[2] - m_Glass[0], h = m_Glass[3] - m_Glass[1];
    if (w <= 0 || h <= 0)
        return {};
    const double scale = std::min((kPreviewSide - 4) / w, (kPreviewSide - 4) / h);
    const QSizeF size(w * scale, h * scale);
    return {QPointF((kPreviewSide - size.width()) / 2, (kPreviewSide - size.height()) / 2), size};
}

// The preview's pixels in the label: the glass's frame, whole pixels.
QRect CScanSourceDialog::_PreviewTarget() const
{
    const QRectF frame = _PreviewFrame();
    return {QPoint(qRound(frame.left()), qRound(frame.top())),
            QSize(std::max(1, qRound(frame.width())), std::max(1, qRound(frame.height())))};
}

void CScanSourceDialog::_DrawPreview()
{
    const QRectF frame = _PreviewFrame();
    if (frame.isEmpty() || !m_pArea[0] || !m_pArea[1] || !m_pArea[2] || !m_pArea[3])
        return;
    QPixmap pixmap(kPreviewSide, kPreviewSide);
    pixmap.fill(palette().color(QPalette::Window));
    QPainter painter(&pixmap);
    painter.fillRect(frame, Qt::white);
    if (!m_Preview.isNull())
        painter.drawImage(_PreviewTarget().topLeft(), m_Preview);
    const double sx = frame.width() / (m_Glass[2] - m_Glass[0]), sy = frame.height() / (m_Glass[3] - m_Glass[1]);
    const QRectF area(QPointF(frame.left() + (m_pArea[0]->value() - m_Glass[0]) * sx,
                              frame.top() + (m_pArea[1]->value() - m_Glass[1]) * sy),
                      QPointF(frame.left() + (m_pArea[2]->value() - m_Glass[0]) * sx,
                              frame.top() + (m_pArea[3]->value() - m_Glass[1]) * sy));
    painter.setPen(QPen(Qt::red, 1, Qt::DashLine));
    painter.drawRect(area.normalized());
    painter.end();
    m_pPreview->setPixmap(pixmap);
}

// Dragging over the preview sets the scan area.
bool CScanSourceDialog::eventFilter(QObject* watched, QEvent* event)
{
    const bool press = event->type() == QEvent::MouseButtonPress;
    if (watched != m_pPreview || (!press && event->type() != QEvent::MouseMove) || IsScanning() ||
        !m_pArea[0] || !m_pArea[1] || !m_pArea[2] || !m_pArea[3])
        return QDialog::eventFilter(watched, event);
    const QRectF frame = _PreviewFrame();
    const QPointF at = static_cast<QMouseEvent*>(event)->position();
    if (press)
        m_DragStart = at;
    if (frame.isEmpty() || (!press && !(static_cast<QMouseEvent*>(event)->buttons() & Qt::LeftButton)))
        return true;
    const QRectF chosen = QRectF(m_DragStart, at).normalized().intersected(frame);
    if (press || chosen.isEmpty())
        return true;
    const double sx = (m_Glass[2] - m_Glass[0]) / frame.width(), sy = (m_Glass[3] - m_Glass[1]) / frame.height();
    m_pArea[0]->setValue(m_Glass[0] + (chosen.left() - frame.left()) * sx);
    m_pArea[1]->setValue(m_Glass[1] + (chosen.top() - frame.top()) * sy);
    m_pArea[2]->setValue(m_Glass[0] + (chosen.right() - frame.left()) * sx);
    m_pArea[3]->setValue(m_Glass[1] + (chosen.bottom() - frame.top()) * sy);
    return true;
}

CScanSourceDialog::~CScanSourceDialog()
{
    StopScan();
}

QComboBox* CScanSourceDialog::_AddChoices(const char* option, const QString& label)
{
    const bool number = option == std::string("depth");
    QComboBox* box = new QComboBox;
    box->setObjectName(QString::fromLatin1(option));
    if (number) {
        const SSaneNumberChoices choices = m_Device.NumberChoices(option);
        for (double value : choices.values)
            box->addItem(QString::number(value), value);
        box->setCurrentIndex(box->findData(m_Device.GetNumber(option)));
    } else {
        for (const std::string& choice : m_Device.StringChoices(option))
            box->addItem(QString::fromStdString(choice));
        box->setCurrentText(QString::fromStdString(m_Device.GetString(option)));
    }
    if (box->count() == 0) {
        delete box;
        return nullptr;
    }
    m_pForm->addRow(label, box);
    return box;
}

QDoubleSpinBox* CScanSourceDialog::_AddNumber(const char* option, const QString& label)
{
    if (!m_Device.HasOption(option))
        return nullptr;
    const SSaneNumberChoices choices = m_Device.NumberChoices(option);
    auto* box = new QDoubleSpinBox;
    box->setObjectName(QString::fromLatin1(option));
    box->setDecimals(1);
    box->setRange(choices.min, choices.max);
    if (choices.step > 0)
        box->setSingleStep(choices.step);
    box->setValue(m_Device.GetNumber(option));
    m_pForm->addRow(label, box);
    return box;
}

void CScanSourceDialog::_BuildArea()
{
    const QString labels[4] = {QStringLiteral("&Left:"), QStringLiteral("&Top:"), QStringLiteral("R&ight:"),
                               QStringLiteral("&Bottom:")};
    const QString names[4] = {QStringLiteral("left"), QStringLiteral("top"), QStringLiteral("right"),
                              QStringLiteral("bottom")};
    for (int i = 0; i < 4; ++i) {
        m_pArea[i] = _AddNumber(kAreaOptions[i], labels[i]);
        if (!m_pArea[i])
            continue;
        m_pArea[i]->setObjectName(names[i]);
        m_pArea[i]->setSuffix(m_Device.IsPixelUnit(kAreaOptions[i]) ? QStringLiteral(" px") : QStringLiteral(" mm"));
    }
}

// Hands the dialog's values to the device; false when the area is empty.
bool CScanSourceDialog::_Apply()
{
    if (m_pSource)
        m_Device.SetString("source", m_pSource->currentText().toStdString());
    if (m_pMode)
        m_Device.SetString("mode", m_pMode->currentText().toStdString());
    if (m_pDepth && m_pDepth->currentIndex() >= 0)
        m_Device.SetNumber("depth", m_pDepth->currentData().toDouble());
    if (m_pResolutionList)
        m_Device.SetNumber("resolution", m_pResolutionList->currentData().toDouble());
    if (m_pResolution)
        m_Device.SetNumber("resolution", m_pResolution->value());
    if (m_pArea[0] && m_pArea[2] && m_pArea[2]->value() <= m_pArea[0]->value())
        return false;
    if (m_pArea[1] && m_pArea[3] && m_pArea[3]->value() <= m_pArea[1]->value())
        return false;
    for (int i = 0; i < 4; ++i)
        if (m_pArea[i])
            m_Device.SetNumber(kAreaOptions[i], m_pArea[i]->value());
    return true;
}

void CScanSourceDialog::StartScan()
{
    if (IsScanning() || m_bWaitingForTransfer)
        return;
    if (!_Apply()) {
        m_pStatus->setText(QStringLiteral("The scan area is empty."));
        if (!m_bShowUI)
            CTwainSourceManager::Instance().CloseRequested();
        return;
    }
    _Start(m_pPages->value(), m_Device.GetNumber("resolution"), false);
}

void CScanSourceDialog::StartPreview()
{
    if (IsScanning() || m_bWaitingForTransfer)
        return;
    _Apply();
    // The whole glass at a low resolution.
    const SSaneNumberChoices resolutions = m_Device.NumberChoices("resolution");
    double low = resolutions.isList ? resolutions.values.empty() ? 0 : resolutions.values.front()
                                    : std::max(resolutions.min, std::min(resolutions.max, 30.0));
    for (double value : resolutions.values)
        if (value >= 30 && (low < 30 || value < low))
            low = value;
    if (low > 0)
        m_Device.SetNumber("resolution", low);
    for (int i = 0; i < 4; ++i) {
        const SSaneNumberChoices range = m_Device.NumberChoices(kAreaOptions[i]);
        m_Device.SetNumber(kAreaOptions[i], i < 2 ? range.min : range.max);
    }
    _Start(1, m_Device.GetNumber("resolution"), true);
}

void CScanSourceDialog::_Start(int pages, double resolution, bool preview)
{
    StopScan();
    m_bCancel = false;
    m_bWorkerDone = false;
    _SetBusy(true, preview ? QStringLiteral("Previewing...") : QStringLiteral("Scanning..."));
    // A thread the system cannot start fails this scan alone: out of the
    // button's handler the exception would end the program.
    try {
        m_Worker = std::thread([this, pages, resolution, preview] { _Run(pages, resolution, preview); });
    } catch (const std::system_error&) {
        _NotStarted(VxWhyThreadRefused());
    } catch (const std::bad_alloc&) {
        _NotStarted(EThreadRefusal::ShortOfMemory);
    }
}

void CScanSourceDialog::_NotStarted(EThreadRefusal why)
{
    _SetBusy(false, why == EThreadRefusal::ShortOfMemory
                        ? QStringLiteral("The scan could not be started: there is not enough memory.")
                        : QStringLiteral("The scan could not be started: the system refused to start another task."));
    if (!m_bShowUI)
        CTwainSourceManager::Instance().CloseRequested();
}

void CScanSourceDialog::_Run(int pages, double resolution, bool preview)
{
    std::vector<SScannedPage> done;
    SANE_Status status = SANE_STATUS_GOOD;
    int last = -1;
    auto progress = [this, &last](int percent) {
        if (percent == last)
            return;
        last = percent;
        QMetaObject::invokeMethod(this, [this, percent] { m_pProgress->setValue(percent); }, Qt::QueuedConnection);
    };
    for (int i = 0; i < pages && status == SANE_STATUS_GOOD; ++i) {
        try {
            SSaneImage image;
            status = m_Device.Scan(image, m_bCancel, progress);
            SScannedPage page;
            if (status == SANE_STATUS_GOOD && !VxPackDib(image, resolution, page))
                status = SANE_STATUS_INVAL;
            if (status == SANE_STATUS_GOOD)
                done.push_back(std::move(page));
        } catch (const std::bad_alloc&) {
            status = SANE_STATUS_NO_MEM;
        }
    }
    m_Device.EndScan();
    QMetaObject::invokeMethod(
        this, [this, status, done = std::move(done), preview]() mutable { _Finished(status, std::move(done), preview); },
        Qt::QueuedConnection);
    m_bWorkerDone = true;
}

void CScanSourceDialog::_Finished(SANE_Status status, std::vector<SScannedPage> pages, bool preview)
{
    if (m_Worker.joinable())
        m_Worker.join();
    const bool cancelled = status == SANE_STATUS_CANCELLED || m_bCancel;
    // An emptied feeder ends a run of pages normally.
    const bool failed = !cancelled && status != SANE_STATUS_GOOD && !(status == SANE_STATUS_NO_DOCS && !pages.empty());
    QString text;
    if (cancelled)
        text = QStringLiteral("The scan was cancelled.");
    else if (failed && status == SANE_STATUS_NO_MEM)
        text = QStringLiteral("The scan failed: the picture is too large for the memory. Choose a lower resolution "
                              "or a smaller area.");
    else if (failed && status == SANE_STATUS_EOF)
        text = QStringLiteral("The scan failed: the scanner ended the picture early.");
    else if (failed)
        text = QStringLiteral("The scan failed: %1.").arg(SaneText(status));
    if (cancelled)
        pages.clear();
    if (preview && !pages.empty()) {
        m_Preview = PreviewImage(pages.front(), _PreviewTarget().size());
        if (m_Preview.isNull())
            text = QStringLiteral("The preview could not be shown: there is not enough memory.");
        _DrawPreview();
        pages.clear();
    }
    _SetBusy(false, text);
    if (!pages.empty()) {
        m_bWaitingForTransfer = true;
        _SetBusy(false, text);
        CTwainSourceManager::Instance().PagesScanned(std::move(pages));
    } else if (!m_bShowUI) {
        CTwainSourceManager::Instance().CloseRequested();
    }
}

void CScanSourceDialog::TransfersDone()
{
    m_bWaitingForTransfer = false;
    _SetBusy(false, m_pStatus->text());
    if (!m_bShowUI)
        CTwainSourceManager::Instance().CloseRequested();
}

void CScanSourceDialog::_SetBusy(bool busy, const QString& status)
{
    for (QWidget* widget : findChildren<QWidget*>())
        if (qobject_cast<QComboBox*>(widget) || qobject_cast<QAbstractSpinBox*>(widget))
            widget->setEnabled(!busy);
    m_pScan->setEnabled(!busy && !m_bWaitingForTransfer);
    m_pPreviewButton->setEnabled(!busy && !m_bWaitingForTransfer);
    m_pStatus->setText(status);
    if (busy)
        m_pProgress->setValue(0);
}

bool CScanSourceDialog::StopScan(std::chrono::milliseconds patience)
{
    m_bCancel = true;
    if (!m_Worker.joinable())
        return true;
    const std::chrono::milliseconds step(10);
    for (std::chrono::milliseconds waited(0); !m_bWorkerDone && waited < patience; waited += step)
        std::this_thread::sleep_for(step);
    if (!m_bWorkerDone)
        return false;
    m_Worker.join();
    return true;
}

// Cancel stops a running scan; otherwise it asks the application to close
// the source. The dialog stays until the source is disabled.
void CScanSourceDialog::reject()
{
    if (IsScanning()) {
        m_bCancel = true;
        return;
    }
    CTwainSourceManager::Instance().CloseRequested();
}
