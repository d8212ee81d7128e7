// The folder walk's handling of failures and attributes, over an in-memory tree whose folders
// fail on demand.
#include <gtest/gtest.h>

#include "fake_folder_reader.h"
#include "filelist/folder_walk.h"
#include "support/case_name.h"
#include "test_support.h"

using namespace quarrytab;

namespace {

class WalkFailures : public testing::Test {
  protected:
    void SetUp() override {
        //  r/ -- a/ -- a1/ -- deep/
        //     |     `- a2/
        //     `- b/ -- b1/
        for (const char* path : {"r/a/a1/deep/", "r/a/a2/", "r/b/b1/"}) m_reader.addFolder(path);
    }
    QStringList walk(QStringList start, const WalkYield& yield = {}) {
        for (QString& path : start) path = Native(path);
        m_completed = GetSubDirectories2016(start, true, m_reporter, yield, m_reader);
        return start;
    }
    static QStringList native(const QStringList& paths) {
        QStringList result;
        for (const QString& path : paths) result.push_back(Native(path));
        return result;
    }

    FakeFolderReader m_reader;
    RecordingReporter m_reporter;
    bool m_completed = false;
};

TEST_F(WalkFailures, WalksTheWholeTreeWhenNothingFails) {
    EXPECT_EQ(walk({"r/"}),
              native({"r/", "r/a/", "r/b/", "r/a/a1/", "r/a/a2/", "r/b/b1/", "r/a/a1/deep/"}));
    EXPECT_TRUE(m_completed);
}

struct ListingFailure {
    const char* name;
    const char* folder;
    ReadError error;
    qsizetype entriesBeforeError;
    std::vector<const char*> expected;
};

class UnreadableFolders : public WalkFailures,
                          public testing::WithParamInterface<ListingFailure> {};

// Denied or missing folders disappear, with all below them; any other failure keeps the folder
// and what was read before it. None of them is reported.
TEST_P(UnreadableFolders, AreRemovedOnlyWhenDeniedOrNotFound) {
    const ListingFailure& failure = GetParam();
    m_reader.folder(failure.folder).listError = failure.error;
    m_reader.folder(failure.folder).entriesBeforeError = failure.entriesBeforeError;
    QStringList expected;
    for (const char* path : failure.expected) expected.push_back(Native(path));
    EXPECT_EQ(walk({"r/"}), expected);
    EXPECT_TRUE(m_reporter.reports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnreadableFolders,
    testing::Values(
        ListingFailure{"Denied", "r/a/", ReadError::PermissionDenied, 0, {"r/", "r/b/", "r/b/b1/"}},
        ListingFailure{"NotFound", "r/a/", ReadError::PathNotFound, 0, {"r/", "r/b/", "r/b/b1/"}},
        ListingFailure{
            "OtherFailure", "r/a/", ReadError::Other, 0, {"r/", "r/a/", "r/b/", "r/b/b1/"}},
        // Broken off part-way: the subfolders read so far stay.
        ListingFailure{"OtherFailurePartWay",
                       "r/a/",
                       ReadError::Other,
                       1,
                       {"r/", "r/a/", "r/b/", "r/a/a1/", "r/b/b1/", "r/a/a1/deep/"}},
        ListingFailure{"DeniedPartWay",
                       "r/a/",
                       ReadError::PermissionDenied,
                       1,
                       {"r/", "r/b/", "r/a/a1/", "r/b/b1/", "r/a/a1/deep/"}},
        // The starting entry itself.
        ListingFailure{"StartingEntryDenied", "r/", ReadError::PermissionDenied, 0, {}},
        ListingFailure{"StartingEntryOtherFailure", "r/", ReadError::Other, 0, {"r/"}},
        // A folder on the deepest level.
        ListingFailure{"DeepestFolderNotFound",
                       "r/a/a1/deep/",
                       ReadError::PathNotFound,
                       0,
                       {"r/", "r/a/", "r/b/", "r/a/a1/", "r/a/a2/", "r/b/b1/"}}),
    CaseName());

TEST_F(WalkFailures, RemovesEveryCopyOfAnUnreadableStartingEntry) {
    m_reader.addFolder("s/");
    m_reader.folder("r/").listError = ReadError::PermissionDenied;
    EXPECT_EQ(walk({"r/", "s/", "r/"}), native({"s/"}));
}

TEST_F(WalkFailures, ReportsAFailureBeforeTheFirstEnumerationAndGoesOn) {
    // The first folder's own attributes cannot be read: that is reported, and the folder is
    // still searched.
    m_reader.folder("r/").attributesError = ReadError::Other;
    EXPECT_EQ(walk({"r/"}),
              native({"r/", "r/a/", "r/b/", "r/a/a1/", "r/a/a2/", "r/b/b1/", "r/a/a1/deep/"}));
    ASSERT_EQ(m_reporter.reports.size(), 1u);
    EXPECT_EQ(m_reporter.reports[0].location,
              "in Ternwick2021/08/31.AddFolder.GetSubDirectories2016 ");
    EXPECT_EQ(m_reporter.reports[0].line, 118);
}

TEST_F(WalkFailures, FailsSilentlyOnceTheEnumerationHasBegun) {
    // r/a/ is the first folder of its level, so its failure is reported and it is still searched;
    // r/b/ comes after the level's first enumeration and is dropped quietly. r/a/a1/ is the first
    // of its level again.
    m_reader.folder("r/a/").attributesError = ReadError::Other;
    m_reader.folder("r/b/").attributesError = ReadError::PermissionDenied;
    m_reader.folder("r/a/a1/").attributesError = ReadError::Other;
    // When the levels are joined, a folder whose attributes cannot be read is reported once more
    // (160) and left out; the folders found below it stay.
    EXPECT_EQ(walk({"r/"}), native({"r/", "r/a/a2/", "r/a/a1/deep/"}));
    std::vector<int> lines;
    for (const RecordedReport& report : m_reporter.reports) lines.push_back(report.line);
    EXPECT_EQ(lines, (std::vector<int>{118, 118, 160, 160}));
}

TEST_F(WalkFailures, ReportsAFolderThatFailsWhenTheLevelsAreJoined) {
    m_reader.addFolder("q/c/");
    // The folder reads well while it is searched, then fails when it is added to the list.
    struct FailLater : FakeFolderReader {
        int calls = 0;
        PathAttributes attributesOf(const QString& path) override {
            PathAttributes result = FakeFolderReader::attributesOf(path);
            if (path == Native("q/c/") && ++calls > 1)
                result.error = ReadError::Other;
            return result;
        }
    } reader;
    reader.addFolder("q/c/d/");
    QStringList list{Native("q/")};
    EXPECT_TRUE(GetSubDirectories2016(list, true, m_reporter, {}, reader));
    EXPECT_EQ(list, native({"q/", "q/c/d/"}));
    ASSERT_EQ(m_reporter.reports.size(), 1u);
    EXPECT_EQ(m_reporter.reports[0].line, 160);
}

struct AttributeCase {
    const char* name;
    std::uint32_t attributes;
    bool isRoot;
    bool listed;
    bool descended;
};

class ProtectedFolders : public WalkFailures, public testing::WithParamInterface<AttributeCase> {};

// Only the exact values 22 (system folder) and 1046 (junction) are left alone, and a root never.
TEST_P(ProtectedFolders, AreNeitherListedNorDescended) {
    m_reader.folder("r/a/").attributes = GetParam().attributes;
    m_reader.folder("r/a/").isRoot = GetParam().isRoot;
    const QStringList list = walk({"r/"});
    EXPECT_EQ(list.contains(Native("r/a/")), GetParam().listed);
    EXPECT_EQ(list.contains(Native("r/a/a1/")), GetParam().descended);
    EXPECT_TRUE(list.contains(Native("r/b/b1/")));
}

INSTANTIATE_TEST_SUITE_P(Table, ProtectedFolders,
                         testing::Values(AttributeCase{"Plain16", 16, false, true, true},
                                         AttributeCase{"Hidden18", 18, false, true, true},
                                         AttributeCase{"System22", 22, false, false, false},
                                         AttributeCase{"Junction1046", 1046, false, false, false},
                                         AttributeCase{"Other2070", 2070, false, true, true},
                                         AttributeCase{"Other1040", 1040, false, true, true},
                                         AttributeCase{"System22Root", 22, true, true, true}),
                         CaseName());

TEST_F(WalkFailures, KeepsAProtectedStartingEntryWithoutDescending) {
    m_reader.folder("r/").attributes = 22;
    EXPECT_EQ(walk({"r/"}), native({"r/"}));
    m_reader.folder("r/").isRoot = true;  // a drive root always is searched
    EXPECT_EQ(walk({"r/"}).size(), 7);
}

TEST_F(WalkFailures, SkipsLinksUnsafeAndOverlongNames) {
    FolderEntry link{"link", attributes::kDirectory | attributes::kReparsePoint};
    m_reader.folder("r/").entries.push_back(link);
    m_reader.addFolder("r/link/");
    m_reader.folder("r/").entries.removeLast();  // addFolder listed it a second time
    m_reader.addFolder("r/" + QString(259, u'n') + "/");
    m_reader.addFolder("r/" + QString(260, u'o') + "/");
    m_reader.addFolder(QString::fromUtf16(u"r/line\nbreak/"));
    m_reader.addFolder("r/what?/");
    m_reader.folder("r/b/").listError = ReadError::PermissionDenied;
    QStringList list{Native("r/")};
    QStringList told;
    const auto tell = [&](const QString& path, WalkSkip reason) {
        told.push_back(QString::number(int(reason)) + " " + path);
    };
    EXPECT_TRUE(GetSubDirectories2016(list, true, m_reporter, {}, m_reader, tell));
    // What was left out for its name or for being unreadable is told; links are not.
    EXPECT_EQ(told, (QStringList{
                        QString::number(int(WalkSkip::NameTooLong)) + " " +
                            Native("r/" + QString(260, u'o')),
                        QString::number(int(WalkSkip::UnsafeName)) + " " + Native("r/line\nbreak"),
                        QString::number(int(WalkSkip::UnsafeName)) + " " + Native("r/what?"),
                        QString::number(int(WalkSkip::Unreadable)) + " " + Native("r/b/"),
                    }));
    m_reader.folder("r/b/").listError = ReadError::None;
    list = walk({"r/"});
    EXPECT_FALSE(list.contains(Native("r/link/")));
    EXPECT_FALSE(list.contains(Native("r/" + QString(260, u'o') + "/")));
    EXPECT_FALSE(list.contains(Native("r/line\nbreak/")));
    EXPECT_FALSE(list.contains(Native("r/what?/")));
    // A 259-character name is walked up to the path limit: listed, not descended.
    EXPECT_TRUE(list.contains(Native("r/" + QString(259, u'n') + "/")));
    EXPECT_EQ(list.size(), 8);
}

TEST_F(WalkFailures, ListsOnlyFilesThatCanBeFound) {
    m_reader.addFile("r/", "plain.csv");
    m_reader.folder("r/").entries.push_back({"link.csv", attributes::kReparsePoint});
    m_reader.folder("r/").entries.push_back({"gone.csv", attributes::kReparsePoint});
    m_reader.folder("r/").entries.push_back({"odd.csv", 0});
    m_reader.folder("r/").entries.push_back({"odd2.csv", attributes::kHidden});
    m_reader.missingFiles = QStringList{Native("r/gone.csv"), Native("r/odd2.csv")};
    EXPECT_EQ(GetFilesInFolder(Native("r"), "*.csv", m_reader),
              (QStringList{"plain.csv", "link.csv", "odd.csv"}));
}

TEST_F(WalkFailures, StopsQuietlyWhenCancelled) {
    int calls = 0;
    const QStringList list = walk({"r/"}, [&] { return ++calls < 3; });
    EXPECT_FALSE(m_completed);
    EXPECT_EQ(list, native({"r/"}));
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(m_reporter.reports.empty());

    // Yielding without cancelling happens between folders and changes nothing.
    calls = 0;
    EXPECT_EQ(walk({"r/"}, [&] { return ++calls > 0; }).size(), 7);
    EXPECT_TRUE(m_completed);
    EXPECT_GE(calls, 7);

    // Collecting files gives nothing when cancelled.
    m_reader.addFile("r/b/", "x.csv");
    EXPECT_EQ(CollectFiles(Native("r/"), "*.csv", m_reporter, {}, m_reader),
              QStringList{Native("r/b/x.csv")});
    EXPECT_TRUE(CollectFiles(
                    Native("r/"), "*.csv", m_reporter, [] { return false; }, m_reader)
                    .isEmpty());
}

}  // namespace
