#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyle>
#include <QTreeView>
#include <QtTest>

#include "app/form1.h"
#include "app/handler_locations.h"
#include "app/reading_rules.h"
#include "engine/failure_numbers.h"
#include "filelist/input_file_list.h"
#include "test_support.h"

using namespace quarrytab;
using quarrytab::testing::CursorFileBytes;
using quarrytab::testing::kAbsent;
using quarrytab::testing::Shown;
using quarrytab::testing::WindowFixture;
using quarrytab::testing::WriteFile;

namespace {

QString Location(std::string_view location) {
    return QString::fromUtf8(location.data(), static_cast<qsizetype>(location.size()));
}

QString ExpectedReport(const QString& description, std::string_view location, int line) {
    return description + QStringLiteral("\r\n") + Location(location) +
           QStringLiteral(
               "at line %1\r\rPlease email screenshot of this message to "
               "support@quarrytab.example")
               .arg(line);
}

QString DesktopWithSeparator() {
    return QDir::toNativeSeparators(
               QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)) +
           QDir::separator();
}

// Clicks an option button or check box on its indicator, as a user does.
void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

QStringList CheckedOptions(Form1& form) {
    QStringList checked;
    for (QRadioButton* button : form.findChildren<QRadioButton*>()) {
        if (button->isChecked()) {
            checked.append(button->objectName());
        }
    }
    checked.sort();
    return checked;
}

// The line numbers of the "Application Error" reports shown, in order.
QList<int> ReportedLines(const QList<Shown>& errors) {
    QList<int> lines;
    static const QRegularExpression atLine(QStringLiteral("at line (\\d+)\r"));
    for (const Shown& error : errors) {
        lines.append(atLine.match(error.text).captured(1).toInt());
    }
    return lines;
}

}  // namespace

class Form1Test : public QObject {
    Q_OBJECT
  private slots:
    void everyControlIsPlacedAsDesigned_data();
    void everyControlIsPlacedAsDesigned();
    void fontsSizeAndListsFollowTheDesign();
    void aFirstStartShowsTheDefaults();
    void restoreRules_data();
    void restoreRules();
    void storedTextsAreRestoredAsStored();
    void badStoredValuesAreReportedAndStartUpGoesOn();
    void aStoreThatCannotBeSavedIsReportedOnce();
    void typingWritesEveryKeystroke();
    void choicesAreWrittenWhenClicked();
    void theOutputChoiceEnablesTheFolderFrame();
    void theOutputFolderButtonChoosesAFolder();
    void aFailingFolderDialogIsReportedAtItsLine();
    void anEmptyOtherDelimiterIsRemindedOf();
    void buttonsShowTheirPointerUnlessBusy();
    void theHandImageComesFromTheProgramFolder();
    void theSkinTurnsTheDesignToTheButtonFace();
    void aBrokenSkinIsReportedAndStartUpGoesOn();
    void withoutADisplayTheProgramSaysSoAndEnds();
    void readingRulesAreStoredAtOnceRestoredAndShown();
};

void Form1Test::everyControlIsPlacedAsDesigned_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    // The design's layout, written out here rather than read from the table the window is built
    // from, so a wrong number in that table shows: name, container, caption or initial text,
    // and left, top, width and height in twips.
    struct Placed {
        const char* name;
        const char* parent;
        const char* caption;
        QRect twips;
    };
    const Placed design[] = {
        {"ListView1", "Form1", "", {120, 120, 7800, 2805}},
        {"PushButton1", "Form1", "Add CSV Files", {120, 3020, 3840, 405}},
        {"PushButton5", "Form1", "Add All CSV Files In Folder", {4080, 3020, 3840, 405}},
        {"PushButton7", "Form1", "Clear List", {120, 3530, 3840, 405}},
        {"PushButton3", "Form1", "Load Sample/Example Files", {4080, 3530, 3840, 405}},
        {"Frame6", "Form1", "CSV Delimiter", {120, 3990, 7800, 750}},
        {"Option11", "Frame6", "Comma", {240, 300, 1140, 225}},
        {"Option12", "Frame6", "Comma-space", {1485, 300, 1725, 225}},
        {"Option13", "Frame6", "Semicolon", {3330, 300, 1455, 225}},
        {"Option14", "Frame6", "Tab", {4860, 300, 780, 225}},
        {"Option15", "Frame6", "Other", {5760, 300, 825, 225}},
        {"Text4", "Frame6", "|", {6600, 255, 915, 330}},
        {"Frame4", "Form1", "Table Name", {120, 4800, 7800, 810}},
        {"Text1", "Frame4", "Text1", {240, 300, 7300, 345}},
        {"Frame5", "Form1", "Table and Field Delimiting Character", {120, 5655, 7800, 870}},
        {"Text2", "Frame5", "'", {240, 360, 7300, 330}},
        {"Frame3", "Form1", "Options", {8040, 60, 7800, 1395}},
        {"Option7",
         "Frame3",
         "Use Create Table command with first row followed by Insert command",
         {240, 300, 6315, 255}},
        {"Option6", "Frame3", "Use Insert command on all rows", {240, 650, 6285, 255}},
        {"Check3", "Frame3", "Include ; at the end of each line", {240, 1000, 4095, 255}},
        // Added to the design: the rules for real-world files, beside Check3.
        {"PushButton10", "Frame3", "Reading Rules...", {4560, 940, 2700, 375}},
        {"PushButton2", "Form1", "Start Converting", {8040, 1575, 7800, 405}},
        {"ListView2", "Form1", "", {8040, 2070, 7800, 1575}},
        {"Frame1", "Form1", "Save Option", {8040, 3680, 7800, 1815}},
        {"Option1", "Frame1", "Save results to this folder:", {240, 300, 3615, 255}},
        {"Frame2", "Frame1", "", {480, 510, 6840, 810}},
        {"Text3", "Frame2", "", {240, 300, 5670, 345}},
        {"PushButton6", "Frame2", "...", {6000, 300, 600, 345}},
        {"Option2", "Frame1", "Save results in folder of original file", {240, 1410, 3615, 255}},
        {"PushButton8", "Form1", "Save Results As Text File", {8040, 5610, 3840, 405}},
        {"PushButton9", "Form1", "Clear Results", {12000, 5610, 3840, 405}},
        {"PushButton4", "Form1", "Copy Results To Clipboard", {8040, 6120, 7800, 405}},
    };
    for (const Placed& control : design) {
        QTest::newRow(control.name)
            << QString::fromLatin1(control.name) << QString::fromLatin1(control.parent)
            << QString::fromUtf8(control.caption) << control.twips;
    }
    // No control of the window is left out of the rows above.
    QTest::newRow("no other control") << QString() << QString() << QString() << QRect();
}

