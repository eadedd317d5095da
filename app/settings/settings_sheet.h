#pragma once

#include <QDialog>

#include "settings/general_settings.h"

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;
class QTabWidget;

class CGeneralSettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit CGeneralSettingsPage(QWidget* parent = nullptr);
    void Load(const SGeneralSettings& settings);
    void Store(SGeneralSettings& settings) const;

    // Top to bottom: fields 0, 1, 2, 3, 4, 5 and 9.
    QCheckBox* m_pRememberOpenedDocuments;
    QCheckBox* m_pOpenFullScreenWithDocument;
    QCheckBox* m_pOpenMaximized;
    QCheckBox* m_pSlowComputer;
    QCheckBox* m_pCheckForNewVersion;
    QCheckBox* m_pRememberRecentFiles;
    QCheckBox* m_pResampleThumbnails;
};

class CFileSettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit CFileSettingsPage(QWidget* parent = nullptr);
    void Load(const SGeneralSettings& settings);
    void Store(SGeneralSettings& settings) const;

    // Fields 10, 6 and 8, then the trash option kept beside the record.
    QCheckBox* m_pAutoRenameDifferentSizes;
    QCheckBox* m_pBrowseGroupOnly;
    QCheckBox* m_pNoEnlargeInSlideshow;
    QCheckBox* m_pMoveToTrash;
};

class CScanSettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit CScanSettingsPage(QWidget* parent = nullptr);
    void Load(const SGeneralSettings& settings);
    // false (with the range message) when the tolerance is not 1 to 250.
    bool Validate();
    void Store(SGeneralSettings& settings) const;

    static constexpr int kMinTolerance = 1;
    static constexpr int kMaxTolerance = 250;

    QCheckBox* m_pAutoCropScanned;
    QLineEdit* m_pAutoCropTolerance;
};

// The one dialog that edits the settings record: three pages; OK stores
// the pages into the record, Cancel leaves it unchanged.
class CSettingsSheet : public QDialog {
    Q_OBJECT
public:
    explicit CSettingsSheet(SGeneralSettings& settings, QWidget* parent = nullptr);

    CGeneralSettingsPage* m_pGeneralPage;
    CFileSettingsPage* m_pFilePage;
    CScanSettingsPage* m_pScanPage;
    QTabWidget* m_pTabs;
    QDialogButtonBox* m_pButtons;

    static const char* const kIntegerMessage;
    static const char* const kIntegerRangeMessage;

public slots:
    void accept() override;

private:
    SGeneralSettings& m_settings;
};
