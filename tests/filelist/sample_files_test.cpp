#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "filelist/input_file_list.h"
#include "filelist/sample_files.h"

namespace quarrytab {
namespace {

void Touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("a,b\r\n");
}

TEST(SampleFiles, SnapshotJoinsTheFullPathsOfTheFilesOnly) {
    QTemporaryDir dir;
    const QString program = QDir::toNativeSeparators(dir.path());
    const QString samples = SampleFolder(program);
    EXPECT_EQ(samples, program + QDir::separator() + QStringLiteral("Samples"));
    EXPECT_EQ(SampleSnapshot(program), QString());  // no folder: nothing recorded

    ASSERT_TRUE(QDir().mkpath(samples + QStringLiteral("/sub")));
    EXPECT_EQ(SampleSnapshot(program), QString());  // a sub-folder is not a sample
    Touch(samples + QStringLiteral("/b.csv"));
    Touch(samples + QStringLiteral("/a.csv"));
    Touch(samples + QStringLiteral("/notes"));
    const QString prefix = samples + QDir::separator();
    EXPECT_EQ(SampleSnapshot(program), prefix + "a.csv|" + prefix + "b.csv|" + prefix + "notes");
}

TEST(SampleFiles, SnapshotPathsSplitsAtEveryBar) {
    EXPECT_TRUE(SnapshotPaths(QString()).isEmpty());
    EXPECT_EQ(SnapshotPaths(QStringLiteral("x")), QStringList{"x"});
    EXPECT_EQ(SnapshotPaths(QStringLiteral("/a|/b c|/d")), (QStringList{"/a", "/b c", "/d"}));
    EXPECT_EQ(SnapshotPaths(QStringLiteral("/a||/b")), (QStringList{"/a", "", "/b"}));
}

TEST(SampleFiles, ItemInListComparesExactly) {
    // Loading the samples skips a path the input list already holds, compared exactly.
    InputFileList rows;
    EXPECT_FALSE(rows.ItemInList(QStringLiteral("/p/a.csv")));
    rows.append(QStringList{QStringLiteral("/p/a.csv"), QStringLiteral("/p/b.csv")});
    EXPECT_TRUE(rows.ItemInList(QStringLiteral("/p/b.csv")));
    EXPECT_FALSE(rows.ItemInList(QStringLiteral("/p/B.csv")));
    EXPECT_FALSE(rows.ItemInList(QStringLiteral("/p/a.csv ")));
}

}  // namespace
}  // namespace quarrytab
