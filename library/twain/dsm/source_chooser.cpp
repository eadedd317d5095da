#include "source_chooser.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CSourceChooserDialog::CSourceChooserDialog(QWidget* parent, const std::vector<QString>& names, int current)
    : QDialog(parent), m_pList(new QListWidget)
{
    setObjectName(QStringLiteral("SelectSourceDialog"));
    setWindowTitle(QStringLiteral("Select Source"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Sources:")));
    for (const QString& name : names)
        m_pList->addItem(name);
    m_pList->setCurrentRow(current);
    layout->addWidget(m_pList);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    QPushButton* select = buttons->addButton(QStringLiteral("&Select"), QDialogButtonBox::AcceptRole);
    select->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    layout->addWidget(buttons);
}

int CSourceChooserDialog::Choose(QWidget* parent, const std::vector<QString>& names, int current)
{
    CSourceChooserDialog dialog(parent, names, current);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return dialog.m_pList->currentRow();
}
