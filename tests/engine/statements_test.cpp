#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/failure_numbers.h"
#include "engine/held_statement.h"
#include "engine/line_reader.h"
#include "engine/statements.h"
#include "support/convert_bytes.h"

using namespace quarrytab;
using Statements = std::vector<std::string>;

namespace {

ConversionOptions Options(std::string_view opening, std::string delimiter, StatementMode mode,
                          bool semicolon, std::string table = "Table1") {
    ConversionOptions options;
    options.TableName = std::move(table);
    SetDelimitingChar(options, opening);
    options.CsvDelimiter = std::move(delimiter);
    options.Mode = mode;
    options.IncludeSemicolon = semicolon;
    return options;
}

// The statements of a file of these lines.
Statements Generate(const ConversionOptions& options, std::string_view baseName,
                    const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& line : lines) bytes += line + "\n";
    return ConvertBytes(bytes, options, baseName);
}

const auto kCreate = StatementMode::CreateAndInsert;
const auto kInsert = StatementMode::InsertOnly;

TEST(ClosingDelimiter, PairsOpeningBracketsOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"(", ")"}, {"[", "]"}, {"{", "}"}, {"<", ">"},   {")", ")"},   {"]", "]"},
        {"'", "'"}, {"`", "`"}, {"", ""},   {" [", " ["}, {"[[", "[["},
    };
    for (const auto& [opening, closing] : cases) EXPECT_EQ(ClosingDelimiterFor(opening), closing);
}

TEST(TableReference, WrapsPrefixAndBaseNameAndEscapesTheBaseName) {
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"[", "Table1", "sales", "[Table1_sales]"},    {"'", "Table1", "sales", "'Table1_sales'"},
        {"", "Table1", "sales", "Table1_sales"},       {"<", "Table1", "sales", "<Table1_sales>"},
        {")", "Table1", "sales", ")Table1_sales)"},    {"[", "", "sales", "[_sales]"},
        {"'", "Table1", "O'Neil", "'Table1_O''Neil'"}, {"[", "Table1", "x]y", "[Table1_x]]y]"},
        {"[", "dbo].[Sales", "x", "[dbo].[Sales_x]"},  // the prefix is written as typed
        {"``", "T", "a``b", "``T_a````b``"},
    };
    for (const auto& [opening, prefix, base, expected] : cases) {
        ConversionOptions options = Options(opening, ",", kCreate, true, prefix);
        EXPECT_EQ(TableReference(options, base), expected);
    }
    // Under the rules for real-world files the prefix is part of the name: quotes doubled too.
    ConversionOptions records = Options("\"", ",", kCreate, true, "my\"tab");
    records.SqlDialect = Dialect::Postgres;
    EXPECT_EQ(TableReference(records, "x\"y"), "\"my\"\"tab_x\"\"y\"");
}

TEST(FieldSplitting, CutsAtEveryOccurrenceOfTheDelimiter) {
    // A blank line makes no INSERT.
    const struct {
        const char* line;
        const char* delimiter;
        std::vector<std::string> fields;
    } cases[] = {
        {"a,,b,", ",", {"a", "", "b", ""}},
        {"a, b,c", ", ", {"a", "b,c"}},
        {"a,b", ", ", {"a,b"}},
        {"", ",", {}},
        {"   ", ",", {}},
        {"a,b", "", {"a,b"}},
        {"x||y|z||", "||", {"x", "y|z", ""}},
        {"aaa", "aa", {"", "a"}},
        {"\"x,y\"", ",", {"\"x", "y\""}},
        {"\t\t", "\t", {"", "", ""}},
        {"AbAB", "b", {"A", "AB"}},
        {",", ",", {"", ""}},
    };
    for (const auto& c : cases) {
        for (const bool blocks : kBothScans) {
            BlockScans scans(blocks);
            const auto made = Generate(Options("[", c.delimiter, kInsert, true), "t", {c.line});
            EXPECT_EQ(made.empty() ? std::vector<std::string>{} : InsertValues(made[0]).value(),
                      c.fields)
                << "'" << c.line << "' at '" << c.delimiter << "', block scans " << blocks;
        }
    }
}

