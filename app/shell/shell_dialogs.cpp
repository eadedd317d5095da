#include "shell/shell_dialogs.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "support/vx_helper.h"

CQuickFilenameSearchDlg::CQuickFilenameSearchDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Quick filename search"));
    m_pEdit = new QLineEdit;
    m_pEdit->setMinimumWidth(420);
    m_pBrowse = new QPushButton(QStringLiteral("&..."));
    m_pBrowse->setAutoDefault(false);

    m_pModel = new QFileSystemModel(this);
    m_pModel->setRootPath(QString());
    m_pModel->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    m_pCompleter = new QCompleter(m_pModel, this);
    m_pCompleter->setCompletionMode(QCompleter::PopupCompletion);
    m_pCompleter->setCaseSensitivity(Qt::CaseSensitive);
    m_pEdit->setCompleter(m_pCompleter);
    // Tab takes the highlighted suggestion instead of moving the focus.
    m_pEdit->installEventFilter(this);
    m_pCompleter->popup()->installEventFilter(this);
    connect(m_pEdit, &QLineEdit::textEdited, this, &CQuickFilenameSearchDlg::_CompleteInLine);
    // The model reads folders in the background: complete again once the
    // folder being typed into has been read.
    connect(m_pModel, &QFileSystemModel::directoryLoaded, this, [this] {
        if (!m_pEdit->hasFocus())
            return;
        const QString typed = m_pEdit->hasSelectedText() ? m_pEdit->text().left(m_pEdit->selectionStart())
                                                         : m_pEdit->text();
        if (typed.isEmpty())
            return;
        _CompleteInLine(typed);
        m_pCompleter->complete();
    });
    connect(m_pBrowse, &QPushButton::clicked, this, &CQuickFilenameSearchDlg::_OnBrowse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(m_pEdit);
    row->addWidget(m_pBrowse);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

void CQuickFilenameSearchDlg::_CompleteInLine(const QString& typed)
{
    if (typed.isEmpty())
        return;
    const qsizetype slash = typed.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0)
        m_pModel->index(typed.left(slash + 1)); // starts reading that folder
    m_pCompleter->setCompletionPrefix(typed);
    const QString match = m_pCompleter->currentCompletion();
    if (match.startsWith(typed) && match.size() > typed.size()) {
        m_pEdit->setText(match);
        m_pEdit->setSelection(int(typed.size()), int(match.size() - typed.size()));
    }
}

QString CQuickFilenameSearchDlg::GetText() const
{
    return m_pEdit->text();
}

bool CQuickFilenameSearchDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab) {
        QAbstractItemView* popup = m_pCompleter->popup();
        if (watched == popup || (watched == m_pEdit && popup->isVisible())) {
            const QModelIndex index = popup->currentIndex().isValid() ? popup->currentIndex()
                                                                       : m_pCompleter->completionModel()->index(0, 0);
            if (index.isValid())
                m_pEdit->setText(index.data(Qt::EditRole).toString());
            popup->hide();
            return true;
        }
        if (watched == m_pEdit && m_pEdit->hasSelectedText()) {
            m_pEdit->deselect();
            m_pEdit->end(false);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CQuickFilenameSearchDlg::_OnBrowse()
{
    const QString folder = CVxHelper::BrowseForFolder(this, QStringLiteral("Browse"), 0, false);
    if (folder.isEmpty())
        return;
    m_pEdit->setText(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
    m_pEdit->setFocus();
}

CSubFolderAskDialog::CSubFolderAskDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Choose Folder"));
    m_pCurrent = new QPushButton(QStringLiteral("&Current Folder"));
    m_pBrowse = new QPushButton(QStringLiteral("&Browse For Folder"));
    m_pCurrent->setDefault(true);
    connect(m_pCurrent, &QPushButton::clicked, this, [this] {
        m_nChoice = 0;
        accept();
    });
    connect(m_pBrowse, &QPushButton::clicked, this, [this] {
        m_nChoice = 1;
        accept();
    });
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_pCurrent);
    layout->addWidget(m_pBrowse);
}

int CSubFolderAskDialog::Ask()
{
    m_nChoice = -1;
    return exec() == QDialog::Accepted ? m_nChoice : -1;
}

QString CAboutDlg::BuildStamp()
{
    return QString::asprintf("%s, %s", __DATE__, __TIME__);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About ambrel"));
    auto* icon = new QLabel;
    icon->setPixmap(QIcon(QStringLiteral(":/icons/ambrel.png")).pixmap(48, 48));
    auto* name = new QLabel(QStringLiteral("Ambrel Version 1.5.1"));
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto* owner = new QLabel(QStringLiteral("Copyright (C) the Ambrel and Velvix developers"));
    auto* subject = new QLabel(QStringLiteral("Digital Image Processing"));
    auto* usage = new QLabel(QStringLiteral("Free to use and to share. Open an image, a folder or a set of "
                                            "thumbnails from the File menu, or drop a file on the window."));
    usage->setWordWrap(true);
    auto* mail = new QLabel(QStringLiteral("<a href=\"mailto:ambrel@example.org\">ambrel@example.org</a>"));
    auto* web = new QLabel(QStringLiteral("<a href=\"https://example.org/ambrel\">https://example.org/ambrel</a>"));
    for (QLabel* link : {mail, web}) {
        link->setTextFormat(Qt::RichText);
        link->setTextInteractionFlags(Qt::TextBrowserInteraction);
        link->setOpenExternalLinks(true);
    }
    m_pBuildStamp = new QLabel(BuildStamp());
    m_pBuildStamp->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(name, 0, 1);
    grid->addWidget(owner, 1, 1);
    grid->addWidget(subject, 2, 1);
    grid->addWidget(usage, 3, 1);
    grid->addWidget(mail, 4, 1);
    grid->addWidget(web, 5, 1);
    grid->addWidget(m_pBuildStamp, 6, 1);
    grid->addWidget(buttons, 7, 0, 1, 2);
}
