#include "duplicates/dif_form_view.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <chrono>
#include <memory>
#include <new>

#include "duplicates/dif_results.h"
#include "duplicates/duplicate_groups.h"
#include "duplicates/signature_database.h"
#include "duplicates/signature_scanner.h"
#include "support/mdi_frames.h"
#include "support/vx_helper.h"
#include "support/wait_cursor.h"

const char* const CDIFFormView::kScanFinished = "Scan process finished. You may now compare your files.";
const char* const CDIFFormView::kNoDatabase = "Could not load data file, you have to scan files first.";
const char* const CDIFFormView::kScanShortOfMemory =
    "The scan could not be finished: there is not enough memory. The signature database was kept as it was.";
const char* const CDIFFormView::kCompareShortOfMemory = "The files could not be compared: there is not enough memory.";
const char* const CDIFFormView::kScanWithoutThread =
    "The scan could not be started: the system refused to start a thread (too many programs or threads are "
    "running). The signature database was kept as it was.";
const char* const CDIFFormView::kScanStartShortOfMemory =
    "The scan could not be started: there is not enough memory. The signature database was kept as it was.";
const char* const CDIFFormView::kCompareWithoutThread =
    "The files could not be compared: the system refused to start a thread (too many programs or threads are "
    "running).";
const char* const CDIFFormView::kInvalidPercent = "Percent value is invalid...";
const char* const CDIFFormView::kInvalidFolder = "Directory is not valid...";

std::function<void(QWidget*, const QString&, const QString&)> CDIFFormView::s_pfnTell =
    [](QWidget* owner, const QString& text, const QString& caption) {
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
        box.exec();
    };

std::function<QString(QWidget*)> CDIFFormView::s_pfnBrowseFolder = [](QWidget* owner) {
    return CVxHelper::BrowseForFolder(owner, QStringLiteral("Browse for Folder"), 0, false);
};

namespace {

const char kSection[] = "CDIFFormView";

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

QPushButton* Button(const char* text, int id, QWidget* parent)
{
    auto* button = new QPushButton(Text(text), parent);
    button->setObjectName(QString::number(id));
    return button;
}

// Reports of a running scan reach the window at most this often; the last
// file is always shown.
class CScanReports : public dif::IScanProgress {
public:
    explicit CScanReports(QLabel* status) : m_pStatus(status) {}
    void OnAnalyzing(const std::string& path) override
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < std::chrono::milliseconds(40))
            return;
        m_last = now;
        QMetaObject::invokeMethod(
            m_pStatus, [status = m_pStatus, text = QStringLiteral("Analyzing: %1").arg(QFile::decodeName(path.c_str()))] {
                status->setText(text);
            },
            Qt::QueuedConnection);
    }

private:
    QLabel* m_pStatus;
    std::chrono::steady_clock::time_point m_last{};
};

} // namespace

CDIFFormView::CDIFFormView()
{
    _BuildForm();
}

CDIFFormView::~CDIFFormView()
{
    OnCloseView();
}

QString CDIFFormView::DatabasePath()
{
    return QFile::decodeName(dif::DatabasePath().c_str());
}

QString CDIFFormView::FormatDatabaseCount()
{
    return QString::asprintf("%lli file(s) scanned in database.",
                             (long long)dif::CSignatureDatabase::CountRecords(dif::DatabasePath()));
}

QWidget* CDIFFormView::Control(int id) const
{
    return findChild<QWidget*>(QString::number(id));
}

void CDIFFormView::_BuildForm()
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(_BuildStep1());
    layout->addWidget(_BuildStep2(), 1);
}

