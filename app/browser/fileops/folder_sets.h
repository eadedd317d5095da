#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <vector>

// The named sets of destination folders of the move/copy dialog and their
// file "folsdata.dat": the sets one after the other, 3424 bytes each, no
// header. A set is its name (31 bytes) and thirteen folders (261 bytes
// each), every field zero-terminated text.
struct SFolderSet {
    static constexpr int kSlots = 13;
    static constexpr int kNameBytes = 31;
    static constexpr int kFolderBytes = 261;
    static constexpr int kBytes = kNameBytes + kSlots * kFolderBytes;

    QString name;
    std::array<QString, kSlots> folders;

    // A folder cut to its field would name another folder: one that does not
    // fit is written as an empty slot.
    static bool Fits(const QString& folder);
    QByteArray ToBytes() const;
    // From kBytes bytes.
    static SFolderSet FromBytes(const char* bytes);
};
static_assert(SFolderSet::kBytes == 3424);

class CFolderSets {
public:
    // The file in the program's per-user data folder.
    static QString DefaultPath();

    // A missing, unreadable or short file, anything but a regular file and a
    // file of more than kMaxSets sets give no sets (and false); bytes after
    // the last whole set are ignored.
    static constexpr qint64 kMaxSets = 10000;
    bool Load(const QString& path);
    // Writes all sets through a temporary file that replaces the old one only
    // when complete, so a failure leaves the old file.
    bool Save(const QString& path) const;

    // The stored "Combo" index of the set selected last; 0 when absent or
    // damaged.
    static int LastSelected();
    static void SetLastSelected(int index);

    std::vector<SFolderSet> m_sets;
};
