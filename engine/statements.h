// Where statements go, and the parts of them every conversion shares: the table's name in its
// quotes and the CREATE TABLE.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/options.h"

namespace quarrytab {

// Bytes written in place as they come, grown without being filled first, so only the bytes
// written are ever touched.
class PieceBuffer {
  public:
    // Room for at least `more` bytes after those held.
    char* room(std::size_t more);
    void add(std::size_t size) { m_size += size; }
    std::string_view bytes() const { return std::string_view(m_data.get(), m_size); }
    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_room; }
    void clear() { m_size = 0; }
    void release() {
        m_data.reset();
        m_room = m_size = 0;
    }

  private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_room = 0;
    std::size_t m_size = 0;
};

// Receives each statement as soon as it is complete; the text is valid during the call only.
class StatementSink {
  public:
    StatementSink() = default;
    // A copy of a sink starts with no statement being written.
    StatementSink(const StatementSink&) {}
    StatementSink& operator=(const StatementSink&) { return *this; }
    virtual ~StatementSink() = default;
    virtual void statement(std::string_view text) = 0;

    // A statement may also be written in place, piece by piece: `reserve` lends room for at least
    // `size` more bytes of the statement being written, and `commit` says how many of them were
    // written and whether that ends the statement. Room that is lent and not committed is lent
    // again by the next `reserve`, so a piece can be taken back by not committing it. By default
    // the pieces are gathered and the whole statement goes to `statement`; a sink that writes a
    // stream takes each piece as it comes, so no statement need ever be whole in memory.
    virtual char* reserve(std::size_t size);
    virtual void commit(std::size_t size, bool complete = true);

  private:
    PieceBuffer m_pieces;
};

// O + prefix + "_" + base name + C, where every occurrence of C inside the base name is doubled
// so a file name can never close the reference early. The prefix is written as the user typed it
// in the classic statements, and with its closing quotes doubled too under the rules for
// real-world files.
std::string TableReference(const ConversionOptions& options, std::string_view baseName);

// The table's name without its quotes: prefix, "_" and base name, fitted to the dialect
// (FittedName) under the rules for real-world files.
std::string TableName(const ConversionOptions& options, std::string_view baseName);

// Writes "CREATE TABLE reference (name1 type,name2 type,...)" and `ending` to the sink in
// pieces, so a table of millions of columns is never whole in memory; `name(k, out)` appends
// the name of column k (from 0).
void WriteCreateTable(StatementSink& sink, std::string_view reference, std::size_t columns,
                      const std::function<void(std::size_t, std::string&)>& name,
                      std::string_view type, std::string_view ending);

// The classic CREATE TABLE: `columns` text columns named fld1, fld2, ... in the user's quotes.
void WriteClassicCreateTable(StatementSink& sink, const ConversionOptions& options,
                             std::string_view reference, std::size_t columns);

// True when the line holds nothing but space characters (a TAB is not a space here).
bool IsBlankLine(std::string_view line);

}  // namespace quarrytab
