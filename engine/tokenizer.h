// Cuts a file's bytes into records and fields as they are read, in one pass: every reading rule
// (quotes, the byte-order mark, comment lines, the CR that may begin CR LF, line numbers) lives
// here, and a handler hears what was found through inline hooks, so a statement writer and a
// field counter read a file alike. Not part of the engine's interface.
//
// The states, one for where the next byte is:
//
//   LineStart --UTF-8 byte-order mark (first line, on request): dropped--> LineStart
//     |  comment prefix -----------------> Comment --line break--> LineStart
//     |  line break: an empty record (beginRecord, endRecord) ---> LineStart
//     |    (none among the comment lines above the first record: left out with them)
//     v  any other byte: beginRecord
//   FieldStart --'"' (quoting on): beginField(quoted)--> Quoted --'"' not doubled--> Plain
//     |                          "" is one '"'; line breaks belong to the value, counted
//     v  beginField(plain)
//   Plain --delimiter: endField-----------------------> FieldStart
//     |  line break: endField, endRecord -------------> LineStart
//     `  value bytes: run (stretches the handler does not look at), byte (one it looks at)
//
// feed() stops before bytes it cannot decide yet (a CR that may begin CR LF, a '"' that may be
// doubled, the first bytes of the delimiter, the comment prefix or the byte-order mark): they are
// fed again with the bytes that follow. Line numbers count CR LF, LF and a lone CR.
//
// The block path: in Plain, with a one-byte delimiter, sixty-four bytes are classified at once
// (detail::BlockClassifier) and the stretches between the bytes found go to the handler's block
// hooks; a record ends and the next begins there through the same hooks as byte by byte.
//
// The hooks a handler has (see StatementAssembler for the statements, FieldCounter for counts):
//   void beginRecord(std::uint64_t line, char first)  first: its first byte (a line break when
//                                                      the record is an empty line)
//   void beginField(bool quoted)
//   void run(const char* from, const char* to)        value bytes none of which it looks at
//   void byte(char c)                                 one value byte it looks at (looks())
//   void endField()
//   void endRecord(bool blank)                        blank: an empty line, no byte before its
//                                                      line break (a line of spaces is a record)
//   void dropRecord()                                 the file ends inside it, cut short
//   bool partSent() const                             part of the record has gone out already
//   bool stopped() const                              read no further
//   const std::array<bool, 256>& looks() const        the bytes it looks at one by one
// and for the block path (blockLooks() false turns it off for the handler):
//   detail::BlockLooks blockLooks() const             the bytes the classifier marks for it
//   bool blockReady(bool canOpen)                     the value can take block runs now
//   char* cursor() / void setCursor(char*)            where block output goes
//   bool blockRoom(char*& out)                        room for one block; false to leave
//   char* blockCopy(char* out, const char* from, std::size_t size)   may copy 16 bytes more
//   char* blockQuote(char* out)                       the marked quote byte in a value
//   char* blockCut(char* out, const BlockLooks&)      a delimiter between plain values
// and, only for a handler that keeps records' bytes (RecordKeeper; for any other handler these
// calls are not compiled in, so its loop stays as it is):
//   void feedBegins(const char* at) / feedEnds(const char* at)   the bytes a feed() used
//   void recordBegins(const char* at)                 where a record's first byte is
//   void recordEnds(const char* at)                   just past its line end; null: at the end
//                                                     of the bytes fed (the file ended)
//   void quoteLeftOpen(std::uint64_t line)            the record ending now holds a quote
//                                                     still open at the end of the file
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "engine/scan.h"

