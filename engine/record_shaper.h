// Takes each record a value at a time before its handler hears of it, for what needs a record's
// values side by side: the table's columns chosen, ordered and renamed (--columns), a field equal
// to a NULL word made NULL (--null-word), and each row's key, so that one INSERT never takes a
// key twice where the database would refuse it (--on-conflict update, PostgreSQL). It is a
// tokenizer handler in front of another (the statement assembler, or the first read's column
// survey), which hears the shaped records through the same hooks, and nullField() for a NULL.
// Each value is held in a HeldStatement, so a record of any length stays in bounded memory, and
// only the values that are used: without --columns each field goes on at its end (the key's values
// kept for the row's key), with it the chosen fields (and a header's every name, up to
// kMostColumns, where --columns names fields), so a record of millions of fields costs no memory
// for each. Not part of the engine's interface.
//
//   header (or first record) --> the chosen fields found --> each record: its fields in the
//   chosen order, a missing one NULL; records of another width noted as ragged (kept, skipped
//   or stopped at as the options say)
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/field_counter.h"
#include "engine/file_notes.h"
#include "engine/held_statement.h"
#include "engine/options.h"

namespace quarrytab::detail {

// The options the handler behind a RecordShaper takes: with --columns the chosen columns make
// the table (no record widens it), and without a header columns renamed by --columns are named
// by a header the shaper writes.
ConversionOptions ShapedOptions(const ConversionOptions& options);

// The first field of `fields` whose bytes are `name`, or fields.size().
std::size_t FieldNamed(const std::vector<std::string>& fields, std::string_view name);

template <class Inner>
class RecordShaper : public PlainLooking {
  public:
    // `options` as given (not ShapedOptions); `notes` hears of ragged records and refusals.
    RecordShaper(const ConversionOptions& options, Inner& inner, FileNotes& notes)
        : m_options(options),
          m_inner(inner),
          m_notes(notes),
          m_choose(!options.Columns.empty()),
          m_headerNext(options.HeaderRow),
          m_keyed(options.Conflict == OnConflict::Update &&
                  options.SqlDialect == Dialect::Postgres && options.RowsPerInsert > 1),
          m_byName(m_choose && options.HeaderRow &&
                   std::any_of(options.Columns.begin(), options.Columns.end(),
                               [](const ChosenColumn& column) { return column.position == 0; })) {
        // Chosen by position only: the fields held are known before any record.
        for (const auto& chosen : options.Columns) {
            if (chosen.position > 0) {
                m_held.push_back(chosen.position - 1);
            }
        }
        sortHeld();
    }

    void beginRecord(std::uint64_t line, char first) {
        m_line = line;
        m_firstByte = first;
        m_count = 0;
        m_nextHeld = 0;
        m_holdAll = m_byName && m_headerNext;
        if (!m_choose) {
            m_inner.beginRecord(line, first);
            clearKeyParts();
        }
    }
    void beginField(bool quoted) {
        m_current = slotFor(m_count++);
        if (m_current != nullptr) {
            m_current->value.clear();
            m_current->quoted = quoted;
        }
    }
    void run(const char* from, const char* to) {
        if (m_current == nullptr) {
            return;  // a field no column takes
        }
        HeldStatement& value = m_current->value;
        const auto size = static_cast<std::size_t>(to - from);
        std::memcpy(value.reserve(size), from, size);
        value.commit(size, false);
    }
    void byte(char c) { run(&c, &c + 1); }
    void endField() {
        if (m_choose) {
            return;
        }
        if (m_headerNext) {
            sendRaw(m_one);
            return;
        }
        keepKeyPart(m_count - 1, m_one);
        sendField(m_one);
    }
    void endRecord(bool blank);
    void dropRecord() {
        m_count = 0;
        if (!m_choose) {
            m_inner.dropRecord();
        }
    }
    bool partSent() const { return !m_choose && m_inner.partSent(); }
    bool stopped() const { return m_notes.stopped || m_inner.stopped(); }

