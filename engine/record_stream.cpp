#include "engine/record_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <set>
#include <utility>

#include "engine/scan.h"

namespace quarrytab::detail {

namespace {

// Room enough for any one step that writes without checking (a byte's escape, a delimiter's
// cut, a NULL).
constexpr std::size_t kSlack = 64;
// The longest SQLite value kept as a literal in one piece of room, ready to become a blob.
constexpr std::size_t kCarriedValue = 8 << 20;
// An INSERT that has grown this large takes no more rows, so no statement outgrows what
// database clients accept in one piece.
constexpr std::size_t kInsertSizeLimit = 1 << 20;

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (auto& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// A text holding a line break can never match the start of a line, nor cut one.
std::string NeverAcrossLines(std::string text) {
    if (text.find_first_of("\r\n") != std::string::npos)
        text.clear();
    return text;
}

}  // namespace

std::vector<std::string> ColumnNames(const std::vector<std::string_view>& header) {
    std::vector<std::string> names;
    for (std::size_t k = 0; k < header.size(); ++k)
        names.push_back(header[k].empty() ? "fld" + std::to_string(k + 1) : std::string(header[k]));
    if (names.empty())
        names.emplace_back("fld1");
    std::set<std::string> taken;
    for (const auto& name : names) taken.insert(LowerAscii(name));
    std::set<std::string> seen;
    for (auto& name : names) {
        if (seen.insert(LowerAscii(name)).second)
            continue;
        for (int n = 2;; ++n) {
            const std::string candidate = name + "_" + std::to_string(n);
            if (taken.insert(LowerAscii(candidate)).second) {
                seen.insert(LowerAscii(candidate));
                name = candidate;
                break;
            }
        }
    }
    return names;
}

RecordStream::RecordStream(const ConversionOptions& options, std::string_view baseName,
                           std::string delimiter, StatementSink& sink, FileNotes& notes,
                           std::uint64_t firstLine, bool stripBom)
    : m_options(options),
      m_rules(RulesOf(options.SqlDialect)),
      m_sink(sink),
      m_notes(notes),
      m_delimiter(NeverAcrossLines(std::move(delimiter))),
      m_comment(NeverAcrossLines(options.CommentPrefix)),
      m_reference(TableReference(options, baseName)),
      m_ending(options.IncludeSemicolon ? ";" : ""),
      m_rowsPerInsert(std::clamp<std::size_t>(options.RowsPerInsert, 1, m_rules.maxRowsPerInsert)),
      m_validate(options.SqlDialect == Dialect::Postgres || options.SqlDialect == Dialect::Mysql),
      m_blobOnNul(options.SqlDialect == Dialect::Sqlite),
      m_line(firstLine),
      m_checkBom(stripBom) {
    m_insertHead = "INSERT INTO " + m_reference + " VALUES ";
    for (const auto& escape : m_rules.escapes)
        m_escapes[static_cast<unsigned char>(escape.byte)] = escape.text;
    for (auto* stops : {&m_plainStops, &m_quotedStops}) {
        (*stops)['\r'] = (*stops)['\n'] = (*stops)['\0'] = true;
        for (const auto& escape : m_rules.escapes)
            (*stops)[static_cast<unsigned char>(escape.byte)] = true;
        if (m_validate)
            std::fill(stops->begin() + 0x80, stops->end(), true);
    }
    if (!m_delimiter.empty())
        m_plainStops[static_cast<unsigned char>(m_delimiter.front())] = true;
    m_quotedStops['"'] = true;
    // Runs go sixty-four bytes at a time for a literal of one-byte delimiters written as it is
    // read; the quote is the only escape, or the others are among the few looked for besides it.
    m_fastRuns =
        BlockScan() && m_delimiter.size() == 1 &&
        std::all_of(m_rules.escapes.begin(), m_rules.escapes.end(), [](const LiteralEscape& e) {
            return std::string_view("'\\\0\r\n\x1A", 6).find(e.byte) != std::string_view::npos;
        });
    m_moreStops = m_rules.escapes.size() > 1 || m_validate || m_blobOnNul;
}

RecordStream::~RecordStream() = default;

std::size_t RecordStream::feed(std::string_view bytes, bool last, std::uint64_t recordLimit) {
    const char* const start = bytes.data();
    const char* const end = start + bytes.size();
    const char* p = start;
    m_stop = m_records + recordLimit;
    m_wait = false;
    while (p != end && m_records < m_stop && !stopped() && !m_wait) {
        switch (m_state) {
            case State::LineStart:
                p = lineStart(p, end, last);
                break;
            case State::Comment:
                p = comment(p, end, last);
                break;
            case State::FieldStart:
                p = fieldStart(p);
                break;
            case State::Plain:
                p = plain(p, end, last);
                break;
            case State::Quoted:
                p = quoted(p, end, last);
                break;
        }
    }
    return static_cast<std::size_t>(p - start);
}

// The length of the line break at `p`; 0, waiting for the bytes that follow, when a CR ends
// bytes that are not the last, as it may be the first half of CR LF.
std::size_t RecordStream::breakLength(const char* p, const char* end, bool last) {
    const auto length = LineBreakLength(p, end, last);
    if (length == 0) {
        m_wait = true;
    }
    return length;
}

// True when the bytes from `p` start with `text`; waits when they may but are too few to tell.
bool RecordStream::startsWith(const char* p, const char* end, bool last, std::string_view text) {
    const auto available = std::min(static_cast<std::size_t>(end - p), text.size());
    if (std::memcmp(p, text.data(), available) != 0)
        return false;
    if (available == text.size())
        return true;
    m_wait = !last;
    return false;
}

const char* RecordStream::lineStart(const char* p, const char* end, bool last) {
    if (m_checkBom) {
        if (startsWith(p, end, last, kUtf8Bom)) {
            p += kUtf8Bom.size();
            m_bomLine = true;
        }
        if (m_wait)
            return p;
        m_checkBom = false;
        if (p == end)
            return p;
    }
    m_bomLine = false;
    if (!m_comment.empty()) {
        if (startsWith(p, end, last, m_comment)) {
            m_state = State::Comment;
            return p;
        }
        if (m_wait)
            return p;
    }
    if (IsLineBreak(*p)) {
        // An empty line: a record without fields.
        const auto length = breakLength(p, end, last);
        if (length == 0) {
            return p;
        }
        beginRecord(*p);
        ++m_line;
        endRecord();
        return p + length;
    }
    beginRecord(*p);
    m_state = State::FieldStart;
    return p;
}

const char* RecordStream::comment(const char* p, const char* end, bool last) {
    while (p != end && !IsLineBreak(*p)) ++p;
    if (p == end)
        return p;
    const auto length = breakLength(p, end, last);
    if (length == 0) {
        return p;
    }
    ++m_line;
    m_state = State::LineStart;
    return p + length;
}

const char* RecordStream::fieldStart(const char* p) {
    ++m_fields;
    if (!m_header && m_fields > 1) {
        ensureRoom(kSlack);
        *m_at++ = ',';
    }
    startValue(m_options.QuotedFields && *p == '"');
    if (!m_valueQuoted) {
        m_state = State::Plain;
        return p;
    }
    m_quoteLine = m_line;
    m_nonSpace = true;
    m_afterCr = false;
    openValue();
    m_state = State::Quoted;
    return p + 1;
}

void RecordStream::startValue(bool quoted) {
    m_valueQuoted = quoted;
    m_valueOpen = false;
    m_valueHeld = false;
    m_utf8Bad = false;
    m_utf8Need = 0;
    m_utf8Low = 0x80;
    m_utf8High = 0xBF;
    m_hasNul = false;
}

// Bytes of a value outside quotes, up to the next delimiter or line break.
const char* RecordStream::plain(const char* p, const char* end, bool last) {
    while (p != end) {
        if (m_fastRuns && !m_header && !m_valueHeld && m_nonSpace && m_utf8Need == 0) {
            if (!m_valueOpen && !m_plainStops[static_cast<unsigned char>(*p)])
                openValue();
            if (m_valueOpen) {
                p = fastRun(p, end);
                if (p == end)
                    return p;
            }
        }
        const char* const run = p;
        while (p != end && !m_plainStops[static_cast<unsigned char>(*p)]) ++p;
        if (p != run)
            writeRun(run, p);
        if (p == end)
            return p;
        if (!m_delimiter.empty() && *p == m_delimiter.front()) {
            if (startsWith(p, end, last, m_delimiter)) {
                m_nonSpace |= !IsBlankLine(m_delimiter);
                endValue();
                m_state = State::FieldStart;
                return p + m_delimiter.size();
            }
            if (m_wait)
                return p;
        } else if (IsLineBreak(*p)) {
            const auto length = breakLength(p, end, last);
            if (length == 0) {
                return p;
            }
            endValue();
            ++m_line;
            endRecord();
            m_state = State::LineStart;
            return p + length;
        }
        writeByte(*p++);
    }
    return p;
}

// The common stretch of a record's plain values, sixty-four bytes at a time: bytes copied,
// quotes doubled, values cut at the delimiter where the next value needs no look of its own (no
// opening double quote, no empty field to make NULL), and records turned over (see turnOver).
// Stops at any other byte that needs a look (another escape, a byte to check as UTF-8), at such
// a delimiter or line break, and near the end of the bytes.
const char* RecordStream::fastRun(const char* p, const char* end) {
    // Members read into locals: the writes through `out` could otherwise change them, as far as
    // the compiler knows, and every use would read them again.
    const char delimiter = m_delimiter.front();
    const bool quotedFields = m_options.QuotedFields;
    const bool emptyAsNull = m_options.EmptyAsNull;
    const bool moreStops = m_moreStops;
    const bool validate = m_validate;
    const bool blobOnNul = m_blobOnNul;
    char* out = m_at;
    const auto stopsAt = [&](const char* at) {
        return (quotedFields && *at == '"') ||
               (emptyAsNull && (*at == delimiter || IsLineBreak(*at)));
    };
    // False when the run must stop here, for a value to be held as its bytes.
    const auto room = [&](std::size_t size) {
        if (static_cast<std::size_t>(m_end - out) < size) {
            m_at = out;
            if (valueTooLong())
                return false;
            ensureRoom(size);
            out = m_at;
        }
        return true;
    };
#if QUARRYTAB_BLOCK_SCAN
    const BlockClassifier classifier(delimiter, kQuoteEscape.byte, moreStops, validate);
    // Sixty-four bytes classified at once; the runs between the bytes found are copied sixteen
    // bytes at a time, which may read up to sixteen bytes past the block, and a CR LF at its end
    // two past it.
    while (end - p >= 64 + 16 + 2) {
        if (!room(3 * 64 + 16 + kSlack))
            return p;
        std::uint64_t found = classifier.block(p);
        std::size_t done = 0;  // bytes of the block written; past it after a CR LF at its end
        for (; found != 0; found &= found - 1) {
            const auto bit = static_cast<std::size_t>(std::countr_zero(found));
            if (bit < done)
                continue;  // passed already (the LF of a CR LF)
            Copy16(out, p + done);
            for (std::size_t k = done + 16; k < bit; k += 16) Copy16(out + (k - done), p + k);
            out += bit - done;
            const char* const at = p + bit;
            if (*at == delimiter) {
                if (stopsAt(at + 1)) {
                    m_at = out;
                    return at;
                }
                out[0] = kQuoteEscape.byte;
                out[1] = ',';
                out[2] = kQuoteEscape.byte;
                out += 3;
                if (blobOnNul)
                    m_valueStart = out - 1;
                ++m_fields;
                done = bit + 1;
            } else if (*at == kQuoteEscape.byte) {
                out[0] = out[1] = kQuoteEscape.byte;
                out += 2;
                done = bit + 1;
            } else {
                // A line break ends the record here when the next one can start at once.
                m_at = out;
                if (!IsLineBreak(*at)) {
                    return at;
                }
                const char* next = at + LineBreakLength(at, end, true);
                if (!turnOver(next)) {
                    return at;
                }
                out = m_at;
                done = static_cast<std::size_t>(next - p);
            }
        }
        if (done < 64) {
            for (std::size_t k = done; k < 64; k += 16) {
                Copy16(out + (k - done), p + k);
            }
            out += 64 - done;
            done = 64;
        }
        p += done;
    }
#endif
    m_at = out;
    return p;
}

// Ends the record whose line break the run has just passed and starts the next one at `next`,
// in the common case only, with the work of endValue(), endRecord(), lineStart(), beginRecord()
// and fieldStart() cut to what it needs: the row goes straight to the sink, has the first
// record's field count (or ragged records are kept as they are), and the next record starts
// with a byte that needs no look of its own. Otherwise it does nothing and returns false.
bool RecordStream::turnOver(const char* next) {
    const char c = *next;
    if (!m_direct || m_records + 1 >= m_stop || c == ' ' || IsLineBreak(c) ||
        c == m_delimiter.front() || (m_options.QuotedFields && c == '"') ||
        (!m_comment.empty() && c == m_comment.front()) ||
        (m_fields != m_notes.expectedFields && m_options.Ragged != RaggedMode::Keep))
        return false;
    if (m_validate &&
        (m_utf8Need > 0 || m_utf8Bad || (m_options.SqlDialect == Dialect::Postgres && m_hasNul)))
        m_unstorable = true;
    if (m_fields != m_notes.expectedFields)
        m_notes.ragged.add(m_recordLine);
    if (m_unstorable)
        m_notes.unstorable.add(m_recordLine);
    m_valueStart = nullptr;
    ensureRoom(kSlack);
    *m_at++ = '\'';
    *m_at++ = ')';
    std::memcpy(m_at, m_ending.data(), m_ending.size());
    m_at += m_ending.size();
    m_sink.commit(static_cast<std::size_t>(m_at - m_begin), true);
    ++m_records;
    ++m_line;
    m_recordLine = m_line;
    m_fields = 1;
    m_unstorable = false;
    m_partSent = false;
    startValue(false);
    m_valueOpen = true;  // its opening quote follows the head
    const auto room = kRoom + m_insertHead.size();
    m_begin = m_at = m_sink.reserve(room);
    m_end = m_begin + room;
    std::memcpy(m_at, m_insertHead.data(), m_insertHead.size());
    m_at += m_insertHead.size();
    *m_at++ = '(';
    if (m_blobOnNul)
        m_valueStart = m_at;
    *m_at++ = '\'';
    return true;
}

// Bytes of a value inside quotes, up to its closing quote; "" stands for one quote, and line
// breaks belong to the value.
const char* RecordStream::quoted(const char* p, const char* end, bool last) {
    while (p != end) {
        const char* const run = p;
        while (p != end && !m_quotedStops[static_cast<unsigned char>(*p)]) ++p;
        if (p != run) {
            writeRun(run, p);
            m_afterCr = false;
        }
        if (p == end)
            return p;
        const char c = *p;
        if (c == '"') {
            if (p + 1 == end && !last) {
                m_wait = true;
                return p;
            }
            m_afterCr = false;
            if (p + 1 != end && p[1] == '"') {
                writeByte('"');
                p += 2;
                continue;
            }
            // What follows the closing quote runs to the next delimiter as part of the value.
            m_state = State::Plain;
            return p + 1;
        }
        if (c == '\r' || (c == '\n' && !m_afterCr))
            ++m_line;
        m_afterCr = c == '\r';
        writeByte(c);
        ++p;
    }
    return p;
}

void RecordStream::beginRecord(char first) {
    m_recordLine = m_line;
    m_fields = 0;
    // A first byte other than a space or a line break already shows the line is not blank.
    m_nonSpace = first != ' ' && !IsLineBreak(first);
    m_unstorable = false;
    m_partSent = false;
    m_header = m_first && m_options.HeaderRow;
    if (m_header)
        return;
    // A row goes straight to the sink when nothing at its end can change where it goes or
    // whether it is written: not the first (the CREATE TABLE waits for its field count), one
    // row per INSERT, no ragged record left out, a transaction begun, and not a possible
    // line of spaces.
    m_direct = !m_first && m_rowsPerInsert == 1 &&
               (m_options.Ragged == RaggedMode::Keep || m_options.Ragged == RaggedMode::Pad) &&
               (m_began || !m_options.Transaction) && first != ' ' && !IsLineBreak(first);
    m_out = m_direct ? &m_sink : static_cast<StatementSink*>(&m_row);
    const auto room = kRoom + m_insertHead.size();
    m_begin = m_at = m_out->reserve(room);
    m_end = m_begin + room;
    if (m_direct) {
        std::memcpy(m_at, m_insertHead.data(), m_insertHead.size());
        m_at += m_insertHead.size();
        *m_at++ = '(';
    }
}

void RecordStream::endRecord() {
    ++m_records;
    const bool first = std::exchange(m_first, false);
    if (m_header) {
        m_header = false;
        m_notes.expectedFields = std::max<std::size_t>(1, m_fields);
        m_names = ColumnNames(
            std::vector<std::string_view>(m_headerValues.begin(), m_headerValues.end()));
        m_headerValues.clear();
        if (m_unstorable)
            m_notes.unstorable.add(m_recordLine);
        if (m_options.Mode == StatementMode::InsertOnly) {
            m_insertHead = "INSERT INTO " + m_reference + " (";
            for (std::size_t k = 0; k < m_names.size(); ++k) {
                if (k > 0)
                    m_insertHead += ',';
                appendName(m_insertHead, m_names[k]);
            }
            m_insertHead += ") VALUES ";
        } else {
            createTable();
        }
        return;
    }
    if (first) {
        m_notes.expectedFields = std::max<std::size_t>(1, m_fields);
        if (m_options.Mode == StatementMode::CreateAndInsert)
            createTable();
    }
    if (!m_nonSpace) {
        dropRow();  // nothing but spaces: a record without an INSERT
        return;
    }
    if (m_fields != m_notes.expectedFields) {
        m_notes.ragged.add(m_recordLine);
        if (m_options.Ragged == RaggedMode::Fail)
            m_notes.stopped = true;
        if (m_options.Ragged == RaggedMode::Fail || m_options.Ragged == RaggedMode::Skip) {
            dropRow();
            return;
        }
        if (m_options.Ragged == RaggedMode::Pad) {
            for (; m_fields < m_notes.expectedFields; ++m_fields) {
                ensureRoom(kSlack);
                std::memcpy(m_at, ",NULL", 5);
                m_at += 5;
            }
        }
    }
    if (m_unstorable)
        m_notes.unstorable.add(m_recordLine);
    if (!m_direct) {
        placeRow();
        return;
    }
    ensureRoom(kSlack);
    *m_at++ = ')';
    std::memcpy(m_at, m_ending.data(), m_ending.size());
    m_at += m_ending.size();
    m_sink.commit(static_cast<std::size_t>(m_at - m_begin), true);
    closeRoom();
}

// Writes a held row: as its own INSERT, or into the INSERT still taking rows.
void RecordStream::placeRow() {
    m_row.commit(static_cast<std::size_t>(m_at - m_begin), false);
    closeRoom();
    const auto put = [](StatementSink& to, std::string_view text, bool complete) {
        std::memcpy(to.reserve(text.size()), text.data(), text.size());
        to.commit(text.size(), complete);
    };
    if (m_rowsPerInsert == 1) {
        begin();
        put(m_sink, m_insertHead + "(", false);
        m_row.replay(m_sink, false);
        put(m_sink, ")" + m_ending, true);
        return;
    }
    // A row of another width starts a new INSERT, so the SQL stays valid.
    if (m_pendingRows > 0 && m_fields != m_pendingFields)
        flushInsert();
    put(m_pending, m_pendingRows == 0 ? m_insertHead + "(" : ",(", false);
    m_row.replay(m_pending, false);
    put(m_pending, ")", false);
    ++m_pendingRows;
    m_pendingFields = m_fields;
    if (m_pendingRows >= m_rowsPerInsert || m_pending.size() >= kInsertSizeLimit)
        flushInsert();
}

// Forgets the record's row. A row that has partly gone to the sink is ended instead, so the
// output stays valid SQL.
void RecordStream::dropRow() {
    if (m_direct && m_partSent) {
        ensureRoom(kSlack);
        *m_at++ = ')';
        std::memcpy(m_at, m_ending.data(), m_ending.size());
        m_at += m_ending.size();
        m_sink.commit(static_cast<std::size_t>(m_at - m_begin), true);
    }
    m_row.clear();
    closeRoom();
}

void RecordStream::closeRoom() {
    m_out = nullptr;
    m_begin = m_at = m_end = m_valueStart = nullptr;
}

void RecordStream::ensureRoom(std::size_t size) {
    if (static_cast<std::size_t>(m_end - m_at) >= size)
        return;
    if (m_valueStart != nullptr) {
        // A SQLite value stays in one piece of room while a NUL may still turn it into a blob
        // (up to a limit: see valueTooLong). The room doubles with it, so it is carried over
        // only a few times.
        const std::string carried(m_valueStart, m_at);
        m_at = m_valueStart;
        m_valueStart = nullptr;
        ensureRoom(size + 2 * carried.size());
        m_valueStart = m_at;
        std::memcpy(m_at, carried.data(), carried.size());
        m_at += carried.size();
        return;
    }
    m_out->commit(static_cast<std::size_t>(m_at - m_begin), false);
    m_partSent |= m_out == &m_sink;
    const auto room = std::max(size, kRoom);
    m_begin = m_at = m_out->reserve(room);
    m_end = m_begin + room;
}

// A SQLite value kept as a literal has grown past the limit for keeping it in one piece of room;
// it is then held as its bytes (holdValue), checked where a value's bytes are written.
bool RecordStream::valueTooLong() const {
    return m_valueStart != nullptr && static_cast<std::size_t>(m_at - m_valueStart) > kCarriedValue;
}

void RecordStream::openValue() {
    m_valueOpen = true;
    if (m_header || m_valueHeld)
        return;
    ensureRoom(kSlack);
    if (m_blobOnNul)
        m_valueStart = m_at;
    *m_at++ = '\'';
}

// Takes the SQLite value written so far out of the room, as its bytes, to be written whole at
// its end: a NUL byte has turned up in it, or it has grown too large to keep in one piece.
void RecordStream::holdValue() {
    for (const char* p = m_valueStart + 1; p < m_at; ++p) {
        *m_value.reserve(1) = *p;
        m_value.commit(1, false);
        if (*p == kQuoteEscape.byte)
            ++p;  // the second of a doubled quote
    }
    m_at = m_valueStart;
    m_valueStart = nullptr;
    m_valueHeld = true;
}

// Bytes of a value that need no escape.
void RecordStream::writeRun(const char* from, const char* to) {
    if (!m_nonSpace)
        m_nonSpace = std::find_if(from, to, [](char c) { return c != ' '; }) != to;
    if (m_utf8Need > 0)
        m_utf8Bad = true;  // a byte below 0x80 where a character's next byte belongs
    if (!m_valueOpen)
        openValue();
    if (valueTooLong())
        holdValue();
    if (m_header || m_valueHeld) {
        const auto size = static_cast<std::size_t>(to - from);
        std::memcpy(m_value.reserve(size), from, size);
        m_value.commit(size, false);
        return;
    }
    while (from != to) {
        if (valueTooLong()) {
            writeRun(from, to);  // held from here on
            return;
        }
        const auto size = std::min(static_cast<std::size_t>(to - from), kRoom);
        ensureRoom(size);
        std::memcpy(m_at, from, size);
        m_at += size;
        from += size;
    }
}

// One byte of a value that may need an escape or a look of its own.
void RecordStream::writeByte(char c) {
    m_nonSpace |= c != ' ';
    m_hasNul |= c == '\0';
    if (m_validate)
        checkUtf8(c);
    if (!m_valueOpen)
        openValue();
    if ((c == '\0' && m_valueStart != nullptr) || valueTooLong())
        holdValue();  // SQLite reads no NUL inside a literal: the value becomes a blob
    if (m_header || m_valueHeld) {
        *m_value.reserve(1) = c;
        m_value.commit(1, false);
        return;
    }
    ensureRoom(kSlack);
    const auto escape = m_escapes[static_cast<unsigned char>(c)];
    if (escape.empty()) {
        *m_at++ = c;
        return;
    }
    std::memcpy(m_at, escape.data(), escape.size());
    m_at += escape.size();
}

// Follows the bytes of a value as IsValidUtf8 reads them.
void RecordStream::checkUtf8(char c) {
    if (m_utf8Bad)
        return;
    const auto byte = static_cast<unsigned char>(c);
    if (m_utf8Need > 0) {
        if (byte < m_utf8Low || byte > m_utf8High) {
            m_utf8Bad = true;
            return;
        }
        --m_utf8Need;
        m_utf8Low = 0x80;
        m_utf8High = 0xBF;
        return;
    }
    if (byte < 0x80)
        return;
    if (byte >= 0xC2 && byte <= 0xDF) {
        m_utf8Need = 1;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
        m_utf8Need = 2;
        if (byte == 0xE0)
            m_utf8Low = 0xA0;
        if (byte == 0xED)
            m_utf8High = 0x9F;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
        m_utf8Need = 3;
        if (byte == 0xF0)
            m_utf8Low = 0x90;
        if (byte == 0xF4)
            m_utf8High = 0x8F;
    } else {
        m_utf8Bad = true;
    }
}

void RecordStream::endValue() {
    if (m_utf8Need > 0)
        m_utf8Bad = true;
    if (m_validate && (m_utf8Bad || (m_options.SqlDialect == Dialect::Postgres && m_hasNul)))
        m_unstorable = true;
    if (m_header) {
        std::string name;
        m_value.drain([&](std::string_view piece) { name += piece; });
        m_headerValues.push_back(std::move(name));
        return;
    }
    if (!m_valueOpen) {
        // An empty field: NULL on request, unless it was written in quotes.
        ensureRoom(kSlack);
        const std::string_view empty = m_options.EmptyAsNull ? "NULL" : "''";
        std::memcpy(m_at, empty.data(), empty.size());
        m_at += empty.size();
        return;
    }
    if (m_valueHeld) {
        writeHeldValue();
        return;
    }
    m_valueStart = nullptr;
    ensureRoom(kSlack);
    *m_at++ = '\'';
}

// A value seen whole (SQLite) as its literal: quotes doubled, or, holding a NUL byte, which
// SQLite cannot read inside a literal, as a blob of its bytes cast to text.
void RecordStream::writeHeldValue() {
    constexpr char kDigits[] = "0123456789ABCDEF";
    const bool blob = m_hasNul;
    ensureRoom(kSlack);
    const std::string_view open = blob ? "CAST(X'" : "'";
    std::memcpy(m_at, open.data(), open.size());
    m_at += open.size();
    m_value.drain([&](std::string_view piece) {
        while (!piece.empty()) {
            const auto step = piece.substr(0, kRoom / 2);
            piece.remove_prefix(step.size());
            ensureRoom(2 * step.size());
            for (const char c : step) {
                if (blob) {
                    const auto byte = static_cast<unsigned char>(c);
                    *m_at++ = kDigits[byte >> 4];
                    *m_at++ = kDigits[byte & 0xF];
                } else {
                    *m_at++ = c;
                    if (c == kQuoteEscape.byte)
                        *m_at++ = c;
                }
            }
        }
    });
    ensureRoom(kSlack);
    const std::string_view close = blob ? "' AS TEXT)" : "'";
    std::memcpy(m_at, close.data(), close.size());
    m_at += close.size();
}

void RecordStream::begin() {
    if (m_options.Transaction && !m_began) {
        m_began = true;
        m_sink.statement(std::string(m_rules.begin) + m_ending);
    }
}

void RecordStream::appendName(std::string& out, std::string_view name) const {
    out += m_options.DelimitingChar;
    const std::string_view closing = m_options.ClosingDelimitingChar;
    if (closing.empty()) {
        out += name;
    } else {
        for (std::size_t at = 0;;) {
            const auto hit = name.find(closing, at);
            if (hit == std::string_view::npos) {
                out += name.substr(at);
                break;
            }
            out += name.substr(at, hit + closing.size() - at);
            out += closing;
            at = hit + closing.size();
        }
    }
    out += closing;
}

void RecordStream::createTable() {
    begin();
    WriteCreateTable(
        m_sink, m_reference, m_notes.expectedFields,
        [&](std::size_t k, std::string& out) {
            if (m_options.HeaderRow) {
                appendName(out, m_names[k]);
                return;
            }
            out += m_options.DelimitingChar;
            out += "fld" + std::to_string(k + 1);
            out += m_options.ClosingDelimitingChar;
        },
        m_rules.columnType, m_ending);
}

void RecordStream::flushInsert() {
    if (m_pendingRows == 0)
        return;
    begin();
    std::memcpy(m_pending.reserve(m_ending.size()), m_ending.data(), m_ending.size());
    m_pending.commit(m_ending.size(), false);
    m_pending.replay(m_sink, true);
    m_pendingRows = 0;
}

void RecordStream::finish(bool readToEnd) {
    if (!stopped()) {
        const bool open = m_state != State::LineStart && m_state != State::Comment;
        if (open && (readToEnd || m_partSent)) {
            if (m_state == State::Quoted && readToEnd && m_unclosedQuoteLine == 0)
                m_unclosedQuoteLine = m_quoteLine;
            if (m_state == State::FieldStart) {
                // The file ends just after a delimiter: the last field is empty.
                static constexpr char kNothing = '\n';
                fieldStart(&kNothing);
            }
            endValue();
            endRecord();
        } else if (open) {
            dropRow();  // a record cut short by a failed read is left out
        } else if (m_bomLine && readToEnd) {
            // The last line held nothing but a byte-order mark: an empty record.
            beginRecord('\n');
            endRecord();
        }
        m_state = State::LineStart;
        if (m_unclosedQuoteLine != 0 && !stopped())
            m_notes.unclosedQuote.add(m_unclosedQuoteLine);
    }
    flushInsert();
    if (m_began)
        m_sink.statement(std::string(readToEnd && !stopped() ? m_rules.commit : m_rules.rollback) +
                         m_ending);
}

}  // namespace quarrytab::detail
