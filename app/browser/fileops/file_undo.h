#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "safe_file_io.h"

// The last rename, move or move to the trash of this run (all the files of
// the last batch), and putting it back. A file is put back only when it is
// still where the operation left it, unchanged, and its old name is free.
class CFileUndo {
public:
    static CFileUndo& Instance();

    // Operations recorded between the outermost Begin and End form one step.
    void BeginGroup();
    void EndGroup();

    // The file was renamed or moved from `from` to `to`.
    void RecordMove(const QString& from, const QString& to);
    // The file was moved to the trash and is now `inTrash`.
    void RecordTrash(const QString& from, const QString& inTrash);

    bool CanUndo() const { return !m_steps.empty(); }
    // Puts the last step back. The empty text on success, else the message
    // for the user; nothing is changed when a file cannot be put back.
    QString Undo();
    // The original paths that the last Undo gave back.
    const QStringList& Restored() const { return m_restored; }
    void Clear();

    static const char* const kNothingToUndo;
    static const char* const kChangedSince;
    static const char* const kNameTaken;
    static const char* const kUndoFailed;

private:
    struct SStep {
        bool trash = false;
        QString from;
        QString to;
        vxfile::SEntry state;
    };
    void _Record(SStep step);
    QString _Check() const;

    std::vector<SStep> m_steps;
    QStringList m_restored;
    int m_nDepth = 0;
    bool m_bStartNew = false;
};
