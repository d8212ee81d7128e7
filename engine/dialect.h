// What each SQL dialect writes: names, column type, transaction words and string literals. Every
// statement path takes its literal rules from here, so a change of quoting reaches all of them.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "engine/options.h"

namespace quarrytab {

// A byte that a string literal cannot hold as it is, and what stands for it instead.
struct LiteralEscape {
    char byte;
    std::string_view text;
};

// The one escape every dialect shares: a single quote inside a literal is doubled.
inline constexpr LiteralEscape kQuoteEscape{'\'', "''"};

struct DialectRules {
    std::string_view identifierQuote;  // the default quote around table and column names
    std::string_view columnType;       // a type that holds any value
    std::string_view begin;            // starts a transaction
    std::string_view commit;
    std::string_view rollback;
    std::span<const LiteralEscape> escapes;  // inside '...'; the quote itself is the first
    std::size_t maxRowsPerInsert;
};

const DialectRules& RulesOf(Dialect dialect);

// Appends `value` as a string literal of the dialect: in single quotes, each escape applied.
// SQLite cannot read a NUL byte inside a literal, so such a value is written as a blob of its
// bytes cast to text.
void AppendLiteral(std::string& out, std::string_view value, Dialect dialect);

// The most bytes a literal of a value of `size` bytes takes in any dialect: every byte escaped
// in two, or the blob form "CAST(X'...' AS TEXT)".
constexpr std::size_t LiteralBound(std::size_t size) {
    return 2 * size + 17;
}

// Writes the literal AppendLiteral appends at `out`, which has room for LiteralBound bytes;
// returns the end of what it wrote.
char* WriteLiteral(char* out, std::string_view value, Dialect dialect);

// Writes a line's values as the classic (quote-doubling) literals, "'a','b'", cutting it at every
// single-byte delimiter in one pass, sixteen bytes at a time where the processor allows. A quote
// used as the delimiter splits, as the general path does, because the delimiter is tested first.
// `out` has room for LineAsLiteralsBound bytes; returns the end of what was written.
char* WriteLineAsLiterals(char* out, std::string_view line, char delimiter);

// Worst case: every byte a delimiter, which turns into three bytes; the sixteen-byte steps may
// write up to sixteen bytes past the end.
constexpr std::size_t LineAsLiteralsBound(std::size_t size) {
    return 3 * size + 2 + 16;
}

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

}  // namespace quarrytab
