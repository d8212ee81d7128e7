#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "engine/line_reader.h"
#include "support/memory_source.h"
#include "support/recording_reporter.h"
#include "temp_path.h"

using namespace quarrytab;
using Lines = std::vector<std::string>;

namespace {

class TempFile {
  public:
    explicit TempFile(const std::string& bytes) {
        m_path = UniqueTempPath("quarrytab-reader").string() + ".csv";
        std::ofstream(m_path, std::ios::binary) << bytes;
    }
    ~TempFile() { std::filesystem::remove(m_path); }
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

Lines ReadAll(const std::string& path, RecordingReporter& reporter, std::size_t blockSize) {
    Lines lines;
    LineReader reader(reporter, blockSize);
    if (!reader.open(path))
        return lines;
    std::string_view line;
    while (reader.next(line)) lines.emplace_back(line);
    return lines;
}

struct ReadCase {
    const char* name;
    std::string bytes;
    Lines lines;
};

TEST(LineReader, SplitsAtEveryKindOfLineBreakWhateverTheBlockSize) {
    const ReadCase cases[] = {
        {"empty file", "", {}},
        {"LF ends", "a\nb\n", {"a", "b"}},
        {"no final break", "a\nb", {"a", "b"}},
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"lone CR", "a\rb\r", {"a", "b"}},
        {"mixed", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"empty line inside", "a\n\nb\n", {"a", "", "b"}},
        {"CR CR LF", "a\r\r\nb", {"a", "", "b"}},
        {"only breaks", "\n\r\n\r", {"", "", ""}},
        {"byte-order mark kept", "\xEF\xBB\xBFid,name\n", {"\xEF\xBB\xBFid,name"}},
        {"bytes unchanged", std::string("caf\xE9;\x00x\n", 8), {std::string("caf\xE9;\x00x", 7)}},
    };
    // Small blocks put line breaks, and the halves of CR LF, on block boundaries.
    for (std::size_t blockSize : {2u, 3u, 5u, 1u << 20}) {
        for (const auto& c : cases) {
            TempFile file(c.bytes);
            RecordingReporter reporter;
            EXPECT_EQ(ReadAll(file.path(), reporter, blockSize), c.lines)
                << c.name << ", block " << blockSize;
            EXPECT_TRUE(reporter.reports.empty());
        }
    }
}

TEST(LineReader, LongLineOutgrowsTheBlock) {
    const std::string longLine(100000, 'x');
    TempFile file(longLine + "\r\nend");
    RecordingReporter reporter;
    EXPECT_EQ(ReadAll(file.path(), reporter, 64), (Lines{longLine, "end"}));
}

TEST(ReadFileToStringFSOLine, ReportsAFileThatCannotBeOpened) {
    RecordingReporter reporter;
    const auto missing = UniqueTempPath("quarrytab-no-such").string() + ".csv";
    EXPECT_TRUE(ReadFileToStringFSOLine(missing, reporter).empty());
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].location, "in Quarrytab2021/08/31.Main.ReadFileToStringFSOLine ");
    EXPECT_EQ(reporter.reports[0].line, 106);
    EXPECT_FALSE(reporter.reports[0].description.empty());

    RecordingReporter folderReporter;
    EXPECT_TRUE(
        ReadFileToStringFSOLine(std::filesystem::temp_directory_path().string(), folderReporter)
            .empty());
    ASSERT_EQ(folderReporter.reports.size(), 1u);
    EXPECT_EQ(folderReporter.reports[0].line, 106);

#ifndef _WIN32
    // A named pipe nobody writes to and a device: refused without being opened, so nothing
    // waits on them.
    const auto pipe = UniqueTempPath("quarrytab-pipe").string() + ".csv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& special : {pipe, std::string("/dev/null")}) {
        RecordingReporter specialReporter;
        EXPECT_TRUE(ReadFileToStringFSOLine(special, specialReporter).empty());
        ASSERT_EQ(specialReporter.reports.size(), 1u) << special;
        EXPECT_EQ(specialReporter.reports[0].line, 106);
        EXPECT_EQ(specialReporter.reports[0].description, special + " is not a regular file");
    }
    std::filesystem::remove(pipe);
#endif
}

TEST(LineReader, AReadFailurePartWayKeepsTheCompleteLinesBeforeIt) {
    for (std::size_t blockSize : {2u, 7u, 1u << 20}) {
        RecordingReporter reporter;
        MemorySource source("first\r\nsecond\nthird, cut off here", MemorySource::kNever, 19);
        LineReader reader(reporter, blockSize);
        reader.attach(source);
        Lines lines;
        std::string_view line;
        while (reader.next(line)) lines.emplace_back(line);
        EXPECT_EQ(lines, (Lines{"first", "second"})) << blockSize;
        EXPECT_TRUE(reader.failed());
        ASSERT_EQ(reporter.reports.size(), 1u);
        EXPECT_EQ(reporter.reports[0].line, 112);
        EXPECT_EQ(reporter.reports[0].description, "Input/output error");
        EXPECT_FALSE(reader.next(line));  // nothing more, and no second report
        EXPECT_EQ(reporter.reports.size(), 1u);
    }
}

TEST(LineReader, AFileCutShortWhileItIsReadIsAFailure) {
    std::string bytes;
    for (int i = 0; i < 1000; ++i) {
        bytes += "line " + std::to_string(i) + "\n";
    }
    TempFile file(bytes);
    RecordingReporter reporter;
    LineReader reader(reporter, 64);
    ASSERT_TRUE(reader.open(file.path()));
    std::string_view line;
    ASSERT_TRUE(reader.next(line));
    // Another program rewrites the file, shorter, ending at a line end.
    std::filesystem::resize_file(file.path(), bytes.find("line 500\n"));
    std::size_t count = 1;
    while (reader.next(line)) {
        ++count;
    }
    EXPECT_EQ(count, 500u);
    EXPECT_TRUE(reader.failed());
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].line, 112);
    EXPECT_NE(reporter.reports[0].description.find("became shorter"), std::string::npos)
        << reporter.reports[0].description;
}

#ifdef __linux__
TEST(ReadFileToStringFSOLine, ReportsAReadFailureOnce) {
    // The process's own memory file opens, but reading its first page fails.
    RecordingReporter reporter;
    EXPECT_TRUE(ReadFileToStringFSOLine("/proc/self/mem", reporter).empty());
    ASSERT_EQ(reporter.reports.size(), 1u);
    EXPECT_EQ(reporter.reports[0].line, 112);
}
#endif

}  // namespace
