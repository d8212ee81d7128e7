#include "engine/record_statements.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

namespace quarrytab {

namespace {

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

// PostgreSQL's text holds neither NUL nor invalid UTF-8; MySQL's utf8mb4 no invalid UTF-8.
bool Storable(std::string_view value, Dialect dialect) {
    if (dialect == Dialect::Postgres)
        return value.find('\0') == std::string_view::npos && IsValidUtf8(value);
    if (dialect == Dialect::Mysql)
        return IsValidUtf8(value);
    return true;
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

RecordStatements::RecordStatements(const ConversionOptions& options, std::string_view baseName,
                                   StatementSink& sink, FileNotes& notes)
    : m_options(options),
      m_rules(RulesOf(options.SqlDialect)),
      m_sink(sink),
      m_notes(notes),
      m_reference(TableReference(options, baseName)),
      m_ending(options.IncludeSemicolon ? ";" : ""),
      m_rowsPerInsert(std::clamp<std::size_t>(options.RowsPerInsert, 1, m_rules.maxRowsPerInsert)) {
    m_insertHead = "INSERT INTO " + m_reference + " VALUES ";
}

void RecordStatements::appendName(std::string& out, std::string_view name) const {
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

void RecordStatements::put(std::string_view statement) {
    if (m_options.Transaction && !m_began) {
        m_began = true;
        m_sink.statement(std::string(m_rules.begin) + m_ending);
    }
    m_sink.statement(statement);
}

bool RecordStatements::add(const Record& record) {
    if (m_first) {
        m_first = false;
        m_notes.expectedFields = std::max<std::size_t>(1, record.fields.size());
        if (m_options.HeaderRow) {
            m_names = ColumnNames(record.fields);
            if (!std::all_of(m_names.begin(), m_names.end(), [&](const std::string& name) {
                    return Storable(name, m_options.SqlDialect);
                }))
                m_notes.unstorable.add(record.line);
            if (m_options.Mode == StatementMode::InsertOnly) {
                m_insertHead = "INSERT INTO " + m_reference + " (";
                for (std::size_t k = 0; k < m_names.size(); ++k) {
                    if (k > 0)
                        m_insertHead += ',';
                    appendName(m_insertHead, m_names[k]);
                }
                m_insertHead += ") VALUES ";
            }
        }
        if (m_options.Mode == StatementMode::CreateAndInsert)
            createTable();
        if (m_options.HeaderRow)
            return true;
    }
    if (record.blank)
        return true;
    if (record.fields.size() != m_notes.expectedFields) {
        m_notes.ragged.add(record.line);
        if (m_options.Ragged == RaggedMode::Fail) {
            m_notes.stopped = true;
            return false;
        }
        if (m_options.Ragged == RaggedMode::Skip)
            return true;
    }
    insert(record);
    return true;
}

void RecordStatements::createTable() {
    m_statement = "CREATE TABLE " + m_reference + " (";
    for (std::size_t k = 0; k < m_notes.expectedFields; ++k) {
        if (k > 0)
            m_statement += ',';
        if (m_options.HeaderRow) {
            appendName(m_statement, m_names[k]);
        } else {
            m_statement += m_options.DelimitingChar;
            m_statement += "fld" + std::to_string(k + 1);
            m_statement += m_options.ClosingDelimitingChar;
        }
        m_statement += ' ';
        m_statement += m_rules.columnType;
    }
    m_statement += ')';
    m_statement += m_ending;
    put(m_statement);
}

void RecordStatements::insert(const Record& record) {
    std::size_t fields = record.fields.size();
    const bool pad = m_options.Ragged == RaggedMode::Pad && fields < m_notes.expectedFields;
    if (pad)
        fields = m_notes.expectedFields;
    if (m_pendingRows > 0 && fields != m_pendingFields)
        flushInsert();
    if (!pad && onePass(record)) {
        char* out = pendingRoom(m_insertHead.size() + 3 +
                                LineAsLiteralsBound(record.plainLine.size()) + m_ending.size());
        out = startRow(out);
        out = WriteLineAsLiterals(out, record.plainLine, record.delimiter);
        *out++ = ')';
        endRow(out, fields);
        return;
    }
    // The row is written in place into room for its longest form.
    std::size_t most = m_insertHead.size() + 3 + 5 * fields + m_ending.size();
    for (const auto field : record.fields) most += LiteralBound(field.size());
    char* out = startRow(pendingRoom(most));
    bool unstorable = false;
    for (std::size_t k = 0; k < fields; ++k) {
        if (k > 0)
            *out++ = ',';
        const bool present = k < record.fields.size();
        if (!present || (m_options.EmptyAsNull && record.fields[k].empty() && !record.quoted[k])) {
            std::memcpy(out, "NULL", 4);
            out += 4;
            continue;
        }
        unstorable |= !Storable(record.fields[k], m_options.SqlDialect);
        out = WriteLiteral(out, record.fields[k], m_options.SqlDialect);
    }
    *out++ = ')';
    if (unstorable)
        m_notes.unstorable.add(record.line);
    endRow(out, fields);
}

// A row that is a plain line with nothing in its values that needs a look of its own: no
// empty field to make NULL, and only the quote to escape. A database's storage rules hold for
// the line as they do for each value, since a delimiter below 0x80 cannot split a character.
bool RecordStatements::onePass(const Record& record) {
    if (record.plainLine.empty() || m_options.EmptyAsNull || m_rules.escapes.size() != 1 ||
        static_cast<unsigned char>(record.delimiter) >= 0x80)
        return false;
    const bool hasNul = record.plainLine.find('\0') != std::string_view::npos;
    switch (m_options.SqlDialect) {
        case Dialect::Sqlite:
            return !hasNul;  // a NUL makes its value a blob
        case Dialect::Postgres:
            if (hasNul || !IsValidUtf8(record.plainLine))
                m_notes.unstorable.add(record.line);
            return true;
        case Dialect::Classic:
        case Dialect::Mysql:
            break;
    }
    return true;
}

char* RecordStatements::startRow(char* out) {
    if (m_pendingRows == 0) {
        std::memcpy(out, m_insertHead.data(), m_insertHead.size());
        out += m_insertHead.size();
    } else {
        *out++ = ',';
    }
    *out++ = '(';
    return out;
}

void RecordStatements::endRow(char* out, std::size_t fields) {
    m_pendingSize = static_cast<std::size_t>(out - m_pending.get());
    ++m_pendingRows;
    m_pendingFields = fields;
    if (m_pendingRows >= m_rowsPerInsert || m_pendingSize >= kInsertSizeLimit)
        flushInsert();
}

char* RecordStatements::pendingRoom(std::size_t more) {
    if (m_pendingSize + more > m_pendingRoom) {
        m_pendingRoom = std::max(m_pendingSize + more, 2 * m_pendingRoom);
        auto larger = std::make_unique_for_overwrite<char[]>(m_pendingRoom);
        if (m_pendingSize > 0)
            std::memcpy(larger.get(), m_pending.get(), m_pendingSize);
        m_pending = std::move(larger);
    }
    return m_pending.get() + m_pendingSize;
}

void RecordStatements::flushInsert() {
    if (m_pendingRows == 0)
        return;
    // The room for the row left space for the ending.
    std::memcpy(m_pending.get() + m_pendingSize, m_ending.data(), m_ending.size());
    put(std::string_view(m_pending.get(), m_pendingSize + m_ending.size()));
    m_pendingRows = 0;
    m_pendingSize = 0;
}

void RecordStatements::finish(bool complete) {
    flushInsert();
    if (m_began)
        m_sink.statement(std::string(complete ? m_rules.commit : m_rules.rollback) + m_ending);
}

}  // namespace quarrytab