    // For a RecordKeeper in front (--rejects): the record's quote is still open at the end of
    // the file (the handler behind hears it with the record), and why the record just ended was
    // left out, here (a record of another width) or behind.
    void quoteLeftOpen(std::uint64_t line) { m_openQuoteLine = line; }
    std::string takeLeftOut() {
        if (!std::exchange(m_leftOut, false)) {
            return m_inner.takeLeftOut();
        }
        return std::to_string(m_count) + (m_count == 1 ? " field" : " fields") +
               " where the table has " + std::to_string(m_expected) +
               (m_options.Ragged == RaggedMode::Skip
                    ? "; left out (--ragged skip)"
                    : "; the conversion stopped here (--ragged fail)");
    }

  private:
    struct Field {
        HeldStatement value;
        bool quoted = false;
    };

    bool findColumns(bool header);
    void sortHeld() {
        std::sort(m_held.begin(), m_held.end());
        m_held.erase(std::unique(m_held.begin(), m_held.end()), m_held.end());
    }
    // Where field `index` of the record being read is held; nullptr when no column takes it.
    Field* slotFor(std::size_t index) {
        if (!m_choose) {
            return &m_one;
        }
        std::size_t slot = index;
        if (m_holdAll) {
            if (index >= kMostColumns) {
                return nullptr;  // findColumns refuses the header
            }
        } else if (m_nextHeld < m_held.size() && m_held[m_nextHeld] == index) {
            slot = m_nextHeld++;
        } else {
            return nullptr;
        }
        while (m_fields.size() <= slot) {
            m_fields.push_back(std::make_unique<Field>());
        }
        return m_fields[slot].get();
    }
    // Field `index` (below m_count, and held) of the record being read.
    Field& heldField(std::size_t index) {
        if (m_holdAll) {
            return *m_fields[index];
        }
        const auto at = std::lower_bound(m_held.begin(), m_held.end(), index);
        return *m_fields[static_cast<std::size_t>(at - m_held.begin())];
    }
    // Without --columns, the values of the row's key as its fields go by.
    void clearKeyParts() {
        if constexpr (requires { m_inner.conflictColumns(); }) {
            if (m_keyed) {
                m_keyParts.resize(m_inner.conflictColumns().size());
                m_keyHeld.assign(m_keyParts.size(), 0);
            }
        }
    }
    void keepKeyPart(std::size_t index, const Field& field) {
        if constexpr (requires { m_inner.conflictColumns(); }) {
            if (!m_keyed) {
                return;
            }
            const auto& columns = m_inner.conflictColumns();
            for (std::size_t j = 0; j < columns.size() && j < m_keyParts.size(); ++j) {
                if (columns[j] == index) {
                    m_keyHeld[j] = !isNull(field) && field.value.inMemory() ? 1 : 0;
                    m_keyParts[j].assign(m_keyHeld[j] != 0 ? field.value.memory() : "");
                }
            }
        }
    }
    void refuse(const std::string& why) {
        m_notes.refused = "line " + std::to_string(m_line) + ": " + why;
        m_notes.stopped = true;
    }
    bool isNull(const Field& field) const {
        if (m_options.QuotedFields && field.quoted) {
            return false;
        }
        if (!field.value.inMemory()) {
            return false;
        }
        const auto bytes = field.value.memory();
        if (bytes.empty() && m_options.EmptyAsNull) {
            return true;
        }
        for (const auto& word : m_options.NullWords) {
            if (bytes == word) {
                return true;
            }
        }
        return false;
    }
    // A value's bytes to the handler: the ones it looks at one by one (Inner::looks), the rest
    // in runs.
    void feed(std::string_view piece) {
        const auto& looks = m_inner.looks();
        const char* p = piece.data();
        const char* const end = p + piece.size();
        while (p < end) {
            const char* const stretch = p;
            while (p < end && !looks[static_cast<unsigned char>(*p)]) {
                ++p;
            }
            if (p > stretch) {
                m_inner.run(stretch, p);
            }
            if (p < end) {
                m_inner.byte(*p++);
            }
        }
    }
    void sendText(std::string_view text, bool quoted) {
        m_inner.beginField(quoted);
        feed(text);
        m_inner.endField();
    }
    void sendField(Field& field) {
        if (isNull(field)) {
            m_inner.nullField();
            return;
        }
        sendRaw(field);
    }
    void sendRaw(Field& field) {
        m_inner.beginField(field.quoted);
        field.value.visit([&](std::string_view piece) { feed(piece); });
        m_inner.endField();
    }
    void sendNames(const std::vector<std::string>& names) {
        m_inner.beginRecord(m_line, m_firstByte);
        for (const auto& name : names) {
            sendText(name, false);
        }
        m_inner.endRecord(false);
    }
    void sendRow(bool blank);
    void finishRow(bool blank);
    void sendHeader();
    bool keyOf(std::string& key);

