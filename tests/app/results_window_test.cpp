// The results side of the real window: conversion runs, the results list, saving, copying and the
// sample files, with scripted dialogs.
#include <sqlite3.h>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QThread>
#include <QTreeView>
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "app/conversion_run.h"
#include "app/form1.h"
#include "app/handler_locations.h"
#include "app/reading_rules.h"
#include "app/run_progress.h"
#include "engine/failure_numbers.h"
#include "engine/platform.h"
#include "filelist/input_file_list.h"
#include "filelist/qt_text.h"
#include "results/results_model.h"
#include "test_support.h"

using namespace quarrytab;
using quarrytab::testing::Shown;
using quarrytab::testing::WindowFixture;
using quarrytab::testing::WriteFile;

namespace {

const QString kDone = QStringLiteral("Done.");
const QString kNoFiles = QStringLiteral("No files added.");
const QString kNoFolder = QStringLiteral("Folder does not exist. Please select another folder.");

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QStringList Results(Form1& form) {
    QStringList rows;
    for (int row = 0; row < form.resultsModel()->rowCount(); ++row)
        rows.append(form.resultsModel()->rowText(row));
    return rows;
}

// What the window showed, as "kind: text".
QStringList Messages(const WindowFixture& fixture) {
    QStringList messages;
    for (const Shown& shown : fixture.prompts.shown) {
        QString text = shown.text;
        if (shown.kind == QLatin1String("error")) {
            // The description and the location line are what a test compares.
            text = text.section(QLatin1Char('\r'), 0, 1);
        }
        messages.append(shown.kind + QStringLiteral(": ") + text);
    }
    return messages;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A progress dialog the test drives: `onExec` runs when the dialog would show and returns true
// to cancel the run; otherwise the dialog stays until the run finishes.
class ScriptedProgress final : public RunProgress {
  public:
    std::function<bool()> onExec;
    int execs = 0;
    int updates = 0;

    bool exec(int) override {
        ++execs;
        m_finished = false;
        if (onExec && onExec())
            return true;
        while (!m_finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return false;
    }
    void update(int, int, quint64, quint64 bytesDone, quint64 bytesTotal) override {
        ++updates;
        lastBytes = {bytesDone, bytesTotal};
    }
    std::pair<quint64, quint64> lastBytes;
    void finish() override { m_finished = true; }

  private:
    bool m_finished = false;
};

// A results file whose every write fails, as on a full or read-only medium.
class FailingSaveFile final : public QSaveFile {
  public:
    using QSaveFile::QSaveFile;

  protected:
    qint64 writeData(const char*, qint64) override {
        setErrorString(QStringLiteral("No space left on device"));
        return -1;
    }
};

// A file whose bytes the test hands over while the run waits for them, as a slow or stuck network
// share would: a read waits until bytes are given or the file is ended. The worker may hold it
// after the test has moved on, so it is shared.
class HeldFile {
  public:
    void give(const std::string& bytes) {
        const std::lock_guard lock(m_mutex);
        m_bytes += bytes;
        m_changed.notify_all();
    }
    void end() {
        const std::lock_guard lock(m_mutex);
        m_ended = true;
        m_changed.notify_all();
    }
    // The next read fails, as when the share goes away, once the bytes given are read; or
    // throws, as when memory runs out.
    void fail(bool throwing = false) {
        const std::lock_guard lock(m_mutex);
        m_failing = true;
        m_throwing = throwing;
        m_changed.notify_all();
    }
    bool failed() const { return m_failed.load(); }
    // True once the run waits for the file's bytes, and once it has read to the end.
    bool reading() const { return m_reading.load(); }
    bool readToTheEnd() const { return m_readToTheEnd.load(); }

    class Source final : public ByteSource {
      public:
        explicit Source(std::shared_ptr<HeldFile> file) : m_file(std::move(file)) {}
        std::ptrdiff_t read(char* buffer, std::size_t size, std::string& error) override {
            HeldFile& file = *m_file;
            file.m_reading = true;
            std::unique_lock lock(file.m_mutex);
            file.m_changed.wait(
                lock, [&] { return file.m_ended || file.m_failing || m_at < file.m_bytes.size(); });
            if (file.m_failing && m_at == file.m_bytes.size()) {
                error = "The network name is no longer available";
                file.m_failed = true;
                if (file.m_throwing)
                    throw std::bad_alloc();
                return -1;
            }
            const std::size_t count = std::min(size, file.m_bytes.size() - m_at);
            std::copy_n(file.m_bytes.data() + m_at, count, buffer);
            m_at += count;
            if (count == 0)
                file.m_readToTheEnd = true;
            return static_cast<std::ptrdiff_t>(count);
        }

      private:
        std::shared_ptr<HeldFile> m_file;
        std::size_t m_at = 0;
    };

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_bytes;
    bool m_ended = false;
    bool m_failing = false;
    bool m_throwing = false;
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_reading{false};
    std::atomic<bool> m_readToTheEnd{false};
};

// A named pipe, a file that is no regular file; false where there are none.
bool MakePipe(const QString& path) {
#ifdef _WIN32
    Q_UNUSED(path);
    return false;
#else
    return QProcess::execute(QStringLiteral("mkfifo"), {path}) == 0;
#endif
}

}  // namespace

class ResultsWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void aRunConvertsEveryFileInOrderAndEndsWithDone();
    void checksComeFirstAndTouchNothing_data();
    void checksComeFirstAndTouchNothing();
    void aSecondRunWithOtherOptionsReplacesTheFirst();
    void everyDelimiterButtonCutsAtItsOwnText_data();
    void everyDelimiterButtonCutsAtItsOwnText();
    void anUnreadableFileIsReportedAndTheRunGoesOn();
    void aLongRunShowsProgressIsBusyAndIgnoresASecondStart();
    void cancelKeepsTheStatementsSoFar();
    void cancelEndsARunAtOnceWhateverTheWorkerDoes();
    void aReportDuringTheProgressDialog_data();
    void aReportDuringTheProgressDialog();
    void theProgressGoesOnPastAFileThatFailed();
    void aFullListIsReportedAndTheRunEndsAsUsual();
    void removingRowsNeedsASelectionAndNoBusyPointer();
    void clearResults();
    void saveWritesEveryRowWithCrLf_data();
    void saveWritesEveryRowWithCrLf();
    void saveAsksBeforeOverwriting();
    void saveFailureKeepsTheOldFileAndIsReportedOnce_data();
    void saveFailureKeepsTheOldFileAndIsReportedOnce();
    void saveChecksTheFolderAndTheInputList();
    void copyPutsTheRowsOnTheClipboard();
    void sampleFilesAreRecordedOnceAndLoaded();
    void endToEndFromAFolderToSqlite();
    void withRulesTheWindowWritesWhatTheCommandLineWrites_data();
    void withRulesTheWindowWritesWhatTheCommandLineWrites();

  private:
    std::unique_ptr<WindowFixture> m_fixture;
    QString m_data;  // a folder for the test's input and output files
    QString m_out;

    Form1& start() {
        Form1& form = m_fixture->start();
        form.Text3->setText(m_out);
        m_fixture->prompts.shown.clear();
        return form;
    }
    QString input(const QString& name, const QByteArray& bytes) {
        const QString path = Native(m_data + QLatin1Char('/') + name);
        WriteFile(path, bytes);
        return path;
    }
    // The inputs "held.csv", "held2.csv", ..., whose bytes the run waits for until the test
    // hands them over through `held`.
    QStringList heldInputs(Form1& form, const std::vector<std::shared_ptr<HeldFile>>& held) {
        QStringList paths;
        std::vector<std::string> pathBytes;
        for (std::size_t k = 0; k < held.size(); ++k) {
            paths.append(input(
                k == 0 ? QStringLiteral("held.csv") : QStringLiteral("held%1.csv").arg(k + 1), ""));
            pathBytes.push_back(ToPathBytes(paths.back()));
        }
        form.setInputOpener(
            [held, pathBytes](const std::string& path) -> std::unique_ptr<ByteSource> {
                const auto at = std::find(pathBytes.begin(), pathBytes.end(), path);
                if (at == pathBytes.end())
                    return nullptr;
                return std::make_unique<HeldFile::Source>(held[at - pathBytes.begin()]);
            });
        return paths;
    }
    QString heldInput(Form1& form, std::shared_ptr<HeldFile> held) {
        return heldInputs(form, {std::move(held)}).first();
    }
    // Three inputs, the middle one "held.csv", whose bytes the run waits for until the test
    // hands them over through `held`; the progress dialog is the scripted one returned.
    std::shared_ptr<ScriptedProgress> holdRunAt(Form1& form, std::shared_ptr<HeldFile> held) {
        auto progress = std::make_shared<ScriptedProgress>();
        form.setRunProgress(progress, 0);
        const QString heldPath = heldInput(form, held);
        form.inputList()->append({input("a.csv", "1\r\n"), heldPath, input("c.csv", "3\r\n")});
        return progress;
    }
};

void ResultsWindowTest::init() {
    m_fixture = std::make_unique<WindowFixture>();
    m_data = m_fixture->scratchPath(QStringLiteral("data"));
    m_out = Native(m_fixture->scratchPath(QStringLiteral("out")));
    QDir().mkpath(m_data);
    QDir().mkpath(m_out);
}

void ResultsWindowTest::aRunConvertsEveryFileInOrderAndEndsWithDone() {
    Form1& form = start();
    form.inputList()->append(
        {input("a.csv", "x,y\r\n1,2\r\n"), input("empty.csv", ""), input("b.csv", "p\n\n   \nq")});
    QTest::mouseClick(form.PushButton2, Qt::LeftButton);
    QCOMPARE(Results(form), (QStringList{"CREATE TABLE 'Table1_a' ('fld1' text,'fld2' text);",
                                         "INSERT INTO 'Table1_a' VALUES ('x','y');",
                                         "INSERT INTO 'Table1_a' VALUES ('1','2');",
                                         "CREATE TABLE 'Table1_b' ('fld1' text);",
                                         "INSERT INTO 'Table1_b' VALUES ('p');",
                                         "INSERT INTO 'Table1_b' VALUES ('q');"}));
    QCOMPARE(Messages(*m_fixture), QStringList{"information: " + kDone});
    QCOMPARE(m_fixture->prompts.shown.first().title, QStringLiteral("Quarrytab"));
    QVERIFY(!form.busyPointer());
    QVERIFY(!form.runInProgress());
}

void ResultsWindowTest::checksComeFirstAndTouchNothing_data() {
    QTest::addColumn<bool>("withFiles");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("besideInput");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty list, good folder") << false << "out" << false << kNoFiles;
    QTest::newRow("empty list, missing folder") << false << "missing" << false << kNoFiles;
    QTest::newRow("missing folder") << true << "missing" << false << kNoFolder;
    QTest::newRow("empty folder box") << true << "" << false << kNoFolder;
    QTest::newRow("beside input, no folder check") << true << "" << true << kDone;
}

void ResultsWindowTest::checksComeFirstAndTouchNothing() {
    QFETCH(bool, withFiles);
    QFETCH(QString, folder);
    QFETCH(bool, besideInput);
    QFETCH(QString, message);
    Form1& form = start();
    form.resultsModel()->statement("earlier result");
    if (withFiles)
        form.inputList()->append(input("t.csv", "a\r\n"));
    form.Text3->setText(folder.isEmpty() ? QString() : Native(m_fixture->scratchPath(folder)));
    if (besideInput)
        form.Option2->setChecked(true);
    form.PushButton2_Click();
    QCOMPARE(Messages(*m_fixture), QStringList{"information: " + message});
    if (message == kDone) {
        QCOMPARE(Results(form), QStringList{"CREATE TABLE 'Table1_t' ('fld1' text);"} +
                                    QStringList{"INSERT INTO 'Table1_t' VALUES ('a');"});
    } else {
        QCOMPARE(Results(form), QStringList{"earlier result"});
    }
    QVERIFY(!form.busyPointer());
    QVERIFY(!form.runInProgress());
}

void ResultsWindowTest::aSecondRunWithOtherOptionsReplacesTheFirst() {
    Form1& form = start();
    form.inputList()->append(input("t.txt", "a;b\r\n"));
    form.PushButton2_Click();
    QCOMPARE(Results(form).size(), 2);
    form.Option13->setChecked(true);
    form.Option6->setChecked(true);
    form.Check3->setChecked(false);
    form.Text1->setText(QStringLiteral("S"));
    form.Text2->setText(QStringLiteral("["));
    form.PushButton2_Click();
    QCOMPARE(Results(form), QStringList{"INSERT INTO [S_t] VALUES ('a','b')"});
    form.Option15->setChecked(true);
    form.Text4->setText(QString());  // an empty delimiter leaves the line whole
    form.PushButton2_Click();
    QCOMPARE(Results(form), QStringList{"INSERT INTO [S_t] VALUES ('a;b')"});
    QCOMPARE(Messages(*m_fixture).count("information: " + kDone), 3);
}

void ResultsWindowTest::everyDelimiterButtonCutsAtItsOwnText_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("values");
    // One line holds every delimiter: ",", ", ", ";", a TAB and the Other text "|".
    QTest::newRow("Comma") << "Option11"
                           << "'a','b',' c;d\te|f'";
    QTest::newRow("Comma-space") << "Option12"
                                 << "'a,b','c;d\te|f'";
    QTest::newRow("Semicolon") << "Option13"
                               << "'a,b, c','d\te|f'";
    QTest::newRow("Tab") << "Option14"
                         << "'a,b, c;d','e|f'";
    QTest::newRow("Other") << "Option15"
                           << "'a,b, c;d\te','f'";
}

