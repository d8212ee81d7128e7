#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QStringList>

#include "filelist/input_file_list.h"
#include "filelist/qt_text.h"
#include "support/case_name.h"
#include "test_support.h"

using quarrytab::InputFileList;

namespace {

QStringList g_modelFaults;

void RecordModelFaults(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtDebugMsg && QLatin1String(context.category) == QLatin1String("qt.modeltest"))
        g_modelFaults.append(text);
}

// Every list in these tests is watched by Qt's model checker, which checks each change signal
// against the model's state before and after; its complaints fail the test.
class InputFileListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_modelFaults.clear();
        m_previous = qInstallMessageHandler(RecordModelFaults);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            &list, QAbstractItemModelTester::FailureReportingMode::Warning);
    }
    void TearDown() override {
        m_tester.reset();
        qInstallMessageHandler(m_previous);
        EXPECT_TRUE(g_modelFaults.isEmpty()) << g_modelFaults.join(u'\n').toStdString();
    }

    InputFileList list;

  private:
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    QtMessageHandler m_previous = nullptr;
};

TEST_F(InputFileListTest, RowsKeepTheOrderAddedAndRepeatedPaths) {
    list.append(QStringLiteral("C:\\a.csv"));
    list.append(QStringList{QStringLiteral("C:\\b.csv"), QStringLiteral("C:\\a.csv")});
    list.append(QStringLiteral(""));
    EXPECT_EQ(list.paths(), (QStringList{"C:\\a.csv", "C:\\b.csv", "C:\\a.csv", ""}));
    EXPECT_EQ(list.count(), 4);
    EXPECT_EQ(list.rowCount(), 4);
    EXPECT_EQ(list.rowText(1), "C:\\b.csv");
    EXPECT_EQ(list.data(list.index(2)).toString(), "C:\\a.csv");
    EXPECT_EQ(list.rowText(-1), "");
    EXPECT_EQ(list.rowText(4), "");
    // A list has no children under its rows.
    EXPECT_EQ(list.rowCount(list.index(0)), 0);
#ifndef _WIN32
    // A name whose bytes are not UTF-8 keeps them in the row and shows replacement characters.
    const QString latin1 = quarrytab::FromPathBytes("/d/caf\xE9.csv");
    list.append(latin1);
    EXPECT_EQ(quarrytab::ToPathBytes(list.rowText(4)), "/d/caf\xE9.csv");
    EXPECT_EQ(list.data(list.index(4), Qt::EditRole).toString(), latin1);
    EXPECT_EQ(list.data(list.index(4)).toString(), QString::fromUtf16(u"/d/caf\uFFFD.csv"));
    EXPECT_TRUE(list.ItemInList(latin1));
    EXPECT_FALSE(list.ItemInList(QString::fromUtf16(u"/d/caf\uFFFD.csv")));
#endif
}

TEST_F(InputFileListTest, ABatchArrivesAsOneInsertionAndAnEmptyOneAsNone) {
    list.append(QStringLiteral("first"));
    QSignalSpy inserted(&list, &InputFileList::rowsInserted);
    QStringList batch;
    for (int i = 0; i < 1000; ++i) batch.append(QStringLiteral("/data/f%1.csv").arg(i));
    list.append(batch);
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 1);
    EXPECT_EQ(inserted.at(0).at(2).toInt(), 1000);
    list.append(QStringList());
    EXPECT_EQ(inserted.size(), 1);
    EXPECT_EQ(list.rowText(1000), "/data/f999.csv");
}

TEST_F(InputFileListTest, RemovingSelectedRowsTakesExactlyThoseRows) {
    for (const char* name : {"r0", "r1", "r2", "r3", "r4", "r5", "r6"})
        list.append(QString::fromLatin1(name));
    // Unordered, repeated and non-neighbouring rows, plus an index of no row.
    const QModelIndexList selected{list.index(5), list.index(1), list.index(2),
                                   list.index(5), list.index(6), QModelIndex()};
    EXPECT_TRUE(list.removeSelected(selected));
    EXPECT_EQ(list.paths(), (QStringList{"r0", "r3", "r4"}));
    EXPECT_FALSE(list.removeSelected({}));
    EXPECT_FALSE(list.removeSelected({QModelIndex()}));
    EXPECT_EQ(list.count(), 3);
}

