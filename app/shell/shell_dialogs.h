#pragma once

#include <QDialog>
#include <QString>

class QCompleter;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;

// "Quick filename search": a path typed with file-system completion.
class CQuickFilenameSearchDlg : public QDialog {
    Q_OBJECT
public:
    explicit CQuickFilenameSearchDlg(QWidget* parent = nullptr);

    QString GetText() const;
    QLineEdit* m_pEdit;
    QPushButton* m_pBrowse;
    QCompleter* m_pCompleter;
    QFileSystemModel* m_pModel;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void _OnBrowse();
    // Types ahead the rest of the first match, selected.
    void _CompleteInLine(const QString& typed);
};

// "Choose Folder": 0 for the current folder, 1 for browsing, -1 otherwise.
class CSubFolderAskDialog : public QDialog {
    Q_OBJECT
public:
    explicit CSubFolderAskDialog(QWidget* parent = nullptr);
    int Ask();

    QPushButton* m_pCurrent;
    QPushButton* m_pBrowse;

private:
    int m_nChoice = -1;
};

// "About ambrel".
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    // The build date and time as "%s, %s", date first.
    static QString BuildStamp();

    QLabel* m_pBuildStamp;
};
