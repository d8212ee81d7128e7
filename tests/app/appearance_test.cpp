#include <QApplication>
#include <QInputDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/appearance.h"
#include "app/form1.h"
#include "app/qt_prompts.h"
#include "engine/error_trap.h"
#include "test_support.h"

using namespace quarrytab;
using quarrytab::testing::CursorFileBytes;
using quarrytab::testing::WriteFile;

// The helpers behind the window's looks and dialogs, without a window.
class AppearanceTest : public QObject {
    Q_OBJECT
  private slots:
    void cursorFilesLoadWithTheirHotSpot();
    void filesThatAreNoCursorAreInvalidPictures_data();
    void filesThatAreNoCursorAreInvalidPictures();
    void anUnparsableStyleSheetIsRejectedAndRemoved();
    void applicationTitleDropsWordsFromTheCaption_data();
    void applicationTitleDropsWordsFromTheCaption();
    void dialogFoldersKeepOnlyARootsSeparator_data();
    void dialogFoldersKeepOnlyARootsSeparator();
    void messageLineBreaksShowAsLines();

  private:
    QTemporaryDir m_dir;
};

void AppearanceTest::cursorFilesLoadWithTheirHotSpot() {
    const QString path = m_dir.filePath(QStringLiteral("hand.cur"));
    WriteFile(path, CursorFileBytes(5, 3));
    const QCursor cursor = LoadCursorFile(path);
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    QCOMPARE(cursor.hotSpot(), QPoint(5, 3));
    QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
}

void AppearanceTest::filesThatAreNoCursorAreInvalidPictures_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("not a cursor at all, just some text");
    QByteArray icon = CursorFileBytes(0, 0);
    icon[2] = 1;  // an icon file, not a cursor
    QTest::newRow("icon") << icon;
    QTest::newRow("header only") << CursorFileBytes(1, 1).left(30);
}

void AppearanceTest::filesThatAreNoCursorAreInvalidPictures() {
    QFETCH(QByteArray, bytes);
    const QString path = m_dir.filePath(QStringLiteral("bad.cur"));
    WriteFile(path, bytes);
    try {
        LoadCursorFile(path);
        QFAIL("no failure");
    } catch (const Failure& failure) {
        QCOMPARE(failure.number(), 481);
        QCOMPARE(QString::fromStdString(failure.description()), QStringLiteral("Invalid picture"));
    }
    QVERIFY_THROWS_EXCEPTION(Failure, LoadCursorFile(m_dir.filePath(QStringLiteral("missing"))));
}

void AppearanceTest::anUnparsableStyleSheetIsRejectedAndRemoved() {
    QWidget window;
    auto* button = new QPushButton(QStringLiteral("x"), &window);
    QVERIFY_THROWS_EXCEPTION(Failure,
                             ApplyStyleSheet(window, QStringLiteral("QPushButton { color: ")));
    QCOMPARE(window.styleSheet(), QString());

    ApplyStyleSheet(window, QStringLiteral("QPushButton { color: rgb(1, 2, 3); }"));
    QCOMPARE(button->palette().color(QPalette::ButtonText), QColor(1, 2, 3));
}

void AppearanceTest::applicationTitleDropsWordsFromTheCaption_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("title");
    QTest::newRow("program caption") << "Quarrytab Software"
                                     << "Quarrytab";
    QTest::newRow("short still loses a word") << "A B"
                                              << "A";
    QTest::newRow("long") << "one two three four five six seven eight nine ten"
                          << "one two three four five six seven eight";
    QTest::newRow("exactly 41 after one cut")
        << QString(41, QLatin1Char('x')) + " tail" << QString(41, QLatin1Char('x'));
    QTest::newRow("no space") << "Quarrytab"
                              << "Quarrytab";
}

void AppearanceTest::applicationTitleDropsWordsFromTheCaption() {
    QFETCH(QString, caption);
    QFETCH(QString, title);
    QCOMPARE(ApplicationTitleFor(caption), title);
}

void AppearanceTest::dialogFoldersKeepOnlyARootsSeparator_data() {
    QTest::addColumn<QString>("fromDialog");
    QTest::addColumn<QString>("expected");
    QTest::newRow("cancelled") << ""
                               << "";
#ifdef _WIN32
    QTest::newRow("drive root") << "C:/"
                                << "C:\\";
    QTest::newRow("folder") << "D:/Out"
                            << "D:\\Out";
    QTest::newRow("folder with separator") << "D:/Out/"
                                           << "D:\\Out";
#else
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("folder") << "/srv/out"
                            << "/srv/out";
    QTest::newRow("folder with separator") << "/srv/out/"
                                           << "/srv/out";
#endif
}

void AppearanceTest::dialogFoldersKeepOnlyARootsSeparator() {
    QFETCH(QString, fromDialog);
    QFETCH(QString, expected);
    QCOMPARE(FolderPathFromDialog(fromDialog), expected);
}

void AppearanceTest::messageLineBreaksShowAsLines() {
    QCOMPARE(DisplayLineBreaks(QStringLiteral("a\r\nb\r\rc")), QStringLiteral("a\nb\n\nc"));
    // The input box shows its prompt's line breaks as the message boxes do.
    QtPrompts prompts;
    QString shown;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QInputDialog*>(widget); box && box->isVisible()) {
                shown = box->labelText();
                box->reject();
            }
        }
    });
    look.start(10);
    QCOMPARE(prompts.inputBox(QStringLiteral("Enter:\r\r(all)"), QStringLiteral("T"),
                              QStringLiteral("csv")),
             QString());
    QCOMPARE(shown, QStringLiteral("Enter:\n\n(all)"));
}

int RunAppearanceTests(int argc, char** argv) {
    AppearanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "appearance_test.moc"
