// The table's definition: each column's type, chosen from the whole file (--types) or given by
// the user (--type), always one in which the dialect's database gives every value back as the
// same text; the key, NOT NULL, and what happens to a table of the same name. A first read of
// the file surveys its values (ColumnSurvey, a tokenizer handler). Not part of the engine's
// interface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_notes.h"
#include "engine/key_hashes.h"
#include "engine/options.h"
#include "engine/statements.h"
#include "engine/tokenizer.h"

namespace quarrytab::detail {

// What the table's definition says of one column.
struct ColumnPlan {
    std::string type;   // empty: the dialect's type that holds any value
    bool bare = false;  // its values are written as bare numbers
    bool notNull = false;
};

struct TablePlan {
    std::vector<ColumnPlan> columns;
    std::vector<std::size_t> key;  // the primary key's columns, in order
    // A column whose values are written as bare numbers.
    bool bare(std::size_t column) const { return column < columns.size() && columns[column].bare; }
};

// The kinds of value a column can be typed for; a value fits a set of them.
enum ValueKind : unsigned {
    kInteger = 1,    // canonical decimal digits within 64 bits
    kDecimal = 2,    // canonical digits with or without places
    kReal = 4,       // the text SQLite prints back for the REAL it reads
    kDate = 8,       // YYYY-MM-DD, a calendar date
    kTimestamp = 16  // YYYY-MM-DD HH:MM:SS
};
inline constexpr unsigned kAllKinds = 31;

// The kinds one value fits for `dialect`, with its digits before and after the point.
unsigned ValueKinds(std::string_view value, Dialect dialect, int& whole, int& places);

// What a type the user gave (--type) asks of the values.
struct GivenType {
    bool checked = true;         // false: a type whose values are not checked here
    bool anyText = false;        // takes every value (up to `characters`)
    std::size_t characters = 0;  // VARCHAR(n): at most n characters; 0: no limit
    unsigned kinds = 0;          // otherwise the kinds a value must fit
    int bits = 64;               // integers: their width
    std::size_t bytes = 0;       // MySQL's TEXT: at most this many bytes; 0: no limit
    int precision = -1;          // DECIMAL(p,s); -1 when not given
    int scale = -1;
    bool wholeRealsChanged = false;  // SQLite's NUMERIC: 2.0 reads back as 2
    bool bare = false;
    std::string changes;  // why the database refuses or changes every value; empty: it does not
    std::string refusal;  // why the database refuses the type itself; empty: it takes it
};

GivenType ReadGivenType(std::string_view text, Dialect dialect);

// What a first read saw of one column.
struct ColumnSeen {
    unsigned kinds = kAllKinds;
    std::uint64_t values = 0;  // values that are not NULL
    int whole = 0;             // most digits before the point
    int places = -1;           // places every value has; -2 when they differ
    std::size_t longest = 0;   // characters of the longest value
    bool ascii = true;         // every value is ASCII (counted with the characters)
    LineNotes nulls;
    std::string ruledOut;  // where the last kind was ruled out: line and value
    LineNotes refused;     // values the user's type would refuse or change
    std::string firstRefused;
};

// The tokenizer's handler for the first read: what each column's values are.
class ColumnSurvey {
  public:
    explicit ColumnSurvey(const ConversionOptions& options);

    const std::array<bool, 256>& looks() const { return m_looks; }
    // The block path: its runs are value bytes like any others; nothing is written.
    BlockLooks blockLooks() const {
        BlockLooks looks;
        looks.on = true;
        return looks;
    }
    bool blockReady(bool) { return true; }
    char* cursor() const { return nullptr; }
    void setCursor(char*) {}
    bool blockRoom(char*&) { return true; }
    char* blockCopy(char* out, const char* from, std::size_t size) {
        if (size > 0) {
            run(from, from + size);
        }
        return out;
    }
    char* blockQuote(char* out) {
        const char quote = '\0';  // the byte the classifier marks as BlockLooks::quote
        run(&quote, &quote + 1);
        return out;
    }
    char* blockCut(char* out, const BlockLooks&) {
        beginField(false);
        return out;
    }

