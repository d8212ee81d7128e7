// The input list in a real window: removing, clearing and dragging rows, and the three adders
// over real temporary folder trees, answered by scripted dialogs.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeView>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../filelist/fake_folder_reader.h"
#include "app/form1.h"
#include "filelist/input_file_list.h"
#include "filelist/qt_text.h"
#include "results/results_model.h"
#include "results/save_results.h"
#include "test_support.h"

using namespace quarrytab;
using quarrytab::testing::kAbsent;
using quarrytab::testing::Shown;
using quarrytab::testing::WindowFixture;
using quarrytab::testing::WriteFile;

namespace {

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Creates the files (and their folders) named relative to `root`; a name ending in "/" is a
// folder.
void MakeTree(const QString& root, const QStringList& names) {
    for (const QString& name : names) {
        if (name.endsWith(u'/'))
            QDir(root).mkpath(name);
        else
            WriteFile(root + u'/' + name, "x");
    }
}

QStringList Under(const QString& root, const QStringList& names) {
    QStringList paths;
    for (const QString& name : names) paths.append(Native(root + u'/' + name));
    return paths;
}

QPoint RowCentre(Form1& form, int row) {
    return form.ListView1->visualRect(form.inputList()->index(row)).center();
}

void Press(Form1& form, const QPoint& at) {
    QTest::mousePress(form.ListView1->viewport(), Qt::LeftButton, {}, at);
}
void MoveWithButton(Form1& form, const QPoint& to) {
    QMouseEvent move(QEvent::MouseMove, to, form.ListView1->viewport()->mapToGlobal(to),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.ListView1->viewport(), &move);
}
void Release(Form1& form, const QPoint& at) {
    QTest::mouseRelease(form.ListView1->viewport(), Qt::LeftButton, {}, at);
}

// A double-click as the platform delivers it, through the window: press, release, press,
// double-click, release. (QTest's double-click on a widget sends the double-click event alone,
// without the press that selects the row first.)
void DoubleClick(Form1& form, const QPoint& at) {
    QWindow* window = form.windowHandle();
    QVERIFY(window != nullptr);
    const QPoint inWindow = window->mapFromGlobal(form.ListView1->viewport()->mapToGlobal(at));
    QTest::mouseDClick(window, Qt::LeftButton, {}, inWindow);
}

// Sends a drag over the list and then drops it; returns whether the drag was accepted and
// the action the list chose.
std::pair<bool, Qt::DropAction> DragAndDrop(Form1& form, QMimeData& data,
                                            Qt::DropActions offered = Qt::CopyAction |
                                                                      Qt::MoveAction,
                                            Qt::DropAction proposed = Qt::MoveAction) {
    QWidget* viewport = form.ListView1->viewport();
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(proposed);
    QCoreApplication::sendEvent(viewport, &enter);
    QDragMoveEvent over(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    over.setDropAction(proposed);
    QCoreApplication::sendEvent(viewport, &over);
    QDropEvent drop(QPointF(at), offered, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(proposed);
    QCoreApplication::sendEvent(viewport, &drop);
    return {over.isAccepted() && drop.isAccepted(), over.dropAction()};
}

QMimeData* FileData(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(QDir::fromNativeSeparators(path)));
    data->setUrls(urls);
    return data;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WaitUntilAdded(Form1& form) {
    QTRY_VERIFY_WITH_TIMEOUT(!form.addingFiles(), 10000);
}

// "Add All CSV Files In Folder" with the extension "csv" and the folder "/r" chosen.
void ClickAddAllCsvInR(WindowFixture& fixture, Form1& form) {
    fixture.prompts.inputAnswers.append(QStringLiteral("csv"));
    fixture.prompts.folderAnswers.append(Native(QStringLiteral("/r")));
    form.PushButton5->click();
}

const QString kExtensionPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)");

}  // namespace

class InputListTest : public QObject {
    Q_OBJECT
  private slots:
    void removingAndClearingWaitWhileBusy();
    void doubleClickRemovesTheClickedRowOnly();
    void dragSwapsRows_data();
    void dragSwapsRows();
    void aRemovedSourceRowIsNeverTouched();
    void dragScrollsNearTheEdges();
    void dragPointerComesFromTheProgramFolder();
    void openDialogAddsFiles();
    void folderAddFollowsTheWalk_data();
    void folderAddFollowsTheWalk();
    void cancelledBoxesStoreOnlyWhatWasAnswered();
    void folderAddIsBusyAndClearWaits();
    void aWaitingRunStartsOnlyOnceNoHandlerIsAtWork();
    void aRootFolderGivesSingleSeparators();
    void aFailingFolderIsReportedAndTheRestAdded();
    void dropAddsFilesAndFoldersInOrder();
    void dropOfTextIsRefused();
    void namesThatAreNotUtf8AreKeptAllTheWay();
    void closingDuringAnAddIsSafe();
};

void InputListTest::removingAndClearingWaitWhileBusy() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.show();
    // On an empty list both do nothing and say nothing.
    form.PushButton7->click();
    form.ListView1_DblClick();
    QVERIFY(fixture.prompts.shown.isEmpty());

    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.inputList()->append(QStringList{"a", "b", "c"});
    form.ListView1->setCurrentIndex(form.inputList()->index(1));
    form.setBusyPointer(true);
    DoubleClick(form, RowCentre(form, 1));
    form.PushButton7->click();
    QCOMPARE(form.inputList()->paths(), (QStringList{"a", "b", "c"}));
    form.setBusyPointer(false);
    form.ListView1->setCurrentIndex(form.inputList()->index(1));
    form.ListView1_DblClick();
    QCOMPARE(form.inputList()->paths(), (QStringList{"a", "c"}));
    form.PushButton7->click();
    QCOMPARE(form.inputList()->count(), 0);
    QVERIFY(fixture.prompts.shown.isEmpty());
}

