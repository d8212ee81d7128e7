// quarrytab-cli: converts delimited text files into SQL statements on standard output or a file.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/output_writer.h"
#include "engine/conversion.h"
#include "engine/line_reader.h"
#include "engine/platform.h"
#include "filelist/folder_walk.h"

using namespace quarrytab;

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitInputFailed = 1;
constexpr int kExitUsage = 2;

void PrintError(const QString& text) {
    std::fprintf(stderr, "quarrytab-cli: %s\n", text.toLocal8Bit().constData());
}

int UsageError(const QString& text) {
    PrintError(text + QStringLiteral(" (try 'quarrytab-cli --help')"));
    return kExitUsage;
}

// Prints failures on standard error; the run goes on with the next input.
class ConsoleReporter : public ErrorReporter {
  public:
    void reportApplicationError(std::string_view location, int line,
                                const Failure& failure) override {
        m_failed = true;
        const auto description = QString::fromStdString(failure.description());
        if (location == kReaderLocation) {
            PrintError(QStringLiteral("cannot read '%1': %2").arg(m_current, description));
        } else {
            PrintError(QStringLiteral("%1 (%2at line %3)")
                           .arg(description,
                                QString::fromUtf8(location.data(), qsizetype(location.size())))
                           .arg(line));
        }
    }
    void setCurrent(const QString& path) { m_current = path; }
    bool failed() const { return m_failed; }

  private:
    QString m_current;
    bool m_failed = false;
};

// Shows how far a long conversion has come, on standard error when a person watches it.
class ProgressLine {
  public:
    ProgressLine(const std::vector<std::string>& paths, bool enabled) {
        if (!enabled)
            return;
        for (const auto& path : paths) m_total += QFileInfo(QString::fromStdString(path)).size();
        m_enabled = m_total >= kWorthShowing;
    }
    void update(const ConversionProgress& progress) {
        if (!m_enabled)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (progress.fileIndex != m_fileIndex) {
            m_doneBefore += m_fileSize;
            m_fileIndex = progress.fileIndex;
        }
        m_fileSize = static_cast<qint64>(progress.fileBytesRead);
        if (now - m_last < std::chrono::milliseconds(250))
            return;
        m_last = now;
        const double share =
            100.0 * static_cast<double>(m_doneBefore + m_fileSize) / static_cast<double>(m_total);
        std::fprintf(stderr, "\rquarrytab-cli: %5.1f%%  %llu lines", share > 100 ? 100.0 : share,
                     static_cast<unsigned long long>(progress.linesDone));
        m_shown = true;
    }
    void finish() {
        if (m_shown)
            std::fprintf(stderr, "\r%60s\r", "");
    }

  private:
    static constexpr qint64 kWorthShowing = 64LL << 20;
    qint64 m_total = 0;
    qint64 m_doneBefore = 0;
    qint64 m_fileSize = 0;
    std::size_t m_fileIndex = 0;
    bool m_enabled = false;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_last{};
};

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quarrytab-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARRYTAB_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Converts delimited text files into SQL statements: an optional CREATE TABLE from each\n"
        "file's first line, then one INSERT INTO per non-blank line. Statements are written one\n"
        "per line, each ending in CR LF."));
    const QCommandLineOption tableName({"t", "table-name"}, "Table-name prefix (default: Table1).",
                                       "TEXT", "Table1");
    const QCommandLineOption quote(
        {"q", "quote"},
        "Text written around table and field names (default: '); ( [ { < pair "
        "with ) ] } >.",
        "TEXT", "'");
    const QCommandLineOption delimiter(
        {"d", "delimiter"},
        "Field delimiter, taken literally, any length, may be empty; \\t "
        "stands for TAB (default: ,).",
        "TEXT", ",");
    const QCommandLineOption insertOnly("insert-only", "No CREATE TABLE statements.");
    const QCommandLineOption noSemicolon("no-semicolon", "Statements without the closing ;.");
    const QCommandLineOption extension({"e", "extension"},
                                       "For folder PATHs: only files named *.EXT.", "EXT");
    const QCommandLineOption output({"o", "output"}, "Write to FILE instead of standard output.",
                                    "FILE");
    parser.addOptions({tableName, quote, delimiter, insertOnly, noSemicolon, extension, output});
    parser.addPositionalArgument(
        "PATH",
        "An input file, or a folder: every file in it and in all folders beneath it "
        "(files whose name begins with \"~\" left out), folders walked breadth-first.",
        "PATH...");
    const auto helpOption = parser.addHelpOption();
    const auto versionOption = parser.addVersionOption();

    if (!parser.parse(QCoreApplication::arguments()))
        return UsageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return kExitSuccess;
    }
    if (parser.isSet(versionOption)) {
        std::printf("quarrytab-cli %s\n", QUARRYTAB_VERSION);
        return kExitSuccess;
    }
    const QStringList inputs = parser.positionalArguments();
    if (inputs.isEmpty())
        return UsageError(QStringLiteral("no PATH given"));

    ConversionOptions options;
    options.TableName = parser.value(tableName).toStdString();
    SetDelimitingChar(options, parser.value(quote).toStdString());
    const QString delimiterText = parser.value(delimiter);
    options.CsvDelimiter =
        delimiterText == QLatin1String("\\t") ? std::string("\t") : delimiterText.toStdString();
    options.Mode =
        parser.isSet(insertOnly) ? StatementMode::InsertOnly : StatementMode::CreateAndInsert;
    options.IncludeSemicolon = !parser.isSet(noSemicolon);

    ConsoleReporter reporter;
    const QString pattern = parser.isSet(extension) ? QStringLiteral("*.") + parser.value(extension)
                                                    : QStringLiteral("*.*");
    std::vector<std::string> paths;
    for (const QString& input : inputs) {
        if (FolderExists(input.toStdString())) {
            reporter.setCurrent(input);
            for (const QString& file : CollectFiles(input, pattern, reporter))
                paths.push_back(file.toStdString());
        } else {
            paths.push_back(input.toStdString());
        }
    }

    OutputWriter writer(parser.value(output));
    QString error;
    if (!writer.open(error)) {
        PrintError(QStringLiteral("cannot write '%1': %2").arg(parser.value(output), error));
        return kExitInputFailed;
    }
    ProgressLine progressLine(paths, StandardErrorIsTerminal());
    const ProgressHook progress = [&](const ConversionProgress& state) {
        progressLine.update(state);
        return !writer.failed();
    };
    ConversionProgress state;
    for (std::size_t i = 0; i < paths.size() && !writer.failed(); ++i) {
        state.fileIndex = i;
        reporter.setCurrent(QString::fromStdString(paths[i]));
        ConvertFile(paths[i], options, reporter, writer, progress, &state);
    }
    progressLine.finish();
    if (!writer.commit(error)) {
        PrintError(QStringLiteral("cannot write '%1': %2")
                       .arg(parser.isSet(output) ? parser.value(output)
                                                 : QStringLiteral("standard output"),
                            error));
        return kExitInputFailed;
    }
    return reporter.failed() ? kExitInputFailed : kExitSuccess;
}
