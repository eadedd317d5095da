// The duplicate finder's window offscreen: the folder list, scan and
// compare with their messages, the results tree, the mark rules and the
// operations on the marked files against the database on disk.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <tuple>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <thread>

#include "address_space_limit.h"
#include "browser/child_process.h"
#include "browser/fileops/file_op_asker.h"
#include "browser/fileops/thumbnail_static.h"
#include "duplicates/dif_form_view.h"
#include "duplicates/dif_results.h"
#include "duplicates/signature_database.h"
#include "support/vx_helper.h"
#include "test_support.h"

namespace fs = std::filesystem;

#include "new_refused_off_thread.h"
#include "thread_start_refused.h"

namespace {

struct SMessages {
    QStringList texts;
    QString Last() const { return texts.isEmpty() ? QString() : texts.back(); }
};

// Answers the file operations' questions: Yes, and the destination given.
class CAnswers : public CFileOpAsker {
public:
    std::optional<QString> destination;
    int destinationsAsked = 0;
    std::optional<QString> AskName(const QString&) override { return std::nullopt; }
    bool AskYesNo(const QString&, const QString&) override { return true; }
    int AskOverwrite(const QString&, const QString&) override { return 2; }
    std::optional<QString> AskDestination(const QString&) override
    {
        ++destinationsAsked;
        return destination;
    }
    void Tell(const QString&, const QString&, bool) override {}
};

class DuplicatesWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        CDIFFormView::s_pfnTell = [this](QWidget*, const QString& text, const QString&) { m_messages.texts << text; };
        CDIFFormView::s_pfnBrowseFolder = [this](QWidget*) { return m_strBrowsed; };
        CDIFResults::s_pfnTell = [this](QWidget*, const QString& text, const QString&, QMessageBox::Icon) {
            m_messages.texts << text;
        };
        CDIFResults::s_pfnAsk = [this](const QString& text, const QString&, QMessageBox::Icon) {
            m_messages.texts << text;
            return m_bAnswerYes;
        };
        SetFileOpAsker(&m_answers);
        QFile::remove(CDIFFormView::DatabasePath());
        QSettings().remove(QStringLiteral("CDIFFormView"));
        m_pView = std::make_unique<CDIFFormView>();
        m_pView->resize(1000, 700);
        m_pView->show();
    }
    void TearDown() override
    {
        m_pView.reset();
        SetFileOpAsker(nullptr);
    }

    template <typename T> T* Control(int id) { return m_pView->Control<T>(id); }

    void Save(const fs::path& path, std::uint32_t seed, int w = 40, int h = 30)
    {
        CVelvix image = vxtest::RandomImage(w, h, seed);
        fs::create_directories(path.parent_path());
        ASSERT_EQ(image.SaveImage(path.c_str()), 1);
    }
    void AddFolder(const fs::path& folder)
    {
        Control<QLineEdit>(1067)->setText(QString::fromStdString(folder.string()));
        m_pView->OnAddFolder();
    }
    void Scan()
    {
        m_pView->OnScanButton();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_pView->IsScanRunning(); }, 20000));
        QTest::qWait(20);
    }
    void Compare(const QString& threshold)
    {
        Control<QLineEdit>(1070)->setText(threshold);
        m_pView->OnCompareButton();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_pView->IsCompareRunning(); }, 20000));
        QTest::qWait(20);
    }
    QTreeWidget* Tree() { return Control<QTreeWidget>(1071); }
    std::vector<unsigned char> Database()
    {
        std::ifstream in(QFile::encodeName(CDIFFormView::DatabasePath()).toStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Three copies of one picture (a.bmp, b.bmp plus padding, c.png) and an
    // unrelated one, scanned and compared at 100.
    void ScanThreeCopies()
    {
        Save(m_dir.Path() / "set/a.bmp", 1);
        fs::copy_file(m_dir.Path() / "set/a.bmp", m_dir.Path() / "set/b [1] %d.bmp");
        std::ofstream(m_dir.Path() / "set/b [1] %d.bmp", std::ios::app) << "padding";
        CVelvix same = vxtest::RandomImage(40, 30, 1);
        ASSERT_EQ(same.SaveImage((m_dir.Path() / "set/c ü.png").c_str()), 1);
        Save(m_dir.Path() / "set/other.bmp", 2);
        AddFolder(m_dir.Path() / "set");
        Scan();
        Compare(QStringLiteral("100"));
    }

    vxtest::TempDir m_dir;
    SMessages m_messages;
    QString m_strBrowsed;
    bool m_bAnswerYes = true;
    CAnswers m_answers;
    std::unique_ptr<CDIFFormView> m_pView;
};

} // namespace

