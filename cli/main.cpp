// quarrytab-cli: converts delimited text files into SQL statements on standard output or a file.
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "cli/output_writer.h"
#include "cli/rejects_file.h"
#include "engine/conversion.h"
#include "engine/dialect.h"
#include "engine/failure_numbers.h"
#include "engine/platform.h"
#include "filelist/folder_walk.h"

using namespace quarrytab;

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitInputFailed = 1;
constexpr int kExitUsage = 2;

// The progress line is on show (on a terminal): a message first clears it, so the two never share
// a line; the progress line comes back with its next update.
bool g_progressShown = false;

void ClearProgress() {
    if (std::exchange(g_progressShown, false)) {
        std::fprintf(stderr, "\r%60s\r", "");
    }
}

void PrintError(const std::string& text) {
    ClearProgress();
    std::fprintf(stderr, "quarrytab-cli: %s\n", text.c_str());
}

int UsageError(const std::string& text) {
    PrintError(text + " (try 'quarrytab-cli --help')");
    return kExitUsage;
}

// Prints failures on standard error; the run goes on with the next input.
class ConsoleReporter : public ErrorReporter {
  public:
    void reportApplicationError(std::string_view location, int line,
                                const Failure& failure) override {
        m_failed = true;
        ++m_reported;
        // Told apart by number: a file that cannot be opened or read is the common case; any
        // other failure keeps where it happened, for a report.
        const int number = failure.number();
        if (number == failures::kFileNotFound || number == failures::kDeviceIoError) {
            PrintError("cannot read '" + m_current + "': " + failure.description());
        } else {
            PrintError(failure.description() + " (failure " + std::to_string(number) + ", " +
                       std::string(location) + "at line " + std::to_string(line) + ")");
        }
    }
    void setCurrent(const std::string& path) { m_current = path; }
    bool failed() const { return m_failed; }
    void fail() { m_failed = true; }
    // Failures reported so far.
    std::size_t reported() const { return m_reported; }

  private:
    std::string m_current;
    bool m_failed = false;
    std::size_t m_reported = 0;
};

