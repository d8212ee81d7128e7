// Reading real folders: the order of names, the attribute values and the kinds of failure.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "filelist/folder_reader.h"
#include "test_support.h"

using namespace quarrytab;
namespace attr = quarrytab::attributes;

namespace {

QStringList Names(const FolderListing& listing) {
    QStringList names;
    for (const FolderEntry& entry : listing.entries) names.push_back(entry.name);
    return names;
}

std::uint32_t AttributesIn(const FolderListing& listing, const QString& name) {
    for (const FolderEntry& entry : listing.entries) {
        if (entry.name == name)
            return entry.attributes;
    }
    ADD_FAILURE() << "no entry " << name.toStdString();
    return 0;
}

TEST(SystemFolderReader, ListsNamesInOrderWithoutRegardToCase) {
    QTemporaryDir dir;
    MakeTree(dir.path(), {"b.csv", "A.csv", "c/", "B2.txt", "a1/", "_x", ".z"});
    const FolderListing listing = systemFolderReader().list(Native(dir.path() + "/"));
    EXPECT_EQ(listing.error, ReadError::None);
    EXPECT_EQ(Names(listing), (QStringList{".z", "_x", "A.csv", "a1", "b.csv", "B2.txt", "c"}));
}

TEST(SystemFolderReader, GivesTheAttributesOfEachKindOfEntry) {
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    MakeTree(root, {"folder/", ".hiddenfolder/", "file.csv", ".hidden.csv", "locked.csv"});
    QFile(root + "locked.csv").setPermissions(QFile::ReadOwner | QFile::ReadGroup);
    if (!MakeLink(root + "folder", root + "folderlink") ||
        !MakeLink(root + "file.csv", root + "filelink") ||
        !MakeLink(root + "gone", root + "dangling"))
        GTEST_SKIP() << "symbolic links cannot be made here";

    const FolderListing listing = systemFolderReader().list(Native(root));
    EXPECT_EQ(AttributesIn(listing, "folder"), attr::kDirectory);
    EXPECT_EQ(AttributesIn(listing, ".hiddenfolder"), attr::kDirectory | attr::kHidden);
    EXPECT_EQ(AttributesIn(listing, "file.csv"), attr::kArchive);
    EXPECT_EQ(AttributesIn(listing, ".hidden.csv"), attr::kArchive | attr::kHidden);
    EXPECT_EQ(AttributesIn(listing, "folderlink"), attr::kReparsePoint | attr::kDirectory);
    EXPECT_EQ(AttributesIn(listing, "filelink"), attr::kReparsePoint);
    EXPECT_EQ(AttributesIn(listing, "dangling"), attr::kReparsePoint);

    // The look at one path adds the read-only bit the listing leaves out.
    FolderReader& reader = systemFolderReader();
    EXPECT_EQ(reader.attributesOf(Native(root + "locked.csv")).attributes,
              attr::kArchive | attr::kReadOnly);
    EXPECT_EQ(reader.attributesOf(Native(root + "folder/")).attributes, attr::kDirectory);
    EXPECT_EQ(reader.attributesOf(Native(root + "folderlink")).attributes,
              attr::kReparsePoint | attr::kDirectory);
    EXPECT_FALSE(reader.attributesOf(Native(root + "folder/")).isRoot);
    EXPECT_TRUE(reader.attributesOf(QDir::rootPath()).isRoot);

    EXPECT_TRUE(reader.fileExists(Native(root + "filelink")));
    EXPECT_FALSE(reader.fileExists(Native(root + "dangling")));
    EXPECT_FALSE(reader.fileExists(Native(root + "folder")));
    EXPECT_TRUE(reader.folderExists(Native(root + "folderlink")));
    EXPECT_FALSE(reader.folderExists(Native(root + "file.csv")));
    EXPECT_FALSE(reader.folderExists(QString()));
}

TEST(SystemFolderReader, TellsAMissingFolderFromOtherFailures) {
    QTemporaryDir dir;
    MakeTree(dir.path(), {"file.csv"});
    FolderReader& reader = systemFolderReader();

    const FolderListing missing = reader.list(Native(dir.path() + "/missing/"));
    EXPECT_EQ(missing.error, ReadError::PathNotFound);
    EXPECT_FALSE(missing.errorText.isEmpty());
    EXPECT_EQ(reader.attributesOf(Native(dir.path() + "/missing")).error, ReadError::PathNotFound);
    // A file where a folder was expected is a path that does not lead anywhere either.
    EXPECT_EQ(reader.list(Native(dir.path() + "/file.csv/")).error, ReadError::PathNotFound);

    EXPECT_EQ(FailureNumber(ReadError::PermissionDenied), 70);
    EXPECT_EQ(FailureNumber(ReadError::PathNotFound), 76);
    EXPECT_NE(FailureNumber(ReadError::Other), 70);
    EXPECT_NE(FailureNumber(ReadError::Other), 76);
}

TEST(SystemFolderReader, LeavesOutDevicesPipesAndSockets) {
    // Reading a device or a pipe may never end, so none of them is offered as a file.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        if (!entry.is_character_file(error) || entry.is_symlink(error))
            continue;
        const QString folder = FromFileSystemText(entry.path().parent_path().native()) + "/";
        const QString name = FromFileSystemText(entry.path().filename().native());
        FolderReader& reader = systemFolderReader();
        EXPECT_FALSE(reader.fileExists(folder + name));
        EXPECT_FALSE(Names(reader.list(folder)).contains(name));
        return;
    }
    GTEST_SKIP() << "no device to look at";
}

}  // namespace
