#include "support/vx_helper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>
#include <QUuid>

#include <filesystem>
#include <string>

const char* const CVxHelper::kFailedToGetDirectory = "Failed to get directory";

namespace {

// The entry that the path names. Every character of a name is literal here:
// '*', '?' and '[' are ordinary characters of Linux file names, and a pattern
// would report a sibling (photo[1].jpg as photo1.jpg) in place of the file.
// A symbolic link counts as an entry even when its target is missing.
bool FindEntry(const QString& path, QFileInfo& found)
{
    const QFileInfo info(path);
    if (path.isEmpty() || (!info.exists() && !info.isSymLink()))
        return false;
    found = info;
    return true;
}

// Whether the folder holds an entry, other than the one of the name's own
// bytes, whose name reads as that text.
bool HoldsLookalike(const QString& folder, const QString& name)
{
    const std::string own = QFile::encodeName(name).toStdString();
    std::error_code error;
    std::filesystem::directory_iterator it(QFile::encodeName(folder).toStdString(), error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string entry = it->path().filename().native();
        if (entry != own && QFile::decodeName(QByteArray::fromStdString(entry)) == name)
            return true;
    }
    return false;
}

QString XdgFolder(const char* variable, const char* fallback)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return value;
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(fallback);
}

// Sets key=value in a section of a desktop-style key file, keeping the rest.
bool SetKeyFileValue(const QString& path, const QString& section, const QString& key, const QString& value,
                     bool appendToList)
{
    QStringList lines;
    QFile in(path);
    if (in.exists()) {
        if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
            return false;
        lines = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'));
        in.close();
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
    }
    const QString header = QLatin1Char('[') + section + QLatin1Char(']');
    qsizetype start = lines.indexOf(header);
    if (start < 0) {
        if (!lines.isEmpty())
            lines << QString();
        lines << header;
        start = lines.size() - 1;
    }
    qsizetype end = start + 1;
    while (end < lines.size() && !lines.at(end).startsWith(QLatin1Char('[')))
        ++end;
    bool done = false;
    for (qsizetype i = start + 1; i < end; ++i) {
        if (!lines.at(i).startsWith(key + QLatin1Char('=')))
            continue;
        if (appendToList) {
            QStringList items = lines.at(i).mid(key.size() + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
            items.removeAll(value);
            items.prepend(value);
            lines[i] = key + QLatin1Char('=') + items.join(QLatin1Char(';')) + QLatin1Char(';');
        } else {
            lines[i] = key + QLatin1Char('=') + value;
        }
        done = true;
        break;
    }
    if (!done) {
        // Past trailing blank lines of the section.
        qsizetype at = end;
        while (at > start + 1 && lines.at(at - 1).isEmpty())
            --at;
        lines.insert(at, key + QLatin1Char('=') + value + (appendToList ? QStringLiteral(";") : QString()));
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    out.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    return out.commit();
}

QString ReadKeyFileValue(const QString& path, const QString& key)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    for (const QString& line : QString::fromUtf8(in.readAll()).split(QLatin1Char('\n')))
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    return QString();
}

} // namespace

bool CVxHelper::IsFileExists(const QString& path, bool file)
{
    QFileInfo info;
    if (!FindEntry(path, info))
        return false;
    return file ? !info.isDir() : info.isDir();
}

std::uint32_t CVxHelper::GetFileSize(const QString& path)
{
    QFileInfo info;
    if (!FindEntry(path, info))
        return 0;
    return std::uint32_t(quint64(info.size()) & 0xFFFFFFFFu);
}

QString CVxHelper::FormatNumber(const QString& text)
{
    // A sign is not a digit: -123 stays -123 rather than -,123.
    const qsizetype first = (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) ? 1 : 0;
    QString result = text;
    for (qsizetype at = result.size() - 3; at > first; at -= 3)
        result.insert(at, QLatin1Char(','));
    return result;
}

QString CVxHelper::FormatNumber(long number)
{
    return FormatNumber(QString::asprintf("%li", number));
}

