// Writes values as the dialect's string literals into room a sink lends, as their bytes come:
// the dialect's escapes, the UTF-8 and NUL checks for the databases that refuse such values, and
// SQLite's blob form for a value holding a NUL. Under RowForm::Copy it writes them as COPY's text
// format instead: no quotes, backslash, TAB, CR, LF and NUL as \\ \t \r \n \000, NULL as \N. It
// also keeps the room itself, which the statement assembler writes the rest of a statement into.
// Not part of the engine's interface.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "engine/dialect.h"
#include "engine/held_statement.h"
#include "engine/options.h"
#include "engine/scan.h"
#include "engine/tokenizer.h"

namespace quarrytab::detail {

class LiteralWriter {
  public:
    // Room enough for any one step that writes without checking (a byte's escape, a
    // delimiter's cut, a NULL).
    static constexpr std::size_t kSlack = 64;

    explicit LiteralWriter(const ConversionOptions& options);
    LiteralWriter(const LiteralWriter&) = delete;
    LiteralWriter& operator=(const LiteralWriter&) = delete;

    // The bytes a value must be looked at one by one for, and what the block classifier marks.
    const std::array<bool, 256>& looks() const { return m_looks; }
    BlockLooks blockLooks() const { return m_blockLooks; }

    // The room: lent by `out` (`head` and `size` more bytes to begin with, starting with
    // `head`), written, then committed or closed. With `sends`, what `out` takes has gone out for
    // good (see partSent).
    void openRoom(StatementSink& out, std::string_view head, std::size_t size, bool sends) {
        m_out = &out;
        m_sends = sends;
        m_partSent = false;
        m_begin = out.reserve(head.size() + size);
        m_end = m_begin + head.size() + size;
        std::memcpy(m_begin, head.data(), head.size());
        m_at = m_begin + head.size();
    }
    void put(std::string_view text) {
        ensureRoom(std::max(text.size(), kSlack));
        std::memcpy(m_at, text.data(), text.size());
        m_at += text.size();
    }
    void commitRoom(bool complete) {
        m_out->commit(static_cast<std::size_t>(m_at - m_begin), complete);
        closeRoom();
    }
    void closeRoom() {
        m_out = nullptr;
        m_begin = m_at = m_end = m_valueStart = nullptr;
    }
    // Part of the statement has gone to the sink while it was written.
    bool partSent() const { return m_partSent; }

    // One value: begun (with `collect` its bytes are kept for collected() instead of written),
    // its bytes, then ended: an empty one as NULL (on request) or ''.
    void startValue(bool collect) {
        m_collect = collect;
        m_valueOpen = false;
        m_valueHeld = false;
        m_utf8Bad = false;
        m_utf8Need = 0;
        m_hasNul = false;
        m_lineBreaks = 0;
    }
    void openValue() {
        m_valueOpen = true;
        if (m_collect || m_valueHeld) {
            return;
        }
        ensureRoom(kSlack);
        if (m_bare) {
            return;
        }
        if (m_blobOnNul) {
            m_valueStart = m_at;
        }
        *m_at++ = '\'';
    }
    // The value begun is a number of a typed column, written bare rather than as a literal
    // (COPY's values are all bare).
    void setBare(bool bare) { m_bare = bare || m_copy; }
    void run(const char* from, const char* to);
    void byte(char c);
    void endValue() {
        if (m_valueOpen && !m_valueHeld && !m_collect && !m_validate) {
            m_unstorable = false;
            m_valueStart = nullptr;
            ensureRoom(kSlack);
            if (!m_bare) {
                *m_at++ = '\'';
            }
            return;
        }
        endOtherValue();
    }
    // A NULL where the next value goes: the one place a NULL is written.
    void putNull() { put(m_copy ? "\\N" : "NULL"); }
    // The value ended last cannot be stored by the dialect's database (not UTF-8, or a NUL).
    bool unstorable() const { return m_unstorable; }
    std::string collected();
    // The bytes of the value collected last, before collected() takes them.
    std::uint64_t collectedSize() const { return m_value.size(); }
    void dropCollected() { m_value.clear(); }

