#include "viewer/image_info_dialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "image/velvix.h"

CImageInfoDlg::CImageInfoDlg(const QString& path, CVelvix& image, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Image Information"));
    const QFileInfo info(path);
    m_pFileName = new QLineEdit(info.fileName(), this);
    m_pFileName->setReadOnly(true);
    m_pFileName->setObjectName(QStringLiteral("fileName"));
    QString folder = path.isEmpty() ? QString() : info.absolutePath();
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    m_pFolder = new QLineEdit(folder, this);
    m_pFolder->setReadOnly(true);
    m_pFolder->setObjectName(QStringLiteral("folder"));
    const bool valid = image.IsValidObject();
    m_pWidth = new QLabel(QStringLiteral(" %1 pixels").arg(valid ? image.GetWidth() : 0), this);
    m_pHeight = new QLabel(QStringLiteral(" %1 pixels").arg(valid ? image.GetHeight() : 0), this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("File name:"), m_pFileName);
    form->addRow(QStringLiteral("Folder:"), m_pFolder);
    form->addRow(QStringLiteral("Width:"), m_pWidth);
    form->addRow(QStringLiteral("Height:"), m_pHeight);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}