TEST_F(InputFileListTest, RemoveRowsRefusesRowsOutsideTheList) {
    list.append(QStringList{"a", "b", "c"});
    EXPECT_FALSE(list.removeRows(2, 2));
    EXPECT_FALSE(list.removeRows(-1, 1));
    EXPECT_FALSE(list.removeRows(0, 0));
    EXPECT_FALSE(list.removeRows(0, 1, list.index(0)));
    EXPECT_TRUE(list.removeRow(1));
    EXPECT_EQ(list.paths(), (QStringList{"a", "c"}));
}

TEST_F(InputFileListTest, ClearEmptiesAndForgetsHeldRows) {
    list.append(QStringList{"a", "b"});
    const QPersistentModelIndex held(list.index(1));
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_FALSE(held.isValid());
    QSignalSpy reset(&list, &InputFileList::modelReset);
    list.clear();  // an empty list stays as it is, with no signal
    EXPECT_EQ(reset.size(), 0);
}

TEST_F(InputFileListTest, ARemovedRowIsNoLongerHeldAndOthersFollowTheirRow) {
    list.append(QStringList{"a", "b", "c"});
    const QPersistentModelIndex removed(list.index(1));
    const QPersistentModelIndex below(list.index(2));
    list.removeRow(1);
    EXPECT_FALSE(removed.isValid());
    EXPECT_EQ(below.row(), 1);
}

TEST_F(InputFileListTest, SwappingExchangesTwoRowsOnly) {
    list.append(QStringList{"r0", "r1", "r2", "r3", "r4"});
    QSignalSpy changed(&list, &InputFileList::dataChanged);
    EXPECT_TRUE(list.swapRows(1, 4));
    EXPECT_EQ(list.paths(), (QStringList{"r0", "r4", "r2", "r3", "r1"}));
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(changed.at(0).at(0).toModelIndex().row(), 1);
    EXPECT_EQ(changed.at(1).at(0).toModelIndex().row(), 4);
    EXPECT_FALSE(list.swapRows(0, 5));
    EXPECT_TRUE(list.swapRows(2, 2));
    EXPECT_EQ(list.paths(), (QStringList{"r0", "r4", "r2", "r3", "r1"}));
}

TEST_F(InputFileListTest, TheColumnCanBeNamedOnce) {
    QSignalSpy named(&list, &InputFileList::headerDataChanged);
    EXPECT_TRUE(list.setHeaderData(0, Qt::Horizontal, QStringLiteral("CSV File(s)")));
    EXPECT_EQ(list.headerData(0, Qt::Horizontal).toString(), "CSV File(s)");
    EXPECT_EQ(named.size(), 1);
    EXPECT_FALSE(list.setHeaderData(1, Qt::Horizontal, QStringLiteral("x")));
    EXPECT_FALSE(list.setHeaderData(0, Qt::Vertical, QStringLiteral("x")));
}

TEST_F(InputFileListTest, RowsAreSelectableButNotEditableNorDraggable) {
    list.append(QStringLiteral("a"));
    const Qt::ItemFlags flags = list.flags(list.index(0));
    EXPECT_TRUE(flags & Qt::ItemIsSelectable);
    EXPECT_FALSE(flags & Qt::ItemIsEditable);
    EXPECT_FALSE(flags & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(list.setData(list.index(0), QStringLiteral("b")));
}

struct ItemInListCase {
    const char* name;
    const char* rows;  // "|"-separated
    const char* path;
    bool listed;
};

class ItemInListTest : public ::testing::TestWithParam<ItemInListCase> {};

TEST_P(ItemInListTest, ComparesWholeTextsWithLetterCase) {
    InputFileList list;
    const QString rows = QString::fromUtf8(GetParam().rows);
    if (!rows.isEmpty())
        list.append(rows.split(u'|'));
    EXPECT_EQ(list.ItemInList(QString::fromUtf8(GetParam().path)), GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ItemInListTest,
    ::testing::Values(ItemInListCase{"EmptyList", "", "a.csv", false},
                      ItemInListCase{"SameText", "C:\\s\\a.csv", "C:\\s\\a.csv", true},
                      ItemInListCase{"OtherLetterCase", "C:\\s\\a.csv", "c:\\s\\a.csv", false},
                      ItemInListCase{"Prefix", "C:\\s\\a.csv", "C:\\s\\a.cs", false},
                      ItemInListCase{"TrailingSpace", "C:\\s\\a.csv", "C:\\s\\a.csv ", false},
                      ItemInListCase{"LastOfSeveral", "x|y|C:\\s\\b.csv", "C:\\s\\b.csv", true},
                      ItemInListCase{"EmptyPath", "x|y", "", false}),
    CaseName());

}  // namespace