void InputListTest::doubleClickRemovesTheClickedRowOnly() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.inputList()->append(QStringList{"a", "b", "a", "c"});
    // Another row selected before: the double-click's own press selects the row it removes.
    form.ListView1->setCurrentIndex(form.inputList()->index(0));
    DoubleClick(form, RowCentre(form, 2));
    QCOMPARE(form.inputList()->paths(), (QStringList{"a", "b", "c"}));
    DoubleClick(form, RowCentre(form, 0));
    QCOMPARE(form.inputList()->paths(), (QStringList{"b", "c"}));
    // Empty space below the rows: the press there leaves no row selected, so nothing goes.
    form.ListView1->setCurrentIndex(form.inputList()->index(0));
    const QPoint below(20, form.ListView1->viewport()->height() - 5);
    QVERIFY(!form.ListView1->indexAt(below).isValid());
    DoubleClick(form, below);
    QCOMPARE(form.inputList()->paths(), (QStringList{"b", "c"}));
    QVERIFY(!form.ListView1->selectionModel()->hasSelection());
    QVERIFY(fixture.prompts.shown.isEmpty());
}

void InputListTest::dragSwapsRows_data() {
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("pressed");
    QTest::addColumn<QList<int>>("moves");  // rows the pointer passes over; -1 empty space
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("selected");
    const QStringList ten{"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9"};
    QTest::newRow("one row down") << ten << 2 << QList<int>{3}
                                  << QStringList{"r0", "r1", "r3", "r2", "r4",
                                                 "r5", "r6", "r7", "r8", "r9"}
                                  << 3;
    QTest::newRow("fast move swaps only two")
        << ten << 2 << QList<int>{9}
        << QStringList{"r0", "r1", "r9", "r3", "r4", "r5", "r6", "r7", "r8", "r2"} << 9;
    QTest::newRow("step by step carries the row")
        << ten << 1 << QList<int>{2, 3, 4}
        << QStringList{"r0", "r2", "r3", "r4", "r1", "r5", "r6", "r7", "r8", "r9"} << 4;
    QTest::newRow("back up") << ten << 5 << QList<int>{4, 3}
                             << QStringList{"r0", "r1", "r2", "r5", "r3",
                                            "r4", "r6", "r7", "r8", "r9"}
                             << 3;
    QTest::newRow("equal texts are skipped")
        << QStringList{"x", "a", "a", "b"} << 1 << QList<int>{2, 3}
        << QStringList{"x", "b", "a", "a"} << 3;
    QTest::newRow("empty space does nothing")
        << QStringList{"a", "b"} << 0 << QList<int>{-1} << QStringList{"a", "b"} << 0;
}