void ResultsWindowTest::everyDelimiterButtonCutsAtItsOwnText() {
    QFETCH(QString, button);
    QFETCH(QString, values);
    Form1& form = start();
    form.inputList()->append(input("t.csv", "a,b, c;d\te|f\r\n"));
    form.Option6->click();                     // INSERT statements only
    form.Text2->setText(QStringLiteral("["));  // the quote box holds another text than Other
    form.Option15->click();
    form.Text4->setText(QStringLiteral("|"));
    auto* option = form.findChild<QRadioButton*>(button);
    QVERIFY(option != nullptr);
    option->click();
    QVERIFY(option->isChecked());
    form.PushButton2_Click();
    QCOMPARE(Results(form), QStringList{"INSERT INTO [Table1_t] VALUES (" + values + ");"});
}

void ResultsWindowTest::anUnreadableFileIsReportedAndTheRunGoesOn() {
    Form1& form = start();
    const QString missing = Native(m_data + QStringLiteral("/gone.csv"));
    form.inputList()->append({input("a.csv", "1\r\n"), missing, input("c.csv", "3\r\n")});
    form.PushButton2_Click();
    // A named pipe nobody writes to is not opened at all, so it cannot hold the run.
    const QString pipe = Native(m_data + QStringLiteral("/pipe.csv"));
    if (MakePipe(pipe)) {
        QStringList paths = form.inputList()->paths();
        form.inputList()->clear();
        paths.insert(2, pipe);
        form.inputList()->append(paths);
        m_fixture->prompts.shown.clear();
        form.PushButton2_Click();
        const QStringList withPipe = Messages(*m_fixture);
        QCOMPARE(withPipe.size(), 3);
        QVERIFY2(withPipe[1].startsWith("error: " + pipe +
                                        " is not a regular file\r\nin "
                                        "Quarrytab2021/08/31.Main."
                                        "ReadFileToStringFSOLine at line 106"),
                 qPrintable(withPipe[1]));
        m_fixture->prompts.shown.removeAt(1);
    }
    QCOMPARE(Results(form), (QStringList{"CREATE TABLE 'Table1_a' ('fld1' text);",
                                         "INSERT INTO 'Table1_a' VALUES ('1');",
                                         "CREATE TABLE 'Table1_c' ('fld1' text);",
                                         "INSERT INTO 'Table1_c' VALUES ('3');"}));
    const QStringList messages = Messages(*m_fixture);
    QCOMPARE(messages.size(), 2);
    QVERIFY2(messages[0].startsWith("error: ") &&
                 messages[0].endsWith(QStringLiteral(
                     "\r\nin Quarrytab2021/08/31.Main.ReadFileToStringFSOLine at line 106")),
             qPrintable(messages[0]));
    QCOMPARE(m_fixture->prompts.shown.first().title, QStringLiteral("Application Error"));
    QCOMPARE(messages[1], "information: " + kDone);
}

