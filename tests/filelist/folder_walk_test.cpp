// The folder walk, the file listing and file collection over real folder trees.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "engine/paths.h"

#include "filelist/folder_walk.h"
#include "test_support.h"

using namespace quarrytab;

namespace {

class FolderWalk : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    // The native path of a folder under the temporary root, ending with the separator.
    QString folder(const QString& relative = {}) const {
        const QString path = m_dir.path() + "/" + relative;
        return Native(path.endsWith(u'/') ? path : path + "/");
    }
    QStringList folders(const QStringList& relatives) const {
        QStringList paths;
        for (const QString& relative : relatives) paths.push_back(folder(relative));
        return paths;
    }
    // The walk of the given starting folders, expecting no report.
    QStringList walk(const QStringList& start, bool recurse = true) {
        QStringList list = folders(start);
        RecordingReporter reporter;
        EXPECT_TRUE(GetSubDirectories2016(list, recurse, reporter));
        EXPECT_TRUE(reporter.reports.empty());
        return list;
    }
    QString root() const { return m_dir.path(); }

    QTemporaryDir m_dir;
};

TEST_F(FolderWalk, ExtendsTheListLevelByLevel) {
    MakeTree(root(), {"one/b/deep/", "one/a/x/y/", "two/c/", "two/C2/z/", "one/file.csv"});
    EXPECT_EQ(walk({"one", "two"}), folders({"one", "two", "one/a", "one/b", "two/c", "two/C2",
                                             "one/a/x", "one/b/deep", "two/C2/z", "one/a/x/y"}));
    // Without recursion only the children come.
    EXPECT_EQ(walk({"one", "two"}, false),
              folders({"one", "two", "one/a", "one/b", "two/c", "two/C2"}));
}

TEST_F(FolderWalk, LeavesAListWithoutSubfoldersAsItWas) {
    MakeTree(root(), {"empty/", "files/a.csv", "files/b.txt"});
    EXPECT_EQ(walk({"empty", "files"}), folders({"empty", "files"}));
    // Duplicates stay; an entry that is not a folder is neither removed nor descended.
    QStringList list = folders({"files", "files"}) << Native(root() + "/files/a.csv");
    const QStringList before = list;
    RecordingReporter reporter;
    EXPECT_TRUE(GetSubDirectories2016(list, true, reporter));
    EXPECT_EQ(list, before);
}

TEST_F(FolderWalk, LeavesOutUnsafeNamesAndEverythingBelowThem) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows does not allow these names";
#endif
    MakeTree(root(), {"top/ok/", QString("top/bell\x07/below/"), "top/what?/below/",
                      QString::fromUtf16(u"top/c1\x0085/"), QString::fromUtf16(u"top/Müller/")});
    EXPECT_EQ(walk({"top"}), folders({"top", "top/Müller", "top/ok"}));
}

TEST_F(FolderWalk, DoesNotFollowSymbolicLinks) {
    MakeTree(root(), {"top/a/b/", "top/a/b/f.csv", "outside/o.csv"});
    // A link to an ancestor would make the walk endless; one to another tree would list it twice.
    if (!MakeLink(root() + "/top", root() + "/top/a/b/loop") ||
        !MakeLink(root() + "/outside", root() + "/top/a/elsewhere"))
        GTEST_SKIP() << "symbolic links cannot be made here";
    EXPECT_EQ(walk({"top"}), folders({"top", "top/a", "top/a/b"}));
    RecordingReporter reporter;
    EXPECT_EQ(CollectFiles(folder("top"), "*.*", reporter),
              QStringList{folder("top/a/b") + "f.csv"});

    // A link the caller names itself is walked: the user chose it.
    EXPECT_EQ(walk({"top/a/elsewhere"}), folders({"top/a/elsewhere"}));
    MakeTree(root(), {"outside/inner/"});
    EXPECT_EQ(walk({"top/a/elsewhere"}), folders({"top/a/elsewhere", "top/a/elsewhere/inner"}));
}

TEST_F(FolderWalk, ListsHiddenFolders) {
    MakeTree(root(), {"top/.git/objects/", "top/src/"});
    EXPECT_EQ(walk({"top"}), folders({"top", "top/.git", "top/src", "top/.git/objects"}));
}

TEST_F(FolderWalk, CutsOffPathsOf260CharactersOrMore) {
    const QString top = folder("t");
    // Folder paths end with the separator, so a child's path is parent + name + 1.
    const qsizetype room = kMaxWalkPathLength - top.size() - 1;
    ASSERT_GT(room, 2);
    ASSERT_LT(room, 250) << "the temporary folder's path is too long for this test";
    const QString descended(room - 1, u'a');  // a path of 259 characters
    const QString notDescended(room, u'b');   // a path of 260 characters
    MakeTree(root(), {"t/" + descended + "/c/d/", "t/" + notDescended + "/e/"});
    ASSERT_EQ((top + descended + "/").size(), 259);

    EXPECT_EQ(walk({"t"}),
              folders({"t", "t/" + descended, "t/" + notDescended, "t/" + descended + "/c"}));
    // A starting entry of 260 characters is kept but not descended.
    EXPECT_EQ(walk({"t/" + notDescended}), folders({"t/" + notDescended}));

    // The length is that of the absolute path, however the folder is typed, and the folders not
    // descended that hold folders are told (not t/<b...>/e/, which holds none).
    MakeTree(root(), {"t/" + descended + "/c/f.csv", "t/" + notDescended + "/e/g.csv"});
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root()));
    RecordingReporter reporter;
    for (const QString& typed : {Native("t"), Native("./t/"), Native("t/../t"), top}) {
        QStringList skipped;
        const QStringList files = CollectFiles(typed, "*.csv", reporter, {}, systemFolderReader(),
                                               [&](const QString& path, WalkSkip reason) {
                                                   if (reason == WalkSkip::PathTooLong)
                                                       skipped.push_back(QDir(path).dirName());
                                               });
        ASSERT_EQ(files.size(), 1) << typed.toStdString();
        EXPECT_TRUE(files[0].endsWith(Native(descended + "/c/f.csv"))) << typed.toStdString();
        EXPECT_EQ(skipped, (QStringList{notDescended, "c"})) << typed.toStdString();
    }
    QDir::setCurrent(before);
    EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(FolderWalk, KeepsNamesThatAreNotUtf8) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows names are UTF-16";
