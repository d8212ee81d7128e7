#include "engine/dialect.h"

#include <algorithm>

namespace quarrytab {

namespace {

constexpr LiteralEscape kQuoteOnly[] = {kQuoteEscape};
// MySQL and MariaDB read a backslash as an escape inside literals, and write NUL as \0.
constexpr LiteralEscape kMysqlEscapes[] = {kQuoteEscape, {'\\', "\\\\"}, {'\0', "\\0"}};

constexpr DialectRules kClassic{"'",        "text", "BEGIN TRANSACTION", "COMMIT", "ROLLBACK",
                                kQuoteOnly, 1000};
constexpr DialectRules kSqlite{"\"",       "TEXT", "BEGIN TRANSACTION", "COMMIT", "ROLLBACK",
                               kQuoteOnly, 1000};
constexpr DialectRules kPostgres{"\"", "TEXT", "BEGIN", "COMMIT", "ROLLBACK", kQuoteOnly, 1000};
constexpr DialectRules kMysql{"`",           "LONGTEXT", "START TRANSACTION", "COMMIT", "ROLLBACK",
                              kMysqlEscapes, 1000};

void AppendHex(std::string& out, std::string_view bytes) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0xF];
    }
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

void AppendLiteral(std::string& out, std::string_view value, Dialect dialect) {
    if (dialect == Dialect::Sqlite && value.find('\0') != std::string_view::npos) {
        out += "CAST(X'";
        AppendHex(out, value);
        out += "' AS TEXT)";
        return;
    }
    const auto escapes = RulesOf(dialect).escapes;
    out += '\'';
    for (;;) {
        const auto hit = std::find_if(value.begin(), value.end(), [&](char c) {
            return std::any_of(escapes.begin(), escapes.end(),
                               [c](const LiteralEscape& e) { return e.byte == c; });
        });
        if (hit == value.end())
            break;
        const auto upTo = static_cast<std::size_t>(hit - value.begin());
        out.append(value.data(), upTo);
        for (const auto& escape : escapes)
            if (escape.byte == *hit)
                out += escape.text;
        value.remove_prefix(upTo + 1);
    }
    out += value;
    out += '\'';
}

bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p != end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int more = 0;
        unsigned low = 0x80, high = 0xBF;  // the allowed range of the second byte
        if (*p >= 0xC2 && *p <= 0xDF) {
            more = 1;
        } else if (*p >= 0xE0 && *p <= 0xEF) {
            more = 2;
            if (*p == 0xE0)
                low = 0xA0;
            if (*p == 0xED)
                high = 0x9F;
        } else if (*p >= 0xF0 && *p <= 0xF4) {
            more = 3;
            if (*p == 0xF0)
                low = 0x90;
            if (*p == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (end - p <= more || p[1] < low || p[1] > high)
            return false;
        for (int k = 2; k <= more; ++k)
            if ((p[k] & 0xC0) != 0x80)
                return false;
        p += more + 1;
    }
    return true;
}

}  // namespace quarrytab