void ResultsWindowTest::aLongRunShowsProgressIsBusyAndIgnoresASecondStart() {
    Form1& form = start();
    auto held = std::make_shared<HeldFile>();
    auto progress = holdRunAt(form, held);
    form.resultsModel()->statement("old");
    bool busy = false;
    bool running = false;
    bool ordinaryPointer = false;
    bool bytesShown = false;
    bool rowsShown = false;
    // Statements of over 100 bytes each: two blocks of 4 MiB (fewer than 42,000 rows each) are
    // handed over mid-file, the second one soon after the first.
    std::string lines;
    for (int i = 0; i < 90000; ++i) lines += std::string(100, 'x') + "\r\n";
    progress->onExec = [&] {
        // While the run waits in the held file, the first file's 3 bytes of all 6 are done.
        bytesShown = QTest::qWaitFor(
            [&] { return progress->lastBytes == std::pair<quint64, quint64>(3, 6); });
        busy = form.busyPointer();
        running = form.runInProgress();
        // The dialog's Cancel button is not under the wait pointer.
        ordinaryPointer = QGuiApplication::overrideCursor() != nullptr &&
                          QGuiApplication::overrideCursor()->shape() == Qt::ArrowCursor;
        form.PushButton2_Click();  // a second start does nothing at all
        form.ListView2->setCurrentIndex(form.resultsModel()->index(0));
        form.ListView2_DblClick();  // nor can rows be removed meanwhile
        held->give("2\r\n" + lines);
        // The list shows the statements made so far while the run still waits in the file.
        rowsShown = QTest::qWaitFor([&] { return form.resultsModel()->rowCount() > 50000; });
        held->end();
        return false;
    };
    form.PushButton2_Click();
    QVERIFY(rowsShown);
    QCOMPARE(progress->execs, 1);
    QVERIFY(progress->updates >= 1);
    // Progress counts the bytes read of all three files: "1\r\n", the held file (empty on disk)
    // and "3\r\n".
    QVERIFY(bytesShown);
    QVERIFY(busy);
    QVERIFY(running);
    QVERIFY(ordinaryPointer);
    QCOMPARE(Results(form).size(), 90006);
    QCOMPARE(Results(form)[2], QStringLiteral("CREATE TABLE 'Table1_held' ('fld1' text);"));
    QCOMPARE(Messages(*m_fixture), QStringList{"information: " + kDone});
    QVERIFY(!form.busyPointer());
    QVERIFY(!form.runInProgress());
}

