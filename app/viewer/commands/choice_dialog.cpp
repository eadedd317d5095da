#include "choice_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

CChoiceDialog::CChoiceDialog(const QString& text, const QStringList& entries, QWidget* parent)
    : QDialog(parent), m_pList(new QComboBox(this))
{
    setWindowTitle(tr("Choose"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(text, this));
    m_pList->addItems(entries);
    m_pList->setCurrentIndex(0);
    layout->addWidget(m_pList);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

int CChoiceDialog::Choice() const
{
    return m_pList->currentIndex();
}