void Form1Test::everyControlIsPlacedAsDesigned() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    // Before start-up, so the texts are the design's initial ones.
    WindowFixture fixture;
    SettingsStore store(fixture.settingsFile);
    Form1 form(fixture.prompts, store, fixture.programFolder);
    if (name.isEmpty()) {
        int named = 0;
        for (const QWidget* child : form.findChildren<QWidget*>()) {
            const QString childName = child->objectName();
            named += childName.startsWith(QLatin1String("ListView")) ||
                     childName.startsWith(QLatin1String("PushButton")) ||
                     childName.startsWith(QLatin1String("Frame")) ||
                     childName.startsWith(QLatin1String("Option")) ||
                     childName.startsWith(QLatin1String("Check")) ||
                     childName.startsWith(QLatin1String("Text"));
        }
        QCOMPARE(named, 32);
        return;
    }

    auto* control = form.findChild<QWidget*>(name);
    QVERIFY(control != nullptr);
    QCOMPARE(control->parentWidget()->objectName(), parent);
    QString shown;
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        shown = button->text();
    } else if (auto* frame = qobject_cast<QGroupBox*>(control)) {
        shown = frame->title();
    } else if (auto* text = qobject_cast<QLineEdit*>(control)) {
        shown = text->text();
    }
    QCOMPARE(shown, caption);
    const QRect pixels = control->geometry();
    // 15 twips to the pixel, to the nearest pixel.
    QVERIFY2(qAbs(pixels.x() * 15 - twips.x()) <= 7 && qAbs(pixels.y() * 15 - twips.y()) <= 7 &&
                 qAbs(pixels.width() * 15 - twips.width()) <= 7 &&
                 qAbs(pixels.height() * 15 - twips.height()) <= 7,
             qPrintable(QStringLiteral("placed at %1,%2 %3x%4 px")
                            .arg(pixels.x())
                            .arg(pixels.y())
                            .arg(pixels.width())
                            .arg(pixels.height())));
}

// The design's fonts on every control, in Arial or, where the system has no Arial, the Liberation
// Sans the program ships (the same metrics), and every caption whole within its control.
void CheckFontsAndCaptions(Form1& form) {
    const QString family = QFontInfo(form.font()).family();
    QVERIFY2(family == QStringLiteral("Arial") || family == QStringLiteral("Liberation Sans"),
             qPrintable(family));
    for (QPushButton* button : form.findChildren<QPushButton*>()) {
        QCOMPARE(button->font().pointSizeF(), 11.25);
        QVERIFY(button->font().bold());
        QCOMPARE(QFontInfo(button->font()).family(), family);
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) < button->width() - 4,
                 qPrintable(button->text()));
    }
    for (QWidget* other : {static_cast<QWidget*>(form.Option7), static_cast<QWidget*>(form.Frame3),
                           static_cast<QWidget*>(form.Text1), static_cast<QWidget*>(form.Check3)}) {
        QCOMPARE(other->font().pointSizeF(), 9.0);
        QVERIFY(other->font().bold());
        QCOMPARE(QFontInfo(other->font()).family(), family);
    }
    // An option's caption follows its indicator and the gap after it.
    const auto captionFits = [](QAbstractButton* option, QStyle::PixelMetric indicator,
                                QStyle::PixelMetric gap) {
        QStyle* style = option->style();
        return option->fontMetrics().horizontalAdvance(option->text()) +
                   style->pixelMetric(indicator, nullptr, option) +
                   style->pixelMetric(gap, nullptr, option) <=
               option->width();
    };
    for (QRadioButton* option : form.findChildren<QRadioButton*>()) {
        QVERIFY2(captionFits(option, QStyle::PM_ExclusiveIndicatorWidth,
                             QStyle::PM_RadioButtonLabelSpacing),
                 qPrintable(option->text()));
    }
    QVERIFY2(captionFits(form.Check3, QStyle::PM_IndicatorWidth, QStyle::PM_CheckBoxLabelSpacing),
             qPrintable(form.Check3->text()));
    for (QGroupBox* frame : form.findChildren<QGroupBox*>()) {
        QVERIFY2(frame->fontMetrics().horizontalAdvance(frame->title()) < frame->width() - 8,
                 qPrintable(frame->title()));
    }
}