void ResultsWindowTest::cancelKeepsTheStatementsSoFar() {
    Form1& form = start();
    auto held = std::make_shared<HeldFile>();
    auto progress = holdRunAt(form, held);
    bool reached = false;
    progress->onExec = [&] {
        reached = QTest::qWaitFor([&] { return held->reading(); });
        held->give("2\r\n5\r\n");
        // The file ends only after the run has taken the cancel.
        QTimer::singleShot(0, [held] { held->end(); });
        return true;
    };
    form.PushButton2_Click();
    QVERIFY(reached);
    QCOMPARE(Results(form), (QStringList{"CREATE TABLE 'Table1_a' ('fld1' text);",
                                         "INSERT INTO 'Table1_a' VALUES ('1');",
                                         "CREATE TABLE 'Table1_held' ('fld1' text);",
                                         "INSERT INTO 'Table1_held' VALUES ('2');",
                                         "INSERT INTO 'Table1_held' VALUES ('5');"}));
    QCOMPARE(Messages(*m_fixture), QStringList{"information: Conversion cancelled."});
    QVERIFY(!form.busyPointer());
    QVERIFY(!form.runInProgress());
    // The next run starts afresh and ends normally.
    progress->onExec = nullptr;
    m_fixture->prompts.shown.clear();
    form.inputList()->clear();
    form.inputList()->append(Native(m_data + QStringLiteral("/c.csv")));
    form.PushButton2_Click();
    QCOMPARE(Results(form).size(), 2);
    QCOMPARE(Messages(*m_fixture), QStringList{"information: " + kDone});
}

void ResultsWindowTest::cancelEndsARunAtOnceWhateverTheWorkerDoes() {
    Form1& form = start();
    auto held = std::make_shared<HeldFile>();
    auto progress = std::make_shared<ScriptedProgress>();
    form.setRunProgress(progress, 0);
    const QString heldPath = heldInput(form, held);
    form.inputList()->append({heldPath, input("c.csv", "3\r\n")});
    // The read of the held file does not return while the run goes on; Cancel still ends it.
    progress->onExec = [&] {
        return QTest::qWaitFor([&] { return held->reading(); });
    };
    form.PushButton2_Click();
    QVERIFY(!held->readToTheEnd());
    QCOMPARE(Results(form), QStringList());
    QCOMPARE(Messages(*m_fixture), QStringList{"information: Conversion cancelled."});
    QVERIFY(!form.busyPointer());
    QVERIFY(!form.runInProgress());
    // What the worker makes once its read returns is thrown away.
    held->give("late\r\n");
    held->end();
    QTRY_VERIFY(held->readToTheEnd());
    QTest::qWait(100);
    QCOMPARE(Results(form), QStringList());
    QCOMPARE(Messages(*m_fixture).size(), 1);
}

void ResultsWindowTest::aReportDuringTheProgressDialog_data() {
    QTest::addColumn<QString>("then");
    QTest::newRow("the run goes on") << "go on";
    QTest::newRow("Cancel while the report waits") << "cancel";
    QTest::newRow("the dialog fails") << "fail";
}

