#include "browser/thumbnails/group_operations.h"

#include <filesystem>
#include <system_error>

#include "browser/thumbnails/browser_actions.h"
#include "support/vx_helper.h"

namespace fs = std::filesystem;

namespace {

const char kConvertCaption[] = "Convert Group";
const char kExistsCaption[] = "Folder Already Exists";
const char kCannotCreate[] = "Could not create folder...";

struct SCommandInfo {
    EGroupCommand command;
    int id;
};
const SCommandInfo kCommands[] = {
    {EGroupCommand::Convert, 246},     {EGroupCommand::ConvertRename, 248}, {EGroupCommand::Move, 227},
    {EGroupCommand::Copy, 228},        {EGroupCommand::MoveSub, 32823},     {EGroupCommand::CopySub, 32824},
    {EGroupCommand::MoveSubRename, 249}, {EGroupCommand::CopySubRename, 250}, {EGroupCommand::Delete, 235},
};

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string FileName(const std::string& path)
{
    return fs::path(path).filename().string();
}

std::string FolderOf(const std::string& path)
{
    return fs::path(path).parent_path().string();
}

bool HasPath(const CGroupStruct& group)
{
    for (const std::string& path : group.m_Paths)
        if (!path.empty())
            return true;
    return false;
}

std::string CountedName(const std::string& name, const CGroupStruct& group)
{
    return name + " (" + std::to_string(group.m_Paths.GetSize()) + ")";
}

// The group's folder: asked to go on when it exists, made otherwise. A name
// that would leave the destination (a '/') cannot be a folder of it.
bool PrepareFolder(const std::string& folder, const std::string& leaf, bool moving, CBrowserActions& actions)
{
    std::error_code error;
    if (leaf.find('/') == std::string::npos && fs::is_directory(folder, error)) {
        const QString text = moving ? QStringLiteral("A folder with the group name already exists...\nDo you want to "
                                                     "continue and move the files into the folder?")
                                    : QStringLiteral("A folder with the group name already exists...\nDo you want to "
                                                     "continue and copy the files into the folder?");
        return actions.Ask(text, QString::fromLatin1(kExistsCaption), false, false);
    }
    if (leaf.empty() || leaf.find('/') != std::string::npos || !fs::create_directory(folder, error) || error) {
        actions.Tell(QString::fromLatin1(kCannotCreate));
        return false;
    }
    return true;
}

EGroupOutcome Convert(bool rename, const CGroupStruct& group, const std::string& currentFolder, CBrowserActions& actions)
{
    if (!HasPath(group))
        return EGroupOutcome::Nothing;
    if (!actions.Ask(QStringLiteral("Are you sure you want to move group '%1' into a seperate subfolder ?").arg(Q(group.m_strName)),
                     QString::fromLatin1(kConvertCaption), false, false))
        return EGroupOutcome::Nothing;
    const std::string leaf = CountedName(group.m_strName, group);
    const std::string folder = currentFolder + "/" + leaf;
    if (!PrepareFolder(folder, leaf, true, actions))
        return EGroupOutcome::Nothing;
    bool failed = false, cancelled = false;
    actions.SetBatch(true);
    for (const std::string& path : group.m_Paths)
        if (!path.empty() && !actions.MoveFileChecked(path, FolderOf(path) + "/" + leaf + "/" + FileName(path))) {
            failed = true;
            if ((cancelled = actions.BatchCancelled()))
                break;
        }
    actions.SetBatch(false);
    // Stopped by the user: no message, but the files moved so far are shown.
    if (cancelled)
        return EGroupOutcome::Regroup;
    if (failed) {
        actions.Tell(QStringLiteral(
            "Did not move all files into newlly created folder, the current view will refresh automatically"));
        return EGroupOutcome::Regroup;
    }
    // The rename offered afterwards is for the new folder.
    if (rename)
        actions.RenameFile(folder, true);
    return EGroupOutcome::RemoveGroup;
}

EGroupOutcome Delete(const CGroupStruct& group, CBrowserActions& actions)
{
    if (!actions.Ask(QStringLiteral("Are you sure you want to delete all files in group '%1' ?").arg(Q(group.m_strName)),
                     QString::fromLatin1(kConvertCaption), false, true))
        return EGroupOutcome::Nothing;
    bool failed = false, cancelled = false;
    actions.SetBatch(true);
    for (const std::string& path : group.m_Paths)
        if (path.empty() || !actions.DeleteFile(path)) {
            failed = true;
            if ((cancelled = actions.BatchCancelled()))
                break;
        }
    actions.SetBatch(false);
    if (cancelled)
        return EGroupOutcome::Regroup;
    if (failed) {
        actions.Tell(QStringLiteral("Could not delete all files, the current view will refresh automatically"));
        return EGroupOutcome::Regroup;
    }
    return EGroupOutcome::RemoveGroup;
}

QString TrimRight(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    return text.left(end);
}

EGroupOutcome Transfer(bool moving, bool subfolder, bool rename, const CGroupStruct& group,
                       const std::string& currentFolder, CBrowserActions& actions)
{
    if (!HasPath(group))
        return EGroupOutcome::Nothing;
    QString name = Q(group.m_strName);
    if (rename && !actions.EditName(name))
        return EGroupOutcome::Nothing;
    QString caption = moving ? QStringLiteral("Move Group %1 to") : QStringLiteral("Copy Group %1 to");
    if (subfolder)
        caption += QStringLiteral(" [Subfolder]");
    if (rename)
        caption += QStringLiteral(" and Rename");
    const QString chosen = TrimRight(actions.AskDestination(caption.arg(name)));
    if (chosen.isEmpty())
        return EGroupOutcome::Nothing;
    std::string destination = chosen.toStdString();
    // A relative folder is one of the window's folder, never of wherever the
    // program was started.
    if (destination.front() != '/')
        destination = currentFolder + "/" + destination;
    while (destination.size() > 1 && destination.back() == '/')
        destination.pop_back();
    // Typed text is checked as a picked folder is.
    if (CVxHelper::IsAmbiguousName(QString::fromStdString(destination))) {
        actions.Tell(CVxHelper::AmbiguousNameMessage(QString::fromStdString(destination)));
        return EGroupOutcome::Nothing;
    }
    std::string prefix = destination == "/" ? "" : destination;
    if (subfolder) {
        const std::string leaf = CountedName(name.toStdString(), group);
        if (!PrepareFolder(prefix + "/" + leaf, leaf, moving, actions))
            return EGroupOutcome::Nothing;
        prefix += "/" + leaf;
    }
    bool failed = false, cancelled = false;
    actions.SetBatch(true);
    for (const std::string& path : group.m_Paths) {
        if (path.empty())
            continue;
        const std::string target = prefix + "/" + FileName(path);
        if (!(moving ? actions.MoveFileChecked(path, target) : actions.CopyFileChecked(path, target))) {
            failed = true;
            if ((cancelled = actions.BatchCancelled()))
                break;
        }
    }
    actions.SetBatch(false);
    if (cancelled)
        return EGroupOutcome::Regroup;
    if (failed) {
        actions.Tell(QStringLiteral("Did not move all files, the current view will refresh automatically"));
        return EGroupOutcome::Regroup;
    }
    return moving ? EGroupOutcome::RemoveGroup : EGroupOutcome::Nothing;
}

} // namespace