TEST_F(DuplicatesWindow, FolderListRulesAndPersistence)
{
    EXPECT_EQ(Control<QLineEdit>(1070)->text(), QStringLiteral("100"));
    EXPECT_EQ(Control<QLabel>(1068)->text(), QStringLiteral("0 file(s) scanned in database."));
    fs::create_directories(m_dir.Path() / "Photos [*?] %s");
    const QString folder = QString::fromStdString((m_dir.Path() / "Photos [*?] %s").string());
    auto* list = Control<QTreeWidget>(1006);

    m_pView->OnAddFolder(); // empty field, browser cancelled
    EXPECT_EQ(list->topLevelItemCount(), 0);
    Control<QLineEdit>(1067)->setText(folder + QStringLiteral("/missing"));
    m_pView->OnAddFolder();
    EXPECT_EQ(m_messages.Last(), QString::fromUtf8(CDIFFormView::kInvalidFolder));
    EXPECT_EQ(list->topLevelItemCount(), 0);
    // Typed "caf\uFFFD" reads like "caf\xe9" (not UTF-8) as well as naming
    // "caf\xef\xbf\xbd", as a picked folder would.
    for (const char* name : {"caf\xe9", "caf\xef\xbf\xbd"})
        fs::create_directories(m_dir.Path() / name);
    const QString lookalike = QString::fromStdString((m_dir.Path() / "caf\uFFFD").string());
    Control<QLineEdit>(1067)->setText(lookalike);
    m_pView->OnAddFolder();
    EXPECT_TRUE(m_messages.Last().startsWith("This name may stand for another file:\n" + lookalike + "\n"));
    EXPECT_EQ(list->topLevelItemCount(), 0);
    // "." typed in a session started in "caf\xe9" (a child: the program never
    // changes its current folder): its full path as text is the other's.
    EXPECT_EQ(vxtest::InChild([&] {
        if (chdir((m_dir.Path() / "caf\xe9").c_str()) != 0)
            return 2;
        Control<QLineEdit>(1067)->setText(".");
        m_pView->OnAddFolder();
        return m_messages.Last().startsWith("This name may stand for another file:\n" + lookalike + "\n") &&
                       list->topLevelItemCount() == 0
                   ? 0
                   : 1;
    }), 0);
    Control<QLineEdit>(1067)->setText(folder);
    m_pView->OnAddFolder();
    EXPECT_TRUE(Control<QLineEdit>(1067)->text().isEmpty());
    fs::create_directories(m_dir.Path() / "photos [*?] %s");
    const QString other = QString::fromStdString((m_dir.Path() / "photos [*?] %s").string());
    Control<QLineEdit>(1067)->setText(other);
    m_pView->OnAddFolder(); // differs in case only: nothing added, the text stays
    EXPECT_EQ(Control<QLineEdit>(1067)->text(), other);
    Control<QLineEdit>(1067)->clear();
    m_strBrowsed = other;
    m_pView->OnAddFolder(); // browsed, equal ignoring case
    EXPECT_EQ(list->topLevelItemCount(), 1);
    m_strBrowsed = QString::fromStdString(m_dir.Path().string());
    m_pView->OnAddFolder();
    EXPECT_EQ(m_pView->Folders(), (QStringList{folder, m_strBrowsed}));
    m_pView->OnRemoveFolder(); // no selection mark
    EXPECT_EQ(list->topLevelItemCount(), 2);
    list->setCurrentItem(list->topLevelItem(0));
    m_pView->OnRemoveFolder();
    EXPECT_EQ(m_pView->Folders(), (QStringList{m_strBrowsed}));
    // Typed relative to the current folder: kept as the full path, which a
    // later session started elsewhere still finds.
    const fs::path relative = fs::relative(m_dir.Path() / "Photos [*?] %s", fs::current_path()) / ".";
    Control<QLineEdit>(1067)->setText(QString::fromStdString(relative.string()));
    m_pView->OnAddFolder();
    EXPECT_EQ(m_pView->Folders(), (QStringList{m_strBrowsed, folder}));

    m_pView.reset();
    CDIFFormView again;
    again.show();
    EXPECT_EQ(again.Folders(), (QStringList{m_strBrowsed, folder}));
    // A damaged value: only full paths are taken back, and none holding a NUL.
    QSettings().setValue(QStringLiteral("CDIFFormView/Folders"),
                         QStringList{QStringLiteral("."), QString(), folder, QStringLiteral("photos [*]"),
                                     folder + QChar(0) + QStringLiteral("x")});
    CDIFFormView damaged;
    damaged.show();
    EXPECT_EQ(damaged.Folders(), (QStringList{folder}));
}

