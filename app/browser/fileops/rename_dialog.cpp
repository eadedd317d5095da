#include "rename_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CRenameDialog::CRenameDialog(const QString& name, QWidget* parent)
    : QDialog(parent), m_strOriginal(name), m_pEdit(new QLineEdit(name, this)),
      m_pOriginal(new QPushButton(tr("&Original Name"), this)), m_pSerial(new QPushButton(tr("&Serial Name"), this))
{
    setWindowTitle(tr("Rename File"));
    m_pSerial->setEnabled(false);
    m_pOriginal->setAutoDefault(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pEdit);
    auto* row = new QHBoxLayout;
    row->addWidget(m_pOriginal);
    row->addWidget(m_pSerial);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    row->addWidget(buttons);
    layout->addLayout(row);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pOriginal, &QPushButton::clicked, this, [this] { m_pEdit->setText(m_strOriginal); });
    m_pEdit->selectAll();
    setMinimumWidth(420);
}

QString CRenameDialog::GetName() const
{
    return m_pEdit->text();
}

void CRenameDialog::accept()
{
    const QString name = GetName();
    if (name.isEmpty() || name.contains(QLatin1Char('.')) || name.contains(QLatin1Char('/'))) {
        QApplication::beep();
        return;
    }
    QDialog::accept();
}
