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
    // The names the database takes: at most this many bytes (PostgreSQL cuts longer ones) or
    // characters (MySQL refuses them), and this many columns in a table; 0: no limit.
    std::size_t maxNameBytes;
    std::size_t maxNameCharacters;
    std::size_t maxColumns;
    bool takesOnlyUtf8Names;     // PostgreSQL and MySQL
    bool takesNul;               // a NUL byte in a name
    bool trailingSpacesRefused;  // MySQL refuses a name that ends in a space
    bool takesSupplementary;     // characters beyond U+FFFF (MySQL takes none in a name)
    // A CREATE or DROP TABLE commits the open transaction (MySQL): the table definition goes
    // before the transaction starts, or the INSERTs after it would each commit on their own.
    bool definitionsCommit;
};

const DialectRules& RulesOf(Dialect dialect);

// A name made one the database takes as it is, where that keeps it recognisable: a line break
// written as LF (the clients of SQLite and MySQL drop the CR of a CR LF), trailing spaces dropped
// where they are refused, and cut to the longest name, leaving `room` bytes for a suffix.
std::string FittedName(std::string_view name, Dialect dialect, std::size_t room = 0);

// Two names the database takes for the same one have the same key: ASCII letters without case
// (but for a `quoted` PostgreSQL name, where "V" and "v" are two names), and for MySQL, which
// compares names without case or accents, Latin, Greek and Cyrillic letters folded too (a few
// more names are taken as the same than MySQL would).
std::string NameKey(std::string_view name, Dialect dialect, bool quoted = true);

// Why the database cannot take the name even once fitted; empty when it can.
std::string NameRefusal(std::string_view name, Dialect dialect);

// The database's name, for messages.
std::string_view DatabaseNameOf(Dialect dialect);

}  // namespace quarrytab
