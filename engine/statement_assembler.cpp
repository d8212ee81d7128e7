#include "engine/statement_assembler.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <utility>

namespace quarrytab::detail {

namespace {

// An INSERT that has grown this large takes no more rows, so no statement outgrows what
// database clients accept in one piece.
constexpr std::size_t kInsertSizeLimit = 1 << 20;

// A text as a string literal of the dialect, with its escapes.
std::string StringLiteral(std::string_view text, const DialectRules& rules) {
    std::string literal = "'";
    for (const char c : text) {
        const auto escape = std::find_if(rules.escapes.begin(), rules.escapes.end(),
                                         [c](const LiteralEscape& e) { return e.byte == c; });
        literal += escape == rules.escapes.end() ? std::string(1, c) : std::string(escape->text);
    }
    return literal + "'";
}

}  // namespace

std::string HeaderPastLimit() {
    return "its header holds more than " + std::to_string(kMostHeaderNames) + " names or " +
           std::to_string(kMostHeaderBytes >> 20) + " MiB of them, more than any database takes";
}

std::vector<std::string> ColumnNames(const std::vector<std::string_view>& header, Dialect dialect,
                                     bool quoted) {
    std::vector<std::string> names;
    for (std::size_t k = 0; k < header.size(); ++k) {
        std::string name = FittedName(header[k], dialect);
        names.push_back(name.empty() ? "fld" + std::to_string(k + 1) : std::move(name));
    }
    if (names.empty()) {
        names.emplace_back("fld1");
    }
    std::set<std::string> taken;
    for (const auto& name : names) {
        taken.insert(NameKey(name, dialect, quoted));
    }
    std::set<std::string> seen;
    // The suffix each repeated name tries next: the ones below it were taken when it last looked,
    // and stay taken, so a header of many equal names costs no more than one of distinct names.
    std::map<std::string, int> nextSuffix;
    for (auto& name : names) {
        const std::string key = NameKey(name, dialect, quoted);
        if (seen.insert(key).second) {
            continue;
        }
        int& next = nextSuffix.try_emplace(key, 2).first->second;
        for (int n = next;; ++n) {
            // The suffix goes within the longest name the database takes.
            const std::string suffix = "_" + std::to_string(n);
            const std::string candidate = FittedName(name, dialect, suffix.size()) + suffix;
            if (taken.insert(NameKey(candidate, dialect, quoted)).second) {
                seen.insert(NameKey(candidate, dialect, quoted));
                name = candidate;
                next = n + 1;
                break;
            }
        }
    }
    return names;
}

StatementAssembler::StatementAssembler(const ConversionOptions& options, std::string_view baseName,
                                       StatementSink& sink, FileNotes& notes, const TablePlan* plan)
    : m_options(options),
      m_plan(plan),
      m_rules(RulesOf(options.SqlDialect)),
      m_sink(sink),
      m_notes(notes),
      m_literal(options),
      m_copy(options.Rows == RowForm::Copy),
      m_otherCut(m_copy || plan != nullptr),
      m_reference(TableReference(options, baseName)),
      m_baseName(baseName),
      m_tableName(TableName(options, baseName)),
      m_insertHead("INSERT INTO " + m_reference + " VALUES "),
      m_ending(options.IncludeSemicolon ? ";" : ""),
      m_rowHead(m_copy ? "" : m_insertHead + "("),
      m_insertTail(m_ending),
      m_rowTail(m_copy ? "" : ")" + m_ending),
      m_rowsPerInsert(
          m_copy ? 1 : std::clamp<std::size_t>(options.RowsPerInsert, 1, m_rules.maxRowsPerInsert)),
      m_directRows(m_rowsPerInsert == 1 &&
                   (options.Ragged == RaggedMode::Keep || options.Ragged == RaggedMode::Pad)) {
    presetConflictColumns();
}

// Without a header the key's columns are fld1, fld2, ..., known before the first record has
// ended, so its key is told with it like every other row's (see RecordShaper::keyOf); the
// first record then checks them against the table's width (planConflict).
void StatementAssembler::presetConflictColumns() {
    if (m_options.Conflict == OnConflict::Fail || m_options.HeaderRow) {
        return;
    }
    const Dialect dialect = m_options.SqlDialect;
    const bool quoted = QuotesNames(m_options);
    for (const auto& wanted : m_options.ConflictKey) {
        const std::string key = NameKey(FittedName(wanted, dialect), dialect, quoted);
        std::size_t position = 0;
        const auto* const digits = key.data() + std::min<std::size_t>(3, key.size());
        const auto [end, error] = std::from_chars(digits, key.data() + key.size(), position);
        if (error != std::errc() || position == 0 ||
            NameKey("fld" + std::to_string(position), dialect, quoted) != key) {
            m_conflict.columns.clear();  // no column of the table: the first record says so
            return;
        }
        m_conflict.columns.push_back(position - 1);
    }
}

void StatementAssembler::endOtherRecord(bool blank) {
    if (m_header) {
        if (stopped()) {
            return;  // the header was refused
        }
        if (blank) {
            m_heldHeader.values.clear();  // a blank line before the header names no column
            m_heldHeader.bytes = 0;
            return;
        }
        endHeader();
        return;
    }
    if (std::exchange(m_first, false)) {
        refreshDirect();
        m_notes.expectedFields = std::max<std::size_t>({1, m_fields, m_options.TableWidth});
        noteFittedNames();
        if (refuseNames() || !planConflict()) {
            dropRecord();
            return;
        }
        if (m_options.Mode == StatementMode::CreateAndInsert) {
            createTable();
        }
    }
    if (blank) {
        dropRecord();  // an empty line: a record without an INSERT
        return;
    }
    if (m_unstorable && m_openQuoteLine != 0) {
        leftOutAsFaulty();  // its value ran on to the end of the file: its width says nothing
        return;
    }
    if (m_fields != m_notes.expectedFields && leftOutAsRagged()) {
        return;
    }
    if (m_unstorable && leftOutAsFaulty()) {
        return;
    }
    ++m_notes.rows;
    if (!m_direct) {
        placeRow();
        return;
    }
    endRow();
}

// A record of another width than the table is noted, and left out (true), stopped at (true) or
// padded with NULLs as the options say.
bool StatementAssembler::leftOutAsRagged() {
    m_notes.ragged.add(m_recordLine);
    if (m_fields > m_notes.expectedFields) {
        m_notes.wider.add(m_recordLine);
    }
    if (m_options.Ragged == RaggedMode::Fail) {
        m_notes.stopped = true;
    }
    if (m_options.Ragged == RaggedMode::Fail || m_options.Ragged == RaggedMode::Skip) {
        m_leftOut = m_options.Ragged == RaggedMode::Skip ? LeftOut::Skipped : LeftOut::Stopped;
        dropRecord();
        return true;
    }
    if (m_options.Ragged == RaggedMode::Pad) {
        for (; m_fields < m_notes.expectedFields; ++m_fields) {
            m_literal.put(m_copy ? "\t" : ",");
            m_literal.putNull();
        }
    }
    return false;
}

// A record holding a value the database cannot store is noted; under tellLeftOut it is left
// out rather than written (its INSERT would fail, and with a transaction the whole file's), and
// so is one whose quote is still open at the end of the file (its value ran on to there; see
// quoteLeftOpen, which marks the record so). True when it is left out.
bool StatementAssembler::leftOutAsFaulty() {
    if (m_openQuoteLine == 0) {
        m_notes.unstorable.add(m_recordLine);
        if (!m_tellLeftOut) {
            return false;
        }
    }
    m_leftOut = m_openQuoteLine != 0 ? LeftOut::OpenQuote : LeftOut::Unstorable;
    dropRecord();
    return true;
}

// Said once the record has ended, before the next begins (its field count is still at hand),
// so the records written pay nothing for the words.
std::string StatementAssembler::takeLeftOut() {
    const auto fields = [&] {
        return std::to_string(m_fields) + (m_fields == 1 ? " field" : " fields") +
               " where the table has " + std::to_string(m_notes.expectedFields);
    };
    std::string why;
    switch (std::exchange(m_leftOut, LeftOut::No)) {
        case LeftOut::No:
            break;
        case LeftOut::Skipped:
            why = fields() + "; left out (--ragged skip)";
            break;
        case LeftOut::Stopped:
            why = fields() + "; the conversion stopped here (--ragged fail)";
            break;
        case LeftOut::Unstorable:
            why = m_options.SqlDialect == Dialect::Postgres
                      ? "a NUL byte or invalid UTF-8, which PostgreSQL cannot store"
                      : "invalid UTF-8, which MySQL cannot store in its text";
            break;
        case LeftOut::OpenQuote:
            why = "a quoted field opened on line " + std::to_string(m_openQuoteLine) +
                  " is still open at the end of the file";
            break;
    }
    return why;
}

// A header name is held until the header ends. A header past kMostHeaderNames names or
// kMostHeaderBytes bytes stops the conversion: no database takes such a table, and its names
// would outgrow the memory the conversion keeps to.
void StatementAssembler::takeHeaderName() {
    m_heldHeader.bytes += m_literal.collectedSize();
    if (m_heldHeader.values.size() < kMostHeaderNames && m_heldHeader.bytes <= kMostHeaderBytes) {
        m_heldHeader.values.push_back(m_literal.collected());
        return;
    }
    m_literal.dropCollected();
    m_heldHeader.values.clear();
    refuse(HeaderPastLimit());
}

// The header's values become the column names: of the CREATE TABLE, or with --insert-only of
// every INSERT.
void StatementAssembler::endHeader() {
    m_header = false;
    m_first = false;
    refreshDirect();
    m_notes.expectedFields = std::max<std::size_t>({1, m_fields, m_options.TableWidth});
    if (m_notes.expectedFields > kMostHeaderNames) {
        refuse(HeaderPastLimit());  // its names past the header's would be held too
        return;
    }
    // A table wider than its header names the other columns fldK.
    std::vector<std::string_view> header(m_heldHeader.values.begin(), m_heldHeader.values.end());
    header.resize(std::max(header.size(), m_notes.expectedFields));
    m_names = ColumnNames(header, m_options.SqlDialect, QuotesNames(m_options));
    noteFittedNames();
    m_heldHeader.values.clear();
    if (refuseNames() || !planConflict()) {
        return;
    }
    if (m_unstorable) {
        m_notes.unstorable.add(m_recordLine);
    }
    if (m_options.Mode == StatementMode::CreateAndInsert) {
        createTable();
        return;
    }
    m_insertHead = "INSERT INTO " + m_reference + " (";
    for (std::size_t k = 0; k < m_names.size(); ++k) {
        if (k > 0) {
            m_insertHead += ',';
        }
        appendName(m_insertHead, m_names[k]);
    }
    m_insertHead += ") VALUES ";
    m_rowHead = m_copy ? "" : m_insertHead + "(";
}

// Says which of the header's names, and whether the table's name, were changed to fit the
// database (cut to its longest name, trailing spaces or a CR before a line break dropped), so
// a user looking for the names in the file knows why they differ.
void StatementAssembler::noteFittedNames() {
    const Dialect dialect = m_options.SqlDialect;
    std::vector<std::size_t> changed;
    for (std::size_t k = 0; k < m_heldHeader.values.size(); ++k) {
        if (FittedName(m_heldHeader.values[k], dialect) != m_heldHeader.values[k]) {
            changed.push_back(k + 1);
        }
    }
    const std::string table = m_options.TableName + "_" + m_baseName;
    const bool tableFitted = m_tableName != table;
    if (changed.empty() && !tableFitted) {
        return;
    }
    std::string what = tableFitted ? "the table's name" : "";
    if (!changed.empty()) {
        what += std::string(tableFitted ? " and " : "") +
                (changed.size() == 1 ? "the name of column " : "the names of columns ");
        for (std::size_t i = 0; i < std::min<std::size_t>(changed.size(), 5); ++i) {
            what += (i > 0 ? ", " : "") + std::to_string(changed[i]);
        }
        if (changed.size() > 5) {
            what += " and " + std::to_string(changed.size() - 5) + " more";
        }
    }
    m_notes.namesFitted = what + " changed to fit " + std::string(DatabaseNameOf(dialect)) +
                          " (cut to the longest name it takes, trailing spaces or a CR before a "
                          "line break dropped)";
}

// Writes a held row: as its own INSERT, or into the INSERT still taking rows.
void StatementAssembler::placeRow() {
    m_literal.commitRoom(false);
    const auto put = [](StatementSink& to, std::string_view text, bool complete) {
        std::memcpy(to.reserve(text.size()), text.data(), text.size());
        to.commit(text.size(), complete);
    };
    if (m_copy) {
        openCopy();
        m_row.replay(m_sink, true);
        return;
    }
    if (m_rowsPerInsert == 1) {
        beginStatements();
        put(m_sink, m_insertHead + "(", false);
        m_row.replay(m_sink, false);
        put(m_sink, m_rowTail, true);
        return;
    }
    // A row of another width starts a new INSERT, so the SQL stays valid; so does a key the
    // INSERT has, which PostgreSQL would not update twice in one statement.
    if (m_pendingRows > 0 &&
        (m_fields != m_pendingFields ||
         (m_conflict.hasRowKey && m_conflict.pendingKeys.contains(m_conflict.rowKey)))) {
        flushInsert();
    }
    if (m_conflict.hasRowKey) {
        m_conflict.pendingKeys.insert(m_conflict.rowKey);
    }
    put(m_pending, m_pendingRows == 0 ? m_insertHead + "(" : ",(", false);
    m_row.replay(m_pending, false);
    put(m_pending, ")", false);
    ++m_pendingRows;
    m_pendingFields = m_fields;
    if (m_pendingRows >= m_rowsPerInsert || m_pending.size() >= kInsertSizeLimit) {
        flushInsert();
    }
}

// Forgets the record's row. A row that has partly gone to the sink is ended instead, so the
// output stays valid SQL.
void StatementAssembler::dropRecord() {
    if (m_direct && m_literal.partSent()) {
        endRow();
    } else {
        m_literal.closeRoom();
    }
    m_row.clear();
}

// What goes before a file's first statement, once: the dialect's setup, so the statements mean
// the same whatever the session's settings were, and BEGIN for a transaction. With `transaction`
// false only the setup: a table definition that commits goes between the two.
void StatementAssembler::beginStatements(bool transaction) {
    if (m_begun) {
        return;
    }
    if (!std::exchange(m_setupWritten, true) && !m_rules.setup.empty()) {
        m_sink.statement(std::string(m_rules.setup) + m_ending);
    }
    if (!transaction) {
        return;
    }
    m_begun = true;
    for (const auto& check : m_conflict.keyCheck) {
        m_sink.statement(check);
    }
    if (m_options.Transaction) {
        m_inTransaction = true;
        m_sink.statement(std::string(m_rules.begin) + m_ending);
    }
    refreshDirect();
}

void StatementAssembler::appendName(std::string& out, std::string_view name) const {
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

// Names the database cannot take, and more columns than it takes, stop the conversion before
// anything of the file is written; true when they do.
bool StatementAssembler::refuseNames() {
    const std::string database(DatabaseNameOf(m_options.SqlDialect));
    std::string why;
    if (const auto what = NameRefusal(m_tableName, m_options.SqlDialect); !what.empty()) {
        why = "its table name holds " + what + ", which " + database + " takes in no name";
    }
    for (std::size_t k = 0; k < m_names.size() && why.empty(); ++k) {
        if (const auto what = NameRefusal(m_names[k], m_options.SqlDialect); !what.empty()) {
            why = "the name of column " + std::to_string(k + 1) + " holds " + what + ", which " +
                  database + " takes in no name";
        }
    }
    // A name written without quotes must be one the SQL reads as a name and nothing more.
    if (why.empty() && !QuotesNames(m_options)) {
        const auto notPlain = [](const std::string& name) {
            return !IsPlainName(name);
        };
        const auto name = std::find_if(m_names.begin(), m_names.end(), notPlain);
        if (notPlain(m_tableName) || name != m_names.end()) {
            why = (notPlain(m_tableName) ? "its table name '" + m_tableName
                                         : "the column name '" + *name) +
                  "' is not a plain name (letters, digits, _), as names written without quotes "
                  "(-q '') must be";
        }
    }
    const auto most = m_rules.maxColumns;
    if (why.empty() && most != 0 && m_notes.expectedFields > most &&
        m_options.Mode == StatementMode::CreateAndInsert) {
        why = std::to_string(m_notes.expectedFields) + " columns, more than " + database +
              " takes in a table (" + std::to_string(most) + ")";
    }
    if (why.empty()) {
        return false;
    }
    refuse(why);
    return true;
}

// What an INSERT's rows do when the table holds their key (--on-conflict), in the dialect's
// words, written after the rows of every INSERT; false when --key names no column, which stops
// the conversion. MySQL's ON DUPLICATE KEY UPDATE k = k leaves the row alone where INSERT
// IGNORE would also let through values the table changes.
bool StatementAssembler::planConflict() {
    if (m_options.Conflict == OnConflict::Fail) {
        return true;
    }
    const Dialect dialect = m_options.SqlDialect;
    const std::size_t width = m_notes.expectedFields;
    m_conflict.columns.clear();
    if (m_options.ConflictKey.empty()) {
        refuse("--on-conflict needs the key's columns (--key)");
        return false;
    }
    const bool quoted = QuotesNames(m_options);
    for (const auto& wanted : m_options.ConflictKey) {
        const std::string key = NameKey(FittedName(wanted, dialect), dialect, quoted);
        std::size_t k = 0;
        while (k < width && NameKey(columnName(k), dialect, quoted) != key) {
            ++k;
        }
        if (k == width) {
            refuse("--key names no column '" + wanted + "' of its table");
            return false;
        }
        m_conflict.columns.push_back(k);
    }
    std::string keys;
    std::string updates;
    for (std::size_t k = 0; k < width; ++k) {
        const bool inKey = std::find(m_conflict.columns.begin(), m_conflict.columns.end(), k) !=
                           m_conflict.columns.end();
        std::string& list = inKey ? keys : updates;
        if (!list.empty()) {
            list += ',';
        }
        std::string name;
        appendName(name, columnName(k));
        if (inKey) {
            list += name;
        } else if (dialect == Dialect::Mysql) {
            list += name + "=VALUES(" + name + ")";
        } else {
            list += name + "=excluded." + name;
        }
    }
    const bool update = m_options.Conflict == OnConflict::Update && !updates.empty();
    std::string clause;
    if (dialect == Dialect::Mysql) {
        std::string first;
        appendName(first, columnName(m_conflict.columns.front()));
        clause = " ON DUPLICATE KEY UPDATE " + (update ? updates : first + "=" + first);
    } else {
        clause =
            " ON CONFLICT (" + keys + ") " + (update ? "DO UPDATE SET " + updates : "DO NOTHING");
    }
    m_insertTail = clause + m_ending;
    m_rowTail = ")" + m_insertTail;
    planKeyCheck();
    return true;
}

// Column k's name as the table has it: the header's, or fldK.
std::string StatementAssembler::columnName(std::size_t k) const {
    return m_options.HeaderRow ? m_names[k] : "fld" + std::to_string(k + 1);
}

// MySQL's ON DUPLICATE KEY acts on whichever unique key a row repeats, not the columns --key
// names, and on a table without a unique key on them it inserts every row again. In a table the
// conversion did not make, the key is checked first: unless its one unique key is on the --key
// columns, a statement naming the fault fails (as an unknown column, which every MySQL and
// MariaDB server reports with its name), and the client stops before any row is loaded.
void StatementAssembler::planKeyCheck() {
    if (m_options.SqlDialect != Dialect::Mysql || (m_options.Mode != StatementMode::InsertOnly &&
                                                   m_options.TableExists != IfExists::Append)) {
        return;
    }
    std::string keys;
    for (const auto k : m_conflict.columns) {
        keys += (keys.empty() ? "" : ",") + StringLiteral(columnName(k), m_rules);
    }
    const std::string n = std::to_string(m_conflict.columns.size());
    m_conflict.keyCheck = {
        "SET @quarrytab_key_check = IF((SELECT COUNT(DISTINCT INDEX_NAME) = 1 AND COUNT(*) = " + n +
            " AND SUM(COLUMN_NAME IN (" + keys + ")) = " + n +
            " FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = DATABASE() AND "
            "TABLE_NAME = " +
            StringLiteral(m_tableName, m_rules) +
            " AND NON_UNIQUE = 0), 'DO 0', 'SELECT `--on-conflict needs --key as the "
            "only unique key of the table`')" +
            m_ending,
        "PREPARE quarrytab_key_check FROM @quarrytab_key_check" + m_ending,
        "EXECUTE quarrytab_key_check" + m_ending,
        "DEALLOCATE PREPARE quarrytab_key_check" + m_ending};
}

// Stops the conversion before anything of the file is written, saying why.
void StatementAssembler::refuse(const std::string& why) {
    m_notes.refused = "line " + std::to_string(m_recordLine) + ": " + why;
    m_notes.stopped = true;
}

void StatementAssembler::createTable() {
    beginStatements(!m_rules.definitionsCommit);
    m_notes.tableMade = true;
    const auto name = [&](std::size_t k, std::string& out) {
        if (m_options.HeaderRow) {
            appendName(out, m_names[k]);
            return;
        }
        out += m_options.DelimitingChar;
        out += "fld" + std::to_string(k + 1);
        out += m_options.ClosingDelimitingChar;
    };
    if (m_plan != nullptr || m_options.TableExists != IfExists::Fail) {
        WriteTableDefinition(m_sink, m_options, m_reference, m_notes.expectedFields, name, m_plan,
                             m_rules.tableOptions, m_ending);
    } else {
        WriteCreateTable(m_sink, m_reference, m_notes.expectedFields, name, m_rules.columnType,
                         std::string(m_rules.tableOptions) + m_ending);
    }
    beginStatements();
}
void StatementAssembler::flushInsert() {
    if (m_pendingRows == 0) {
        return;
    }
    beginStatements();
    std::memcpy(m_pending.reserve(m_insertTail.size()), m_insertTail.data(), m_insertTail.size());
    m_pending.commit(m_insertTail.size(), false);
    m_pending.replay(m_sink, true);
    m_pendingRows = 0;
    m_conflict.pendingKeys.clear();
}

// The COPY line, once, before the first row: it names the header's columns, or those of the
// table it made (fld1, fld2, ...); with --insert-only and no header none, as the INSERTs do.
void StatementAssembler::openCopy() {
    if (std::exchange(m_copyOpen, true)) {
        return;
    }
    beginStatements();
    std::string line = "COPY " + m_reference;
    const std::size_t named = m_options.HeaderRow ? m_names.size()
                              : m_options.Mode == StatementMode::CreateAndInsert
                                  ? m_notes.expectedFields
                                  : 0;
    for (std::size_t k = 0; k < named; ++k) {
        line += k == 0 ? " (" : ",";
        if (m_options.HeaderRow) {
            appendName(line, m_names[k]);
        } else {
            line += m_options.DelimitingChar + "fld" + std::to_string(k + 1) +
                    m_options.ClosingDelimitingChar;
        }
    }
    line += named > 0 ? ") FROM STDIN" : " FROM STDIN";
    m_sink.statement(line + m_ending);
    refreshDirect();
}

void StatementAssembler::finish(bool readToEnd) {
    flushInsert();
    if (m_copyOpen) {
        m_sink.statement("\\.");  // COPY's end of data, before COMMIT
    }
    if (m_inTransaction) {
        m_sink.statement(std::string(readToEnd && !stopped() ? m_rules.commit : m_rules.rollback) +
                         m_ending);
    }
}

}  // namespace quarrytab::detail