void InputListTest::dragSwapsRows() {
    QFETCH(QStringList, rows);
    QFETCH(int, pressed);
    QFETCH(QList<int>, moves);
    QFETCH(QStringList, expected);
    QFETCH(int, selected);
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.show();
    form.inputList()->append(rows);
    Press(form, RowCentre(form, pressed));
    for (const int row : moves) {
        MoveWithButton(form, row < 0 ? QPoint(20, form.ListView1->viewport()->height() - 3)
                                     : RowCentre(form, row));
    }
    Release(form, RowCentre(form, selected));
    QCOMPARE(form.inputList()->paths(), expected);
    QCOMPARE(form.ListView1->currentIndex().row(), selected);
    // Moving without a button pressed moves nothing.
    MoveWithButton(form, RowCentre(form, 0));
    QCOMPARE(form.inputList()->paths(), expected);
}

void InputListTest::aRemovedSourceRowIsNeverTouched() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.show();
    form.inputList()->append(QStringList{"a", "b", "c", "d"});
    Press(form, RowCentre(form, 1));
    Release(form, RowCentre(form, 1));
    // The dragged row outlives its gesture: a press on empty space and a move drag it again.
    const QPoint empty(20, form.ListView1->viewport()->height() - 3);
    Press(form, empty);
    MoveWithButton(form, RowCentre(form, 3));
    Release(form, RowCentre(form, 3));
    QCOMPARE(form.inputList()->paths(), (QStringList{"a", "d", "c", "b"}));
    // Now the row it holds (row 3) is removed; a later drag from empty space changes nothing.
    form.inputList()->removeRow(3);
    Press(form, empty);
    MoveWithButton(form, RowCentre(form, 0));
    Release(form, RowCentre(form, 0));
    QCOMPARE(form.inputList()->paths(), (QStringList{"a", "d", "c"}));
    form.PushButton7->click();
    form.inputList()->append(QStringList{"x", "y"});
    Press(form, empty);
    MoveWithButton(form, RowCentre(form, 1));
    Release(form, RowCentre(form, 1));
    QCOMPARE(form.inputList()->paths(), (QStringList{"x", "y"}));
}

void InputListTest::dragScrollsNearTheEdges() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.show();
    QStringList rows;
    for (int i = 0; i < 100; ++i) rows.append(QStringLiteral("row %1").arg(i));
    form.inputList()->append(rows);
    QScrollBar* bar = form.ListView1->verticalScrollBar();
    const int rowHeight = form.ListView1->visualRect(form.inputList()->index(0)).height();
    const int height = form.ListView1->viewport()->height();
    // The last row wholly shown, and one more below it in part.
    int lastShown = form.ListView1->indexAt(QPoint(5, height - 1)).row();
    if (form.ListView1->visualRect(form.inputList()->index(lastShown)).bottom() >= height)
        --lastShown;
    QVERIFY(lastShown > 2);
    Press(form, RowCentre(form, lastShown - 2));
    // In the middle nothing scrolls.
    MoveWithButton(form, RowCentre(form, lastShown - 1));
    QCOMPARE(bar->value(), 0);
    // Within one row of the bottom edge: the row below the target comes into view.
    MoveWithButton(form, QPoint(5, height - rowHeight / 2));
    const int target = form.ListView1->currentIndex().row();
    QVERIFY(form.ListView1->viewport()->rect().contains(
        form.ListView1->visualRect(form.inputList()->index(target + 1))));
    QVERIFY(bar->value() > 0);
    // Within one row of the top edge: the row above comes into view.
    bar->setValue(bar->maximum() / 2);
    const int top = form.ListView1->indexAt(QPoint(5, rowHeight / 2)).row();
    MoveWithButton(form, QPoint(5, rowHeight / 2));
    QCOMPARE(form.ListView1->currentIndex().row(), top);
    QVERIFY(form.ListView1->viewport()->rect().contains(
        form.ListView1->visualRect(form.inputList()->index(top - 1))));
    Release(form, QPoint(5, 5));
}