std::string Count(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "lines 3, 7, 9, ..." for the first few of many.
std::string LinesText(const LineNotes& notes) {
    std::string text = notes.first.size() == 1 ? "line " : "lines ";
    for (std::size_t i = 0; i < notes.first.size(); ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(notes.first[i]);
    }
    if (notes.count > notes.first.size()) {
        text += ", ...";
    }
    return text;
}

std::string Shown(const std::string& delimiter) {
    return delimiter == "\t" ? std::string("TAB") : "'" + delimiter + "'";
}

// How messages name an input: quoted, or "standard input".
std::string Where(const std::string& file) {
    return file == kStandardInputPath ? std::string("standard input") : "'" + file + "'";
}

// Says how the file was read: the rules --auto chose, the delimiter -d auto found or doubted.
void ReportReading(const std::string& where, const FileNotes& notes) {
    if (!notes.rulesChosen.empty()) {
        PrintError(where + ": " + notes.rulesChosen);
    }
    if (!notes.detectedDelimiter.empty() && !notes.delimiterUndetected) {
        PrintError(where + ": delimiter " + Shown(notes.detectedDelimiter) + " detected");
    }
    if (notes.delimiterUndetected) {
        PrintError(where +
                   ": no delimiter among ',' ';' TAB '|' gives its first lines a steady "
                   "field count; using ','");
    }
    if (notes.otherDelimiterLikely) {
        PrintError(where +
                   ": its first lines have one field each but hold ';' or TAB; another "
                   "delimiter may be meant (-d, or -d auto)");
    }
}

// Says each column's type and why, and what the table's definition would refuse or change; true
// when it refused something, so nothing of the file is written.
bool ReportTable(const std::string& where, const FileNotes& notes) {
    if (!notes.namesFitted.empty()) {
        PrintError(where + ": " + notes.namesFitted);
    }
    if (!notes.columnTypes.empty()) {
        PrintError(where + ": columns " + notes.columnTypes);
    }
    for (const auto& refused : notes.valuesRefused) {
        PrintError(where + ": " + refused);
    }
    if (!notes.valuesRefused.empty()) {
        PrintError(where + ": nothing written");
        return true;
    }
    return false;
}

// Says which records had another width than the table; true when their SQL cannot load.
bool ReportRagged(const std::string& file, const FileNotes& notes,
                  const ConversionOptions& options) {
    const std::string where = Where(file);
    bool failed = false;
    // With --columns, the width records are compared with is the one the fields were chosen
    // from, and every row the table takes fits it.
    const bool chosen = notes.chosenFrom > 0;
    const auto width = std::to_string(chosen ? notes.chosenFrom : notes.expectedFields);
    if (notes.stopped) {
        PrintError(where + " line " + std::to_string(notes.ragged.first.back()) +
                   ": a record with another field count than the first record's " + width +
                   " (--ragged fail)");
        return true;
    }
    // --auto pads rows of another width unless --ragged says otherwise.
    const auto ragged =
        options.AutoRules && !options.Kept.ragged ? RaggedMode::Pad : options.Ragged;
    if (notes.ragged.count > 0) {
        const char* what = ragged == RaggedMode::Skip ? "left out"
                           : chosen ? "their chosen fields written, a missing one as NULL"
                           : ragged == RaggedMode::Pad ? "short ones padded with NULL"
                                                       : "written as they are";
        PrintError(where + ": " + Count(notes.ragged.count, "record", "records") +
                   " with another field count than " +
                   (notes.widened ? "the table's " : "the first record's ") + width + " (" +
                   LinesText(notes.ragged) + "); " + what);
        // Their INSERTs do not fit the table: no database takes them.
        failed |= ragged == RaggedMode::Keep && !chosen;
    }
    if (ragged == RaggedMode::Pad && notes.wider.count > 0) {
        PrintError(where + " " + LinesText(notes.wider) + ": wider than the table's " +
                   std::to_string(notes.expectedFields) +
                   " columns, so their INSERTs do not fit it (" +
                   (file == kStandardInputPath
                        ? "standard input is read once: the table takes its width from the "
                          "first records)"
                        : "its widest record could not be found first)"));
        failed = true;
    }
    return failed;
}

// Says which bytes or fields could not be kept as they are; true when there were any.
bool ReportByteFaults(const std::string& where, const FileNotes& notes,
                      const ConversionOptions& options) {
    bool failed = false;
    if (notes.unclosedQuote.count > 0) {
        PrintError(where + " " + LinesText(notes.unclosedQuote) +
                   ": a quoted field is still open at the end of the file; " +
                   (notes.faultsLeftOut ? "the record is left out (--rejects)"
                                        : "its text is kept as the last value"));
        failed = true;
    }
    if (notes.unconvertibleUnits > 0) {
        PrintError(
            where + ": " +
            (notes.unitsAreCodeUnits
                 ? Count(notes.unconvertibleUnits, "UTF-16 code unit is", "UTF-16 code units are")
                 : Count(notes.unconvertibleUnits, "byte is", "bytes are")) +
            " not valid " + notes.encoding + " (" + LinesText(notes.unconvertible) +
            "); each written as U+FFFD");
        failed = true;
    }
    if (notes.unstorable.count > 0) {
        PrintError(where + ": " + Count(notes.unstorable.count, "record holds", "records hold") +
                   (options.SqlDialect == Dialect::Postgres
                        ? " a NUL byte or invalid UTF-8, which PostgreSQL cannot store ("
                        : " invalid UTF-8, which MySQL cannot store in its text (") +
                   LinesText(notes.unstorable) + ")" +
                   (notes.faultsLeftOut ? "; left out (--rejects)" : ""));
        failed = true;
    }
    return failed;
}

// Says what a file's conversion noticed; true when it is a failure (exit status 1).
bool ReportNotes(const std::string& file, const FileNotes& notes,
                 const ConversionOptions& options) {
    ReportReading(Where(file), notes);
    if (!notes.refused.empty()) {
        PrintError(Where(file) + " " + notes.refused + "; nothing of it was written");
        return true;
    }
    if (ReportTable(Where(file), notes)) {
        return true;
    }
    const bool ragged = ReportRagged(file, notes, options);
    if (notes.stopped) {
        return true;
    }
    const bool faults = ReportByteFaults(Where(file), notes, options);
    return ragged || faults;
}

// Shows how far a long conversion has come, on standard error when a person watches it.
class ProgressLine {
  public:
    ProgressLine(const std::vector<std::string>& paths, bool enabled) {
        if (!enabled) {
            return;
        }
        for (const auto& path : paths) {
            std::error_code ec;
            const auto size = std::filesystem::file_size(FileSystemPath(path), ec);
            m_total += ec ? 0 : size;
        }
        m_enabled = m_total >= kWorthShowing;
    }
    void update(const ConversionProgress& progress) {
        if (!m_enabled) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (progress.fileIndex != m_fileIndex) {
            m_doneBefore += m_fileSize;
            m_fileIndex = progress.fileIndex;
        }
        m_fileSize = progress.fileBytesRead;
        if (now - m_last < std::chrono::milliseconds(250)) {
            return;
        }
        m_last = now;
        const double share =
            100.0 * static_cast<double>(m_doneBefore + m_fileSize) / static_cast<double>(m_total);
        std::fprintf(stderr, "\rquarrytab-cli: %5.1f%%  %llu lines", share > 100 ? 100.0 : share,
                     static_cast<unsigned long long>(progress.linesDone));
        g_progressShown = true;
    }
    void finish() { ClearProgress(); }

  private:
    static constexpr std::uintmax_t kWorthShowing = 64ULL << 20;
    std::uintmax_t m_total = 0;
    std::uintmax_t m_doneBefore = 0;
    std::uintmax_t m_fileSize = 0;
    std::size_t m_fileIndex = 0;
    bool m_enabled = false;
    std::chrono::steady_clock::time_point m_last{};
};

// What folder walks left out, told once the walks are done: a count and the first few paths.
class SkippedPaths {
  public:
    void add(const std::string& path, WalkSkip reason) {
        const char* why = reason == WalkSkip::PathTooLong    ? "path too long"
                          : reason == WalkSkip::NameTooLong  ? "name too long"
                          : reason == WalkSkip::UnsafeName   ? "unsafe characters in its name"
                          : reason == WalkSkip::LinkToNoFile ? "a link that leads to no file"
                                                             : "could not be read";
        if (m_first.size() < kShown) {
            m_first.push_back("'" + path + "' (" + why + ")");
        }
        ++m_count;
    }
    void report() const {
        if (m_count == 0) {
            return;
        }
        PrintError(Count(m_count, "path was", "paths were") + " left out of the walk:");
        for (const auto& line : m_first) {
            std::fprintf(stderr, "  %s\n", line.c_str());
        }
        if (m_count > m_first.size()) {
            std::fprintf(stderr, "  and %llu more\n",
                         static_cast<unsigned long long>(m_count - m_first.size()));
        }
    }

  private:
    static constexpr std::size_t kShown = 5;
    std::vector<std::string> m_first;
    std::uint64_t m_count = 0;
};

// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(FileSystemPath(a), FileSystemPath(b), error) && !error;
}

