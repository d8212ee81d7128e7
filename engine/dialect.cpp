#include "engine/dialect.h"

namespace quarrytab {

namespace {

constexpr LiteralEscape kQuoteOnly[] = {kQuoteEscape};
// MySQL and MariaDB read a backslash as an escape inside literals, and write NUL as \0. Their
// command-line client turns CR LF into LF even inside literals, and Windows clients stop at
// Ctrl-Z, so line breaks and Ctrl-Z are written as escapes too (which keeps each statement on
// one line).
constexpr LiteralEscape kMysqlEscapes[] = {kQuoteEscape,  {'\\', "\\\\"}, {'\0', "\\0"},
                                           {'\r', "\\r"}, {'\n', "\\n"},  {'\x1A', "\\Z"}};

constexpr DialectRules kClassic{"'",        "text", "BEGIN TRANSACTION", "COMMIT", "ROLLBACK",
                                kQuoteOnly, 1000};
constexpr DialectRules kSqlite{"\"",       "TEXT", "BEGIN TRANSACTION", "COMMIT", "ROLLBACK",
                               kQuoteOnly, 1000};
constexpr DialectRules kPostgres{"\"", "TEXT", "BEGIN", "COMMIT", "ROLLBACK", kQuoteOnly, 1000};
constexpr DialectRules kMysql{"`",           "LONGTEXT", "START TRANSACTION", "COMMIT", "ROLLBACK",
                              kMysqlEscapes, 1000};

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