TEST_F(DuplicatesWindow, ScanCompareAndThresholdMessages)
{
    Compare(QStringLiteral("100"));
    EXPECT_EQ(m_messages.Last(), QString::fromUtf8(CDIFFormView::kNoDatabase));
    ScanThreeCopies();
    EXPECT_TRUE(m_messages.texts.contains(QString::fromUtf8(CDIFFormView::kScanFinished)));
    EXPECT_EQ(Control<QLabel>(1068)->text(), QStringLiteral("4 file(s) scanned in database."));
    EXPECT_EQ(Database().size(), 4 * dif::kRecordSize);
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(Tree()->topLevelItem(0)->childCount(), 2);
    EXPECT_TRUE(Tree()->topLevelItem(0)->isExpanded());
    for (QPushButton* button : m_pView->findChildren<QPushButton*>())
        EXPECT_TRUE(button->isEnabled()) << button->text().toStdString();

    for (const char* text : {"0", "101", "abc", ""}) {
        m_messages.texts.clear();
        Compare(QString::fromLatin1(text));
        EXPECT_EQ(m_messages.Last(), QString::fromUtf8(CDIFFormView::kInvalidPercent)) << text;
        EXPECT_EQ(Tree()->topLevelItemCount(), 0);
    }
    m_messages.texts.clear();
    Compare(QStringLiteral("90%"));
    EXPECT_TRUE(m_messages.texts.isEmpty());
    EXPECT_EQ(Tree()->topLevelItemCount(), 1);

    // The detail panels: a member shows both sides and the match.
    Tree()->setCurrentItem(Tree()->topLevelItem(0)->child(0));
    EXPECT_EQ(Control<QLabel>(1085)->text(), QStringLiteral("Match: %100"));
    EXPECT_EQ(Control<QLabel>(1082)->text(), QStringLiteral("File: ") + Tree()->topLevelItem(0)->text(0));
    EXPECT_EQ(Control<CThumbnailStatic>(1011)->GetFilePath(), Tree()->topLevelItem(0)->child(0)->text(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Control<QLabel>(1074)->text() == QStringLiteral("(40 x 30)"); }, 5000));
    Tree()->setCurrentItem(Tree()->topLevelItem(0));
    EXPECT_TRUE(Control<QLabel>(1085)->text().isEmpty());
    EXPECT_TRUE(Control<CThumbnailStatic>(1011)->GetFilePath().isEmpty());

    // Review keys: N to the next member, X swaps the sides, Space marks.
    Tree()->setFocus();
    QTest::keyClick(Tree(), Qt::Key_N);
    EXPECT_EQ(Tree()->currentItem(), Tree()->topLevelItem(0)->child(0));
    QTest::keyClick(Tree(), Qt::Key_N);
    EXPECT_EQ(Tree()->currentItem(), Tree()->topLevelItem(0)->child(1));
    QTest::keyClick(Tree(), Qt::Key_X);
    EXPECT_EQ(Control<CThumbnailStatic>(1010)->GetFilePath(), Tree()->currentItem()->text(0));
    QTest::keyClick(Tree(), Qt::Key_Space);
    EXPECT_EQ(Tree()->currentItem()->checkState(0), Qt::Checked);
}

// A scan or a comparison short of memory fails alone: a message, the
// database and its folder as they were, the window usable, and the same work
// goes through once there is memory again.
TEST_F(DuplicatesWindow, WantOfMemoryFailsOnlyTheScanTheComparisonOrTheDeletion)
{
    for (int i = 0; i < 70; ++i)  // 35 pairs; their signature cache is above 64 KB
        Save(m_dir.Path() / "many" / ("p" + std::to_string(i) + ".bmp"), std::uint32_t(i % 35), 8, 8);
    AddFolder(m_dir.Path() / "many");
    Scan();
    const std::vector<unsigned char> database = Database();
    ASSERT_EQ(database.size(), 70 * dif::kRecordSize);
    const fs::path folder = fs::path(QFile::encodeName(CDIFFormView::DatabasePath()).toStdString()).parent_path();
    auto names = [&folder] {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder))
            found.insert(entry.path().filename().string());
        return found;
    };
    const std::set<std::string> files = names();
    for (QCheckBox* box : m_pView->findChildren<QCheckBox*>())
        box->setChecked(box->text().contains(QStringLiteral("greyscale")));  // 2 KB a record to compare
    g_sparedThread = std::this_thread::get_id();
    for (const bool scan : {true, false}) {
        SCOPED_TRACE(scan ? "scan" : "compare");
        m_messages.texts.clear();
        g_newLimit = 65536;
        if (scan)
            Scan();
        else
            Compare(QStringLiteral("100"));
        g_newLimit = 0;
        EXPECT_EQ(m_messages.texts, QStringList{QString::fromUtf8(scan ? CDIFFormView::kScanShortOfMemory
                                                                      : CDIFFormView::kCompareShortOfMemory)});
        EXPECT_EQ(Tree()->topLevelItemCount(), 0);
        EXPECT_TRUE(Database() == database);
        EXPECT_EQ(names(), files);
        EXPECT_EQ(Control<QPushButton>(1064)->text(), QStringLiteral("Scan &Now"));
        for (QPushButton* button : m_pView->findChildren<QPushButton*>())
            EXPECT_TRUE(button->isEnabled()) << button->text().toStdString();
        m_messages.texts.clear();
        if (scan)
            Scan();
        Compare(QStringLiteral("100"));
        EXPECT_EQ(Tree()->topLevelItemCount(), 35);
        EXPECT_TRUE(Database() == database);
    }
    // The database is read whole on the window's thread, to compare and to
    // delete marked files: without memory for it nothing is done.
    QTreeWidgetItem* marked = Tree()->topLevelItem(0)->child(0);
    marked->setCheckState(0, Qt::Checked);
    const QString path = marked->text(0);
    g_sparedThread = {};  // every thread refused
    for (const bool compare : {true, false}) {
        SCOPED_TRACE(compare ? "open to compare" : "open to delete");
        m_messages.texts.clear();
        g_newLimit = 65536;
        if (compare)
            Compare(QStringLiteral("100"));
        else
            m_pView->Results()->DeleteMarked();
        g_newLimit = 0;
        EXPECT_EQ(m_messages.Last(), QString::fromUtf8(compare ? CDIFFormView::kCompareShortOfMemory
                                                               : CDIFResults::kOperationShortOfMemory));
        EXPECT_TRUE(Database() == database);
        EXPECT_TRUE(QFile::exists(path));
        if (compare) {
            Compare(QStringLiteral("100"));
            ASSERT_EQ(Tree()->topLevelItemCount(), 35);
            marked = Tree()->topLevelItem(0)->child(0);
            marked->setCheckState(0, Qt::Checked);
        } else {
            EXPECT_EQ(m_pView->Results()->CountMarked(), 1);
        }
    }
}

