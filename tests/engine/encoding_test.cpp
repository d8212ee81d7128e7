#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "engine/encoding.h"
#include "support/memory_source.h"

using namespace quarrytab;

namespace {

std::string Repeat(std::string_view text, std::size_t times) {
    std::string result;
    for (std::size_t i = 0; i < times; ++i) result += text;
    return result;
}

struct DecodeCase {
    const char* name;
    const char* encoding;
    std::string input;
    std::string expected;
    std::uint64_t invalidCount;
    std::vector<std::uint64_t> invalidLines;
};

// Failure messages name the row rather than dumping its bytes.
void PrintTo(const DecodeCase& row, std::ostream* out) {
    *out << row.name;
}

const std::string kFFFD = "\xEF\xBF\xBD";
const std::string kBom = "\xEF\xBB\xBF";

const std::vector<DecodeCase>& Cases() {
    using namespace std::string_literals;
    static const std::vector<DecodeCase> cases = {
        {"Windows1252Euro", "windows-1252", "a\x80z", "a\u20ACz", 0, {}},
        {"Cp1252NameAnyCase", "CP1252", "caf\xE9\r\n", "caf\u00E9\r\n", 0, {}},
        {"Windows1252UndefinedBytesOnTheirLines",
         "windows-1252",
         "\x81\r\n\x8D\n\x8F\r\x90\r\n\r\n\x9D",
         kFFFD + "\r\n" + kFFFD + "\n" + kFFFD + "\r" + kFFFD + "\r\n\r\n" + kFFFD,
         5,
         {1, 2, 3, 4, 6}},
        {"OnlyTheFirstTenLinesRecorded",
         "windows-1252",
         Repeat("\x81\n", 12),
         Repeat(kFFFD + "\n", 12),
         12,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"LongInputAcrossBlocks",
         "windows-1252",
         std::string(150000, '\x80') + "\n\x81",
         Repeat("\u20AC", 150000) + "\n" + kFFFD,
         1,
         {2}},
        {"Latin1EveryByteDefined", "latin1", "\xE9\x80\xFF", "\u00E9\u0080\u00FF", 0, {}},
        {"Iso88591", "ISO-8859-1", "\xC5", "\u00C5", 0, {}},
        {"Utf16LittleEndian", "utf-16le", "A\0\xAC\x20"s, "A\u20AC", 0, {}},
        {"Utf16BigEndian", "utf-16be", "\0A\x20\xAC"s, "A\u20AC", 0, {}},
        {"Utf16MarkLittleEndian",
         "utf-16",
         "\xFF\xFE"
         "A\0\n\0"s,
         kBom + "A\n",
         0,
         {}},
        {"Utf16MarkBigEndian", "UTF-16", "\xFE\xFF\0A"s, kBom + "A", 0, {}},
        {"Utf16NoMarkIsBigEndian", "utf-16", "\0A\0B"s, "AB", 0, {}},
        {"Utf16NoMarkLittleEndianByItsZeros", "utf-16", "A\0\xAC\x20\n\0"s, "A\u20AC\n", 0, {}},
        // The first unit alone would look little-endian; the whole text ties, so big-endian.
        {"Utf16NoMarkGuessedFromMoreThanTheFirstRead", "utf-16", "\xFE\0\0*"s, "\uFE00*", 0, {}},
        {"Utf16LeMarkKept",
         "utf-16le",
         "\xFF\xFE"
         "A\0"s,
         kBom + "A",
         0,
         {}},
        {"Utf16SurrogatePair", "utf-16le", "\x3D\xD8\x00\xDE"s, "\U0001F600", 0, {}},
        {"Utf16LoneSurrogatesAndHalfUnit",
         "utf-16le",
         "\x00\xDC\r\0\n\0\x3D\xD8"
         "A\0B"s,
         kFFFD + "\r\n" + kFFFD + "A" + kFFFD,
         3,
         {1, 2, 2}},
        {"Utf16HighSurrogateAtTheEnd", "utf-16be", "\0A\xD8\x3D"s, "A" + kFFFD, 1, {1}},
        {"Utf8Unchanged",
         "utf-8",
         "\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80\r\n",
         "\u4E2D\u6587 \U0001F600\r\n",
         0,
         {}},
        {"Utf8InvalidBytesEachReplaced",
         "UTF8",
         "a\xC0\xAF"
         "b\xED\xA0\x80\r\xE2\x82",
         "a" + Repeat(kFFFD, 2) + "b" + Repeat(kFFFD, 3) + "\r" + Repeat(kFFFD, 2),
         7,
         {1, 1, 1, 1, 1, 2, 2}},
        // Values past U+10FFFF, in four bytes and in the old five-byte form, are not Unicode.
        {"Utf8PastTheLastCodePoint",
         "utf-8",
         "\xF4\x8F\xBF\xBF|\xF4\x90\x80\x80|\n\xF8\x88\x80\x80\x80",
         "\U0010FFFF|" + Repeat(kFFFD, 4) + "|\n" + Repeat(kFFFD, 5),
         9,
         {1, 1, 1, 1, 2, 2, 2, 2, 2}},
    };
    return cases;
}

struct Decoded {
    std::string text;
    std::uint64_t invalidCount = 0;
    std::vector<std::uint64_t> invalidLines;
};

Decoded Decode(const DecodeCase& row, std::size_t innerChunk, std::size_t readSize) {
    MemorySource inner(row.input, innerChunk);
    std::string error;
    auto source = DecodingSource::create(inner, row.encoding, error);
    EXPECT_NE(source, nullptr) << error;
    Decoded result;
    if (!source)
        return result;
    std::vector<char> buffer(readSize);
    for (;;) {
        const auto count = source->read(buffer.data(), buffer.size(), error);
        EXPECT_GE(count, 0) << error;
        if (count <= 0)
            break;
        result.text.append(buffer.data(), static_cast<std::size_t>(count));
    }
    result.invalidCount = source->invalidCount();
    result.invalidLines = source->invalidLines();
    return result;
}

class Decoding : public ::testing::TestWithParam<DecodeCase> {};

// Each row is read whole, then one byte at a time from a source that hands out one byte at a
// time, then in odd sizes, so every sequence is also met split across reads.
TEST_P(Decoding, GivesUtf8AndReportsWhatItCannotConvert) {
    const DecodeCase& row = GetParam();
    const std::size_t whole = std::numeric_limits<std::size_t>::max();
    for (const auto& [innerChunk, readSize] :
         std::vector<std::pair<std::size_t, std::size_t>>{{whole, 1 << 16}, {1, 1}, {3, 7}}) {
        SCOPED_TRACE("inner chunk " + std::to_string(innerChunk) + ", read size " +
                     std::to_string(readSize));
        const Decoded got = Decode(row, innerChunk, readSize);
        EXPECT_EQ(got.text, row.expected);
        EXPECT_EQ(got.invalidCount, row.invalidCount);
        EXPECT_EQ(got.invalidLines, row.invalidLines);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Decoding, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodingNames, AnUnknownEncodingIsRefusedWithItsName) {
    MemorySource inner("x", 1);
    std::string error;
    EXPECT_EQ(DecodingSource::create(inner, "klingon-8", error), nullptr);
    EXPECT_NE(error.find("'klingon-8'"), std::string::npos) << error;
}

}  // namespace
