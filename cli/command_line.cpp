#include "cli/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <charconv>
#include <limits>

#include "engine/dialect.h"

namespace quarrytab {

namespace {

// Each argument byte becomes one character and back, so nothing is lost on the way through the
// parser, whatever the bytes are.
QString FromBytes(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}
std::string ToBytes(const QString& text) {
    return text.toLatin1().toStdString();
}

struct Options {
    QCommandLineOption tableName{
        {"t", "table-name"}, "Table-name prefix (default: Table1).", "TEXT", "Table1"};
    QCommandLineOption quote{{"q", "quote"},
                             "Text written around table and field names (default: ', or the "
                             "dialect's identifier quote); ( [ { < pair with ) ] } >. With -q '' "
                             "and the rules for real-world files, a name that is not plain "
                             "(letters, digits, _) stops its file.",
                             "TEXT"};
    QCommandLineOption delimiter{
        {"d", "delimiter"},
        "Field delimiter, taken literally, any length, may be empty; \\t stands for TAB "
        "(default: ,). 'auto' chooses each file's delimiter among , ; TAB | from its first "
        "records.",
        "TEXT",
        ","};
    QCommandLineOption insertOnly{"insert-only", "No CREATE TABLE statements."};
    QCommandLineOption noSemicolon{"no-semicolon", "Statements without the closing ;."};
    QCommandLineOption extension{
        {"e", "extension"}, "For folder PATHs: only files named *.EXT (.EXT too).", "EXT"};
    QCommandLineOption output{{"o", "output"}, "Write to FILE instead of standard output.", "FILE"};
    QCommandLineOption rejects{
        "rejects",
        "Every record left out (--ragged skip, the record --ragged fail stops at, values the "
        "--dialect's database cannot store, a quote still open at the end of a file, a record "
        "cut short by a failed read) is written to FILE as it was read (UTF-8 with --encoding), "
        "each after a line '# FILE line N: why'; with it, records holding what the database "
        "cannot store are left out rather than written. Load it again with the same options and "
        "--comment '#'. Written even when empty; replaced only once complete.",
        "FILE"};
    QCommandLineOption csv{"csv",
                           "RFC 4180 fields: a field that starts with \" runs to the matching \"; "
                           "\"\" inside stands for one \"; delimiters and line breaks inside "
                           "quotes belong to the value."};
    QCommandLineOption header{"header",
                              "The first record names the columns and gets no INSERT; with "
                              "--insert-only, each INSERT names its columns. Blank lines before "
                              "it are passed over; at most 65536 names and 2 MiB of them."};
    QCommandLineOption nullEmpty{
        "null-empty", "An empty field becomes NULL (with --csv, a quoted \"\" stays '')."};
    QCommandLineOption ragged{"ragged",
                              "Records whose field count differs from the table's: keep "
                              "(default; their INSERTs do not fit the table, exit status 1), pad "
                              "(the table as wide as the widest record, short ones filled with "
                              "NULL), skip, or fail (stop with exit status 1; -o's file is not "
                              "replaced).",
                              "MODE", "keep"};
    QCommandLineOption rowsPerInsert{
        "rows-per-insert", "Up to N records in one INSERT (default 1, at most 1000).", "N", "1"};
    QCommandLineOption transaction{
        "transaction",
        "Each file's statements between BEGIN and COMMIT (MySQL: after the CREATE TABLE, "
        "which commits). For all or nothing, stop the client at the first failing statement: "
        "sqlite3 -bail, psql -v ON_ERROR_STOP=1."};
    QCommandLineOption dialect{"dialect",
                               "sqlite, postgres or mysql (MariaDB too): the database's "
                               "identifier quotes, string literals, column type and "
                               "transaction words.",
                               "NAME"};
    QCommandLineOption encoding{"encoding",
                                "The input's encoding, converted to UTF-8 (e.g. windows-1252, "
                                "latin1, utf-16le, utf-16be, utf-8; utf-16 takes its byte order "
                                "from its mark, or from its text). Default: bytes as they are.",
                                "NAME"};
    QCommandLineOption stripBom{
        "strip-bom",
        "A UTF-8 byte-order mark at the start of a file is dropped "
        "(implied by --csv, --header and --encoding, whose byte-order mark it is)."};
    QCommandLineOption skipLines{"skip-lines", "N lines before the first record are left out.", "N",
                                 "0"};
    QCommandLineOption comment{"comment", "Lines starting with TEXT are left out.", "TEXT"};
    QCommandLineOption autoRules{
        "auto",
        "Each file's reading rules decided from its first 64 KiB: encoding (a byte-order mark; "
        "UTF-8; else windows-1252), delimiter, quoted fields, lines before the table, comment "
        "prefix, header row, and --ragged pad. An option given as well (-d, --csv, --no-csv, "
        "--header, --no-header, --encoding, --skip-lines, --comment, --ragged) is kept. One line "
        "per file on standard error says what was decided and why."};
    QCommandLineOption explain{"explain",
                               "With --auto (implied): print what would be decided for each "
                               "file (with --types or --type, each column's type too) and "
                               "convert nothing."};
    QCommandLineOption noHeader{"no-header", "The first record is data (overrules --auto)."};
    QCommandLineOption noCsv{"no-csv", "Quotes are plain bytes (overrules --auto)."};