// A thread the system refuses (too many running, or no memory for its stack)
// fails only the scan, the comparison or the reading of picture sizes, with
// a message giving that cause; the database, the marks and the window stay
// as they were (the refusal ended the program).
TEST_F(DuplicatesWindow, ThreadsTheSystemRefusesFailOnlyTheActionThatNeedsOne)
{
    ScanThreeCopies();
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    const std::vector<unsigned char> database = Database();
    CDIFResults* results = m_pView->Results();
    const struct {
        const char* action;
        std::function<void()> run;
        const char* says;
        const char* saysShortOfMemory;
        int groups;  // in the tree after the refusal
    } cases[] = {
        {"scan", [&] { Scan(); }, CDIFFormView::kScanWithoutThread, CDIFFormView::kScanStartShortOfMemory, 0},
        {"compare", [&] { Compare(QStringLiteral("100")); }, CDIFFormView::kCompareWithoutThread,
         CDIFFormView::kCompareShortOfMemory, 0},
        {"mark all but the best", [&] { results->ApplyMarkRule(dif::EMarkRule::AllButBest); },
         CDIFResults::kSizesWithoutThread, CDIFResults::kSizesShortOfMemory, 1},
    };
    const int count = int(std::size(cases));
    for (int run = 0; run < 2 * count; ++run) {
        const auto& c = cases[run % count];
        const bool shortOfMemory = run >= count;
        SCOPED_TRACE(c.action + std::string(shortOfMemory ? ", short of memory" : ""));
#if defined(__SANITIZE_ADDRESS__)
        if (shortOfMemory)
            continue;  // AddressSanitizer's shadow memory does not fit under a limit of the address space
#endif
        if (c.groups)
            Compare(QStringLiteral("100"));
        m_messages.texts.clear();
        {
            std::optional<LargeThreadStacks> stacks;
            std::optional<AddressSpaceLimit> limit;
            if (shortOfMemory) {
                stacks.emplace();
                limit.emplace(16 << 20);
                ASSERT_TRUE(stacks->IsSet() && limit->IsSet());
            }
            g_refuseThreads = !shortOfMemory;
            c.run();
            g_refuseThreads = false;
        }
        QTest::qWait(20);
        EXPECT_EQ(m_messages.texts, QStringList{QString::fromUtf8(shortOfMemory ? c.saysShortOfMemory : c.says)});
        EXPECT_FALSE(m_pView->IsScanRunning() || m_pView->IsCompareRunning() || results->IsReadingPictureSizes());
        EXPECT_EQ(Tree()->topLevelItemCount(), c.groups);
        EXPECT_EQ(results->CountMarked(), 0);
        EXPECT_TRUE(Database() == database);
        EXPECT_EQ(Control<QPushButton>(1064)->text(), QStringLiteral("Scan &Now"));
        for (QPushButton* button : m_pView->findChildren<QPushButton*>())
            EXPECT_TRUE(button->isEnabled()) << button->text().toStdString();
        EXPECT_TRUE(results->isEnabled());
    }
    Compare(QStringLiteral("100"));
    results->ApplyMarkRule(dif::EMarkRule::AllButBest);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !results->IsReadingPictureSizes(); }, 10000));
    EXPECT_EQ(results->CountMarked(), 2);
}