namespace quarrytab::detail {

// How a handler takes the block path: whether at all, what the block classifier marks for it
// besides delimiters and line breaks, and where the path must leave values to byte by byte.
// Read once into a local, so the loop keeps it in registers.
struct BlockLooks {
    bool on = false;            // the handler takes block runs at all
    char quote = '\0';          // a byte it writes another way (a literal's quote)
    bool escapes = false;       // NUL, backslash and Ctrl-Z
    bool highBytes = false;     // every byte from 0x80
    bool emptyFields = false;   // an empty field is ended byte by byte (it may become NULL)
    bool quotedValues = false;  // quoted values too go in block runs, their quotes taken off
    bool mark = false;          // the handler's own flag, passed to blockCut
};

// The reading rules a tokenizer follows.
struct ReadingRules {
    std::string delimiter;  // empty: no field is ever cut
    std::string comment;    // lines starting with it are left out; empty: none
    bool quotedFields = false;
    bool stripBom = false;  // a byte-order mark at the start of the first line is dropped
    std::uint64_t firstLine = 1;
};

template <class Handler>
class Tokenizer {
  public:
    Tokenizer(ReadingRules rules, Handler& handler)
        : m_handler(handler),
          m_delimiter(NeverAcrossLines(std::move(rules.delimiter))),
          m_comment(NeverAcrossLines(std::move(rules.comment))),
          m_commentStart(m_comment.empty() ? -1 : static_cast<unsigned char>(m_comment.front())),
          m_quotedFields(rules.quotedFields),
          m_line(rules.firstLine),
          m_checkBom(rules.stripBom) {
        m_plainStops = handler.looks();
        m_plainStops['\r'] = m_plainStops['\n'] = true;
        m_quotedStops = m_plainStops;
        m_quotedStops['"'] = true;
        if (!m_delimiter.empty()) {
            m_plainStops[static_cast<unsigned char>(m_delimiter.front())] = true;
        }
        m_blocks = BlockScan() && m_delimiter.size() == 1 && handler.blockLooks().on;
        m_quotedBlocksLater = m_blocks && m_quotedFields && handler.blockLooks().quotedValues;
        m_quotedBeforeBlocks = g_quotedBeforeBlocks.load(std::memory_order_relaxed);
        m_quotedBlocks = m_quotedBlocksLater && m_quotedBeforeBlocks == 0;
    }

    // Reads bytes that follow those fed before and returns how many it used. It stops once
    // `recordLimit` more records have ended, when the handler stops, or before a tail it cannot
    // decide yet: pass that again with the bytes that follow. With `last` the bytes end the file.
    std::size_t feed(std::string_view bytes, bool last, std::uint64_t recordLimit) {
        const char* const start = bytes.data();
        const char* const end = start + bytes.size();
        const char* p = start;
        m_stop = m_records + recordLimit;
        m_wait = false;
        if constexpr (kKeepsBytes) {
            m_handler.feedBegins(start);
        }
        while (p != end && m_records < m_stop && !m_handler.stopped() && !m_wait) {
            p = step(p, end, last);
        }
        if constexpr (kKeepsBytes) {
            m_handler.feedEnds(p);
        }
        return static_cast<std::size_t>(p - start);
    }

    // Ends the file: a record still open is ended when the file was read to its end (or part of
    // it has gone out already), and left out otherwise.
    void finish(bool readToEnd) {
        if (m_handler.stopped()) {
            return;
        }
        const bool open = m_state != State::LineStart && m_state != State::Comment;
        if (open && (readToEnd || m_handler.partSent())) {
            if (m_state == State::Quoted && readToEnd) {
                m_unclosedQuoteLine = m_quoteLine;
                if constexpr (kKeepsBytes) {
                    m_handler.quoteLeftOpen(m_quoteLine);
                }
            }
            if (m_state == State::FieldStart) {
                m_handler.beginField(false);  // the file ends just after a delimiter
            }
            endRecord(nullptr);
        } else if (open) {
            m_handler.dropRecord();
        } else if (m_bomLine && readToEnd) {
            // The last line held nothing but a byte-order mark.
            emptyRecord('\n', nullptr, nullptr);
        }
        m_state = State::LineStart;
    }

    // Records ended so far, empty ones included.
    std::uint64_t records() const { return m_records; }
    // The line a quoted field still open at the end of the file began on; 0 when none was.
    std::uint64_t unclosedQuoteLine() const { return m_unclosedQuoteLine; }

