#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/paths.h"
#include "temp_path.h"

using namespace quarrytab;

namespace {

struct PathCase {
    const char* input;
    const char* expected;
};

TEST(PathText, FileNameAndFolderOnWindowsPaths) {
    const PathCase names[] = {
        {R"(C:\data\sales.csv)", "sales.csv"},
        {R"(C:\data\)", ""},
        {"sales.csv", "sales.csv"},
        {"/home/ann/sales.csv", "/home/ann/sales.csv"},  // only "\" separates on Windows
        {"", ""},
    };
    for (const auto& c : names)
        EXPECT_EQ(GetFileNameFromPath(c.input, PathStyle::Windows), c.expected) << c.input;

    const PathCase folders[] = {
        {R"(C:\data\sales.csv)", R"(C:\data\)"},
        {"sales.csv", ""},
        {R"(\\srv\share\a.csv)", R"(\\srv\share\)"},
    };
    for (const auto& c : folders)
        EXPECT_EQ(GetFolderFromPath(c.input, PathStyle::Windows), c.expected) << c.input;
}

TEST(PathText, FileNameAndFolderOnPosixPaths) {
    EXPECT_EQ(GetFileNameFromPath("/home/ann/sales.csv", PathStyle::Posix), "sales.csv");
    EXPECT_EQ(GetFileNameFromPath(R"(C:\data\sales.csv)", PathStyle::Posix),
              R"(C:\data\sales.csv)");
    EXPECT_EQ(GetFolderFromPath("/home/ann/sales.csv", PathStyle::Posix), "/home/ann/");
    EXPECT_EQ(BaseNameOf("/data/people.2021.csv", PathStyle::Posix), "people.2021");
}

TEST(PathText, RemoveFileExtension) {
    const PathCase cases[] = {
        {"sales.2021.csv", "sales.2021"},
        {".csv", ".csv"},
        {"README", "README"},
        {"", ""},
        {"a.", "a"},
        {"..csv", "."},
    };
    for (const auto& c : cases) EXPECT_EQ(RemoveFileExtension(c.input), c.expected) << c.input;
}

TEST(PathText, FixDoubleBackslashesOnWindowsPaths) {
    const PathCase cases[] = {
        {R"(C:\\data\\a.csv)", R"(C:\data\a.csv)"},
        {R"(\\server\share\\a.csv)", R"(\\server\share\a.csv)"},
        {R"(\\\\server\a.csv)", R"(\\server\a.csv)"},
        {R"(\data\a.csv)", R"(\\data\a.csv)"},
        {R"(C:\\\a.csv)", R"(C:\\a.csv)"},
        {R"(C:\\\\a.csv)", R"(C:\\a.csv)"},
        {R"(C:\x.csv)", R"(C:\x.csv)"},
        {R"(\\\)", R"(\\)"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FixDoubleBackslashes(c.input, PathStyle::Windows), c.expected) << c.input;
}

TEST(PathText, FixDoubleBackslashesOnPosixPaths) {
    const PathCase cases[] = {
        {"/home//ann///a.csv", "/home/ann/a.csv"},
        {"//srv/a.csv", "/srv/a.csv"},
        {"/tmp/out/", "/tmp/out/"},
        {"", ""},
        {R"(a\\b)", R"(a\\b)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FixDoubleBackslashes(c.input, PathStyle::Posix), c.expected) << c.input;
        // Cleaning twice changes nothing more.
        EXPECT_EQ(
            FixDoubleBackslashes(FixDoubleBackslashes(c.input, PathStyle::Posix), PathStyle::Posix),
            c.expected);
    }
}

TEST(PathProbes, TellFilesFoldersAndMissingPathsApart) {
    const auto folder = UniqueTempPath("quarrytab-probe-test");
    std::filesystem::create_directories(folder);
    const auto file = folder / "a file.csv";
    std::ofstream(file) << "x\n";
    const std::string folderText = folder.string();
    const std::string fileText = file.string();
    const std::string missing = (folder / "missing.csv").string();

    EXPECT_TRUE(FolderExists(folderText));
    EXPECT_FALSE(FolderExists(fileText));
    EXPECT_FALSE(FolderExists(missing));
    EXPECT_FALSE(FolderExists(""));

    EXPECT_TRUE(FileExists(fileText));
    EXPECT_FALSE(FileExists(folderText));
    EXPECT_FALSE(FileExists(missing));
    EXPECT_FALSE(FileExists(""));

    EXPECT_TRUE(PathExists(fileText));
    EXPECT_TRUE(PathExists(folderText));
    EXPECT_FALSE(PathExists(missing));
    EXPECT_FALSE(PathExists(""));
    std::filesystem::remove_all(folder);
}

}  // namespace
