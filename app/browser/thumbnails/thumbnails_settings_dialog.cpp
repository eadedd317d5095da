#include "browser/thumbnails/thumbnails_settings_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "browser/thumbnails/thumbnails_view.h"

CThumbnailsSettingsDlg::CThumbnailsSettingsDlg(CThumbnailsView* view, QWidget* parent)
    : QDialog(parent), m_pView(view), m_nOriginalSize(view->ThumbnailSize())
{
    setWindowTitle(QStringLiteral("Thumbnails Settings"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Thumbnail size:"), this));
    m_pSize = new QLineEdit(QString::number(m_nOriginalSize), this);
    m_pSize->setObjectName(QStringLiteral("1019"));
    row->addWidget(m_pSize);
    // The arrows step the edit; the edit is what counts.
    m_pSpin = new QSpinBox(this);
    m_pSpin->setObjectName(QStringLiteral("1020"));
    m_pSpin->setRange(CThumbnailsView::kMinSize, CThumbnailsView::kMaxSize);
    m_pSpin->setValue(m_nOriginalSize);
    m_pSpin->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    m_pSpin->setFixedWidth(m_pSpin->sizeHint().height());
    m_pSpin->setStyleSheet(QStringLiteral("QSpinBox { color: transparent; }"));
    row->addWidget(m_pSpin);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_pOk = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CThumbnailsSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CThumbnailsSettingsDlg::reject);
    connect(m_pSize, &QLineEdit::textEdited, this, &CThumbnailsSettingsDlg::_OnEdited);
    connect(m_pSpin, qOverload<int>(&QSpinBox::valueChanged), this, [this](int value) {
        m_pSize->setText(QString::number(value));
        _OnEdited(m_pSize->text());
    });
}

bool CThumbnailsSettingsDlg::_Value(int& value) const
{
    bool ok = false;
    value = m_pSize->text().trimmed().toInt(&ok);
    return ok && value >= CThumbnailsView::kMinSize && value <= CThumbnailsView::kMaxSize;
}

void CThumbnailsSettingsDlg::_OnEdited(const QString& /*text*/)
{
    int value;
    if (!_Value(value))
        return;
    QSignalBlocker block(m_pSpin);
    m_pSpin->setValue(value);
    m_pView->SetThumbnailSize(value);
}

void CThumbnailsSettingsDlg::accept()
{
    int value;
    if (!_Value(value))
        return; // stays open
    m_pView->SetThumbnailSize(value);
    QDialog::accept();
}

void CThumbnailsSettingsDlg::reject()
{
    m_pView->SetThumbnailSize(m_nOriginalSize);
    QDialog::reject();
}
