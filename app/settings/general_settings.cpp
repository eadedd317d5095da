#include "settings/general_settings.h"

#include <QSettings>

#include <cstring>

SGeneralSettings GeneralSettings;

namespace {
const char kKey[] = "Settings/GeneralSettings";
}

QByteArray SGeneralSettings::ToBytes() const
{
    return QByteArray(reinterpret_cast<const char*>(this), sizeof(SGeneralSettings));
}

bool SGeneralSettings::FromBytes(const QByteArray& bytes)
{
    if (bytes.size() != qsizetype(sizeof(SGeneralSettings)))
        return false;
    std::memcpy(static_cast<void*>(this), bytes.constData(), sizeof(SGeneralSettings));
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
