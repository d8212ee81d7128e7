// A real window over a temporary program folder and a temporary settings file.
#pragma once

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "app/form1.h"
#include "app/settings_store.h"
#include "scripted_prompts.h"

namespace quarrytab::testing {

inline const QString kAbsent = QStringLiteral("<absent>");

class WindowFixture {
  public:
    WindowFixture()
        : programFolder(QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("program")))),
          settingsFile(m_dir.filePath(QStringLiteral("Velmora.ini"))) {
        QDir().mkpath(programFolder);
    }

    // Stores a value before the window starts, as an earlier run would have.
    void preset(const QString& key, const QString& value) {
        SettingsStore(settingsFile).WriteSetting(key, value);
    }

    // What the store holds now, read afresh from its file, as the next start of the program
    // reads it; kAbsent when the key does not exist. (Within one process Qt hands every store of
    // a file the values it keeps in memory, which may differ from what the file holds.)
    QString stored(const QString& key) const {
        const QString copy = m_dir.filePath(QStringLiteral("stored-%1.ini").arg(++m_reads));
        QFile::remove(copy);
        if (QFile::exists(settingsFile) && !QFile::copy(settingsFile, copy)) {
            return QStringLiteral("<unreadable>");
        }
        return SettingsStore(copy).ReadSetting(key, kAbsent);
    }

    // Builds the window and runs its start-up.
    Form1& start() {
        store = std::make_unique<SettingsStore>(settingsFile);
        form = std::make_unique<Form1>(prompts, *store, programFolder);
        form->Form_Load();
        return *form;
    }

    // Closes the window and starts the program again over the same store.
    Form1& restart() {
        form.reset();
        store.reset();
        prompts.shown.clear();
        return start();
    }

    QString programFile(const QString& name) const {
        return QDir::toNativeSeparators(programFolder + QLatin1Char('/') + name);
    }
    QString scratchPath(const QString& name) const { return m_dir.filePath(name); }

  private:
    QTemporaryDir m_dir;
    mutable int m_reads = 0;

  public:
    const QString programFolder;
    const QString settingsFile;
    ScriptedPrompts prompts;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<Form1> form;
};

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

// A 32 x 32 Windows cursor file with one 32-bit image and the given hot spot.
inline QByteArray CursorFileBytes(quint16 hotX, quint16 hotY) {
    constexpr int kSize = 32;
    const quint32 imageBytes = 40 + kSize * kSize * 4 + kSize * 4;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(2) << quint16(1);                    // cursor file, one image
    out << quint8(kSize) << quint8(kSize) << quint8(0) << quint8(0);  // size, colours
    out << hotX << hotY << imageBytes << quint32(6 + 16);
    out << quint32(40) << qint32(kSize) << qint32(kSize * 2) << quint16(1) << quint16(32)
        << quint32(0) << quint32(0) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int pixel = 0; pixel < kSize * kSize; ++pixel) {
        out << quint8(0) << quint8(0) << quint8(0xC0) << quint8(0xFF);  // opaque dark red
    }
    for (int row = 0; row < kSize; ++row) {
        out << quint32(0);  // AND mask: every pixel drawn
    }
    return bytes;
}

}  // namespace quarrytab::testing
