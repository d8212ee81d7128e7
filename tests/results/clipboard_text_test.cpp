#include <gtest/gtest.h>
#include <QList>
#include <QStringList>
#include <string>
#include <vector>

#include "results/clipboard_text.h"
#include "results/display_text.h"
#include "support/case_name.h"

namespace quarrytab {
namespace {

struct TableCase {
    const char* name;
    QList<QStringList> rows;  // the cells of each row
    QList<bool> marked;       // empty: every row is copied
    QString text;
};

QString Copy(const TableCase& table) {
    ListCells cells;
    cells.rows = static_cast<int>(table.rows.size());
    cells.columns = table.rows.isEmpty() ? 1 : static_cast<int>(table.rows.first().size());
    cells.cell = [&](int row, int column) {
        return table.rows[row][column];
    };
    if (!table.marked.isEmpty())
        cells.marked = [&](int row) {
            return table.marked[row];
        };
    return ListViewToClipboard(cells);
}

class ClipboardText : public ::testing::TestWithParam<TableCase> {};

TEST_P(ClipboardText, FollowsTheWidthAndLineRules) {
    EXPECT_EQ(Copy(GetParam()), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClipboardText,
    ::testing::Values(
        TableCase{"empty", {}, {}, QString()},
        TableCase{"oneColumn", {{"a"}, {"bbb"}, {"cc"}}, {}, "a\r\nbbb\r\ncc\r\n"},
        TableCase{
            "twoColumnsPadTheFirst", {{"a", "b"}, {"ccc", "dd"}}, {}, "a  \tb\r\nccc\tdd\r\n"},
        TableCase{"allCellsEmpty", {{"", ""}, {"x", "y"}}, {}, " \t\r\nx\ty\r\n"},
        TableCase{"oneEmptyCell", {{""}}, {}, "\r\n"},
        TableCase{"trailingSpacesGoOnlyInTheLastColumn", {{"a  ", "b  "}}, {}, "a  \tb\r\n"},
        TableCase{"lastCellEmptyKeepsTheTab", {{"abc", ""}}, {}, "abc\t\r\n"},
        TableCase{
            "lastCellEmptyAfterPadding", {{"a", ""}, {"abc", "x"}}, {}, "a  \t\r\nabc\tx\r\n"},
        TableCase{"threeColumns",
                  {{"1", "22", "333"}, {"4444", "5", "6"}},
                  {},
                  "1   \t22\t333\r\n4444\t5 \t6\r\n"},
        TableCase{
            "unmarkedRowsStillWiden", {{"a", "b"}, {"wide", "c"}}, {true, false}, "a   \tb\r\n"},
        TableCase{"noRowMarked", {{"a"}}, {false}, QString()},
        TableCase{"rowOfSpacesOnly", {{"x"}, {"   "}}, {}, "x\r\n\r\n"},
        TableCase{"tabsInsideCellsStay", {{"a\t "}}, {}, "a\t\r\n"},
        TableCase{"nonAsciiCountsCharacters",
                  {{"\u00e9\u00e9", "x"}, {"abc", "y"}},
                  {},
                  "\u00e9\u00e9 \tx\r\nabc\ty\r\n"}),
    CaseName());

TEST(ClipboardText, YieldsWhileBuildingALongText) {
    ListCells cells;
    cells.rows = 10000;
    cells.cell = [](int row, int) {
        return QString::number(row);
    };
    int yields = 0;
    const QString text = ListViewToClipboard(cells, [&] { ++yields; });
    EXPECT_GT(yields, 0);
    EXPECT_TRUE(text.startsWith(QStringLiteral("0\r\n1\r\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("9999\r\n")));
}

// The statements' UTF-8 clipboard text is the generic text of their display text, byte for byte,
// and the clipboard data hands it out as the same string.
TEST(ClipboardText, StatementsAsUtf8MatchTheDisplayedList) {
    const std::vector<std::string> rows = {"INSERT  ",
                                           "",
                                           "   ",
                                           "a\tb\t ",
                                           "caf\xc3\xa9 \xe2\x82\xac  ",
                                           "caf\xe9 ",
                                           "\x80\x81\x9f\xff",
                                           "\xef\xbb\xbf\xef\xbb\xbfx",
                                           std::string("n\0ul ", 5),
                                           "\xed\xa0\x80 surrogate",
                                           "\xc3 cut",
                                           "\xf4\x90\x80\x80 beyond",
                                           "\xef\xbf\xbe\xef\xbf\xbf non",
                                           "\xc0\xaf over",
                                           "a\xef\xbb\xbf"};
    // Each row first, where a byte order mark would be at the start of the text, then all.
    std::vector<std::vector<std::string>> lists;
    for (const std::string& row : rows) lists.push_back({row, "x"});
    lists.push_back(rows);
    for (const auto& list : lists) {
        StatementStore store;
        for (const std::string& row : list) store.append(row);
        ListCells cells;
        cells.rows = static_cast<int>(list.size());
        cells.cell = [&](int row, int) {
            return DisplayText(list[static_cast<std::size_t>(row)]);
        };
        const QString text = ListViewToClipboard(cells);
        EXPECT_EQ(StatementsClipboardUtf8(store), text.toUtf8()) << list.front();
        const StatementsMimeData data(store.shared());
        store.clear();
        EXPECT_TRUE(data.hasText());
        EXPECT_EQ(data.text(), text) << list.front();
        EXPECT_EQ(data.data(QStringLiteral("text/plain")), text.toUtf8());
    }
    EXPECT_TRUE(StatementsClipboardUtf8(StatementStore()).isEmpty());
}

}  // namespace
}  // namespace quarrytab