QWidget* CDIFFormView::_BuildStep1()
{
    auto* box = new QGroupBox(Text("Step 1: Add the Folders of your pictures and 'Scan Now'"), this);
    auto* grid = new QVBoxLayout(box);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(Text("Images Path:"), box));
    m_pPath = new QLineEdit(box);
    m_pPath->setObjectName(QStringLiteral("1067"));
    row->addWidget(m_pPath, 1);
    QPushButton* browse = Button("...", 1043, box);
    QPushButton* add = Button("&Add", 1065, box);
    QPushButton* remove = Button("&Remove", 1066, box);
    for (QPushButton* button : {browse, add, remove})
        row->addWidget(button);
    grid->addLayout(row);

    m_pFolders = new QTreeWidget(box);
    m_pFolders->setObjectName(QStringLiteral("1006"));
    m_pFolders->setRootIsDecorated(false);
    m_pFolders->setHeaderLabels({Text("Folder")});
    m_pFolders->header()->resizeSection(0, 600);
    m_pFolders->setMaximumHeight(120);
    grid->addWidget(m_pFolders);

    auto* scanRow = new QHBoxLayout;
    m_pScan = Button("Scan &Now", 1064, box);
    m_pStatus = new QLabel(box);
    m_pStatus->setObjectName(QStringLiteral("1068"));
    scanRow->addWidget(m_pScan);
    scanRow->addWidget(m_pStatus, 1);
    grid->addLayout(scanRow);

    connect(browse, &QPushButton::clicked, this, &CDIFFormView::OnBrowse);
    connect(add, &QPushButton::clicked, this, &CDIFFormView::OnAddFolder);
    connect(remove, &QPushButton::clicked, this, &CDIFFormView::OnRemoveFolder);
    connect(m_pScan, &QPushButton::clicked, this, &CDIFFormView::OnScanButton);
    return box;
}

QWidget* CDIFFormView::_BuildStep2()
{
    auto* box = new QGroupBox(Text("Step 2: Choose the percent to match and 'Compare Now'"), this);
    auto* grid = new QVBoxLayout(box);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(Text("Percentage match at least:"), box));
    m_pThreshold = new QLineEdit(QStringLiteral("100"), box);
    m_pThreshold->setObjectName(QStringLiteral("1070"));
    m_pThreshold->setMaxLength(50);
    m_pThreshold->setMaximumWidth(60);
    row->addWidget(m_pThreshold);
    m_pCompare = Button("Compare N&ow", 1069, box);
    row->addWidget(m_pCompare);
    m_pProgress = new QProgressBar(box);
    m_pProgress->setObjectName(QStringLiteral("1086"));
    m_pProgress->setTextVisible(false);
    row->addWidget(m_pProgress, 1);
    grid->addLayout(row);

    auto* options = new QHBoxLayout;
    m_pRotations = new QCheckBox(Text("Match rotated and m&irrored copies"), box);
    m_pGreyscale = new QCheckBox(Text("Match &greyscale copies"), box);
    options->addWidget(m_pRotations);
    options->addWidget(m_pGreyscale);
    options->addStretch(1);
    grid->addLayout(options);

    m_pResults = new CDIFResults(box);
    m_pResults->SetDatabasePath(DatabasePath());
    grid->addWidget(m_pResults, 1);
    connect(m_pCompare, &QPushButton::clicked, this, &CDIFFormView::OnCompareButton);
    return box;
}

void CDIFFormView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    _LoadFolders();
}

void CDIFFormView::OnInitialUpdate()
{
    _LoadFolders();
    // The form needs more room than a new child window gets.
    CSMDIChildWnd* frame = GetParentFrame();
    QMdiSubWindow* window = frame ? frame->GetMDISubWindow() : nullptr;
    if (window && window->mdiArea()) {
        const QSize room = window->mdiArea()->viewport()->size();
        window->resize(window->size().expandedTo(sizeHint()).boundedTo(room));
    }
}

void CDIFFormView::_LoadFolders()
{
    if (m_bFoldersLoaded)
        return;
    m_bFoldersLoaded = true;
    QSettings settings;
    const QStringList folders = settings.value(QStringLiteral("%1/Folders").arg(kSection)).toStringList();
    // Rows are full paths; a relative one (a damaged value) would scan
    // whatever folder the session started in, and one holding a NUL the
    // folder named by the part before it.
    for (const QString& folder : folders)
        if (QDir::isAbsolutePath(folder) && !folder.contains(QChar(0)))
            new QTreeWidgetItem(m_pFolders, {folder});
    m_pRotations->setChecked(settings.value(QStringLiteral("%1/MatchRotated").arg(kSection), false).toBool());
    m_pGreyscale->setChecked(settings.value(QStringLiteral("%1/MatchGreyscale").arg(kSection), false).toBool());
    m_pStatus->setText(FormatDatabaseCount());
}

