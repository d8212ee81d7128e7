#include "app/settings_store.h"

#include <QStringList>

#include "engine/error_trap.h"

namespace quarrytab {

namespace {

// The error number of a store that cannot be read or written: a path or file access error.
constexpr int kStoreAccessError = 75;

}  // namespace

#ifdef _WIN32
// Named by its registry path: without an application name QSettings would add an
// "OrganizationDefaults" level.
SettingsStore::SettingsStore()
    : m_settings(
          QStringLiteral("HKEY_CURRENT_USER\\Software\\") + QLatin1String(kSettingsApplication),
          QSettings::NativeFormat) {
#else
SettingsStore::SettingsStore()
    : m_settings(QSettings::IniFormat, QSettings::UserScope, QLatin1String(kSettingsApplication)) {
#endif
    m_settings.beginGroup(QLatin1String(kSettingsSection));
    m_unreadable = m_settings.status() == QSettings::AccessError;
}

SettingsStore::SettingsStore(const QString& iniFile) : m_settings(iniFile, QSettings::IniFormat) {
    m_settings.beginGroup(QLatin1String(kSettingsSection));
    m_unreadable = m_settings.status() == QSettings::AccessError;
}

QString SettingsStore::ReadSetting(const QString& key, const QString& defaultValue) const {
    if (m_unreadable) {
        throw Failure(kStoreAccessError,
                      "The settings in " + m_settings.fileName().toStdString() + " cannot be read");
    }
    if (!m_settings.contains(key)) {
        return defaultValue;
    }
    const QVariant value = m_settings.value(key);
    // A value edited by hand as "a, b" comes back from an INI file as a list; keep it as text.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString();
}

void SettingsStore::WriteSetting(const QString& key, const QString& value) {
    if (m_settings.contains(key) && m_settings.value(key).typeId() == QMetaType::QString &&
        m_settings.value(key).toString() == value) {
        return;
    }
    m_settings.setValue(key, value);
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError) {
        throw Failure(kStoreAccessError, "The setting \"" + key.toStdString() +
                                             "\" cannot be saved in " +
                                             m_settings.fileName().toStdString());
    }
}

}  // namespace quarrytab
