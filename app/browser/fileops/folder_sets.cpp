#include "folder_sets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include <cstring>

namespace {

const char kComboKey[] = "CMoveCopyDialog/Combo";

// Text of a zero-terminated field; a field without its zero ends with it.
QString ReadField(const char* field, int size)
{
    const void* zero = std::memchr(field, 0, std::size_t(size));
    const int length = zero ? int(static_cast<const char*>(zero) - field) : size;
    return QString::fromUtf8(field, length);
}

// At most size - 1 bytes and the zero; a character is never cut in half.
void WriteField(char* field, int size, const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() >= size) {
        qsizetype length = size - 1;
        while (length > 0 && (static_cast<unsigned char>(bytes[length]) & 0xC0) == 0x80)
            --length;
        bytes.truncate(length);
    }
    std::memcpy(field, bytes.constData(), std::size_t(bytes.size()));
}

} // namespace

bool SFolderSet::Fits(const QString& folder)
{
    return folder.toUtf8().size() < kFolderBytes;
}

QByteArray SFolderSet::ToBytes() const
{
    QByteArray bytes(kBytes, '\0');
    WriteField(bytes.data(), kNameBytes, name);
    for (int k = 0; k < kSlots; ++k)
        if (Fits(folders[k]))
            WriteField(bytes.data() + kNameBytes + k * kFolderBytes, kFolderBytes, folders[k]);
    return bytes;
}

SFolderSet SFolderSet::FromBytes(const char* bytes)
{
    SFolderSet set;
    set.name = ReadField(bytes, kNameBytes);
    for (int k = 0; k < kSlots; ++k)
        set.folders[k] = ReadField(bytes + kNameBytes + k * kFolderBytes, kFolderBytes);
    return set;
}

QString CFolderSets::DefaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/folsdata.dat");
}

bool CFolderSets::Load(const QString& path)
{
    m_sets.clear();
    // Only a regular file is read (opening a pipe of that name would wait for
    // a writer), and none far larger than any list of sets kept by hand.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxSets * SFolderSet::kBytes)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 count = file.size() / SFolderSet::kBytes;
    if (count <= 0)
        return true;
    const QByteArray bytes = file.read(count * SFolderSet::kBytes);
    if (bytes.size() != count * SFolderSet::kBytes)
        return false;
    m_sets.reserve(std::size_t(count));
    for (qint64 i = 0; i < count; ++i)
        m_sets.push_back(SFolderSet::FromBytes(bytes.constData() + i * SFolderSet::kBytes));
    return true;
}

bool CFolderSets::Save(const QString& path) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const SFolderSet& set : m_sets)
        if (file.write(set.ToBytes()) != SFolderSet::kBytes)
            return false;
    return file.commit();
}

int CFolderSets::LastSelected()
{
    bool ok = false;
    const int index = QSettings().value(QLatin1String(kComboKey), 0).toInt(&ok);
    return ok && index >= 0 ? index : 0;
}

void CFolderSets::SetLastSelected(int index)
{
    QSettings().setValue(QLatin1String(kComboKey), index);
}
