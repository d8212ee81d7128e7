#include "app/settings_store.h"

#include <QFile>
#include <QStringList>

#include "engine/error_trap.h"
#include "engine/failure_numbers.h"
#include "filelist/qt_text.h"

namespace quarrytab {

#ifdef _WIN32
// Named by its registry path: without an application name QSettings would add an
// "OrganizationDefaults" level.
SettingsStore::SettingsStore() {
    open([] {
        return std::make_unique<QSettings>(
            QStringLiteral("HKEY_CURRENT_USER\\Software\\") + QLatin1String(kSettingsApplication),
            QSettings::NativeFormat);
    });
}
#else
SettingsStore::SettingsStore() {
    open([] {
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                           QLatin1String(kSettingsApplication));
    });
}
#endif

SettingsStore::SettingsStore(const QString& iniFile) {
    open([iniFile] { return std::make_unique<QSettings>(iniFile, QSettings::IniFormat); });
}

void SettingsStore::open(const Opener& opener) {
    m_settings = opener();
    if (m_settings->status() == QSettings::FormatError) {
        setAsideDamagedFile(opener);
    }
    m_settings->beginGroup(QLatin1String(kSettingsSection));
    m_unreadable = m_settings->status() == QSettings::AccessError;
}

// A damaged file (cut short by a full disk, or junk saved into it) would otherwise refuse every
// later write, and no choice would be remembered again. Its readable values move to a fresh file;
// the damaged one stays beside it as "<name>.damaged" for whoever wants to look at it.
void SettingsStore::setAsideDamagedFile(const Opener& opener) {
    QList<std::pair<QString, QVariant>> readable;
    for (const QString& key : m_settings->allKeys()) {
        readable.append({key, m_settings->value(key)});
    }
    const QString file = m_settings->fileName();
    m_settings.reset();
    const QString aside = file + QStringLiteral(".damaged");
    QFile::remove(aside);
    QFile::rename(file, aside);
    m_settings = opener();
    for (const auto& [key, value] : readable) {
        m_settings->setValue(key, value);
    }
    m_settings->sync();
}

QString SettingsStore::ReadSetting(const QString& key, const QString& defaultValue) const {
    if (m_unreadable) {
        throw Failure(
            failures::kFileAccessError,
            "The settings in " + m_settings->fileName().toStdString() + " cannot be read");
    }
    if (!m_settings->contains(key)) {
        return defaultValue;
    }
    const QVariant value = m_settings->value(key);
    if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        return FromPathBytes(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    }
    // A value edited by hand as "a, b" comes back from an INI file as a list; keep it as text.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString();
}

void SettingsStore::WriteSetting(const QString& key, const QString& value) {
    // A folder whose name is bytes that are no UTF-8 is kept as those bytes: as text they would
    // be written as question marks.
    QVariant stored(value);
    const std::string bytes = ToPathBytes(value);
    if (!QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())).isValidUtf8()) {
        stored = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    if (m_settings->contains(key)) {
        const QVariant current = m_settings->value(key);
        if (current.typeId() == stored.typeId() && current == stored) {
            return;
        }
    }
    m_settings->setValue(key, stored);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError) {
        throw Failure(failures::kFileAccessError, "The setting \"" + key.toStdString() +
                                                      "\" cannot be saved in " +
                                                      m_settings->fileName().toStdString());
    }
}

}  // namespace quarrytab
