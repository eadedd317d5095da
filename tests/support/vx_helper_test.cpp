// File, number and desktop services.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/vx_helper.h"
#include "test_support.h"

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

QString ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(VxHelper, FormatNumberGroupsDigitsByThreeFromTheRight)
{
    EXPECT_EQ(CVxHelper::FormatNumber(1000), "1,000");
    EXPECT_EQ(CVxHelper::FormatNumber(999), "999");
    EXPECT_EQ(CVxHelper::FormatNumber(1000000), "1,000,000");
    EXPECT_EQ(CVxHelper::FormatNumber(0), "0");
    EXPECT_EQ(CVxHelper::FormatNumber(-1234567), "-1,234,567");
    EXPECT_EQ(CVxHelper::FormatNumber(-123), "-123");
    EXPECT_EQ(CVxHelper::FormatNumber(QString("1234")), "1,234");
    EXPECT_EQ(CVxHelper::FormatNumber(QString("abc")), "abc");
    EXPECT_EQ(CVxHelper::FormatNumber(QString("")), "");
}

TEST(VxHelper, FileQueriesTellFilesFromFoldersAndMissingFromEmpty)
{
    QTemporaryDir folder;
    QFile empty(folder.filePath("empty.txt"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    QFile five(folder.filePath("five.dat"));
    ASSERT_TRUE(five.open(QIODevice::WriteOnly));
    five.write("12345");
    five.close();

    EXPECT_FALSE(CVxHelper::IsFileExists(folder.path(), true));
    EXPECT_TRUE(CVxHelper::IsFileExists(folder.path(), false));
    EXPECT_TRUE(CVxHelper::IsFileExists(folder.filePath("five.dat"), true));
    EXPECT_FALSE(CVxHelper::IsFileExists(folder.filePath("five.dat"), false));
    EXPECT_FALSE(CVxHelper::IsFileExists(folder.filePath("missing"), true));
    EXPECT_FALSE(CVxHelper::IsFileExists(folder.filePath("*.dat"), true));
    EXPECT_FALSE(CVxHelper::IsFileExists(folder.filePath("*.png"), true));

    EXPECT_EQ(CVxHelper::GetFileSize(folder.filePath("missing")), 0u);
    EXPECT_EQ(CVxHelper::GetFileSize(folder.filePath("empty.txt")), 0u);
    EXPECT_EQ(CVxHelper::GetFileSize(folder.filePath("five.dat")), 5u);
    EXPECT_EQ(CVxHelper::GetFileSize(folder.filePath("f*")), 0u);
}

void WriteBytes(const QString& path, int count)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(QByteArray(count, 'x'));
}

// Glob characters are ordinary characters of a name: a name is found only as
// itself, never through a sibling that a pattern would match.
TEST(VxHelper, FileQueriesTakeGlobCharactersLiterally)
{
    QTemporaryDir folder;
    const QString siblings[] = {"photo1.jpg", "photoX.jpg", "photo.jpg", "photo-1-.jpg", "photo11.jpg", "a1b", "aXb"};
    for (const QString& name : siblings)
        WriteBytes(folder.filePath(name), 50);
    struct Case {
        const char* name; // asked and, when size >= 0, created
        int size;
    } const cases[] = {
        {"photo[1].jpg", 3}, {"photo[!1].jpg", -1}, {"photo[0-9].jpg", 4}, {"photo?.jpg", 5}, {"photo*.jpg", -1},
        {"a*b", 6},          {"a?b", -1},           {"photo{1,2}.jpg", 7}, {"[", 8},          {"]", -1},
        {"*", -1},           {"?", 9},              {"back\\1.jpg", 10},  {"sp ace %1.jpg", 11}, {"ünï ©.jpg", 12},
    };
    for (const Case& c : cases)
        if (c.size >= 0)
            WriteBytes(folder.filePath(QString::fromUtf8(c.name)), c.size);
    for (const Case& c : cases) {
        const QString path = folder.filePath(QString::fromUtf8(c.name));
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CVxHelper::IsFileExists(path, true), c.size >= 0);
        EXPECT_FALSE(CVxHelper::IsFileExists(path, false));
        EXPECT_EQ(CVxHelper::GetFileSize(path), std::uint32_t(c.size >= 0 ? c.size : 0));
    }
    ASSERT_TRUE(QDir(folder.path()).mkdir("dir[1]*?"));
    EXPECT_TRUE(CVxHelper::IsFileExists(folder.filePath("dir[1]*?"), false));
    EXPECT_FALSE(CVxHelper::IsFileExists(folder.filePath("dir[1]*?"), true));
    EXPECT_FALSE(CVxHelper::IsFileExists(folder.filePath("dir?1]*?"), false));
    EXPECT_FALSE(CVxHelper::IsFileExists(folder.filePath("di*"), false));
    EXPECT_FALSE(CVxHelper::IsFileExists(QString(), false));
    // A link whose target is gone still occupies its name.
    ASSERT_TRUE(QFile::link(folder.filePath("gone"), folder.filePath("link[1]")));
    EXPECT_TRUE(CVxHelper::IsFileExists(folder.filePath("link[1]"), true));
    EXPECT_EQ(CVxHelper::GetFileSize(folder.filePath("link[1]")), 0u);
}

