// What each SQL dialect writes: names, column type, transaction words and the escapes inside
// string literals.
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
    // A statement that goes before a file's first one, so the statements mean the same whatever
    // the session's settings were; empty: none.
    std::string_view setup;
    std::string_view tableOptions;  // written after a CREATE TABLE's column list
};

const DialectRules& RulesOf(Dialect dialect);

}  // namespace quarrytab
