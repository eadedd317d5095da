#include "settings/settings_sheet.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabWidget>
#include <QVBoxLayout>

const char* const CSettingsSheet::kIntegerMessage = "Please enter an integer.";
const char* const CSettingsSheet::kIntegerRangeMessage = "Please enter an integer between %1 and %2.";

namespace {

QCheckBox* AddCheck(QVBoxLayout* layout, const char* text)
{
    auto* box = new QCheckBox(QString::fromUtf8(text));
    layout->addWidget(box);
    return box;
}

void SetCheck(QCheckBox* box, std::int32_t value)
{
    box->setChecked(value != 0);
}

std::int32_t GetCheck(const QCheckBox* box)
{
    return box->isChecked() ? 1 : 0;
}

} // namespace

CGeneralSettingsPage::CGeneralSettingsPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    m_pRememberOpenedDocuments = AddCheck(layout, "&Remember opened documents");
    m_pOpenFullScreenWithDocument = AddCheck(layout, "&Open full screen when starting with a document");
    m_pOpenMaximized = AddCheck(layout, "&Open documents maximized by default");
    m_pSlowComputer = AddCheck(layout, "&I have a slow computer");
    m_pCheckForNewVersion = AddCheck(layout, "&Check for newer version upon start");
    m_pRememberRecentFiles = AddCheck(layout, "&Remember Recent File List");
    m_pResampleThumbnails = AddCheck(layout, "&Resample Thumbnails for better quality (slower)");
    layout->addStretch();
}

void CGeneralSettingsPage::Load(const SGeneralSettings& settings)
{
    SetCheck(m_pRememberOpenedDocuments, settings.bRememberOpenedDocuments);
    SetCheck(m_pOpenFullScreenWithDocument, settings.bOpenFullScreenWithDocument);
    SetCheck(m_pOpenMaximized, settings.bOpenMaximized);
    SetCheck(m_pSlowComputer, settings.bSlowComputer);
    SetCheck(m_pCheckForNewVersion, settings.bCheckForNewVersion);
    SetCheck(m_pRememberRecentFiles, settings.bRememberRecentFiles);
    SetCheck(m_pResampleThumbnails, settings.bResampleThumbnails);
}

void CGeneralSettingsPage::Store(SGeneralSettings& settings) const
{
    settings.bRememberOpenedDocuments = GetCheck(m_pRememberOpenedDocuments);
    settings.bOpenFullScreenWithDocument = GetCheck(m_pOpenFullScreenWithDocument);
    settings.bOpenMaximized = GetCheck(m_pOpenMaximized);
    settings.bSlowComputer = GetCheck(m_pSlowComputer);
    settings.bCheckForNewVersion = GetCheck(m_pCheckForNewVersion);
    settings.bRememberRecentFiles = GetCheck(m_pRememberRecentFiles);
    settings.bResampleThumbnails = GetCheck(m_pResampleThumbnails);
}

CFileSettingsPage::CFileSettingsPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    m_pAutoRenameDifferentSizes = AddCheck(layout, "&Auto rename, during file Copy/Move, only if different sizes");
    m_pBrowseGroupOnly = AddCheck(
        layout, "When you open an Image file from the thumbnails, browse the specific group only (recommended)");
    m_pNoEnlargeInSlideshow = AddCheck(layout, "Do not enlarge images in Slideshow Mode");
    m_pMoveToTrash = AddCheck(layout, "Move deleted files to the trash");
    layout->addStretch();
}

void CFileSettingsPage::Load(const SGeneralSettings& settings)
{
    SetCheck(m_pAutoRenameDifferentSizes, settings.bAutoRenameDifferentSizes);
    SetCheck(m_pBrowseGroupOnly, settings.bBrowseGroupOnly);
    SetCheck(m_pNoEnlargeInSlideshow, settings.bNoEnlargeInSlideshow);
    m_pMoveToTrash->setChecked(MoveDeletedFilesToTrash());
}

void CFileSettingsPage::Store(SGeneralSettings& settings) const
{
    settings.bAutoRenameDifferentSizes = GetCheck(m_pAutoRenameDifferentSizes);
    settings.bBrowseGroupOnly = GetCheck(m_pBrowseGroupOnly);
    settings.bNoEnlargeInSlideshow = GetCheck(m_pNoEnlargeInSlideshow);
}

CScanSettingsPage::CScanSettingsPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    m_pAutoCropScanned = AddCheck(layout, "&Auto crop scanned image");
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Auto crop tolerance value:"));
    m_pAutoCropTolerance = new QLineEdit;
    m_pAutoCropTolerance->setMaxLength(10);
    label->setBuddy(m_pAutoCropTolerance);
    row->addWidget(label);
    row->addWidget(m_pAutoCropTolerance);
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
}

void CScanSettingsPage::Load(const SGeneralSettings& settings)
{
    SetCheck(m_pAutoCropScanned, settings.bAutoCropScanned);
    m_pAutoCropTolerance->setText(QString::number(settings.nAutoCropTolerance));
}

bool CScanSettingsPage::Validate()
{
    bool number = false;
    const int value = m_pAutoCropTolerance->text().trimmed().toInt(&number);
    QString message;
    if (!number)
        message = QString::fromLatin1(CSettingsSheet::kIntegerMessage);
    else if (value < kMinTolerance || value > kMaxTolerance)
        message = QString::fromLatin1(CSettingsSheet::kIntegerRangeMessage).arg(kMinTolerance).arg(kMaxTolerance);
    if (message.isEmpty())
        return true;
    QMessageBox::warning(this, QCoreApplication::applicationName(), message);
    m_pAutoCropTolerance->setFocus();
    m_pAutoCropTolerance->selectAll();
    return false;
}

void CScanSettingsPage::Store(SGeneralSettings& settings) const
{
    settings.bAutoCropScanned = GetCheck(m_pAutoCropScanned);
    settings.nAutoCropTolerance = m_pAutoCropTolerance->text().trimmed().toInt();
}

CSettingsSheet::CSettingsSheet(SGeneralSettings& settings, QWidget* parent) : QDialog(parent), m_settings(settings)
{
    setWindowTitle(QStringLiteral("Settings"));
    m_pTabs = new QTabWidget;
    m_pGeneralPage = new CGeneralSettingsPage;
    m_pFilePage = new CFileSettingsPage;
    m_pScanPage = new CScanSettingsPage;
    m_pTabs->addTab(m_pGeneralPage, QStringLiteral("General"));
    m_pTabs->addTab(m_pFilePage, QStringLiteral("File"));
    m_pTabs->addTab(m_pScanPage, QStringLiteral("Scanning"));
    m_pGeneralPage->Load(settings);
    m_pFilePage->Load(settings);
    m_pScanPage->Load(settings);

    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &CSettingsSheet::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &CSettingsSheet::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTabs);
    layout->addWidget(m_pButtons);
}

void CSettingsSheet::accept()
{
    if (!m_pScanPage->Validate()) {
        m_pTabs->setCurrentWidget(m_pScanPage);
        m_pScanPage->m_pAutoCropTolerance->setFocus();
        return;
    }
    // Nothing reaches the record unless every page is valid.
    SGeneralSettings changed = m_settings;
    m_pGeneralPage->Store(changed);
    m_pFilePage->Store(changed);
    m_pScanPage->Store(changed);
    m_settings = changed;
    if (m_pFilePage->m_pMoveToTrash->isChecked() != MoveDeletedFilesToTrash())
        SetMoveDeletedFilesToTrash(m_pFilePage->m_pMoveToTrash->isChecked());
    QDialog::accept();
}
