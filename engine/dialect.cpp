#include "engine/dialect.h"

namespace quarrytab {

namespace {

constexpr LiteralEscape kQuoteOnly[] = {kQuoteEscape};
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

constexpr DialectRules kClassic{
    "'", "text", "BEGIN TRANSACTION", "COMMIT", "ROLLBACK", kQuoteOnly, 1000, {}, {}};
constexpr DialectRules kSqlite{
    "\"", "TEXT", "BEGIN TRANSACTION", "COMMIT", "ROLLBACK", kSqliteEscapes, 1000, {}, {}};
constexpr DialectRules kPostgres{"\"",       "TEXT", "BEGIN",        "COMMIT", "ROLLBACK",
                                 kQuoteOnly, 1000,   kPostgresSetup, {}};
constexpr DialectRules kMysql{"`",      "LONGTEXT",  "START TRANSACTION",
                              "COMMIT", "ROLLBACK",  kMysqlEscapes,
                              1000,     kMysqlSetup, kMysqlTable};

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

}  // namespace quarrytab