TEST(Statements, WorkedExamples) {
    EXPECT_EQ(
        Generate(Options("[", ",", kCreate, true), "people", {"name,age", "Ann,30", "Bob,41"}),
        (Statements{"CREATE TABLE [Table1_people] ([fld1] text,[fld2] text);",
                    "INSERT INTO [Table1_people] VALUES ('name','age');",
                    "INSERT INTO [Table1_people] VALUES ('Ann','30');",
                    "INSERT INTO [Table1_people] VALUES ('Bob','41');"}));
    EXPECT_EQ(Generate(Options("'", ";", kInsert, false), "people", {"x;O'Brien; 7"}),
              (Statements{"INSERT INTO 'Table1_people' VALUES ('x','O''Brien',' 7')"}));
}

TEST(Statements, CreateTableComesFromTheFirstLineOnly) {
    // Only the number of fields of line 0 counts; later lines keep their own value counts.
    EXPECT_EQ(Generate(Options("[", ",", kCreate, false), "people", {"a,b", "1,2,3", "4"}),
              (Statements{"CREATE TABLE [Table1_people] ([fld1] text,[fld2] text)",
                          "INSERT INTO [Table1_people] VALUES ('a','b')",
                          "INSERT INTO [Table1_people] VALUES ('1','2','3')",
                          "INSERT INTO [Table1_people] VALUES ('4')"}));
    EXPECT_EQ(Generate(Options("", ",", kCreate, false), "people", {"name,age"})[0],
              "CREATE TABLE Table1_people (fld1 text,fld2 text)");
    EXPECT_EQ(Generate(Options("[", ",", kCreate, true), "p", {"a,b,c,d,e,f,g,h,i,j,k"})[0],
              "CREATE TABLE [Table1_p] ([fld1] text,[fld2] text,[fld3] text,[fld4] text,"
              "[fld5] text,[fld6] text,[fld7] text,[fld8] text,[fld9] text,[fld10] text,"
              "[fld11] text);");
}

TEST(Statements, BlankAndEmptyLines) {
    // A line of spaces gives no INSERT; at index 0 it still gives a one-column table.
    EXPECT_EQ(Generate(Options("[", ",", kCreate, false), "people", {"   ", "a", "  ", "b"}),
              (Statements{"CREATE TABLE [Table1_people] ([fld1] text)",
                          "INSERT INTO [Table1_people] VALUES ('a')",
                          "INSERT INTO [Table1_people] VALUES ('b')"}));
    // A zero-length first line names one column too.
    EXPECT_EQ(Generate(Options("[", ",", kCreate, false), "people", {"", "a"}),
              (Statements{"CREATE TABLE [Table1_people] ([fld1] text)",
                          "INSERT INTO [Table1_people] VALUES ('a')"}));
    // A TAB is not a space: such a line is data.
    EXPECT_EQ(Generate(Options("[", "\t", kInsert, false), "people", {"\t\t"}),
              (Statements{"INSERT INTO [Table1_people] VALUES ('','','')"}));
    EXPECT_TRUE(Generate(Options("[", ",", kCreate, true), "people", {}).empty());
    EXPECT_EQ(Generate(Options("[", ",", kCreate, true), "people", {"only"}).size(), 2u);
}

TEST(Statements, ValuesKeepEveryByteAndDoubleQuotes) {
    EXPECT_EQ(
        Generate(Options("'", ",", kInsert, true), "t", {" a ,'',\"x\",caf\xC3\xA9,caf\xE9,it's"}),
        (Statements{"INSERT INTO 'Table1_t' VALUES (' a ','''''','\"x\"','caf\xC3\xA9',"
                    "'caf\xE9','it''s');"}));
    EXPECT_EQ(Generate(Options("[", "", kInsert, false), "t", {"a,b;c"}),
              (Statements{"INSERT INTO [Table1_t] VALUES ('a,b;c')"}));
}

}  // namespace

