#include "engine/dialect.h"

#include <algorithm>
#include <bit>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif
#include <cstring>

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

char* WriteLiteral(char* out, std::string_view value, Dialect dialect) {
    const auto put = [&out](std::string_view text) {
        std::memcpy(out, text.data(), text.size());
        out += text.size();
    };
    if (dialect == Dialect::Sqlite && value.find('\0') != std::string_view::npos) {
        put("CAST(X'");
        constexpr char kDigits[] = "0123456789ABCDEF";
        for (const char c : value) {
            const auto byte = static_cast<unsigned char>(c);
            *out++ = kDigits[byte >> 4];
            *out++ = kDigits[byte & 0xF];
        }
        put("' AS TEXT)");
        return out;
    }
    const auto escapes = RulesOf(dialect).escapes;
    *out++ = '\'';
    if (escapes.size() == 1 && escapes[0].byte == kQuoteEscape.byte) {
        // The quote alone, whose escape doubles it: copy each byte, and a quote once more.
        static_assert(kQuoteEscape.text.size() == 2 && kQuoteEscape.text[0] == kQuoteEscape.byte &&
                      kQuoteEscape.text[1] == kQuoteEscape.byte);
        for (const char c : value) {
            *out++ = c;
            if (c == kQuoteEscape.byte)
                *out++ = c;
        }
    } else {
        for (const char c : value) {
            const auto escape = std::find_if(escapes.begin(), escapes.end(),
                                             [c](const LiteralEscape& e) { return e.byte == c; });
            if (escape != escapes.end())
                put(escape->text);
            else
                *out++ = c;
        }
    }
    *out++ = '\'';
    return out;
}

void AppendLiteral(std::string& out, std::string_view value, Dialect dialect) {
    const auto size = out.size();
    out.resize(size + LiteralBound(value.size()));
    out.resize(
        static_cast<std::size_t>(WriteLiteral(out.data() + size, value, dialect) - out.data()));
}

char* WriteLineAsLiterals(char* out, std::string_view line, char delimiter) {
    constexpr char quote = kQuoteEscape.byte;
    static_assert(kQuoteEscape.text.size() == 2);
    const auto special = [delimiter](char c, char*& to) {
        if (c == delimiter) {
            to[0] = quote;
            to[1] = ',';
            to[2] = quote;
            to += 3;
        } else {
            to[0] = kQuoteEscape.text[0];
            to[1] = kQuoteEscape.text[1];
            to += 2;
        }
    };
    *out++ = quote;
    const char* in = line.data();
    const char* const end = in + line.size();
#if defined(__SSE2__) || defined(_M_X64)
    // Sixteen bytes at a time: store them all, then move on to the first delimiter or quote
    // among them; the bytes past it are overwritten next, and the buffer has room for them.
    const __m128i delimiters = _mm_set1_epi8(delimiter);
    const __m128i quotes = _mm_set1_epi8(quote);
    while (end - in >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(block, delimiters), _mm_cmpeq_epi8(block, quotes))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
        if (hits == 0) {
            in += 16;
            out += 16;
            continue;
        }
        const auto plain = std::countr_zero(hits);
        out += plain;
        in += plain;
        special(*in++, out);
    }
#endif
    for (; in != end; ++in) {
        if (*in == delimiter || *in == quote)
            special(*in, out);
        else
            *out++ = *in;
    }
    *out++ = quote;
    return out;
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
