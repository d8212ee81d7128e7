// The statements of a file under the rules for real-world files, written in one pass over its
// bytes as they are read: records are cut (RFC 4180 quoting on request), values escaped for the
// dialect and rows written as the bytes go by, so neither a line nor a field is ever held whole.
// Column names from a header, NULLs, ragged records, several rows per INSERT, a transaction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dialect.h"
#include "engine/file_notes.h"
#include "engine/held_statement.h"
#include "engine/options.h"
#include "engine/statements.h"

namespace quarrytab::detail {

class RecordStream {
  public:
    // `delimiter` is the one chosen for the file; `firstLine` the number of its first line
    // after those skipped. A byte-order mark is looked for when `stripBom` is set.
    RecordStream(const ConversionOptions& options, std::string_view baseName, std::string delimiter,
                 StatementSink& sink, FileNotes& notes, std::uint64_t firstLine, bool stripBom);
    ~RecordStream();
    RecordStream(const RecordStream&) = delete;
    RecordStream& operator=(const RecordStream&) = delete;

    // Converts bytes that follow those fed before and returns how many it used. It stops once
    // `recordLimit` more records are complete, when a ragged record stops the conversion, or
    // before a tail it cannot decide yet (a CR that may begin CR LF, a quote that may be
    // doubled, the first bytes of a delimiter or comment prefix): pass that again with the
    // bytes that follow. With `last` the bytes end the file.
    std::size_t feed(std::string_view bytes, bool last, std::uint64_t recordLimit);

    // Ends the file: the record still open is ended (when the file was read to its end), what
    // is pending is written, and a transaction ends in COMMIT, or ROLLBACK when the file was
    // not read to its end or a ragged record stopped the conversion.
    void finish(bool readToEnd);

    // A ragged record stopped the conversion (RaggedMode::Fail).
    bool stopped() const { return m_notes.stopped; }
    // Records complete so far, the header and blank ones included.
    std::uint64_t records() const { return m_records; }

  private:
    enum class State { LineStart, Comment, FieldStart, Plain, Quoted };
    using Table = std::array<bool, 256>;

    const char* lineStart(const char* p, const char* end, bool last);
    const char* comment(const char* p, const char* end, bool last);
    const char* fieldStart(const char* p);
    const char* plain(const char* p, const char* end, bool last);
    const char* fastRun(const char* p, const char* end);
    bool turnOver(const char* next);
    const char* quoted(const char* p, const char* end, bool last);
    std::size_t breakLength(const char* p, const char* end, bool last);

    void beginRecord(char first);
    void endRecord();
    void placeRow();
    void dropRow();
    void startValue(bool quoted);
    void openValue();
    void holdValue();
    bool valueTooLong() const;
    void endValue();
    void writeRun(const char* from, const char* to);
    void writeByte(char c);
    void writeHeldValue();
    bool startsWith(const char* p, const char* end, bool last, std::string_view text);
    void checkUtf8(char c);
    void begin();
    void createTable();
    void flushInsert();
    void appendName(std::string& out, std::string_view name) const;
    void ensureRoom(std::size_t size);
    void closeRoom();

    const ConversionOptions& m_options;
    const DialectRules& m_rules;
    StatementSink& m_sink;
    FileNotes& m_notes;
    std::string m_delimiter;  // empty when it can never cut a line
    std::string m_comment;    // empty when no line can start with it
    std::string m_reference;
    std::string m_insertHead;  // "INSERT INTO t VALUES " or with the column names
    std::string m_ending;      // ";" or ""
    std::array<std::string_view, 256> m_escapes{};  // what stands for each byte in a literal
    Table m_plainStops{};                           // bytes a plain value cannot simply copy
    Table m_quotedStops{};                          // the same inside quotes
    std::size_t m_rowsPerInsert;
    bool m_validate;   // values must be well-formed UTF-8 (and for PostgreSQL hold no NUL)
    bool m_blobOnNul;  // SQLite: a value holding a NUL byte is written as a blob
    bool m_fastRuns;   // plain values may go sixteen bytes at a time (see fastRun)
    bool m_moreStops;  // those runs also stop at NUL, backslash and Ctrl-Z

    State m_state = State::LineStart;
    std::uint64_t m_line;  // the physical line being read
    bool m_checkBom;
    bool m_bomLine = false;  // the line so far was a byte-order mark
    bool m_wait = false;     // feed() stopped at bytes it cannot decide yet
    bool m_afterCr = false;  // inside quotes: the byte before was CR, so LF ends no other line
    std::uint64_t m_records = 0;
    std::uint64_t m_stop = 0;  // the record count at which feed() returns

    // The record being read.
    std::uint64_t m_recordLine = 0;
    std::size_t m_fields = 0;
    bool m_nonSpace = false;  // its first line holds a byte other than a space
    bool m_unstorable = false;
    bool m_direct = false;  // its row goes straight to the sink as its own INSERT
    bool m_header = false;  // it is the header: its values are column names
    bool m_first = true;    // no record read yet
    std::uint64_t m_quoteLine = 0;

    // The value being read.
    bool m_valueQuoted = false;
    bool m_valueOpen = false;  // its opening quote is written
    bool m_valueHeld = false;  // its bytes go to m_value, to be written at its end
    bool m_utf8Bad = false;
    int m_utf8Need = 0;
    unsigned char m_utf8Low = 0x80;
    unsigned char m_utf8High = 0xBF;
    bool m_hasNul = false;

    // Where row bytes go: room lent by the sink, or by the held row.
    StatementSink* m_out = nullptr;
    char* m_begin = nullptr;
    char* m_at = nullptr;
    char* m_end = nullptr;
    char* m_valueStart = nullptr;  // a SQLite literal's opening quote, while it may become a blob
    bool m_partSent = false;

    HeldStatement m_row;      // a row whose place is decided at its end
    HeldStatement m_value;    // a value seen whole before it is written (names, SQLite)
    HeldStatement m_pending;  // an INSERT still taking rows
    std::size_t m_pendingRows = 0;
    std::size_t m_pendingFields = 0;
    std::vector<std::string> m_headerValues;
    std::vector<std::string> m_names;
    bool m_began = false;
    std::uint64_t m_unclosedQuoteLine = 0;
};

// Column names from a header record: an empty name becomes fldK, a repeated one (compared
// without regard to ASCII case, as most databases do) gets _2, _3, ...
std::vector<std::string> ColumnNames(const std::vector<std::string_view>& header);

}  // namespace quarrytab::detail