namespace {

// The INSERT of a line, built the plain way with nothing of the converter's own: cut as
// ModelFields cuts, quote each field with its single quotes doubled, join. A line of nothing but
// spaces makes no statement.
std::optional<std::string> ModelInsert(const std::string& delimiter, bool semicolon,
                                       const std::string& line) {
    if (line.find_first_not_of(' ') == std::string::npos)
        return std::nullopt;
    std::string text = "INSERT INTO [Table1_m] VALUES (";
    const std::vector<std::string> fields = ModelFields(line, delimiter);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        text += i == 0 ? "'" : ",'";
        for (const char c : fields[i]) text += c == '\'' ? std::string("''") : std::string(1, c);
        text += '\'';
    }
    return text + ")" + (semicolon ? ";" : "");
}

TEST(Statements, AgreesWithThePlainModelOnRandomLines) {
    // Lines of every length up to 200 over a small alphabet put delimiters and quotes at every
    // position of the blocks the scan works in, with the block scans and without; the
    // delimiters of several bytes include one that can overlap itself ("aa" in "aaa") and one
    // with a byte above 127.
    std::mt19937 random(2026);
    const std::string alphabet = "ab,;'\t x\xE9";
    for (const std::string delimiter :
         {",", ";", "'", "\t", ", ", "''", "aa", "\xE9,", "x\tx", ""}) {
        for (const bool semicolon : {false, true}) {
            ConversionOptions options;
            options.TableName = "Table1";
            SetDelimitingChar(options, "[");
            options.CsvDelimiter = delimiter;
            options.Mode = StatementMode::InsertOnly;
            options.IncludeSemicolon = semicolon;
            for (int n = 0; n < 1000; ++n) {
                std::string line(random() % 201, ' ');
                for (auto& c : line) c = alphabet[random() % alphabet.size()];
                BlockScans scans(n % 2 == 0);
                const auto made = Generate(options, "m", {line});
                const std::optional<std::string> expected = ModelInsert(delimiter, semicolon, line);
                if (!expected) {
                    EXPECT_TRUE(made.empty()) << "line '" << line << "'";
                    continue;
                }
                ASSERT_EQ(made.size(), 1u);
                ASSERT_EQ(made[0], *expected)
                    << "line '" << line << "', delimiter '" << delimiter << "'";
            }
        }
    }
}

}  // namespace