// Every input file in order: folders walked, "-" kept for standard input. The output file is
// left out of a walk (a run into a folder it converts would take in its own earlier output).
std::vector<std::string> InputFiles(const CommandLine& command, ConsoleReporter& reporter) {
    std::vector<std::string> paths;
    SkippedPaths skipped;
    const auto skip = [&](const std::string& path, WalkSkip reason) {
        skipped.add(path, reason);
    };
    for (const auto& input : command.inputs) {
        if (input == kStandardInputPath || !FolderExists(input)) {
            paths.push_back(input);
            continue;
        }
        reporter.setCurrent(input);
        bool found = false;
        for (auto& file : CollectPathBytes(input, command.pattern, reporter, skip)) {
            if ((command.output.empty() || !SameFile(file, command.output)) &&
                (command.rejects.empty() || !SameFile(file, command.rejects))) {
                paths.push_back(std::move(file));
                found = true;
            }
        }
        if (!found) {
            PrintError("'" + input + "': no file" +
                       (command.pattern == "*.*" ? std::string() : " named " + command.pattern) +
                       " in the folder or beneath it");
            reporter.fail();
        }
    }
    skipped.report();
    return paths;
}

// --explain: each file's reading rules and their reasons on standard output, and with the table's
// definition options each column's type, nothing converted.
int Explain(const std::vector<std::string>& paths, const CommandLine& command,
            ConsoleReporter& reporter) {
    for (const auto& path : paths) {
        reporter.setCurrent(path);
        FileNotes notes;
        if (path == kStandardInputPath) {
            StandardInput standardInput;
            ExplainStream(standardInput, command.options, reporter, notes);
        } else {
            ExplainFile(path, command.options, reporter, notes);
        }
        if (!notes.rulesChosen.empty()) {
            std::printf("%s: %s\n", Where(path).c_str(), notes.rulesChosen.c_str());
        }
        if (!notes.columnTypes.empty()) {
            std::printf("%s: columns %s\n", Where(path).c_str(), notes.columnTypes.c_str());
        }
        for (const auto& refused : notes.valuesRefused) {
            PrintError(Where(path) + ": " + refused);
            reporter.fail();
        }
    }
    return reporter.failed() ? kExitInputFailed : kExitSuccess;
}