    const ConversionOptions& m_options;
    Inner& m_inner;
    FileNotes& m_notes;
    const bool m_choose;   // --columns: the fields are chosen
    bool m_headerNext;     // the next record that is not blank is the header
    const bool m_keyed;    // each row's key goes to the handler
    const bool m_byName;   // --columns names a field of the header
    bool m_found = false;  // the chosen fields are found (in the header or the first record)

    std::vector<std::size_t> m_sources;  // for each chosen column, its field (from 0)
    std::vector<std::size_t> m_held;     // the fields held, in order (m_fields[k] holds m_held[k])
    std::size_t m_expected = 0;          // the fields of the header or first record
    std::string m_key;

    // The record being read.
    std::uint64_t m_line = 0;
    char m_firstByte = '\n';
    std::size_t m_count = 0;
    std::vector<std::unique_ptr<Field>> m_fields;  // with --columns
    Field m_one;                                   // without: the field being read
    Field* m_current = nullptr;                    // where the field being read is held
    std::size_t m_nextHeld = 0;                    // the next of m_held to come
    bool m_holdAll = false;  // every field of the record is held (a header --columns names from)
    std::vector<std::string> m_keyParts;   // without --columns: the row's key values so far
    std::vector<unsigned char> m_keyHeld;  // ... each one there, not NULL and held in memory
    std::uint64_t m_openQuoteLine = 0;     // see quoteLeftOpen
    bool m_leftOut = false;                // the record just ended was left out here
};

// The chosen names to the handler, renamed by --columns or as the header has them.
template <class Inner>
void RecordShaper<Inner>::sendHeader() {
    m_inner.beginRecord(m_line, m_firstByte);
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        const std::string& name = m_options.Columns[i].name;
        if (!name.empty()) {
            sendText(name, false);
        } else {
            sendRaw(heldField(m_sources[i]));
        }
    }
    m_inner.endRecord(false);
}

template <class Inner>
void RecordShaper<Inner>::endRecord(bool blank) {
    if (!m_choose) {
        // Its fields have gone on already.
        if (m_headerNext && !blank) {
            m_headerNext = false;
            m_inner.endRecord(false);
            return;
        }
        finishRow(blank);
        return;
    }
    if (m_headerNext) {
        if (blank) {
            sendRow(true);  // a blank line before the header names no column
            return;
        }
        m_headerNext = false;
        if (findColumns(true)) {
            sendHeader();
        }
        return;
    }
    if (!m_found && !blank) {
        if (!findColumns(false)) {
            return;
        }
        // Without a header, a column renamed by --columns is named by a header written here;
        // the others are named as the table's columns always are, fld1, fld2, ...
        if (ShapedOptions(m_options).HeaderRow && !m_options.HeaderRow) {
            std::vector<std::string> names;
            for (std::size_t i = 0; i < m_options.Columns.size(); ++i) {
                const auto& name = m_options.Columns[i].name;
                names.push_back(name.empty() ? "fld" + std::to_string(i + 1) : name);
            }
            sendNames(names);
        }
    }
    if (m_found && !blank && m_count != m_expected) {
        // Its chosen fields go into the table, a missing one as NULL, unless the options leave
        // such records out.
        m_notes.ragged.add(m_line);
        if (m_options.Ragged == RaggedMode::Fail) {
            m_notes.stopped = true;
        }
        if (m_options.Ragged == RaggedMode::Fail || m_options.Ragged == RaggedMode::Skip) {
            m_leftOut = true;
            return;
        }
    }
    sendRow(blank);
}

