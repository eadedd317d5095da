// The commands on a whole group, on real files, with every question
// answered by the test.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/thumbnails/group_operations.h"
#include "browser/scripted_asker.h"
#include "browser/thumbnails/grouping.h"
#include "browser/thumbnails/program_actions.h"
#include "test_actions.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const char* const kCat[] = {"cat01.jpg", "cat02.jpg", "Cat-3.png"};

// A folder with the group cat (three files) and a bystander.
struct Folder {
    vxtest::TempDir dir;
    CGroupStruct cat;
    Folder()
    {
        for (const char* name : kCat)
            std::ofstream(dir.File(name)) << name;
        std::ofstream(dir.File("dog.bmp")) << "dog";
        for (const CGroupPtr& group : grouping::GroupFolder(dir.Path().string()).m_Sets[0])
            if (group->m_strName == "cat")
                cat = *group;
    }
    std::string Path(const std::string& name) const { return dir.File(name); }
    int CatFilesIn(const std::string& folder) const
    {
        int count = 0;
        for (const char* name : kCat)
            count += fs::exists(fs::path(folder) / name);
        return count;
    }
};

// The test answers the group's questions; the program does the files.
class CProgramFileActions : public CTestActions {
public:
    bool MoveFileChecked(const std::string& source, const std::string& target) override
    {
        return m_Program.MoveFileChecked(source, target);
    }
    bool CopyFileChecked(const std::string& source, const std::string& target) override
    {
        return m_Program.CopyFileChecked(source, target);
    }
    bool DeleteFile(const std::string& path) override { return m_Program.DeleteFile(path); }
    void SetBatch(bool on) override { m_Program.SetBatch(on); }
    bool BatchCancelled() const override { return m_Program.BatchCancelled(); }

private:
    CBrowserActions& m_Program = *ProgramBrowserActions();
};

} // namespace