void Form1Test::fontsSizeAndListsFollowTheDesign() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    QCOMPARE(form.size(), QSize(1064, 442));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QCOMPARE(form.windowTitle(), QStringLiteral("Quarrytab Software"));
    QVERIFY(!form.windowIcon().isNull());
    QVERIFY(!form.windowIcon().pixmap(32, 32).isNull());

    CheckFontsAndCaptions(form);

    const auto checkList = [](QTreeView* list, const char* header, const char* toolTip) {
        QCOMPARE(list->model()->columnCount(), 1);
        QCOMPARE(list->model()->headerData(0, Qt::Horizontal).toString(),
                 QString::fromLatin1(header));
        QCOMPARE(list->columnWidth(0), 480);  // 7200 twips
        QVERIFY(!list->header()->isHidden());
        QCOMPARE(list->toolTip(), QString::fromLatin1(toolTip));
    };
    checkList(form.ListView1, "CSV File(s)",
              "Drag and drop files here. Double-click item to remove it. Move | line to right and "
              "out of window to reveal full names.");
    checkList(form.ListView2, "Result(s)",
              "Move | line to right and out of window to reveal full names.");
}

void Form1Test::aFirstStartShowsTheDefaults() {
    WindowFixture fixture;
    Form1& form = fixture.start();

    QVERIFY(fixture.prompts.shown.isEmpty());
    QCOMPARE(form.applicationTitle(), QStringLiteral("Quarrytab"));
    QCOMPARE(CheckedOptions(form),
             (QStringList{QStringLiteral("Option1"), QStringLiteral("Option11"),
                          QStringLiteral("Option7")}));
    QVERIFY(form.Check3->isChecked());
    QCOMPARE(form.Text1->text(), QStringLiteral("Table1"));
    QCOMPARE(form.Text2->text(), QStringLiteral("'"));
    QCOMPARE(form.Text3->text(), DesktopWithSeparator());
    QCOMPARE(form.Text4->text(), QStringLiteral("|"));
    QVERIFY(form.Frame2->isEnabled());
    QVERIFY(form.Text3->isEnabled());
    QVERIFY(form.PushButton6->isEnabled());

    // Only restores that changed a control's initial value created keys.
    QCOMPARE(fixture.stored(QStringLiteral("Table Name")), QStringLiteral("Table1"));
    QCOMPARE(fixture.stored(QStringLiteral("Output Folder")), DesktopWithSeparator());
    QCOMPARE(fixture.stored(QStringLiteral("Option")), kAbsent);
    QCOMPARE(fixture.stored(QStringLiteral("Include")), kAbsent);
}

void Form1Test::restoreRules_data() {
    QTest::addColumn<QStringList>("stored");  // "key=value"
    QTest::addColumn<QStringList>("checkedOptions");
    QTest::addColumn<bool>("check3");
    QTest::addColumn<bool>("frame2Enabled");

    const QStringList defaults = {"Option1", "Option11", "Option7"};
    QTest::newRow("mode 1") << QStringList{"Option=1"}
                            << QStringList{"Option1", "Option11", "Option6"} << true << true;
    QTest::newRow("mode 2 after 1") << QStringList{"Option=2"} << defaults << true << true;
    QTest::newRow("mode 3 keeps the design") << QStringList{"Option=3"} << defaults << true << true;
    QTest::newRow("mode as decimal")
        << QStringList{"Option= 1.0"} << QStringList{"Option1", "Option11", "Option6"} << true
        << true;
    QTest::newRow("include False") << QStringList{"Include=False"} << defaults << false << true;
    QTest::newRow("include lower case") << QStringList{"Include=true"} << defaults << false << true;
    QTest::newRow("include True") << QStringList{"Include=True"} << defaults << true << true;
    QTest::newRow("neither output choice") << QStringList{"Option1=False", "Option2=False"}
                                           << QStringList{"Option11", "Option7"} << true << false;
    QTest::newRow("both output choices")
        << QStringList{"Option1=True", "Option2=True"}
        << QStringList{"Option11", "Option2", "Option7"} << true << false;
    QTest::newRow("output choice as numbers")
        << QStringList{"Option1=0", "Option2=-1"} << QStringList{"Option11", "Option2", "Option7"}
        << true << false;
    QTest::newRow("output choice in other case")
        << QStringList{"Option1=FALSE", "Option2=true"}
        << QStringList{"Option11", "Option2", "Option7"} << true << false;
    QTest::newRow("semicolon delimiter")
        << QStringList{"Option11=False", "Option12=False", "Option13=True", "Option14=False",
                       "Option15=False"}
        << QStringList{"Option1", "Option13", "Option7"} << true << true;
    QTest::newRow("first True delimiter wins")
        << QStringList{"Option12=True", "Option14=True"}
        << QStringList{"Option1", "Option12", "Option7"} << true << true;
    QTest::newRow("delimiter needs exactly True")
        << QStringList{"Option15=true"} << defaults << true << true;
}

