#pragma once

#include <QByteArray>

#include <cstdint>

// Every user option of the program: twelve 32-bit integers stored as one
// 48-byte binary value. Fields are known only by their position, so the
// order never changes; booleans hold 0 or 1.
struct SGeneralSettings {
    std::int32_t bRememberOpenedDocuments = 1;
    std::int32_t bOpenFullScreenWithDocument = 0;
    std::int32_t bOpenMaximized = 1;
    std::int32_t bSlowComputer = 0;
    std::int32_t bCheckForNewVersion = 1;
    std::int32_t bRememberRecentFiles = 1;
    std::int32_t bBrowseGroupOnly = 1;
    std::int32_t nAutoCropTolerance = 13;
    std::int32_t bNoEnlargeInSlideshow = 1;
    std::int32_t bResampleThumbnails = 0;
    std::int32_t bAutoRenameDifferentSizes = 0;
    std::int32_t bAutoCropScanned = 1;

    // The stored form; a value of any other length than 48 bytes is refused
    // as a whole and the record stays as it was.
    QByteArray ToBytes() const;
    bool FromBytes(const QByteArray& bytes);
};
static_assert(sizeof(SGeneralSettings) == 48, "the stored settings value is exactly 48 bytes");

// The process-wide record: read at start, changed by the settings sheet,
// written at exit.
extern SGeneralSettings GeneralSettings;

// "Settings"/"GeneralSettings" in the program's settings store.
bool LoadGeneralSettings(SGeneralSettings& settings);
bool SaveGeneralSettings(const SGeneralSettings& settings);

// Options beside the record (never inside its 48 bytes), each its own value
// in "Settings": deleting into the trash (on by default).
bool MoveDeletedFilesToTrash();
void SetMoveDeletedFilesToTrash(bool on);