TEST(GroupCommands, ConvertIntoFolder)
{
    struct Case {
        const char* what;
        std::vector<bool> answers;
        bool folderExists, fileInTheWay, oneFails;
        EGroupOutcome outcome;
        int moved;
        const char* told;
    };
    const Case cases[] = {
        {"yes", {true}, false, false, false, EGroupOutcome::RemoveGroup, 3, nullptr},
        {"no", {false}, false, false, false, EGroupOutcome::Nothing, 0, nullptr},
        {"into the existing folder", {true, true}, true, false, false, EGroupOutcome::RemoveGroup, 3, nullptr},
        {"not into the existing folder", {true, false}, true, false, false, EGroupOutcome::Nothing, 0, nullptr},
        {"a file has the folder's name", {true}, false, true, false, EGroupOutcome::Nothing, 0,
         "Could not create folder..."},
        {"one move fails", {true}, false, false, true, EGroupOutcome::Regroup, 2,
         "Did not move all files into newlly created folder, the current view will refresh automatically"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folder f;
        const std::string folder = f.Path("cat (3)");
        if (c.folderExists)
            fs::create_directory(folder);
        if (c.fileInTheWay)
            std::ofstream(folder) << "in the way";
        CTestActions actions;
        actions.m_Answers.assign(c.answers.begin(), c.answers.end());
        if (c.oneFails)
            actions.m_Failing.push_back(f.Path("cat02.jpg"));
        EXPECT_EQ(RunGroupCommand(EGroupCommand::Convert, f.cat, f.dir.Path().string(), actions), c.outcome);
        EXPECT_EQ(f.CatFilesIn(folder), c.moved);
        EXPECT_EQ(f.CatFilesIn(f.dir.Path().string()), 3 - c.moved);
        EXPECT_TRUE(fs::exists(f.Path("dog.bmp")));
        ASSERT_GE(actions.m_Asked.size(), 1u);
        EXPECT_EQ(actions.m_Asked[0], "Are you sure you want to move group 'cat' into a seperate subfolder ?");
        EXPECT_EQ(actions.m_Captions[0], "Convert Group");
        if (c.folderExists) {
            ASSERT_EQ(actions.m_Asked.size(), 2u);
            EXPECT_EQ(actions.m_Asked[1], "A folder with the group name already exists...\nDo you want to continue and "
                                          "move the files into the folder?");
            EXPECT_EQ(actions.m_Captions[1], "Folder Already Exists");
        }
        EXPECT_EQ(actions.m_Told, c.told ? std::vector<QString>{c.told} : std::vector<QString>{});
        EXPECT_TRUE(actions.m_Renamed.empty());
    }
    // "and rename" offers to rename the new folder.
    Folder f;
    CTestActions actions;
    EXPECT_EQ(RunGroupCommand(EGroupCommand::ConvertRename, f.cat, f.dir.Path().string(), actions),
              EGroupOutcome::RemoveGroup);
    EXPECT_EQ(actions.m_Renamed, std::vector<std::string>{f.Path("cat (3)")});
}

TEST(GroupCommands, MoveAndCopy)
{
    struct Case {
        EGroupCommand command;
        const char* name; // for the rename step
        const char* destination;
        const char* caption;
        const char* subfolder; // where the files land below the destination
        bool moving;
        EGroupOutcome outcome;
        bool relative = false; // typed as a folder of the window's folder
    };
    const Case cases[] = {
        {EGroupCommand::Move, "", "dest", "Move Group cat to", "", true, EGroupOutcome::RemoveGroup},
        {EGroupCommand::Copy, "", "dest", "Copy Group cat to", "", false, EGroupOutcome::Nothing},
        {EGroupCommand::MoveSub, "", "dest  \t", "Move Group cat to [Subfolder]", "cat (3)", true,
         EGroupOutcome::RemoveGroup},
        {EGroupCommand::CopySub, "", "dest", "Copy Group cat to [Subfolder]", "cat (3)", false, EGroupOutcome::Nothing},
        {EGroupCommand::MoveSubRename, "fé [*?] 50%", "dest/", "Move Group fé [*?] 50% to [Subfolder] and Rename",
         "fé [*?] 50% (3)", true, EGroupOutcome::RemoveGroup},
        {EGroupCommand::CopySubRename, "felis", "dest", "Copy Group felis to [Subfolder] and Rename", "felis (3)",
         false, EGroupOutcome::Nothing},
        {EGroupCommand::Move, "", "dest", "Move Group cat to", "", true, EGroupOutcome::RemoveGroup, true},
        {EGroupCommand::CopySub, "", "dest/", "Copy Group cat to [Subfolder]", "cat (3)", false, EGroupOutcome::Nothing,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        Folder f;
        const std::string destination = f.Path("dest");
        fs::create_directory(destination);
        CTestActions actions;
        actions.m_strName = QString::fromUtf8(c.name);
        const QString folder = c.relative ? QString() : QString::fromStdString(f.dir.Path().string() + "/");
        actions.m_Destinations.push_back(folder + QString::fromUtf8(c.destination));
        EXPECT_EQ(RunGroupCommand(c.command, f.cat, f.dir.Path().string(), actions), c.outcome);
        EXPECT_EQ(actions.m_Captions.back(), QString::fromUtf8(c.caption));
        EXPECT_EQ(f.CatFilesIn(destination + (*c.subfolder ? "/" + std::string(c.subfolder) : "")), 3);
        EXPECT_EQ(f.CatFilesIn(f.dir.Path().string()), c.moving ? 0 : 3);
        EXPECT_TRUE(actions.m_Told.empty());
        EXPECT_TRUE(actions.m_bBatchSeen); // one batch: one undo step
        EXPECT_EQ(actions.m_nBatchDepth, 0);
    }
}

TEST(GroupCommands, StopsAndFailuresLeaveTheFilesOrRegroup)
{
    Folder f;
    const std::string folder = f.dir.Path().string();
    fs::create_directory(f.Path("dest"));
    CTestActions actions;
    // Cancelled destination; cancelled rename (no destination asked).
    EXPECT_EQ(RunGroupCommand(EGroupCommand::Move, f.cat, folder, actions), EGroupOutcome::Nothing);
    actions.m_bCancelName = true;
    actions.m_Captions.clear();
    EXPECT_EQ(RunGroupCommand(EGroupCommand::MoveSubRename, f.cat, folder, actions), EGroupOutcome::Nothing);
    EXPECT_TRUE(actions.m_Captions.empty());
    // Blank destination.
    actions.m_Destinations.push_back("   ");
    EXPECT_EQ(RunGroupCommand(EGroupCommand::Copy, f.cat, folder, actions), EGroupOutcome::Nothing);
    // A typed "caf\uFFFD" reads like "caf\xe9" (not UTF-8) as well as naming
    // "caf\xef\xbf\xbd": refused, relative or not.
    for (const char* name : {"caf\xe9", "caf\xef\xbf\xbd"})
        fs::create_directory(f.Path(name));
    for (const QString& typed : {QString("caf\uFFFD"), QString::fromStdString(f.Path("caf\uFFFD/"))}) {
        actions.m_Told.clear();
        actions.m_Destinations.push_back(typed);
        EXPECT_EQ(RunGroupCommand(EGroupCommand::MoveSub, f.cat, folder, actions), EGroupOutcome::Nothing);
        ASSERT_EQ(actions.m_Told.size(), 1u);
        EXPECT_TRUE(actions.m_Told[0].startsWith("This name may stand for another file:\n" +
                                                 QString::fromStdString(f.Path("caf\uFFFD\n"))));
        EXPECT_TRUE(fs::is_empty(f.Path("caf\xef\xbf\xbd")));
    }
    actions.m_Told.clear();
    // A new name that would leave the destination cannot be a folder.
    actions.m_bCancelName = false;
    actions.m_strName = "../escape";
    actions.m_Destinations.push_back(QString::fromStdString(f.Path("dest")));
    EXPECT_EQ(RunGroupCommand(EGroupCommand::MoveSubRename, f.cat, folder, actions), EGroupOutcome::Nothing);
    EXPECT_EQ(actions.m_Told, std::vector<QString>{"Could not create folder..."});
    EXPECT_FALSE(fs::exists(f.Path("escape (3)")));
    EXPECT_EQ(f.CatFilesIn(folder), 3);
    // The existing subfolder declined while copying: its own question.
    fs::create_directory(f.Path("dest/cat (3)"));
    actions.m_Asked.clear();
    actions.m_Answers = {false};
    actions.m_Destinations.push_back(QString::fromStdString(f.Path("dest")));
    EXPECT_EQ(RunGroupCommand(EGroupCommand::CopySub, f.cat, folder, actions), EGroupOutcome::Nothing);
    EXPECT_EQ(actions.m_Asked, std::vector<QString>{"A folder with the group name already exists...\nDo you want to "
                                                    "continue and copy the files into the folder?"});
    EXPECT_EQ(f.CatFilesIn(f.Path("dest/cat (3)")), 0);
    // One copy fails: reported as a move, and the tree regroups.
    actions.m_Told.clear();
    actions.m_Failing = {f.Path("cat01.jpg")};
    actions.m_Destinations.push_back(QString::fromStdString(f.Path("dest")));
    EXPECT_EQ(RunGroupCommand(EGroupCommand::Copy, f.cat, folder, actions), EGroupOutcome::Regroup);
    EXPECT_EQ(actions.m_Told,
              std::vector<QString>{"Did not move all files, the current view will refresh automatically"});
    EXPECT_EQ(f.CatFilesIn(f.Path("dest")), 2);
    // Cancel in the progress window of the second file: the run ends without
    // a message, and the tree regroups to show the first file gone.
    for (const EGroupCommand command : {EGroupCommand::Move, EGroupCommand::Convert}) {
        Folder g;
        CTestActions stopping;
        stopping.m_strCancelled = g.cat.m_Paths[1];
        fs::create_directory(g.Path("dest"));
        stopping.m_Destinations.push_back(QString::fromStdString(g.Path("dest")));
        EXPECT_EQ(RunGroupCommand(command, g.cat, g.dir.Path().string(), stopping), EGroupOutcome::Regroup);
        EXPECT_TRUE(stopping.m_Told.empty());
        EXPECT_EQ(g.CatFilesIn(g.dir.Path().string()), 2);
    }
    // A group whose files all left the folder: nothing to do, nothing asked.
    CGroupStruct gone = f.cat;
    for (int i = 0; i < gone.m_Paths.GetSize(); ++i)
        gone.m_Paths[i].clear();
    actions.m_Asked.clear();
    for (EGroupCommand command : {EGroupCommand::Convert, EGroupCommand::Move, EGroupCommand::CopySub})
        EXPECT_EQ(RunGroupCommand(command, gone, folder, actions), EGroupOutcome::Nothing);
    EXPECT_TRUE(actions.m_Asked.empty());
}

TEST(GroupCommands, DeleteAsksOnceAndRegroupsAfterAnyFailure)
{
    struct Case {
        bool yes;
        bool oneEntryEmptied; // deleted earlier from the thumbnail view
        EGroupOutcome outcome;
        int left;
    };
    for (const Case& c : {Case{true, false, EGroupOutcome::RemoveGroup, 0}, Case{false, false, EGroupOutcome::Nothing, 3},
                          Case{true, true, EGroupOutcome::Regroup, 0}}) {
        Folder f;
        if (c.oneEntryEmptied) {
            fs::remove(f.cat.m_Paths[1]);
            f.cat.m_Paths[1].clear();
        }
        CTestActions actions;
        actions.m_Answers = {c.yes};
        EXPECT_EQ(RunGroupCommand(EGroupCommand::Delete, f.cat, f.dir.Path().string(), actions), c.outcome);
        EXPECT_EQ(f.CatFilesIn(f.dir.Path().string()), c.left);
        EXPECT_TRUE(fs::exists(f.Path("dog.bmp")));
        EXPECT_EQ(actions.m_Asked, std::vector<QString>{"Are you sure you want to delete all files in group 'cat' ?"});
        EXPECT_EQ(actions.m_Told, c.oneEntryEmptied ? std::vector<QString>{"Could not delete all files, the current "
                                                                           "view will refresh automatically"}
                                                    : std::vector<QString>{});
    }
}

// Stop at the failure of the first file: the others stay where they are,
// and no summary follows the message the user answered.
TEST(GroupCommands, AStopAtAFailureEndsTheRunQuietly)
{
    for (const EGroupCommand command :
         {EGroupCommand::Delete, EGroupCommand::Move, EGroupCommand::Copy, EGroupCommand::Convert}) {
        SCOPED_TRACE(GroupCommandId(command));
        Folder f;
        fs::remove(f.cat.m_Paths[0]); // gone since the folder was grouped
        fs::create_directory(f.Path("dest"));
        vxtest::ScriptedAsker asker;
        asker.goOn = {false};
        CProgramFileActions actions;
        actions.m_Destinations = {QString::fromStdString(f.Path("dest"))};
        EXPECT_EQ(RunGroupCommand(command, f.cat, f.dir.Path().string(), actions), EGroupOutcome::Regroup);
        EXPECT_EQ(asker.log.size(), 1) << asker.log.join('\n').toStdString();
        EXPECT_TRUE(actions.m_Told.empty());
        EXPECT_EQ(f.CatFilesIn(f.dir.Path().string()), 2);
        EXPECT_EQ(f.CatFilesIn(f.Path("dest")), 0);
    }
}

TEST(GroupCommands, IdsMapBothWays)
{
    const std::pair<int, EGroupCommand> ids[] = {
        {246, EGroupCommand::Convert},     {248, EGroupCommand::ConvertRename}, {227, EGroupCommand::Move},
        {228, EGroupCommand::Copy},        {32823, EGroupCommand::MoveSub},     {32824, EGroupCommand::CopySub},
        {249, EGroupCommand::MoveSubRename}, {250, EGroupCommand::CopySubRename}, {235, EGroupCommand::Delete}};
    for (const auto& [id, command] : ids) {
        EGroupCommand back;
        ASSERT_TRUE(GroupCommandFromId(id, back));
        EXPECT_EQ(back, command);
        EXPECT_EQ(GroupCommandId(command), id);
    }
    EGroupCommand none;
    EXPECT_FALSE(GroupCommandFromId(223, none));
}
