#include "shell/ambrel_app.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QSettings>
#include <QSocketNotifier>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "settings/general_settings.h"
#include "shell/command_ids.h"
#include "shell/document_kinds.h"
#include "shell/main_frame.h"
#include "shell/menus.h"
#include "shell/shell_dialogs.h"
#include "support/painting_threads.h"
#include "support/splash_window.h"
#include "support/vx_helper.h"
#include "viewer/ambrel_doc.h"
#include "viewer/crash_guard.h"
#include "viewer/view/view_printing.h"

const char* const CAmbrelApp::kCompanyKey = "Velvix";
const char* const CAmbrelApp::kAppTitle = "Ambrel";
const char* const CAmbrelApp::kSplashText = "Ambrel V 1.5.1";
const char* const CAmbrelApp::kCorruptImageCaption = "Corrupt Image File";
const char* const CAmbrelApp::kCorruptImageMessage =
    "The last time Ambrel tries to open the following file: %s\nIt encountered an error that made the software crash.";
const char* const CAmbrelApp::kTemplatesFailed = "Error adding document templates";

namespace {

CAmbrelApp* g_pApp = nullptr;

// SIGTERM and SIGINT only write their number to this pair; the notifier on
// the other end does the work on the user-interface thread (nothing else is
// safe inside a signal handler).
int g_SignalPipe[2] = {-1, -1};

void OnSignal(int number)
{
    const int saved = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(g_SignalPipe[1], &byte, 1);
    errno = saved;
}
const char kLastImage[] = "Validation/LastImage";

struct FileType {
    const char* description;
    const char* extension;
};
const FileType kFileTypes[] = {
    {"Ambrel File (JPG)", ".jpg"}, {"Ambrel File (JPG)", ".jpeg"}, {"Ambrel File (GIF)", ".gif"},
    {"Ambrel File (PNG)", ".png"}, {"Ambrel File (BMP)", ".bmp"},
};

} // namespace

CAmbrelApp::CAmbrelApp() : m_pRecentFileList(std::make_unique<CRecentFileList>(0))
{
    g_pApp = this;
    CSMDIFrameWnd::SetAppCmdTarget(this);
    CSDocument::s_pfnAddToRecentFileList = [](const QString& path) {
        if (g_pApp)
            g_pApp->AddToRecentFileList(path);
    };

    OnCommand(cmd::ID_APP_ABOUT, [this](int) { ShowAbout(); });
    OnCommand(cmd::ID_FILE_OPEN, [this](int) { OnFileOpen(); });
    OnUpdateCommand(cmd::ID_FILE_OPEN, [this](CSCmdUI& ui) { ui.Enable(!m_templateManager.GetTemplateNames().isEmpty()); });
    OnCommand(cmd::ID_FILE_PRINT_SETUP, [this](int) { OnFilePrintSetup(); });
    OnCommand(cmd::ID_CLEAR_RECENT_FILES, [this](int) { ClearRecentFileList(); });
    OnCommandRange(cmd::ID_FILE_MRU_FILE1, cmd::ID_FILE_MRU_LAST, [this](int id) { OnOpenRecentFile(id); });
    OnUpdateCommandRange(cmd::ID_FILE_MRU_FILE1, cmd::ID_FILE_MRU_LAST, [this](CSCmdUI& ui) {
        ui.Enable(ui.m_nID - cmd::ID_FILE_MRU_FILE1 < m_pRecentFileList->GetCount());
    });
}

CAmbrelApp::~CAmbrelApp()
{
    if (m_pSignalNotifier) {
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
        m_pSignalNotifier.reset();
    }
    delete m_pMainFrame.data();
    CSMDIFrameWnd::SetMainFrame(nullptr);
    CSMDIFrameWnd::SetAppCmdTarget(nullptr);
    CSDocument::s_pfnAddToRecentFileList = nullptr;
    if (g_pApp == this)
        g_pApp = nullptr;
}

CAmbrelApp* CAmbrelApp::Instance()
{
    return g_pApp;
}

void CAmbrelApp::SetIdentity()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(kCompanyKey));
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
}

