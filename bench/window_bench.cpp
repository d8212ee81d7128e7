// Times the real window on one input file: "Start Converting" until "Done.", "Save Results As
// Text File" until "Done." and "Copy Results To Clipboard" until its message, then reads the
// clipboard's plain text as bytes as a paste into another program does, and reads the program's
// peak memory after each. Run it on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen quarrytab-window-bench INPUT OUTPUT-FOLDER
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>

#include "app/form1.h"
#include "app/prompts.h"
#include "app/settings_store.h"
#include "filelist/input_file_list.h"
#include "results/results_model.h"

namespace {

// Answers every question with Yes and notes when each message arrives.
class BenchPrompts final : public quarrytab::Prompts {
  public:
    QElapsedTimer clock;
    qint64 lastMessageAt = 0;
    QString lastMessage;

    void information(const QString& text, const QString&) override {
        lastMessageAt = clock.nsecsElapsed();
        lastMessage = text;
    }
    bool question(const QString&, const QString&) override { return true; }
    void error(const QString& text, const QString&) override {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
    QString inputBox(const QString&, const QString&, const QString&) override { return {}; }
    QString browseForFolder(const QString&, const QString&) override { return {}; }
    QStringList openFiles(const QString&, const QString&) override { return {}; }
    bool openFolder(const QString&) override { return false; }
    // The rules a run is timed with; none for the classic run.
    std::optional<quarrytab::ReadingRules> rules;
    bool readingRules(quarrytab::RulesRequest& request) override {
        if (rules) {
            request.rules = *rules;
        }
        return rules.has_value();
    }
};

// The peak resident memory since the last reset, in MiB; Linux only, 0 elsewhere.
double PeakMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

void ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double Seconds(BenchPrompts& prompts, qint64 start) {
    return static_cast<double>(prompts.lastMessageAt - start) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: quarrytab-window-bench INPUT OUTPUT-FOLDER [rules]\n"
                     "  rules: quoted fields, header, PostgreSQL, empty as NULL (quarrytab-cli "
                     "--csv --header --dialect postgres --null-empty)\n");
        return 2;
    }
    const QString input =
        QDir::toNativeSeparators(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath());
    const QString output =
        QDir::toNativeSeparators(QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath());
    QTemporaryDir settings;
    BenchPrompts prompts;
    quarrytab::SettingsStore store(settings.filePath(QStringLiteral("Velmora.ini")));
    quarrytab::Form1 window(prompts, store, settings.path());
    window.Form_Load();
    window.show();
    window.Text3->setText(output);
    window.inputList()->append(input);
    if (argc > 3 && QLatin1String(argv[3]) == QLatin1String("rules")) {
        quarrytab::ReadingRules rules;
        rules.QuotedFields = true;
        rules.HeaderRow = true;
        rules.Database = quarrytab::Dialect::Postgres;
        rules.EmptyAsNull = true;
        prompts.rules = rules;
        window.PushButton10->click();
    }
    QFile::remove(output + QStringLiteral("/Quarrytab.txt"));
    QApplication::processEvents();
    const double baseline = PeakMiB();
    prompts.clock.start();

    qint64 start = prompts.clock.nsecsElapsed();
    window.PushButton2->click();
    const double convert = Seconds(prompts, start);
    const QString convertMessage = prompts.lastMessage;
    const double convertPeak = PeakMiB();
    std::size_t bytes = window.resultsModel()->store().byteSize();
    const int rows = window.resultsModel()->rowCount();
    QApplication::processEvents();  // the list paints its first rows

    start = prompts.clock.nsecsElapsed();
    window.PushButton8->click();
    const double save = Seconds(prompts, start);
    const double savePeak = PeakMiB();

    ResetPeak();
    start = prompts.clock.nsecsElapsed();
    window.PushButton4->click();
    const double copy = Seconds(prompts, start);
    const double copyPeak = PeakMiB();

    // What a paste into another program asks for: the plain text as bytes.
    ResetPeak();
    QElapsedTimer pasteClock;
    pasteClock.start();
    const qsizetype pasted =
        QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain")).size();
    const double paste = static_cast<double>(pasteClock.nsecsElapsed()) / 1e9;
    const double pastePeak = PeakMiB();

    const double statementsMiB = static_cast<double>(bytes) / (1024.0 * 1024.0);
    std::printf("rows %d, statements %.1f MiB, baseline %.1f MiB\n", rows, statementsMiB, baseline);
    std::printf("convert: %.3f s (%s), peak %.1f MiB\n", convert, qPrintable(convertMessage),
                convertPeak);
    std::printf(
        "save:    %.3f s, peak %.1f MiB, file %lld bytes\n", save, savePeak,
        static_cast<long long>(QFileInfo(output + QStringLiteral("/Quarrytab.txt")).size()));
    std::printf("copy:    %.3f s, peak during copy %.1f MiB\n", copy, copyPeak);
    std::printf("paste:   %.3f s, peak while the text is read %.1f MiB, %lld bytes\n", paste,
                pastePeak, static_cast<long long>(pasted));
    std::printf("memory budget (1.5 x statements + 100 MiB): %.1f MiB\n",
                1.5 * statementsMiB + 100.0);
    return 0;
}