  private:
    enum class State { LineStart, Comment, FieldStart, Plain, Quoted };
    using Table = std::array<bool, 256>;
    static constexpr bool kKeepsBytes = requires(Handler & handler, const char* at) {
        handler.recordBegins(at);
    };

    // A text holding a line break can never match the start of a line, nor cut one.
    static std::string NeverAcrossLines(std::string text) {
        if (text.find_first_of("\r\n") != std::string::npos) {
            text.clear();
        }
        return text;
    }

    const char* step(const char* p, const char* end, bool last) {
        switch (m_state) {
            case State::LineStart:
                return lineStart(p, end, last);
            case State::Comment:
                return comment(p, end, last);
            case State::FieldStart:
                return fieldStart(p);
            case State::Plain:
                return plain(p, end, last);
            case State::Quoted:
                return quoted(p, end, last);
        }
        return end;
    }

    // The length of the line break at `p`; 0, waiting for the bytes that follow, when a CR ends
    // bytes that are not the last.
    std::size_t breakLength(const char* p, const char* end, bool last) {
        const auto length = LineBreakLength(p, end, last);
        if (length == 0) {
            m_wait = true;
        }
        return length;
    }

    // True when the bytes from `p` start with `text`; waits when they may but are too few.
    bool startsWith(const char* p, const char* end, bool last, std::string_view text) {
        const auto available = std::min(static_cast<std::size_t>(end - p), text.size());
        if (std::memcmp(p, text.data(), available) != 0) {
            return false;
        }
        if (available == text.size()) {
            return true;
        }
        m_wait = !last;
        return false;
    }

    // `at`: where the record's first byte is in the bytes fed (for a handler that keeps them).
    QUARRYTAB_HOT void beginRecord(char first, [[maybe_unused]] const char* at) {
        if constexpr (kKeepsBytes) {
            m_handler.recordBegins(at);
        }
        m_handler.beginRecord(m_line, first);
    }

    // `end`: just past the record's line end, or null at the end of the file.
    QUARRYTAB_HOT void endRecord([[maybe_unused]] const char* end) {
        if constexpr (kKeepsBytes) {
            m_handler.recordEnds(end);
        }
        m_handler.endField();
        ++m_records;
        m_handler.endRecord(false);  // it holds a byte: only an empty line is blank
    }

    // A record without fields: an empty line.
    void emptyRecord(char first, [[maybe_unused]] const char* at,
                     [[maybe_unused]] const char* end) {
        beginRecord(first, at);
        if constexpr (kKeepsBytes) {
            m_handler.recordEnds(end);
        }
        ++m_records;
        m_handler.endRecord(true);
    }

    const char* lineStart(const char* p, const char* end, bool last) {
        if (m_checkBom) {
            if (startsWith(p, end, last, kUtf8Bom)) {
                p += kUtf8Bom.size();
                m_bomLine = true;
            }
            if (m_wait) {
                return p;
            }
            m_checkBom = false;
            if (p == end) {
                return p;
            }
        }
        m_bomLine = false;
        if (!m_comment.empty()) {
            if (startsWith(p, end, last, m_comment)) {
                m_aboveComments |= m_records == 0;
                m_state = State::Comment;
                return p;
            }
            if (m_wait) {
                return p;
            }
        }
        if (IsLineBreak(*p)) {
            // An empty line: a record without fields, except among the comment lines above the
            // first record, where it is left out with them.
            const auto length = breakLength(p, end, last);
            if (length == 0) {
                return p;
            }
            if (!m_aboveComments) {
                emptyRecord(*p, p, p + length);
            }
            ++m_line;
            return p + length;
        }
        m_aboveComments = false;
        beginRecord(*p, p);
        m_state = State::FieldStart;
        return p;
    }

    const char* comment(const char* p, const char* end, bool last) {
        while (p != end && !IsLineBreak(*p)) {
            ++p;
        }
        if (p == end) {
            return p;
        }
        const auto length = breakLength(p, end, last);
        if (length == 0) {
            return p;
        }
        ++m_line;
        m_state = State::LineStart;
        return p + length;
    }

