#include <gtest/gtest.h>
#include <QList>
#include <QStringList>

#include "results/clipboard_text.h"
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

}  // namespace
}  // namespace quarrytab