#else
    // "café" in Latin-1: the byte E9 on its own is not UTF-8.
    const std::string top = ToPathBytes(folder("bytes"));
    const std::vector<std::string> files{top + "caf\xE9.csv", top + "caf\xE9/in\xE9.csv"};
    std::filesystem::create_directories(top + "caf\xE9");
    for (const std::string& file : files) std::ofstream(file) << "x";
    RecordingReporter reporter;
    EXPECT_EQ(CollectPathBytes(top, "*.csv", reporter), files);
    const QStringList found = CollectFiles(folder("bytes"), "*.csv", reporter);
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(ToPathBytes(found[0]), files[0]);
    EXPECT_EQ(ToPathBytes(found[1]), files[1]);
    EXPECT_TRUE(FileExists(ToPathBytes(found[1])));
    EXPECT_EQ(GetFilesInFolder(folder("bytes"), "caf?.*"),
              QStringList{FromPathBytes("caf\xE9.csv")});
    // A file dialog shows such a name decoded, with a replacement character; the path it gives
    // back is found again.
    const QString shown = QString::fromLocal8Bit(files[1].c_str());
    ASSERT_TRUE(shown.contains(QChar::ReplacementCharacter));
    EXPECT_EQ(ToPathBytes(ResolveShownPath(shown)), files[1]);
    EXPECT_EQ(ResolveShownPath(folder("none\uFFFD")), folder("none\uFFFD"));
    EXPECT_TRUE(reporter.reports.empty());
    std::filesystem::remove_all(top);  // Qt's own removal would not find these names
#endif
}

TEST_F(FolderWalk, ListsFilesByPattern) {
    MakeTree(root(), {"f/a.csv", "f/B.CSV", "f/b.txt", "f/.hidden.csv", "f/README", "f/dir.csv/",
                      "f/~lock.csv"});
    const bool linked = MakeLink(root() + "/f/gone.csv", root() + "/f/dangling.csv");
    const QString f = folder("f");
    const QString bare = f.chopped(1);

    const QStringList csv{".hidden.csv", "a.csv", "B.CSV", "~lock.csv"};
    EXPECT_EQ(GetFilesInFolder(f, "*.csv"), csv);
    EXPECT_EQ(GetFilesInFolder(bare, "*.csv"), csv);  // with or without the separator
    EXPECT_EQ(GetFilesInFolder(f, "*.*"),
              (QStringList{".hidden.csv", "a.csv", "B.CSV", "b.txt", "README", "~lock.csv"}));
    EXPECT_EQ(GetFilesInFolder(f, "*"), GetFilesInFolder(f, "*.*"));
    EXPECT_EQ(GetFilesInFolder(f, "*.txt"), QStringList{"b.txt"});
    EXPECT_TRUE(GetFilesInFolder(f, "*.xls").isEmpty());
    EXPECT_TRUE(GetFilesInFolder(folder("missing"), "*.*").isEmpty());
    EXPECT_TRUE(GetFilesInFolder(QString(), "*.*").isEmpty());
    if (linked) {
        EXPECT_FALSE(GetFilesInFolder(f, "*.*").contains("dangling.csv"));
    }
}

TEST_F(FolderWalk, CollectsMatchingFilesInWalkOrder) {
    MakeTree(root(), {"in/z.csv", "in/~$report.csv", "in/a/deep/d.csv", "in/a/a.CSV", "in/a/~a.csv",
                      "in/b/b.txt", "in/b/.b.csv", "in/a~/c.csv"});
    RecordingReporter reporter;
    const QString in = folder("in");
    EXPECT_EQ(CollectFiles(in, "*.csv", reporter),
              (QStringList{in + "z.csv", folder("in/a") + "a.CSV", folder("in/a~") + "c.csv",
                           folder("in/b") + ".b.csv", folder("in/a/deep") + "d.csv"}));
    // A folder named without the separator, or with a doubled one, gives the same paths.
    EXPECT_EQ(CollectFiles(in.chopped(1), "*.txt", reporter),
              QStringList{folder("in/b") + "b.txt"});
    EXPECT_EQ(CollectFiles(Native(root() + "//in"), "*.txt", reporter),
              QStringList{folder("in/b") + "b.txt"});
    EXPECT_TRUE(CollectFiles(folder("missing"), "*.*", reporter).isEmpty());
    EXPECT_TRUE(reporter.reports.empty());
}

}  // namespace
