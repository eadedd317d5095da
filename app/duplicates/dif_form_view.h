#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <functional>

#include "duplicates/dif_worker.h"
#include "support/sdocument.h"

class CDIFResults;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace dif {
struct SScanResult;
}

// The duplicate finder's form: step 1 (the folder list and the scan into
// the signature database) and step 2 (the threshold, the comparison and the
// results). Controls carry their dialog ids as object names ("1064").
class CDIFFormView : public QWidget, public CSView {
    Q_OBJECT
public:
    CDIFFormView();
    ~CDIFFormView() override;

    void OnInitialUpdate() override;
    void OnCloseView() override;

    QWidget* Control(int id) const;
    template <typename T> T* Control(int id) const { return qobject_cast<T*>(Control(id)); }
    CDIFResults* Results() const { return m_pResults; }

    void OnBrowse();
    void OnAddFolder();
    void OnRemoveFolder();
    void OnScanButton();
    void OnCompareButton();
    bool IsScanRunning() const { return m_Scan.IsRunning(); }
    bool IsCompareRunning() const { return m_Compare.IsRunning(); }
    QStringList Folders() const;

    // "%li file(s) scanned in database." for the database on disk.
    static QString FormatDatabaseCount();
    static QString DatabasePath();

    // Message boxes and the folder browser; tests answer them at once.
    // owner null: a box without owner window.
    static std::function<void(QWidget* owner, const QString& text, const QString& caption)> s_pfnTell;
    static std::function<QString(QWidget* owner)> s_pfnBrowseFolder;

    static const char* const kScanFinished;
    static const char* const kNoDatabase;
    static const char* const kScanShortOfMemory;
    static const char* const kCompareShortOfMemory;
    static const char* const kScanWithoutThread;
    static const char* const kScanStartShortOfMemory;
    static const char* const kCompareWithoutThread;
    static const char* const kInvalidPercent;
    static const char* const kInvalidFolder;

    QSize sizeHint() const override { return QSize(960, 720); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void _BuildForm();
    QWidget* _BuildStep1();
    QWidget* _BuildStep2();
    // Every button but `except` (the group frames keep their children).
    void _EnableButtons(bool enable, QPushButton* except);
    void _OnScanFinished(const dif::SScanResult& result, bool shortOfMemory);
    void _OnCompareFinished(bool shortOfMemory);
    void _SaveFolders() const;
    void _LoadFolders();
    void _StopWorkers();

    QLineEdit* m_pPath = nullptr;
    QTreeWidget* m_pFolders = nullptr;
    QPushButton* m_pScan = nullptr;
    QLabel* m_pStatus = nullptr;
    QLineEdit* m_pThreshold = nullptr;
    QPushButton* m_pCompare = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QCheckBox* m_pRotations = nullptr;
    QCheckBox* m_pGreyscale = nullptr;
    CDIFResults* m_pResults = nullptr;

    std::atomic<int> m_nStopRequests{0};
    CDIFWorker m_Scan;
    CDIFWorker m_Compare;
    bool m_bFoldersLoaded = false;
    bool m_bClosed = false;
};
