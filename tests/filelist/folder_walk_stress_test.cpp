// The walk and collection on trees that stress them: deep nesting, many files, and names made of
// every kind of character the platform allows.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "filelist/folder_walk.h"
#include "test_support.h"

using namespace quarrytab;

namespace {

TEST(FolderWalkStress, FortyLevelsDeepAreAllCollectedInLevelOrder) {
    QTemporaryDir dir;
    QStringList names;
    QString path;
    for (int level = 0; level < 40; ++level) {
        names.push_back(path + QStringLiteral("f%1.csv").arg(level));
        path += QStringLiteral("d/");
    }
    MakeTree(dir.path(), names);
    RecordingReporter reporter;
    const QStringList files = CollectFiles(Native(dir.path()), "*.*", reporter);
    EXPECT_TRUE(reporter.reports.empty());
    ASSERT_EQ(files.size(), 40);
    for (int level = 0; level < 40; ++level)
        EXPECT_TRUE(files[level].endsWith(QStringLiteral("f%1.csv").arg(level))) << level;
}

TEST(FolderWalkStress, TwentyThousandFilesInTwoHundredFolders) {
    QTemporaryDir dir;
    QStringList names;
    for (int folder = 0; folder < 200; ++folder)
        for (int file = 0; file < 100; ++file)
            names.push_back(QStringLiteral("f%1/%2.csv").arg(folder, 3, 10, QChar('0')).arg(file));
    MakeTree(dir.path(), names);
    RecordingReporter reporter;
    QStringList files = CollectFiles(Native(dir.path()), "*.csv", reporter);
    EXPECT_EQ(files.size(), 20000);
    EXPECT_EQ(files.removeDuplicates(), 0);
    EXPECT_TRUE(reporter.reports.empty());
}

#ifndef Q_OS_WIN
TEST(FolderWalkStress, NamesOfEveryKindOfCharacter) {
    QTemporaryDir dir;
    // Every printable ASCII character a file name may hold, spaces at both ends, quotes of every
    // kind, letters beyond ASCII, a character outside the basic plane, and control characters.
    const QStringList fileNames = {
        QStringLiteral(" !\"#$%&'()*+,-.;<=>@[\\]^_`{|}~ .csv"),
        QStringLiteral("O'Neil; DROP TABLE x; --.csv"),
        QString::fromUtf8("Zo\xC3\xAB \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80.csv"),
        QStringLiteral("tab\there.csv"),
        QStringLiteral("?.csv"),
    };
    QStringList names = fileNames;
    names.push_back(QStringLiteral("ok folder/inside.csv"));
    names.push_back(
        QStringLiteral("bad\x01"
                       "folder/hidden-by-its-name.csv"));
    names.push_back(QStringLiteral("bad?folder/hidden-by-its-name.csv"));
    MakeTree(dir.path(), names);

    RecordingReporter reporter;
    QStringList found;
    for (const QString& file : CollectFiles(Native(dir.path()), "*.*", reporter))
        found.push_back(QFileInfo(file).fileName());
    // Files keep every character; folders with unsafe names are left out with what they hold.
    for (const QString& name : fileNames) EXPECT_TRUE(found.contains(name)) << name.toStdString();
    EXPECT_TRUE(found.contains(QStringLiteral("inside.csv")));
    EXPECT_FALSE(found.contains(QStringLiteral("hidden-by-its-name.csv")));
    EXPECT_EQ(found.size(), fileNames.size() + 1);
}
#endif

}  // namespace
