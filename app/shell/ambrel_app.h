#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

#include "shell/main_frame.h"
#include "shell/recent_file_list.h"
#include "support/command_target.h"
#include "support/doc_template_manager.h"

class CMainFrame;
class QPrinter;
class QSocketNotifier;

// The application object: the template manager, the main frame, the
// recent-file list, start-up and shut-down, and the commands that belong
// to no window.
class CAmbrelApp : public QObject, public CSCmdTarget {
    Q_OBJECT
public:
    CAmbrelApp();
    ~CAmbrelApp() override;

    static CAmbrelApp* Instance();

    // The settings store's company key and the application title.
    static const char* const kCompanyKey;
    static const char* const kAppTitle;
    static const char* const kSplashText;
    static constexpr int kSplashTime = 2300;
    static constexpr unsigned long kSplashKeyColor = 0x0000FF00; // pure green
    static constexpr int kRecentFileCapacity = 16;

    static const char* const kCorruptImageCaption;
    static const char* const kCorruptImageMessage;
    static const char* const kTemplatesFailed;

    // Makes the settings store the program's (company key, "Ambrel").
    static void SetIdentity();

    // Start-up; false ends the program at once. `arguments` are the
    // command line without the program name.
    bool InitInstance(const QStringList& arguments);
    // The same from the system's command line (after the toolkit took its
    // own options): a file named in bytes that are not UTF-8 is not opened.
    bool InitInstance(int argc, char** argv);
    // The event loop after a successful start, then the end; the exit code.
    int Run();
    int ExitInstance(int exitCode = 0);

    bool LoadSettings();
    bool SaveSettings();
    // Stores what lasts between runs (the settings record, the recent
    // files, the window list) without closing anything, once the crash
    // guard's queued writes are done: at the end of the desktop session and
    // on SIGTERM or SIGINT, which then end the program.
    void SaveState();
    // The crash guard: the image being decoded, or nothing.
    static void RecordLastImage(bool set, const QString& fileName, int index);
    // "Filename: <name>\tIndex: <index>", and the stored value itself (the
    // marks of every decode running, one a line; empty: none).
    static QString LastImageText(const QString& fileName, int index);
    static void StoreLastImage(const QString& text);
    bool AddDocumentTemplates();
    // Shows and clears the crash guard's warning (once).
    void CheckLastImage();
    // False when any type could not be registered.
    bool RegisterFileTypes();
    void ShowAbout();

    CSMultiDocTemplateManager& GetTemplateManager() { return m_templateManager; }
    CMainFrame* GetMainFrame() const { return m_pMainFrame; }
    CRecentFileList& GetRecentFileList() { return *m_pRecentFileList; }
    QPrinter* GetPrinter();
    void AddToRecentFileList(const QString& path);
    void ClearRecentFileList();

    // Whether start-up shows the splash (tests turn it off), and whether it did.
    bool m_bShowSplash = true;
    bool m_bSplashShown = false;

private:
    void _InitRecentFileList();
    void _WatchTermination();
    void _OnTerminationSignal();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnOpenRecentFile(int id);

    CSMultiDocTemplateManager m_templateManager;
    QPointer<CMainFrame> m_pMainFrame;
    std::unique_ptr<CRecentFileList> m_pRecentFileList;
    std::unique_ptr<QPrinter> m_pPrinter;
    QString m_strCommandLineFile;
    // Its bytes, when the start came with the system's command line.
    QByteArray m_nativeCommandLineFile;
    std::unique_ptr<QSocketNotifier> m_pSignalNotifier;
    // 128 + the number of a termination signal that has arrived, else 0.
    int m_nTerminationExitCode = 0;
};

// The one application object of the program.
inline CAmbrelApp* AmbrelApp()
{
    return CAmbrelApp::Instance();
}