void CDIFFormView::_SaveFolders() const
{
    if (!m_bFoldersLoaded)
        return;
    QSettings settings;
    settings.setValue(QStringLiteral("%1/Folders").arg(kSection), Folders());
    settings.setValue(QStringLiteral("%1/MatchRotated").arg(kSection), m_pRotations->isChecked());
    settings.setValue(QStringLiteral("%1/MatchGreyscale").arg(kSection), m_pGreyscale->isChecked());
}

QStringList CDIFFormView::Folders() const
{
    QStringList folders;
    for (int i = 0; i < m_pFolders->topLevelItemCount(); ++i)
        folders << m_pFolders->topLevelItem(i)->text(0);
    return folders;
}

void CDIFFormView::OnCloseView()
{
    if (m_bClosed)
        return;
    m_bClosed = true;
    m_pResults->ClearResults();
    _StopWorkers();
    _SaveFolders();
}

void CDIFFormView::_StopWorkers()
{
    if (m_Scan.IsRunning())
        m_Scan.Stop(m_nStopRequests);
    if (m_Compare.IsRunning())
        m_Compare.Stop(m_nStopRequests);
}

void CDIFFormView::OnBrowse()
{
    const QString folder = s_pfnBrowseFolder(this);
    if (!folder.isEmpty())
        m_pPath->setText(folder);
}

void CDIFFormView::OnAddFolder()
{
    QString folder = m_pPath->text();
    if (folder.isEmpty()) {
        folder = s_pfnBrowseFolder(this);
        if (folder.isEmpty())
            return;
    } else if (!CVxHelper::IsFileExists(folder, false)) {
        s_pfnTell(this, Text(kInvalidFolder), QStringLiteral("Ambrel"));
        return;
    }
    // A row is kept for later sessions, which may start in another current
    // folder: a relative name would then scan another folder in its place.
    folder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    // Typed text is checked as a picked folder is; so is the current folder
    // a relative name was completed with.
    if (CVxHelper::IsAmbiguousName(folder)) {
        s_pfnTell(this, CVxHelper::AmbiguousNameMessage(folder), QStringLiteral("Ambrel"));
        return;
    }
    for (const QString& listed : Folders())
        if (listed.compare(folder, Qt::CaseInsensitive) == 0)
            return;
    new QTreeWidgetItem(m_pFolders, {folder});
    m_pPath->clear();
}

void CDIFFormView::OnRemoveFolder()
{
    if (QTreeWidgetItem* item = m_pFolders->currentItem())
        delete item;
}

void CDIFFormView::_EnableButtons(bool enable, QPushButton* except)
{
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        if (button != except)
            button->setEnabled(enable);
}

void CDIFFormView::OnScanButton()
{
    CVxWaitCursor wait;
    m_pResults->ClearResults();
    if (m_Scan.IsRunning()) {
        m_Scan.Stop(m_nStopRequests);
        return;
    }
    _EnableButtons(false, m_pScan);
    m_pScan->setText(Text("&Stop Scan"));
    std::vector<std::string> folders;
    for (const QString& folder : Folders())
        folders.push_back(QFile::encodeName(folder).toStdString());
    dif::SScanOptions options;
    options.decodeThreads = std::max(1u, std::thread::hardware_concurrency());
    options.cachePath = dif::CachePath();
    QDir().mkpath(QFile::decodeName(dif::DataFolder().c_str()));
    EThreadRefusal refused = EThreadRefusal::TooManyTasks;
    const bool started = m_Scan.Start([this, folders, options] {
        CScanReports reports(m_pStatus);
        dif::SScanResult result;
        bool shortOfMemory = false;
        // Only the scan fails (the new database is not kept); on this
        // thread the exception would end the program.
        try {
            result = dif::CSignatureScanner(dif::DatabasePath(), options, &reports, m_nStopRequests).Scan(folders);
        } catch (const std::bad_alloc&) {
            shortOfMemory = true;
        }
        QMetaObject::invokeMethod(
            this, [this, result, shortOfMemory] { _OnScanFinished(result, shortOfMemory); }, Qt::QueuedConnection);
    }, &refused);
    if (!started) {
        m_pScan->setText(Text("Scan &Now"));
        _EnableButtons(true, nullptr);
        s_pfnTell(nullptr,
                  Text(refused == EThreadRefusal::ShortOfMemory ? kScanStartShortOfMemory : kScanWithoutThread),
                  QString());
    }
}

