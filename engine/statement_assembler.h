// Puts the records a tokenizer reads together into statements: column names from a header, the
// CREATE TABLE, an INSERT per record or several rows per INSERT (below 1 MiB), ragged records
// kept, padded, skipped or stopped at, and a transaction around it all. Under RowForm::Copy the
// rows are one COPY ... FROM STDIN instead, a row per line and "\." after the last. Each value is
// written by the literal writer. It is the tokenizer's handler for a conversion. Not part of the
// engine's interface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/column_types.h"
#include "engine/dialect.h"
#include "engine/file_notes.h"
#include "engine/held_statement.h"
#include "engine/literal_writer.h"
#include "engine/options.h"
#include "engine/statements.h"

namespace quarrytab::detail {

class StatementAssembler {
  public:
    // `plan`, when given, is the table's definition from a first read of the file.
    StatementAssembler(const ConversionOptions& options, std::string_view baseName,
                       StatementSink& sink, FileNotes& notes, const TablePlan* plan = nullptr);
    StatementAssembler(const StatementAssembler&) = delete;
    StatementAssembler& operator=(const StatementAssembler&) = delete;

    // The tokenizer's hooks (see Tokenizer).
    const std::array<bool, 256>& looks() const { return m_literal.looks(); }
    QUARRYTAB_HOT void beginRecord(std::uint64_t line, char first) {
        m_recordLine = line;
        m_fields = 0;
        m_unstorable = false;
        m_conflict.hasRowKey = false;
        m_header = m_first && m_options.HeaderRow;
        if (m_header) {
            return;
        }
        // A row goes straight to the sink when nothing at its end can change where it goes or
        // whether it is written: not the first (the CREATE TABLE waits for its field count),
        // one row per INSERT, no ragged record left out, the statements begun (the dialect's
        // setup, a transaction), and not a possible line of spaces.
        m_direct = m_directNow && first != ' ' && !IsLineBreak(first);
        if (m_direct) {
            m_literal.openRoom(m_sink, m_rowHead, kRoom, true);
        } else {
            m_literal.openRoom(m_row, "", kRoom + m_rowHead.size(), false);
        }
    }
    void beginField(bool quoted) {
        ++m_fields;
        if (!m_header && m_fields > 1) {
            m_literal.put(m_copy ? "\t" : ",");
        }
        m_literal.startValue(m_header);
        if (m_plan != nullptr) {
            m_literal.setBare(!m_header && m_plan->bare(m_fields - 1));
        }
        if (quoted) {
            m_literal.openValue();
        }
    }
    // A field that is NULL whatever its bytes (a NULL word, a chosen field the record lacks);
    // see RecordShaper.
    void nullField() {
        ++m_fields;
        if (m_header) {
            m_heldHeader.values.emplace_back();
            return;
        }
        if (m_fields > 1) {
            m_literal.put(m_copy ? "\t" : ",");
        }
        m_literal.putNull();
    }
    // The key of the record being read, where rows of one INSERT must not share a key.
    void rowKey(std::string_view key) {
        m_conflict.rowKey.assign(key);
        m_conflict.hasRowKey = true;
    }
    // The columns --key names (from 0), once the table's names are known.
    const std::vector<std::size_t>& conflictColumns() const { return m_conflict.columns; }
    void run(const char* from, const char* to) { m_literal.run(from, to); }
    void byte(char c) { m_literal.byte(c); }
    QUARRYTAB_HOT void endField() {
        m_literal.endValue();
        m_unstorable |= m_literal.unstorable();
        if (m_header) {
            takeHeaderName();
        }
    }
    QUARRYTAB_HOT void endRecord(bool blank) {
        if (m_direct && !blank && !m_unstorable && m_fields == m_notes.expectedFields) {
            ++m_notes.rows;
            endRow();  // the common case, which endOtherRecord would come to as well
            return;
        }
        endOtherRecord(blank);
    }
    void dropRecord();
    bool partSent() const { return m_literal.partSent(); }
    bool stopped() const { return m_notes.stopped; }

    BlockLooks blockLooks() const { return m_literal.blockLooks(); }
    bool blockReady(bool canOpen) { return m_literal.blockReady(canOpen); }
    char* cursor() const { return m_literal.cursor(); }
    void setCursor(char* at) { m_literal.setCursor(at); }
    bool blockRoom(char*& out) { return m_literal.blockRoom(out); }
    char* blockCopy(char* out, const char* from, std::size_t size) {
        return LiteralWriter::blockCopy(out, from, size);
    }
    char* blockQuote(char* out) {
        return m_copy ? LiteralWriter::blockTab(out) : LiteralWriter::blockQuote(out);
    }
    QUARRYTAB_HOT char* blockCut(char* out, const BlockLooks& looks) {
        ++m_fields;
        if (m_otherCut) {
            if (m_copy) {
                *out = '\t';
                return out + 1;
            }
            return m_literal.blockCutTyped(out, m_plan->bare(m_fields - 2),
                                           m_plan->bare(m_fields - 1), looks);
        }
        return m_literal.blockCut(out, ',', looks);
    }

