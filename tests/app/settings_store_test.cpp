#include <QtTest>

#include "app/settings_store.h"
#include "engine/error_trap.h"
#include "test_support.h"

using quarrytab::Failure;
using quarrytab::SettingsStore;
using quarrytab::testing::WriteFile;

class SettingsStoreTest : public QObject {
    Q_OBJECT
  private slots:
    void valuesSurviveARestartUnchanged_data();
    void valuesSurviveARestartUnchanged();
    void absentKeysGiveTheDefaultAndAreNotCreated();
    void writesReachTheFileAtOnce();
    void theUserStoreIsVelmoraIniInTheConfigurationFolder();
    void aStoreThatCannotBeWrittenOrReadFails();
    void aDamagedFileKeepsWhatCanBeReadAndTakesNewValues();

  private:
    QTemporaryDir m_dir;
};

void SettingsStoreTest::valuesSurviveARestartUnchanged_data() {
    QTest::addColumn<QString>("value");
    // Delimiters and folders a user types: separators, quotes, spaces and INI syntax.
    QTest::newRow("comma") << ",";
    QTest::newRow("comma-space") << ", ";
    QTest::newRow("semicolon") << ";";
    QTest::newRow("tab") << "\t";
    QTest::newRow("spaces around") << "  x  ";
    QTest::newRow("empty") << "";
    QTest::newRow("quote") << "\"";
    QTest::newRow("apostrophe") << "'";
    QTest::newRow("list-like") << "a,b";
    QTest::newRow("at sign") << "@Variant(x)";
    QTest::newRow("windows root") << "C:\\";
    QTest::newRow("network share") << "\\\\server\\share\\";
    QTest::newRow("section-like") << "[General]";
    QTest::newRow("non-latin") << QStringLiteral("Tabelle_\u00e4\u65e5");
    QTest::newRow("boolean word") << "True";
}

void SettingsStoreTest::valuesSurviveARestartUnchanged() {
    QFETCH(QString, value);
    const QString file = m_dir.filePath(QStringLiteral("roundtrip.ini"));
    SettingsStore(file).WriteSetting(QStringLiteral("Table Name"), value);
    const QString read =
        SettingsStore(file).ReadSetting(QStringLiteral("Table Name"), QStringLiteral("default"));
    QCOMPARE(read, value);
}

void SettingsStoreTest::absentKeysGiveTheDefaultAndAreNotCreated() {
    const QString file = m_dir.filePath(QStringLiteral("absent.ini"));
    SettingsStore store(file);
    QCOMPARE(store.ReadSetting(QStringLiteral("Option"), QStringLiteral("2")), QStringLiteral("2"));
    QCOMPARE(store.ReadSetting(QStringLiteral("Option"), QString()), QString());
    store.WriteSetting(QStringLiteral("Other"), QString());
    // An empty value is present: the default does not replace it.
    QCOMPARE(store.ReadSetting(QStringLiteral("Other"), QStringLiteral("|")), QString());
    QSettings raw(file, QSettings::IniFormat);
    raw.beginGroup(QStringLiteral("Quarrytab Software"));
    QCOMPARE(raw.childKeys(), QStringList{QStringLiteral("Other")});
}

void SettingsStoreTest::writesReachTheFileAtOnce() {
    const QString file = m_dir.filePath(QStringLiteral("immediate.ini"));
    SettingsStore writer(file);
    writer.WriteSetting(QStringLiteral("Table Name"), QStringLiteral("abc"));
    // Another copy of the program reading the file sees the value while this one still runs.
    QFile onDisk(file);
    QVERIFY(onDisk.open(QIODevice::ReadOnly));
    const QByteArray text = onDisk.readAll();
    QVERIFY2(text.contains("[Quarrytab%20Software]"), text.constData());
    QVERIFY2(text.contains("Table%20Name=abc"), text.constData());
}

void SettingsStoreTest::theUserStoreIsVelmoraIniInTheConfigurationFolder() {
#ifdef _WIN32
    QSKIP("The user's store is the registry on Windows");
#else
    SettingsStore store;
    const QString expected =
        QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(QStringLiteral("Velmora.ini"));
    QCOMPARE(store.location(), expected);
#endif
}

void SettingsStoreTest::aStoreThatCannotBeWrittenOrReadFails() {
    // A folder cannot be created where a file is: the store can never be saved.
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    WriteFile(blocker, "not a folder");
    SettingsStore unwritable(blocker + QStringLiteral("/Velmora.ini"));
    QVERIFY_THROWS_EXCEPTION(
        Failure, unwritable.WriteSetting(QStringLiteral("Option"), QStringLiteral("1")));

    // A folder in place of the file cannot be read.
    const QString folder = m_dir.filePath(QStringLiteral("folder.ini"));
    QDir().mkpath(folder);
    SettingsStore unreadable(folder);
    QVERIFY_THROWS_EXCEPTION(Failure,
                             unreadable.ReadSetting(QStringLiteral("Option"), QStringLiteral("2")));
}

void SettingsStoreTest::aDamagedFileKeepsWhatCanBeReadAndTakesNewValues() {
    // Half a file: a disk that filled up, or an editor that saved binary junk into it.
    const QString path = m_dir.filePath(QStringLiteral("damaged.ini"));
    WriteFile(path, QByteArray("[Quarrytab Software]\nTable Name=Orders\n\x00\xff\xfe[[[=\n"
                               "Other=;\n[broken\ngarbage without equals\n",
                               86));
    {
        SettingsStore store(path);
        QCOMPARE(store.ReadSetting(QStringLiteral("Table Name"), QStringLiteral("Table1")),
                 QStringLiteral("Orders"));
        QCOMPARE(store.ReadSetting(QStringLiteral("Option"), QStringLiteral("2")),
                 QStringLiteral("2"));
        store.WriteSetting(QStringLiteral("Option"), QStringLiteral("1"));
    }
    // What was written is there after a restart, and so is what could be read before; the
    // damaged file is kept beside the store.
    QVERIFY(QFile::exists(path + QStringLiteral(".damaged")));
    SettingsStore again(path);
    QCOMPARE(again.ReadSetting(QStringLiteral("Option"), QStringLiteral("2")), QStringLiteral("1"));
    QCOMPARE(again.ReadSetting(QStringLiteral("Table Name"), QStringLiteral("Table1")),
             QStringLiteral("Orders"));
}

int RunSettingsStoreTests(int argc, char** argv) {
    SettingsStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "settings_store_test.moc"