TEST_F(DuplicatesWindow, MarkRulesThenDeleteZeroesTheRecords)
{
    ScanThreeCopies();
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* head = Tree()->topLevelItem(0);
    std::vector<std::uint64_t> sizes;
    for (int k = -1; k < head->childCount(); ++k)
        sizes.push_back(fs::file_size(QFile::encodeName((k < 0 ? head : head->child(k))->text(0)).toStdString()));
    const std::size_t largest = std::size_t(std::max_element(sizes.begin(), sizes.end()) - sizes.begin());

    m_pView->Results()->ApplyMarkRule(dif::EMarkRule::Larger);
    EXPECT_EQ(m_pView->Results()->CountMarked(), 1);
    EXPECT_EQ(m_messages.Last(), QStringLiteral("Marked 1 file(s). Total of %1 byte(s)")
                                     .arg(CVxHelper::FormatNumber(QString::number(sizes[largest]))));
    m_pView->Results()->ApplyMarkRule(dif::EMarkRule::Smaller);
    m_pView->Results()->ShowSummary();
    EXPECT_TRUE(m_messages.Last().startsWith(QStringLiteral("1 file(s) are currently marked and their total is ")));

    // Marked: every member; deleted after the question, records zeroed.
    m_pView->Results()->UnmarkAll();
    for (int k = 0; k < head->childCount(); ++k)
        head->child(k)->setCheckState(0, Qt::Checked);
    const QStringList gone = {head->child(0)->text(0), head->child(1)->text(0)};
    const std::vector<unsigned char> before = Database();
    m_bAnswerYes = false;
    m_pView->Results()->DeleteMarked();
    EXPECT_EQ(m_messages.Last(), QStringLiteral("Are you sure you want to delete 2 file(s) ?"));
    EXPECT_EQ(Database(), before);
    m_bAnswerYes = true;
    m_pView->Results()->DeleteMarked();
    for (const QString& path : gone)
        EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
    EXPECT_TRUE(QFile::exists(head->text(0)));
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(Tree()->topLevelItem(0)->childCount(), 0);
    dif::CSignatureDatabase db;
    ASSERT_TRUE(db.Open(dif::DatabasePath(), false));
    int zeroed = 0;
    for (std::size_t i = 0; i < db.GetCount(); ++i) {
        const bool deleted = dif::IsDeletedRecord(db.Record(i));
        zeroed += deleted;
        if (deleted) {
            EXPECT_TRUE(std::all_of(db.Record(i), db.Record(i) + dif::kRecordSize, [](unsigned char c) { return c == 0; }));
        }
    }
    EXPECT_EQ(zeroed, 2);
    db.Close();
    Compare(QStringLiteral("100")); // the deleted files take no part any more
    EXPECT_EQ(Tree()->topLevelItemCount(), 0);
}

TEST_F(DuplicatesWindow, MarkAllButTheBestReadsPictureSizesOffTheWindow)
{
    // One picture three times: 64 x 48, twice its size in pixels (a smaller
    // file than the padded copy), and a copy padded to be the largest file.
    CVelvix small = vxtest::RandomImage(64, 48, 3), big;
    static_cast<CVelvix_PixelInterface&>(big).RawCreateImage(96, 128);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 128; ++x)
            big.Bytes(x, y) = small.Bytes(x / 2, y / 2);
    fs::create_directories(m_dir.Path() / "best");
    ASSERT_EQ(small.SaveImage((m_dir.Path() / "best/small.bmp").c_str()), 1);
    ASSERT_EQ(big.SaveImage((m_dir.Path() / "best/big.png").c_str()), 1);
    fs::copy_file(m_dir.Path() / "best/small.bmp", m_dir.Path() / "best/padded.bmp");
    std::ofstream(m_dir.Path() / "best/padded.bmp", std::ios::app) << std::string(200000, 'x');
    AddFolder(m_dir.Path() / "best");
    Scan();
    Compare(QStringLiteral("100"));
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    ASSERT_EQ(Tree()->topLevelItem(0)->childCount(), 2);

    m_messages.texts.clear();
    m_pView->Results()->ApplyMarkRule(dif::EMarkRule::AllButBest);
    EXPECT_TRUE(m_pView->Results()->IsReadingPictureSizes()); // the headers are read on a worker
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_pView->Results()->IsReadingPictureSizes(); }, 10000));
    std::uint64_t total = 0;
    for (QTreeWidgetItem* item : {Tree()->topLevelItem(0), Tree()->topLevelItem(0)->child(0),
                                  Tree()->topLevelItem(0)->child(1)}) {
        const bool best = item->text(0).endsWith(QStringLiteral("big.png"));
        EXPECT_EQ(item->checkState(0), best ? Qt::Unchecked : Qt::Checked) << item->text(0).toStdString();
        if (!best)
            total += fs::file_size(QFile::encodeName(item->text(0)).toStdString());
    }
    EXPECT_EQ(m_messages.Last(), QStringLiteral("Marked 2 file(s). Total of %1 byte(s)")
                                     .arg(CVxHelper::FormatNumber(QString::number(total))));

    // Many groups: a cancelled read leaves the marks and says nothing; a
    // completed one reports progress and marks two of each three.
    std::vector<dif::SDuplicateGroup> groups(2000);
    for (auto& group : groups) {
        group.head.path = (m_dir.Path() / "best/small.bmp").string();
        group.members.resize(2);
        group.members[0].path = (m_dir.Path() / "best/big.png").string();
        group.members[1].path = (m_dir.Path() / "best/padded.bmp").string();
    }
    CDIFResults* results = m_pView->Results();
    results->ClearResults();
    results->SetGroups(groups);
    m_messages.texts.clear();
    results->ApplyMarkRule(dif::EMarkRule::AllButBest);
    auto* progress = results->findChild<QProgressDialog*>();
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(results->isEnabled());
    progress->findChild<QPushButton*>()->click(); // its Cancel button
    EXPECT_FALSE(results->IsReadingPictureSizes());
    EXPECT_TRUE(results->isEnabled());
    QTest::qWait(50);
    EXPECT_EQ(results->CountMarked(), 0);
    EXPECT_TRUE(m_messages.texts.isEmpty());
    results->ApplyMarkRule(dif::EMarkRule::AllButBest);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !results->IsReadingPictureSizes(); }, 20000));
    EXPECT_EQ(results->CountMarked(), 4000);
    EXPECT_TRUE(m_messages.Last().startsWith(QStringLiteral("Marked 4000 file(s).")));
}