    const char* fieldStart(const char* p) {
        if (!m_quotedFields || *p != '"') {
            m_handler.beginField(false);
            m_state = State::Plain;
            return p;
        }
        m_quoteLine = m_line;
        m_afterCr = false;
        m_handler.beginField(true);
        m_state = State::Quoted;
        // A file with many quoted fields has the block loop take them (see blockRun); one with
        // few does not pay for looking out for them.
        if (m_quotedBlocksLater && ++m_quotedSeen >= m_quotedBeforeBlocks) {
            m_quotedBlocks = true;
        }
        return p + 1;
    }

    // Value bytes the handler does not look at.
    void run(const char* from, const char* to) { m_handler.run(from, to); }

    void byte(char c) { m_handler.byte(c); }

    // Bytes of a value outside quotes, up to the next delimiter or line break.
    const char* plain(const char* p, const char* end, bool last) {
        while (p != end) {
            if (m_blocks && m_handler.blockReady(!m_plainStops[static_cast<unsigned char>(*p)])) {
                p = m_quotedBlocks ? blockRun<true>(p, end) : blockRun<false>(p, end);
                if (p == end || m_state != State::Plain) {
                    return p;
                }
            }
            const char* const from = p;
            while (p != end && !m_plainStops[static_cast<unsigned char>(*p)]) {
                ++p;
            }
            if (p != from) {
                run(from, p);
            }
            if (p == end) {
                return p;
            }
            if (!m_delimiter.empty() && *p == m_delimiter.front()) {
                if (startsWith(p, end, last, m_delimiter)) {
                    m_handler.endField();
                    m_state = State::FieldStart;
                    return p + m_delimiter.size();
                }
                if (m_wait) {
                    return p;
                }
            } else if (IsLineBreak(*p)) {
                const auto length = breakLength(p, end, last);
                if (length == 0) {
                    return p;
                }
                ++m_line;
                endRecord(p + length);
                m_state = State::LineStart;
                return p + length;
            }
            byte(*p++);
        }
        return p;
    }

    // Bytes of a value inside quotes, up to its closing quote; "" stands for one quote, and
    // line breaks belong to the value.
    const char* quoted(const char* p, const char* end, bool last) {
        while (p != end) {
            const char* const from = p;
            while (p != end && !m_quotedStops[static_cast<unsigned char>(*p)]) {
                ++p;
            }
            if (p != from) {
                m_handler.run(from, p);
                m_afterCr = false;
            }
            if (p == end) {
                return p;
            }
            const char c = *p;
            if (c == '"') {
                if (p + 1 == end && !last) {
                    m_wait = true;
                    return p;
                }
                m_afterCr = false;
                if (p + 1 != end && p[1] == '"') {
                    m_handler.byte('"');
                    p += 2;
                    continue;
                }
                // What follows the closing quote runs to the next delimiter as part of the value.
                m_state = State::Plain;
                return p + 1;
            }
            if (c == '\r' || (c == '\n' && !m_afterCr)) {
                ++m_line;
            }
            m_afterCr = c == '\r';
            m_handler.byte(c);
            ++p;
        }
        return p;
    }

    // The record whose line break the block loop has just passed ends, through the same hooks
    // as byte by byte. The next one begins at `next` when it starts with a byte that needs no
    // state of its own, or with `quotes` a quote the loop takes itself (its field begun quoted,
    // in State::Quoted until the handler takes block runs); true when the loop can go on there.
    QUARRYTAB_HOT bool turn(const char* next, char delimiter, bool quotedFields, bool quotes) {
        ++m_line;
        endRecord(next);
        m_state = State::LineStart;
        const char c = *next;
        if (IsLineBreak(c) || c == delimiter || (quotedFields && c == '"' && !quotes) ||
            static_cast<unsigned char>(c) == m_commentStart || m_records >= m_stop ||
            m_handler.stopped()) {
            return false;
        }
        beginRecord(c, next);  // past the first line, so no byte-order mark was looked for
        if (quotes) {
            openQuote(true);
            if (!m_handler.blockReady(true)) {
                return false;
            }
            m_state = State::Plain;
            return true;
        }
        m_handler.beginField(false);
        m_state = State::Plain;
        return m_handler.blockReady(!m_plainStops[static_cast<unsigned char>(c)]);
    }

