#include "duplicates/dif_results.h"

#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <new>

#include "browser/fileops/file_operations.h"
#include "browser/fileops/native_path.h"
#include "browser/fileops/thumbnail_static.h"
#include "duplicates/signature_database.h"
#include "support/mdi_frames.h"
#include "support/vx_helper.h"

const char* const CDIFResults::kSizesWithoutThread =
    "The picture sizes could not be read: the system refused to start a thread (too many programs or threads are "
    "running). No file was marked.";
const char* const CDIFResults::kSizesShortOfMemory =
    "The picture sizes could not be read: there is not enough memory. No file was marked.";
const char* const CDIFResults::kOperationShortOfMemory =
    "The marked files were left as they were: there is not enough memory to open the signature database.";

std::function<bool(const QString&, const QString&, QMessageBox::Icon)> CDIFResults::s_pfnAsk =
    [](const QString& text, const QString& caption, QMessageBox::Icon icon) {
        QMessageBox box(icon, caption, text, QMessageBox::Yes | QMessageBox::No, CSMDIFrameWnd::GetMainFrame());
        if (icon == QMessageBox::Critical)
            box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    };

int CDIFResults::s_nBatchProgressDelayMs = 500;

std::function<void(QWidget*, const QString&, const QString&, QMessageBox::Icon)> CDIFResults::s_pfnTell =
    [](QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon) {
        QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
        box.exec();
    };

namespace {

QPushButton* Button(const char* text, int id, QWidget* parent)
{
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QString::number(id));
    return button;
}

QLabel* Label(int id, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::number(id));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString ItemPath(const QTreeWidgetItem* item)
{
    return item->text(0);
}

// The path to open or read the file by: none when its name is not UTF-8
// (the text would name another file).
QString ReadablePath(const QTreeWidgetItem* item)
{
    return item->data(0, CDIFResults::kUnnamableRole).toBool() ? QString() : ItemPath(item);
}

bool IsMarked(const QTreeWidgetItem* item)
{
    return item->checkState(0) == Qt::Checked;
}

QTreeWidgetItem* MakeItem(const dif::SDuplicateItem& source)
{
    const QString text = QFile::decodeName(source.path.c_str());
    auto* item = new QTreeWidgetItem({text});
    if (!SurvivesAsText(source.path))
        item->setData(0, CDIFResults::kUnnamableRole, true);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    item->setData(0, CDIFResults::kRecordRole, qulonglong(source.record));
    item->setData(0, CDIFResults::kMatchRole, source.match);
    item->setData(0, CDIFResults::kSizeRole, qulonglong(source.size));
    return item;
}

} // namespace

// Feedback for a batch of marked files, which runs on this thread: a
// progress window once it takes a while (moving thousands of photos to
// another disk takes minutes), whose Cancel ends the batch after the file
// at hand.
class CDIFResults::CBatchProgress {
public:
    CBatchProgress(const char* doing, int total, QWidget* parent)
        : m_dialog(QStringLiteral("%1 %2 file(s)...").arg(QString::fromLatin1(doing)).arg(total),
                   QStringLiteral("Cancel"), 0, total, parent)
    {
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setMinimumDuration(CDIFResults::s_nBatchProgressDelayMs);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setValue(0);
    }
    // After each file; false once Cancel was pressed.
    bool Step()
    {
        m_dialog.setValue(++m_nDone);
        return !m_dialog.wasCanceled();
    }

private:
    QProgressDialog m_dialog;
    int m_nDone = 0;
};