    QCommandLineOption types{
        "types",
        "Each column gets the narrowest type in which the --dialect's database gives every "
        "value back as the same text (integers, decimals, dates, date and time), otherwise "
        "TEXT; numbers are written bare. An empty field only fits with --null-empty. Each "
        "file is read twice; the choices go to standard error."};
    QCommandLineOption type{"type",
                            "Column NAME gets TYPE (repeatable): one type name, e.g. INTEGER, "
                            "NUMERIC(10,2) or DOUBLE PRECISION; values the database would "
                            "refuse or change under it are reported and nothing is written "
                            "for the file (exit status 1).",
                            "NAME=TYPE"};
    QCommandLineOption primaryKey{"primary-key",
                                  "The table's primary key: column names, comma "
                                  "separated. MySQL's text key columns compare byte for byte, "
                                  "trailing spaces too (collation utf8mb4_nopad_bin). Without "
                                  "--on-conflict, a file whose records repeat a key is refused "
                                  "with their lines and nothing of it is written.",
                                  "COLS"};
    QCommandLineOption notNull{"not-null", "Columns that take no NULL, comma separated.", "COLS"};
    QCommandLineOption ifExists{"if-exists",
                                "When the table exists: fail (plain CREATE TABLE, the default), "
                                "drop (DROP TABLE IF EXISTS first; not with --transaction under "
                                "MySQL, which commits the DROP at once) or append (CREATE TABLE "
                                "IF NOT EXISTS).",
                                "MODE", "fail"};
    QCommandLineOption format{"format",
                              "How the rows are written: insert (INSERT statements, the default) "
                              "or copy (with --dialect postgres: one COPY ... FROM STDIN, the "
                              "rows in COPY's text format and a line \\., for psql; not with "
                              "--rows-per-insert, --on-conflict or --no-semicolon).",
                              "FORM", "insert"};

    QCommandLineOption columns{
        "columns",
        "The table's columns, in order, each a field of the header by name or of every record "
        "by position (1, 2, ...), NAME=COLUMN to rename it: e.g. 'id,name=full_name,3'. Other "
        "fields are left out; a record lacking a chosen field gets NULL (and counts as ragged). "
        "With --insert-only --header, each INSERT names the chosen columns.",
        "SPEC"};
    QCommandLineOption nullWord{"null-word",
                                "A field equal to TEXT becomes NULL (repeatable, e.g. NA, \\N, "
                                "-); with --csv, a quoted one stays text.",
                                "TEXT"};
    QCommandLineOption onConflict{
        "on-conflict",
        "A row whose key the table already holds: ignore (the table's row stays) or update "
        "(its other columns take the row's values). Needs --dialect and --key (or "
        "--primary-key); --key becomes the new table's primary key (--primary-key, if given, "
        "must be the same). MySQL's ON DUPLICATE KEY acts on any unique key: into a table the "
        "run does not make, a check first stops the load unless the table's one unique key is "
        "on the --key columns.",
        "MODE"};
    QCommandLineOption key{"key", "The columns a conflict is found by, comma separated.", "COLS"};

