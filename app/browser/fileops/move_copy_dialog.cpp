#include "move_copy_dialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "file_op_asker.h"
#include "shell/ambrel_app.h"
#include "support/vx_helper.h"

const char* const CMoveCopyDialog::kWriteError = "Error opening folder data file for writing";
const char* const CMoveCopyDialog::kFolderTooLong =
    "A folder name of more than 260 bytes cannot be kept in a slot; these slots are left empty:\n%1";

std::function<QString(QWidget*, const QString&)> CMoveCopyDialog::s_pfnBrowse = [](QWidget* owner,
                                                                                   const QString& title) {
    return CVxHelper::BrowseForFolder(owner, title, 0, false);
};

namespace {

constexpr int kTempFolder = -2;
constexpr int kNameLength = 30;

// The slot (0-12) or "&Temp Folder" (kTempFolder) of a plain key, else -1.
int KeyTarget(const QKeyEvent* event)
{
    if (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier))
        return -1;
    const int key = event->key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return key - Qt::Key_0;
    if (key >= Qt::Key_A && key <= Qt::Key_C)
        return 10 + key - Qt::Key_A;
    return key == Qt::Key_T ? kTempFolder : -1;
}

} // namespace

void CCopyMoveComboBox::keyPressEvent(QKeyEvent* event)
{
    if (KeyTarget(event) != -1) {
        emit SlotKey(event);
        return;
    }
    QComboBox::keyPressEvent(event);
}

