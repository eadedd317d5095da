#pragma once

#include <QMessageBox>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "duplicates/duplicate_groups.h"
#include "duplicates/picture_size_reader.h"
#include "duplicates/duplicate_marks.h"

class CThumbnailStatic;
namespace dif {
class CSignatureDatabase;
}
class QLabel;
class QProgressDialog;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The results of a comparison: the tree of groups with check boxes, the two
// previews with their texts, the mark rules and the operations on the
// marked files. Heads are top-level items, members their children.
class CDIFResults : public QWidget {
    Q_OBJECT
public:
    // kUnnamableRole: the file's name is not UTF-8, so the item's text names
    // another file (or none).
    enum Role { kRecordRole = Qt::UserRole, kMatchRole, kSizeRole, kPixelsRole, kUnnamableRole };

    explicit CDIFResults(QWidget* parent = nullptr);
    ~CDIFResults() override;

    QTreeWidget* Tree() const { return m_pTree; }
    CThumbnailStatic* Preview(bool right) const { return right ? m_pRight : m_pLeft; }
    QPushButton* MarkBestButton() const { return m_pMarkBest; }

    // The database the marked-file operations zero records in.
    void SetDatabasePath(const QString& path) { m_strDatabase = path; }

    void ClearResults();
    void SetGroups(const std::vector<dif::SDuplicateGroup>& groups);
    void UpdateDetailPanels();

    // "All but the best" first reads the pixel counts it does not know yet
    // on a worker (with a progress dialog that cancels), then marks.
    void ApplyMarkRule(dif::EMarkRule rule);
    bool IsReadingPictureSizes() const { return m_pSizeProgress != nullptr; }
    void UnmarkAll();
    void ShowSummary();
    int CountMarked() const;

    void DeleteMarked();
    void MoveMarked();
    void CopyMarked();
    static const char* const kOperationShortOfMemory;
    static const char* const kSizesWithoutThread;
    static const char* const kSizesShortOfMemory;

    // Review keys: the next or previous member, and the sides of the previews.
    void SelectNextPair(bool forward);
    void SwapPreviews();
    bool PreviewsSwapped() const { return m_bSwapped; }

    // Yes/No questions of the marked-file operations (owner: the main
    // window); tests answer them at once.
    static std::function<bool(const QString& text, const QString& caption, QMessageBox::Icon icon)> s_pfnAsk;
    // A batch of marked files shows its progress window after this long.
    static int s_nBatchProgressDelayMs;
    // Messages with an OK button, owned by the form.
    static std::function<void(QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon)>
        s_pfnTell;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class EOperation { Delete, Move, Copy };
    void _RunMarked(EOperation operation);
    // 1 done, 0 failed, -1 abandon the batch.
    int _Operate(EOperation operation, QTreeWidgetItem* item, dif::CSignatureDatabase* database);
    // Depth-first over the marked items: an item, its members, the next
    // group; items done are removed after their members (not by a copy).
    class CBatchProgress;
    void _ForEachMarked(EOperation operation, dif::CSignatureDatabase* database, CBatchProgress& progress);
    std::vector<dif::SMarkGroup> _MarkGroups(bool withPixels) const;
    void _SetMarks(const std::vector<dif::SMarkGroup>& groups);
    void _ClearDetails();
    void _Tell(const QString& text, const QString& caption, QMessageBox::Icon icon);
    void _ReadPictureSizes(std::vector<QTreeWidgetItem*> items);
    void _StopReadingPictureSizes();

    QTreeWidget* m_pTree = nullptr;
    CThumbnailStatic* m_pLeft = nullptr;
    CThumbnailStatic* m_pRight = nullptr;
    QLabel* m_pResolution[2] = {};
    QLabel* m_pSize[2] = {};
    QLabel* m_pFile[2] = {};
    QLabel* m_pMatch = nullptr;
    QPushButton* m_pMarkBest = nullptr;
    QString m_strDatabase;
    bool m_bTreeBusy = false;
    bool m_bSwapped = false;
    std::unique_ptr<QProgressDialog> m_pSizeProgress;
    CPictureSizeReader m_sizeReader; // last: joined before anything it reports to goes
};