void CDIFFormView::_OnScanFinished(const dif::SScanResult& result, bool shortOfMemory)
{
    m_Scan.Finish();
    m_pScan->setText(Text("Scan &Now"));
    m_pStatus->setText(FormatDatabaseCount());
    _EnableButtons(true, nullptr);
    if (m_bClosed)
        return;
    if (shortOfMemory) {
        s_pfnTell(nullptr, Text(kScanShortOfMemory), QString());
        return;
    }
    QString text = Text(kScanFinished);
    if (result.longPaths)
        text += QStringLiteral("\n\n%1 file(s) skipped: their path is longer than 260 bytes.").arg(result.longPaths);
    if (result.unreadableFolders)
        text += QStringLiteral("\n\n%1 folder(s) could not be read.").arg(result.unreadableFolders);
    if (result.databaseUnwritable)
        text += QStringLiteral("\n\nThe signature database could not be written: %1").arg(DatabasePath());
    s_pfnTell(nullptr, text, QString());
}

void CDIFFormView::OnCompareButton()
{
    CVxWaitCursor wait;
    m_pResults->ClearResults();
    if (m_Compare.IsRunning()) {
        m_Compare.Stop(m_nStopRequests);
        return;
    }
    auto database = std::make_shared<dif::CSignatureDatabase>();
    bool opened = false;
    try {
        opened = database->Open(dif::DatabasePath(), false);  // read whole
    } catch (const std::bad_alloc&) {
        s_pfnTell(nullptr, Text(kCompareShortOfMemory), QString());
        return;
    }
    if (!opened) {
        s_pfnTell(nullptr, Text(kNoDatabase), QString());
        return;
    }
    const int threshold = dif::ParseThreshold(m_pThreshold->text().left(50).toStdString());
    if (!dif::IsValidThreshold(threshold)) {
        s_pfnTell(nullptr, Text(kInvalidPercent), QString());
        return;
    }
    _EnableButtons(false, m_pCompare);
    m_pCompare->setText(Text("&Stop"));
    const std::size_t count = database->GetCount();
    m_pProgress->setRange(0, int(std::max<std::size_t>(count, 1) - 1));
    m_pProgress->setValue(0);
    dif::SGroupingOptions options;
    options.compare.rotations = m_pRotations->isChecked();
    options.compare.greyscale = m_pGreyscale->isChecked();
    EThreadRefusal refused = EThreadRefusal::TooManyTasks;
    const bool started = m_Compare.Start([this, database, threshold, options] {
        QProgressBar* bar = m_pProgress;
        auto groups = std::make_shared<std::vector<dif::SDuplicateGroup>>();
        bool shortOfMemory = false;
        try {
            *groups = dif::BuildDuplicateGroups(
                *database, threshold, options, m_nStopRequests, [bar](std::size_t done, std::size_t) {
                    QMetaObject::invokeMethod(bar, [bar, done] { bar->setValue(int(done)); }, Qt::QueuedConnection);
                });
        } catch (const std::bad_alloc&) {
            shortOfMemory = true;  // no results rather than some
        }
        database->Close();
        QMetaObject::invokeMethod(
            this,
            [this, groups, shortOfMemory] {
                m_pResults->SetGroups(*groups);
                _OnCompareFinished(shortOfMemory);
            },
            Qt::QueuedConnection);
    }, &refused);
    if (!started) {
        database->Close();
        m_pCompare->setText(Text("Compare N&ow"));
        _EnableButtons(true, nullptr);
        s_pfnTell(nullptr,
                  Text(refused == EThreadRefusal::ShortOfMemory ? kCompareShortOfMemory : kCompareWithoutThread),
                  QString());
    }
}

void CDIFFormView::_OnCompareFinished(bool shortOfMemory)
{
    m_Compare.Finish();
    m_pCompare->setText(Text("Compare N&ow"));
    m_pProgress->setValue(0);
    _EnableButtons(true, nullptr);
    if (shortOfMemory && !m_bClosed)
        s_pfnTell(nullptr, Text(kCompareShortOfMemory), QString());
}