    // A quoted value begins: with `begin`, its field too.
    void openQuote(bool begin) {
        m_quoteLine = m_line;
        m_afterCr = false;
        if (begin) {
            m_handler.beginField(true);
        }
        m_state = State::Quoted;
    }

    // Where the block loop stops: its output ends at `out`, and inside quotes the value goes on
    // byte by byte.
    const char* leaveBlock(const char* at, char* out, bool inQuotes) {
        m_handler.setCursor(out);
        if (inQuotes) {
            m_afterCr = false;
            m_state = State::Quoted;
        }
        return at;
    }

    // The value after a delimiter in a block needs a look of its own: it opens a quote the loop
    // does not take, or it is empty and the handler ends empty fields byte by byte.
    QUARRYTAB_HOT static bool valueNeedsLook(char next, char delimiter, bool quotedFields,
                                             bool quotes, const BlockLooks& looks) {
        return (quotedFields && next == '"' && !quotes) ||
               (looks.emptyFields && (next == delimiter || IsLineBreak(next)));
    }

    // A quote or a delimiter found by the block loop where quoted values are taken, at bit `bit`
    // of the block at `p`. Inside a quoted value a quote ends the run before it, and "" is one
    // '"' while a single one closes the value; anything else is a byte of the value, copied with
    // the run it is in.
    QUARRYTAB_HOT char* quoteInValue(char* out, const char* p, std::size_t bit, std::size_t& done,
                                     bool& inQuotes) {
        if (!inQuotes || p[bit] != '"') {
            return out;
        }
        out = m_handler.blockCopy(out, p + done, bit - done);
        if (p[bit + 1] == '"') {
            out = m_handler.blockCopy(out, p + bit, 1);
            done = bit + 2;
        } else {
            inQuotes = false;
            done = bit + 1;
        }
        return out;
    }

    // A quote after a delimiter at bit `bit` of a block opens a quoted value the block loop
    // takes; returns the bytes of the block used, up to that quote.
    QUARRYTAB_HOT std::size_t openQuoteInBlock(std::size_t bit, bool& inQuotes) {
        openQuote(false);
        m_state = State::Plain;
        inQuotes = true;
        return bit + 2;
    }

    // The end of a block in the block loop: the rest of the block after `done` bytes is copied,
    // and the next block starts past it (or past a CR LF at its end).
    QUARRYTAB_HOT const char* endOfBlock(const char* p, char*& out, std::size_t done) {
        if (done < 64) {
            out = m_handler.blockCopy(out, p + done, 64 - done);
        }
        return p + std::max<std::size_t>(done, 64);
    }

    // Any other byte the block loop found, at `at` in the block at `p`: a line break outside
    // quotes ends the record and the next one begins (see turn), and the loop goes on from `done`
    // with `out`, returning null; anything else is for the byte path, and the loop stops where
    // this returns.
    QUARRYTAB_HOT const char* breakInBlock(const char* at, const char* end, const char* p,
                                           char*& out, std::size_t& done, bool& inQuotes,
                                           char delimiter, bool quotedFields, bool quotes) {
        if (!IsLineBreak(*at) || (quotes && inQuotes)) {
            return leaveBlock(at, out, inQuotes);
        }
        m_handler.setCursor(out);
        const char* next = at + LineBreakLength(at, end, true);
        const bool quoted = quotes && *next == '"';
        if (!turn(next, delimiter, quotedFields, quoted)) {
            return m_state == State::Quoted ? next + 1 : next;
        }
        out = m_handler.cursor();
        inQuotes = quoted;
        done = static_cast<std::size_t>(next - p) + (quoted ? 1 : 0);
        return nullptr;
    }