CDIFResults::CDIFResults(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* top = new QHBoxLayout;
    m_pTree = new QTreeWidget(this);
    m_pTree->setObjectName(QStringLiteral("1071"));
    m_pTree->setHeaderHidden(true);
    m_pTree->setUniformRowHeights(true);
    m_pTree->installEventFilter(this);
    top->addWidget(m_pTree, 3);

    auto* panels = new QGridLayout;
    for (int side = 0; side < 2; ++side) {
        CThumbnailStatic*& box = side ? m_pRight : m_pLeft;
        box = new CThumbnailStatic(this);
        box->setObjectName(QString::number(1010 + side));
        box->setMinimumSize(160, 120);
        panels->addWidget(box, 0, side);
        auto* texts = new QGridLayout;
        texts->addWidget(new QLabel(QStringLiteral("Resolution:"), this), 0, 0);
        texts->addWidget(m_pResolution[side] = Label(1074 + side, this), 0, 1);
        texts->addWidget(new QLabel(QStringLiteral("Size:"), this), 1, 0);
        texts->addWidget(m_pSize[side] = Label(1080 + side, this), 1, 1);
        texts->addWidget(m_pFile[side] = Label(1082 + side, this), 2, 0, 1, 2);
        m_pFile[side]->setText(QStringLiteral("File:"));
        m_pFile[side]->setWordWrap(true);
        panels->addLayout(texts, 1, side);
        connect(box, &CThumbnailStatic::Decoded, this, [this, side] {
            m_pResolution[side]->setText(Preview(side != 0)->GetResolutionText());
        });
    }
    m_pMatch = Label(1085, this);
    panels->addWidget(m_pMatch, 2, 0, 1, 2);
    top->addLayout(panels, 2);
    layout->addLayout(top, 1);

    auto* buttons = new QHBoxLayout;
    QPushButton* del = Button("&Delete  Marked", 1072, this);
    QPushButton* move = Button("&Move  Marked", 1073, this);
    QPushButton* copy = Button("&Copy Marked", 1076, this);
    QPushButton* unmark = Button("&Unmark All", 1077, this);
    QPushButton* smaller = Button("Mark &smaller size", 1078, this);
    QPushButton* larger = Button("Mark &larger size", 1079, this);
    QPushButton* same = Button("Mark sa&me size", 1084, this);
    m_pMarkBest = Button("Mark all but the &best", 1088, this);
    QPushButton* summary = Button("Summary", 1087, this);
    for (QPushButton* button : {del, move, copy, unmark, summary})
        buttons->addWidget(button);
    layout->addLayout(buttons);
    auto* rules = new QHBoxLayout;
    for (QPushButton* button : {smaller, larger, same, m_pMarkBest})
        rules->addWidget(button);
    layout->addLayout(rules);

    connect(del, &QPushButton::clicked, this, &CDIFResults::DeleteMarked);
    connect(move, &QPushButton::clicked, this, &CDIFResults::MoveMarked);
    connect(copy, &QPushButton::clicked, this, &CDIFResults::CopyMarked);
    connect(unmark, &QPushButton::clicked, this, &CDIFResults::UnmarkAll);
    connect(smaller, &QPushButton::clicked, this, [this] { ApplyMarkRule(dif::EMarkRule::Smaller); });
    connect(larger, &QPushButton::clicked, this, [this] { ApplyMarkRule(dif::EMarkRule::Larger); });
    connect(same, &QPushButton::clicked, this, [this] { ApplyMarkRule(dif::EMarkRule::SameSize); });
    connect(m_pMarkBest, &QPushButton::clicked, this, [this] { ApplyMarkRule(dif::EMarkRule::AllButBest); });
    connect(summary, &QPushButton::clicked, this, &CDIFResults::ShowSummary);
    connect(m_pTree, &QTreeWidget::currentItemChanged, this, &CDIFResults::UpdateDetailPanels);
    connect(m_pTree, &QTreeWidget::itemDoubleClicked, this, [](QTreeWidgetItem* item) {
        if (item && !ReadablePath(item).isEmpty() && CThumbnailStatic::s_pfnOpenViewer)
            CThumbnailStatic::s_pfnOpenViewer(ReadablePath(item));
    });
}

CDIFResults::~CDIFResults()
{
    _StopReadingPictureSizes();
}

void CDIFResults::_Tell(const QString& text, const QString& caption, QMessageBox::Icon icon)
{
    s_pfnTell(this, text, caption, icon);
}

void CDIFResults::_ClearDetails()
{
    m_pLeft->Clear();
    m_pRight->Clear();
    for (int side = 0; side < 2; ++side) {
        m_pResolution[side]->clear();
        m_pSize[side]->clear();
        m_pFile[side]->clear();
    }
    m_pMatch->clear();
}

void CDIFResults::ClearResults()
{
    _StopReadingPictureSizes();
    _ClearDetails();
    m_bTreeBusy = true;
    m_pTree->setUpdatesEnabled(false);
    m_pTree->clear();
    m_pTree->setUpdatesEnabled(true);
    m_bTreeBusy = false;
}