// Finds each chosen field in the header (or the first record, which can only be chosen from by
// position); false when one is not there, which stops the conversion.
template <class Inner>
bool RecordShaper<Inner>::findColumns(bool header) {
    m_found = true;
    m_expected = m_count;
    m_notes.chosenFrom = m_count;
    if (m_holdAll && m_count > kMostColumns) {
        refuse("its header holds more than " + std::to_string(kMostColumns) +
               " names, more than any database takes");
        return false;
    }
    // A name too long to be held in memory is no name --columns can give.
    std::vector<std::string> names;
    if (m_holdAll) {
        for (std::size_t k = 0; k < m_count; ++k) {
            const Field& field = *m_fields[k];
            names.emplace_back(field.value.inMemory() ? field.value.memory() : "");
        }
    }
    m_sources.clear();
    for (const auto& chosen : m_options.Columns) {
        std::size_t source = 0;
        if (chosen.position > 0) {
            if (chosen.position > m_count) {
                refuse("--columns names field " + std::to_string(chosen.position) + ", but " +
                       (header ? "its header names " : "its first record has ") +
                       std::to_string(m_count) + " fields");
                return false;
            }
            source = chosen.position - 1;
        } else if (!header) {
            refuse("--columns names the field '" + chosen.field +
                   "', but the file has no header to name it");
            return false;
        } else {
            source = FieldNamed(names, chosen.field);
            if (source == names.size()) {
                refuse("its header names no field '" + chosen.field + "' (--columns)");
                return false;
            }
        }
        m_sources.push_back(source);
    }
    m_held = m_sources;
    sortHeld();
    return true;
}

// With --columns: the record's chosen fields, a missing one NULL.
template <class Inner>
void RecordShaper<Inner>::sendRow(bool blank) {
    m_inner.beginRecord(m_line, m_firstByte);
    for (const auto source : m_sources) {
        if (source < m_count) {
            sendField(heldField(source));
        } else {
            m_inner.nullField();
        }
    }
    finishRow(blank);
}

// The row's key and a quote left open, then its end, to the handler.
template <class Inner>
void RecordShaper<Inner>::finishRow(bool blank) {
    if constexpr (requires { m_inner.rowKey(std::string_view()); }) {
        if (m_keyed && !blank && keyOf(m_key)) {
            m_inner.rowKey(m_key);
        }
    }
    if constexpr (requires { m_inner.quoteLeftOpen(std::uint64_t{}); }) {
        if (m_openQuoteLine != 0) {
            m_inner.quoteLeftOpen(std::exchange(m_openQuoteLine, 0));
        }
    }
    m_inner.endRecord(blank);
}

// The row's key as one text (each value's length and bytes); false when a key value is NULL or
// too long to be held in memory, so the row conflicts with none before it.
template <class Inner>
bool RecordShaper<Inner>::keyOf(std::string& key) {
    key.clear();
    if constexpr (requires { m_inner.conflictColumns(); }) {
        const auto& columns = m_inner.conflictColumns();
        for (std::size_t j = 0; j < columns.size(); ++j) {
            std::string_view bytes;
            if (m_choose) {
                const std::size_t source = m_sources[columns[j]];
                if (source >= m_count) {
                    return false;
                }
                const Field& field = heldField(source);
                if (isNull(field) || !field.value.inMemory()) {
                    return false;
                }
                bytes = field.value.memory();
            } else if (j < m_keyHeld.size() && m_keyHeld[j] != 0) {
                bytes = m_keyParts[j];
            } else {
                return false;
            }
            key += std::to_string(bytes.size());
            key += ':';
            key += bytes;
        }
        return !key.empty();
    } else {
        return false;
    }
}

}  // namespace quarrytab::detail