void Form1Test::restoreRules() {
    QFETCH(QStringList, stored);
    QFETCH(QStringList, checkedOptions);
    QFETCH(bool, check3);
    QFETCH(bool, frame2Enabled);
    WindowFixture fixture;
    for (const QString& pair : stored) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        fixture.preset(pair.left(equals), pair.mid(equals + 1));
    }
    Form1& form = fixture.start();
    QCOMPARE(fixture.prompts.shown.size(), 0);
    QCOMPARE(CheckedOptions(form), checkedOptions);
    QCOMPARE(form.Check3->isChecked(), check3);
    QCOMPARE(form.Frame2->isEnabled(), frame2Enabled);
    QCOMPARE(form.Text3->isEnabled(), frame2Enabled);
    QCOMPARE(form.PushButton6->isEnabled(), frame2Enabled);
}

void Form1Test::storedTextsAreRestoredAsStored() {
    WindowFixture fixture;
    fixture.preset(QStringLiteral("Table Name"), QString());
    fixture.preset(QStringLiteral("Table Delimited"), QStringLiteral("["));
    fixture.preset(QStringLiteral("Output Folder"), QStringLiteral("  /srv/out  "));
    fixture.preset(QStringLiteral("Other"), QString());
    Form1& form = fixture.start();
    QCOMPARE(form.Text1->text(), QString());
    QCOMPARE(form.Text2->text(), QStringLiteral("["));
    QCOMPARE(form.Text3->text(), QStringLiteral("  /srv/out  "));
    // An empty delimiter is not corrected at start-up and raises no reminder there.
    QCOMPARE(form.Text4->text(), QString());
    QVERIFY(fixture.prompts.shown.isEmpty());
    QCOMPARE(fixture.stored(QStringLiteral("Table Name")), QString());
}

void Form1Test::badStoredValuesAreReportedAndStartUpGoesOn() {
    WindowFixture fixture;
    fixture.preset(QStringLiteral("Option"), QStringLiteral("x"));
    fixture.preset(QStringLiteral("Option1"), QStringLiteral("maybe"));
    fixture.preset(QStringLiteral("Option2"), QStringLiteral("yes"));
    fixture.preset(QStringLiteral("Table Name"), QStringLiteral("Orders"));
    Form1& form = fixture.start();

    const QList<Shown> errors = fixture.prompts.shownOfKind(QStringLiteral("error"));
    QCOMPARE(errors.size(), fixture.prompts.shown.size());
    QCOMPARE(ReportedLines(errors), (QList<int>{140, 164, 166}));
    QCOMPARE(errors.first().text,
             QStringLiteral("Type mismatch\r\nin Quarrytab2021/08/31.Form1.Form_Load at line "
                            "140\r\rPlease email screenshot of this message to "
                            "support@quarrytab.example"));
    for (const Shown& error : errors) {
        QCOMPARE(error.title, QStringLiteral("Application Error"));
        QCOMPARE(error.text, ExpectedReport(QStringLiteral("Type mismatch"), locations::kFormLoad,
                                            ReportedLines({error}).first()));
    }

    // The failed test of "Option" runs the step it guards: Option6, which stores "1".
    QVERIFY(form.Option6->isChecked());
    QCOMPARE(fixture.stored(QStringLiteral("Option")), QStringLiteral("1"));
    // The output choice keeps its design state; the later steps ran.
    QVERIFY(form.Option1->isChecked());
    QVERIFY(form.Frame2->isEnabled());
    QCOMPARE(form.Text1->text(), QStringLiteral("Orders"));
    QCOMPARE(form.applicationTitle(), QStringLiteral("Quarrytab"));

    // Start-up reports afresh on the next run: "Option" is now good, the others still are not.
    fixture.restart();
    QCOMPARE(ReportedLines(fixture.prompts.shownOfKind(QStringLiteral("error"))),
             (QList<int>{164, 166}));
}

void Form1Test::aStoreThatCannotBeSavedIsReportedOnce() {
    WindowFixture fixture;
    // The store's folder cannot be created, so nothing can be saved.
    const QString blocker = fixture.scratchPath(QStringLiteral("blocker"));
    WriteFile(blocker, "a file");
    SettingsStore store(blocker + QStringLiteral("/Velmora.ini"));
    Form1 form(fixture.prompts, store, fixture.programFolder);
    form.Form_Load();
    // Start-up reports each write that failed with its own line: recording the sample files,
    // then each restore whose write-back failed.
    QCOMPARE(ReportedLines(fixture.prompts.shownOfKind(QStringLiteral("error"))),
             (QList<int>{108, 156, 160}));
    QCOMPARE(form.Text1->text(), QStringLiteral("Table1"));
    fixture.prompts.shown.clear();

    // Later changes keep working in the window; the user hears once that they are not kept.
    QTest::keyClicks(form.Text1, QStringLiteral("xy"));
    Click(form.Option6);
    QCOMPARE(form.Text1->text(), QStringLiteral("Table1xy"));
    QVERIFY(form.Option6->isChecked());
    const QList<Shown> shown = fixture.prompts.shown;
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().kind, QStringLiteral("error"));
    QCOMPARE(shown.first().title, QStringLiteral("Quarrytab"));
    QVERIFY(shown.first().text.contains(QStringLiteral("will not be remembered")));
}

