#pragma once

#include <QComboBox>
#include <QDialog>
#include <QStringList>
#include <QString>

#include <array>
#include <functional>

#include "folder_sets.h"

class QLineEdit;
class QPushButton;

// The set list: the keys of the slots and of "&Temp Folder" (0-9, a-c, t)
// pick them even while the list has the focus, instead of searching the
// list for a set name.
class CCopyMoveComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

signals:
    void SlotKey(QKeyEvent* event);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// "Add Group": the name of a new set.
class CAddGroupDialog : public QDialog {
    Q_OBJECT
public:
    explicit CAddGroupDialog(QWidget* parent = nullptr);
    QString GetName() const;
    QLineEdit* Edit() const { return m_pEdit; }

private:
    QLineEdit* m_pEdit;
};

// The destination of a copy or move: thirteen slots (keys 0-9 and A-C) of
// the selected named set, each a folder with a browse button. A slot's
// button picks its folder at once. The sets live in "folsdata.dat".
class CMoveCopyDialog : public QDialog {
    Q_OBJECT
public:
    explicit CMoveCopyDialog(const QString& caption, QWidget* parent = nullptr,
                             const QString& dataFile = CFolderSets::DefaultPath());

    // The chosen folder (after OK).
    QString GetFolder() const { return m_strFolder; }

    // The slot keys' labels in slot order: "0" ... "9", "A", "B", "C".
    static QString SlotKey(int slot);
    static QString BrowseTitle(int slot);

    // The folder dialog (tests replace it): the empty text when cancelled.
    static std::function<QString(QWidget* owner, const QString& title)> s_pfnBrowse;
    static const char* const kWriteError;
    static const char* const kFolderTooLong;

    QLineEdit* SlotEdit(int slot) const { return m_pEdits[std::size_t(slot)]; }
    QPushButton* SlotButton(int slot) const { return m_pButtons[std::size_t(slot)]; }
    QPushButton* BrowseButton(int slot) const { return m_pBrowse[std::size_t(slot)]; }
    CCopyMoveComboBox* SetList() const { return m_pList; }
    QPushButton* AddButton() const { return m_pAdd; }
    QPushButton* DeleteButton() const { return m_pDelete; }
    QPushButton* TempButton() const { return m_pTemp; }
    const CFolderSets& Sets() const { return m_sets; }

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void _FillEdits();
    void _OnEditChanged();
    void _OnSlot(int slot);
    void _OnBrowse(int slot);
    void _OnTempFolder();
    void _OnAdd();
    void _OnDelete();
    QStringList _SlotsTooLong() const;
    bool _HandleKey(QKeyEvent* event);

    QString m_strFolder;
    QString m_strDataFile;
    CFolderSets m_sets;
    bool m_bModified = false;
    bool m_bUnreadable = false; // a file is there but its sets could not be read
    bool m_bFilling = false;
    std::array<QLineEdit*, SFolderSet::kSlots> m_pEdits{};
    std::array<QPushButton*, SFolderSet::kSlots> m_pButtons{};
    std::array<QPushButton*, SFolderSet::kSlots> m_pBrowse{};
    CCopyMoveComboBox* m_pList;
    QPushButton* m_pAdd;
    QPushButton* m_pDelete;
    QPushButton* m_pTemp;
};