void ResultsWindowTest::aReportDuringTheProgressDialog() {
    QFETCH(QString, then);
    Form1& form = start();
    auto held = std::make_shared<HeldFile>();
    auto progress = holdRunAt(form, held);
    bool shownInDialog = false;
    bool reached = false;
    progress->onExec = [&] {
        reached = QTest::qWaitFor([&] { return held->reading(); });
        held->give("2\r\n");
        held->fail();
        if (then == QLatin1String("fail")) {
            throw Failure(failures::kOutOfMemory, "Out of memory");
        }
        if (then == QLatin1String("cancel")) {
            // Cancel before the window has seen the report, while the worker waits for it.
            while (!held->failed()) {
                QThread::yieldCurrentThread();
            }
            QTest::qSleep(50);  // the worker hands its report on right after the failed read
            return true;
        }
        shownInDialog = QTest::qWaitFor(
            [&] { return !m_fixture->prompts.shownOfKind(QStringLiteral("error")).isEmpty(); });
        return false;
    };
    form.PushButton2_Click();
    QVERIFY(reached);
    const QStringList messages = Messages(*m_fixture);
    QCOMPARE(messages.size(), 2);
    const QString failedAt =
        then == QLatin1String("fail")
            ? QStringLiteral(
                  "Out of memory\r\nin Quarrytab2021/08/31.Form1.PushButton2_Click at "
                  "line 164")
            : QStringLiteral(
                  "The network name is no longer available\r\nin "
                  "Quarrytab2021/08/31.Main.ReadFileToStringFSOLine at line 112");
    QVERIFY2(messages[0].endsWith(failedAt), qPrintable(messages[0]));
    QCOMPARE(messages[1], then == QLatin1String("cancel")
                              ? QStringLiteral("information: Conversion cancelled.")
                              : "information: " + kDone);
    if (then == QLatin1String("go on")) {
        QVERIFY(shownInDialog);
        QCOMPARE(Results(form).size(), 6);
    } else if (then == QLatin1String("cancel")) {
        QCOMPARE(Results(form).size(), 4);  // the first file's and the held file's
    }
    QVERIFY(!form.busyPointer());
    QVERIFY(!form.runInProgress());
    // However the run ended, its worker ends and is joined; nothing it does later reaches the
    // window.
    held->end();
    QVERIFY(WaitForLeftBehindWorkers(10000));
    QTest::qWait(50);
    QCOMPARE(Messages(*m_fixture).size(), 2);
}

// The bytes read of a file that stopped part way with a failure still count, so the next file's
// progress starts beyond them rather than going back.
void ResultsWindowTest::theProgressGoesOnPastAFileThatFailed() {
    Form1& form = start();
    auto failing = std::make_shared<HeldFile>();
    auto next = std::make_shared<HeldFile>();
    auto progress = std::make_shared<ScriptedProgress>();
    form.setRunProgress(progress, 0);
    form.inputList()->append(heldInputs(form, {failing, next}));
    // The run hears of progress every 4096 lines: the failing file's 25,000 bytes, then the
    // next file's 22,500 on top of them.
    const auto lines = [](int count) {
        std::string bytes;
        for (int i = 0; i < count; ++i) bytes += "1,2\r\n";
        return bytes;
    };
    std::vector<quint64> seen;
    progress->onExec = [&] {
        failing->give(lines(5000));
        const auto look = [&](quint64 last) {
            return QTest::qWaitFor([&] { return progress->lastBytes.first != last; })
                       ? progress->lastBytes.first
                       : 0;
        };
        seen.push_back(look(0));
        failing->fail(true);
        next->give(lines(4500));
        seen.push_back(look(seen.back()));
        next->end();
        return false;
    };
    form.PushButton2_Click();
    QCOMPARE(seen, (std::vector<quint64>{25000, 47500}));
}

void ResultsWindowTest::aFullListIsReportedAndTheRunEndsAsUsual() {
    Form1& form = start();
    form.resultsModel()->setRowLimit(3);
    form.inputList()->append({input("a.csv", "1\r\n2\r\n"), input("c.csv", "3\r\n")});
    form.PushButton2_Click();
    QVERIFY(Results(form).size() <= 3);
    QCOMPARE(Messages(*m_fixture),
             (QStringList{"error: The results list cannot hold more rows\r\nin "
                          "Quarrytab2021/08/31.Form1.PushButton2_Click at line 204",
                          "information: " + kDone}));
    QVERIFY(!form.busyPointer());
    QVERIFY(!form.runInProgress());
}

