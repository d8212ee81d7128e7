// The reading rules dialog on its own: its preview redrawn as rules change, the keyboard, OK,
// Cancel and "Classic Rules", and a preview that reads a bounded sample of a huge file.
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include "app/qt_prompts.h"
#include "app/rules_dialog.h"
#include "test_support.h"

using namespace quarrytab;
using quarrytab::testing::WriteFile;

namespace {

const QByteArray kPeople =
    "id,name,city,note\r\n1,\"Smith, Anna\",Oslo,first\r\n2,\"O'Brien, Pat\",\"New York\",\"said "
    "\"\"hi\"\"\"\r\n3,Lee,Seoul,\r\n4,Short,Paris\r\n5,\"two\r\nlines\",Bergen,last\r\n";

QStringList Headers(const QTableWidget* table) {
    QStringList headers;
    for (int k = 0; k < table->columnCount(); ++k) {
        const QTableWidgetItem* item = table->horizontalHeaderItem(k);
        headers << (item != nullptr ? item->text() : QString());
    }
    return headers;
}

QStringList Row(const QTableWidget* table, int row) {
    QStringList cells;
    for (int k = 0; k < table->columnCount(); ++k) {
        const QTableWidgetItem* item = table->item(row, k);
        cells << (item != nullptr ? item->text() : QStringLiteral("-"));
    }
    return cells;
}

QString RowMark(const QTableWidget* table, int row) {
    return table->verticalHeaderItem(row)->text();
}

QString FirstStatement(const RulesDialog& dialog) {
    return dialog.previewStatements->toPlainText().section(QLatin1Char('\n'), 0, 0);
}

}  // namespace

class RulesDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void thePreviewFollowsEveryRule();
    void everyControlIsReachedByTheKeyboardAndOkKeepsTheRules();
    void aHugeLineIsPreviewedFromItsFirstBytes();
    void detectSetsTheRulesAndDetectionPerFileIsPreviewed();

  private:
    QTemporaryDir m_dir;
    RulesRequest request(const QByteArray& bytes) {
        const QString path = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("people.csv")));
        WriteFile(path, bytes);
        RulesRequest asked;
        asked.files = {QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("absent.csv"))),
                       path};
        asked.shownFile = 1;
        return asked;
    }
};

void RulesDialogTest::thePreviewFollowsEveryRule() {
    RulesDialog dialog(request(kPeople));
    QTableWidget* table = dialog.previewTable;
    // The classic rules: every comma cuts, the first line is data.
    QCOMPARE(Headers(table), (QStringList{"fld1", "fld2", "fld3", "fld4", ""}));
    QCOMPARE(Row(table, 1), (QStringList{"1", "\"Smith", " Anna\"", "Oslo", "first"}));
    QCOMPARE(FirstStatement(dialog),
             QStringLiteral("CREATE TABLE 'Table1_people' ('fld1' text,'fld2' text,'fld3' "
                            "text,'fld4' text);"));

    // Each change redraws the preview by itself.
    dialog.quotedFields->click();
    QTRY_COMPARE(Row(table, 1), (QStringList{"1", "Smith, Anna", "Oslo", "first"}));
    QCOMPARE(Row(table, 2), (QStringList{"2", "O'Brien, Pat", "New York", "said \"hi\""}));
    QCOMPARE(Row(table, 5),
             (QStringList{"5", QStringLiteral(u"two\u21b5lines"), "Bergen", "last"}));
    dialog.headerRow->setChecked(true);
    QTRY_COMPARE(Headers(table), (QStringList{"id", "name", "city", "note"}));
    QCOMPARE(table->rowCount(), 5);
    QCOMPARE(Row(table, 0), (QStringList{"1", "Smith, Anna", "Oslo", "first"}));
    // The short row is marked, and the notes name its line.
    QCOMPARE(RowMark(table, 3), QStringLiteral("4 !"));
    QCOMPARE(RowMark(table, 2), QStringLiteral("3"));
    QVERIFY2(dialog.previewNotes->text().contains(QStringLiteral("(line 5); kept as they are")),
             qPrintable(dialog.previewNotes->text()));
    QCOMPARE(FirstStatement(dialog),
             QStringLiteral("CREATE TABLE 'Table1_people' ('id' text,'name' text,'city' "
                            "text,'note' text);"));

    dialog.database->setCurrentIndex(2);    // PostgreSQL
    dialog.otherWidth->setCurrentIndex(1);  // pad
    dialog.emptyAsNull->setChecked(true);
    QTRY_COMPARE(Row(table, 3), (QStringList{"4", "Short", "Paris", "NULL"}));
    QCOMPARE(Row(table, 2), (QStringList{"3", "Lee", "Seoul", "NULL"}));
    // PostgreSQL's statements begin with its setup.
    QCOMPARE(dialog.previewStatements->toPlainText().section(QLatin1Char('\n'), 0, 1),
             QStringLiteral("SET client_encoding TO 'UTF8';\nCREATE TABLE \"Table1_people\" "
                            "(\"id\" TEXT,\"name\" TEXT,\"city\" TEXT,\"note\" TEXT);"));
    QVERIFY(dialog.previewStatements->toPlainText().contains(
        QStringLiteral("VALUES ('4','Short','Paris',NULL);")));
    dialog.encoding->setCurrentText(QStringLiteral("klingon"));
    QTRY_VERIFY(dialog.previewNotes->text().contains(QStringLiteral("klingon")));
    QCOMPARE(table->rowCount(), 0);

    // Another file of the list; one that cannot be read says why.
    dialog.previewFile->setCurrentIndex(0);
    QTRY_VERIFY(dialog.previewNotes->text() != QString());
    QCOMPARE(table->rowCount(), 0);

    QTest::mouseClick(dialog.classicButton, Qt::LeftButton);
    QCOMPARE(dialog.rules(), ReadingRules{});
    QCOMPARE(dialog.encoding->currentText(), QStringLiteral("(bytes as they are)"));
}