// Marked files the user may not delete (their folder is not writable, run
// as an ordinary user): the files, their records and their marked items all
// stay, as after any failed operation.
TEST_F(DuplicatesWindow, MarkedFilesThatCannotBeDeletedStayListed)
{
    ScanThreeCopies();
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* head = Tree()->topLevelItem(0);
    ASSERT_EQ(head->childCount(), 2);
    for (int k = 0; k < 2; ++k)
        head->child(k)->setCheckState(0, Qt::Checked);
    const QStringList marked = {head->child(0)->text(0), head->child(1)->text(0)};
    const std::vector<unsigned char> before = Database();
    // That user may read the pictures and write the database, nothing else.
    const fs::path database = dif::DatabasePath();
    for (fs::path folder = database.parent_path(); folder != folder.root_path() && folder != fs::temp_directory_path();
         folder = folder.parent_path())
        fs::permissions(folder, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(database, fs::perms::others_read | fs::perms::others_write, fs::perm_options::add);
    fs::permissions(m_dir.Path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    const auto failures = vxtest::RunUnprivileged({}, [&]() -> std::string {
        m_messages.texts.clear();
        m_pView->Results()->DeleteMarked();
        std::string found;
        if (m_messages.texts.contains(QStringLiteral("Could not load data file")))
            found += "the database did not open; ";
        if (Tree()->topLevelItemCount() != 1 || Tree()->topLevelItem(0)->childCount() != 2)
            found += "items of files still there were dropped; ";
        if (m_pView->Results()->CountMarked() != 2)
            found += "marks lost; ";
        if (Database() != before)
            found += "records zeroed; ";
        return found;
    });
    if (!failures)
        GTEST_SKIP() << "cannot run as an ordinary user here";
    EXPECT_EQ(*failures, "");
    for (const QString& path : marked)
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
}

// A name that is not UTF-8 shows with a replacement character, which is the
// real name of another file here: no operation may take one for the other.
TEST_F(DuplicatesWindow, ANameThatIsNotUtf8IsNeverTakenForAnother)
{
    const fs::path shown = m_dir.Path() / "raw/bad\xef\xbf\xbd.bmp", raw = m_dir.Path() / "raw/bad\xff.bmp";
    Save(shown, 3);
    fs::copy_file(shown, raw);
    AddFolder(m_dir.Path() / "raw");
    Scan();
    Compare(QStringLiteral("100"));
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    dif::CSignatureDatabase db;
    ASSERT_TRUE(db.Open(dif::DatabasePath(), false));
    QTreeWidgetItem* head = Tree()->topLevelItem(0);
    ASSERT_EQ(head->childCount(), 1);
    for (QTreeWidgetItem* item : {head, head->child(0)})
        if (db.Path(item->data(0, CDIFResults::kRecordRole).toULongLong()) == raw.string())
            item->setCheckState(0, Qt::Checked);
    db.Close();
    ASSERT_EQ(m_pView->Results()->CountMarked(), 1);
    const std::vector<unsigned char> before = Database();
    fs::create_directories(m_dir.Path() / "kept");
    m_answers.destination = QString::fromStdString((m_dir.Path() / "kept").string());
    for (auto operation : {&CDIFResults::CopyMarked, &CDIFResults::MoveMarked, &CDIFResults::DeleteMarked}) {
        (m_pView->Results()->*operation)();
        EXPECT_TRUE(m_messages.Last().endsWith(QStringLiteral("is not UTF-8 text; the file is left as it is.")));
        EXPECT_TRUE(fs::exists(shown) && fs::exists(raw));
        EXPECT_TRUE(fs::is_empty(m_dir.Path() / "kept"));
        EXPECT_EQ(Database(), before);
        EXPECT_EQ(m_pView->Results()->CountMarked(), 1);
    }
    // Nor does a double click open a viewer on the other file (whose Delete
    // would then reach it), and the preview leaves the raw name alone.
    QStringList opened;
    const auto open = CThumbnailStatic::s_pfnOpenViewer;
    CThumbnailStatic::s_pfnOpenViewer = [&](const QString& path) { opened << path; };
    Tree()->setCurrentItem(head->child(0));
    QStringList previewed;
    for (CThumbnailStatic* box : m_pView->Results()->findChildren<CThumbnailStatic*>())
        previewed << box->GetFilePath();
    for (QTreeWidgetItem* item : {head, head->child(0)})
        emit Tree()->itemDoubleClicked(item, 0);
    CThumbnailStatic::s_pfnOpenViewer = open;
    const QString text = QString::fromStdString(shown.string());
    EXPECT_EQ(opened, QStringList{text});
    previewed.sort();
    EXPECT_EQ(previewed, (QStringList{QString(), text}));
}

// A batch of marked files shows its progress (the window does not freeze),
// and Cancel ends it after the file at hand: the files not reached stay,
// listed, marked and in the database.
TEST_F(DuplicatesWindow, ABatchShowsItsProgressAndCancelEndsIt)
{
    Save(m_dir.Path() / "many/a.bmp", 5);
    for (int i = 1; i < 12; ++i)
        fs::copy_file(m_dir.Path() / "many/a.bmp", m_dir.Path() / "many" / ("copy " + std::to_string(i) + ".bmp"));
    AddFolder(m_dir.Path() / "many");
    Scan();
    Compare(QStringLiteral("100"));
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* head = Tree()->topLevelItem(0);
    ASSERT_EQ(head->childCount(), 11);
    for (int k = 0; k < 11; ++k)
        head->child(k)->setCheckState(0, Qt::Checked);
    CDIFResults::s_nBatchProgressDelayMs = 0;
    bool shown = false;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (auto* dialog = m_pView->Results()->findChild<QProgressDialog*>(); dialog && dialog->isVisible()) {
            shown = shown || dialog->labelText() == QStringLiteral("Deleting 11 file(s)...");
            dialog->cancel();
        }
    });
    cancel.start(0);
    m_pView->Results()->DeleteMarked();
    cancel.stop();
    CDIFResults::s_nBatchProgressDelayMs = 500;
    EXPECT_TRUE(shown);
    const int left = Tree()->topLevelItem(0)->childCount();
    EXPECT_GT(left, 0);
    EXPECT_LT(left, 11);
    EXPECT_EQ(m_pView->Results()->CountMarked(), left);
    for (int k = 0; k < left; ++k)
        EXPECT_TRUE(QFile::exists(Tree()->topLevelItem(0)->child(k)->text(0)));
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.Path() / "many"), fs::directory_iterator()), 1 + left);
    dif::CSignatureDatabase db;
    ASSERT_TRUE(db.Open(dif::DatabasePath(), false));
    int zeroed = 0;
    for (std::size_t i = 0; i < db.GetCount(); ++i)
        zeroed += dif::IsDeletedRecord(db.Record(i));
    EXPECT_EQ(zeroed, 11 - left);
}