void Form1Test::typingWritesEveryKeystroke() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.Text1->clear();
    QCOMPARE(fixture.stored(QStringLiteral("Table Name")), QString());
    for (const char* expected : {"a", "ab", "abc"}) {
        QTest::keyClick(form.Text1, expected[qstrlen(expected) - 1]);
        QCOMPARE(fixture.stored(QStringLiteral("Table Name")), QString::fromLatin1(expected));
    }
    QTest::keyClicks(form.Text2, QStringLiteral("["));
    QTest::keyClicks(form.Text4, QStringLiteral(";"));
    form.Text3->selectAll();
    QTest::keyClicks(form.Text3, QStringLiteral("/srv/out/"));
    QCOMPARE(fixture.stored(QStringLiteral("Table Delimited")), QStringLiteral("'["));
    QCOMPARE(fixture.stored(QStringLiteral("Other")), QStringLiteral("|;"));
    QCOMPARE(fixture.stored(QStringLiteral("Output Folder")), QStringLiteral("/srv/out/"));

    Form1& again = fixture.restart();
    QCOMPARE(again.Text1->text(), QStringLiteral("abc"));
    QCOMPARE(again.Text2->text(), QStringLiteral("'["));
    QCOMPARE(again.Text3->text(), QStringLiteral("/srv/out/"));
    QCOMPARE(again.Text4->text(), QStringLiteral("|;"));
}

void Form1Test::choicesAreWrittenWhenClicked() {
    WindowFixture fixture;
    Form1& form = fixture.start();

    Click(form.Option6);
    QCOMPARE(fixture.stored(QStringLiteral("Option")), QStringLiteral("1"));
    Click(form.Option7);
    QCOMPARE(fixture.stored(QStringLiteral("Option")), QStringLiteral("2"));

    Click(form.Check3);
    QCOMPARE(fixture.stored(QStringLiteral("Include")), QStringLiteral("False"));
    Click(form.Check3);
    QCOMPARE(fixture.stored(QStringLiteral("Include")), QStringLiteral("True"));

    Click(form.Option13);
    const auto delimiterKeys = [&] {
        QStringList values;
        for (const char* key : {"Option11", "Option12", "Option13", "Option14", "Option15"}) {
            values.append(fixture.stored(QLatin1String(key)));
        }
        return values.join(QLatin1Char(','));
    };
    QCOMPARE(delimiterKeys(), QStringLiteral("False,False,True,False,False"));
    Click(form.Option15);
    QCOMPARE(delimiterKeys(), QStringLiteral("False,False,False,False,True"));

    // Clicking the selected button again stores the same.
    Click(form.Option15);
    QCOMPARE(delimiterKeys(), QStringLiteral("False,False,False,False,True"));

    Form1& again = fixture.restart();
    QVERIFY(again.Option7->isChecked());
    QVERIFY(again.Check3->isChecked());
    QVERIFY(again.Option15->isChecked());
}

void Form1Test::theOutputChoiceEnablesTheFolderFrame() {
    WindowFixture fixture;
    Form1& form = fixture.start();

    Click(form.Option2);
    QVERIFY(!form.Frame2->isEnabled());
    QVERIFY(!form.Text3->isEnabled());
    QVERIFY(!form.PushButton6->isEnabled());
    QCOMPARE(fixture.stored(QStringLiteral("Option1")), QStringLiteral("False"));
    QCOMPARE(fixture.stored(QStringLiteral("Option2")), QStringLiteral("True"));

    Form1& restarted = fixture.restart();
    QVERIFY(restarted.Option2->isChecked());
    QVERIFY(!restarted.Option1->isChecked());
    QVERIFY(!restarted.PushButton6->isEnabled());

    Click(restarted.Option1);
    QVERIFY(restarted.Frame2->isEnabled());
    QVERIFY(restarted.PushButton6->isEnabled());
    QCOMPARE(fixture.stored(QStringLiteral("Option1")), QStringLiteral("True"));
    QCOMPARE(fixture.stored(QStringLiteral("Option2")), QStringLiteral("False"));
}

