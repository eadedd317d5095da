#include "settings/general_settings.h"

#include <QSettings>

#include <cstring>

SGeneralSettings GeneralSettings;

namespace {
const char kKey[] = "Settings/GeneralSettings";
const char kTrashKey[] = "Settings/MoveDeletedFilesToTrash";
}

QByteArray SGeneralSettings::ToBytes() const
{
    return QByteArray(reinterpret_cast<const char*>(this), sizeof(SGeneralSettings));
}

bool SGeneralSettings::FromBytes(const QByteArray& bytes)
{
    if (bytes.size() != qsizetype(sizeof(SGeneralSettings)))
        return false;
    SGeneralSettings loaded;
    std::memcpy(static_cast<void*>(&loaded), bytes.constData(), sizeof(SGeneralSettings));
    // A value of the right length can still be damaged: switches are 0 or 1,
    // and a tolerance the sheet would refuse falls back to the default.
    for (std::int32_t* field : {&loaded.bRememberOpenedDocuments, &loaded.bOpenFullScreenWithDocument,
                                &loaded.bOpenMaximized, &loaded.bSlowComputer, &loaded.bCheckForNewVersion,
                                &loaded.bRememberRecentFiles, &loaded.bBrowseGroupOnly, &loaded.bNoEnlargeInSlideshow,
                                &loaded.bResampleThumbnails, &loaded.bAutoRenameDifferentSizes,
                                &loaded.bAutoCropScanned})
        *field = *field != 0 ? 1 : 0;
    if (loaded.nAutoCropTolerance < 1 || loaded.nAutoCropTolerance > 250)
        loaded.nAutoCropTolerance = SGeneralSettings().nAutoCropTolerance;
    *this = loaded;
    return true;
}

bool LoadGeneralSettings(SGeneralSettings& settings)
{
    QSettings store;
    const QVariant value = store.value(QLatin1String(kKey));
    if (!value.isValid())
        return false;
    settings.FromBytes(value.toByteArray());
    return true;
}

bool SaveGeneralSettings(const SGeneralSettings& settings)
{
    QSettings store;
    store.setValue(QLatin1String(kKey), settings.ToBytes());
    store.sync();
    return store.status() == QSettings::NoError;
}

bool MoveDeletedFilesToTrash()
{
    return QSettings().value(QLatin1String(kTrashKey), true).toBool();
}

void SetMoveDeletedFilesToTrash(bool on)
{
    QSettings().setValue(QLatin1String(kTrashKey), on);
}