void CDIFResults::SetGroups(const std::vector<dif::SDuplicateGroup>& groups)
{
    m_bTreeBusy = true;
    m_pTree->setUpdatesEnabled(false);
    QList<QTreeWidgetItem*> heads;
    heads.reserve(qsizetype(groups.size()));
    for (const auto& group : groups) {
        QTreeWidgetItem* head = MakeItem(group.head);
        for (const auto& member : group.members)
            head->addChild(MakeItem(member));
        heads.push_back(head);
    }
    m_pTree->addTopLevelItems(heads);
    m_pTree->expandAll();
    m_pTree->setUpdatesEnabled(true);
    m_bTreeBusy = false;
}

void CDIFResults::UpdateDetailPanels()
{
    if (m_bTreeBusy)
        return;
    _ClearDetails();
    QTreeWidgetItem* item = m_pTree->currentItem();
    if (!item)
        return;
    QTreeWidgetItem* head = item->parent() ? item->parent() : item;
    QTreeWidgetItem* sides[2] = {head, item->parent() ? item : nullptr};
    if (m_bSwapped && sides[1])
        std::swap(sides[0], sides[1]);
    for (int side = 0; side < 2; ++side) {
        if (!sides[side])
            continue;
        CThumbnailStatic* box = Preview(side != 0);
        box->SetFile(ReadablePath(sides[side]));
        m_pResolution[side]->setText(box->GetResolutionText());
        m_pSize[side]->setText(
            CVxHelper::FormatNumber(long(sides[side]->data(0, kSizeRole).toULongLong())) + QStringLiteral(" byte(s)"));
        m_pFile[side]->setText(QStringLiteral("File: ") + ItemPath(sides[side]));
    }
    if (item->parent())
        m_pMatch->setText(QStringLiteral("Match: %%1").arg(item->data(0, kMatchRole).toInt()));
    m_pLeft->update();
    m_pRight->update();
}