void RulesDialogTest::everyControlIsReachedByTheKeyboardAndOkKeepsTheRules() {
    QtPrompts prompts;
    RulesRequest asked = request(kPeople);
    asked.size = QSize(900, 600);
    // Tab visits every control; space sets a check box.
    QStringList visited;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<RulesDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->size(), QSize(900, 600));
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        dialog->quotedFields->setFocus();
        for (int i = 0; i < 30 && QApplication::focusWidget() != nullptr; ++i) {
            visited << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        dialog->headerRow->setFocus();
        QTest::keyClick(dialog->headerRow, Qt::Key_Space);
        dialog->resize(920, 620);
        QTest::keyClick(dialog, Qt::Key_Return);  // OK
    });
    QVERIFY(prompts.readingRules(asked));
    for (const char* name :
         {"quotedFields", "headerRow", "skipLines", "commentPrefix", "encoding", "detectEachFile",
          "database", "emptyAsNull", "otherWidth", "rowsPerInsert", "transaction", "previewFile",
          "detectButton", "previewTable", "previewStatements", "classicButton"}) {
        QVERIFY2(visited.contains(QLatin1String(name)), qPrintable(visited.join(" ")));
    }
    ReadingRules header;
    header.HeaderRow = true;
    QCOMPARE(asked.rules, header);
    QCOMPARE(asked.size, QSize(920, 620));

    // Cancel leaves the rules as they were.
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<RulesDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        dialog->quotedFields->setChecked(true);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QVERIFY(!prompts.readingRules(asked));
    QCOMPARE(asked.rules, header);
}

void RulesDialogTest::aHugeLineIsPreviewedFromItsFirstBytes() {
    // One line three times the sample: the preview shows its start, marked as cut there.
    QByteArray line = "\"" + QByteArray(3 * int(kPreviewSampleBytes), 'x');
    RulesRequest asked = request(line);
    asked.rules.QuotedFields = true;
    RulesDialog dialog(asked);
    QCOMPARE(dialog.previewTable->rowCount(), 1);
    QCOMPARE(RowMark(dialog.previewTable, 0), QStringLiteral(u"1 \u2026"));
    // A quote still open where the sample ends is no fault of the file.
    QCOMPARE(dialog.previewNotes->text(), QStringLiteral("1 records in its first 128 KiB."));
}

void RulesDialogTest::detectSetsTheRulesAndDetectionPerFileIsPreviewed() {
    // A semicolon file with a title line and quoted fields, shown under the window's comma.
    RulesRequest asked = request("Prices 2024\r\nitem;price\r\n\"a; b\";1,50\r\nc;2\r\n");
    asked.window.CsvDelimiter = ",";
    RulesDialog dialog(asked);
    QCOMPARE(dialog.delimiterShown->text(), QStringLiteral("comma ,"));
    QTest::mouseClick(dialog.detectButton, Qt::LeftButton);
    QCOMPARE(dialog.delimiter(), std::string(";"));
    QCOMPARE(dialog.delimiterShown->text(), QStringLiteral("semicolon ;"));
    QVERIFY(dialog.quotedFields->isChecked());
    QVERIFY(dialog.headerRow->isChecked());
    QCOMPARE(dialog.skipLines->value(), 1);
    QVERIFY2(dialog.detectResult->text().startsWith(QStringLiteral("Found: ")),
             qPrintable(dialog.detectResult->text()));
    QTRY_COMPARE(Headers(dialog.previewTable), (QStringList{"item", "price"}));
    QCOMPARE(Row(dialog.previewTable, 0), (QStringList{"a; b", "1,50"}));

    // Detection at run time: the preview reads the file as the run will, under the window's
    // own comma, and says what was decided; quoting and header are no longer the user's.
    dialog.setRules(ReadingRules{});
    dialog.detectEachFile->setChecked(true);
    QVERIFY(!dialog.quotedFields->isEnabled());
    dialog.refresh();
    QCOMPARE(Headers(dialog.previewTable), (QStringList{"item", "price"}));
    QCOMPARE(Row(dialog.previewTable, 1), (QStringList{"c", "2"}));
    QVERIFY2(dialog.previewNotes->text().contains(QStringLiteral("Read as: ")),
             qPrintable(dialog.previewNotes->text()));
}

int RunRulesDialogTests(int argc, char** argv) {
    RulesDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "rules_dialog_test.moc"