void ResultsWindowTest::removingRowsNeedsASelectionAndNoBusyPointer() {
    Form1& form = start();
    form.ListView2_DblClick();  // empty list: nothing
    for (const char* row : {"r1", "r2", "r3"}) form.resultsModel()->statement(row);
    form.ListView2_DblClick();  // no selection: nothing
    QCOMPARE(Results(form).size(), 3);

    form.ListView2->setCurrentIndex(form.resultsModel()->index(1));
    form.setBusyPointer(true);
    form.ListView2_DblClick();
    QTest::keyClick(form.ListView2, Qt::Key_Delete);
    QCOMPARE(Results(form).size(), 3);
    form.setBusyPointer(false);

    QTest::keyClick(form.ListView2, Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(Results(form), (QStringList{"r1", "r3"}));
    form.ListView2->setCurrentIndex(form.resultsModel()->index(0));
    emit form.ListView2->doubleClicked(form.resultsModel()->index(0));
    QCOMPARE(Results(form), QStringList{"r3"});
    QVERIFY(m_fixture->prompts.shown.isEmpty());
}

void ResultsWindowTest::clearResults() {
    Form1& form = start();
    form.PushButton9_Click();
    form.resultsModel()->statement("a");
    form.resultsModel()->statement("b");
    form.setBusyPointer(true);  // "Clear Results" does not look at the pointer
    QTest::mouseClick(form.PushButton9, Qt::LeftButton);
    form.setBusyPointer(false);
    QCOMPARE(form.resultsModel()->rowCount(), 0);
    QVERIFY(m_fixture->prompts.shown.isEmpty());
    form.PushButton8_Click();
    QCOMPARE(ReadAll(m_out + "/Quarrytab.txt"), QByteArray());
}

void ResultsWindowTest::saveWritesEveryRowWithCrLf_data() {
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("trailingSeparator");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("no rows") << QStringList{} << false << QByteArray();
    QTest::newRow("rows") << QStringList{"a;", "b;"} << false << QByteArray("a;\r\nb;\r\n");
    QTest::newRow("folder with separator") << QStringList{"a"} << true << QByteArray("a\r\n");
    QTest::newRow("empty rows") << QStringList{"", "x", ""} << false << QByteArray("\r\nx\r\n\r\n");
}

void ResultsWindowTest::saveWritesEveryRowWithCrLf() {
    QFETCH(QStringList, rows);
    QFETCH(bool, trailingSeparator);
    QFETCH(QByteArray, bytes);
    Form1& form = start();
    if (trailingSeparator)
        form.Text3->setText(m_out + QDir::separator());
    for (const QString& row : rows) form.resultsModel()->statement(row.toStdString());
    QTest::mouseClick(form.PushButton8, Qt::LeftButton);
    QCOMPARE(ReadAll(m_out + "/Quarrytab.txt"), bytes);
    QCOMPARE(Messages(*m_fixture), QStringList{"information: " + kDone});
    QVERIFY(!form.busyPointer());
}

void ResultsWindowTest::saveAsksBeforeOverwriting() {
    Form1& form = start();
    const QString target = Native(m_out + "/Quarrytab.txt");
    WriteFile(target, "old file, longer than the new one\r\n");
    form.resultsModel()->statement("new");
    const QString question =
        QStringLiteral("question: Are you sure you wish to overwrite ") + target + " ?";

    form.PushButton8_Click();  // answered No
    QCOMPARE(Messages(*m_fixture), QStringList{question});
    QCOMPARE(ReadAll(target), QByteArray("old file, longer than the new one\r\n"));

    m_fixture->prompts.shown.clear();
    m_fixture->prompts.questionAnswers = {true, true};
    form.PushButton8_Click();
    form.PushButton8_Click();  // saving twice gives the same file and asks again
    QCOMPARE(Messages(*m_fixture),
             (QStringList{question, "information: " + kDone, question, "information: " + kDone}));
    QCOMPARE(ReadAll(target), QByteArray("new\r\n"));
}

void ResultsWindowTest::saveFailureKeepsTheOldFileAndIsReportedOnce_data() {
    QTest::addColumn<bool>("failOpen");
    QTest::addColumn<int>("line");
    QTest::newRow("cannot create") << true << 134;
    QTest::newRow("cannot write") << false << 140;
}

void ResultsWindowTest::saveFailureKeepsTheOldFileAndIsReportedOnce() {
    QFETCH(bool, failOpen);
    QFETCH(int, line);
    Form1& form = start();
    const QString target = Native(m_out + "/Quarrytab.txt");
    WriteFile(target, "kept\r\n");
    for (int i = 0; i < 1000; ++i) form.resultsModel()->statement("row");
    const QString unwritable =
        m_fixture->scratchPath(QStringLiteral("no-such-folder/Quarrytab.txt"));
    form.setResultsFileFactory([&](const QString& path) -> std::unique_ptr<QFileDevice> {
        if (failOpen)
            return std::make_unique<QSaveFile>(unwritable);  // its folder cannot be written
        return std::make_unique<FailingSaveFile>(path);
    });
    m_fixture->prompts.questionAnswers = {true};
    form.PushButton8_Click();
    const QStringList messages = Messages(*m_fixture);
    QCOMPARE(messages.size(), 2);
    QVERIFY2(messages[1].endsWith(QStringLiteral("in Quarrytab2021/08/31.Form1.PushButton8_Click "
                                                 "at line %1")
                                      .arg(line)),
             qPrintable(messages[1]));
    QCOMPARE(ReadAll(target), QByteArray("kept\r\n"));
    QCOMPARE(QDir(m_out).entryList(QDir::Files), QStringList{"Quarrytab.txt"});
    QVERIFY(!form.busyPointer());
}

void ResultsWindowTest::saveChecksTheFolderAndTheInputList() {
    Form1& form = start();
    form.resultsModel()->statement("s");
    form.Text3->setText(Native(m_fixture->scratchPath(QStringLiteral("missing"))));
    form.PushButton8_Click();
    QCOMPARE(Messages(*m_fixture), QStringList{"information: " + kNoFolder});

    // Beside the input: no folder check, but an input file is needed.
    m_fixture->prompts.shown.clear();
    form.Option2->setChecked(true);
    form.PushButton8_Click();
    QCOMPARE(Messages(*m_fixture), QStringList{"information: " + kNoFiles});

    m_fixture->prompts.shown.clear();
    QDir().mkpath(m_data + "/sub");
    form.inputList()->append({input("sub/first.csv", "1"), input("second.csv", "2")});
    form.PushButton8_Click();
    QCOMPARE(Messages(*m_fixture), QStringList{"information: " + kDone});
    QCOMPARE(ReadAll(m_data + "/sub/Quarrytab.txt"), QByteArray("s\r\n"));
    QVERIFY(!QFile::exists(m_data + "/Quarrytab.txt"));
}

void ResultsWindowTest::copyPutsTheRowsOnTheClipboard() {
    Form1& form = start();
    const QString message = QStringLiteral(
        "information: Results have been copied to the clipboard.\r\rClick a text area where you "
        "normally type and press Ctrl+V to paste the clipboard.");
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    form.PushButton4_Click();  // nothing to copy: the clipboard keeps its text
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    QCOMPARE(Messages(*m_fixture), QStringList{message});

    form.resultsModel()->statement("a  ");
    form.resultsModel()->statement("");
    form.resultsModel()->statement("caf\xc3\xa9 \xe2\x82\xac");
    form.resultsModel()->statement("caf\xe9");
    QTest::mouseClick(form.PushButton4, Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral(u"a\r\n\r\ncaf\u00e9 \u20ac\r\ncaf\u00e9\r\n"));
    QCOMPARE(Messages(*m_fixture), (QStringList{message, message}));

    // A paste after the list has changed gives the text of the copy, built once and handed out
    // again for every request; a long list's text is built on another thread.
    for (const int rows : {3, 30000}) {
        form.resultsModel()->clear();
        QByteArray expected;
        for (int row = 0; row < rows; ++row) {
            const std::string statement = "INSERT INTO 't' VALUES ('" + std::to_string(row) + "');";
            form.resultsModel()->statement(statement);
            expected += QByteArray::fromStdString(statement) + "\r\n";
        }
        form.PushButton4_Click();
        form.resultsModel()->removeRows(0, 1);
        form.resultsModel()->statement("later");
        const QMimeData* pasted = QGuiApplication::clipboard()->mimeData();
        QVERIFY(pasted != nullptr);
        const QByteArray first = pasted->data(QStringLiteral("text/plain;charset=utf-8"));
        QCOMPARE(first, expected);
        QCOMPARE(pasted->data(QStringLiteral("text/plain")).constData(), first.constData());
        QCOMPARE(pasted->text(), QString::fromUtf8(expected));
        QCOMPARE(pasted->text().constData(), pasted->text().constData());
    }
}

void ResultsWindowTest::sampleFilesAreRecordedOnceAndLoaded() {
    const QString samples = m_fixture->programFile(QStringLiteral("Samples"));
    WriteFile(samples + "/b.csv", "b");
    WriteFile(samples + "/a.csv", "a");
    QDir().mkpath(samples + "/folder");
    Form1& form = start();
    const QString a = samples + QDir::separator() + "a.csv";
    const QString b = samples + QDir::separator() + "b.csv";
    QCOMPARE(m_fixture->stored(QStringLiteral("Snapshot")), a + "|" + b);

    // Recorded once: a file added later is not a sample, one deleted is skipped.
    WriteFile(samples + "/c.csv", "c");
    Form1& again = m_fixture->restart();
    QCOMPARE(m_fixture->stored(QStringLiteral("Snapshot")), a + "|" + b);
    m_fixture->prompts.questionAnswers = {true, false};
    QTest::mouseClick(again.PushButton3, Qt::LeftButton);
    QCOMPARE(again.inputList()->paths(), (QStringList{a, b}));
    again.PushButton3_Click();  // already listed: nothing added, the question comes again
    QCOMPARE(again.inputList()->paths(), (QStringList{a, b}));
    const QString question = QStringLiteral(
        "question: Would you like this software to open the folder where these sample files are "
        "stored (so that you can view them before working with them)?");
    QCOMPARE(Messages(*m_fixture), (QStringList{question, question}));
    QCOMPARE(m_fixture->prompts.openedFolders, QStringList{samples + QDir::separator()});

    again.inputList()->clear();
    QFile::remove(a);
    again.PushButton3_Click();
    QCOMPARE(again.inputList()->paths(), QStringList{b});
    Q_UNUSED(form);
}

void ResultsWindowTest::endToEndFromAFolderToSqlite() {
    Form1& form = start();
    input("tree/one.csv", "id,name\r\n1,O'Brien\r\n2,caf\xe9\r\n");
    input("tree/deeper/two.csv", "k,v\n9,\xc3\xa9t\xc3\xa9\n");
    input("tree/skip.txt", "not converted");
    m_fixture->prompts.inputAnswers = {QStringLiteral("csv")};
    m_fixture->prompts.folderAnswers = {Native(m_data + "/tree")};
    form.PushButton5_Click();
    QTRY_COMPARE(form.inputList()->count(), 2);
    QTRY_VERIFY(!form.busyPointer());
    form.PushButton2_Click();
    form.PushButton8_Click();
    const QByteArray expected =
        "CREATE TABLE 'Table1_one' ('fld1' text,'fld2' text);\r\n"
        "INSERT INTO 'Table1_one' VALUES ('id','name');\r\n"
        "INSERT INTO 'Table1_one' VALUES ('1','O''Brien');\r\n"
        "INSERT INTO 'Table1_one' VALUES ('2','caf\xe9');\r\n"
        "CREATE TABLE 'Table1_two' ('fld1' text,'fld2' text);\r\n"
        "INSERT INTO 'Table1_two' VALUES ('k','v');\r\n"
        "INSERT INTO 'Table1_two' VALUES ('9','\xc3\xa9t\xc3\xa9');\r\n";
    QCOMPARE(ReadAll(m_out + "/Quarrytab.txt"), expected);
    QCOMPARE(Messages(*m_fixture).filter("information: ").size(), 2);

    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
    for (const QByteArray& line : expected.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        char* error = nullptr;
        const int rc = sqlite3_exec(db, line.trimmed().constData(), nullptr, nullptr, &error);
        QVERIFY2(rc == SQLITE_OK, error);
    }
    sqlite3_stmt* query = nullptr;
    QCOMPARE(
        sqlite3_prepare_v2(db, "SELECT fld2 FROM Table1_one WHERE fld1 = '1'", -1, &query, nullptr),
        SQLITE_OK);
    QCOMPARE(sqlite3_step(query), SQLITE_ROW);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(query, 0))),
             QByteArray("O'Brien"));
    sqlite3_finalize(query);
    sqlite3_close(db);
}