    void addTo(QCommandLineParser& parser) const {
        parser.addOptions({tableName,   quote,   delimiter, insertOnly, noSemicolon, extension,
                           output,      csv,     header,    nullEmpty,  ragged,      rowsPerInsert,
                           transaction, dialect, encoding,  stripBom,   skipLines,   comment,
                           autoRules,   explain, noHeader,  noCsv,      types,       type,
                           primaryKey,  notNull, ifExists,  columns,    nullWord,    onConflict,
                           key,         format,  rejects});
    }
};

void Describe(QCommandLineParser& parser, const Options& options) {
    parser.setApplicationDescription(QStringLiteral(
        "Converts delimited text files into SQL statements: an optional CREATE TABLE from each\n"
        "file's first line, then one INSERT INTO per non-blank line. Statements are written one\n"
        "per line, each ending in CR LF. Exit status: 0 on success; 1 when an input could not\n"
        "be read or held a fault reported on standard error; 2 for usage errors."));
    options.addTo(parser);
    parser.addPositionalArgument(
        "PATH",
        "An input file; - for standard input (table name stdin); or a folder: every file in it "
        "and in all folders beneath it (files whose name begins with \"~\" left out), folders "
        "walked breadth-first.",
        "PATH...");
    parser.addHelpOption();
    parser.addVersionOption();
}

// A whole number written in digits only (no sign, no spaces) from `lowest` to `highest`.
bool ReadCount(const QString& text, std::uint64_t lowest, std::uint64_t highest,
               std::uint64_t& value) {
    const std::string digits = ToBytes(text);
    const auto* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    return !digits.empty() && error == std::errc() && stop == end && value >= lowest &&
           value <= highest;
}

bool ReadDialect(const QString& name, Dialect& dialect) {
    if (name == QLatin1String("sqlite")) {
        dialect = Dialect::Sqlite;
    } else if (name == QLatin1String("postgres") || name == QLatin1String("postgresql")) {
        dialect = Dialect::Postgres;
    } else if (name == QLatin1String("mysql") || name == QLatin1String("mariadb")) {
        dialect = Dialect::Mysql;
    } else {
        return false;
    }
    return true;
}

bool ReadRagged(const QString& name, RaggedMode& mode) {
    const std::pair<const char*, RaggedMode> modes[] = {{"keep", RaggedMode::Keep},
                                                        {"pad", RaggedMode::Pad},
                                                        {"skip", RaggedMode::Skip},
                                                        {"fail", RaggedMode::Fail}};
    for (const auto& [text, value] : modes) {
        if (name == QLatin1String(text)) {
            mode = value;
            return true;
        }
    }
    return false;
}

// --auto and --explain, and which parts of the guess the options given replace; a yes and a no
// of one rule (--csv --no-csv, --header --no-header) contradict each other.
bool ReadAutoRules(const QCommandLineParser& parser, const Options& o, CommandLine& command,
                   std::string& error) {
    for (const auto& [yes, no] : {std::pair(&o.csv, &o.noCsv), std::pair(&o.header, &o.noHeader)}) {
        if (parser.isSet(*yes) && parser.isSet(*no)) {
            error = "--" + ToBytes(yes->names().constFirst()) + " and --" +
                    ToBytes(no->names().constFirst()) + " contradict each other";
            return false;
        }
    }
    ConversionOptions& options = command.options;
    command.explain = parser.isSet(o.explain);
    options.AutoRules = parser.isSet(o.autoRules) || command.explain;
    options.Kept.delimiter = parser.isSet(o.delimiter) && !options.DetectDelimiter;
    options.Kept.quoting = parser.isSet(o.csv) || parser.isSet(o.noCsv);
    options.Kept.header = parser.isSet(o.header) || parser.isSet(o.noHeader);
    options.Kept.encoding = parser.isSet(o.encoding);
    options.Kept.skipLines = parser.isSet(o.skipLines);
    options.Kept.comment = parser.isSet(o.comment);
    options.Kept.ragged = parser.isSet(o.ragged);
    return true;
}

// --rows-per-insert and --skip-lines.
bool ReadCounts(const QCommandLineParser& parser, const Options& o, ConversionOptions& options,
                std::string& error) {
    std::uint64_t rows = 0;
    const auto mostRows = RulesOf(options.SqlDialect).maxRowsPerInsert;
    if (!ReadCount(parser.value(o.rowsPerInsert), 1, mostRows, rows)) {
        error = "--rows-per-insert takes a whole number from 1 to " + std::to_string(mostRows);
        return false;
    }
    options.RowsPerInsert = static_cast<std::size_t>(rows);
    if (!ReadCount(parser.value(o.skipLines), 0, std::numeric_limits<std::uint64_t>::max(),
                   options.SkipLines)) {
        error = "--skip-lines takes a whole number";
        return false;
    }
    return true;
}

// The PATHs: at least one, and standard input once at most.
bool ReadInputs(const QCommandLineParser& parser, CommandLine& command, std::string& error) {
    for (const QString& input : parser.positionalArguments()) {
        command.inputs.push_back(ToBytes(input));
    }
    if (command.inputs.empty()) {
        error = "no PATH given";
        return false;
    }
    if (std::count(command.inputs.begin(), command.inputs.end(), kStandardInputPath) > 1) {
        error = "- (standard input) can be given once only";
        return false;
    }
    return true;
}

std::vector<std::string> ColumnList(const QString& text) {
    std::vector<std::string> names;
    for (const QString& name : text.split(QLatin1Char(','))) {
        names.push_back(ToBytes(name));
    }
    return names;
}

// The options of the table's definition; false with `error` set on a usage error.
bool ReadTableDefinition(const QCommandLineParser& parser, const Options& o,
                         ConversionOptions& options, std::string& error) {
    options.InferTypes = parser.isSet(o.types);
    for (const QString& given : parser.values(o.type)) {
        const auto at = given.indexOf(QLatin1Char('='));
        if (at <= 0 || at + 1 == given.size()) {
            error = "--type takes NAME=TYPE, not '" + ToBytes(given) + "'";
            return false;
        }
        ColumnTypeChoice choice{ToBytes(given.left(at)), ToBytes(given.mid(at + 1))};
        if (const auto why = TypeRefusal(choice.type); !why.empty()) {
            error = "--type " + ToBytes(given) + ": " + why;
            return false;
        }
        options.ColumnTypes.push_back(std::move(choice));
    }
    if (parser.isSet(o.primaryKey)) {
        options.PrimaryKey = ColumnList(parser.value(o.primaryKey));
    }
    if (parser.isSet(o.notNull)) {
        options.NotNull = ColumnList(parser.value(o.notNull));
    }
    const QString exists = parser.value(o.ifExists);
    if (exists == QLatin1String("fail")) {
        options.TableExists = IfExists::Fail;
    } else if (exists == QLatin1String("drop")) {
        options.TableExists = IfExists::Drop;
    } else if (exists == QLatin1String("append")) {
        options.TableExists = IfExists::Append;
    } else {
        error = "unknown --if-exists mode '" + ToBytes(exists) + "' (choose fail, drop or append)";
        return false;
    }
    if (options.TableExists == IfExists::Drop && options.Transaction &&
        RulesOf(options.SqlDialect).definitionsCommit) {
        error = "--if-exists drop with --transaction: " +
                std::string(DatabaseNameOf(options.SqlDialect)) +
                " commits DROP TABLE and CREATE TABLE as they run, so a load that failed would "
                "leave the old table gone; load into a table of another name (-t), or without "
                "--transaction";
        return false;
    }
    if (SurveysColumns(options) && options.SqlDialect == Dialect::Classic) {
        error =
            "--types, --type, --primary-key and --not-null need --dialect (the database's "
            "rules decide what a column can hold)";
        return false;
    }
    if (SurveysColumns(options) && options.Mode == StatementMode::InsertOnly &&
        !options.InferTypes) {
        error = "--type, --primary-key and --not-null shape CREATE TABLE; --insert-only has none";
        return false;
    }
    return true;
}

// One item of --columns: a position (digits) or a header name, and "=NAME" to rename it.
bool ReadChosenColumn(const QString& item, ChosenColumn& chosen, std::string& error) {
    const auto at = item.lastIndexOf(QLatin1Char('='));
    const QString field = at < 0 ? item : item.left(at);
    if (field.isEmpty() || (at >= 0 && at + 1 == item.size())) {
        error = "--columns takes FIELD or FIELD=NAME, comma separated, not '" + ToBytes(item) + "'";
        return false;
    }
    chosen.field = ToBytes(field);
    if (at >= 0) {
        chosen.name = ToBytes(item.mid(at + 1));
    }
    std::uint64_t position = 0;
    if (ReadCount(field, 0, std::numeric_limits<std::uint32_t>::max(), position)) {
        if (position == 0) {
            error = "--columns counts fields from 1";
            return false;
        }
        chosen.position = static_cast<std::size_t>(position);
    }
    return true;
}

// --columns: each item, by position or (with a header) by name.
bool ReadChosenColumns(const QCommandLineParser& parser, const Options& o,
                       ConversionOptions& options, std::string& error) {
    if (!parser.isSet(o.columns)) {
        return true;
    }
    for (const QString& item : parser.value(o.columns).split(QLatin1Char(','))) {
        ChosenColumn chosen;
        if (!ReadChosenColumn(item, chosen, error)) {
            return false;
        }
        if (chosen.position == 0 && !options.HeaderRow && !options.AutoRules) {
            error = "--columns names field '" + chosen.field +
                    "' by name, which needs --header (or --auto); without one, give "
                    "positions (1, 2, ...)";
            return false;
        }
        options.Columns.push_back(std::move(chosen));
    }
    return true;
}

// --columns, --null-word, --on-conflict and --key: loading into a table that exists.
bool ReadLoading(const QCommandLineParser& parser, const Options& o, CommandLine& command,
                 std::string& error) {
    ConversionOptions& options = command.options;
    if (!ReadChosenColumns(parser, o, options, error)) {
        return false;
    }
    for (const QString& word : parser.values(o.nullWord)) {
        options.NullWords.push_back(ToBytes(word));
    }
    if (parser.isSet(o.key)) {
        options.ConflictKey = ColumnList(parser.value(o.key));
    }
    if (!parser.isSet(o.onConflict)) {
        if (parser.isSet(o.key)) {
            error = "--key says which columns --on-conflict looks at; give --on-conflict too";
            return false;
        }
        return true;
    }
    const QString mode = parser.value(o.onConflict);
    if (mode == QLatin1String("ignore")) {
        options.Conflict = OnConflict::Ignore;
    } else if (mode == QLatin1String("update")) {
        options.Conflict = OnConflict::Update;
    } else {
        error = "unknown --on-conflict mode '" + ToBytes(mode) + "' (choose ignore or update)";
        return false;
    }
    if (options.SqlDialect == Dialect::Classic) {
        error = "--on-conflict needs --dialect (each database says it in its own words)";
        return false;
    }
    if (options.ConflictKey.empty()) {
        options.ConflictKey = options.PrimaryKey;
    }
    if (options.ConflictKey.empty()) {
        error = "--on-conflict needs the key's columns: --key COLS (or --primary-key COLS)";
        return false;
    }
    // The table made here gets the key a conflict is found by.
    if (options.PrimaryKey.empty() && options.Mode == StatementMode::CreateAndInsert) {
        options.PrimaryKey = options.ConflictKey;
    }
    if (options.Mode == StatementMode::CreateAndInsert &&
        options.PrimaryKey != options.ConflictKey) {
        error =
            "--on-conflict looks for the table's key, and the table made here has "
            "--primary-key as its only key: give --key the same columns (or leave it out)";
        return false;
    }
    return true;
}

// -t, --dialect and -q: how tables and columns are named.
bool ReadNaming(const QCommandLineParser& parser, const Options& o, ConversionOptions& options,
                std::string& error) {
    options.TableName = ToBytes(parser.value(o.tableName));
    if (parser.isSet(o.dialect) && !ReadDialect(parser.value(o.dialect), options.SqlDialect)) {
        error = "unknown dialect '" + ToBytes(parser.value(o.dialect)) +
                "' (choose sqlite, postgres or mysql)";
        return false;
    }
    SetDelimitingChar(options, parser.isSet(o.quote)
                                   ? ToBytes(parser.value(o.quote))
                                   : std::string(RulesOf(options.SqlDialect).identifierQuote));
    return true;
}

// -d: a delimiter that can cut a line (no line break in it, no quote under --csv), or auto.
bool ReadDelimiter(const QCommandLineParser& parser, const Options& o, ConversionOptions& options,
                   std::string& error) {
    const std::string delimiter = ToBytes(parser.value(o.delimiter));
    if (delimiter.find_first_of("\r\n") != std::string::npos) {
        error = "a delimiter cannot hold a line break (CR or LF): line breaks end records";
        return false;
    }
    if (parser.isSet(o.csv) && delimiter.find('"') != std::string::npos) {
        error = "with --csv the delimiter cannot hold \", which quotes fields";
        return false;
    }
    options.DetectDelimiter = delimiter == "auto";
    options.CsvDelimiter = delimiter == "\\t" ? "\t" : options.DetectDelimiter ? "," : delimiter;
    options.WarnOnOtherDelimiter = !parser.isSet(o.delimiter);
    return true;
}

// -e: "-e .csv" means what "-e csv" does, the dot being the pattern's own.
void ReadExtension(const QCommandLineParser& parser, const Options& o, CommandLine& command) {
    if (!parser.isSet(o.extension)) {
        return;
    }
    std::string extension = ToBytes(parser.value(o.extension));
    if (extension.starts_with('.')) {
        extension.erase(0, 1);
    }
    command.pattern = "*." + extension;
}

// What the statements are and how records are read: INSERT only, the semicolon, quoted fields,
// the header, NULLs, transactions, comments, the encoding, the byte-order mark, ragged records.
bool ReadStatementRules(const QCommandLineParser& parser, const Options& o,
                        ConversionOptions& options, std::string& error) {
    options.Mode =
        parser.isSet(o.insertOnly) ? StatementMode::InsertOnly : StatementMode::CreateAndInsert;
    options.IncludeSemicolon = !parser.isSet(o.noSemicolon);
    options.QuotedFields = parser.isSet(o.csv);
    options.HeaderRow = parser.isSet(o.header);
    options.EmptyAsNull = parser.isSet(o.nullEmpty);
    options.Transaction = parser.isSet(o.transaction);
    options.CommentPrefix = ToBytes(parser.value(o.comment));
    options.Encoding = ToBytes(parser.value(o.encoding));
    if (parser.isSet(o.encoding) && options.Encoding.empty()) {
        error = "--encoding takes a name (e.g. utf-8, utf-16, windows-1252)";
        return false;
    }
    options.StripBom = parser.isSet(o.stripBom) || options.QuotedFields || options.HeaderRow ||
                       !options.Encoding.empty();
    if (!ReadRagged(parser.value(o.ragged), options.Ragged)) {
        error = "unknown --ragged mode '" + ToBytes(parser.value(o.ragged)) +
                "' (choose keep, pad, skip or fail)";
        return false;
    }
    return true;
}

// --format: COPY is PostgreSQL's, and it writes no INSERT to shape (rows per INSERT, ON
// CONFLICT).
bool ReadRowForm(const QCommandLineParser& parser, const Options& o, ConversionOptions& options,
                 std::string& error) {
    const QString form = parser.value(o.format);
    if (form == QLatin1String("insert")) {
        options.Rows = RowForm::Insert;
        return true;
    }
    if (form != QLatin1String("copy")) {
        error = "unknown --format '" + ToBytes(form) + "' (choose insert or copy)";
        return false;
    }
    options.Rows = RowForm::Copy;
    if (options.SqlDialect != Dialect::Postgres) {
        error = "--format copy writes PostgreSQL's COPY ... FROM STDIN, which " +
                (options.SqlDialect == Dialect::Classic
                     ? std::string("needs --dialect postgres")
                     : std::string(DatabaseNameOf(options.SqlDialect)) + " does not have") +
                "; use --dialect postgres";
        return false;
    }
    if (parser.isSet(o.rowsPerInsert) || options.Conflict != OnConflict::Fail) {
        error = std::string(parser.isSet(o.rowsPerInsert) ? "--rows-per-insert" : "--on-conflict") +
                " shapes INSERTs, and --format copy writes none";
        return false;
    }
    if (parser.isSet(o.noSemicolon)) {
        error =
            "--format copy needs the ; that ends its COPY line, where psql starts reading "
            "the rows";
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> ArgumentsAsGiven(int argc, char* argv[]) {
    std::vector<std::string> arguments;
#ifdef _WIN32
    // Windows hands programs UTF-16; the engine takes paths and texts as UTF-8.
    (void)argc;
    (void)argv;
    const QStringList given = QCoreApplication::arguments();
    for (qsizetype i = 1; i < given.size(); ++i)
        arguments.push_back(given[i].toUtf8().toStdString());
#else
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i]);
    }
#endif
    return arguments;
}

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& command,
                      std::string& error) {
    QCommandLineParser parser;
    const Options o;
    Describe(parser, o);
    QStringList list{QStringLiteral("quarrytab-cli")};
    for (const auto& argument : arguments) {
        list << FromBytes(argument);
    }
    if (!parser.parse(list)) {
        error = parser.errorText().toStdString();
        return false;
    }
    // --help-all is Qt's, listed with --help; a converter has no Qt options to add to it.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        command.action = CommandLine::Action::Help;
        return true;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        command.action = CommandLine::Action::Version;
        return true;
    }
    if (!ReadInputs(parser, command, error)) {
        return false;
    }
    ConversionOptions& options = command.options;
    if (!ReadNaming(parser, o, options, error)) {
        return false;
    }
    if (!ReadDelimiter(parser, o, options, error)) {
        return false;
    }
    if (!ReadAutoRules(parser, o, command, error)) {
        return false;
    }
    if (!ReadStatementRules(parser, o, options, error)) {
        return false;
    }
    if (!ReadCounts(parser, o, options, error)) {
        return false;
    }
    if (!ReadTableDefinition(parser, o, options, error)) {
        return false;
    }
    if (!ReadLoading(parser, o, command, error)) {
        return false;
    }
    if (!ReadRowForm(parser, o, options, error)) {
        return false;
    }
    ReadExtension(parser, o, command);
    command.output = ToBytes(parser.value(o.output));
    command.rejects = ToBytes(parser.value(o.rejects));
    if (parser.isSet(o.rejects) &&
        (command.rejects.empty() || command.rejects == kStandardInputPath)) {
        error = "--rejects takes a file name (standard output holds the statements)";
        return false;
    }
    return true;
}

std::string HelpText() {
    QCommandLineParser parser;
    const Options o;
    Describe(parser, o);
    return parser.helpText().toStdString();
}

}  // namespace quarrytab