EGroupOutcome RunGroupCommand(EGroupCommand command, const CGroupStruct& group, const std::string& currentFolder,
                              CBrowserActions& actions)
{
    switch (command) {
    case EGroupCommand::Convert: return Convert(false, group, currentFolder, actions);
    case EGroupCommand::ConvertRename: return Convert(true, group, currentFolder, actions);
    case EGroupCommand::Move: return Transfer(true, false, false, group, currentFolder, actions);
    case EGroupCommand::Copy: return Transfer(false, false, false, group, currentFolder, actions);
    case EGroupCommand::MoveSub: return Transfer(true, true, false, group, currentFolder, actions);
    case EGroupCommand::CopySub: return Transfer(false, true, false, group, currentFolder, actions);
    case EGroupCommand::MoveSubRename: return Transfer(true, true, true, group, currentFolder, actions);
    case EGroupCommand::CopySubRename: return Transfer(false, true, true, group, currentFolder, actions);
    case EGroupCommand::Delete: return Delete(group, actions);
    }
    return EGroupOutcome::Nothing;
}

int GroupCommandId(EGroupCommand command)
{
    for (const SCommandInfo& info : kCommands)
        if (info.command == command)
            return info.id;
    return -1;
}

bool GroupCommandFromId(int id, EGroupCommand& command)
{
    for (const SCommandInfo& info : kCommands)
        if (info.id == id) {
            command = info.command;
            return true;
        }
    return false;
}
