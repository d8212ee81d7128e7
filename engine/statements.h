// SQL statement text: an optional CREATE TABLE from a file's first line, then one INSERT INTO per
// non-blank line, every value a quoted literal.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/options.h"

namespace quarrytab {

// Receives each statement as soon as it is complete; the text is valid during the call only.
class StatementSink {
  public:
    virtual ~StatementSink() = default;
    virtual void statement(std::string_view text) = 0;

    // A sink may lend room to build the next statement in place, which saves copying it:
    // `reserve` gives space for at least `size` bytes or nullptr, and `commit` then tells how
    // many bytes the statement holds. The statement is complete when `commit` is called.
    virtual char* reserve(std::size_t size) {
        (void)size;
        return nullptr;
    }
    virtual void commit(std::size_t size) { (void)size; }
};

// O + prefix + "_" + base name + C, where every occurrence of C inside the base name is doubled
// so a file name can never close the reference early. The prefix is written as the user typed it.
std::string TableReference(const ConversionOptions& options, std::string_view baseName);

// Makes the statements of one file, line by line, in order.
class StatementGenerator {
  public:
    StatementGenerator(const ConversionOptions& options, std::string_view baseName);

    void addLine(std::string_view line, StatementSink& sink);

  private:
    void appendCreateTable(std::string_view line);
    void appendInsert(std::string_view line);
    void makeInsertSingleByteDelimiter(std::string_view line, char delimiter, StatementSink& sink);

    const ConversionOptions& m_options;
    std::string m_createHead;  // "CREATE TABLE " + reference + " ("
    std::string m_insertHead;  // "INSERT INTO " + reference + " VALUES ("
    std::string m_ending;      // ";" or ""
    std::string m_statement;   // reused for every statement
    // Room for the single-byte-delimiter INSERT, reused. Left uninitialised: only the bytes a
    // statement writes are ever touched, so a huge line costs memory for what it produces.
    std::unique_ptr<char[]> m_scratch;
    std::size_t m_scratchSize = 0;
    bool m_firstLine = true;
};

// True when the line holds nothing but space characters (a TAB is not a space here).
bool IsBlankLine(std::string_view line);

// Appends a value as a SQL string literal: in single quotes, each quote inside doubled.
void AppendQuotedValue(std::string& out, std::string_view value);

}  // namespace quarrytab