TEST_F(DuplicatesWindow, CancelledMoveDestinationChangesNothing)
{
    ScanThreeCopies();
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* head = Tree()->topLevelItem(0);
    head->setCheckState(0, Qt::Checked);
    head->child(1)->setCheckState(0, Qt::Checked);
    const std::vector<unsigned char> before = Database();
    m_answers.destination.reset();
    m_pView->Results()->MoveMarked();
    EXPECT_EQ(m_answers.destinationsAsked, 1);
    EXPECT_EQ(Database(), before);
    ASSERT_EQ(Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(Tree()->topLevelItem(0)->childCount(), 2);
    for (int k = -1; k < 2; ++k)
        EXPECT_TRUE(QFile::exists((k < 0 ? head : head->child(k))->text(0)));

    // With a destination: both move, asked once, records zeroed, items gone.
    fs::create_directories(m_dir.Path() / "kept");
    m_answers.destination = QString::fromStdString((m_dir.Path() / "kept").string());
    m_pView->Results()->MoveMarked();
    EXPECT_EQ(m_answers.destinationsAsked, 2);
    EXPECT_EQ(Tree()->topLevelItemCount(), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.Path() / "kept"), fs::directory_iterator()), 2);
    dif::CSignatureDatabase db;
    ASSERT_TRUE(db.Open(dif::DatabasePath(), false));
    int zeroed = 0;
    for (std::size_t i = 0; i < db.GetCount(); ++i)
        zeroed += dif::IsDeletedRecord(db.Record(i));
    EXPECT_EQ(zeroed, 2);
}