namespace {

// What converting a file of `bytes` must give: the model's statements for the lines a line
// reader hands out (none after a read failure), and the notes worked out from the same lines.
struct Expected {
    Statements made;
    std::size_t fields = 0;
    std::vector<std::uint64_t> ragged;
    bool otherDelimiter = false;
};

Expected LineByLine(const ConversionOptions& options, const std::string& bytes,
                    std::size_t failAt) {
    Expected expected;
    CollectStatements sink;
    RecordingReporter reporter;
    MemorySource source(bytes, MemorySource::kNever, failAt);
    LineReader reader(reporter);
    reader.attach(source);
    std::string_view line;
    std::uint64_t number = 0;
    std::size_t looked = 0;
    bool comma = false;
    while (reader.next(line)) {
        const auto fields =
            std::max<std::size_t>(++number == 1, ModelFields(line, options.CsvDelimiter).size());
        if (number == 1 && options.Mode == StatementMode::CreateAndInsert)
            WriteClassicCreateTable(sink, options, "[Table1_m]", fields);
        if (const auto insert =
                ModelInsert(options.CsvDelimiter, options.IncludeSemicolon, std::string(line)))
            sink.made.push_back(*insert);
        const bool blank = IsBlankLine(line);
        if (number == 1)
            expected.fields = fields;
        else if (fields != expected.fields && !blank && expected.ragged.size() < LineNotes::kKept)
            expected.ragged.push_back(number);
        if (!blank && looked < 5) {
            ++looked;
            comma |= line.find(',') != std::string_view::npos;
            expected.otherDelimiter |= line.find_first_of(";\t") != std::string_view::npos;
        }
    }
    expected.otherDelimiter &= !comma;
    expected.made = sink.made;
    return expected;
}

TEST(StatementStream, WritesWhatThePlainModelWritesForEachLine) {
    // Random files, mostly read in pieces of 1 to 7 bytes so that every seam falls everywhere:
    // inside CR LF, inside a delimiter of several bytes, in leading spaces. Some lines are long
    // runs of spaces, which are held until a byte shows whether they are blank, and some reads
    // fail.
    std::mt19937 random(2027);
    const std::string alphabet = "ab,;'\t x\xE9\r\n\n";
    for (const std::string delimiter : {",", " ", "'", "\t", ", ", "  ", "aa", "a\nb", "\r", ""}) {
        for (int n = 0; n < 300; ++n) {
            ConversionOptions options;
            SetDelimitingChar(options, "[");
            options.CsvDelimiter = delimiter;
            options.Mode = n % 3 == 0 ? StatementMode::InsertOnly : StatementMode::CreateAndInsert;
            options.IncludeSemicolon = n % 2 == 0;
            options.WarnOnOtherDelimiter = n % 4 != 0;
            std::string bytes(random() % (n % 2 == 0 ? 120 : 400), ' ');
            for (auto& c : bytes) c = alphabet[random() % alphabet.size()];
            if (n % 50 == 7)
                bytes.insert(random() % (bytes.size() + 1), std::string(70000, ' '));
            const bool fails = n % 10 == 3;
            const std::size_t failAt = fails ? random() % (bytes.size() + 1) : MemorySource::kNever;
            const Expected expected = LineByLine(options, bytes, failAt);

            CollectStatements sink;
            FileNotes notes;
            RecordingReporter reporter;
            // Whole reads too, for the steps of sixty-four bytes, with the block scans and
            // without.
            MemorySource source(bytes, n % 3 == 0 ? 4096 : 1 + random() % 7, failAt);
            BlockScans scans(n % 2 == 1);
            ConvertStream(source, "m", options, {reporter, sink, {}, nullptr, &notes});
            const auto where = ::testing::Message()
                               << "delimiter '" << delimiter << "', case " << n;
            ASSERT_EQ(sink.made, expected.made) << where;
            EXPECT_EQ(reporter.reports.size(), fails ? 1u : 0u) << where;
            if (fails)
                continue;
            EXPECT_EQ(notes.expectedFields, expected.fields) << where;
            EXPECT_EQ(notes.ragged.first, expected.ragged) << where;
            EXPECT_EQ(notes.otherDelimiterLikely,
                      options.WarnOnOtherDelimiter && expected.otherDelimiter)
                << where;
        }
    }
}

TEST(StatementStream, HoldsAHugeFirstLineOutsideMemoryUntilItsFieldsAreCounted) {
    // The CREATE TABLE comes first, yet needs the whole first line's field count: its INSERT is
    // held meanwhile, beyond a few MiB in a temporary file.
    std::string line;
    for (int i = 0; i < 3'000'000; ++i) line += "x'y,";
    std::string insert = "INSERT INTO 'Table1_m' VALUES (";
    for (int i = 0; i < 3'000'000; ++i) insert += "'x''y',";
    const auto made = ConvertBytes(line + "\r\nz", ConversionOptions(), "m", 1 << 20);
    ASSERT_EQ(made.size(), 3u);
    EXPECT_TRUE(made[0].ends_with(",'fld3000001' text);"));
    EXPECT_EQ(made[1], insert + "'');");
    EXPECT_EQ(made[2], "INSERT INTO 'Table1_m' VALUES ('z');");
}

}  // namespace

namespace {

// Bytes held back past the limit (an input that never ends) stop the conversion with a Failure
// rather than filling the temporary folder; what was held is let go.
TEST(HeldStatement, RefusesToHoldPastItsLimit) {
    HeldStatement held(20 << 20);
    const std::string piece(1 << 20, 'x');
    for (int i = 0; i < 20; ++i) {
        held.statement(piece);
    }
    EXPECT_EQ(held.size(), 20u << 20);
    try {
        held.statement("y");
        ADD_FAILURE() << "no failure past the limit";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), failures::kOutOfStringSpace);
        EXPECT_NE(failure.description().find("20971520 bytes"), std::string::npos);
    }
    EXPECT_TRUE(held.empty());
}

}  // namespace
