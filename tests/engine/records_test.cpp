// The rules for real-world files: quoted fields against a plain model, the statements each rule
// writes, and the classic statements kept byte for byte when the records path is taken.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "engine/dialect.h"
#include "engine/statement_assembler.h"
#include "support/convert_bytes.h"

using namespace quarrytab;
using Statements = std::vector<std::string>;
using namespace std::string_literals;

namespace {

struct ModelRecord {
    std::vector<std::string> fields;
    std::uint64_t line;
    bool blank;             // an empty line: no bytes before its line break
    std::size_t begin = 0;  // its bytes in the input, its line end included
    std::size_t end = 0;
    bool openQuote = false;  // a quote still open at the end of the input
};

// RFC 4180 read one byte at a time: the plainest statement of the rules, to hold the reader to.
std::vector<ModelRecord> ModelCsv(const std::string& bytes, const std::string& delimiter) {
    std::vector<ModelRecord> records;
    std::uint64_t line = 1;
    std::size_t i = 0;
    const auto atBreak = [&](std::size_t at) {
        return bytes[at] == '\r' || bytes[at] == '\n';
    };
    const auto skipBreak = [&](std::size_t& at) {
        at += bytes.compare(at, 2, "\r\n") == 0 ? 2 : 1;
        ++line;
    };
    while (i < bytes.size()) {
        ModelRecord record{{}, line, atBreak(i), i};
        if (record.blank) {  // an empty line: a record without fields
            skipBreak(i);
            record.end = i;
            records.push_back(record);
            continue;
        }
        for (;;) {
            std::string value;
            if (i < bytes.size() && bytes[i] == '"') {
                record.openQuote = true;
                for (++i; i < bytes.size();) {
                    if (bytes[i] == '"' && i + 1 < bytes.size() && bytes[i + 1] == '"') {
                        value += '"';
                        i += 2;
                    } else if (bytes[i] == '"') {
                        ++i;
                        record.openQuote = false;
                        break;
                    } else {
                        if (atBreak(i) &&
                            !(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
                            ++line;
                        value += bytes[i++];
                    }
                }
            }
            while (i < bytes.size() && !atBreak(i) &&
                   (delimiter.empty() || bytes.compare(i, delimiter.size(), delimiter) != 0))
                value += bytes[i++];
            record.fields.push_back(value);
            if (i < bytes.size() && !atBreak(i)) {
                i += delimiter.size();
                continue;
            }
            if (i < bytes.size())
                skipBreak(i);
            break;
        }
        record.end = i;
        records.push_back(record);
    }
    return records;
}

// Well-formed UTF-8, by a strict reader: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80                    ? 1
                                   : byte >= 0xC2 && byte <= 0xDF ? 2
                                   : byte >= 0xE0 && byte <= 0xEF ? 3
                                   : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                                  : 0;
        if (length == 0 || i + length > text.size())
            return false;
        char32_t code = length == 1 ? byte : byte & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// Whether the dialect's database can store every value of the record.
bool Storable(const ModelRecord& record, Dialect dialect) {
    return std::all_of(record.fields.begin(), record.fields.end(), [&](const std::string& value) {
        return (dialect != Dialect::Postgres && dialect != Dialect::Mysql) ||
               (IsUtf8(value) && (dialect == Dialect::Mysql || value.find('\0') == value.npos));
    });
}

// The values of each INSERT the records path writes in the dialect, and its notes.
std::vector<std::vector<std::string>> ReadCsv(const std::string& bytes,
                                              const std::string& delimiter, Dialect dialect,
                                              std::size_t step, FileNotes& notes,
                                              bool shaped = false) {
    ConversionOptions options;
    if (shaped) {
        options.NullWords = {"\x01 no field holds this"};  // records taken a value at a time
    }
    options.QuotedFields = true;
    options.CsvDelimiter = delimiter;
    options.Mode = StatementMode::InsertOnly;
    options.SqlDialect = dialect;
    std::vector<std::vector<std::string>> read;
    for (const auto& insert : ConvertBytes(bytes, options, "t", step, &notes)) {
        if (!insert.starts_with("SET ")) {  // a dialect's setup
            read.push_back(InsertValues(insert, dialect == Dialect::Mysql).value());
        }
    }
    return read;
}

class CollectRejects final : public RejectSink {
  public:
    void begin(std::uint64_t line, std::string_view why) override {
        EXPECT_FALSE(why.empty());
        records.emplace_back(line, std::string());
    }
    void bytes(std::string_view piece) override { records.back().second += piece; }
    void end() override {}
    std::vector<std::pair<std::uint64_t, std::string>> records;
};

// The records SQLite's statements leave out under --ragged skip, each with its line and bytes;
// `shaped`: through the record shaper (a NULL word).
std::vector<std::pair<std::uint64_t, std::string>> LeftOut(const std::string& bytes,
                                                           const std::string& delimiter,
                                                           std::size_t step, bool shaped) {
    ConversionOptions options;
    options.QuotedFields = true;
    options.CsvDelimiter = delimiter;
    options.SqlDialect = Dialect::Sqlite;
    options.Ragged = RaggedMode::Skip;
    if (shaped) {
        options.NullWords = {"NA"};
    }
    RecordingReporter reporter;
    MemorySource source(bytes, step);
    CollectStatements sink;
    CollectRejects rejects;
    ConversionContext context{reporter, sink};
    context.rejects = &rejects;
    ConvertStream(source, "t", options, context);
    return rejects.records;
}

// Random bytes of about `size` from the pieces: line ends LF, CR LF and CR, the bytes a dialect
// escapes, and now and then a run of plain bytes long enough for the block scans, or a quoted
// value holding "" and a delimiter after one.
std::string RandomBytes(std::mt19937& random, std::size_t size,
                        const std::vector<std::string>& pieces) {
    std::string bytes;
    while (bytes.size() < size) {
        const auto kind = random() % 40;
        if (kind == 0) {
            bytes += std::string(64 + random() % 80, 'b');
        } else if (kind == 2) {
            // A byte from 0x80 (a character, or a byte that starts none) deep in a long run.
            bytes += std::string(64 + random() % 80, 'b') + (random() % 2 ? "\xC3\xA9" : "\xE9") +
                     std::string(random() % 80, 'b');
        } else if (kind == 1) {
            bytes += std::string(random() % 70, 'b') + ",\"" + std::string(random() % 40, 'q') +
                     "\"\"" + std::string(random() % 40, 'q') + ",q\"";
        } else {
            bytes += pieces[random() % pieces.size()];
        }
    }
    return bytes;
}

TEST(Records, QuotedFieldsAgreeWithThePlainModelOnRandomInput) {
    // Each record that is not blank makes an INSERT of its fields; those whose field count
    // differs from the first record's are noted by the line they start on. Every dialect, read
    // in pieces of 1 to 7 bytes and whole, with the block scans and without, and with the
    // records taken a value at a time (RecordShaper).
    std::mt19937 random(11);
    const std::vector<std::string> pieces = {"a", "\"",   ",", ";",  "\r",   "\n", "\r\n",
                                             " ", "\xE9", "'", "\\", "\x1A", "\0"s};
    const Dialect dialects[] = {Dialect::Classic, Dialect::Sqlite, Dialect::Postgres,
                                Dialect::Mysql};
    for (const std::string delimiter : {",", ";;", ",\"", ""}) {
        for (int n = 0; n < 3000; ++n) {
            const std::string bytes = RandomBytes(random, random() % (n % 2 ? 40 : 300), pieces);
            const auto model = ModelCsv(bytes, delimiter);
            std::vector<std::vector<std::string>> fields;
            std::vector<std::uint64_t> ragged;
            std::uint64_t unstorable = 0;  // records of values the database cannot store
            const Dialect dialect = dialects[n % 4];
            for (const auto& record : model) {
                if (record.blank)
                    continue;
                fields.push_back(record.fields);
                unstorable += !Storable(record, dialect);
                if (record.fields.size() != std::max<std::size_t>(1, model[0].fields.size()))
                    ragged.push_back(record.line);
            }
            // Under --ragged skip with a rejects sink, the records of another width and the one
            // whose quote is still open at the end, as they stand in the input.
            std::vector<std::pair<std::uint64_t, std::string>> leftOut;
            for (const auto& record : model) {
                if (!record.blank &&
                    (record.openQuote ||
                     record.fields.size() != std::max<std::size_t>(1, model[0].fields.size())))
                    leftOut.emplace_back(record.line,
                                         bytes.substr(record.begin, record.end - record.begin));
            }
            const auto raggedCount = ragged.size();
            ragged.resize(std::min(ragged.size(), LineNotes::kKept));
            const std::size_t step = n % 3 ? 1 + random() % 7 : MemorySource::kNever;
            for (const int way : {0, 1, 2}) {
                BlockScans scans(way == 1);
                FileNotes notes;
                const auto read = ReadCsv(bytes, delimiter, dialect, step, notes, way == 2);
                const auto where = ::testing::Message()
                                   << "input '" << bytes << "', delimiter '" << delimiter
                                   << "', case " << n << ", way " << way;
                ASSERT_EQ(read, fields) << where;
                EXPECT_EQ(notes.ragged.count, raggedCount) << where;
                EXPECT_EQ(notes.ragged.first, ragged) << where;
                EXPECT_EQ(notes.unstorable.count, unstorable) << where;
                if (n % 4 == 1) {
                    EXPECT_EQ(LeftOut(bytes, delimiter, step, n % 8 == 5), leftOut) << where;
                }
            }
        }
    }
}

Statements Convert(const std::string& bytes, const ConversionOptions& options,
                   FileNotes* notes = nullptr) {
    return ConvertBytes(bytes, options, "t", MemorySource::kNever, notes);
}

// The bytes with the spaces of each line that holds nothing else taken out.
std::string WithLinesOfSpacesEmptied(const std::string& bytes) {
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto end = std::min(bytes.find_first_of("\r\n", i), bytes.size());
        const auto line = bytes.substr(i, end - i);
        out += line.find_first_not_of(' ') == std::string::npos ? "" : line;
        out += bytes.substr(end, end < bytes.size() ? 1 : 0);
        i = end + 1;
    }
    return out;
}

TEST(Records, TheRecordsPathWritesTheClassicStatementsByteForByte) {
    std::mt19937 random(5);
    const std::vector<std::string> pieces = {"a", "b", ",", ";", "'", "\t", " ", "x", "\r", "\n"};
    for (const char* delimiter : {",", "\t", "'", ", ", ""}) {
        ConversionOptions classic;
        classic.CsvDelimiter = delimiter;
        ConversionOptions records = classic;
        records.StripBom = true;  // any rule at all takes the records path
        ConversionOptions shaped = classic;
        shaped.NullWords = {"\x01 no field holds this"};  // records taken a value at a time
        for (int n = 0; n < 500; ++n) {
            // Up to 300 bytes: enough for the block scans over plain values.
            const std::string bytes = RandomBytes(random, random() % 300, pieces);
            const std::size_t step = n % 2 ? 1 + random() % 7 : MemorySource::kNever;
            const auto expected = ConvertBytes(bytes, classic, "t", step);
            // A line of nothing but spaces is blank to the classic statements only; the records
            // path writes it, so it is given the line emptied.
            const auto emptied = WithLinesOfSpacesEmptied(bytes);
            for (const bool blocks : kBothScans) {
                BlockScans scans(blocks);
                ASSERT_EQ(ConvertBytes(emptied, records, "t", step), expected) << bytes;
                ASSERT_EQ(ConvertBytes(bytes, classic, "t", step), expected) << bytes;
            }
            ASSERT_EQ(ConvertBytes(emptied, shaped, "t", step), expected) << bytes;
        }
    }
}

struct RuleCase {
    const char* name;
    void (*set)(ConversionOptions&);
    std::string input;
    Statements statements;
};

constexpr const char* kMysqlSetup =
    "SET NAMES utf8mb4, sql_mode = TRIM(BOTH ',' FROM REPLACE(CONCAT(',', @@sql_mode, ','), "
    "',NO_BACKSLASH_ESCAPES,', ','));";

void UseDialect(ConversionOptions& o, Dialect d) {
    o.SqlDialect = d;
    SetDelimitingChar(o, RulesOf(d).identifierQuote);
}

std::string Repeat(std::string_view text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) repeated += text;
    return repeated;
}

TEST(Records, EachRuleWritesItsStatements) {
    const RuleCase cases[] = {
        {"header names: quoted, empty and repeated",
         [](ConversionOptions& o) { o.HeaderRow = true; },
         "a,,A,a'b,a_2\n1,2,3,4,5\n",
         {"CREATE TABLE 'Table1_t' ('a' text,'fld2' text,'A_3' text,'a''b' text,'a_2' text);",
          "INSERT INTO 'Table1_t' VALUES ('1','2','3','4','5');"}},
        {"header names that differ in case only are two names to PostgreSQL, and a key finds "
         "its own",
         [](ConversionOptions& o) {
             o.HeaderRow = true;
             UseDialect(o, Dialect::Postgres);
             o.Conflict = OnConflict::Update;
             o.ConflictKey = o.PrimaryKey = {"V"};
         },
         "v,V,v\n1,2,3\n",
         {"SET client_encoding TO 'UTF8';",
          "CREATE TABLE \"Table1_t\" (\"v\" TEXT,\"V\" TEXT NOT NULL,\"v_2\" TEXT,PRIMARY KEY "
          "(\"V\"));",
          "INSERT INTO \"Table1_t\" VALUES ('1','2','3') ON CONFLICT (\"V\") DO UPDATE SET "
          "\"v\"=excluded.\"v\",\"v_2\"=excluded.\"v_2\";"}},
        {"empty lines before the header name no column",
         [](ConversionOptions& o) { o.HeaderRow = true; },
         "\n\r\na,b\n1,2\n",
         {"CREATE TABLE 'Table1_t' ('a' text,'b' text);",
          "INSERT INTO 'Table1_t' VALUES ('1','2');"}},
        {"... also for the first read of typed columns",
         [](ConversionOptions& o) {
             o.HeaderRow = true;
             o.InferTypes = true;
             UseDialect(o, Dialect::Postgres);
         },
         "\n\r\na,b\n1,2\n",
         {"SET client_encoding TO 'UTF8';",
          "CREATE TABLE \"Table1_t\" (\"a\" BIGINT,\"b\" BIGINT);",
          "INSERT INTO \"Table1_t\" VALUES (1,2);"}},
        {"empty lines among the comment lines above the table are left out with them",
         [](ConversionOptions& o) { o.CommentPrefix = "#"; },
         "# a\n\n# b\n\nid,v\n1,2\n",
         {"CREATE TABLE 'Table1_t' ('fld1' text,'fld2' text);",
          "INSERT INTO 'Table1_t' VALUES ('id','v');", "INSERT INTO 'Table1_t' VALUES ('1','2');"}},
        {"a line of spaces is a record, kept under --ragged fail",
         [](ConversionOptions& o) {
             o.HeaderRow = true;
             o.Ragged = RaggedMode::Fail;
         },
         "h\na\n \nb\n",
         {"CREATE TABLE 'Table1_t' ('h' text);", "INSERT INTO 'Table1_t' VALUES ('a');",
          "INSERT INTO 'Table1_t' VALUES (' ');", "INSERT INTO 'Table1_t' VALUES ('b');"}},
        {"a header of more names than any database takes: nothing written",
         [](ConversionOptions& o) { o.HeaderRow = true; },
         std::string(detail::kMostHeaderNames, ',') + "\n1\n",
         {}},
        {"a header of more bytes than it may hold: nothing written",
         [](ConversionOptions& o) { o.HeaderRow = true; },
         "a," + std::string(detail::kMostHeaderBytes, 'n') + "\n1\n",
         {}},
        {"header with --insert-only names the columns",
         [](ConversionOptions& o) {
             o.HeaderRow = true;
             o.Mode = StatementMode::InsertOnly;
             SetDelimitingChar(o, "[");
         },
         "x,y\n1,2\n",
         {"INSERT INTO [Table1_t] ([x],[y]) VALUES ('1','2');"}},
        {"empty fields as NULL, a quoted empty field stays ''",
         [](ConversionOptions& o) {
             o.EmptyAsNull = true;
             o.QuotedFields = true;
             o.Mode = StatementMode::InsertOnly;
         },
         "a,,\"\"\n",
         {"INSERT INTO 'Table1_t' VALUES ('a',NULL,'');"}},
        {"ragged records padded to the widest in the first 64 KiB of input read once",
         [](ConversionOptions& o) {
             o.Ragged = RaggedMode::Pad;
             o.Mode = StatementMode::InsertOnly;
         },
         "a,b,c\n1\n1,2,3,4\n",
         {"INSERT INTO 'Table1_t' VALUES ('a','b','c',NULL);",
          "INSERT INTO 'Table1_t' VALUES ('1',NULL,NULL,NULL);",
          "INSERT INTO 'Table1_t' VALUES ('1','2','3','4');"}},
        {"ragged records skipped",
         [](ConversionOptions& o) {
             o.Ragged = RaggedMode::Skip;
             o.Mode = StatementMode::InsertOnly;
         },
         "a,b\n1\n3,4\n",
         {"INSERT INTO 'Table1_t' VALUES ('a','b');", "INSERT INTO 'Table1_t' VALUES ('3','4');"}},
        {"ragged records stop the conversion",
         [](ConversionOptions& o) {
             o.Ragged = RaggedMode::Fail;
             o.Transaction = true;
             o.Mode = StatementMode::InsertOnly;
         },
         "a,b\n1\n3,4\n",
         {"BEGIN TRANSACTION;", "INSERT INTO 'Table1_t' VALUES ('a','b');", "ROLLBACK;"}},
        {"rows per INSERT, a row of another width starts a new one, in a transaction",
         [](ConversionOptions& o) {
             o.RowsPerInsert = 2;
             o.Transaction = true;
             o.IncludeSemicolon = false;
             UseDialect(o, Dialect::Postgres);
         },
         "a,b\n1,2\n3,4\n5\n6,7\n",
         {"SET client_encoding TO 'UTF8'", "BEGIN",
          "CREATE TABLE \"Table1_t\" (\"fld1\" TEXT,\"fld2\" TEXT)",
          "INSERT INTO \"Table1_t\" VALUES ('a','b'),('1','2')",
          "INSERT INTO \"Table1_t\" VALUES ('3','4')", "INSERT INTO \"Table1_t\" VALUES ('5')",
          "INSERT INTO \"Table1_t\" VALUES ('6','7')", "COMMIT"}},
        {"COPY: the header's columns, COPY's escapes, NULL as \\N, a row padded, \\. before "
         "COMMIT",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Postgres);
             o.Rows = RowForm::Copy;
             o.HeaderRow = true;
             o.QuotedFields = true;
             o.EmptyAsNull = true;
             o.Ragged = RaggedMode::Pad;
             o.Transaction = true;
             o.Mode = StatementMode::InsertOnly;
         },
         "a,b\n\"x\ty\\z\r\nw\0\",\"\"\n"s + std::string(100, 'q') + "\t'\\,\n\\.\n",
         {"SET client_encoding TO 'UTF8';", "BEGIN;", "COPY \"Table1_t\" (\"a\",\"b\") FROM STDIN;",
          "x\\ty\\\\z\\r\\nw\\000\t", std::string(100, 'q') + "\\t'\\\\\t\\N", "\\\\.\t\\N", "\\.",
          "COMMIT;"}},
        {"COPY names the columns of the table it made",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Postgres);
             o.Rows = RowForm::Copy;
         },
         "1,2\n",
         {"SET client_encoding TO 'UTF8';",
          "CREATE TABLE \"Table1_t\" (\"fld1\" TEXT,\"fld2\" TEXT);",
          "COPY \"Table1_t\" (\"fld1\",\"fld2\") FROM STDIN;", "1\t2", "\\."}},
        {"COPY: a header and no rows, no COPY",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Postgres);
             o.Rows = RowForm::Copy;
             o.HeaderRow = true;
         },
         "a,b\n",
         {"SET client_encoding TO 'UTF8';", "CREATE TABLE \"Table1_t\" (\"a\" TEXT,\"b\" TEXT);"}},
        {"MySQL doubles backslashes, writes NUL, CR and LF as escapes",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Mysql);
             o.Mode = StatementMode::InsertOnly;
             o.HeaderRow = true;
             o.QuotedFields = true;
         },
         "n`m\n\"O'Neil\\x\0y\r\nz\"\n"s,
         {kMysqlSetup, "INSERT INTO `Table1_t` (`n``m`) VALUES ('O''Neil\\\\x\\0y\\r\\nz');"}},
        {"MySQL's column type and transaction words; the table is made before the transaction, "
         "which its CREATE would commit",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Mysql);
             o.Transaction = true;
         },
         "a\n",
         {kMysqlSetup,
          "CREATE TABLE `Table1_t` (`fld1` LONGTEXT) CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;",
          "START TRANSACTION;", "INSERT INTO `Table1_t` VALUES ('a');", "COMMIT;"}},
        {"more columns than MySQL takes in a table: nothing written",
         [](ConversionOptions& o) { UseDialect(o, Dialect::Mysql); },
         std::string(383, ',') + "\n1\n",
         {}},
        {"as many columns as MySQL takes",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Mysql);
             o.Mode = StatementMode::InsertOnly;
         },
         std::string(382, ','),
         {kMysqlSetup, "INSERT INTO `Table1_t` VALUES (''" +
                           [] {
                               std::string rest;
                               for (int i = 0; i < 382; ++i) {
                                   rest += ",''";
                               }
                               return rest;
                           }() +
                           ");"}},
        {"SQLite takes a NUL byte as a blob cast to text",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Sqlite);
             o.Mode = StatementMode::InsertOnly;
         },
         std::string("a\0'b,c\n", 7),
         {"INSERT INTO \"Table1_t\" VALUES (CAST(X'61002762' AS TEXT),'c');"}},
        {"SQLite: a NUL far into a long value still makes all of it a blob",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Sqlite);
             o.Mode = StatementMode::InsertOnly;
         },
         std::string(100000, 'x') + "'" + std::string(1, '\0') + "\n",
         {"INSERT INTO \"Table1_t\" VALUES (CAST(X'" +
          [] {
              std::string hex;
              for (int i = 0; i < 100000; ++i) hex += "78";
              return hex;
          }() +
          "2700' AS TEXT));"}},
        {"SQLite writes a CR as a character of its own, in a blob as its byte",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Sqlite);
             o.Mode = StatementMode::InsertOnly;
             o.QuotedFields = true;
         },
         "\"a\r\nb\",\"\r'\rx\0\"\n"s,
         {"INSERT INTO \"Table1_t\" VALUES ('a'||char(13)||'\nb',CAST(X'0D270D7800' AS TEXT));"}},
        {"SQLite: a value of more CRs than one expression may join is a blob",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Sqlite);
             o.Mode = StatementMode::InsertOnly;
             o.QuotedFields = true;
         },
         "\"" + Repeat("'\r\n", 201) + "\"\n",
         {"INSERT INTO \"Table1_t\" VALUES (CAST(X'" + Repeat("270D0A", 201) + "' AS TEXT));"}},
        {"PostgreSQL: a NUL is chr(0), which the server refuses; no raw NUL for psql to cut at",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Postgres);
             o.Mode = StatementMode::InsertOnly;
         },
         std::string(70, 'x') + "\0b,c\n"s,
         {"SET client_encoding TO 'UTF8';",
          "INSERT INTO \"Table1_t\" VALUES ('" + std::string(70, 'x') + "'||chr(0)||'b','c');"}},
        {"PostgreSQL updates a key once per INSERT: the first record's key counts too",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Postgres);
             o.Mode = StatementMode::InsertOnly;
             o.Conflict = OnConflict::Update;
             o.ConflictKey = {"fld1"};
             o.RowsPerInsert = 10;
         },
         "1,a\n2,x\n1,b\n",
         {"SET client_encoding TO 'UTF8';",
          "INSERT INTO \"Table1_t\" VALUES ('1','a'),('2','x') ON CONFLICT (\"fld1\") DO UPDATE "
          "SET \"fld2\"=excluded.\"fld2\";",
          "INSERT INTO \"Table1_t\" VALUES ('1','b') ON CONFLICT (\"fld1\") DO UPDATE SET "
          "\"fld2\"=excluded.\"fld2\";"}},
        {"MySQL into a table it did not make: the key is checked to be its one unique key",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Mysql);
             o.Mode = StatementMode::InsertOnly;
             o.Conflict = OnConflict::Ignore;
             o.ConflictKey = {"fld1"};
         },
         "1,a\n",
         {kMysqlSetup,
          "SET @quarrytab_key_check = IF((SELECT COUNT(DISTINCT INDEX_NAME) = 1 AND COUNT(*) = 1 "
          "AND SUM(COLUMN_NAME IN ('fld1')) = 1 FROM information_schema.STATISTICS WHERE "
          "TABLE_SCHEMA = DATABASE() AND TABLE_NAME = 'Table1_t' AND NON_UNIQUE = 0), 'DO 0', "
          "'SELECT `--on-conflict needs --key as the only unique key of the table`');",
          "PREPARE quarrytab_key_check FROM @quarrytab_key_check;", "EXECUTE quarrytab_key_check;",
          "DEALLOCATE PREPARE quarrytab_key_check;",
          "INSERT INTO `Table1_t` VALUES ('1','a') ON DUPLICATE KEY UPDATE `fld1`=`fld1`;"}},
        {"names written without quotes must be plain names: nothing written",
         [](ConversionOptions& o) {
             o.HeaderRow = true;
             UseDialect(o, Dialect::Sqlite);
             SetDelimitingChar(o, "");
         },
         "id,v TEXT); DROP TABLE victim; --\n1,2\n",
         {}},
        {"... and plain ones are written as they are",
         [](ConversionOptions& o) {
             o.HeaderRow = true;
             UseDialect(o, Dialect::Sqlite);
             SetDelimitingChar(o, "");
         },
         "id,_v2,caf\xC3\xA9\n1,2,3\n",
         {"CREATE TABLE Table1_t (id TEXT,_v2 TEXT,caf\xC3\xA9 TEXT);",
          "INSERT INTO Table1_t VALUES ('1','2','3');"}},
        {"SQLite: a CR in a value held whole as it grows too long",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Sqlite);
             o.Mode = StatementMode::InsertOnly;
             o.QuotedFields = true;
         },
         "\"'\r" + std::string(9 << 20, 'q') + "\r\"\n",
         {"INSERT INTO \"Table1_t\" VALUES (''''||char(13)||'" + std::string(9 << 20, 'q') +
          "'||char(13)||'');"}},
        {"SQLite: a value longer than can be kept as a literal in one piece",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Sqlite);
             o.Mode = StatementMode::InsertOnly;
         },
         "a,b\n" + std::string(9 << 20, 'q') + "',2\n",
         {"INSERT INTO \"Table1_t\" VALUES ('a','b');",
          "INSERT INTO \"Table1_t\" VALUES ('" + std::string(9 << 20, 'q') + "''','2');"}},
        {"the delimiter detected from a first line longer than a block",
         [](ConversionOptions& o) {
             o.DetectDelimiter = true;
             o.Mode = StatementMode::InsertOnly;
         },
         std::string(1 << 20, 'x') + ";y\na;b\n",
         {"INSERT INTO 'Table1_t' VALUES ('" + std::string(1 << 20, 'x') + "','y');",
          "INSERT INTO 'Table1_t' VALUES ('a','b');"}},
        {"byte-order mark, skipped lines and comment lines left out",
         [](ConversionOptions& o) {
             o.StripBom = true;
             o.SkipLines = 1;
             o.CommentPrefix = "#";
             o.Mode = StatementMode::InsertOnly;
         },
         "\xEF\xBB\xBFtitle\n# note\nx,y\n#z\n",
         {"INSERT INTO 'Table1_t' VALUES ('x','y');"}},
        {"a quoted field keeps delimiters, line breaks and doubled quotes",
         [](ConversionOptions& o) {
             o.QuotedFields = true;
             o.CsvDelimiter = "::";
             o.Mode = StatementMode::InsertOnly;
         },
         "\"a::b\r\nc\"::\"say \"\"hi\"\"\"::x\"y\n",
         {"INSERT INTO 'Table1_t' VALUES ('a::b\r\nc','say \"hi\"','x\"y');"}},
        {"the delimiter detected from the first records",
         [](ConversionOptions& o) {
             o.DetectDelimiter = true;
             o.Mode = StatementMode::InsertOnly;
         },
         "a;b,c;d\n1;2;3\n",
         {"INSERT INTO 'Table1_t' VALUES ('a','b,c','d');",
          "INSERT INTO 'Table1_t' VALUES ('1','2','3');"}},
        {"of two delimiters that cut the first records alike, the one listed first is chosen",
         [](ConversionOptions& o) {
             o.DetectDelimiter = true;
             o.Mode = StatementMode::InsertOnly;
         },
         "a|b;c\nd|e;f\n",
         {"INSERT INTO 'Table1_t' VALUES ('a|b','c');",
          "INSERT INTO 'Table1_t' VALUES ('d|e','f');"}},
        {"a byte-order mark after the start of the file is data",
         [](ConversionOptions& o) {
             o.StripBom = true;
             o.Mode = StatementMode::InsertOnly;
         },
         "\xEF\xBB\xBF"
         "a,\xEF\xBB\xBF\n\xEF\xBB\xBF"
         "b\n",
         {"INSERT INTO 'Table1_t' VALUES ('a','\xEF\xBB\xBF');",
          "INSERT INTO 'Table1_t' VALUES ('\xEF\xBB\xBF"
          "b');"}},
        {"skipped lines end at CR LF, CR or LF",
         [](ConversionOptions& o) {
             o.SkipLines = 3;
             o.Mode = StatementMode::InsertOnly;
         },
         "t1\r\nt2\rt3\nx,y\r\nz\r\n",
         {"INSERT INTO 'Table1_t' VALUES ('x','y');", "INSERT INTO 'Table1_t' VALUES ('z');"}},
        {"an INSERT that has grown to 1 MiB takes no more rows",
         [](ConversionOptions& o) {
             o.RowsPerInsert = 10;
             o.Mode = StatementMode::InsertOnly;
         },
         std::string(600000, 'x') + "\n" + std::string(600000, 'y') + "\nz\n",
         {"INSERT INTO 'Table1_t' VALUES ('" + std::string(600000, 'x') + "'),('" +
              std::string(600000, 'y') + "');",
          "INSERT INTO 'Table1_t' VALUES ('z');"}},
        {"MySQL's escapes past the first block of a line",
         [](ConversionOptions& o) {
             UseDialect(o, Dialect::Mysql);
             o.Mode = StatementMode::InsertOnly;
             o.QuotedFields = true;
         },
         std::string(100, 'a') + "\x1A\\\0',"s + std::string(100, 'b') + "\x1A,\"\r\n\x1A\"\n"s,
         {kMysqlSetup, "INSERT INTO `Table1_t` VALUES ('" + std::string(100, 'a') +
                           "\\Z\\\\\\0''','" + std::string(100, 'b') + "\\Z','\\r\\n\\Z');"}},
    };
    for (const auto& c : cases) {
        ConversionOptions options;
        c.set(options);
        // Whole, and in pieces of 1 to 7 bytes where the input is short enough.
        const std::size_t pieces = c.input.size() < (64 << 10) ? 1 + c.input.size() % 7 : 4096;
        for (const bool blocks : kBothScans) {
            BlockScans scans(blocks);
            EXPECT_EQ(Convert(c.input, options), c.statements) << c.name << ", blocks " << blocks;
            EXPECT_EQ(ConvertBytes(c.input, options, "t", pieces), c.statements)
                << c.name << ", blocks " << blocks << ", read " << pieces << " bytes at a time";
        }
    }
}

