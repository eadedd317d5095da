#include "file_operations.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressDialog>
#include <QStandardPaths>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "file_op_asker.h"
#include "file_undo.h"
#include "native_path.h"
#include "safe_file_io.h"
#include "settings/general_settings.h"
#include "shell/ambrel_app.h"
#include "support/vx_helper.h"

namespace fileops_text {
const char* const kRenameFailedRetry = "Rename operation failed, try again...";
const char* const kRenameFailed = "Rename operation failed...";
const char* const kConfirmDelete = "Are you sure you want to delete the file %1 ?";
const char* const kConfirmDeleteCaption = "Confirm Delete";
const char* const kDeleteFailed = "Could not delete file, the file maybe read only";
const char* const kNoTrash = "The file %1 cannot be moved to the trash on this drive.\nDelete it permanently ?";
const char* const kNoTrashForLink = "%1 is a symbolic link that leads to no file, and cannot be moved to the "
                                    "trash.\nDelete the link permanently ?";
const char* const kNoTempName = "Could not create temporary name";
const char* const kNewName = "The new generated name is : %1";
const char* const kAutoRenameCaption = "Auto rename";
const char* const kNameExists = "The new name already exists..., try again or press Cancel";
const char* const kNameExistsCaption = "Already exists";
const char* const kMoveFailed = "Could not move file";
const char* const kCopyFailed = "Could not copy file";
const char* const kCopyCaption = "Copy %1 to";
const char* const kMoveCaption = "Move %1 to";
} // namespace fileops_text

int g_nCopyProgressDelayMs = 400;