    void beginRecord(std::uint64_t line, char) {
        m_line = line;
        m_fields = 0;
        m_header = m_first && m_options.HeaderRow;
    }
    void beginField(bool quoted) {
        const std::size_t index = m_fields++;
        if (index >= m_record.size()) {
            if (!holds(index)) {
                return;
            }
            m_record.emplace_back();
        }
        Field& field = m_record[index];
        field.value.clear();
        field.quoted = quoted;
        field.null = false;
        field.cut = false;
        field.characters = 0;
        field.bytes = 0;
        field.ascii = true;
        field.hash = KeyHashes::kStart;
    }
    void run(const char* from, const char* to) {
        const std::size_t column = m_fields - 1;
        if (column >= m_record.size()) {
            return;  // a field past the table's columns
        }
        Field& field = m_record[column];
        // A column no type is left for needs nothing more of its values than whether they are
        // empty; the first bytes say that.
        if (!m_header && column < m_inKey.size() && m_inKey[column] != 0) {
            field.hash = KeyHashes::Add(field.hash, {from, static_cast<std::size_t>(to - from)});
        }
        if (!m_header && column < m_looking.size() && m_looking[column] == 0) {
            field.cut |= from != to;
            return;
        }
        keep(field, from, to);
    }
    void byte(char c) { run(&c, &c + 1); }
    // A field that is NULL whatever its bytes (see RecordShaper).
    void nullField() {
        beginField(false);
        if (m_fields <= m_record.size()) {
            m_record[m_fields - 1].null = true;
        }
    }
    void endField() {}
    void endRecord(bool blank);
    void dropRecord() {}
    bool partSent() const { return false; }
    bool stopped() const { return !m_refusal.empty(); }

    // The table's definition from what was seen; what it would refuse goes to `notes`.
    TablePlan plan(FileNotes& notes);

  private:
    struct Field {
        std::string value;  // its first bytes, enough to tell its kind
        bool quoted = false;
        bool null = false;
        bool cut = false;  // longer than the bytes kept
        std::size_t characters = 0;
        std::size_t bytes = 0;
        bool ascii = true;
        std::uint64_t hash = KeyHashes::kStart;  // of all its bytes, in a key column
    };
    // Whether field `index` of the record being read is held: in a record that sets the table's
    // width or may widen it, up to kMostColumns (past them the file is refused); in another, up to
    // the table's width.
    bool holds(std::size_t index);
    // Keeps what the value's bytes say of its kind.
    void keep(Field& field, const char* from, const char* to);
    void see(ColumnSeen& column, const Field& field, std::size_t index);
    std::string columnName(std::size_t k) const;
    std::size_t columnIndex(const std::string& wanted) const;
    std::string planColumn(std::size_t k, ColumnPlan& column, bool& madeKeyText, FileNotes& notes);
    std::string typesLine(const TablePlan& plan, const std::vector<std::string>& reasons) const;
    // The table is `width` columns wide from now on.
    void widen(std::size_t width);
    // PostgreSQL: notes a record whose key is longer than a B-tree index entry holds.
    void seePostgresKey();
    void seeKey();
    void fitMysqlKey(TablePlan& plan, const std::vector<bool>& keyText,
                     std::vector<std::string>& reasons, FileNotes& notes) const;

    const ConversionOptions& m_options;
    std::array<bool, 256> m_looks{};
    // The characters of each value are wanted: for MySQL's key, or a VARCHAR(n) given; or the
    // bytes of PostgreSQL's key.
    bool m_countCharacters;
    std::uint64_t m_line = 0;
    std::size_t m_fields = 0;
    bool m_header = false;
    bool m_first = true;
    std::size_t m_expected = 0;
    std::vector<Field> m_record;  // the record being read, seen at its end
    std::uint64_t m_records = 0;  // records seen, the header not counted
    std::uint64_t m_firstRecordLine = 0;
    std::vector<std::string> m_headerValues;
    std::uint64_t m_headerBytes = 0;
    std::string m_refusal;  // why the file is refused: a table too wide, or its header too long
    std::vector<std::string> m_names;
    std::vector<ColumnSeen> m_columns;
    // For each column, whether its values are still looked at: a type is left, or one was given.
    std::vector<unsigned char> m_looking;
    std::vector<GivenType> m_givenTypes;    // the options' --type ones, read
    std::vector<int> m_given;               // for each column, its --type among them, or -1
    std::vector<std::size_t> m_keyColumns;  // the key's columns (PostgreSQL)
    LineNotes m_longKeys;                   // records whose key PostgreSQL cannot index
    // --primary-key without --on-conflict: for each column whether it is in the key, the keys
    // seen, and the records that repeat one.
    std::vector<unsigned char> m_inKey;
    KeyHashes m_keys;
    LineNotes m_repeatedKeys;
};

// Writes the CREATE TABLE (with DROP TABLE IF EXISTS before it, or IF NOT EXISTS, on request).
// `name` appends column k's name; `tableOptions` (the dialect's) follow the column list.
void WriteTableDefinition(StatementSink& sink, const ConversionOptions& options,
                          std::string_view reference, std::size_t columns,
                          const std::function<void(std::size_t, std::string&)>& name,
                          const TablePlan* plan, std::string_view tableOptions,
                          std::string_view ending);

}  // namespace quarrytab::detail