TEST(VxHelper, AppPathAndUuid)
{
    const QString path = CVxHelper::GetAppFullPath();
    EXPECT_EQ(path, QCoreApplication::applicationDirPath());
    EXPECT_FALSE(path.endsWith('/'));
    EXPECT_EQ(CVxHelper::GetAppName(), "support_tests");
    QString a, b;
    ASSERT_TRUE(CVxHelper::GetUUID(a));
    ASSERT_TRUE(CVxHelper::GetUUID(b));
    EXPECT_EQ(a.size(), 36);
    EXPECT_NE(a, b);
}

// Answers the next folder dialog with `folder`, or cancels it when empty.
void AnswerFolderDialog(const QString& folder)
{
    QTimer::singleShot(50, [folder] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        if (folder.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->setDirectory(folder);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

TEST(VxHelper, BrowseForFolderGivesOneTrailingSeparatorWhenAsked)
{
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).canonicalPath();
    AnswerFolderDialog(path);
    EXPECT_EQ(CVxHelper::BrowseForFolder(nullptr, "Browse", 0, true), path + "/");
    AnswerFolderDialog(path);
    EXPECT_EQ(CVxHelper::BrowseForFolder(nullptr, "Browse", 0, false), path);
    AnswerFolderDialog("/");
    EXPECT_EQ(CVxHelper::BrowseForFolder(nullptr, "Browse", 0, true), "/");
    AnswerFolderDialog("");
    EXPECT_EQ(CVxHelper::BrowseForFolder(nullptr, "Browse", 0, true), "");
}

// "caf\xe9" (not UTF-8) reads as "caf\uFFFD": that text is ambiguous where
// such an entry lies beside it on the path, and only there.
TEST(VxHelper, ANameIsAmbiguousWhereAnEntryThatIsNotTextReadsTheSame)
{
    vxtest::TempDir folder;  // which removes what QTemporaryDir cannot name
    const std::string root = folder.File("");
    for (const std::string name : {"d\xe9/", "e\xef\xbf\xbd/", "e\xef\xbf\xbd/f\xef\xbf\xbd.png",
                                   "e\xef\xbf\xbd/[*? %1]\xff.png", "e\xef\xbf\xbd/g\xe9.png",
                                   "e\xef\xbf\xbd/g\xef\xbf\xbd.png"})
        ASSERT_TRUE(name.back() == '/' ? std::filesystem::create_directory(root + name)
                                       : std::ofstream(root + name).good());
    const struct {
        const char* name;
        bool ambiguous;
    } cases[] = {
        {"d\uFFFD", true},  // it names nothing, yet stands for d\xe9
        {"d\uFFFD/a.png", true},
        {"e\uFFFD/f\uFFFD.png", false},  // text names, nothing that is not text beside them
        {"e\uFFFD/[*? %1]\uFFFD.png", true},
        {"e\uFFFD/g\uFFFD.png", true},  // a text name beside one that is not text
        {"e\uFFFD/missing\uFFFD.png", false},
        {"plain \u00FC.png", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CVxHelper::IsAmbiguousName(QFile::decodeName(root.c_str()) + QString::fromUtf8(c.name)), c.ambiguous)
            << c.name;
}

TEST(VxHelper, RegisterTypeWritesTheDesktopEntryAndTheDefaultApplication)
{
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_TRUE(data.contains("ambrel-home")) << "tests must not touch the real desktop";
    QDir().mkpath(config);
    QFile other(config + "/mimeapps.list");
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("[Default Applications]\ntext/plain=editor.desktop\n");
    other.close();

    EXPECT_FALSE(CVxHelper::RegisterType("Ambrel File (XYZ)", "noDot", "viewer", 0, true));
    EXPECT_FALSE(CVxHelper::RegisterType("", ".jpg", "viewer", 0, true));
    EXPECT_TRUE(CVxHelper::RegisterType("Ambrel File (JPG)", ".jpg", "viewer", 0, true));
    EXPECT_TRUE(CVxHelper::RegisterType("Ambrel File (PNG)", ".png", "viewer", 0, true));
    EXPECT_TRUE(CVxHelper::RegisterType("Ambrel File (PNG)", ".png", "viewer", 0, true));

    const QString entry = ReadAll(data + "/applications/viewer.desktop");
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nMimeType=image/png;image/jpeg;\n")) << entry.toStdString();
    EXPECT_TRUE(entry.contains("\nExec=\"" + CVxHelper::GetAppFullPath() + "/support_tests\" %f\n"));
    const QString defaults = ReadAll(config + "/mimeapps.list");
    EXPECT_TRUE(defaults.contains("text/plain=editor.desktop\n"));
    EXPECT_TRUE(defaults.contains("image/jpeg=viewer.desktop\n"));
    EXPECT_TRUE(defaults.contains("image/png=viewer.desktop\n"));
    EXPECT_EQ(defaults.count("image/png=viewer.desktop\n"), 1);
    EXPECT_TRUE(defaults.contains("[Added Associations]\nimage/jpeg=viewer.desktop;\nimage/png=viewer.desktop;\n"));

    // Without the open command nothing becomes the default.
    EXPECT_TRUE(CVxHelper::RegisterType("Ambrel File (GIF)", ".gif", "lister", 0, false));
    EXPECT_FALSE(ReadAll(config + "/mimeapps.list").contains("lister.desktop"));
    EXPECT_FALSE(ReadAll(data + "/applications/lister.desktop").contains("Exec="));
}

// The arguments a desktop reads from an Exec value, by the desktop-entry
// rules: the key file's string escapes, then quoting, then "%%".
QStringList ParseExecValue(const QString& value)
{
    QString line;
    for (qsizetype i = 0; i < value.size(); ++i) {
        QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar e = value[++i];
            c = e == u's' ? QChar(u' ') : e == u'n' ? QChar(u'\n') : e == u't' ? QChar(u'\t') : e == u'r' ? QChar(u'\r') : e;
        }
        line += c;
    }
    QStringList args;
    QString current;
    bool quoted = false, started = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == u'\\' && i + 1 < line.size() && QString("\"`$\\").contains(line[i + 1]))
            current += line[++i];
        else if (c == u'"')
            quoted = !quoted, started = true;
        else if (c == u' ' && !quoted) {
            if (started)
                args << current;
            current.clear();
            started = false;
        } else
            current += c, started = true;
    }
    if (started)
        args << current;
    for (QString& arg : args)
        arg.replace("%%", "%");
    return args;
}

TEST(VxHelper, TheExecLineKeepsEveryProgramPathIntact)
{
    for (const char* program : {"/opt/ambrel/ambrel", "/home/u/my apps/ambrel", "/a/$HOME/b", "/a/100%/b %f",
                                "/a/q\"uote/b", "/a/back\\slash/b", "/a/`id`/b", "/a/new\nline\tand\rreturn",
                                "/a/[*?]/\xc3\xbc\xe4\xb8\xad", "/a/'single'/b;c&d|e"}) {
        const QString path = QString::fromUtf8(program);
        const QString value = CVxHelper::DesktopExecValue(path);
        EXPECT_FALSE(value.contains('\n') || value.contains('\r') || value.contains('\t')) << program;
        EXPECT_EQ(ParseExecValue(value), (QStringList{path, "%f"})) << program << " -> " << value.toStdString();
    }
}

} // namespace