TEST(Records, AReadThatFailsInsideATransactionEndsInRollback) {
    ConversionOptions options;
    options.Transaction = true;
    options.Mode = StatementMode::InsertOnly;
    const std::string bytes = "a,b\n" + std::string(200, 'c') + ",d\ne,f\n";
    for (const bool blocks : kBothScans) {
        for (const std::size_t failAt : {std::size_t{6}, std::size_t{150}, bytes.size() - 1}) {
            BlockScans scans(blocks);
            RecordingReporter reporter;
            MemorySource source(bytes, 16, failAt);
            CollectStatements sink;
            ConvertStream(source, "t", options, {reporter, sink});
            ASSERT_GE(sink.made.size(), 2u) << failAt;
            EXPECT_EQ(sink.made.front(), "BEGIN TRANSACTION;") << failAt;
            EXPECT_EQ(sink.made.back(), "ROLLBACK;") << failAt;
            EXPECT_EQ(reporter.reports.size(), 1u) << failAt;
        }
    }
}

TEST(Records, NotesSayWhatTheUserShouldKnow) {
    ConversionOptions options;
    options.QuotedFields = true;
    options.SqlDialect = Dialect::Postgres;
    FileNotes notes;
    Convert("a,b\n1\n\"\0\",\xFF\n3,\"open\nrest"s, options, &notes);
    EXPECT_EQ(notes.ragged.count, 1u);
    EXPECT_EQ(notes.ragged.first, std::vector<std::uint64_t>{2});
    EXPECT_EQ(notes.unstorable.first, std::vector<std::uint64_t>{3});
    EXPECT_EQ(notes.unclosedQuote.first, std::vector<std::uint64_t>{4});

    FileNotes doubt;
    ConversionOptions questioning;
    questioning.WarnOnOtherDelimiter = true;
    Convert("a;b\n1;2\n", questioning, &doubt);
    EXPECT_TRUE(doubt.otherDelimiterLikely);
}

}  // namespace