bool CAmbrelApp::InitInstance(const QStringList& arguments)
{
    // Before any window paints: a progress bar painted while the system
    // refuses new threads would otherwise wait for ever.
    KeepPaintingThreads();
    CFlatMenuDrawing::Init();
    SetIdentity();
    LoadSettings();
    _InitRecentFileList();
    _WatchTermination();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/ambrel.png")));

    // One optional file (or folder) to open.
    m_strCommandLineFile.clear();
    for (const QString& argument : arguments)
        if (!argument.startsWith(QLatin1Char('-'))) {
            m_strCommandLineFile = argument;
            break;
        }
    const bool hasFile = !m_strCommandLineFile.isEmpty();

    if (!hasFile && m_bShowSplash)
        m_bSplashShown = CVxSplashDialog::DoSplash(nullptr, res::IDB_SPLASH, QString::fromLatin1(kSplashText), kSplashTime,
                                  kSplashKeyColor);
    if (m_nTerminationExitCode)
        return true; // Run() ends at once

    if (!AddDocumentTemplates()) {
        QMessageBox::warning(nullptr, QString::fromLatin1(kAppTitle), QString::fromLatin1(kTemplatesFailed));
        return false;
    }

    m_pMainFrame = new CMainFrame;
    CSMDIFrameWnd::SetMainFrame(m_pMainFrame);

    CheckLastImage();

    // The document reports why it could not open the file. Without any
    // document kind there is nothing to open it with: the frame starts alone.
    if (hasFile && !m_templateManager.GetTemplateNames().isEmpty()) {
        QString path = m_strCommandLineFile;
        if (!m_nativeCommandLineFile.isEmpty() && !CMainFrame::NameAsText(m_nativeCommandLineFile, path))
            return false;
        if (!m_pMainFrame->OpenPath(path))
            return false;
    }

    m_pMainFrame->show();

    if (hasFile && GeneralSettings.bOpenFullScreenWithDocument)
        m_pMainFrame->ExecuteCommand(cmd::ID_FULL_SCREEN);
    if (!hasFile && GeneralSettings.bRememberOpenedDocuments)
        m_templateManager.OpenSavedFrames();
    return true;
}

bool CAmbrelApp::InitInstance(int argc, char** argv)
{
    QStringList arguments;
    m_nativeCommandLineFile.clear();
    for (int i = 1; i < argc; ++i) {
        arguments << QFile::decodeName(argv[i]);
        if (m_nativeCommandLineFile.isEmpty() && argv[i][0] != '-')
            m_nativeCommandLineFile = argv[i];
    }
    const bool started = InitInstance(arguments);
    m_nativeCommandLineFile.clear();
    return started;
}

int CAmbrelApp::Run()
{
    // A signal during the start ended only the loops of that time (the
    // splash's, a warning's); the main loop would never hear of it.
    return ExitInstance(m_nTerminationExitCode ? m_nTerminationExitCode : QApplication::exec());
}

int CAmbrelApp::ExitInstance(int exitCode)
{
    CFlatMenuDrawing::Release();
    SaveSettings();
    if (m_pRecentFileList)
        m_pRecentFileList->WriteList();
    return exitCode;
}

void CAmbrelApp::SaveState()
{
    // A clear of the crash mark still queued would otherwise warn about a
    // picture that opened fine.
    CCrashGuard::WaitForWrites();
    SaveSettings();
    if (m_pRecentFileList)
        m_pRecentFileList->WriteList();
    if (GeneralSettings.bRememberOpenedDocuments && m_pMainFrame)
        m_templateManager.SaveOpenedFrames();
    QSettings().sync();
}

void CAmbrelApp::_WatchTermination()
{
#ifndef QT_NO_SESSIONMANAGER
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::commitDataRequest, this, &CAmbrelApp::SaveState, Qt::UniqueConnection);
#endif
    if (m_pSignalNotifier)
        return;
    if (g_SignalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_SignalPipe) != 0)
        return;
    ::fcntl(g_SignalPipe[1], F_SETFL, O_NONBLOCK);
    m_pSignalNotifier = std::make_unique<QSocketNotifier>(g_SignalPipe[0], QSocketNotifier::Read);
    connect(m_pSignalNotifier.get(), &QSocketNotifier::activated, this, [this] { _OnTerminationSignal(); });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void CAmbrelApp::_OnTerminationSignal()
{
    char number = 0;
    if (::read(g_SignalPipe[0], &number, 1) != 1)
        return;
    m_nTerminationExitCode = 128 + number;
    SaveState();
    // The ordinary end follows: the event loop returns and the program exits.
    QCoreApplication::exit(m_nTerminationExitCode);
}

bool CAmbrelApp::LoadSettings()
{
    return LoadGeneralSettings(GeneralSettings);
}

bool CAmbrelApp::SaveSettings()
{
    return SaveGeneralSettings(GeneralSettings);
}

