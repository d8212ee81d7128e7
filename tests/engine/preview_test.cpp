#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/preview.h"
#include "support/case_name.h"
#include "temp_path.h"

using namespace quarrytab;

namespace {

// Each record as its cells joined by "|" (NULL as <null>, a cut cell ending in "~"), with " !"
// for a ragged record and " ~" for one the sample ends inside.
std::vector<std::string> Shown(const Preview& preview) {
    std::vector<std::string> rows;
    for (const auto& record : preview.records) {
        std::string row;
        for (std::size_t k = 0; k < record.cells.size(); ++k) {
            const auto& cell = record.cells[k];
            row += (k > 0 ? "|" : "") + (cell.null ? "<null>" : cell.text) + (cell.cut ? "~" : "");
        }
        rows.push_back(row + (record.ragged ? " !" : "") + (record.cut ? " ~" : ""));
    }
    return rows;
}

struct PreviewCase {
    const char* name;
    std::string bytes;
    bool whole;
    bool quoted;
    bool header;
    bool emptyAsNull;
    std::vector<std::string> columns;
    std::vector<std::string> records;
};

class PreviewTable : public testing::TestWithParam<PreviewCase> {};

TEST_P(PreviewTable, ShowsTheRecordsAsTheConversionReadsThem) {
    const auto& c = GetParam();
    ConversionOptions options;
    options.QuotedFields = c.quoted;
    options.HeaderRow = c.header;
    options.EmptyAsNull = c.emptyAsNull;
    options.StripBom = c.header;
    PreviewLimits limits;
    limits.records = 3;
    limits.cellBytes = 6;
    FileSample sample{c.bytes, c.whole, {}};
    const Preview preview = PreviewSample(sample, "t", options, limits);
    EXPECT_EQ(preview.problem, "");
    EXPECT_EQ(preview.columns, c.columns);
    EXPECT_EQ(Shown(preview), c.records);
}

INSTANTIATE_TEST_SUITE_P(Rows, PreviewTable,
                         testing::Values(PreviewCase{"Classic",
                                                     "a,b\r\n\"x, y\",'q'\r\n",
                                                     true,
                                                     false,
                                                     false,
                                                     false,
                                                     {"fld1", "fld2"},
                                                     {"a|b", "\"x| y\"|'q' !"}},
                                         PreviewCase{
                                             "QuotedHeaderOfRepeatedAndEmptyNames",
                                             "id,ID,,x\n1,\"a, \"\"b\"\"\",,\"two\nlines\"\n",
                                             true,
                                             true,
                                             true,
                                             true,
                                             {"id", "ID_2", "fld3", "x"},
                                             {"1|a, \"b\"|<null>|two\nli~"}},
                                         PreviewCase{"FirstRecordsOnlyLongCellsCut",
                                                     "1\n22\n333\n4444444444\n5\n",
                                                     true,
                                                     false,
                                                     false,
                                                     false,
                                                     {"fld1"},
                                                     {"1", "22", "333"}},
                                         PreviewCase{"SampleEndsInsideARecord",
                                                     "a,b\n1,\"open",
                                                     false,
                                                     true,
                                                     false,
                                                     false,
                                                     {"fld1", "fld2"},
                                                     {"a|b", "1|open ~"}},
                                         PreviewCase{"HeaderAloneNamesNeverCut",
                                                     "\xEF\xBB\xBFname,age in years\r\n",
                                                     true,
                                                     false,
                                                     true,
                                                     false,
                                                     {"name", "age in years"},
                                                     {}}),
                         CaseName());

TEST(ReadFileSample, ReadsNoMoreThanItsLimitAndTellsWhetherTheFileEnds) {
    const auto folder = UniqueTempPath("quarrytab-preview");
    std::filesystem::create_directories(folder);
    for (const std::size_t size : {9, 10, 11}) {
        const auto path = (folder / std::to_string(size)).string();
        std::ofstream(path, std::ios::binary) << std::string(size, 'x');
        const FileSample sample = ReadFileSample(path, 10);
        EXPECT_EQ(sample.bytes, std::string(std::min<std::size_t>(size, 10), 'x'));
        EXPECT_EQ(sample.whole, size <= 10) << size;
        EXPECT_EQ(sample.error, "");
    }
    EXPECT_NE(ReadFileSample((folder / "absent").string(), 10).error, "");
    std::filesystem::remove_all(folder);
}

}  // namespace
