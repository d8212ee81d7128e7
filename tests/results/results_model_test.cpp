#include <gtest/gtest.h>
#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "results/display_text.h"
#include "results/results_model.h"
#include "support/case_name.h"

namespace quarrytab {
namespace {

QStringList Texts(const ResultsModel& model) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts.append(model.data(model.index(row)).toString());
    return texts;
}

TEST(ResultsModel, AppendsRemovesAndClearsAsAConsistentModel) {
    ResultsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    model.statement("first");
    StatementBlock block;
    for (const char* text : {"second", "", "fourth"}) {
        block.bytes += text;
        block.ends.push_back(block.bytes.size());
    }
    model.appendBlock(std::move(block));
    model.appendBlock(StatementBlock());  // an empty block changes nothing
    EXPECT_EQ(inserted.count(), 2);       // one notification per block, not per row
    EXPECT_EQ(Texts(model), (QStringList{"first", "second", "", "fourth"}));

    EXPECT_TRUE(model.removeRows(1, 2));
    EXPECT_EQ(Texts(model), (QStringList{"first", "fourth"}));
    EXPECT_FALSE(model.removeRows(2, 1));
    EXPECT_FALSE(model.removeRows(-1, 1));
    EXPECT_EQ(model.rowBytes(1), "fourth");

    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    model.clear();  // clearing an empty list is harmless
    model.statement("after");
    EXPECT_EQ(Texts(model), QStringList{"after"});
}

TEST(ResultsModel, HeaderIsSetThroughSetHeaderDataForTheOneColumnOnly) {
    ResultsModel model;
    QSignalSpy changed(&model, &QAbstractItemModel::headerDataChanged);
    EXPECT_TRUE(model.setHeaderData(0, Qt::Horizontal, QStringLiteral("Result(s)")));
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Result(s)"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(model.setHeaderData(1, Qt::Horizontal, QStringLiteral("x")));
    EXPECT_FALSE(model.setHeaderData(0, Qt::Vertical, QStringLiteral("x")));
    EXPECT_FALSE(model.flags(model.index(0)) & Qt::ItemIsEditable);
}

struct DecodeCase {
    const char* name;
    std::string bytes;
    QString text;
};

class DisplayTextCases : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DisplayTextCases, DecodesUtf8WhereValidElseWindows1252) {
    EXPECT_EQ(DisplayText(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisplayTextCases,
    ::testing::Values(
        DecodeCase{"ascii", "INSERT 'x'", QStringLiteral("INSERT 'x'")},
        DecodeCase{"empty", "", QString()},
        DecodeCase{"utf8", "caf\xc3\xa9 \xe2\x82\xac", QStringLiteral(u"caf\u00e9 \u20ac")},
        DecodeCase{"latin", "caf\xe9", QStringLiteral(u"caf\u00e9")},
        DecodeCase{"cp1252Specials", "\x80\x8a\x93\x94\x9f",
                   QStringLiteral(u"\u20ac\u0160\u201c\u201d\u0178")},
        DecodeCase{"cp1252Unassigned", "\x81\x8d\x8f\x90\x9d",
                   QStringLiteral(u"\u0081\u008d\u008f\u0090\u009d")},
        // One invalid byte makes the whole statement single-byte text, valid pairs included.
        DecodeCase{"mixed", "\xc3\xa9\xff", QStringLiteral(u"\u00c3\u00a9\u00ff")},
        DecodeCase{"truncatedSequence", "ab\xe2\x82", QStringLiteral(u"ab\u00e2\u201a")},
        DecodeCase{"nul", std::string("a\0b", 3),
                   QString(QStringLiteral("a")) + QChar(0) + QChar('b')}),
    CaseName());

}  // namespace
}  // namespace quarrytab