    // The block path (see Tokenizer).
    bool blockReady(bool canOpen) {
        if (m_collect || m_valueHeld || m_utf8Need != 0) {
            return false;
        }
        if (!m_valueOpen && canOpen) {
            openValue();
        }
        return m_valueOpen;
    }
    char* cursor() const { return m_at; }
    void setCursor(char* at) { m_at = at; }
    // Room for a block, each byte written as three and sixteen stored past them; false when the
    // value must be held as its bytes instead (see valueTooLong).
    bool blockRoom(char*& out) {
        constexpr std::size_t kBlockRoom = 3 * 64 + 16 + kSlack;
        if (static_cast<std::size_t>(m_end - out) >= kBlockRoom) {
            return true;
        }
        m_at = out;
        if (valueTooLong()) {
            return false;
        }
        ensureRoom(kBlockRoom);
        out = m_at;
        return true;
    }
    static char* blockCopy(char* out, const char* from, std::size_t size) {
#if QUARRYTAB_BLOCK_SCAN
        Copy16(out, from);  // most runs are shorter than sixteen bytes
        for (std::size_t k = 16; k < size; k += 16) {
            Copy16(out + k, from + k);
        }
#endif
        return out + size;
    }
    static char* blockQuote(char* out) {
        std::memcpy(out, kQuoteEscape.text.data(), 2);
        return out + 2;
    }
    // COPY marks TAB where a literal marks its quote (see the constructor).
    static char* blockTab(char* out) {
        std::memcpy(out, "\\t", 2);
        return out + 2;
    }
    // Closes the value before a delimiter, writes `separator` and opens the next value.
    QUARRYTAB_HOT char* blockCut(char* out, char separator, const BlockLooks& looks) {
        out[0] = kQuoteEscape.byte;
        out[1] = separator;
        out[2] = kQuoteEscape.byte;
        out += 3;
        if (looks.mark) {
            m_valueStart = out - 1;  // SQLite: the value may still become a blob
        }
        return out;
    }

    // The same between values of typed columns: which of the two are numbers written bare.
    char* blockCutTyped(char* out, bool closeBare, bool openBare, const BlockLooks& looks) {
        if (!closeBare) {
            *out++ = kQuoteEscape.byte;
        }
        *out++ = ',';
        m_bare = openBare;
        if (!openBare) {
            *out++ = kQuoteEscape.byte;
            if (looks.mark) {
                m_valueStart = out - 1;
            }
        }
        return out;
    }

  private:
    void ensureRoom(std::size_t size) {
        if (static_cast<std::size_t>(m_end - m_at) < size) {
            growRoom(size);
        }
    }
    void growRoom(std::size_t size);
    void endOtherValue();
    bool valueTooLong() const;
    void holdValue();
    void checkUtf8(char c);
    void writeHeldValue();

    const ConversionOptions& m_options;
    std::array<std::string_view, 256> m_escapes{};  // what stands for each byte in a literal
    std::span<const LiteralEscape> m_escapeList;    // the same, as the dialect lists them
    std::size_t m_longestEscape = 0;
    std::array<bool, 256> m_looks{};
    BlockLooks m_blockLooks;
    bool m_validate;   // values must be well-formed UTF-8 (and for PostgreSQL hold no NUL)
    bool m_blobOnNul;  // SQLite: a value holding a NUL byte is written as a blob
    bool m_emptyAsNull;
    bool m_copy;  // COPY's text format rather than literals

    // The value being written.
    bool m_collect = false;
    bool m_valueOpen = false;  // its opening quote is written
    bool m_valueHeld = false;  // its bytes go to m_value, to be written at its end
    bool m_bare = false;       // a number written without quotes
    bool m_utf8Bad = false;
    int m_utf8Need = 0;
    unsigned char m_utf8Low = 0x80;
    unsigned char m_utf8High = 0xBF;
    bool m_hasNul = false;
    std::size_t m_lineBreaks = 0;  // SQLite: the CRs written as char(13) so far
    bool m_unstorable = false;
    HeldStatement m_value;  // a value seen whole before it is written (names, SQLite)

    // The room.
    StatementSink* m_out = nullptr;
    char* m_begin = nullptr;
    char* m_at = nullptr;
    char* m_end = nullptr;
    char* m_valueStart = nullptr;  // a SQLite literal's opening quote, while it may become a blob
    bool m_sends = false;
    bool m_partSent = false;
};

}  // namespace quarrytab::detail