void Form1Test::theOutputFolderButtonChoosesAFolder() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    const QString root = QDir::toNativeSeparators(QDir::rootPath());
    const QString folder = QDir::toNativeSeparators(fixture.scratchPath(QStringLiteral("Out")));
    fixture.prompts.folderAnswers = {root, folder, QString()};

    // A root keeps its one separator.
    QTest::mouseClick(form.PushButton6, Qt::LeftButton);
    QCOMPARE(form.Text3->text(), root);
    QCOMPARE(fixture.stored(QStringLiteral("LastFolderDot")), root);
    QCOMPARE(fixture.stored(QStringLiteral("Output Folder")), root);

    // Any other folder gets one; the dialog starts where the last choice was.
    QTest::mouseClick(form.PushButton6, Qt::LeftButton);
    QCOMPARE(form.Text3->text(), folder + QDir::separator());
    QCOMPARE(fixture.stored(QStringLiteral("LastFolderDot")), folder);
    QCOMPARE(fixture.stored(QStringLiteral("Output Folder")), folder + QDir::separator());

    // Cancelling changes nothing.
    QTest::mouseClick(form.PushButton6, Qt::LeftButton);
    QCOMPARE(form.Text3->text(), folder + QDir::separator());
    QCOMPARE(fixture.stored(QStringLiteral("LastFolderDot")), folder);

    const QList<Shown> dialogs = fixture.prompts.shownOfKind(QStringLiteral("folder"));
    QCOMPARE(dialogs.size(), 3);
    QCOMPARE(dialogs[0].text, QStringLiteral("Please select folder:"));
    QCOMPARE(dialogs[0].title, QString());  // start folder: nothing chosen yet
    QCOMPARE(dialogs[1].title, root);
    QCOMPARE(dialogs[2].title, folder);
    QVERIFY(fixture.prompts.shownOfKind(QStringLiteral("error")).isEmpty());

    // The start folder is read from the store on each press, so another copy's choice counts.
    fixture.preset(QStringLiteral("LastFolderDot"), QStringLiteral("elsewhere"));
    QTest::mouseClick(form.PushButton6, Qt::LeftButton);
    QCOMPARE(fixture.prompts.shownOfKind(QStringLiteral("folder")).last().title,
             QStringLiteral("elsewhere"));
}

void Form1Test::aFailingFolderDialogIsReportedAtItsLine() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    const QString before = form.Text3->text();
    fixture.prompts.folderFailure =
        Failure(failures::kInvalidCall, "Invalid procedure call or argument");
    QTest::mouseClick(form.PushButton6, Qt::LeftButton);
    const QList<Shown> errors = fixture.prompts.shownOfKind(QStringLiteral("error"));
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.first().text,
             ExpectedReport(QStringLiteral("Invalid procedure call or argument"),
                            locations::kPushButton6, 104));
    QCOMPARE(Location(locations::kPushButton6),
             QStringLiteral("in Quarrytab2021/08/31.Form1.PushButton6_Click "));
    QCOMPARE(form.Text3->text(), before);
    QCOMPARE(fixture.stored(QStringLiteral("LastFolderDot")), kAbsent);
}

void Form1Test::anEmptyOtherDelimiterIsRemindedOf() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));

    form.Text4->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(form.Text4->hasFocus());
    form.Text4->selectAll();
    QTest::keyClick(form.Text4, Qt::Key_Backspace);
    QCOMPARE(fixture.stored(QStringLiteral("Other")), QString());

    form.Text1->setFocus(Qt::MouseFocusReason);
    QTRY_COMPARE(fixture.prompts.shown.size(), 1);
    const Shown reminder = fixture.prompts.shown.first();
    QCOMPARE(reminder.kind, QStringLiteral("information"));
    QCOMPARE(reminder.text, QStringLiteral("You forgot to input a value."));
    QCOMPARE(reminder.title, QStringLiteral("Quarrytab"));
    QTRY_VERIFY(form.Text4->hasFocus());

    // Spaces are a delimiter: no reminder.
    QTest::keyClick(form.Text4, Qt::Key_Space);
    form.Text4_LostFocus();
    QCOMPARE(fixture.prompts.shown.size(), 1);

    // Leaving the empty box by a click on "Start Converting" starts the run, and no reminder
    // comes, during the run or after it.
    form.Text4->clear();
    QTRY_VERIFY(form.Text4->hasFocus());
    const QString input = fixture.scratchPath(QStringLiteral("a.csv"));
    WriteFile(input, "a\r\n");
    form.inputList()->append(QDir::toNativeSeparators(input));
    form.Option2->setChecked(true);
    fixture.prompts.shown.clear();
    QTest::mouseClick(form.PushButton2, Qt::LeftButton);
    QVERIFY(form.PushButton2->hasFocus());
    QTest::qWait(50);
    QCOMPARE(fixture.prompts.shown.size(), 1);
    QCOMPARE(fixture.prompts.shown.first().text, QStringLiteral("Done."));
}