    // Values sixty-four bytes at a time: plain ones, and with BlockLooks::quotedValues quoted
    // ones, whose quotes the loop takes off ("" as one '"'). Stops at a byte the handler looks
    // at one by one, at a line break inside quotes, at a delimiter before a value that needs a
    // look of its own, and near the end of the bytes; a line break ends the record here (see
    // turn). Where it stops inside quotes, State::Quoted goes on.
    // Compiled twice: with `Quotes` (quoted fields a handler takes in block runs) and without,
    // so the plain loop pays nothing for them.
    template <bool Quotes>
    const char* blockRun(const char* p, const char* end) {
#if QUARRYTAB_BLOCK_SCAN
        // Members read into locals: the writes through `out` could otherwise change them, as far
        // as the compiler knows, and every use would read them again.
        Handler& handler = m_handler;
        const char delimiter = m_delimiter.front();
        const bool quotedFields = m_quotedFields;
        const BlockLooks looks = handler.blockLooks();
        const BlockClassifier classifier(delimiter, looks.quote, looks.escapes, looks.highBytes);
        char* out = handler.cursor();
        bool inQuotes = false;
        // A run between the bytes found may read sixteen bytes past the block, and a CR LF at
        // its end two past it.
        while (end - p >= 64 + 16 + 2) {
            if (!handler.blockRoom(out)) {
                return leaveBlock(p, out, inQuotes);
            }
            std::uint64_t found = classifier.block<Quotes>(p);
            std::size_t done = 0;  // bytes of the block used; past it after a CR LF at its end
            for (; found != 0; found &= found - 1) {
                const auto bit = static_cast<std::size_t>(std::countr_zero(found));
                if (bit < done) {
                    continue;  // passed already (the LF of a CR LF, the second '"' of "")
                }
                const char* const at = p + bit;
                if (Quotes && (*at == '"' || (inQuotes && *at == delimiter))) {
                    out = quoteInValue(out, p, bit, done, inQuotes);
                    continue;
                }
                out = handler.blockCopy(out, p + done, bit - done);
                if (*at == delimiter) {
                    if (valueNeedsLook(at[1], delimiter, quotedFields, Quotes, looks)) {
                        return leaveBlock(at, out, inQuotes);
                    }
                    out = handler.blockCut(out, looks);
                    if (Quotes && at[1] == '"') {
                        done = openQuoteInBlock(bit, inQuotes);
                        continue;
                    }
                } else if (*at == looks.quote) {
                    out = handler.blockQuote(out);
                } else {
                    const char* stop = breakInBlock(at, end, p, out, done, inQuotes, delimiter,
                                                    quotedFields, Quotes);
                    if (stop != nullptr) {
                        return stop;
                    }
                    continue;
                }
                done = bit + 1;
            }
            p = endOfBlock(p, out, done);
        }
        return leaveBlock(p, out, inQuotes);
#else
        (void)end;
#endif
        return p;
    }

    Handler& m_handler;
    std::string m_delimiter;  // empty when it can never cut a line
    std::string m_comment;    // empty when no line can start with it
    int m_commentStart;       // its first byte, or -1
    bool m_quotedFields;
    Table m_plainStops{};         // bytes a plain value cannot simply pass on
    Table m_quotedStops{};        // the same inside quotes
    bool m_blocks = false;        // plain values may go sixty-four bytes at a time (see blockRun)
    bool m_quotedBlocks = false;  // ... and quoted ones, once enough were seen (scan.h)
    bool m_quotedBlocksLater = false;
    std::uint64_t m_quotedSeen = 0;
    std::uint64_t m_quotedBeforeBlocks = 0;

    State m_state = State::LineStart;
    std::uint64_t m_line;  // the physical line being read
    bool m_checkBom;
    bool m_bomLine = false;  // the line so far was a byte-order mark
    bool m_wait = false;     // feed() stopped at bytes it cannot decide yet
    bool m_afterCr = false;  // inside quotes: the byte before was CR, so LF ends no other line
    bool m_aboveComments = false;  // comment lines and no record yet: empty lines are theirs
    std::uint64_t m_quoteLine = 0;
    std::uint64_t m_unclosedQuoteLine = 0;
    std::uint64_t m_records = 0;
    std::uint64_t m_stop = 0;  // the record count at which feed() returns
};

}  // namespace quarrytab::detail
