#include "engine/statement_stream.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "engine/dialect.h"
#include "engine/held_statement.h"
#include "engine/scan.h"

namespace quarrytab::detail {

namespace {

// The most one step of a scan writes past its room check (sixty-four bytes each written as
// three, and sixteen stored past them).
constexpr std::ptrdiff_t kSlack = 3 * 64 + 16;

constexpr char kQuote = kQuoteEscape.byte;
static_assert(kQuoteEscape.text == "''");

char* WriteCut(char* out) {
    out[0] = kQuote;
    out[1] = ',';
    out[2] = kQuote;
    return out + 3;
}

}  // namespace

StatementStream::StatementStream(const ConversionOptions& options, std::string_view baseName,
                                 StatementSink& sink, FileNotes* notes)
    : m_options(options),
      m_sink(sink),
      m_notes(notes),
      m_held(std::make_unique<HeldStatement>()),
      m_out(&sink),
      m_delimiter(options.CsvDelimiter),
      m_blockScan(BlockScan()) {
    // A line never holds CR or LF, so a delimiter holding one never cuts it.
    if (m_delimiter.find_first_of("\r\n") != std::string::npos) {
        m_delimiter.clear();
    }
    m_delimiterBlank = IsBlankLine(m_delimiter);
    m_reference = TableReference(options, baseName);
    m_head = "INSERT INTO " + m_reference + " VALUES (";
    m_head += kQuote;
    m_tail = kQuote;
    m_tail += ')';
    if (options.IncludeSemicolon) {
        m_tail += ';';
    }
    // Copies of both with room to be read in whole steps of sixteen and four bytes.
    m_paddedHead = m_head + std::string(16, '\0');
    m_paddedTail = m_tail + std::string(4, '\0');
}

StatementStream::~StatementStream() = default;

std::size_t StatementStream::feed(std::string_view bytes, bool last, std::uint64_t lineLimit) {
    const char* const start = bytes.data();
    const char* const end = start + bytes.size();
    const char* p = start;
    m_stop = m_lines + lineLimit;
    while (p != end && m_lines < m_stop) {
        if (!IsLineBreak(*p)) {
            if (m_begin == nullptr) {
                openStatement();
            }
            const char* const from = p;
            p = m_delimiter.size() == 1 ? scanSingle(p, end) : scanGeneral(p, end, last);
            if (watchesDelimiter()) {
                m_doubt.lookAt(std::string_view(from, static_cast<std::size_t>(p - from)));
            }
            if (m_nonSpace && m_out == m_held.get() && !holdsFirstLine()) {
                release();
            }
            if (p == end || !IsLineBreak(*p)) {
                break;  // every byte used, or a tail to decide with the bytes that follow
            }
        }
        const auto length = LineBreakLength(p, end, last);
        if (length == 0) {
            break;  // perhaps the first half of CR LF
        }
        p += length;
        endLine();
    }
    return static_cast<std::size_t>(p - start);
}

void StatementStream::finish(bool readToEnd) {
    if (m_begin != nullptr) {
        if (readToEnd || m_partSent) {
            endLine();
        } else {
            dropRoom();
            m_out = &m_sink;
        }
    }
    if (m_notes != nullptr) {
        m_notes->otherDelimiterLikely = m_doubt.likely();
    }
}

bool StatementStream::holdsFirstLine() const {
    return m_firstLine && m_options.Mode == StatementMode::CreateAndInsert;
}

// Ends the line whose break the scan has just passed and starts the next one at `next`, in the
// common case only, with the work of endLine() and openStatement() cut to what it needs: the line
// is not blank, the next line starts with a byte that is neither a space nor a line break, nothing
// is held, and neither progress nor the delimiter watch needs to hear of the line first. Otherwise
// it does nothing and returns false.
QUARRYTAB_HOT bool StatementStream::turnOver(const char* next, Scan& scan) {
    char*& out = scan.out;
    if (!m_nonSpace || *next == ' ' || IsLineBreak(*next) || m_out != &m_sink || m_lines == 0 ||
        m_lines + 1 >= m_stop || watchesDelimiter()) {
        return false;
    }
    std::memcpy(out, m_paddedTail.data(), 4);
    out += m_tail.size();
    m_sink.commit(static_cast<std::size_t>(out - m_begin), true);
    if (m_notes != nullptr) {
        ++m_notes->rows;
        if (scan.cuts + 1 != m_notes->expectedFields) {
            m_notes->ragged.add(m_lines + 1);
        }
    }
    ++m_lines;
    m_partSent = false;
    const auto room = std::max(m_head.size() + kSlack, kRoom);
    m_begin = out = m_sink.reserve(room);
    m_end = m_begin + room;
    // The room has space for the steps' last bytes past the head, too.
    for (std::size_t k = 0; k < m_head.size(); k += 16) {
        std::memcpy(out + k, m_paddedHead.data() + k, 16);
    }
    out += m_head.size();
    scan.limit = m_end - kSlack;
    scan.cuts = 0;
    return true;
}

// Makes room for the next steps of a scan when it runs short.
QUARRYTAB_HOT void StatementStream::scanRoom(Scan& scan) {
    if (scan.out > scan.limit) {
        m_at = scan.out;
        refreshRoom(kSlack);
        scan.out = m_at;
        scan.limit = m_end - kSlack;
    }
}

// Writes the delimiter or quote at `at`; false for a line break, which ends the scan.
QUARRYTAB_HOT bool StatementStream::scanSpecial(Scan& scan, const char* at, char delimiter) {
    if (*at == delimiter) {
        scan.out = WriteCut(scan.out);
        ++scan.cuts;
    } else if (*at == kQuote) {
        scan.out[0] = kQuote;
        scan.out[1] = kQuote;
        scan.out += 2;
    } else {
        return false;
    }
    return true;
}

// Spaces at the start of a line: a line of nothing else is blank and writes nothing.
QUARRYTAB_HOT const char* StatementStream::scanLeadingSpaces(Scan& scan, char delimiter,
                                                             const char* p, const char* end) {
    for (; p != end && *p == ' '; ++p) {
        scanRoom(scan);
        if (delimiter == ' ') {
            scan.out = WriteCut(scan.out);
            ++scan.cuts;
        } else {
            *scan.out++ = ' ';
        }
    }
    m_nonSpace = p != end && !IsLineBreak(*p);
    return p;
}

#if QUARRYTAB_BLOCK_SCAN
// Sixty-four bytes classified at once (delimiters, quotes and line breaks); the runs between the
// bytes found are copied sixteen bytes at a time, which may read up to sixteen bytes past the
// block. A line break goes on to the next line in this loop when turnOver() can take it; false
// with `p` at a line break it cannot.
QUARRYTAB_HOT bool StatementStream::scanBlocks(Scan& scan, const BlockClassifier& classifier,
                                               char delimiter, const char*& p, const char* end) {
    while (end - p >= 64 + 16) {
        scanRoom(scan);
        std::uint64_t found = classifier.block(p);
        std::size_t done = 0;  // bytes of the block written; past it after a CR LF at its end
        for (; found != 0; found &= found - 1) {
            const auto at = static_cast<std::size_t>(std::countr_zero(found));
            if (at < done) {
                continue;  // the LF of a CR LF, passed already
            }
            Copy16(scan.out, p + done);  // most runs between them are shorter than sixteen
            for (std::size_t k = done + 16; k < at; k += 16) {
                Copy16(scan.out + (k - done), p + k);
            }
            scan.out += at - done;
            if (scanSpecial(scan, p + at, delimiter)) {
                done = at + 1;
                continue;
            }
            const char* next = p + at + LineBreakLength(p + at, end, true);
            if (!turnOver(next, scan)) {
                p += at;
                return false;
            }
            done = static_cast<std::size_t>(next - p);
        }
        if (done < 64) {
            for (std::size_t k = done; k < 64; k += 16) {
                Copy16(scan.out + (k - done), p + k);
            }
            scan.out += 64 - done;
            done = 64;
        }
        p += done;
    }
    return true;
}

// Then sixteen at a time: store them all, then move on to the first byte found among them;
// false with `p` at a line break.
QUARRYTAB_HOT bool StatementStream::scanSixteens(Scan& scan, const BlockClassifier& classifier,
                                                 char delimiter, const char*& p, const char* end) {
    while (end - p >= 16) {
        scanRoom(scan);
        const auto found = static_cast<unsigned>(classifier.sixteen(p));
        Copy16(scan.out, p);
        if (found == 0) {
            p += 16;
            scan.out += 16;
            continue;
        }
        const auto plain = std::countr_zero(found);
        p += plain;
        scan.out += plain;
        if (!scanSpecial(scan, p, delimiter)) {
            return false;
        }
        ++p;
    }
    return true;
}
#endif

// The line's values from `p` on, up to its end or the end of the bytes; one delimiter byte.
const char* StatementStream::scanSingle(const char* p, const char* end) {
    const char delimiter = m_delimiter.front();
    Scan scan{m_at, m_end - kSlack, m_cuts};
    if (!m_nonSpace) {
        p = scanLeadingSpaces(scan, delimiter, p, end);
    }
#if QUARRYTAB_BLOCK_SCAN
    if (m_blockScan) {
        const BlockClassifier classifier(delimiter, kQuote, false, false);
        // When either stops at a line break, the loop below stops there too.
        if (scanBlocks(scan, classifier, delimiter, p, end)) {
            scanSixteens(scan, classifier, delimiter, p, end);
        }
    }
#endif
    for (; p != end && !IsLineBreak(*p); ++p) {
        scanRoom(scan);
        if (!scanSpecial(scan, p, delimiter)) {
            *scan.out++ = *p;
        }
    }
    m_at = scan.out;
    m_cuts = scan.cuts;
    return p;
}

// The line's values from `p` on, for a delimiter of any length: it cuts where the delimiter
// starts, scanning from the left without overlaps. It stops before the first bytes of a
// delimiter at the end of bytes that are not the last, to decide them with the bytes that follow.
const char* StatementStream::scanGeneral(const char* p, const char* end, bool last) {
    const std::string_view delimiter = m_delimiter;
    char* out = m_at;
    while (p != end && !IsLineBreak(*p)) {
        if (m_end - out < kSlack) {
            m_at = out;
            refreshRoom(kSlack);
            out = m_at;
        }
        if (!delimiter.empty() && *p == delimiter.front()) {
            const auto available = static_cast<std::size_t>(end - p);
            if (available >= delimiter.size()) {
                if (std::memcmp(p, delimiter.data(), delimiter.size()) == 0) {
                    out = WriteCut(out);
                    ++m_cuts;
                    m_nonSpace |= !m_delimiterBlank;
                    p += delimiter.size();
                    continue;
                }
            } else if (!last && std::memcmp(p, delimiter.data(), available) == 0) {
                break;
            }
        }
        m_nonSpace |= *p != ' ';
        *out++ = *p;
        if (*p == kQuote) {
            *out++ = kQuote;
        }
        ++p;
    }
    m_at = out;
    return p;
}

void StatementStream::openStatement() {
    if (holdsFirstLine()) {
        m_out = m_held.get();
    }
    const auto room = std::max(m_head.size() + kSlack, kRoom);
    m_begin = m_at = m_out->reserve(room);
    m_end = m_begin + room;
    std::memcpy(m_at, m_head.data(), m_head.size());
    m_at += m_head.size();
}

void StatementStream::ensureRoom(std::size_t size) {
    if (static_cast<std::size_t>(m_end - m_at) < size) {
        refreshRoom(size);
    }
}

// Passes on what the room holds and takes new room. A line of nothing but spaces so far may
// still turn out blank, which writes nothing, so it is held rather than sent to the sink.
void StatementStream::refreshRoom(std::size_t size) {
    const auto written = static_cast<std::size_t>(m_at - m_begin);
    if (!m_nonSpace && m_out == &m_sink) {
        std::memcpy(m_held->reserve(written), m_begin, written);
        m_held->commit(written, false);
        m_out = m_held.get();
    } else {
        m_out->commit(written, false);
        m_partSent |= m_out == &m_sink;
    }
    const auto room = std::max(size, kRoom);
    m_begin = m_at = m_out->reserve(room);
    m_end = m_begin + room;
}

// Sends a held line to the sink once a byte other than a space shows it is not blank.
void StatementStream::release() {
    m_held->commit(static_cast<std::size_t>(m_at - m_begin), false);
    m_held->replay(m_sink, false);
    m_partSent = true;
    m_out = &m_sink;
    m_begin = m_at = m_sink.reserve(kRoom);
    m_end = m_begin + kRoom;
}

// Forgets the statement being written: room not committed is taken back by the next reserve.
void StatementStream::dropRoom() {
    m_begin = m_at = m_end = nullptr;
    if (m_out == m_held.get()) {
        m_held->clear();
    }
}

void StatementStream::endLine() {
    const bool blank = !m_nonSpace;
    const std::size_t fields = m_begin != nullptr ? m_cuts + 1 : 0;
    if (blank) {
        dropRoom();
    } else {
        ensureRoom(m_tail.size());
        std::memcpy(m_at, m_tail.data(), m_tail.size());
        m_at += m_tail.size();
        m_out->commit(static_cast<std::size_t>(m_at - m_begin), true);
        m_begin = m_at = m_end = nullptr;
    }
    if (holdsFirstLine()) {
        // A zero-length first line still names one column, like a line of spaces does.
        WriteClassicCreateTable(m_sink, m_options, m_reference, std::max<std::size_t>(1, fields));
        if (m_notes != nullptr) {
            m_notes->tableMade = true;
        }
        if (!blank) {
            m_held->replay(m_sink, true);
        }
    }
    m_firstLine = false;
    m_out = &m_sink;
    noteLine(blank, fields);
    ++m_lines;
    m_cuts = 0;
    m_nonSpace = false;
    m_partSent = false;
}

void StatementStream::noteLine(bool blank, std::size_t fields) {
    if (m_notes == nullptr) {
        return;
    }
    if (m_lines == 0) {
        m_notes->expectedFields = std::max<std::size_t>(1, fields);
    } else if (fields != m_notes->expectedFields && !blank) {
        m_notes->ragged.add(m_lines + 1);
    }
    if (!blank) {
        ++m_notes->rows;
    }
    if (watchesDelimiter()) {
        m_doubt.endLine(blank);
    }
}

bool StatementStream::watchesDelimiter() const {
    return m_notes != nullptr && m_options.WarnOnOtherDelimiter && m_doubt.watching();
}

}  // namespace quarrytab::detail