CAddGroupDialog::CAddGroupDialog(QWidget* parent) : QDialog(parent), m_pEdit(new QLineEdit(this))
{
    setWindowTitle(tr("Add Group"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString CAddGroupDialog::GetName() const
{
    return m_pEdit->text();
}

QString CMoveCopyDialog::SlotKey(int slot)
{
    return slot < 10 ? QString::number(slot) : QString(QLatin1Char(char('A' + slot - 10)));
}

QString CMoveCopyDialog::BrowseTitle(int slot)
{
    return QStringLiteral("Browse for ") + (slot == 0 ? QStringLiteral("10") : SlotKey(slot));
}

CMoveCopyDialog::CMoveCopyDialog(const QString& caption, QWidget* parent, const QString& dataFile)
    : QDialog(parent), m_strDataFile(dataFile), m_pList(new CCopyMoveComboBox(this)),
      m_pAdd(new QPushButton(tr("A&dd"), this)), m_pDelete(new QPushButton(tr("D&el"), this)),
      m_pTemp(new QPushButton(tr("&Temp Folder"), this))
{
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Folders Group"), this));
    top->addWidget(m_pList, 1);
    top->addWidget(m_pAdd);
    top->addWidget(m_pDelete);
    layout->addLayout(top);
    auto* grid = new QGridLayout;
    for (int k = 0; k < SFolderSet::kSlots; ++k) {
        m_pButtons[k] = new QPushButton(QLatin1Char('&') + SlotKey(k), this);
        m_pEdits[k] = new QLineEdit(this);
        m_pBrowse[k] = new QPushButton(QStringLiteral("..."), this);
        for (QPushButton* button : {m_pButtons[k], m_pBrowse[k]})
            button->setAutoDefault(false);
        m_pButtons[k]->setFixedWidth(40);
        grid->addWidget(m_pButtons[k], k, 0);
        grid->addWidget(m_pEdits[k], k, 1);
        grid->addWidget(m_pBrowse[k], k, 2);
        connect(m_pButtons[k], &QPushButton::clicked, this, [this, k] { _OnSlot(k); });
        connect(m_pBrowse[k], &QPushButton::clicked, this, [this, k] { _OnBrowse(k); });
        connect(m_pEdits[k], &QLineEdit::textChanged, this, &CMoveCopyDialog::_OnEditChanged);
    }
    layout->addLayout(grid);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_pTemp);
    bottom->addStretch();
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setAutoDefault(false);
    bottom->addWidget(cancel);
    layout->addLayout(bottom);
    for (QPushButton* button : {m_pAdd, m_pDelete, m_pTemp})
        button->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_pTemp, &QPushButton::clicked, this, &CMoveCopyDialog::_OnTempFolder);
    connect(m_pAdd, &QPushButton::clicked, this, &CMoveCopyDialog::_OnAdd);
    connect(m_pDelete, &QPushButton::clicked, this, &CMoveCopyDialog::_OnDelete);
    connect(m_pList, &CCopyMoveComboBox::SlotKey, this, [this](QKeyEvent* event) { _HandleKey(event); });
    setMinimumWidth(520);

    m_bUnreadable = !m_sets.Load(m_strDataFile) && QFileInfo::exists(m_strDataFile);
    for (const SFolderSet& set : m_sets.m_sets)
        m_pList->addItem(set.name);
    if (!m_sets.m_sets.empty()) {
        const int last = CFolderSets::LastSelected();
        m_pList->setCurrentIndex(last < int(m_sets.m_sets.size()) ? last : 0);
        _FillEdits();
    }
    connect(m_pList, &QComboBox::currentIndexChanged, this, &CMoveCopyDialog::_FillEdits);
    m_pList->setFocus();
}

void CMoveCopyDialog::_FillEdits()
{
    const int index = m_pList->currentIndex();
    m_bFilling = true;
    for (int k = 0; k < SFolderSet::kSlots; ++k)
        m_pEdits[k]->setText(index >= 0 ? m_sets.m_sets[std::size_t(index)].folders[std::size_t(k)] : QString());
    m_bFilling = false;
}

void CMoveCopyDialog::_OnEditChanged()
{
    const int index = m_pList->currentIndex();
    if (m_bFilling || index < 0)
        return;
    SFolderSet& set = m_sets.m_sets[std::size_t(index)];
    for (int k = 0; k < SFolderSet::kSlots; ++k)
        set.folders[std::size_t(k)] = m_pEdits[k]->text();
    m_bModified = true;
}

void CMoveCopyDialog::_OnSlot(int slot)
{
    m_strFolder = m_pEdits[slot]->text();
    accept();
}

void CMoveCopyDialog::_OnBrowse(int slot)
{
    const QString folder = s_pfnBrowse(this, BrowseTitle(slot));
    if (!folder.isEmpty())
        m_pEdits[slot]->setText(folder);
}

void CMoveCopyDialog::_OnTempFolder()
{
    const QString folder = s_pfnBrowse(this, tr("Browse for Temporary Folder"));
    if (folder.isEmpty())
        return;
    m_strFolder = folder;
    accept();
}

void CMoveCopyDialog::_OnAdd()
{
    CAddGroupDialog ask(this);
    if (ask.exec() != QDialog::Accepted)
        return;
    SFolderSet set;
    set.name = ask.GetName().left(kNameLength);
    // Slots typed while there was no set are kept in the new one.
    const bool first = m_pList->currentIndex() < 0;
    if (first)
        for (int k = 0; k < SFolderSet::kSlots; ++k)
            set.folders[std::size_t(k)] = m_pEdits[k]->text();
    m_sets.m_sets.push_back(set);
    m_bFilling = true;
    m_pList->addItem(set.name);
    m_pList->setCurrentIndex(first ? 0 : m_pList->currentIndex());
    m_bFilling = false;
    m_bModified = true;
}

void CMoveCopyDialog::_OnDelete()
{
    const int index = m_pList->currentIndex();
    if (index < 0)
        return;
    m_sets.m_sets.erase(m_sets.m_sets.begin() + index);
    {
        const QSignalBlocker quiet(m_pList);
        m_pList->removeItem(index);
        m_pList->setCurrentIndex(m_sets.m_sets.empty() ? -1 : 0);
    }
    _FillEdits();
    m_bModified = true;
}

bool CMoveCopyDialog::_HandleKey(QKeyEvent* event)
{
    const int target = KeyTarget(event);
    if (target == kTempFolder)
        m_pTemp->click();
    else if (target >= 0)
        m_pButtons[target]->click();
    return target != -1;
}

void CMoveCopyDialog::keyPressEvent(QKeyEvent* event)
{
    if (!_HandleKey(event))
        QDialog::keyPressEvent(event);
}

// The slots whose folders will not be kept, as "set: slot" lines.
QStringList CMoveCopyDialog::_SlotsTooLong() const
{
    QStringList tooLong;
    for (const SFolderSet& set : m_sets.m_sets)
        for (int k = 0; k < SFolderSet::kSlots; ++k)
            if (!SFolderSet::Fits(set.folders[std::size_t(k)]))
                tooLong << set.name + QStringLiteral(": ") + SlotKey(k);
    return tooLong;
}

void CMoveCopyDialog::done(int result)
{
    CFolderSets::SetLastSelected(std::max(m_pList->currentIndex(), 0));
    if (const QStringList tooLong = _SlotsTooLong(); m_bModified && !m_bUnreadable && !tooLong.isEmpty())
        FileOpAsker().Tell(tr(kFolderTooLong).arg(tooLong.join(QLatin1Char('\n'))),
                           QString::fromLatin1(CAmbrelApp::kAppTitle), false);
    // Sets that could not be read are never replaced by the ones shown.
    if (m_bModified && (m_bUnreadable || !m_sets.Save(m_strDataFile)))
        FileOpAsker().Tell(tr(kWriteError), QString::fromLatin1(CAmbrelApp::kAppTitle), false);
    m_bModified = false;
    QDialog::done(result);
}