    // For a handler in front that hands the records left out on (RecordKeeper): each one's
    // reason is kept for takeLeftOut(), and a record the database cannot take (a value it cannot
    // store, a quote still open at the end of the file) is left out too rather than written.
    // Every row then waits for its record's end, so any of them can still be left out.
    void tellLeftOut() {
        m_tellLeftOut = true;
        m_directRows = false;
    }
    // Why the record just ended was left out; empty when it was written (or blank, or the header).
    std::string takeLeftOut();
    // The record being read holds a quote opened on `line` and still open at the end of the file.
    // A header's quote left open is told as it always is (FileNotes::unclosedQuote).
    void quoteLeftOpen(std::uint64_t line) {
        if (!m_header) {
            m_openQuoteLine = line;
            m_unstorable = true;  // so its end looks at it (leftOutAsFaulty)
        }
    }

    // Ends the file's statements: an INSERT still taking rows is written, and a transaction
    // ends in COMMIT, or ROLLBACK when the file was not read to its end or a ragged record
    // stopped the conversion.
    void finish(bool readToEnd);

  private:
    void endOtherRecord(bool blank);
    bool leftOutAsRagged();
    bool leftOutAsFaulty();
    void takeHeaderName();
    void refuse(const std::string& why);
    void refreshDirect() {
        m_directNow = m_directRows && !m_first && m_begun && (!m_copy || m_copyOpen);
    }
    void endHeader();
    void noteFittedNames();
    void placeRow();
    // Ends a row written straight to the sink as its own INSERT.
    void endRow() {
        m_literal.put(m_rowTail);
        m_literal.commitRoom(true);
    }
    void beginStatements(bool transaction = true);
    bool refuseNames();
    bool planConflict();
    void presetConflictColumns();
    void planKeyCheck();
    std::string columnName(std::size_t k) const;
    void createTable();
    void flushInsert();
    void openCopy();
    void appendName(std::string& out, std::string_view name) const;

    const ConversionOptions& m_options;
    const TablePlan* m_plan;
    const DialectRules& m_rules;
    StatementSink& m_sink;
    FileNotes& m_notes;
    LiteralWriter m_literal;
    bool m_copy;      // the rows are COPY's (RowForm::Copy)
    bool m_otherCut;  // values are cut otherwise than as plain literals: COPY's, or typed
    std::string m_reference;
    std::string m_baseName;
    std::string m_tableName;   // the table's name without its quotes
    std::string m_insertHead;  // "INSERT INTO t VALUES " or with the column names
    std::string m_ending;      // ";" or ""
    std::string m_rowHead;     // m_insertHead and "(": a row written as its own INSERT
    std::string m_insertTail;  // what ends an INSERT: the conflict clause and m_ending
    std::string m_rowTail;     // ")" and m_insertTail
    std::size_t m_rowsPerInsert;
    bool m_directRows;           // rows may go straight to the sink (see beginRecord)
    bool m_directNow = false;    // ... and from now on: the first is read, the statements begun
    bool m_tellLeftOut = false;  // see tellLeftOut
    enum class LeftOut { No, Skipped, Stopped, Unstorable, OpenQuote };
    LeftOut m_leftOut = LeftOut::No;    // why the record just ended was left out
    std::uint64_t m_openQuoteLine = 0;  // see quoteLeftOpen

    // The record being read.
    std::uint64_t m_recordLine = 0;
    std::size_t m_fields = 0;
    bool m_unstorable = false;
    bool m_direct = false;  // its row goes straight to the sink as its own INSERT
    bool m_header = false;  // it is the header: its values are column names
    bool m_first = true;    // no record read yet

    HeldStatement m_row;      // a row whose place is decided at its end
    HeldStatement m_pending;  // an INSERT still taking rows
    std::size_t m_pendingRows = 0;
    std::size_t m_pendingFields = 0;
    struct HeldHeader {  // a header's names until it ends, and their bytes
        std::vector<std::string> values;
        std::uint64_t bytes = 0;
    } m_heldHeader;
    std::vector<std::string> m_names;
    bool m_setupWritten = false;  // the dialect's setup
    bool m_begun = false;         // the dialect's setup and BEGIN are written
    bool m_inTransaction = false;

    // --on-conflict: the key's columns; MySQL, into a table that may exist, the statements that
    // stop the load unless the key is the table's only unique key (see planKeyCheck); the key of
    // the record being read, and the keys of the INSERT still taking rows.
    struct Conflict {
        std::vector<std::size_t> columns;
        std::vector<std::string> keyCheck;
        std::string rowKey;
        bool hasRowKey = false;
        std::unordered_set<std::string> pendingKeys;
    } m_conflict;
    bool m_copyOpen = false;  // the COPY line is written, its rows follow
};

// The most a header may hold: names for this many columns (no database takes a table of more)
// and this many bytes of them, so its names stay within the conversion's memory bound.
inline constexpr std::size_t kMostHeaderNames = kMostColumns;
inline constexpr std::uint64_t kMostHeaderBytes = 2 << 20;
// Why a header past those limits is refused.
std::string HeaderPastLimit();

// Column names from a header record, each fitted to the dialect (FittedName): an empty name
// becomes fldK, a repeated one (compared as the database compares names, `quoted` or not,
// NameKey) gets _2, _3, ...
std::vector<std::string> ColumnNames(const std::vector<std::string_view>& header,
                                     Dialect dialect = Dialect::Classic, bool quoted = true);

}  // namespace quarrytab::detail
