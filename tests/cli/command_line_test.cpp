// Reading the command line in-process: every option into the record, every usage error named.
#include <gtest/gtest.h>

#include "cli/command_line.h"

using namespace quarrytab;

namespace {

CommandLine Parse(const std::vector<std::string>& arguments) {
    CommandLine command;
    std::string error;
    EXPECT_TRUE(ParseCommandLine(arguments, command, error)) << error;
    return command;
}

TEST(CommandLine, EveryOptionReachesTheRecord) {
    const auto plain = Parse({"in.csv"});
    EXPECT_EQ(plain.inputs, std::vector<std::string>{"in.csv"});
    EXPECT_EQ(plain.options.DelimitingChar, "'");
    EXPECT_EQ(plain.options.CsvDelimiter, ",");
    EXPECT_TRUE(plain.options.WarnOnOtherDelimiter);
    EXPECT_FALSE(UsesRecordRules(plain.options));  // no new option: the classic statements
    EXPECT_EQ(plain.pattern, "*.*");

    const auto all = Parse({"-t",
                            "T\xE9",
                            "-q",
                            "[",
                            "-d",
                            "\\t",
                            "--insert-only",
                            "--no-semicolon",
                            "-e",
                            "txt",
                            "-o",
                            "out\xFF.sql",
                            "--csv",
                            "--header",
                            "--null-empty",
                            "--ragged",
                            "pad",
                            "--rows-per-insert",
                            "500",
                            "--transaction",
                            "--dialect",
                            "mysql",
                            "--encoding",
                            "latin1",
                            "--skip-lines",
                            "2",
                            "--comment",
                            "#",
                            "--rejects",
                            "left\xFF.csv",
                            "-",
                            "caf\xE9.csv"});
    const auto& o = all.options;
    EXPECT_EQ(o.TableName, "T\xE9");  // bytes as given, not made into text
    EXPECT_EQ(o.DelimitingChar, "[");
    EXPECT_EQ(o.ClosingDelimitingChar, "]");
    EXPECT_EQ(o.CsvDelimiter, "\t");
    EXPECT_FALSE(o.WarnOnOtherDelimiter);
    EXPECT_EQ(o.Mode, StatementMode::InsertOnly);
    EXPECT_FALSE(o.IncludeSemicolon);
    EXPECT_EQ(all.pattern, "*.txt");
    EXPECT_EQ(all.output, "out\xFF.sql");
    EXPECT_EQ(all.rejects, "left\xFF.csv");
    EXPECT_EQ(plain.rejects, "");
    EXPECT_TRUE(o.QuotedFields && o.HeaderRow && o.EmptyAsNull && o.Transaction && o.StripBom);
    EXPECT_EQ(o.Ragged, RaggedMode::Pad);
    EXPECT_EQ(o.RowsPerInsert, 500u);
    EXPECT_EQ(o.SqlDialect, Dialect::Mysql);
    EXPECT_EQ(o.Encoding, "latin1");
    EXPECT_EQ(o.SkipLines, 2u);
    EXPECT_EQ(o.CommentPrefix, "#");
    EXPECT_EQ(all.inputs, (std::vector<std::string>{"-", "caf\xE9.csv"}));
    EXPECT_FALSE(o.AutoRules);

    // --auto decides what is not given; each option given is kept, --no-header and --no-csv too.
    const auto guessed = Parse({"--auto", "x"});
    EXPECT_TRUE(guessed.options.AutoRules && UsesRecordRules(guessed.options));
    EXPECT_FALSE(guessed.explain);
    const auto& none = guessed.options.Kept;
    EXPECT_FALSE(none.delimiter || none.quoting || none.header || none.encoding || none.skipLines ||
                 none.comment || none.ragged);
    const auto kept = Parse({"--auto", "-d", ";", "--no-csv", "--no-header", "--encoding", "latin1",
                             "--skip-lines", "0", "--comment", "#", "--ragged", "keep", "x"})
                          .options;
    EXPECT_TRUE(kept.Kept.delimiter && kept.Kept.quoting && kept.Kept.header &&
                kept.Kept.encoding && kept.Kept.skipLines && kept.Kept.comment && kept.Kept.ragged);
    EXPECT_FALSE(kept.QuotedFields || kept.HeaderRow);
    EXPECT_FALSE(Parse({"--auto", "-d", "auto", "x"}).options.Kept.delimiter);
    const auto explain = Parse({"--explain", "x"});
    EXPECT_TRUE(explain.explain && explain.options.AutoRules);

    // A dialect brings its identifier quote unless -q says otherwise; -d auto detects.
    EXPECT_EQ(Parse({"--dialect", "postgres", "x"}).options.DelimitingChar, "\"");
    EXPECT_EQ(Parse({"--dialect", "mysql", "x"}).options.DelimitingChar, "`");
    EXPECT_TRUE(Parse({"-d", "auto", "x"}).options.DetectDelimiter);
    EXPECT_TRUE(Parse({"--strip-bom", "x"}).options.StripBom);
    EXPECT_TRUE(Parse({"--encoding", "utf-16", "x"}).options.StripBom);
    const auto table = Parse({"--dialect", "postgres", "--types", "--type", "a=NUMERIC(5,2)",
                              "--type", "b=DOUBLE PRECISION", "--primary-key", "a,b", "--not-null",
                              "c", "--if-exists", "drop", "x"})
                           .options;
    EXPECT_TRUE(table.InferTypes && SurveysColumns(table) && UsesRecordRules(table));
    ASSERT_EQ(table.ColumnTypes.size(), 2u);
    EXPECT_EQ(table.ColumnTypes[0].column + "|" + table.ColumnTypes[0].type, "a|NUMERIC(5,2)");
    EXPECT_EQ(table.ColumnTypes[1].column + "|" + table.ColumnTypes[1].type, "b|DOUBLE PRECISION");
    EXPECT_EQ(table.PrimaryKey, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(table.NotNull, std::vector<std::string>{"c"});
    EXPECT_EQ(table.TableExists, IfExists::Drop);
    EXPECT_EQ(Parse({"--if-exists", "append", "x"}).options.TableExists, IfExists::Append);
    const auto load = Parse({"--header", "--columns", "id,2=b,a=b=c", "--null-word", "NA",
                             "--dialect", "sqlite", "--on-conflict", "update", "--key", "id", "x"})
                          .options;
    ASSERT_EQ(load.Columns.size(), 3u);
    EXPECT_EQ(load.Columns[0].field + "|" + std::to_string(load.Columns[0].position), "id|0");
    EXPECT_EQ(load.Columns[1].name + "|" + std::to_string(load.Columns[1].position), "b|2");
    EXPECT_EQ(load.Columns[2].field + "|" + load.Columns[2].name, "a=b|c");
    EXPECT_EQ(load.NullWords, std::vector<std::string>{"NA"});
    EXPECT_EQ(load.Conflict, OnConflict::Update);
    EXPECT_EQ(load.PrimaryKey, std::vector<std::string>{"id"});  // the new table's key
    EXPECT_TRUE(ShapesRecords(load) && UsesRecordRules(load));
    EXPECT_EQ(Parse({"--dialect", "postgres", "--format", "copy", "x"}).options.Rows,
              RowForm::Copy);
    EXPECT_EQ(Parse({"--format", "insert", "x"}).options.Rows, RowForm::Insert);
    EXPECT_EQ(Parse({"--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(Parse({"--help-all", "x"}).action, CommandLine::Action::Help);
    EXPECT_EQ(Parse({"-e", ".csv", "x"}).pattern, "*.csv");
    EXPECT_EQ(Parse({"--rows-per-insert", "1000", "x"}).options.RowsPerInsert, 1000u);
    EXPECT_EQ(Parse({"--version"}).action, CommandLine::Action::Version);
}

TEST(CommandLine, UsageErrorsSayWhatIsWrong) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{}, "no PATH"},
        {{"--no-such-option", "x"}, "no-such-option"},
        {{"-d"}, "d"},
        {{"--dialect", "oracle", "x"}, "oracle"},
        {{"--ragged", "trim", "x"}, "trim"},
        {{"--rows-per-insert", "0", "x"}, "--rows-per-insert"},
        {{"--rows-per-insert", "many", "x"}, "--rows-per-insert"},
        {{"--skip-lines", "-1", "x"}, "--skip-lines"},
        {{"--header", "--no-header", "x"}, "--header and --no-header"},
        {{"--csv", "--no-csv", "x"}, "--csv and --no-csv"},
        // Numbers are digits only, and a count past what a dialect takes is refused, not clamped.
        {{"--rows-per-insert", "1001", "x"}, "1 to 1000"},
        {{"--rows-per-insert", "99999999999", "x"}, "--rows-per-insert"},
        {{"--rows-per-insert", " 5", "x"}, "--rows-per-insert"},
        {{"--rows-per-insert", "5 ", "x"}, "--rows-per-insert"},
        {{"--rows-per-insert", "+3", "x"}, "--rows-per-insert"},
        {{"--skip-lines", "99999999999999999999", "x"}, "--skip-lines"},
        {{"-d", "\n", "x"}, "line break"},
        {{"-d", ";\r", "x"}, "line break"},
        {{"-d", "\"", "--csv", "x"}, "--csv"},
        {{"--encoding", "", "x"}, "--encoding"},
        {{"-", "a.csv", "-"}, "standard input"},
        {{"--types", "x"}, "--dialect"},
        {{"--dialect", "sqlite", "--type", "a", "x"}, "NAME=TYPE"},
        {{"--dialect", "sqlite", "--type", "=INT", "x"}, "NAME=TYPE"},
        // A type is written into CREATE TABLE as it is: one type name, nothing after it.
        {{"--dialect", "sqlite", "--type", "v=TEXT); DROP TABLE victim; --", "x"}, "')'"},
        {{"--dialect", "sqlite", "--type", "b=a=b", "x"}, "'='"},
        {{"--dialect", "sqlite", "--type", "v=NUMERIC(10,2", "x"}, "parentheses"},
        {{"--dialect", "sqlite", "--type", "v=VARCHAR(n)", "x"}, "parentheses"},
        {{"--dialect", "sqlite", "--type", "v=TEXT -- x", "x"}, "'-'"},
        {{"--dialect", "sqlite", "--primary-key", "a", "--insert-only", "x"}, "--insert-only"},
        {{"--if-exists", "replace", "x"}, "replace"},
        {{"--columns", "a", "x"}, "--header"},
        {{"--columns", "0", "x"}, "from 1"},
        {{"--header", "--columns", "a,", "x"}, "FIELD=NAME"},
        {{"--header", "--columns", "a=", "x"}, "FIELD=NAME"},
        {{"--on-conflict", "update", "--key", "a", "x"}, "--dialect"},
        {{"--dialect", "sqlite", "--on-conflict", "merge", "--key", "a", "x"}, "merge"},
        {{"--dialect", "sqlite", "--on-conflict", "ignore", "x"}, "--key"},
        {{"--key", "a", "x"}, "--on-conflict"},
        {{"--dialect", "sqlite", "--on-conflict", "ignore", "--key", "a", "--primary-key", "b",
          "x"},
         "--primary-key"},
        // MySQL commits its DROP TABLE at once: a failed load would leave no table.
        {{"--dialect", "mysql", "--if-exists", "drop", "--transaction", "x"}, "MySQL"},
        {{"--format", "csv", "x"}, "insert or copy"},
        {{"--format", "copy", "x"}, "--dialect postgres"},
        {{"--dialect", "mysql", "--format", "copy", "x"}, "MySQL"},
        {{"--dialect", "postgres", "--format", "copy", "--rows-per-insert", "9", "x"},
         "--rows-per-insert"},
        {{"--dialect", "postgres", "--format", "copy", "--no-semicolon", "x"}, "the ;"},
        {{"--dialect", "postgres", "--format", "copy", "--on-conflict", "ignore", "--key", "a",
          "x"},
         "--on-conflict"},
        {{"--rejects", "-", "x"}, "--rejects"},
        {{"--rejects", "", "x"}, "--rejects"},
    };
    for (const auto& [arguments, mention] : cases) {
        CommandLine command;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(arguments, command, error)) << mention;
        EXPECT_NE(error.find(mention), std::string::npos) << error;
    }
}

}  // namespace