QString CAmbrelApp::LastImageText(const QString& fileName, int index)
{
    // One pass over the pattern: a '%1' in the name stays as it is.
    return QStringLiteral("Filename: %1\tIndex: %2").arg(fileName, QString::number(index));
}

void CAmbrelApp::RecordLastImage(bool set, const QString& fileName, int index)
{
    StoreLastImage(set ? LastImageText(fileName, index) : QString());
}

void CAmbrelApp::StoreLastImage(const QString& text)
{
    QSettings settings;
    settings.setValue(QLatin1String(kLastImage), text);
    // The guard is for a crash: it must be on disk before the decode starts.
    settings.sync();
}

bool CAmbrelApp::AddDocumentTemplates()
{
    return AddDocumentKinds(m_templateManager);
}

void CAmbrelApp::CheckLastImage()
{
    QSettings settings;
    const QString last = settings.value(QLatin1String(kLastImage)).toString();
    if (last.isEmpty())
        return;
    // Cleared before the warning, so that it is shown only once.
    settings.setValue(QLatin1String(kLastImage), QString());
    settings.sync();
    QString message = QString::fromLatin1(kCorruptImageMessage);
    message.replace(QLatin1String("%s"), last);
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kCorruptImageCaption), message, QMessageBox::Ok,
                    m_pMainFrame);
    box.exec();
}

bool CAmbrelApp::RegisterFileTypes()
{
    bool all = true;
    for (const FileType& type : kFileTypes)
        all = CVxHelper::RegisterType(QString::fromLatin1(type.description), QString::fromLatin1(type.extension),
                                      QStringLiteral("ambrel"), 0, true) &&
              all;
    return all;
}

void CAmbrelApp::ShowAbout()
{
    CVxSplashDialog::DoSplash(m_pMainFrame, res::IDB_SPLASH, QString::fromLatin1(kSplashText), kSplashTime,
                              kSplashKeyColor);
    CAboutDlg about(m_pMainFrame);
    about.exec();
}

QPrinter* CAmbrelApp::GetPrinter()
{
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_pPrinter.get();
}

void CAmbrelApp::_InitRecentFileList()
{
    // The capacity is fixed for the whole run.
    m_pRecentFileList = std::make_unique<CRecentFileList>(GeneralSettings.bRememberRecentFiles ? kRecentFileCapacity : 0);
    m_pRecentFileList->ReadList();
}

void CAmbrelApp::AddToRecentFileList(const QString& path)
{
    m_pRecentFileList->Add(path);
}

void CAmbrelApp::ClearRecentFileList()
{
    for (int i = 0; i < m_pRecentFileList->GetSize(); ++i)
        m_pRecentFileList->Remove(0);
    m_pRecentFileList->WriteList();
}

void CAmbrelApp::OnFileOpen()
{
    QStringList filters;
    QStringList all;
    for (const QString& name : m_templateManager.GetTemplateNames()) {
        SMCMultiDocTemplate* tpl = m_templateManager.GetTemplate(name);
        const QString title = tpl->GetDocString(SMCMultiDocTemplate::filterName);
        const QStringList extensions =
            tpl->GetDocString(SMCMultiDocTemplate::filterExt).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (title.isEmpty() || extensions.isEmpty())
            continue;
        QStringList patterns;
        for (const QString& extension : extensions)
            patterns << QLatin1Char('*') + extension;
        filters << title + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    filters << QStringLiteral("All Files (*)");
    const QString path = QFileDialog::getOpenFileName(m_pMainFrame, QStringLiteral("Open"), QString(),
                                                      filters.join(QStringLiteral(";;")));
    if (path.isEmpty() || !m_pMainFrame)
        return;
    if (CVxHelper::IsAmbiguousName(path))
        CAmbrelDoc::s_pfnReportError(CVxHelper::AmbiguousNameMessage(path));
    else
        m_pMainFrame->OpenPath(path);
}

void CAmbrelApp::OnFilePrintSetup()
{
    if (!CViewPrinting::FinishUnendedOrTell())
        return;
    QPageSetupDialog dialog(GetPrinter(), m_pMainFrame);
    dialog.exec();
}

void CAmbrelApp::OnOpenRecentFile(int id)
{
    const int index = id - cmd::ID_FILE_MRU_FILE1;
    if (index >= m_pRecentFileList->GetCount() || !m_pMainFrame)
        return;
    const QString path = (*m_pRecentFileList)[index];
    if (!m_pMainFrame->OpenPath(path))
        m_pRecentFileList->Remove(index);
}
