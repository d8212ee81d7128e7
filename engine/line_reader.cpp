#include "engine/line_reader.h"

#include <cstring>

#include "engine/failure_numbers.h"
#include "engine/scan.h"

namespace quarrytab {

LineReader::LineReader(ErrorReporter& reporter, std::size_t blockSize)
    : m_reporter(reporter), m_buffer(blockSize < 2 ? 2 : blockSize) {}

void LineReader::attach(ByteSource& source) {
    m_file.close();
    m_source = &source;
    m_begin = m_end = m_scan = 0;
    m_bytesRead = 0;
    m_failed = false;
    m_eof = false;
}

bool LineReader::open(std::string_view path) {
    attach(m_file);
    std::string error;
    if (!m_file.open(path, error)) {
        m_eof = true;
        m_failed = true;
        m_reporter.reportApplicationError(kReaderLocation, kReaderOpenStep,
                                          Failure(failures::kFileNotFound, error));
        return false;
    }
    return true;
}

bool LineReader::refill() {
    if (m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_end == m_buffer.size()) {
        m_buffer.resize(m_buffer.size() * 2);
    }
    std::string error;
    const auto count = m_source->read(m_buffer.data() + m_end, m_buffer.size() - m_end, error);
    if (count < 0) {
        m_failed = true;
        m_eof = true;
        m_file.close();
        m_reporter.reportApplicationError(kReaderLocation, kReaderReadStep,
                                          Failure(failures::kDeviceIoError, error));
        return false;
    }
    if (count == 0) {
        m_eof = true;
        m_file.close();
    }
    m_end += static_cast<std::size_t>(count);
    m_bytesRead += static_cast<std::uint64_t>(count);
    return true;
}

bool LineReader::next(std::string_view& line) {
    for (;;) {
        const char* data = m_buffer.data();
        const char* from = data + m_begin + m_scan;
        const char* stop = data + m_end;
        const char* lf = static_cast<const char*>(std::memchr(from, '\n', stop - from));
        const char* limit = lf != nullptr ? lf : stop;
        const char* cr = static_cast<const char*>(std::memchr(from, '\r', limit - from));
        const char* brk = cr != nullptr ? cr : lf;
        // A CR at the very end of the block may be the first half of CR LF: read on to see.
        const std::size_t length = brk != nullptr ? detail::LineBreakLength(brk, stop, m_eof) : 0;
        if (length > 0) {
            line = std::string_view(data + m_begin, static_cast<std::size_t>(brk - data) - m_begin);
            m_lineEnd = length == 2 ? "\r\n" : *brk == '\n' ? "\n" : "\r";
            m_begin = static_cast<std::size_t>(brk - data) + length;
            m_scan = 0;
            return true;
        }
        m_scan = static_cast<std::size_t>((brk != nullptr ? brk : stop) - (data + m_begin));
        if (m_eof) {
            if (m_failed || m_begin == m_end) {
                return false;
            }
            line = std::string_view(data + m_begin, m_end - m_begin);
            m_lineEnd = {};
            m_begin = m_end;
            m_scan = 0;
            return true;
        }
        if (!refill()) {
            return false;
        }
    }
}

std::vector<std::string> ReadFileToStringFSOLine(std::string_view path, ErrorReporter& reporter) {
    std::vector<std::string> lines;
    LineReader reader(reporter);
    if (!reader.open(path)) {
        return lines;
    }
    std::string_view line;
    while (reader.next(line)) {
        lines.emplace_back(line);
    }
    return lines;
}

}  // namespace quarrytab
