// The program's own statements written in one pass over a file's bytes as they are read: line
// ends are found, values cut and quotes doubled in the same scan, and each statement goes to the
// sink piece by piece, so no line is ever held whole: a CREATE TABLE from the first line, then
// an INSERT INTO for each line that is not blank, each value a literal with its quotes doubled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/file_notes.h"
#include "engine/held_statement.h"
#include "engine/options.h"
#include "engine/records.h"
#include "engine/scan.h"
#include "engine/statements.h"

namespace quarrytab::detail {

class StatementStream {
  public:
    // With `notes`, field counts that differ from the first line's and a doubtful "," are noted.
    StatementStream(const ConversionOptions& options, std::string_view baseName,
                    StatementSink& sink, FileNotes* notes = nullptr);
    ~StatementStream();
    StatementStream(const StatementStream&) = delete;
    StatementStream& operator=(const StatementStream&) = delete;

    // Converts bytes that follow those fed before and returns how many it used. It stops once
    // `lineLimit` more lines are complete, or before a tail it cannot decide yet (a CR that may
    // begin CR LF, the first bytes of a delimiter): pass that again with the bytes that follow.
    // With `last` the bytes end the file, and all of them are used unless the limit stops it.
    std::size_t feed(std::string_view bytes, bool last, std::uint64_t lineLimit);

    // Ends the file. When it was not read to its end, a line cut short is left out, as a line
    // reader leaves it out, unless part of its statement has gone to the sink already; then the
    // statement is ended where the bytes stop, so the output stays valid SQL.
    void finish(bool readToEnd);

    // Lines complete so far, blank ones included.
    std::uint64_t lines() const { return m_lines; }

  private:
    // Where a scan of a line's values writes, and the cuts it has made.
    struct Scan {
        char* out;
        char* limit;  // past it, room is made before the next steps
        std::uint64_t cuts;
    };
    const char* scanSingle(const char* p, const char* end);
    bool turnOver(const char* next, Scan& scan);
    void scanRoom(Scan& scan);
    bool scanSpecial(Scan& scan, const char* at, char delimiter);
    const char* scanLeadingSpaces(Scan& scan, char delimiter, const char* p, const char* end);
#if QUARRYTAB_BLOCK_SCAN
    bool scanBlocks(Scan& scan, const BlockClassifier& classifier, char delimiter, const char*& p,
                    const char* end);
    bool scanSixteens(Scan& scan, const BlockClassifier& classifier, char delimiter, const char*& p,
                      const char* end);
#endif
    const char* scanGeneral(const char* p, const char* end, bool last);
    void openStatement();
    void endLine();
    bool holdsFirstLine() const;
    bool watchesDelimiter() const;
    void ensureRoom(std::size_t size);
    void refreshRoom(std::size_t size);
    void dropRoom();
    void release();
    void noteLine(bool blank, std::size_t fields);

    const ConversionOptions& m_options;
    StatementSink& m_sink;
    FileNotes* m_notes;
    // Holds the first line's statement until its CREATE TABLE is written, and a line of spaces
    // too long for its room until a byte other than a space shows it is not blank.
    std::unique_ptr<HeldStatement> m_held;
    StatementSink* m_out;     // the sink, or m_held while it holds the statement
    std::string m_delimiter;  // empty when it can never cut a line (empty, or holding CR or LF)
    bool m_blockScan;         // sixty-four bytes at a time where a single-byte delimiter allows
    bool m_delimiterBlank = false;  // the delimiter is all spaces
    std::string m_reference;        // the table's name in its quotes
    std::string m_head;             // "INSERT INTO " + reference + " VALUES ('"
    std::string m_tail;             // "')" + ";" or "')"
    std::string m_paddedHead;       // copies of both, padded to be read in whole steps
    std::string m_paddedTail;
    char* m_begin = nullptr;  // the room lent for the statement; null between statements
    char* m_at = nullptr;
    char* m_end = nullptr;
    std::uint64_t m_lines = 0;
    std::uint64_t m_stop = 0;  // the line count at which feed() returns
    std::uint64_t m_cuts = 0;  // delimiters in the line so far
    bool m_nonSpace = false;   // the line holds a byte other than a space
    bool m_partSent = false;   // part of the statement has gone to the sink
    bool m_firstLine = true;
    DelimiterDoubt m_doubt;  // whether a "," seems wrong for the file
};

}  // namespace quarrytab::detail
