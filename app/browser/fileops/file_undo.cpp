#include "file_undo.h"

#include <QDir>
#include <QFileInfo>

#include "native_path.h"

const char* const CFileUndo::kNothingToUndo = "There is no file operation to undo.";
const char* const CFileUndo::kChangedSince =
    "The file operation cannot be undone: %1 has been changed, moved or deleted since.";
const char* const CFileUndo::kNameTaken = "The file operation cannot be undone: %1 exists again.";
const char* const CFileUndo::kUndoFailed = "Could not put %1 back.";

namespace {

// The trash keeps "files/<name>" and its record "info/<name>.trashinfo".
void ForgetTrashInfo(const QString& inTrash)
{
    const QFileInfo file(inTrash);
    const QString info = file.dir().absolutePath() + QStringLiteral("/../info/") + file.fileName() +
                         QStringLiteral(".trashinfo");
    QFile::remove(QDir::cleanPath(info));
}

} // namespace

CFileUndo& CFileUndo::Instance()
{
    static CFileUndo undo;
    return undo;
}

void CFileUndo::BeginGroup()
{
    if (m_nDepth++ == 0)
        m_bStartNew = true;
}

void CFileUndo::EndGroup()
{
    if (m_nDepth > 0)
        --m_nDepth;
}

void CFileUndo::RecordMove(const QString& from, const QString& to)
{
    _Record({false, from, to, vxfile::Stat(NativePath(to))});
}

void CFileUndo::RecordTrash(const QString& from, const QString& inTrash)
{
    _Record({true, from, inTrash, vxfile::Stat(NativePath(inTrash))});
}

void CFileUndo::_Record(SStep step)
{
    if (m_nDepth == 0 || m_bStartNew)
        m_steps.clear();
    m_bStartNew = false;
    m_steps.push_back(std::move(step));
}

void CFileUndo::Clear()
{
    m_steps.clear();
    m_restored.clear();
}

QString CFileUndo::_Check() const
{
    for (const SStep& step : m_steps) {
        if (!vxfile::Stat(NativePath(step.to)).SameState(step.state))
            return QString::fromLatin1(kChangedSince).arg(step.to);
        // The old name of a later step may be taken by an earlier one only
        // when the batch moved one file twice, which it does not.
        // Where case is ignored, a rename that changed the case only finds
        // its file under the old name too.
        if (vxfile::Exists(NativePath(step.from)) && !vxfile::IsOtherSpelling(NativePath(step.from)))
            return QString::fromLatin1(kNameTaken).arg(step.from);
    }
    return QString();
}

QString CFileUndo::Undo()
{
    m_restored.clear();
    if (m_steps.empty())
        return QString::fromLatin1(kNothingToUndo);
    if (const QString refusal = _Check(); !refusal.isEmpty())
        return refusal;
    std::vector<SStep> steps;
    steps.swap(m_steps);
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (vxfile::MoveFile(NativePath(step->to), NativePath(step->from), false, true) != 0) {
            // What is left stays undoable.
            m_steps.assign(steps.begin(), step.base());
            return QString::fromLatin1(kUndoFailed).arg(step->from);
        }
        if (step->trash)
            ForgetTrashInfo(step->to);
        m_restored << step->from;
    }
    return QString();
}
