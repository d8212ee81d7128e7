#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/conversion.h"
#include "support/recording_reporter.h"
#include "temp_path.h"

using namespace quarrytab;

namespace {

class Collect : public StatementSink {
  public:
    void statement(std::string_view text) override { made.emplace_back(text); }
    std::vector<std::string> made;
};

class TempFolder {
  public:
    TempFolder() {
        m_path = UniqueTempPath("quarrytab-conversion");
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() { std::filesystem::remove_all(m_path); }
    std::string write(const std::string& name, const std::string& bytes) const {
        const auto path = m_path / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

  private:
    std::filesystem::path m_path;
};

ConversionOptions BracketOptions() {
    ConversionOptions options;
    SetDelimitingChar(options, "[");
    return options;
}

TEST(ConvertFiles, KeepsFileOrderAndGoesOnPastAnUnreadableFile) {
    TempFolder folder;
    const std::vector<std::string> paths = {
        folder.write("first.csv", "a,b\n1,2\n"),
        folder.write("empty.csv", ""),
        folder.write("missing.csv", "x") + ".gone",
        folder.write("last.txt", "z\r\n"),
    };
    RecordingReporter reporter;
    Collect sink;
    EXPECT_TRUE(ConvertFiles(paths, BracketOptions(), {reporter, sink}));
    EXPECT_EQ(sink.made, (std::vector<std::string>{
                             "CREATE TABLE [Table1_first] ([fld1] text,[fld2] text);",
                             "INSERT INTO [Table1_first] VALUES ('a','b');",
                             "INSERT INTO [Table1_first] VALUES ('1','2');",
                             "CREATE TABLE [Table1_last] ([fld1] text);",
                             "INSERT INTO [Table1_last] VALUES ('z');",
                         }));
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].line, 106);
}

TEST(ConvertFiles, StopsWhenTheProgressHookSaysSo) {
    TempFolder folder;
    std::string many;
    for (int i = 0; i < 10000; ++i) many += std::to_string(i) + "\n";
    const std::vector<std::string> paths = {folder.write("many.csv", many),
                                            folder.write("next.csv", "x\n")};
    RecordingReporter reporter;
    Collect sink;
    std::uint64_t lastLines = 0;
    const ProgressHook stopEarly = [&](const ConversionProgress& progress) {
        lastLines = progress.linesDone;
        return false;
    };
    EXPECT_FALSE(ConvertFiles(paths, BracketOptions(), {reporter, sink, stopEarly}));
    EXPECT_EQ(sink.made.size(), lastLines + 1);  // the CREATE TABLE plus one INSERT per line
    EXPECT_LT(lastLines, 10000u);
}

// Runs the statements in a real SQLite database and reads every value back.
std::vector<std::vector<std::string>> LoadIntoSqlite(const std::vector<std::string>& statements,
                                                     const std::string& table) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    for (const auto& sql : statements) {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << sql << ": " << (error ? error : "");
        sqlite3_free(error);
    }
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* query = nullptr;
    const std::string select = "SELECT * FROM " + table + " ORDER BY rowid";
    EXPECT_EQ(sqlite3_prepare_v2(db, select.c_str(), -1, &query, nullptr), SQLITE_OK);
    while (query != nullptr && sqlite3_step(query) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int c = 0; c < sqlite3_column_count(query); ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(query, c));
            row.emplace_back(text ? std::string(text, sqlite3_column_bytes(query, c)) : "<null>");
        }
        rows.push_back(row);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return rows;
}

TEST(ConvertFiles, StatementsLoadIntoSqliteWithEveryValueIntact) {
    TempFolder folder;
    const std::string bytes =
        "id|name|note\n"
        "1|O'Brien|it''s\n"
        "2|  padded  |\tTAB\t\n"
        "3|caf\xC3\xA9|caf\xE9\n"
        "   \n"
        "4|x'); DROP TABLE t; --|\"q\"\r\n";
    const auto path = folder.write("O'Neil \"x\".csv", bytes);
    for (const char* opening : {"[", "'", "\""}) {
        ConversionOptions options;
        SetDelimitingChar(options, opening);
        options.CsvDelimiter = "|";
        RecordingReporter reporter;
        Collect sink;
        ConvertFiles({path}, options, {reporter, sink});
        const auto rows = LoadIntoSqlite(sink.made, "\"Table1_O'Neil \"\"x\"\"\"");
        ASSERT_EQ(rows.size(), 5u) << opening;
        EXPECT_EQ(rows[0], (std::vector<std::string>{"id", "name", "note"}));
        EXPECT_EQ(rows[1], (std::vector<std::string>{"1", "O'Brien", "it''s"}));
        EXPECT_EQ(rows[2], (std::vector<std::string>{"2", "  padded  ", "\tTAB\t"}));
        EXPECT_EQ(rows[3], (std::vector<std::string>{"3", "caf\xC3\xA9", "caf\xE9"}));
        EXPECT_EQ(rows[4], (std::vector<std::string>{"4", "x'); DROP TABLE t; --", "\"q\""}));
    }
}

}  // namespace