void Form1Test::buttonsShowTheirPointerUnlessBusy() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    const QList<QPushButton*> buttons = form.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 10);
    // Without HAND-M.CUR the buttons show the ordinary pointer.
    for (QPushButton* button : buttons) {
        QCOMPARE(button->cursor().shape(), Qt::ArrowCursor);
    }
    for (QWidget* plain : {static_cast<QWidget*>(&form), static_cast<QWidget*>(form.Frame1),
                           static_cast<QWidget*>(form.Option11)}) {
        QCOMPARE(plain->cursor().shape(), Qt::ArrowCursor);
    }

    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    form.setBusyPointer(true);
    form.setBusyPointer(true);
    QVERIFY(form.busyPointer());
    // Busy: the wait pointer shows over everything, buttons included, while the mouse moves.
    QTest::mouseMove(form.PushButton2);
    QTest::mouseMove(form.Frame1);
    QTest::mouseMove(form.PushButton8);
    QVERIFY(QGuiApplication::overrideCursor() != nullptr);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

    // Cleared once, the pointer is the buttons' and frames' own again.
    form.setBusyPointer(false);
    QVERIFY(!form.busyPointer());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);

    // A window closed while busy leaves no wait pointer behind.
    form.setBusyPointer(true);
    fixture.form.reset();
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void Form1Test::theHandImageComesFromTheProgramFolder() {
    {
        WindowFixture fixture;
        WriteFile(fixture.programFile(QStringLiteral("HAND-M.CUR")), CursorFileBytes(7, 2));
        Form1& form = fixture.start();
        QVERIFY(fixture.prompts.shown.isEmpty());
        QCOMPARE(form.buttonPointer().shape(), Qt::BitmapCursor);
        QCOMPARE(form.buttonPointer().hotSpot(), QPoint(7, 2));
        QCOMPARE(form.PushButton6->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(form.Frame2->cursor().shape(), Qt::ArrowCursor);
    }
    {
        // A file that is no cursor: reported at 106, and the ordinary pointer is used.
        WindowFixture fixture;
        WriteFile(fixture.programFile(QStringLiteral("HAND-M.CUR")), "not a cursor");
        Form1& form = fixture.start();
        const QList<Shown> errors = fixture.prompts.shownOfKind(QStringLiteral("error"));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.first().text,
                 ExpectedReport(QStringLiteral("Invalid picture"), locations::kFormLoad, 106));
        QCOMPARE(form.PushButton1->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(form.Text1->text(), QStringLiteral("Table1"));
    }
}

void Form1Test::theSkinTurnsTheDesignToTheButtonFace() {
    const QColor face = QGuiApplication::palette().color(QPalette::Button);
    QVERIFY2(face != QColor(Qt::white), "the platform's button face must differ from white");
    // What the window shows: points on its background, beside an option button's caption,
    // inside a frame and inside a text box.
    const auto shownColours = [](Form1& form) {
        const QImage image = form.grab().toImage();
        const auto at = [&](QWidget* widget, QPoint point) {
            return image.pixelColor(widget->mapTo(&form, point));
        };
        return QList<QColor>{
            at(&form, QPoint(2, 2)),
            at(form.Option6, QPoint(form.Option6->width() - 3, form.Option6->height() / 2)),
            at(form.Check3, QPoint(form.Check3->width() - 3, form.Check3->height() / 2)),
            at(form.Frame3, QPoint(form.Frame3->width() - 20, form.Frame3->height() - 12)),
            at(form.Frame2, QPoint(form.Frame2->width() - 12, form.Frame2->height() - 8)),
            at(form.Text1, QPoint(form.Text1->width() - 10, form.Text1->height() / 2)),
        };
    };
    {
        WindowFixture fixture;
        Form1& form = fixture.start();
        QVERIFY(!form.skinApplied());
        QCOMPARE(form.styleSheet(), QString());
        const QColor white(Qt::white);
        QCOMPARE(shownColours(form), QList<QColor>(6, white));
    }
    {
        WindowFixture fixture;
        const QString sheet = QStringLiteral("QLineEdit { color: rgb(10, 20, 30); }");
        WriteFile(fixture.programFile(QStringLiteral("x/o.cjs")), sheet.toUtf8());
        Form1& form = fixture.start();
        QVERIFY(fixture.prompts.shown.isEmpty());
        QVERIFY(form.skinApplied());
        QCOMPARE(form.styleSheet(), sheet);
        // Text boxes keep their own white.
        const QColor white(Qt::white);
        QCOMPARE(shownColours(form), (QList<QColor>{face, face, face, face, face, white}));
        QCOMPARE(form.Text1->palette().color(QPalette::Text), QColor(10, 20, 30));
    }
}

void Form1Test::aBrokenSkinIsReportedAndStartUpGoesOn() {
    WindowFixture fixture;
    WriteFile(fixture.programFile(QStringLiteral("x/o.cjs")), "QPushButton { color: ");
    Form1& form = fixture.start();
    const QList<Shown> errors = fixture.prompts.shownOfKind(QStringLiteral("error"));
    QCOMPARE(ReportedLines(errors), QList<int>{104});
    QVERIFY(errors.first().text.startsWith(QStringLiteral("The skin cannot be applied")));
    QVERIFY(!form.skinApplied());
    QCOMPARE(form.styleSheet(), QString());
    QCOMPARE(form.windowTitle(), QStringLiteral("Quarrytab Software"));
    QCOMPARE(form.Text1->text(), QStringLiteral("Table1"));
    // Every control keeps the design's font.
    CheckFontsAndCaptions(form);
}

void Form1Test::withoutADisplayTheProgramSaysSoAndEnds() {
#if !defined(Q_OS_UNIX) || defined(Q_OS_MACOS)
    QSKIP("a display is always there");
#else
    // No display named at all, and one named where no display server listens.
    for (const QString& display : {QString(), QStringLiteral(":97")}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
            environment.remove(QString::fromLatin1(name));
        }
        if (!display.isEmpty()) {
            environment.insert(QStringLiteral("DISPLAY"), display);
        }
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(QUARRYTAB_WINDOW), {});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);  // no abort
        QCOMPARE(program.exitCode(), 1);
        const QString said = QString::fromLocal8Bit(program.readAllStandardError());
        QCOMPARE(said.count(u'\n'), 1);
        QVERIFY2(said.contains(QStringLiteral("no desktop session")) &&
                     said.contains(QStringLiteral("quarrytab-cli --help")) &&
                     said.contains(QStringLiteral("xvfb-run")),
                 qPrintable(said));
    }
