// Reads an input file as lines of bytes. CR LF, a lone LF and a lone CR each end a line; a line
// break after the last line adds no empty line. Nothing is decoded: a line holds the file's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/error_trap.h"
#include "engine/platform.h"

namespace quarrytab {

inline constexpr std::string_view kReaderLocation =
    "in Quarrytab2021/08/31.Main.ReadFileToStringFSOLine ";
inline constexpr int kReaderOpenStep = 106;
inline constexpr int kReaderReadStep = 112;

// Streams a file's lines in bounded memory (a block of 1 MiB, more only for a longer line).
// A file that cannot be opened or read is reported through the reporter with the reader's
// location text, once; the lines before a read failure have been handed out already.
class LineReader {
  public:
    explicit LineReader(ErrorReporter& reporter, std::size_t blockSize = 1 << 20);

    // Opens the file; on failure reports it (step 106) and returns false.
    bool open(std::string_view path);
    // Reads from a source the caller owns instead of a file; it must outlive the reading.
    void attach(ByteSource& source);

    // Reads through `outer` from now on, which itself reads what this reader read so far (a
    // decoder over the opened file); it must outlive the reading.
    void readThrough(ByteSource& outer) { m_source = &outer; }
    ByteSource& source() { return *m_source; }

    // The next line, valid until the next call; false at the end or after a read failure (112).
    bool next(std::string_view& line);

    // Block access for a caller that scans the bytes itself: the bytes read and not yet used,
    // marking some of them used, and reading more after them (false at the end of the input or
    // after a read failure, which is reported).
    std::string_view unread() const {
        return std::string_view(m_buffer.data() + m_begin, m_end - m_begin);
    }
    void consume(std::size_t count) {
        m_begin += count;
        m_scan = 0;
    }
    bool readMore() { return !m_eof && refill(); }
    bool atEnd() const { return m_eof; }

    // The line break that ended the last line: "\r\n", "\n", "\r", or "" for a last line
    // without one.
    std::string_view lineEnd() const { return m_lineEnd; }

    bool failed() const { return m_failed; }
    std::uint64_t bytesRead() const { return m_bytesRead; }

  private:
    bool refill();

    ErrorReporter& m_reporter;
    InputFile m_file;
    ByteSource* m_source = &m_file;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0;  // start of the unread bytes
    std::size_t m_end = 0;    // end of the bytes in the buffer
    std::size_t m_scan = 0;   // bytes from m_begin already known to hold no line break
    std::uint64_t m_bytesRead = 0;
    std::string_view m_lineEnd;
    bool m_eof = true;
    bool m_failed = false;
};

// The whole line list of a file; the lines read before a failure when it cannot be read.
std::vector<std::string> ReadFileToStringFSOLine(std::string_view path, ErrorReporter& reporter);

}  // namespace quarrytab