// Two files whose tables the database takes for one: with CREATE TABLE for a database, the second
// would fail to load, or its rows go into the first file's table, so the run stops before it
// writes anything (true). Otherwise the files are named and the run goes on.
bool ReportSharedTables(const std::vector<std::string>& paths, const ConversionOptions& options) {
    std::map<std::string, std::string> tables;  // the name's key, the first file to use it
    bool refused = false;
    for (const auto& path : paths) {
        const std::string base(path == kStandardInputPath ? std::string_view("stdin")
                                                          : BaseNameOf(path, kNativePathStyle));
        const auto table = TableName(options, base);
        const auto [first, added] =
            tables.emplace(NameKey(table, options.SqlDialect, QuotesNames(options)), path);
        if (added) {
            continue;
        }
        const bool fatal = options.Mode == StatementMode::CreateAndInsert &&
                           options.SqlDialect != Dialect::Classic;
        PrintError(Where(first->second) + " and " + Where(path) + " both load into table " + table +
                   (fatal ? ", which cannot be made twice; nothing was written" : ""));
        refused |= fatal;
    }
    return refused;
}

// Says so when a file gave no record at all, which is seldom what was meant.
void ReportNothingConverted(const std::string& file, const FileNotes& notes,
                            const ConversionOptions& options) {
    if (notes.rows > 0 || notes.stopped || !notes.valuesRefused.empty()) {
        return;
    }
    std::string why = options.HeaderRow ? "no record after its header" : "no record";
    if (options.SkipLines > 0) {
        why += " once --skip-lines left out " + std::to_string(options.SkipLines) + " lines";
    }
    PrintError(Where(file) + ": " + why +
               (notes.tableMade ? "; only the table definition written" : "; nothing converted"));
}

// An output the run must not write: one of the inputs, or standard output closed. The exit
// status then, or nothing when the output may be written.
std::optional<int> RefusedOutput(const CommandLine& command, const ClosedStreams& closed) {
    for (const auto& input : command.inputs) {
        if (input != kStandardInputPath && !command.output.empty() &&
            SameFile(input, command.output)) {
            return UsageError("'" + input + "' is both an input and the output (-o)");
        }
    }
    if (!command.rejects.empty()) {
        for (const auto& input : command.inputs) {
            if (input == command.rejects || SameFile(input, command.rejects)) {
                return UsageError("'" + input +
                                  "' is both an input and the rejects file (--rejects)");
            }
        }
        if (command.rejects == command.output || SameFile(command.rejects, command.output)) {
            return UsageError("--rejects and -o name the same file");
        }
    }
    if (closed.output && command.output.empty()) {
        PrintError("cannot write standard output: it is closed (use -o FILE)");
        return kExitInputFailed;
    }
    return std::nullopt;
}

// What the conversions of a run's files share.
struct FileRun {
    const CommandLine& command;
    const ClosedStreams& closed;
    ConsoleReporter& reporter;
    OutputWriter& writer;
    const ProgressHook& progress;
    ConversionProgress state{};
    StandardInput standardInput{};
    RejectsFile* rejects = nullptr;
};

// Tells the rejects file about a whole input left out: its names or values refused, or its
// conversion stopped by a failure.
void InputLeftOut(FileRun& run, const FileNotes& notes) {
    if (!notes.refused.empty()) {
        run.rejects->inputLeftOut(notes.refused + "; nothing of it was written");
    }
    for (const auto& refused : notes.valuesRefused) {
        run.rejects->inputLeftOut(refused + "; nothing of it was written");
    }
}

// Converts one file and says what it noticed; false when the run stops there (a ragged record
// under --ragged fail, a refused name, bytes held back past their limit).
bool ConvertOne(FileRun& run, const std::string& path) {
    run.reporter.setCurrent(path);
    if (path == kStandardInputPath && run.closed.input) {
        PrintError("cannot read standard input: it is closed");
        run.reporter.fail();
        return true;
    }
    FileNotes notes;
    const auto reportedBefore = run.reporter.reported();
    ConversionContext context{run.reporter, run.writer, run.progress, &run.state, &notes};
    if (run.rejects != nullptr) {
        run.rejects->setCurrent(path == kStandardInputPath ? std::string("standard input") : path);
        context.rejects = run.rejects;
    }
    try {
        if (path == kStandardInputPath) {
            ConvertStream(run.standardInput, "stdin", run.command.options, context);
        } else {
            ConvertFile(path, run.command.options, context);
        }
    } catch (const Failure& failure) {
        // The conversion itself cannot go on (bytes held back past their limit).
        PrintError(Where(path) + ": " + failure.description());
        if (run.rejects != nullptr) {
            run.rejects->inputLeftOut("the conversion stopped: " + failure.description());
        }
        return false;
    }
    if (run.rejects != nullptr) {
        InputLeftOut(run, notes);
    }
    if (run.reporter.reported() == reportedBefore) {
        ReportNothingConverted(path, notes, run.command.options);
    }
    if (ReportNotes(path, notes, run.command.options)) {
        run.reporter.fail();
    }
    return !notes.stopped && notes.valuesRefused.empty();
}

