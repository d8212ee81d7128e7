#include "engine/literal_writer.h"

#include <algorithm>

#include "engine/utf8.h"

namespace quarrytab::detail {

namespace {

// The longest SQLite value kept as a literal in one piece of room, ready to become a blob.
constexpr std::size_t kCarriedValue = 8 << 20;

// SQLite parses 'a'||char(13)||'b' as a tree one level deeper for each ||, and refuses a tree
// deeper than 1000 levels ("Expression tree is too large"): a value of more CRs than this is
// written as a blob instead, which takes any number of them.
constexpr std::size_t kMostJoinedLineBreaks = 200;

// What COPY's text format escapes; its values are not quoted. A NUL, which PostgreSQL cannot
// store, is written as the escape that stands for it, so the server refuses the row: psql cuts a
// line at a raw NUL and would join what is left of the row to the next one.
constexpr LiteralEscape kCopyEscapes[] = {
    {'\\', "\\\\"}, {'\t', "\\t"}, {'\r', "\\r"}, {'\n', "\\n"}, {'\0', "\\000"}};

}  // namespace

LiteralWriter::LiteralWriter(const ConversionOptions& options)
    : m_options(options),
      m_validate(options.SqlDialect == Dialect::Postgres || options.SqlDialect == Dialect::Mysql),
      m_blobOnNul(options.SqlDialect == Dialect::Sqlite),
      m_emptyAsNull(options.EmptyAsNull),
      m_copy(options.Rows == RowForm::Copy) {
    const DialectRules& rules = RulesOf(options.SqlDialect);
    m_escapeList = m_copy ? std::span<const LiteralEscape>(kCopyEscapes) : rules.escapes;
    m_looks['\0'] = true;
    for (const auto& escape : m_escapeList) {
        m_longestEscape = std::max(m_longestEscape, escape.text.size());
        m_escapes[static_cast<unsigned char>(escape.byte)] = escape.text;
        m_looks[static_cast<unsigned char>(escape.byte)] = true;
    }
    if (m_validate) {
        std::fill(m_looks.begin() + 0x80, m_looks.end(), true);
    }
    // Blocks are written as they are read when the quote is the only escape, or the others are
    // among the few the classifier marks besides it.
    m_blockLooks.on =
        std::all_of(rules.escapes.begin(), rules.escapes.end(), [](const LiteralEscape& e) {
            return std::string_view("'\\\0\r\n\x1A", 6).find(e.byte) != std::string_view::npos;
        });
    m_blockLooks.quote = kQuoteEscape.byte;
    m_blockLooks.escapes = rules.escapes.size() > 1 || m_validate || m_blobOnNul;
    m_blockLooks.highBytes = m_validate;
    m_blockLooks.emptyFields = m_emptyAsNull;  // NULL, which endValue writes
    m_blockLooks.mark = m_blobOnNul;
    m_blockLooks.quotedValues = true;  // a quoted value is a literal like a plain one
    if (m_copy) {
        // The classifier marks TAB in the quote's place (blockTab writes its escape), and the
        // backslash among the escapes, which leave the block path for byte().
        m_bare = true;
        m_blockLooks.on = true;
        m_blockLooks.quote = '\t';
        m_blockLooks.escapes = true;
        m_blockLooks.quotedValues = false;  // their line breaks must be escaped: byte by byte
    }
}

void LiteralWriter::growRoom(std::size_t size) {
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
    m_partSent |= m_sends;
    const auto room = std::max(size, kRoom);
    m_begin = m_at = m_out->reserve(room);
    m_end = m_begin + room;
}

// A SQLite value kept as a literal has grown past the limit for keeping it in one piece of room;
// it is then held as its bytes (holdValue), checked where a value's bytes are written.
bool LiteralWriter::valueTooLong() const {
    return m_valueStart != nullptr && static_cast<std::size_t>(m_at - m_valueStart) > kCarriedValue;
}

// Takes the SQLite value written so far out of the room, as its bytes, to be written whole at
// its end: a NUL byte has turned up in it, or it has grown too large to keep in one piece.
void LiteralWriter::holdValue() {
    for (const char* p = m_valueStart + 1; p < m_at; ++p) {
        char c = *p;
        // Bytes the literal writes as an escape never stand for themselves in it: each such
        // byte begins an escape, and the byte that escape stands for is held.
        for (const auto& escape : m_escapeList) {
            if (escape.text.front() == c &&
                static_cast<std::size_t>(m_at - p) >= escape.text.size() &&
                std::string_view(p, escape.text.size()) == escape.text) {
                c = escape.byte;
                p += escape.text.size() - 1;
                break;
            }
        }
        *m_value.reserve(1) = c;
        m_value.commit(1, false);
    }
    m_at = m_valueStart;
    m_valueStart = nullptr;
    m_valueHeld = true;
}

// Bytes of a value that need no escape.
void LiteralWriter::run(const char* from, const char* to) {
    if (m_utf8Need > 0) {
        m_utf8Bad = true;  // a byte below 0x80 where a character's next byte belongs
    }
    if (!m_valueOpen) {
        openValue();
    }
    if (valueTooLong()) {
        holdValue();
    }
    if (m_collect || m_valueHeld) {
        const auto size = static_cast<std::size_t>(to - from);
        std::memcpy(m_value.reserve(size), from, size);
        m_value.commit(size, false);
        return;
    }
    while (from != to) {
        if (valueTooLong()) {
            run(from, to);  // held from here on
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
void LiteralWriter::byte(char c) {
    m_hasNul |= c == '\0';
    if (m_validate) {
        checkUtf8(c);
    }
    if (!m_valueOpen) {
        openValue();
    }
    const bool manyBreaks = c == '\r' && m_blobOnNul && ++m_lineBreaks > kMostJoinedLineBreaks;
    if (((c == '\0' || manyBreaks) && m_valueStart != nullptr) || valueTooLong()) {
        holdValue();  // SQLite reads no NUL inside a literal: the value becomes a blob
    }
    if (m_collect || m_valueHeld) {
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

// Follows the bytes of a value as a strict UTF-8 reader does: no overlong forms, no surrogates,
// nothing above U+10FFFF.
void LiteralWriter::checkUtf8(char c) {
    if (m_utf8Bad) {
        return;
    }
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
    if (byte < 0x80) {
        return;
    }
    const auto lead = Utf8LeadOf(byte);
    if (lead.need < 0) {
        m_utf8Bad = true;
        return;
    }
    m_utf8Need = lead.need;
    m_utf8Low = lead.low;
    m_utf8High = lead.high;
}

// The end of a value that is empty, held, collected or checked.
void LiteralWriter::endOtherValue() {
    if (m_utf8Need > 0) {
        m_utf8Bad = true;
    }
    m_unstorable =
        m_validate && (m_utf8Bad || (m_options.SqlDialect == Dialect::Postgres && m_hasNul));
    if (m_collect) {
        return;
    }
    if (!m_valueOpen) {
        // An empty field: NULL on request, unless it was written in quotes.
        if (m_emptyAsNull) {
            putNull();
        } else {
            put(m_copy ? "" : "''");
        }
        return;
    }
    if (m_valueHeld) {
        writeHeldValue();
        return;
    }
    m_valueStart = nullptr;
    ensureRoom(kSlack);
    if (!m_bare) {
        *m_at++ = '\'';
    }
}

std::string LiteralWriter::collected() {
    std::string value;
    m_value.drain([&](std::string_view piece) { value += piece; });
    return value;
}

// A value seen whole (SQLite) as its literal with the dialect's escapes, or, holding a NUL byte,
// which SQLite cannot read inside a literal, as a blob of its bytes cast to text.
void LiteralWriter::writeHeldValue() {
    constexpr char kDigits[] = "0123456789ABCDEF";
    const bool blob = m_hasNul || m_lineBreaks > kMostJoinedLineBreaks;
    // Each byte takes at most this many: two hexadecimal digits, or its longest escape.
    const std::size_t widest = std::max<std::size_t>(2, m_longestEscape);
    put(blob ? "CAST(X'" : "'");
    m_value.drain([&](std::string_view piece) {
        while (!piece.empty()) {
            const auto step = piece.substr(0, kRoom / widest);
            piece.remove_prefix(step.size());
            ensureRoom(widest * step.size());
            for (const char c : step) {
                const auto escape = m_escapes[static_cast<unsigned char>(c)];
                if (blob) {
                    const auto byte = static_cast<unsigned char>(c);
                    *m_at++ = kDigits[byte >> 4];
                    *m_at++ = kDigits[byte & 0xF];
                } else if (escape.empty()) {
                    *m_at++ = c;
                } else {
                    std::memcpy(m_at, escape.data(), escape.size());
                    m_at += escape.size();
                }
            }
        }
    });
    put(blob ? "' AS TEXT)" : "'");
}

}  // namespace quarrytab::detail