QString CVxHelper::BrowseForFolder(QWidget* owner, const QString& title, unsigned /*flags*/,
                                   bool addTrailingSeparator)
{
    QFileDialog dialog(owner, title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    QString path = chosen.isEmpty() ? QString() : QDir::fromNativeSeparators(chosen.first());
    if (IsAmbiguousName(path)) {
        QMessageBox::critical(owner, QCoreApplication::applicationName(), AmbiguousNameMessage(path));
        return QString();
    }
    if (path.isEmpty() || !QFileInfo(path).isDir()) {
        QMessageBox::critical(owner, QCoreApplication::applicationName(), QString::fromLatin1(kFailedToGetDirectory));
        return QString();
    }
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    // The root folder keeps its one separator.
    if (addTrailingSeparator && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

bool CVxHelper::IsAmbiguousName(const QString& path)
{
    // A relative name is completed with the current folder's text, which
    // may itself stand for another folder.
    const QString full = QDir::isAbsolutePath(path) ? path : QDir::currentPath() + QLatin1Char('/') + path;
    // Bytes that are not UTF-8 always read as U+FFFD: other names are text.
    if (!full.contains(QChar::ReplacementCharacter))
        return false;
    QString folder = QStringLiteral("/");
    for (const QString& part : full.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part.contains(QChar::ReplacementCharacter) && HoldsLookalike(folder, part))
            return true;
        folder += part + QLatin1Char('/');
    }
    return false;
}

QString CVxHelper::AmbiguousNameMessage(const QString& path)
{
    return QStringLiteral("This name may stand for another file:\n%1\n\nA file or folder on its path has a name that "
                          "is not valid UTF-8 and reads like this one; rename it to use it here.")
        .arg(path);
}

QString CVxHelper::GetAppFullPath()
{
    QString folder;
    if (QCoreApplication::instance())
        folder = QCoreApplication::applicationDirPath();
    else
        folder = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

QString CVxHelper::GetAppName()
{
    QString file = QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                : QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return QFileInfo(file).completeBaseName();
}

bool CVxHelper::GetUUID(QString& uuid)
{
    const QUuid value = QUuid::createUuid();
    if (value.isNull())
        return false;
    uuid = value.toString(QUuid::WithoutBraces);
    return !uuid.isEmpty();
}

QString CVxHelper::DesktopExecValue(const QString& program)
{
    // Inside the quotes '"', '`', '$' and '\\' take a backslash; '%' is
    // doubled (field codes). Then the key file's own escapes for the string.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        else if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted += QStringLiteral("\" %f");
    QString value;
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

bool CVxHelper::RegisterType(const QString& typeName, const QString& extension, const QString& content, int iconIndex,
                             bool registerOpen)
{
    if (typeName.isEmpty() || extension.size() < 2 || !extension.startsWith(QLatin1Char('.')) || content.isEmpty())
        return false;
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(QStringLiteral("x") + extension, QMimeDatabase::MatchExtension);
    if (!mime.isValid() || mime.isDefault())
        return false;

    const QString dataHome = XdgFolder("XDG_DATA_HOME", ".local/share");
    const QString configHome = XdgFolder("XDG_CONFIG_HOME", ".config");
    const QString applications = dataHome + QStringLiteral("/applications");
    if (!QDir().mkpath(applications) || !QDir().mkpath(configHome))
        return false;
    const QString desktopId = content + QStringLiteral(".desktop");
    const QString desktopPath = applications + QLatin1Char('/') + desktopId;
    const QString executable = GetAppFullPath() + QLatin1Char('/') + GetAppName();

    // The program's icon, for the desktop to show beside the files.
    const QString iconFolder = dataHome + QStringLiteral("/icons/hicolor/64x64/apps");
    QString icon = content;
    const QIcon appIcon = QGuiApplication::instance() ? QGuiApplication::windowIcon() : QIcon();
    const QList<QSize> sizes = appIcon.availableSizes();
    if (!appIcon.isNull() && QDir().mkpath(iconFolder)) {
        const QSize size = sizes.isEmpty() ? QSize(64, 64) : sizes.value(qMin(iconIndex, int(sizes.size()) - 1));
        if (!appIcon.pixmap(size).save(iconFolder + QLatin1Char('/') + content + QStringLiteral(".png")))
            icon = executable;
    }

    const QString section = QStringLiteral("Desktop Entry");
    bool ok = SetKeyFileValue(desktopPath, section, QStringLiteral("Type"), QStringLiteral("Application"), false) &&
              SetKeyFileValue(desktopPath, section, QStringLiteral("Name"), QCoreApplication::applicationName().isEmpty()
                                                                             ? content
                                                                             : QCoreApplication::applicationName(),
                              false) &&
              SetKeyFileValue(desktopPath, section, QStringLiteral("Icon"), icon, false) &&
              SetKeyFileValue(desktopPath, section, QStringLiteral("Terminal"), QStringLiteral("false"), false) &&
              SetKeyFileValue(desktopPath, section, QStringLiteral("Categories"), QStringLiteral("Graphics;Viewer;"),
                              false) &&
              SetKeyFileValue(desktopPath, section, QStringLiteral("MimeType"), mime.name(), true);
    if (!ok)
        return false;
    if (!registerOpen) {
        // Without an open command the entry only names the types.
        return ReadKeyFileValue(desktopPath, QStringLiteral("Exec")).isEmpty()
                   ? SetKeyFileValue(desktopPath, section, QStringLiteral("NoDisplay"), QStringLiteral("true"), false)
                   : true;
    }
    const QString exec = DesktopExecValue(executable);
    if (!SetKeyFileValue(desktopPath, section, QStringLiteral("Exec"), exec, false) ||
        !SetKeyFileValue(desktopPath, section, QStringLiteral("NoDisplay"), QStringLiteral("false"), false))
        return false;
    const QString mimeApps = configHome + QStringLiteral("/mimeapps.list");
    return SetKeyFileValue(mimeApps, QStringLiteral("Default Applications"), mime.name(), desktopId, false) &&
           SetKeyFileValue(mimeApps, QStringLiteral("Added Associations"), mime.name(), desktopId, true);
}