// Rules written as words: csv header null tx detect, skip=N comment=T enc=NAME rows=N,
// db=sqlite|postgres|mysql, width=pad|skip.
ReadingRules RulesFrom(const QString& words) {
    ReadingRules rules;
    for (const QString& word : words.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString value = word.section(QLatin1Char('='), 1);
        if (word == QLatin1String("csv")) {
            rules.QuotedFields = true;
        } else if (word == QLatin1String("header")) {
            rules.HeaderRow = true;
        } else if (word == QLatin1String("null")) {
            rules.EmptyAsNull = true;
        } else if (word == QLatin1String("tx")) {
            rules.Transaction = true;
        } else if (word == QLatin1String("detect")) {
            rules.DetectEachFile = true;
        } else if (word.startsWith(QLatin1String("skip="))) {
            rules.SkipLines = value.toULongLong();
        } else if (word.startsWith(QLatin1String("comment="))) {
            rules.CommentPrefix = value.toStdString();
        } else if (word.startsWith(QLatin1String("enc="))) {
            rules.Encoding = value.toStdString();
        } else if (word.startsWith(QLatin1String("rows="))) {
            rules.RowsPerInsert = value.toULongLong();
        } else if (word.startsWith(QLatin1String("db="))) {
            rules.Database = value == QLatin1String("sqlite")     ? Dialect::Sqlite
                             : value == QLatin1String("postgres") ? Dialect::Postgres
                                                                  : Dialect::Mysql;
        } else if (word.startsWith(QLatin1String("width="))) {
            rules.OtherWidth = value == QLatin1String("pad") ? RaggedMode::Pad : RaggedMode::Skip;
        }
    }
    return rules;
}

