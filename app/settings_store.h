// The per-user store of the window's choices: application "Velmora", section "Quarrytab
// Software", every value text. On Windows it lives in the registry under
// HKEY_CURRENT_USER\Software\Velmora; elsewhere in Velmora.ini in the user's configuration folder.
#pragma once

#include <QSettings>
#include <QString>
#include <functional>
#include <memory>

namespace quarrytab {

inline constexpr char kSettingsApplication[] = "Velmora";
inline constexpr char kSettingsSection[] = "Quarrytab Software";

class SettingsStore {
  public:
    // The user's own store.
    SettingsStore();
    // A store kept in one INI file (used by tests and for portable set-ups).
    explicit SettingsStore(const QString& iniFile);

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The stored text of `key`, or `defaultValue` when the key is absent. An empty stored value
    // is present and is returned as "". Never creates the key. Throws Failure when the store
    // cannot be read.
    QString ReadSetting(const QString& key, const QString& defaultValue) const;

    // Creates or replaces the key's value and writes it through at once, so the store always
    // holds the controls' current state. Writing the value already stored changes nothing.
    // Throws Failure when the store cannot be written.
    void WriteSetting(const QString& key, const QString& value);

    // Where the store lives, for messages.
    QString location() const { return m_settings->fileName(); }

  private:
    using Opener = std::function<std::unique_ptr<QSettings>()>;
    void open(const Opener& opener);
    void setAsideDamagedFile(const Opener& opener);

    std::unique_ptr<QSettings> m_settings;
    bool m_unreadable = false;  // the store existed but could not be read when opened
};

}  // namespace quarrytab
