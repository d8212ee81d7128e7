// The statements of one file's records under the rules for real-world files: column names from
// a header, NULLs, ragged records, several rows per INSERT, a transaction, a dialect.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dialect.h"
#include "engine/file_notes.h"
#include "engine/options.h"
#include "engine/records.h"
#include "engine/statements.h"

namespace quarrytab {

class RecordStatements {
  public:
    RecordStatements(const ConversionOptions& options, std::string_view baseName,
                     StatementSink& sink, FileNotes& notes);

    // False when the conversion must stop here (a ragged record under RaggedMode::Fail).
    bool add(const Record& record);
    // Writes what is still pending, then ends the transaction: COMMIT when the file was read
    // to its end, ROLLBACK when it was not.
    void finish(bool complete);

  private:
    void put(std::string_view statement);
    void createTable();
    void insert(const Record& record);
    void flushInsert();
    char* pendingRoom(std::size_t more);
    bool onePass(const Record& record);
    char* startRow(char* out);
    void endRow(char* out, std::size_t fields);
    void appendName(std::string& out, std::string_view name) const;

    const ConversionOptions& m_options;
    const DialectRules& m_rules;
    StatementSink& m_sink;
    FileNotes& m_notes;
    std::string m_reference;   // the table's quoted name
    std::string m_insertHead;  // "INSERT INTO t (names) VALUES "
    std::string m_ending;      // ";" or ""
    std::string m_statement;
    // An INSERT still taking rows, written in place: room is grown without filling it first.
    std::unique_ptr<char[]> m_pending;
    std::size_t m_pendingSize = 0;
    std::size_t m_pendingRoom = 0;
    std::size_t m_pendingRows = 0;
    std::size_t m_pendingFields = 0;
    std::size_t m_rowsPerInsert;
    std::vector<std::string> m_names;
    bool m_first = true;
    bool m_began = false;
};

// Column names from a header record: an empty name becomes fldK, a repeated one (compared
// without regard to ASCII case, as most databases do) gets _2, _3, ...
std::vector<std::string> ColumnNames(const std::vector<std::string_view>& header);

}  // namespace quarrytab
