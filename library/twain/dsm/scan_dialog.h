#pragma once

#include <QDialog>
#include <QImage>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "sane_device.h"
#include "support/thread_refusal.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

// A source's own dialog: the device's mode, depth, resolution, paper source
// and scan area, a preview, "Scan" and "Cancel". Scans run on a worker; the
// dialog reports progress and failures itself and hands finished pages to the
// source manager.
class CScanSourceDialog : public QDialog {
    Q_OBJECT
public:
    CScanSourceDialog(QWidget* parent, CSaneDevice& device, bool showUI);
    ~CScanSourceDialog() override;

    void StartScan();
    void StartPreview();
    // Cancels a scan and waits for its worker; false when it did not end
    // within `patience`.
    bool StopScan(std::chrono::milliseconds patience = std::chrono::milliseconds::max());
    // The worker of a scan that did not stop is left running (and this
    // dialog must then outlive it: it is never deleted).
    void Abandon() { m_Worker.detach(); }
    // The application has taken every page.
    void TransfersDone();
    bool IsScanning() const { return m_Worker.joinable(); }

protected:
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox* _AddChoices(const char* option, const QString& label);
    QDoubleSpinBox* _AddNumber(const char* option, const QString& label);
    void _BuildArea();
    bool _Apply();
    void _Start(int pages, double resolution, bool preview);
    void _NotStarted(EThreadRefusal why);
    void _Run(int pages, double resolution, bool preview);
    void _Finished(SANE_Status status, std::vector<SScannedPage> pages, bool preview);
    void _SetBusy(bool busy, const QString& status);
    void _DrawPreview();
    QRectF _PreviewFrame() const;
    QRect _PreviewTarget() const;

    CSaneDevice& m_Device;
    const bool m_bShowUI;
    class QFormLayout* m_pForm = nullptr;
    QComboBox* m_pMode = nullptr;
    QComboBox* m_pDepth = nullptr;
    QComboBox* m_pSource = nullptr;
    QComboBox* m_pResolutionList = nullptr;
    QDoubleSpinBox* m_pResolution = nullptr;
    QDoubleSpinBox* m_pArea[4] = {};
    QSpinBox* m_pPages = nullptr;
    QLabel* m_pPreview = nullptr;
    QImage m_Preview;             // the whole glass
    double m_Glass[4] = {};       // its left, top, right and bottom
    QPointF m_DragStart;
    QLabel* m_pStatus = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pScan = nullptr;
    QPushButton* m_pPreviewButton = nullptr;
    QPushButton* m_pCancel = nullptr;
    std::thread m_Worker;
    std::atomic<bool> m_bCancel{false};
    std::atomic<bool> m_bWorkerDone{false};
    bool m_bWaitingForTransfer = false;
};