void InputListTest::dragPointerComesFromTheProgramFolder() {
    {
        WindowFixture fixture;
        Form1& form = fixture.start();
        form.show();
        form.inputList()->append(QStringList{"a", "b"});
        Press(form, RowCentre(form, 0));
        QCOMPARE(form.ListView1->viewport()->cursor().shape(), Qt::ClosedHandCursor);
        Release(form, RowCentre(form, 0));
        QCOMPARE(form.ListView1->viewport()->cursor().shape(), Qt::ArrowCursor);
    }
    WindowFixture fixture;
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    QVERIFY(icon.save(fixture.programFile(QStringLiteral("drag.ico")), "ICO"));
    Form1& form = fixture.start();
    form.show();
    form.inputList()->append(QStringList{"a", "b"});
    Press(form, RowCentre(form, 0));
    QCOMPARE(form.ListView1->viewport()->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(form.ListView1->viewport()->cursor().pixmap().toImage().pixelColor(16, 16),
             QColor(Qt::red));
    Release(form, RowCentre(form, 0));
}

void InputListTest::openDialogAddsFiles() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.PushButton1->click();  // cancelled
    QCOMPARE(form.inputList()->count(), 0);
    const QString sep = QDir::separator();
    const QString single = sep + sep + QStringLiteral("srv") + sep + sep + QStringLiteral("a.csv");
    fixture.prompts.fileAnswers.append(QStringList{single});
    form.PushButton1->click();
    fixture.prompts.fileAnswers.append(
        QStringList{QStringLiteral("/data//c.csv"), QStringLiteral("/data/b.csv")});
    form.PushButton1->click();
    form.PushButton1->click();  // cancelled again
    const QString cleanedFirst = Native(QStringLiteral("/data/c.csv"));
    QCOMPARE(form.inputList()->paths(),
             (QStringList{single, cleanedFirst, Native(QStringLiteral("/data/b.csv"))}));
    const auto shown = fixture.prompts.shownOfKind(QStringLiteral("files"));
    QCOMPARE(shown.size(), 4);
    QCOMPARE(shown.first().title,
             QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
    QCOMPARE(shown.first().text, QStringLiteral("CSV Files (*.csv)"));
    QCOMPARE(fixture.prompts.shownOfKind(QStringLiteral("error")).size(), 0);
}

void InputListTest::folderAddFollowsTheWalk_data() {
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("expected");  // relative to the chosen folder
    QTest::newRow("csv") << "csv" << QStringList{"a.csv",      "B.CSV",      "orders~1.csv",
                                                 "sub1/c.csv", "sub2/d.csv", "sub1/deep/e.csv"};
    QTest::newRow("every file") << "*"
                                << QStringList{"a.csv",        "B.CSV",          "noext",
                                               "orders~1.csv", "t.txt",          "sub1/c.csv",
                                               "sub2/d.csv",   "sub1/deep/e.csv"};
    QTest::newRow("txt") << "txt" << QStringList{"t.txt"};
    QTest::newRow("leading dot matches nothing") << ".csv" << QStringList{};
}

void InputListTest::folderAddFollowsTheWalk() {
    QFETCH(QString, extension);
    QFETCH(QStringList, expected);
    QTemporaryDir tree;
    const QString root = tree.path();
    MakeTree(root, {"a.csv", "B.CSV", "noext", "t.txt", "orders~1.csv", "~$lock.csv", ".hidden.csv",
                    "sub1/c.csv", "sub1/deep/e.csv", "sub2/d.csv", "sub2/~d.csv"});
    // A hidden file that is also read-only is not hidden and archive only, so it is added.
    MakeTree(root, {".kept.csv"});
    QFile(root + "/.kept.csv").setPermissions(QFile::ReadOwner | QFile::ReadGroup);
    if (extension == u"csv" || extension == u"*")
        expected.prepend(".kept.csv");
    WindowFixture fixture;
    Form1& form = fixture.start();
    fixture.prompts.inputAnswers.append(extension);
    fixture.prompts.folderAnswers.append(Native(root));
    form.PushButton5->click();
    WaitUntilAdded(form);
    QCOMPARE(form.inputList()->paths(), Under(root, expected));
    QCOMPARE(fixture.stored(QStringLiteral("Extension")), extension);
    QCOMPARE(fixture.stored(QStringLiteral("LastFolder")), Native(root));
    const auto input = fixture.prompts.shownOfKind(QStringLiteral("input"));
    QCOMPARE(input.size(), 1);
    QCOMPARE(input.first().text, kExtensionPrompt + QStringLiteral("|csv"));
    QCOMPARE(input.first().title, form.applicationTitle());
    const auto picker = fixture.prompts.shownOfKind(QStringLiteral("folder"));
    QCOMPARE(picker.first().text, QStringLiteral("Please select folder:"));
    QCOMPARE(picker.first().title, QString());  // no folder remembered yet
    QVERIFY(!form.busyPointer());
}

void InputListTest::cancelledBoxesStoreOnlyWhatWasAnswered() {
    WindowFixture fixture;
    fixture.preset(QStringLiteral("LastFolder"), QStringLiteral("/before"));
    Form1& form = fixture.start();
    form.PushButton5->click();  // input box cancelled
    QCOMPARE(fixture.stored(QStringLiteral("Extension")), kAbsent);
    QCOMPARE(fixture.prompts.shownOfKind(QStringLiteral("folder")).size(), 0);
    fixture.prompts.inputAnswers.append(QStringLiteral("txt"));
    form.PushButton5->click();  // picker cancelled
    QCOMPARE(fixture.stored(QStringLiteral("Extension")), QStringLiteral("txt"));
    QCOMPARE(fixture.stored(QStringLiteral("LastFolder")), QStringLiteral("/before"));
    QCOMPARE(fixture.prompts.shownOfKind(QStringLiteral("folder")).first().title,
             QStringLiteral("/before"));
    form.PushButton5->click();  // the next box offers the stored extension
    QVERIFY(fixture.prompts.shownOfKind(QStringLiteral("input")).last().text.endsWith(u"|txt"));
    QCOMPARE(form.inputList()->count(), 0);
    QVERIFY(!form.busyPointer());
    QVERIFY(fixture.prompts.shownOfKind(QStringLiteral("error")).isEmpty());
}

namespace {

// A folder tree in memory whose listings take a while, so an add is still running when the
// test acts; files have the archive attribute.
class SlowReader final : public FakeFolderReader {
  public:
    int delayMs = 0;
    quarrytab::PathAttributes attributesOf(const QString& path) override {
        if (folderExists(path))
            return FakeFolderReader::attributesOf(path);
        quarrytab::PathAttributes file;
        file.attributes = quarrytab::attributes::kArchive;
        return file;
    }
    quarrytab::FolderListing list(const QString& folder) override {
        QThread::msleep(static_cast<unsigned long>(delayMs));
        return FakeFolderReader::list(folder);
    }
};

}  // namespace

void InputListTest::folderAddIsBusyAndClearWaits() {
    SlowReader reader;
    reader.delayMs = 5;
    for (int i = 0; i < 40; ++i)
        reader.addFile(QStringLiteral("/r/f%1/").arg(i, 2, 10, QLatin1Char('0')), "x.csv");
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.setFolderReader(reader);
    form.inputList()->append(QStringLiteral("kept"));
    ClickAddAllCsvInR(fixture, form);
    QVERIFY(form.busyPointer());
    QTRY_VERIFY(form.inputList()->count() > 1);
    form.ListView1->setCurrentIndex(form.inputList()->index(0));
    form.PushButton7->click();
    form.ListView1_DblClick();
    QCOMPARE(form.inputList()->rowText(0), QStringLiteral("kept"));
    // Converting waits for the list to be complete too: it would convert only part of it, and
    // its end would clear the busy pointer while the add goes on. The run starts once the list
    // is complete, and converts all of it (here every row is a file that cannot be read).
    form.Option2->setChecked(true);  // results beside the input: no output folder needed
    const auto shownBefore = fixture.prompts.shown.size();
    form.PushButton2->click();
    form.PushButton2->click();  // a second click starts no second run
    QCOMPARE(fixture.prompts.shown.size(), shownBefore);
    QCOMPARE(form.resultsModel()->rowCount(), 0);
    QVERIFY(form.busyPointer());
    WaitUntilAdded(form);
    QTRY_VERIFY(!fixture.prompts.shown.isEmpty() &&
                fixture.prompts.shown.last().text == QStringLiteral("Done."));
    QCOMPARE(fixture.prompts.shownOfKind(QStringLiteral("error")).size(), 41);
    QCOMPARE(fixture.prompts.shownOfKind(QStringLiteral("information")).size(), 1);
    QVERIFY(!form.busyPointer());
    QCOMPARE(form.inputList()->count(), 41);
    for (int i = 0; i < 40; ++i) {
        QCOMPARE(form.inputList()->rowText(i + 1),
                 Native(QStringLiteral("/r/f%1/x.csv").arg(i, 2, 10, QLatin1Char('0'))));
    }
    form.PushButton7->click();
    QCOMPARE(form.inputList()->count(), 0);
}

void InputListTest::aWaitingRunStartsOnlyOnceNoHandlerIsAtWork() {
    SlowReader reader;
    reader.delayMs = 5;
    for (int i = 0; i < 40; ++i) {
        reader.addFile(QStringLiteral("/r/f%1/").arg(i, 2, 10, QLatin1Char('0')), "x.csv");
    }
    QTemporaryDir out;
    const QString target = Native(out.path() + QStringLiteral("/Quarrytab.txt"));
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.setFolderReader(reader);
    form.Text3->setText(Native(out.path()));
    const auto saveWhileTheListFills = [&](const std::function<void()>& keepTheWindowGoing) {
        fixture.prompts.shown.clear();
        form.resultsModel()->clear();
        form.resultsModel()->statement("shown when Save was pressed");
        WriteFile(target, "old");
        ClickAddAllCsvInR(fixture, form);
        form.PushButton2->click();  // waits for the list to be complete
        fixture.prompts.questionAnswers = {true};
        // The list is complete, and its waiting run due, while the save is at work.
        keepTheWindowGoing();
        form.PushButton8_Click();
        fixture.prompts.whileAsking = nullptr;
        form.setResultsFileFactory({});
        QCOMPARE(ReadAll(target), QByteArray("shown when Save was pressed\r\n"));
        // The run follows the save.
        QTRY_COMPARE(fixture.prompts.shownOfKind(QStringLiteral("information")).size(), 2);
        QStringList kinds;
        for (const Shown& shown : fixture.prompts.shown) kinds.append(shown.kind);
        kinds.removeDuplicates();  // in the order of first showing
        QCOMPARE(kinds, (QStringList{"input", "folder", "question", "information", "error"}));
        QCOMPARE(fixture.prompts.shown.last().text, QStringLiteral("Done."));
        QCOMPARE(form.resultsModel()->rowCount(), 0);  // no row is a file that can be read
        QVERIFY(!form.busyPointer());
    };
    // Inside the overwrite question, a box with an event loop of its own.
    saveWhileTheListFills([&] {
        fixture.prompts.whileAsking = [&] {
            QTRY_VERIFY(!form.addingFiles());
            QTest::qWait(50);
        };
    });
    // While the save makes its file, as between its blocks, where the window is kept painted.
    saveWhileTheListFills([&] {
        form.setResultsFileFactory([&](const QString& path) {
            [&] {
                QTRY_VERIFY(!form.addingFiles());
            }();
            QTest::qWait(50);
            return CreateResultsFile(path);
        });
    });
}

void InputListTest::aRootFolderGivesSingleSeparators() {
    SlowReader reader;
    reader.addFolder(QStringLiteral("/")).isRoot = true;
    reader.addFile(QStringLiteral("/"), QStringLiteral("a.csv"));
    reader.addFile(QStringLiteral("/data/"), QStringLiteral("b.csv"));
    reader.folder(QStringLiteral("/"))
        .entries.push_back({QStringLiteral("data"), quarrytab::attributes::kDirectory});
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.setFolderReader(reader);
    fixture.prompts.inputAnswers.append(QStringLiteral("csv"));
    const QString root = QDir::separator();
    fixture.prompts.folderAnswers.append(root);
    form.PushButton5->click();
    WaitUntilAdded(form);
    const QStringList expected{Native(QStringLiteral("/a.csv")),
                               Native(QStringLiteral("/data/b.csv"))};
    QCOMPARE(form.inputList()->paths(), expected);
    // A dropped root is walked the same way.
    form.show();
    std::unique_ptr<QMimeData> data(FileData({root}));
    QVERIFY(DragAndDrop(form, *data).first);
    WaitUntilAdded(form);
    QCOMPARE(form.inputList()->paths(), expected + expected);
    QVERIFY(fixture.prompts.shownOfKind(QStringLiteral("error")).isEmpty());
}

void InputListTest::aFailingFolderIsReportedAndTheRestAdded() {
    SlowReader reader;
    reader.addFile(QStringLiteral("/r/a/"), QStringLiteral("1.csv"));
    reader.addFile(QStringLiteral("/r/b/"), QStringLiteral("2.csv"));
    reader.addFile(QStringLiteral("/r/c/"), QStringLiteral("3.csv"));
    // The second folder's attributes cannot be read when the walk lists it.
    reader.folder(QStringLiteral("/r/b/")).attributesError = quarrytab::ReadError::Other;
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.setFolderReader(reader);
    ClickAddAllCsvInR(fixture, form);
    WaitUntilAdded(form);
    QCOMPARE(form.inputList()->paths(), (QStringList{Native(QStringLiteral("/r/a/1.csv")),
                                                     Native(QStringLiteral("/r/c/3.csv"))}));
    const auto errors = fixture.prompts.shownOfKind(QStringLiteral("error"));
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.first().text.contains(
        QStringLiteral("\r\nin Ternwick2021/08/31.AddFolder.GetSubDirectories2016 at line 160\r")));
    QVERIFY(!form.busyPointer());
}

