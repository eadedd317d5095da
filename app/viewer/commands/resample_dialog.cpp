#include "resample_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "image/pixel_interface.h"

namespace {

// Runs a field's change handler only when no other handler is running, so
// that refreshing the other fields does not start a chain of updates.
class UpdateGuard {
public:
    explicit UpdateGuard(bool& flag) : m_flag(flag), m_bEntered(!flag) { m_flag = true; }
    ~UpdateGuard()
    {
        if (m_bEntered)
            m_flag = false;
    }
    bool Entered() const { return m_bEntered; }

private:
    bool& m_flag;
    bool m_bEntered;
};

// A side times a ratio, truncated. Typed ratios and long sides give
// products beyond an int (whose plain conversion is undefined): they are
// limited to its range, NaN gives 0, and OK refuses them like any side
// outside 1..65535.
int TruncatedSide(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(std::trunc(value), double(std::numeric_limits<int>::min()),
                          double(std::numeric_limits<int>::max())));
}

} // namespace

CResampleDialog::CResampleDialog(int width, int height, QWidget* parent)
    : QDialog(parent), m_nWidth(width), m_nHeight(height), m_nNewWidth(width), m_nNewHeight(height),
      m_pNewWidth(new QLineEdit(QString::number(width), this)),
      m_pNewHeight(new QLineEdit(QString::number(height), this)),
      m_pWidthRatio(new QLineEdit(QStringLiteral("1"), this)),
      m_pHeightRatio(new QLineEdit(QStringLiteral("1"), this)), m_pLock(new QCheckBox(tr("Lock aspect ratio"), this)),
      m_pFilter(new QComboBox(this))
{
    setWindowTitle(tr("Resample"));
    auto* form = new QFormLayout;
    form->addRow(tr("Width:"), new QLabel(QString::asprintf("%i", width), this));
    form->addRow(tr("Height:"), new QLabel(QString::asprintf("%i", height), this));
    form->addRow(tr("New width:"), m_pNewWidth);
    form->addRow(tr("New height:"), m_pNewHeight);
    form->addRow(tr("Width ratio:"), m_pWidthRatio);
    form->addRow(tr("Height ratio:"), m_pHeightRatio);
    m_pFilter->addItems({tr("Bilinear"), tr("B-Spline")});
    m_pFilter->setCurrentIndex(0);
    form->addRow(tr("Filter:"), m_pFilter);
    m_pLock->setChecked(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pLock);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(m_pNewWidth, &QLineEdit::textEdited, this, &CResampleDialog::OnNewWidth);
    connect(m_pNewHeight, &QLineEdit::textEdited, this, &CResampleDialog::OnNewHeight);
    connect(m_pWidthRatio, &QLineEdit::textEdited, this, &CResampleDialog::OnWidthRatio);
    connect(m_pHeightRatio, &QLineEdit::textEdited, this, &CResampleDialog::OnHeightRatio);
}

bool CResampleDialog::Locked() const
{
    return m_pLock->isChecked();
}

void CResampleDialog::Show(QLineEdit* field, double value)
{
    field->setText(QString::number(value));
}

void CResampleDialog::OnNewWidth()
{
    UpdateGuard guard(m_bUpdating);
    if (!guard.Entered())
        return;
    m_nNewWidth = m_pNewWidth->text().toInt();
    m_dWidthRatio = double(m_nNewWidth) / m_nWidth;
    Show(m_pWidthRatio, m_dWidthRatio);
    if (Locked()) {
        m_dHeightRatio = m_dWidthRatio;
        m_nNewHeight = TruncatedSide(m_nHeight * m_dHeightRatio);
        Show(m_pHeightRatio, m_dHeightRatio);
        Show(m_pNewHeight, m_nNewHeight);
    }
}

void CResampleDialog::OnNewHeight()
{
    UpdateGuard guard(m_bUpdating);
    if (!guard.Entered())
        return;
    m_nNewHeight = m_pNewHeight->text().toInt();
    m_dHeightRatio = double(m_nNewHeight) / m_nHeight;
    Show(m_pHeightRatio, m_dHeightRatio);
    if (Locked()) {
        m_dWidthRatio = m_dHeightRatio;
        m_nNewWidth = TruncatedSide(m_nWidth * m_dWidthRatio);
        Show(m_pWidthRatio, m_dWidthRatio);
        Show(m_pNewWidth, m_nNewWidth);
    }
}

void CResampleDialog::OnWidthRatio()
{
    UpdateGuard guard(m_bUpdating);
    if (!guard.Entered())
        return;
    m_dWidthRatio = m_pWidthRatio->text().toDouble();
    m_nNewWidth = TruncatedSide(m_nWidth * m_dWidthRatio);
    Show(m_pNewWidth, m_nNewWidth);
    if (Locked()) {
        m_dHeightRatio = m_dWidthRatio;
        m_nNewHeight = TruncatedSide(m_nHeight * m_dHeightRatio);
        Show(m_pHeightRatio, m_dHeightRatio);
        Show(m_pNewHeight, m_nNewHeight);
    }
}

void CResampleDialog::OnHeightRatio()
{
    UpdateGuard guard(m_bUpdating);
    if (!guard.Entered())
        return;
    m_dHeightRatio = m_pHeightRatio->text().toDouble();
    m_nNewHeight = TruncatedSide(m_nHeight * m_dHeightRatio);
    Show(m_pNewHeight, m_nNewHeight);
    if (Locked()) {
        m_dWidthRatio = m_dHeightRatio;
        m_nNewWidth = TruncatedSide(m_nWidth * m_dWidthRatio);
        Show(m_pWidthRatio, m_dWidthRatio);
        Show(m_pNewWidth, m_nNewWidth);
    }
}

void CResampleDialog::accept()
{
    m_nFilter = m_pFilter->currentIndex();
    bool widthOk = false, heightOk = false;
    const int newWidth = m_pNewWidth->text().toInt(&widthOk);
    const int newHeight = m_pNewHeight->text().toInt(&heightOk);
    // A picture needs at least one pixel each way; the library refuses sides
    // longer than 65535.
    for (auto [ok, value, field] : {std::tuple{widthOk, newWidth, m_pNewWidth}, std::tuple{heightOk, newHeight, m_pNewHeight}}) {
        if (!ok || value < 1 || value > 65535) {
            QMessageBox::warning(this, windowTitle(), tr("Please enter an integer between 1 and 65535."));
            field->setFocus();
            field->selectAll();
            return;
        }
    }
    if (!VxSizeAllowed(newWidth, newHeight)) {
        QMessageBox::warning(this, windowTitle(),
                             tr("A picture of %1 x %2 pixels is too large: it may hold at most %3 pixels.")
                                 .arg(newWidth)
                                 .arg(newHeight)
                                 .arg(kVxMaxPixels));
        m_pNewWidth->setFocus();
        m_pNewWidth->selectAll();
        return;
    }
    m_nNewWidth = newWidth;
    m_nNewHeight = newHeight;
    QDialog::accept();
}