TEST_F(DuplicatesWindow, StopDuringScanKeepsTheWindowUsable)
{
    for (int i = 0; i < 60; ++i)
        Save(m_dir.Path() / "many" / ("p" + std::to_string(i) + ".bmp"), std::uint32_t(i), 600, 400);
    AddFolder(m_dir.Path() / "many");
    m_pView->OnScanButton();
    ASSERT_TRUE(m_pView->IsScanRunning());
    EXPECT_EQ(Control<QPushButton>(1064)->text(), QStringLiteral("&Stop Scan"));
    EXPECT_FALSE(Control<QPushButton>(1065)->isEnabled());
    EXPECT_FALSE(Control<QPushButton>(1069)->isEnabled());
    // At once: a quiet machine scans these files in less than 50 ms, and the
    // button would then start a second scan instead of stopping the first.
    m_pView->OnScanButton(); // the stop request
    EXPECT_FALSE(m_pView->IsScanRunning());
    QTest::qWait(20);
    EXPECT_EQ(Control<QPushButton>(1064)->text(), QStringLiteral("Scan &Now"));
    EXPECT_TRUE(Control<QPushButton>(1069)->isEnabled());
    EXPECT_TRUE(m_messages.texts.contains(QString::fromUtf8(CDIFFormView::kScanFinished)));
    // How far the scan got depends on the machine; whole records only.
    EXPECT_EQ(Database().size() % dif::kRecordSize, 0u);
}

#ifdef AMBREL_CLI
// The command-line tool reads the window's database and must list the groups
// the window shows: same heads, members, order and percentages.
TEST_F(DuplicatesWindow, CommandLineCompareListsTheWindowsTree)
{
    const fs::path set = m_dir.Path() / "set [1] %d";
    Save(set / "a.bmp", 1);
    fs::copy_file(set / "a.bmp", set / "a copy ü.bmp");
    CVelvix mirrored = vxtest::RandomImage(40, 30, 1);
    mirrored.VerticalMirror();
    ASSERT_EQ(mirrored.SaveImage((set / "a mirrored.png").c_str()), 1);
    Save(set / "b.bmp", 5);
    CVelvix touched = vxtest::RandomImage(40, 30, 5);
    for (int i = 0; i < 60; ++i)
        vxtest::Data(touched)[i * 19] ^= 0x00FFFFFF;
    ASSERT_EQ(touched.SaveImage((set / "b touched.png").c_str()), 1);
    CVelvix grey = vxtest::RandomImage(40, 30, 5);
    grey.ConvertToGrayScale();
    ASSERT_EQ(grey.SaveImage((set / "b grey.bmp").c_str()), 1);
    Save(set / "other.bmp", 9);
    AddFolder(set);
    Scan();

    QCheckBox* rotations = nullptr;
    QCheckBox* greyscale = nullptr;
    for (QCheckBox* box : m_pView->findChildren<QCheckBox*>()) {
        if (box->text().contains(QStringLiteral("rotated")))
            rotations = box;
        if (box->text().contains(QStringLiteral("greyscale")))
            greyscale = box;
    }
    ASSERT_TRUE(rotations && greyscale);
    using Row = std::tuple<int, QString, int>; // group, path, match
    for (const auto& [threshold, rotated, grey] : {std::tuple{"100", false, false}, std::tuple{"90", false, false},
                                                   std::tuple{"90", true, true}, std::tuple{"40", true, false}}) {
        SCOPED_TRACE(std::string(threshold) + (rotated ? " rotations" : "") + (grey ? " grey" : ""));
        rotations->setChecked(rotated);
        greyscale->setChecked(grey);
        Compare(QString::fromLatin1(threshold));
        std::vector<Row> window;
        for (int h = 0; h < Tree()->topLevelItemCount(); ++h) {
            QTreeWidgetItem* head = Tree()->topLevelItem(h);
            for (int k = -1; k < head->childCount(); ++k) {
                QTreeWidgetItem* item = k < 0 ? head : head->child(k);
                window.emplace_back(h + 1, item->text(0), item->data(0, CDIFResults::kMatchRole).toInt());
            }
        }
        QStringList args = {QStringLiteral("compare"), QStringLiteral("--db"), CDIFFormView::DatabasePath(),
                            QStringLiteral("--threshold"), QString::fromLatin1(threshold), QStringLiteral("--format"),
                            QStringLiteral("csv")};
        if (rotated)
            args << QStringLiteral("--rotations");
        if (grey)
            args << QStringLiteral("--grey");
        QProcess cli;
        cli.start(QStringLiteral(AMBREL_CLI), args);
        ASSERT_TRUE(cli.waitForFinished(30000));
        ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
        std::vector<Row> tool;
        const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& line : lines) {
            // group,role,record,match,size,"path" (no quotes inside these names)
            const QStringList fields = line.section(QLatin1Char('"'), 0, 0).split(QLatin1Char(','));
            if (fields.size() < 5 || !fields[0].front().isDigit())
                continue;
            tool.emplace_back(fields[0].toInt(), line.section(QLatin1Char('"'), 1, 1), fields[3].toInt());
        }
        EXPECT_EQ(tool, window);
        EXPECT_FALSE(window.empty());
    }
}
#endif