#endif
}

void Form1Test::readingRulesAreStoredAtOnceRestoredAndShown() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    QVERIFY(!form.readingRules().any());
    QVERIFY(form.PushButton10->icon().isNull());
    // Nothing is stored before the user chooses rules: old settings files stay as they were.
    for (const QString& key : RulesSettingsKeys()) {
        QCOMPARE(fixture.stored(key), kAbsent);
    }

    ReadingRules rules;
    rules.QuotedFields = true;
    rules.HeaderRow = true;
    rules.SkipLines = 2;
    rules.CommentPrefix = "#";
    rules.Encoding = "windows-1252";
    rules.DetectEachFile = true;
    rules.Database = Dialect::Postgres;
    rules.EmptyAsNull = true;
    rules.OtherWidth = RaggedMode::Pad;
    rules.RowsPerInsert = 500;
    rules.Transaction = true;
    form.inputList()->append({QStringLiteral("/data/a.csv"), QStringLiteral("/data/b.csv")});
    form.ListView1->setCurrentIndex(form.inputList()->index(1));
    form.Option13->click();
    fixture.prompts.rulesAnswers = {std::nullopt, rules};
    fixture.prompts.delimiterAnswers = {"|"};              // as Detect found it
    QTest::mouseClick(form.PushButton10, Qt::LeftButton);  // Cancel: nothing changes
    QVERIFY(!form.readingRules().any());
    QCOMPARE(fixture.stored(QStringLiteral("Rules Quoted Fields")), kAbsent);
    QVERIFY(form.Option13->isChecked());
    QTest::mouseClick(form.PushButton10, Qt::LeftButton);
    QCOMPARE(form.readingRules(), rules);
    QVERIFY(form.Option15->isChecked());
    QCOMPARE(form.Text4->text(), QStringLiteral("|"));
    QCOMPARE(fixture.stored(QStringLiteral("Option15")), QStringLiteral("True"));
    // The dialog previews the selected file with the window's own choices.
    const RulesRequest& asked = fixture.prompts.rulesRequests.last();
    QCOMPARE(asked.files, (QStringList{"/data/a.csv", "/data/b.csv"}));
    QCOMPARE(asked.shownFile, 1);
    QCOMPARE(asked.window.CsvDelimiter, std::string(";"));
    QVERIFY(!asked.window.QuotedFields);
    const QStringList expected{"True",       "True", "2",   "#",   "windows-1252", "True",
                               "PostgreSQL", "True", "Pad", "500", "True"};
    QStringList stored;
    for (const QString& key : RulesSettingsKeys()) {
        stored << fixture.stored(key);
    }
    QCOMPARE(stored, expected);
    const QString summary = QStringLiteral(
        "Rules: rules detected per file, 2 lines skipped, comments #, windows-1252, PostgreSQL, "
        "empty as NULL, other widths: pad with NULL, 500 rows per INSERT, transaction");
    QCOMPARE(form.PushButton10->toolTip(), summary);
    QVERIFY(!form.PushButton10->icon().isNull());

    Form1& again = fixture.restart();
    QVERIFY(fixture.prompts.shown.isEmpty());
    QCOMPARE(again.readingRules(), rules);
    QCOMPARE(again.PushButton10->toolTip(), summary);

    // "Classic Rules" in the dialog: every key back to its classic value, the mark gone.
    fixture.prompts.rulesAnswers = {ReadingRules{}};
    again.PushButton10_Click();
    QVERIFY(!again.readingRules().any());
    QCOMPARE(fixture.stored(QStringLiteral("Rules Database")), QStringLiteral("Generic"));
    QVERIFY(again.PushButton10->icon().isNull());

    // A damaged value is reported at its key's line and leaves that rule classic.
    fixture.preset(QStringLiteral("Rules Header Row"), QStringLiteral("true"));
    fixture.preset(QStringLiteral("Rules Encoding"), QStringLiteral("klingon"));
    fixture.preset(QStringLiteral("Rules Database"), QStringLiteral("Oracle"));
    fixture.preset(QStringLiteral("Rules Rows Per Insert"), QStringLiteral("1001"));
    Form1& damaged = fixture.restart();
    QCOMPARE(ReportedLines(fixture.prompts.shownOfKind(QStringLiteral("error"))),
             (QList<int>{180, 184, 190}));
    ReadingRules header;
    header.HeaderRow = true;
    QCOMPARE(damaged.readingRules(), header);
}

int RunForm1Tests(int argc, char** argv) {
    Form1Test test;
    return QTest::qExec(&test, argc, argv);
}

#include "form1_test.moc"
