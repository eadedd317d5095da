#include "enter_value_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

#include <cmath>

CEnterValueDialog::CEnterValueDialog(const QString& prompt, int value, int minimum, int maximum, QWidget* parent)
    : QDialog(parent), m_bDouble(false), m_nValue(value), m_nMinimum(minimum), m_nMaximum(maximum)
{
    Build(prompt, QString::number(value));
}

CEnterValueDialog::CEnterValueDialog(const QString& prompt, double value, double minimum, double maximum,
                                     QWidget* parent)
    : QDialog(parent), m_bDouble(value != 0), m_dValue(value), m_dMinimum(minimum), m_dMaximum(maximum)
{
    if (!m_bDouble) {
        m_nMinimum = int(minimum);
        m_nMaximum = int(maximum);
    }
    Build(prompt, m_bDouble ? QString::number(value) : QStringLiteral("0"));
}

void CEnterValueDialog::Build(const QString& prompt, const QString& text)
{
    setWindowTitle(tr("Enter Value"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(prompt, this);
    label->setWordWrap(true);
    layout->addWidget(label);
    m_pField = new QLineEdit(text, this);
    m_pField->selectAll();
    layout->addWidget(m_pField);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

bool CEnterValueDialog::ReadField()
{
    bool ok = false;
    const QString text = m_pField->text().trimmed();
    if (m_bDouble) {
        // "nan" and "inf" read as numbers; NaN would pass any range test.
        const double value = text.toDouble(&ok);
        if (!ok || !std::isfinite(value)) {
            QMessageBox::warning(this, windowTitle(), tr("Please enter a number."));
            return false;
        }
        if (m_dMinimum != m_dMaximum && (value < m_dMinimum || value > m_dMaximum)) {
            QMessageBox::warning(this, windowTitle(),
                                 tr("Please enter a number between %1 and %2.").arg(m_dMinimum).arg(m_dMaximum));
            return false;
        }
        m_dValue = value;
        return true;
    }
    const int value = text.toInt(&ok);
    if (!ok) {
        QMessageBox::warning(this, windowTitle(), tr("Please enter an integer."));
        return false;
    }
    if (m_nMinimum != m_nMaximum && (value < m_nMinimum || value > m_nMaximum)) {
        QMessageBox::warning(this, windowTitle(),
                             tr("Please enter an integer between %1 and %2.").arg(m_nMinimum).arg(m_nMaximum));
        return false;
    }
    m_nValue = value;
    return true;
}

void CEnterValueDialog::accept()
{
    if (!ReadField()) {
        m_pField->setFocus();
        m_pField->selectAll();
        return;
    }
    QDialog::accept();
}