// Replaces the rejects file and says how many records it holds; false when it could not be
// written (the output is then not replaced either: records would be lost without a trace).
bool FinishRejects(const CommandLine& command, RejectsFile* rejects) {
    if (rejects == nullptr) {
        return true;
    }
    try {
        rejects->finish();
    } catch (const Failure& failure) {
        PrintError("cannot write '" + command.rejects + "': " + failure.description());
        return false;
    }
    if (rejects->records() > 0) {
        PrintError(Count(rejects->records(), "record", "records") + " left out written to '" +
                   command.rejects + "'");
    }
    return true;
}

// Flushes the output and, for -o, replaces its file; the run's exit status.
int FinishOutput(const CommandLine& command, OutputWriter& writer,
                 const ConsoleReporter& reporter) {
    try {
        writer.finish();
    } catch (const Failure& failure) {
        PrintError("cannot write '" +
                   (command.output.empty() ? std::string("standard output") : command.output) +
                   "': " + failure.description());
        return kExitInputFailed;
    }
    return reporter.failed() ? kExitInputFailed : kExitSuccess;
}

int Convert(const CommandLine& command, const ClosedStreams& closed) {
    if (const auto refused = RefusedOutput(command, closed)) {
        return *refused;
    }
    ConsoleReporter reporter;
    const auto paths = InputFiles(command, reporter);
    if (command.explain) {
        return Explain(paths, command, reporter);
    }
    OutputWriter writer(QString::fromLocal8Bit(command.output.c_str()));
    try {
        writer.open();
    } catch (const Failure& failure) {
        PrintError("cannot write '" + command.output + "': " + failure.description());
        return kExitInputFailed;
    }
    if (ReportSharedTables(paths, command.options)) {
        writer.discard();
        return kExitInputFailed;
    }
    std::optional<RejectsFile> rejects;
    if (!command.rejects.empty()) {
        rejects.emplace(command.rejects);
        try {
            rejects->open();
        } catch (const Failure& failure) {
            PrintError("cannot write '" + command.rejects + "': " + failure.description());
            writer.discard();
            return kExitInputFailed;
        }
    }
    ProgressLine progressLine(paths, StandardErrorIsTerminal());
    const ProgressHook progress = [&](const ConversionProgress& state) {
        progressLine.update(state);
        return !writer.failed();
    };
    FileRun run{command, closed, reporter, writer, progress, {}, {}, rejects ? &*rejects : nullptr};
    for (std::size_t i = 0; i < paths.size() && !writer.failed(); ++i) {
        run.state.fileIndex = i;
        if (!ConvertOne(run, paths[i])) {
            // The run stops as --ragged fail stops it, and -o's file is not replaced; the
            // rejects file says where and why.
            progressLine.finish();
            writer.discard();
            FinishRejects(command, run.rejects);
            return kExitInputFailed;
        }
    }
    progressLine.finish();
    if (!FinishRejects(command, run.rejects)) {
        writer.discard();
        return kExitInputFailed;
    }
    return FinishOutput(command, writer, reporter);
}

}  // namespace

int main(int argc, char* argv[]) {
    const ClosedStreams closed = HoldClosedStandardStreams();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quarrytab-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUARRYTAB_VERSION));

    CommandLine command;
    std::string error;
    if (!ParseCommandLine(ArgumentsAsGiven(argc, argv), command, error)) {
        return UsageError(error);
    }
    switch (command.action) {
        case CommandLine::Action::Help:
            std::fputs(HelpText().c_str(), stdout);
            return kExitSuccess;
        case CommandLine::Action::Version:
            std::printf("quarrytab-cli %s\n", QUARRYTAB_VERSION);
            return kExitSuccess;
        case CommandLine::Action::Convert:
            break;
    }
    if (const auto problem = OptionsProblem(command.options); !problem.empty()) {
        return UsageError(problem);
    }
    return Convert(command, closed);
}
