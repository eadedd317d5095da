#include "histogram_bar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>
#include <new>

#include "bar_image_source.h"
#include "image/velvix.h"

namespace {

const char* const kCheckKeys[3] = {"RCHECK", "GCHECK", "BCHECK"};
const int kCheckDefaults[3] = {1, 0, 0};
const Qt::GlobalColor kCurveColours[3] = {Qt::red, Qt::green, Qt::blue};

// A horizontal or vertical line without its end point, as the curves were
// designed to be drawn: a count of 0 draws nothing.
void DrawLineTo(QPainter& painter, int x0, int y0, int x1, int y1)
{
    if (x0 == x1 && y0 == y1)
        return;
    const int stepX = x1 > x0 ? 1 : (x1 < x0 ? -1 : 0), stepY = y1 > y0 ? 1 : (y1 < y0 ? -1 : 0);
    painter.drawLine(x0, y0, x1 - stepX, y1 - stepY);
}

} // namespace

CHistogramDialogBar::CHistogramDialogBar(QWidget* parent) : CUpdateDialogBar(parent)
{
    setMinimumSize(280, 220);
    auto* boxes = new QHBoxLayout;
    const QString labels[3] = {tr("&R"), tr("&G"), tr("&B")};
    for (int c = 0; c < 3; ++c) {
        m_pBoxes[c] = new QCheckBox(labels[c], this);
        connect(m_pBoxes[c], &QCheckBox::toggled, this, qOverload<>(&QWidget::update));
        boxes->addWidget(m_pBoxes[c]);
    }
    boxes->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addLayout(boxes);
    ReadCheckStates();
}

CHistogramDialogBar::~CHistogramDialogBar()
{
    WriteCheckStates();
}

void CHistogramDialogBar::ReadCheckStates()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("HistogramBar"));
    for (int c = 0; c < 3; ++c)
        m_pBoxes[c]->setChecked(settings.value(QLatin1String(kCheckKeys[c]), kCheckDefaults[c]).toInt() == 1);
}

void CHistogramDialogBar::WriteCheckStates() const
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("HistogramBar"));
    for (int c = 0; c < 3; ++c)
        settings.setValue(QLatin1String(kCheckKeys[c]), m_pBoxes[c]->isChecked() ? 1 : 0);
}

void CHistogramDialogBar::SetHistogram(const Counts& red, const Counts& green, const Counts& blue)
{
    m_Counts = {red, green, blue};
    m_nLargest = 0;
    for (const Counts& counts : m_Counts)
        m_nLargest = std::max(m_nLargest, *std::max_element(counts.begin(), counts.end()));
    m_bEmpty = false;
    update();
}

void CHistogramDialogBar::SetEmpty()
{
    m_bEmpty = true;
    update();
}

void CHistogramDialogBar::Recompute(CBarImageSource& source)
{
    int red[256], green[256], blue[256], largest = 0;
    // The counting tables may not be had when memory runs short: the bar
    // then shows nothing rather than ending the program on the window's
    // thread, and counts again at the picture's next change.
    try {
        source.BarImage()->GetHistogram(red, green, blue, largest);
    } catch (const std::bad_alloc&) {
        SetEmpty();
        return;
    }
    Counts counts[3];
    for (int i = 0; i < 256; ++i) {
        counts[0][i] = unsigned(red[i]);
        counts[1][i] = unsigned(green[i]);
        counts[2][i] = unsigned(blue[i]);
    }
    SetHistogram(counts[0], counts[1], counts[2]);
}

int CHistogramDialogBar::CurveHeight(unsigned count, unsigned largest)
{
    return largest == 0 ? 0 : int(static_cast<unsigned long long>(count) * 140 / largest);
}

void CHistogramDialogBar::paintEvent(QPaintEvent*)
{
    if (m_bEmpty)
        return;
    if (std::none_of(m_pBoxes.begin(), m_pBoxes.end(), [](QCheckBox* box) { return box->isChecked(); }))
        return;
    QPainter painter(this);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    painter.setFont(font);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(10, 20, QString::asprintf("Pixels : %i", int(m_nLargest)));
    painter.drawText(10, 184, QStringLiteral("Color Level : 0 - 255"));
    for (int c = 0; c < 3; ++c) {
        if (!m_pBoxes[c]->isChecked())
            continue;
        painter.setPen(QPen(kCurveColours[c], 1));
        DrawLineTo(painter, 10, 175, 270, 175);
        DrawLineTo(painter, 10, 175, 10, 35);
        for (int i = 0; i < 256; ++i)
            DrawLineTo(painter, i + 11, 174, i + 11, 174 - CurveHeight(m_Counts[c][i], m_nLargest));
    }
}