std::vector<dif::SMarkGroup> CDIFResults::_MarkGroups(bool withPixels) const
{
    std::vector<dif::SMarkGroup> groups;
    for (int h = 0; h < m_pTree->topLevelItemCount(); ++h) {
        QTreeWidgetItem* head = m_pTree->topLevelItem(h);
        dif::SMarkGroup group;
        for (int k = -1; k < head->childCount(); ++k) {
            QTreeWidgetItem* item = k < 0 ? head : head->child(k);
            dif::SMarkItem mark;
            mark.size = item->data(0, kSizeRole).toULongLong();
            mark.checked = IsMarked(item);
            if (withPixels)
                mark.pixels = item->data(0, kPixelsRole).toULongLong();
            group.items.push_back(mark);
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

void CDIFResults::_SetMarks(const std::vector<dif::SMarkGroup>& groups)
{
    for (int h = 0; h < m_pTree->topLevelItemCount() && std::size_t(h) < groups.size(); ++h) {
        QTreeWidgetItem* head = m_pTree->topLevelItem(h);
        for (int k = -1; k < head->childCount(); ++k)
            (k < 0 ? head : head->child(k))
                ->setCheckState(0, groups[std::size_t(h)].items[std::size_t(k + 1)].checked ? Qt::Checked : Qt::Unchecked);
    }
}

void CDIFResults::ApplyMarkRule(dif::EMarkRule rule)
{
    if (rule == dif::EMarkRule::AllButBest) {
        std::vector<QTreeWidgetItem*> unknown;
        for (QTreeWidgetItemIterator it(m_pTree); *it; ++it)
            if (!(*it)->data(0, kPixelsRole).isValid())
                unknown.push_back(*it);
        if (!unknown.empty()) {
            _ReadPictureSizes(std::move(unknown));
            return;
        }
    }
    std::vector<dif::SMarkGroup> groups = _MarkGroups(rule == dif::EMarkRule::AllButBest);
    const dif::SMarkSummary summary = dif::ApplyMarkRule(groups, rule);
    _SetMarks(groups);
    _Tell(QStringLiteral("Marked %1 file(s). Total of %2 byte(s)")
              .arg(summary.count)
              .arg(CVxHelper::FormatNumber(QString::number(summary.total))),
          QStringLiteral("Summary"), QMessageBox::Question);
}

void CDIFResults::_ReadPictureSizes(std::vector<QTreeWidgetItem*> items)
{
    _StopReadingPictureSizes();
    std::vector<QString> paths;
    paths.reserve(items.size());
    for (QTreeWidgetItem* item : items)
        paths.push_back(ReadablePath(item));
    // The results wait (disabled), the rest of the program does not. Not
    // modal: a modal progress dialog runs the event loop inside setValue,
    // where the result could arrive and end the dialog under its own feet.
    setEnabled(false);
    m_pSizeProgress = std::make_unique<QProgressDialog>(QStringLiteral("Reading picture sizes..."),
                                                        QStringLiteral("Cancel"), 0, int(items.size()), this);
    m_pSizeProgress->setMinimumDuration(300);
    m_pSizeProgress->setAutoClose(false);
    m_pSizeProgress->setAutoReset(false);
    connect(m_pSizeProgress.get(), &QProgressDialog::canceled, this, [this] { _StopReadingPictureSizes(); });
    EThreadRefusal refused = EThreadRefusal::TooManyTasks;
    const bool started = m_sizeReader.Start(
        std::move(paths), this,
        [this](int done) {
            if (m_pSizeProgress)
                m_pSizeProgress->setValue(done);
        },
        [this, items = std::move(items)](const std::vector<std::uint64_t>& pixels) {
            _StopReadingPictureSizes();
            for (std::size_t i = 0; i < items.size(); ++i)
                items[i]->setData(0, kPixelsRole, qulonglong(pixels[i]));
            ApplyMarkRule(dif::EMarkRule::AllButBest);
        },
        &refused);
    if (!started) {
        _StopReadingPictureSizes();
        _Tell(QString::fromLatin1(refused == EThreadRefusal::ShortOfMemory ? kSizesShortOfMemory : kSizesWithoutThread),
              QStringLiteral("Ambrel"), QMessageBox::Warning);
    }
}

void CDIFResults::_StopReadingPictureSizes()
{
    m_sizeReader.Cancel();
    if (m_pSizeProgress) {
        // It may be emitting its cancel right now.
        m_pSizeProgress->hide();
        m_pSizeProgress.release()->deleteLater();
        setEnabled(true);
    }
}

void CDIFResults::UnmarkAll()
{
    auto groups = _MarkGroups(false);
    for (auto& group : groups)
        for (auto& item : group.items)
            item.checked = false;
    _SetMarks(groups);
}

void CDIFResults::ShowSummary()
{
    const dif::SMarkSummary summary = dif::SummarizeMarks(_MarkGroups(false));
    _Tell(QStringLiteral("%1 file(s) are currently marked and their total is %2 byte(s)")
              .arg(summary.count)
              .arg(CVxHelper::FormatNumber(QString::number(summary.total))),
          QStringLiteral("Summary"), QMessageBox::Question);
}

int CDIFResults::CountMarked() const
{
    return int(dif::SummarizeMarks(_MarkGroups(false)).count);
}

void CDIFResults::DeleteMarked()
{
    _RunMarked(EOperation::Delete);
}

void CDIFResults::MoveMarked()
{
    _RunMarked(EOperation::Move);
}

void CDIFResults::CopyMarked()
{
    _RunMarked(EOperation::Copy);
}

int CDIFResults::_Operate(EOperation operation, QTreeWidgetItem* item, dif::CSignatureDatabase* database)
{
    const QString path = ItemPath(item);
    if (item->data(0, kUnnamableRole).toBool()) {
        _Tell(QStringLiteral("The name of %1 is not UTF-8 text; the file is left as it is.").arg(path),
              QStringLiteral("Ambrel"), QMessageBox::Warning);
        return 0;
    }
    int result = 0;
    switch (operation) {
    case EOperation::Delete:
        result = DeleteFileAsk(path) ? 1 : 0;
        break;
    case EOperation::Move:
        result = MoveFileTo(path);
        break;
    case EOperation::Copy:
        return CopyFileTo(path);
    }
    // Zero the record only while it still describes this file (a scan by
    // another program may have rebuilt the database since).
    const std::size_t record = item->data(0, kRecordRole).toULongLong();
    if (result == 1 && database && record < database->GetCount() &&
        database->Path(record) == QFile::encodeName(path).toStdString())
        database->ZeroRecord(record);
    return result;
}

void CDIFResults::_RunMarked(EOperation operation)
{
    const int count = CountMarked();
    if (count == 0)
        return;
    static const char* const kVerbs[] = {"delete", "move", "copy"};
    static const char* const kCaptions[] = {"Confirm Delete", "Confirm Move", "Confirm Copy"};
    const int index = int(operation);
    if (!s_pfnAsk(QStringLiteral("Are you sure you want to %1 %2 file(s) ?").arg(QString::fromLatin1(kVerbs[index])).arg(count),
                  QString::fromLatin1(kCaptions[index]),
                  operation == EOperation::Copy ? QMessageBox::Question : QMessageBox::Critical))
        return;
    CBatchFileOperation batch;
    static const char* const kDoing[] = {"Deleting", "Moving", "Copying"};
    CBatchProgress progress(kDoing[index], count, this);
    if (operation == EOperation::Copy) {
        _ForEachMarked(operation, nullptr, progress);
        return;
    }
    _StopReadingPictureSizes();
    m_pTree->setUpdatesEnabled(false);
    m_bTreeBusy = true;
    dif::CSignatureDatabase database;
    bool opened = false, shortOfMemory = false;
    try {
        opened = database.Open(QFile::encodeName(m_strDatabase).toStdString(), true);
    } catch (const std::bad_alloc&) {  // it is read whole
        shortOfMemory = true;
    }
    if (opened)
        _ForEachMarked(operation, &database, progress);
    else
        _Tell(shortOfMemory ? QString::fromLatin1(kOperationShortOfMemory) : QStringLiteral("Could not load data file"),
              QStringLiteral("Ambrel"), QMessageBox::Warning);
    database.Close();
    m_bTreeBusy = false;
    m_pTree->setUpdatesEnabled(true);
    UpdateDetailPanels();
}

void CDIFResults::_ForEachMarked(EOperation operation, dif::CSignatureDatabase* database, CBatchProgress& progress)
{
    // A file that could not be deleted or moved (or was skipped) is still
    // where it was: its item stays, marked, and is not dropped as if done.
    // After a cancel the files not reached yet are left as if unmarked.
    const bool removes = operation != EOperation::Copy;
    bool cancelled = false;
    const auto operate = [&](QTreeWidgetItem* item) {
        if (cancelled || !IsMarked(item))
            return 0;
        const int result = _Operate(operation, item, database);
        cancelled = result >= 0 && !progress.Step();
        return result;
    };
    for (int h = 0; h < m_pTree->topLevelItemCount();) {
        QTreeWidgetItem* head = m_pTree->topLevelItem(h);
        const int headResult = operate(head);
        if (headResult < 0)
            return;
        for (int k = 0; k < head->childCount();) {
            QTreeWidgetItem* child = head->child(k);
            const int result = operate(child);
            if (result < 0)
                return;
            if (removes && result == 1)
                delete child;
            else
                ++k;
        }
        if (removes && headResult == 1)
            delete head;
        else
            ++h;
    }
}

void CDIFResults::SelectNextPair(bool forward)
{
    // Members only: each one is a pair with its head.
    QTreeWidgetItem* item = m_pTree->currentItem();
    if (!item) {
        item = m_pTree->topLevelItem(0);
        if (!item || !forward)
            return;
        if (item->parent()) // never: heads are top-level
            return;
    }
    do
        item = forward ? m_pTree->itemBelow(item) : m_pTree->itemAbove(item);
    while (item && !item->parent());
    if (item)
        m_pTree->setCurrentItem(item);
}

void CDIFResults::SwapPreviews()
{
    m_bSwapped = !m_bSwapped;
    UpdateDetailPanels();
}

bool CDIFResults::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pTree && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return false;
        switch (key->key()) {
        case Qt::Key_N:
            SelectNextPair(true);
            return true;
        case Qt::Key_P:
            SelectNextPair(false);
            return true;
        case Qt::Key_X:
            SwapPreviews();
            return true;
        case Qt::Key_Space:
            if (QTreeWidgetItem* item = m_pTree->currentItem())
                item->setCheckState(0, IsMarked(item) ? Qt::Unchecked : Qt::Checked);
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
