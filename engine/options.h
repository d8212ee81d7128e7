// The choices that shape a conversion: captured once when a run starts, unchanged while it runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarrytab {

enum class StatementMode { InsertOnly, CreateAndInsert };

// The SQL a conversion writes for. `Classic` is the program's own form (names in the user's
// quote, columns typed "text"); the others follow one database's rules.
enum class Dialect { Classic, Sqlite, Postgres, Mysql };

// What happens to a record whose field count differs from the first record's.
enum class RaggedMode { Keep, Pad, Skip, Fail };

// How the rows are written: as INSERTs, or (PostgreSQL) as one COPY ... FROM STDIN followed by
// the rows in COPY's text format and a line "\.".
enum class RowForm { Insert, Copy };

// What CREATE TABLE does about a table of the same name: fail (the plain statement), drop it
// first, or leave it and add the rows.
enum class IfExists { Fail, Drop, Append };

// A column of the table taken from each record: the field at `position` (from 1), or with
// position 0 the one the header names `field`; `name` is the column's name when it is not the
// header's.
struct ChosenColumn {
    std::string field;
    std::size_t position = 0;
    std::string name;
};

// What an INSERT does with a row whose key the table already holds: fail (the plain INSERT),
// leave the table's row alone, or update its other columns.
enum class OnConflict { Fail, Ignore, Update };

// A column's type given by the user: the column's name and the type as written in SQL.
struct ColumnTypeChoice {
    std::string column;
    std::string type;
};

struct ConversionOptions {
    std::string TableName = "Table1";         // prefix of every table name, written as typed
    std::string DelimitingChar = "'";         // written before every table and field name
    std::string ClosingDelimitingChar = "'";  // written after them; see ClosingDelimiterFor
    std::string CsvDelimiter = ",";           // cuts each input line into fields; may be empty
    StatementMode Mode = StatementMode::CreateAndInsert;
    bool IncludeSemicolon = true;
    bool SaveToOriginalFolder = false;
    std::string OutputFolder;

    // Rules for real-world files, offered by the command line. With every one of them at its
    // default the statements are the program's classic ones, byte for byte.
    bool QuotedFields = false;  // RFC 4180 fields in double quotes
    bool HeaderRow = false;     // the first record names the columns
    bool EmptyAsNull = false;   // an empty field becomes NULL (a quoted "" stays '')
    RaggedMode Ragged = RaggedMode::Keep;
    std::size_t RowsPerInsert = 1;  // records in one INSERT
    bool Transaction = false;       // each file's statements in one transaction
    Dialect SqlDialect = Dialect::Classic;
    std::string Encoding;               // the input's encoding; empty: its bytes as they are
    bool StripBom = false;              // a UTF-8 byte-order mark at the start is dropped
    std::uint64_t SkipLines = 0;        // lines before the first record that are left out
    std::string CommentPrefix;          // lines starting with it are left out; empty: none
    bool DetectDelimiter = false;       // each file's delimiter chosen from its first records
    bool WarnOnOtherDelimiter = false;  // say when the default "," looks wrong for a file

    // Each file's reading rules decided from its first bytes (engine/sniffer.h): encoding,
    // delimiter, quoted fields, lines skipped, comment prefix, header row, and rows of another
    // width padded. A rule named in `Kept` stays as set above.
    bool AutoRules = false;
    struct KeptRules {
        bool delimiter = false;
        bool quoting = false;
        bool header = false;
        bool encoding = false;
        bool skipLines = false;
        bool comment = false;
        bool ragged = false;
    } Kept;
    // The table has at least this many columns (under RaggedMode::Pad, the file's widest record).
    std::size_t TableWidth = 0;
    // The table's definition. Typed columns take a first read of each file, which chooses or
    // checks the types; a value the database would refuse or change is never written.
    bool InferTypes = false;                    // each column the narrowest type that keeps it
    std::vector<ColumnTypeChoice> ColumnTypes;  // the user's type for a column wins
    std::vector<std::string> PrimaryKey;        // the key's columns, in order
    std::vector<std::string> NotNull;           // columns that take no NULL
    IfExists TableExists = IfExists::Fail;

    // Loading into a table that exists. Each option takes records a value at a time (see
    // engine/record_shaper.h).
    std::vector<ChosenColumn> Columns;   // the table's columns, in order; empty: every field
    std::vector<std::string> NullWords;  // a field equal to one is NULL (with QuotedFields, an
                                         // unquoted one only)
    OnConflict Conflict = OnConflict::Fail;
    std::vector<std::string> ConflictKey;  // the columns whose values a conflict is found by
    RowForm Rows = RowForm::Insert;        // RowForm::Copy with Dialect::Postgres only
};

// True when any of the rules for real-world files is set, so the records path must be taken.
bool UsesRecordRules(const ConversionOptions& options);

// True when table and column names are written between quotes, which PostgreSQL takes with their
// case as written (NameKey).
bool QuotesNames(const ConversionOptions& options);

// True when records are taken a value at a time (--columns, --null-word, --on-conflict).
bool ShapesRecords(const ConversionOptions& options);

// True when the table's definition takes a first read of each file (types, keys, NOT NULL).
bool SurveysColumns(const ConversionOptions& options);

// Why `type` is not one SQL type name (words such as DOUBLE PRECISION or TIMESTAMP WITH TIME
// ZONE, each word with an optional list of numbers in parentheses, as in NUMERIC(10,2), and []
// after it for an array): a given type is written into CREATE TABLE as it is, so nothing else
// may get there. Empty when it is one.
std::string TypeRefusal(std::string_view type);

// True when `name` can be written without quotes: ASCII letters, digits and _ (not a digit
// first), and bytes from 0x80, which the databases read as letters of a name. A name written
// without quotes that is not plain would end the statement's SQL where it should be a name.
bool IsPlainName(std::string_view name);

// The closing counterpart of an opening delimiting text: "(" "[" "{" "<" pair with ")" "]" "}"
// ">"; every other text, including longer ones and closing brackets, closes with itself.
std::string ClosingDelimiterFor(std::string_view opening);

// Options with DelimitingChar set and its closing counterpart derived from it.
inline void SetDelimitingChar(ConversionOptions& options, std::string_view opening) {
    options.DelimitingChar = std::string(opening);
    options.ClosingDelimitingChar = ClosingDelimiterFor(opening);
}

}  // namespace quarrytab
