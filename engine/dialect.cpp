#include "engine/dialect.h"

#include <algorithm>

#include "engine/utf8.h"

namespace quarrytab {

namespace {

constexpr LiteralEscape kQuoteOnly[] = {kQuoteEscape};
// PostgreSQL stores no NUL, and psql cuts a line at a raw one, which would join the rest of the
// statement to the next line and shift its quotes: a NUL is written as chr(0), which the server
// refuses, so the statement fails as a whole and nothing after the NUL is read as SQL.
constexpr LiteralEscape kPostgresEscapes[] = {kQuoteEscape, {'\0', "'||chr(0)||'"}};
// The sqlite3 shell reads its input line by line and drops the CR of every CR LF, even inside a
// literal: a CR is written as a character of its own, joined to the rest of the literal.
constexpr LiteralEscape kSqliteEscapes[] = {kQuoteEscape, {'\r', "'||char(13)||'"}};
// MySQL and MariaDB read a backslash as an escape inside literals, and write NUL as \0. Their
// command-line client turns CR LF into LF even inside literals, and Windows clients stop at
// Ctrl-Z, so line breaks and Ctrl-Z are written as escapes too (which keeps each statement on
// one line).
constexpr LiteralEscape kMysqlEscapes[] = {kQuoteEscape,  {'\\', "\\\\"}, {'\0', "\\0"},
                                           {'\r', "\\r"}, {'\n', "\\n"},  {'\x1A', "\\Z"}};

// The statements are UTF-8 whatever the client's own character set. MySQL's client takes its
// character set from the locale (utf8mb3 under C.UTF-8, which has no room for emoji) and a server
// may run with NO_BACKSLASH_ESCAPES, which would store the escapes above as they are written; the
// table holds every character and compares values byte for byte.
constexpr std::string_view kMysqlSetup =
    "SET NAMES utf8mb4, sql_mode = TRIM(BOTH ',' FROM REPLACE(CONCAT(',', @@sql_mode, ','), "
    "',NO_BACKSLASH_ESCAPES,', ','))";
constexpr std::string_view kMysqlTable = " CHARACTER SET utf8mb4 COLLATE utf8mb4_bin";
constexpr std::string_view kPostgresSetup = "SET client_encoding TO 'UTF8'";

// MariaDB and MySQL (InnoDB, 16 KiB pages) refuse a table of more LONGTEXT columns: "Row size too
// large".
constexpr std::size_t kMysqlMostColumns = 383;

constexpr DialectRules kClassic{"'",      "text",     "BEGIN TRANSACTION",
                                "COMMIT", "ROLLBACK", kQuoteOnly,
                                1000,     {},         {},
                                0,        0,          0,
                                false,    true,       false,
                                true,     false};
constexpr DialectRules kSqlite{"\"",     "TEXT",     "BEGIN TRANSACTION",
                               "COMMIT", "ROLLBACK", kSqliteEscapes,
                               1000,     {},         {},
                               0,        0,          2000,
                               false,    false,      false,
                               true,     false};
constexpr DialectRules kPostgres{
    "\"", "TEXT",         "BEGIN", "COMMIT", "ROLLBACK", kPostgresEscapes,
    1000, kPostgresSetup, {},      63,       0,          1600,
    true, false,          false,   true,     false};
constexpr DialectRules kMysql{"`",      "LONGTEXT",  "START TRANSACTION",
                              "COMMIT", "ROLLBACK",  kMysqlEscapes,
                              1000,     kMysqlSetup, kMysqlTable,
                              0,        64,          kMysqlMostColumns,
                              true,     false,       true,
                              false,    true};

// The length of the UTF-8 sequence a byte starts: 1 for ASCII and for a byte that starts none.
std::size_t SequenceLength(unsigned char byte) {
    const auto need = detail::Utf8LeadOf(byte).need;
    return need < 0 ? 1 : static_cast<std::size_t>(need) + 1;
}

// Well-formed UTF-8 by the rule the literal writer checks values with.
bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = detail::Utf8LeadOf(static_cast<unsigned char>(text[i]));
        const auto length = SequenceLength(static_cast<unsigned char>(text[i]));
        if (lead.need < 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? lead.low : 0x80) || next > (k == 1 ? lead.high : 0xBF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// The code point of the UTF-8 sequence at `at` (the byte itself when it starts none), and its
// length.
char32_t CodePointAt(std::string_view text, std::size_t at, std::size_t& length) {
    const auto byte = static_cast<unsigned char>(text[at]);
    length = std::min(SequenceLength(byte), text.size() - at);
    if (length == 1) {
        return byte;
    }
    char32_t code = byte & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
        code = (code << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    }
    return code;
}

// The base letter MySQL compares a Latin letter as (U+00C0 to U+017F), or 0 for none.
char LatinBase(char32_t code) {
    // U+00C0 to U+00FF, then U+0100 to U+017F; '.' where the character is no plain letter.
    static constexpr std::string_view kLatin1 =
        "aaaaaaaceeeeiiiidnooooo.ouuuuy.s"
        "aaaaaaaceeeeiiiidnooooo.ouuuuy.y";
    static constexpr std::string_view kExtendedA =
        "aaaaaaccccccccddddeeeeeeeeeegggggggghhhhiiiiiiiiii..jjkkklllllll"
        "lllnnnnnnnnnoooooo..rrrrrrssssssssttttttuuuuuuuuuuuuwwyyyzzzzzzs";
    char base = '.';
    if (code >= 0xC0 && code < 0x100) {
        base = kLatin1[code - 0xC0];
    } else if (code >= 0x100 && code < 0x180) {
        base = kExtendedA[code - 0x100];
    }
    return base == '.' ? '\0' : base;
}

}  // namespace

const DialectRules& RulesOf(Dialect dialect) {
    switch (dialect) {
        case Dialect::Sqlite:
            return kSqlite;
        case Dialect::Postgres:
            return kPostgres;
        case Dialect::Mysql:
            return kMysql;
        case Dialect::Classic:
            break;
    }
    return kClassic;
}

std::string FittedName(std::string_view name, Dialect dialect, std::size_t room) {
    const DialectRules& rules = RulesOf(dialect);
    std::string fitted;
    for (const char c : name) {
        // Every CR before an LF goes (a client drops one for each line it reads, and no CR LF
        // may be left for it to find again).
        if (c == '\n' && dialect != Dialect::Classic) {
            fitted.erase(fitted.find_last_not_of('\r') + 1);
        }
        fitted += c;
    }
    if (rules.trailingSpacesRefused) {
        fitted.erase(fitted.find_last_not_of(' ') + 1);
    }
    // Cut at a character's start, so what is left stays UTF-8.
    std::size_t characters = 0;
    for (std::size_t i = 0, length = 0; i < fitted.size(); i += length, ++characters) {
        CodePointAt(fitted, i, length);
        const bool tooManyBytes = rules.maxNameBytes != 0 && i + length + room > rules.maxNameBytes;
        const bool tooManyCharacters =
            rules.maxNameCharacters != 0 && characters + 1 + room > rules.maxNameCharacters;
        if (tooManyBytes || tooManyCharacters) {
            fitted.erase(i);
            if (rules.trailingSpacesRefused) {
                fitted.erase(fitted.find_last_not_of(' ') + 1);
            }
            break;
        }
    }
    return fitted;
}

std::string NameKey(std::string_view name, Dialect dialect, bool quoted) {
    std::string key;
    for (std::size_t i = 0, length = 0; i < name.size(); i += length) {
        char32_t code = CodePointAt(name, i, length);
        if (code >= 'A' && code <= 'Z' && !(quoted && dialect == Dialect::Postgres)) {
            code += 'a' - 'A';
        } else if (dialect == Dialect::Mysql && code >= 0x80) {
            if (const char base = LatinBase(code); base != '\0') {
                code = static_cast<unsigned char>(base);
            } else if ((code >= 0x391 && code <= 0x3A9) || (code >= 0x410 && code <= 0x42F)) {
                code += 0x20;  // Greek and Cyrillic capitals
            } else if (code >= 0x400 && code <= 0x40F) {
                code += 0x50;
            }
        }
        if (code < 0x80 || length > 1) {
            detail::AppendUtf8(key, code);
        } else {
            key += name[i];  // a byte that starts no character stays as it is
        }
    }
    return key;
}

std::string NameRefusal(std::string_view name, Dialect dialect) {
    const DialectRules& rules = RulesOf(dialect);
    if (!rules.takesNul && name.find('\0') != std::string_view::npos) {
        return "a NUL byte";
    }
    if (rules.takesOnlyUtf8Names && !IsUtf8(name)) {
        return "bytes that are not UTF-8";
    }
    if (!rules.takesSupplementary) {
        for (const char c : name) {
            if (static_cast<unsigned char>(c) >= 0xF0) {
                return "a character beyond U+FFFF (an emoji, say)";
            }
        }
    }
    return {};
}

std::string_view DatabaseNameOf(Dialect dialect) {
    switch (dialect) {
        case Dialect::Sqlite:
            return "SQLite";
        case Dialect::Postgres:
            return "PostgreSQL";
        case Dialect::Mysql:
            return "MySQL";
        case Dialect::Classic:
            break;
    }
    return "the database";
}

}  // namespace quarrytab