void ResultsWindowTest::withRulesTheWindowWritesWhatTheCommandLineWrites_data() {
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QString>("window");  // the window's own choices: delimiter button, quote...
    QTest::addColumn<QStringList>("cli");
    const QStringList base{"-t", "Table1"};
    QTest::newRow("quoted fields and header")
        << "csv header"
        << "Option11 '" << base + QStringList{"--csv", "--header", "-q", "'"};
    QTest::newRow("PostgreSQL, NULL, pad, three rows, transaction")
        << "csv header db=postgres null width=pad rows=3 tx"
        << "Option11 '"
        << base + QStringList{
                      "--csv",    "--header", "--dialect",         "postgres", "--null-empty",
                      "--ragged", "pad",      "--rows-per-insert", "3",        "--transaction"};
    QTest::newRow("MySQL, skip other widths")
        << "csv db=mysql width=skip"
        << "Option11 '" << base + QStringList{"--csv", "--dialect", "mysql", "--ragged", "skip"};
    QTest::newRow("SQLite under the window's own quote")
        << "csv header db=sqlite"
        << "Option11 ["
        << base + QStringList{"--csv", "--header", "--dialect", "sqlite", "-q", "["};
    QTest::newRow("semicolons, lines skipped, comments, Windows-1252")
        << "header skip=1 comment=# enc=windows-1252"
        << "Option13 '"
        << base + QStringList{"-d", ";",          "--header",     "--skip-lines", "1", "--comment",
                              "#",  "--encoding", "windows-1252", "-q",           "'"};
    QTest::newRow("rules detected per file, the rule for other widths kept")
        << "csv header detect"
        << "Option13 '" << base + QStringList{"--auto", "--ragged", "keep", "-q", "'"};
    QTest::newRow("rules detected per file, an encoding and comments given")
        << "detect comment=# enc=windows-1252 width=pad"
        << "Option11 '"
        << base + QStringList{"--auto",   "--comment", "#",  "--encoding", "windows-1252",
                              "--ragged", "pad",       "-q", "'"};
    QTest::newRow("INSERT only, no semicolon")
        << "csv header rows=2"
        << "Option6 ' nosemicolon"
        << base +
               QStringList{
                   "--csv", "--header", "--rows-per-insert", "2", "--insert-only", "--no-semicolon",
                   "-q",    "'"};
}

void ResultsWindowTest::withRulesTheWindowWritesWhatTheCommandLineWrites() {
    QFETCH(QString, rules);
    QFETCH(QString, window);
    QFETCH(QStringList, cli);
    Form1& form = start();
    const QStringList files{input("people.csv",
                                  "\xEF\xBB\xBFid,name,,ID,id\r\n1,\"Smith, Anna\",x,,\r\n"
                                  "2,\"two\r\nlines\",\"say \"\"hi\"\"\",7,\"\"\r\n3,short\r\n"
                                  "\r\n4,O'Brien,,9,x,extra\r\n5,\"back\\slash\",\"\",,0"),
                            input("shop.csv",
                                  "title; 2024\r\n# about\r\nk;v\r\ncaf\xe9;1\r\n# more\r\n;2\n"
                                  "\"q;r\";3\r\n"),
                            input("pipes.txt", "a|b|c\n1|\"x|y\"|3\n")};
    form.inputList()->append(files);
    const QStringList choices = window.split(QLatin1Char(' '));
    form.findChild<QRadioButton*>(choices[0])->click();
    form.Text2->setText(choices[1]);
    form.Check3->setChecked(!choices.contains(QStringLiteral("nosemicolon")));
    m_fixture->prompts.rulesAnswers = {RulesFrom(rules)};
    form.PushButton10_Click();
    QCOMPARE(form.readingRules(), RulesFrom(rules));
    form.PushButton2_Click();
    form.PushButton8_Click();
    const QByteArray saved = ReadAll(m_out + "/Quarrytab.txt");

    QProcess program;
    program.start(QStringLiteral(QUARRYTAB_CLI), cli + files);
    QVERIFY(program.waitForFinished(20000));
    const QByteArray written = program.readAllStandardOutput();
    QVERIFY2(saved == written, (saved + "\n---- quarrytab-cli ----\n" + written).constData());
    // Rows of another width are noted in the one message the run ends with.
    const QStringList messages = Messages(*m_fixture).filter("information: Done.");
    QCOMPARE(messages.size(), 2);
    QVERIFY(messages[0].contains(QStringLiteral("\r\n\r\nRules: ")));
    QVERIFY2(messages[0].contains(QStringLiteral("with another field count")),
             qPrintable(messages[0]));
    // What detection chose for each file is said there too.
    QCOMPARE(messages[0].count(QStringLiteral("Read as: ")), rules.contains("detect") ? 3 : 0);
}

int RunResultsWindowTests(int argc, char** argv) {
    ResultsWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "results_window_test.moc"
