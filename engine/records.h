// Records of a delimited file under the rules for real-world files: physical lines with the
// metadata and comment lines left out, cut into fields plainly or by RFC 4180 quoting.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "engine/line_reader.h"
#include "engine/options.h"

namespace quarrytab {

// A file's lines as the reader gives them, numbered from 1, with a UTF-8 byte-order mark and the
// first lines to skip left out on request. Lines can be read ahead and are handed out again.
class PhysicalLines {
  public:
    PhysicalLines(LineReader& reader, bool stripBom, std::uint64_t skipLines);

    struct Line {
        std::string_view text;
        std::string_view end;  // the line break after it, "" at the end of the file
        std::uint64_t number = 0;
    };
    // The next line, valid until the next call; false at the end of the file.
    bool next(Line& line);
    // Up to `count` lines from the current position, without consuming them.
    std::vector<Line> peek(std::size_t count);

  private:
    bool fromReader(Line& line);

    struct Held {
        std::string text;
        std::string_view end;
        std::uint64_t number;
    };
    LineReader& m_reader;
    std::deque<Held> m_held;
    Held m_current;  // the held line handed out last, kept alive until the next call
    bool m_stripBom;
    std::uint64_t m_skip;
    std::uint64_t m_number = 0;
};

// One record: its fields, valid until the next record is read.
struct Record {
    std::vector<std::string_view> fields;
    std::vector<char> quoted;  // per field: it was written in double quotes
    std::uint64_t line = 0;    // the line it starts on
    bool blank = false;        // nothing but spaces: a record without an INSERT
    // The line the record is, when it was cut plainly at a single-byte delimiter, which lets
    // its row be written in one pass over the line; empty otherwise.
    std::string_view plainLine;
    char delimiter = 0;
};

// Cuts lines into records. Plain fields are cut at every delimiter; quoted fields (RFC 4180)
// run to their closing quote, "" inside standing for one quote, and may hold delimiters and
// line breaks, which belong to the value byte for byte.
class RecordReader {
  public:
    RecordReader(PhysicalLines& lines, std::string delimiter, bool quotedFields,
                 std::string commentPrefix);

    bool next(Record& record);
    // The line where a quoted field began that was still open at the end of the file; 0 if none.
    std::uint64_t unclosedQuoteLine() const { return m_unclosedQuoteLine; }

  private:
    void splitQuoted(PhysicalLines::Line line, Record& record);
    bool appendQuoted(PhysicalLines::Line& line, std::size_t& pos);

    PhysicalLines& m_lines;
    std::string m_delimiter;
    bool m_quotedFields;
    std::string m_comment;
    std::string m_values;  // the unquoted values of the current record, one after another
    std::vector<std::pair<std::size_t, std::size_t>> m_spans;
    std::uint64_t m_unclosedQuoteLine = 0;
};

// The number of fields of one line on its own: plain, or respecting quotes within the line.
std::size_t CountFields(std::string_view line, std::string_view delimiter, bool quotedFields);

// The delimiter among "," ";" TAB "|" that gives the first lines a steady field count above one;
// empty when none does.
std::string DetectDelimiter(const std::vector<std::string_view>& lines, bool quotedFields);

}  // namespace quarrytab