namespace {

using namespace fileops_text;

constexpr int kMoveAttempts = 10;
constexpr auto kMoveRetryWait = std::chrono::milliseconds(200);

QString Text(const char* text)
{
    return QString::fromUtf8(text);
}

// Within a batch the user may stop at a failure (a full disk would
// otherwise give one message per file); the files not reached stay as they are.
void Fail(const char* text)
{
    const QString caption = QString::fromLatin1(CAmbrelApp::kAppTitle);
    if (!g_bBatchFileOperation)
        FileOpAsker().Tell(Text(text), caption, false);
    else if (!FileOpAsker().TellGoOn(Text(text), caption))
        CBatchFileOperation::s_bCancelled = true;
}

QString WithoutTrailingSlashes(QString folder)
{
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

QString WithoutTrailingSpace(QString text)
{
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

// An entry that would be overwritten (a folder of that name is not: moving
// onto it fails on its own).
bool TargetExists(const QString& path)
{
    const vxfile::SEntry entry = vxfile::Stat(NativePath(path));
    return entry.exists && !entry.directory;
}

bool IsSameFile(const QString& a, const QString& b)
{
    return a == b || vxfile::SameFile(NativePath(a), NativePath(b));
}

// Errors that may pass when tried again; the others would only freeze the
// window for two seconds.
bool MayPass(int error)
{
    return error == EBUSY || error == ETXTBSY || error == EAGAIN || error == EINTR;
}

// Feedback for a copy that takes a while: a progress window with Cancel.
class CCopyFeedback {
public:
    explicit CCopyFeedback(const QString& path) : m_strName(SplitPath(path).name) { m_clock.start(); }

    // Valid while this object lives.
    vxfile::Progress Progress()
    {
        return [this](std::uint64_t copied, std::uint64_t total) { return _Step(copied, total); };
    }
    bool Cancelled() const { return m_bCancelled; }

private:
    bool _Step(std::uint64_t copied, std::uint64_t total)
    {
        if (!m_pDialog && m_clock.elapsed() >= g_nCopyProgressDelayMs &&
            qobject_cast<QApplication*>(QCoreApplication::instance())) {
            m_pDialog = std::make_unique<QProgressDialog>(QObject::tr("Copying %1...").arg(m_strName),
                                                          QObject::tr("Cancel"), 0, 1000,
                                                          QApplication::activeWindow());
            m_pDialog->setWindowModality(Qt::ApplicationModal);
            m_pDialog->setMinimumDuration(0);
        }
        if (!m_pDialog)
            return true;
        m_pDialog->setValue(total ? int(copied * 1000 / total) : 1000);
        QCoreApplication::processEvents();
        m_bCancelled = m_pDialog->wasCanceled();
        return !m_bCancelled;
    }

    QString m_strName;
    QElapsedTimer m_clock;
    std::unique_ptr<QProgressDialog> m_pDialog;
    bool m_bCancelled = false;
};

// MoveFileRetry with its feedback given: 0 or the last errno value.
int MoveRetrying(const QString& source, const QString& target, unsigned flags, const vxfile::Progress& progress)
{
    for (int attempt = 1;; ++attempt) {
        const int error = vxfile::MoveFile(NativePath(source), NativePath(target), flags & kMoveReplaceExisting,
                                           flags & kMoveCopyAllowed, progress);
        if (error == 0 || attempt == kMoveAttempts || !MayPass(error))
            return error;
        std::this_thread::sleep_for(kMoveRetryWait);
    }
}

// Once Cancel was pressed in a copy's progress window, the rest of the batch
// is not done either.
bool BatchCancelled()
{
    return g_bBatchFileOperation && CBatchFileOperation::s_bCancelled;
}

// The answer to the question of a file system without a trash, once a batch.
// The trash takes no link that leads nowhere; a yes for such a link is no
// yes for the files of the batch.
bool AllowPermanentDelete(const QString& name, bool linkToNothing)
{
    if (g_bBatchFileOperation && CBatchFileOperation::s_bPermanentDeleteAllowed)
        return true;
    const bool yes = FileOpAsker().AskYesNo(Text(linkToNothing ? kNoTrashForLink : kNoTrash).arg(name),
                                            Text(kConfirmDeleteCaption));
    if (!linkToNothing)
        CBatchFileOperation::s_bPermanentDeleteAllowed = yes && g_bBatchFileOperation;
    return yes;
}

QString LeadingLetters(const QString& name)
{
    qsizetype n = 0;
    while (n < name.size() && ((name[n] >= QLatin1Char('A') && name[n] <= QLatin1Char('Z')) ||
                               (name[n] >= QLatin1Char('a') && name[n] <= QLatin1Char('z'))))
        ++n;
    return name.left(n);
}

bool AutoRename(QString& target, const QString& folder)
{
    const SSplitPath parts = SplitPath(target);
    QString base = LeadingLetters(parts.name);
    if (base.isEmpty())
        base = QStringLiteral("AMB");
    const QString fresh = MakeAutoRenameName(folder, base, parts.extension);
    if (fresh.isEmpty()) {
        Fail(kNoTempName);
        return false;
    }
    target = fresh;
    FileOpAsker().Tell(Text(kNewName).arg(SplitPath(fresh).name), Text(kAutoRenameCaption), true);
    return true;
}

bool RenameTarget(const QString& source, QString& target, const QString& folder)
{
    const SSplitPath parts = SplitPath(source);
    for (;;) {
        const std::optional<QString> name = FileOpAsker().AskName(parts.name);
        if (!name || *name == parts.name)
            return false;
        const QString candidate = WithoutTrailingSlashes(folder) + QLatin1Char('/') + *name + parts.extension;
        if (vxfile::Exists(NativePath(candidate))) {
            FileOpAsker().Tell(Text(kNameExists), Text(kNameExistsCaption), true);
            continue;
        }
        target = candidate;
        return true;
    }
}

// Copies or moves `source` onto `target` (asked about when it exists). 1
// done, 0 failed, 2 skipped at the overwrite question, -1 cancelled in the
// progress window (source and target as they were).
int Transfer(const QString& source, QString& target, const QString& folder, bool move)
{
    if (BatchCancelled())
        return -1;
    const char* failure = move ? kMoveFailed : kCopyFailed;
    // Only the file the user agreed to overwrite is replaced: one that
    // another program makes by that name meanwhile stays.
    bool replace = false;
    if (TargetExists(target)) {
        // A file is neither copied nor moved onto itself.
        if (IsSameFile(source, target)) {
            Fail(failure);
            return 0;
        }
        const QString asked = target;
        if (!ConfirmOverwrite(source, target, folder))
            return 2;
        replace = target == asked;
    }
    CCopyFeedback feedback(source);
    const unsigned flags = (replace ? kMoveReplaceExisting : 0) | kMoveCopyAllowed | kMoveWriteThrough;
    const int error = move ? MoveRetrying(source, target, flags, feedback.Progress())
                           : vxfile::CopyFile(NativePath(source), NativePath(target), replace, feedback.Progress());
    if (error && feedback.Cancelled()) {
        CBatchFileOperation::s_bCancelled = g_bBatchFileOperation;
        return -1;
    }
    if (error) {
        Fail(failure);
        return 0;
    }
    if (move)
        CFileUndo::Instance().RecordMove(source, target);
    return 1;
}

int TransferTo(const QString& path, QString* done, bool move)
{
    if (BatchCancelled())
        return -1;
    const SSplitPath parts = SplitPath(path);
    QString destination = g_strBatchDestinationFolder;
    if (destination.isEmpty()) {
        const std::optional<QString> chosen =
            FileOpAsker().AskDestination(Text(move ? kMoveCaption : kCopyCaption).arg(parts.name));
        if (!chosen)
            return -1;
        destination = WithoutTrailingSpace(*chosen);
        if (destination.isEmpty())
            return -1;
        // A relative folder (a slot typed so) is one of the file's folder,
        // never of wherever the program was started.
        if (QDir::isRelativePath(destination))
            destination = QFileInfo(path).absolutePath() + QLatin1Char('/') + destination;
        // Typed text is checked as a picked folder is.
        if (CVxHelper::IsAmbiguousName(destination)) {
            FileOpAsker().Tell(CVxHelper::AmbiguousNameMessage(destination),
                               QString::fromLatin1(CAmbrelApp::kAppTitle), false);
            return -1;
        }
        if (g_bBatchFileOperation)
            g_strBatchDestinationFolder = destination;
    }
    const QString folder = destination == QLatin1String("/") ? destination : WithoutTrailingSlashes(destination);
    QString target = WithoutTrailingSlashes(folder) + QLatin1Char('/') + parts.name + parts.extension;
    const int result = Transfer(path, target, folder, move);
    if (result == 1 && done)
        *done = target;
    if (result == 2)
        return move ? 0 : 1;
    return result;
}

} // namespace

SSplitPath SplitPath(const QString& path)
{
    SSplitPath parts;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    parts.folder = path.left(slash + 1);
    const QString file = path.mid(slash + 1);
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    parts.name = dot > 0 ? file.left(dot) : file;
    parts.extension = dot > 0 ? file.mid(dot) : QString();
    return parts;
}

QString RenameFile(const QString& path, bool retry)
{
    if (BatchCancelled())
        return QString();
    SSplitPath parts = SplitPath(path);
    if (parts.folder.isEmpty())
        parts.folder = QDir::currentPath() + QLatin1Char('/');
    const QString from = parts.folder + parts.name + parts.extension;
    for (;;) {
        const std::optional<QString> name = FileOpAsker().AskName(parts.name);
        if (!name || *name == parts.name)
            return QString();
        const QString to = parts.folder + *name + parts.extension;
        // A name is never a path into another folder.
        const bool plainName = !name->isEmpty() && !name->contains(QLatin1Char('/'));
        if (plainName && vxfile::RenameEntry(NativePath(from), NativePath(to), false) == 0) {
            CFileUndo::Instance().RecordMove(from, to);
            return to;
        }
        Fail(retry ? kRenameFailedRetry : kRenameFailed);
        if (!retry || BatchCancelled())
            return QString();
    }
}

bool DeleteFileAsk(const QString& path)
{
    if (BatchCancelled())
        return false;
    const SSplitPath parts = SplitPath(path);
    if (!g_bBatchFileOperation &&
        !FileOpAsker().AskYesNo(Text(kConfirmDelete).arg(parts.name + parts.extension), Text(kConfirmDeleteCaption)))
        return false;
    const std::string native = NativePath(path);
    const vxfile::SEntry entry = vxfile::Stat(native);
    if (!entry.exists || entry.directory || !vxfile::MayRemove(native)) {
        Fail(kDeleteFailed);
        return false;
    }
    if (MoveDeletedFilesToTrash()) {
        // The home trash is made inside the data folder, which a new
        // account may not have yet.
        QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
        QString inTrash;
        if (QFile::moveToTrash(path, &inTrash)) {
            CFileUndo::Instance().RecordTrash(path, inTrash);
            return true;
        }
        if (!AllowPermanentDelete(parts.name + parts.extension, entry.link && !QFileInfo::exists(path)))
            return false;
    }
    if (vxfile::RemoveFile(native) != 0) {
        Fail(kDeleteFailed);
        return false;
    }
    return true;
}

bool ConfirmOverwrite(const QString& source, QString& target, const QString& folder)
{
    int answer = 0;
    if (GeneralSettings.bAutoRenameDifferentSizes &&
        vxfile::Stat(NativePath(source)).size != vxfile::Stat(NativePath(target)).size)
        answer = 3;
    else
        answer = FileOpAsker().AskOverwrite(source, target);
    switch (answer) {
    case 1:
        return true;
    case 3:
        return AutoRename(target, folder);
    case 4:
        return RenameTarget(source, target, folder);
    default:
        return false;
    }
}

bool MoveFileChecked(const QString& source, const QString& target)
{
    QString to = target;
    return Transfer(source, to, SplitPath(target).folder, true) == 1;
}

bool CopyFileChecked(const QString& source, const QString& target)
{
    QString to = target;
    return Transfer(source, to, SplitPath(target).folder, false) == 1;
}

int CopyFileTo(const QString& path, QString* done)
{
    return TransferTo(path, done, false);
}

int MoveFileTo(const QString& path, QString* done)
{
    return TransferTo(path, done, true);
}

bool MoveFileRetry(const QString& source, const QString& target, unsigned flags)
{
    CCopyFeedback feedback(source);
    return MoveRetrying(source, target, flags, feedback.Progress()) == 0;
}

QString MakeAutoRenameName(const QString& folder, const QString& base, const QString& extension,
                           const std::function<int()>& random)
{
    const auto next = [&random] { return random ? random() : (std::rand() & 0x7FFF); };
    const QString prefix = WithoutTrailingSlashes(folder) + QLatin1Char('/') + base;
    for (int n = 1; n <= 1000; ++n) {
        QString letters;
        for (int i = 0; i < 3; ++i)
            letters += QLatin1Char(char('A' + int(double(next()) / 32767.0 * 25.0)));
        const QString candidate = prefix + letters + QString::number(n) + extension;
        if (!vxfile::Exists(NativePath(candidate)))
            return candidate;
    }
    return QString();
}

bool UndoLastFileOperation()
{
    const QString refusal = CFileUndo::Instance().Undo();
    if (!refusal.isEmpty())
        FileOpAsker().Tell(refusal, QString::fromLatin1(CAmbrelApp::kAppTitle), false);
    return refusal.isEmpty();
}