void InputListTest::dropAddsFilesAndFoldersInOrder() {
    QTemporaryDir tree;
    const QString root = tree.path();
    MakeTree(root, {"a.txt", "~$alone.csv", "b.png", "F/x.csv", "F/.hidden", "F/~$lock.csv",
                    "F/G/y.doc", "H/z.csv"});
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.show();
    form.inputList()->append(QStringLiteral("before"));
    std::unique_ptr<QMimeData> data(
        FileData(Under(root, {"a.txt", "F", "~$alone.csv", "H", "b.png", "missing.csv"})));
    const auto [accepted, action] = DragAndDrop(form, *data);
    QVERIFY(accepted);
    QCOMPARE(action, Qt::CopyAction);  // never a move, whatever the source proposes
    QVERIFY(form.busyPointer());       // collecting is busy work
    WaitUntilAdded(form);
    QCOMPARE(
        form.inputList()->paths(),
        QStringList{"before"} + Under(root, {"a.txt", "F/.hidden", "F/x.csv", "F/G/y.doc",
                                             "~$alone.csv", "H/z.csv", "b.png", "missing.csv"}));
    QVERIFY(!form.busyPointer());
}

void InputListTest::namesThatAreNotUtf8AreKeptAllTheWay() {
#ifdef _WIN32
    QSKIP("Windows names are UTF-16");
#else
    // "café" in Latin-1: the byte E9 on its own is not UTF-8.
    QTemporaryDir tree;
    const std::string root = ToPathBytes(tree.path()) + "/";
    const std::string file = root + "caf\xE9.csv";
    const std::string inFolder = root + "F\xE9/in\xE9.csv";
    std::filesystem::create_directories(root + "F\xE9");
    std::ofstream(file) << "a\r\n";
    std::ofstream(inFolder) << "b\r\n";
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.show();
    // A file manager sends such names percent-encoded, byte by byte.
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : {file, root + "F\xE9"})
        urls.append(
            QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/")));
    data.setUrls(urls);
    QVERIFY(DragAndDrop(form, data).first);
    WaitUntilAdded(form);
    QCOMPARE(form.inputList()->count(), 2);
    QCOMPARE(ToPathBytes(form.inputList()->rowText(0)), file);
    QCOMPARE(ToPathBytes(form.inputList()->rowText(1)), inFolder);
    QVERIFY(form.ListView1->model()->index(0, 0).data().toString().endsWith(
        QString::fromUtf16(u"caf\uFFFD.csv")));
    // The run opens the files by their own names, and the table names keep the bytes.
    form.Option2->setChecked(true);
    form.PushButton2_Click();
    QCOMPARE(fixture.prompts.shown.size(), 1);
    QCOMPARE(fixture.prompts.shown.first().text, QStringLiteral("Done."));
    QCOMPARE(form.resultsModel()->rowCount(), 4);
    QCOMPARE(form.resultsModel()->rowBytes(1), "INSERT INTO 'Table1_caf\xE9' VALUES ('a');");
    QCOMPARE(form.resultsModel()->rowBytes(3), "INSERT INTO 'Table1_in\xE9' VALUES ('b');");
    std::string expected;
    for (int row = 0; row < 4; ++row) {
        expected += std::string(form.resultsModel()->rowBytes(row)) + "\r\n";
    }
    const auto readBytes = [](const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    // Such a folder typed into Text3 is found, and the results are saved into it; so are they
    // beside an input file in it.
    const std::string folder = root + "F\xE9";
    const std::string saved = folder + "/Quarrytab.txt";
    form.Option1->setChecked(true);
    form.Text3->setText(FromPathBytes(folder));
    form.PushButton2_Click();
    form.PushButton8_Click();
    QCOMPARE(readBytes(saved), expected);
    std::filesystem::remove(saved);
    form.Option2->setChecked(true);
    form.inputList()->swapRows(0, 1);
    form.PushButton8_Click();
    QCOMPARE(readBytes(saved), expected);
    QStringList messages;
    for (const auto& shown : fixture.prompts.shown) {
        messages.append(shown.text);
    }
    QCOMPARE(messages, QStringList(4, QStringLiteral("Done.")));
    // The store keeps such folders as they are: the output folder, and the folders last chosen.
    form.Option1->setChecked(true);
    fixture.prompts.folderAnswers = {FromPathBytes(folder), FromPathBytes(folder)};
    fixture.prompts.inputAnswers = {QStringLiteral("csv")};
    form.PushButton6_Click();
    form.PushButton5_Click();
    WaitUntilAdded(form);
    QCOMPARE(ToPathBytes(form.inputList()->rowText(2)), inFolder);
    QCOMPARE(ToPathBytes(fixture.stored(QStringLiteral("Output Folder"))), folder + "/");
    QCOMPARE(ToPathBytes(fixture.stored(QStringLiteral("LastFolderDot"))), folder);
    QCOMPARE(ToPathBytes(fixture.stored(QStringLiteral("LastFolder"))), folder);
    QCOMPARE(ToPathBytes(fixture.restart().Text3->text()), folder + "/");
    // Qt's own removal would not find these names.
    std::filesystem::remove(file);
    std::filesystem::remove_all(root + "F\xE9");
#endif
}

void InputListTest::dropOfTextIsRefused() {
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.show();
    QMimeData text;
    text.setText(QStringLiteral("/etc/passwd"));
    auto [accepted, action] = DragAndDrop(form, text);
    QVERIFY(!accepted);
    QCOMPARE(action, Qt::IgnoreAction);
    // A list mixing a web address with a file is refused whole.
    QMimeData mixed;
    mixed.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp")),
                   QUrl(QStringLiteral("https://example.com/a.csv"))});
    std::tie(accepted, action) = DragAndDrop(form, mixed);
    QVERIFY(!accepted);
    QCOMPARE(action, Qt::IgnoreAction);
    QTest::qWait(50);
    QCOMPARE(form.inputList()->count(), 0);
}

void InputListTest::closingDuringAnAddIsSafe() {
    SlowReader reader;
    reader.delayMs = 20;
    for (int i = 0; i < 200; ++i) reader.addFile(QStringLiteral("/r/f%1/").arg(i), "x.csv");
    WindowFixture fixture;
    Form1& form = fixture.start();
    form.setFolderReader(reader);
    ClickAddAllCsvInR(fixture, form);
    QTRY_VERIFY(form.inputList()->count() > 0);
    QElapsedTimer closing;
    closing.start();
    fixture.form.reset();
    QVERIFY(closing.elapsed() < 1000);
    QTest::qWait(50);  // nothing left over reaches the closed window
}

int RunInputListTests(int argc, char** argv) {
    InputListTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "input_list_test.moc"
