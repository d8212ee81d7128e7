#include "engine/column_types.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

#include "engine/dialect.h"
#include "engine/statement_assembler.h"

namespace quarrytab::detail {

namespace {

// Bytes of a value kept to tell its kind: every typed value is shorter.
constexpr std::size_t kKeptBytes = 64;
// The most bytes InnoDB takes in a key, over all its columns.
constexpr std::size_t kMysqlKeyBytes = 3072;
// The most bytes a character of utf8mb4 takes.
constexpr std::size_t kUtf8mb4Bytes = 4;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (auto& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

// Digits at `at`, `count` of them, as a number; -1 when they are not all digits.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t k = at; k < at + count; ++k) {
        if (!IsDigit(text[k])) {
            return -1;
        }
        value = value * 10 + (text[k] - '0');
    }
    return value;
}

bool IsDate(std::string_view text, int lowestYear) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    const int year = Digits(text, 0, 4);
    const int month = Digits(text, 5, 2);
    const int day = Digits(text, 8, 2);
    if (year < lowestYear || month < 1 || month > 12 || day < 1) {
        return false;
    }
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool IsTimestamp(std::string_view text, int lowestYear) {
    if (text.size() != 19 || text[10] != ' ' || text[13] != ':' || text[16] != ':') {
        return false;
    }
    const int hour = Digits(text, 11, 2);
    const int minute = Digits(text, 14, 2);
    const int second = Digits(text, 17, 2);
    return IsDate(text.substr(0, 10), lowestYear) && hour >= 0 && hour <= 23 && minute >= 0 &&
           minute <= 59 && second >= 0 && second <= 59;
}

// SQLite prints a REAL with fifteen significant digits, and ".0" after a whole number; a
// decimal that reads back as itself has at most fifteen of them, so any nearby double prints
// it again.
bool SqlitePrintsBack(std::string_view text) {
    double value = 0;
    const char* const end = text.data() + text.size();
    const auto read = std::from_chars(text.data(), end, value);
    if (read.ec != std::errc() || read.ptr != end) {
        return false;
    }
    char printed[64];
    const auto written =
        std::to_chars(printed, printed + sizeof printed, value, std::chars_format::general, 15);
    std::string shown(printed, written.ptr);
    if (shown.find_first_of(".e") == std::string::npos) {
        shown += ".0";
    }
    return shown == text;
}

// Within a signed integer of `bits` bits; `text` is canonical digits.
bool FitsBits(std::string_view text, int bits) {
    std::int64_t value = 0;
    const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
    if (read.ec != std::errc() || read.ptr != text.data() + text.size()) {
        return false;
    }
    const std::int64_t limit = bits >= 64 ? INT64_MAX : (std::int64_t{1} << (bits - 1)) - 1;
    return value <= limit && value >= -limit - 1;
}

// Where the digits from `at` on end.
std::size_t SkipDigits(std::string_view text, std::size_t at) {
    while (at < text.size() && IsDigit(text[at])) {
        ++at;
    }
    return at;
}

// The kinds of a number: canonical digits (no sign but a leading "-", no leading zero, no "-0"),
// with digits on both sides of a point when it has one; with its digits before and after the
// point. Only SQLite's REAL asks whether SQLite prints the value back alike.
unsigned NumberKinds(std::string_view value, bool sqlite, int& whole, int& places) {
    const std::size_t start = value.starts_with('-') ? 1 : 0;
    const std::size_t point = SkipDigits(value, start);
    const std::size_t integral = point - start;
    if (integral == 0 || (integral > 1 && value[start] == '0')) {
        return 0;
    }
    std::size_t end = point;
    if (point < value.size()) {
        end = SkipDigits(value, point + 1);
        if (value[point] != '.' || end == point + 1 || end != value.size()) {
            return 0;
        }
    }
    const bool zero = integral == 1 && value[start] == '0' &&
                      value.find_first_not_of('0', point + 1) == std::string_view::npos;
    if (start == 1 && zero) {
        return 0;
    }
    whole = static_cast<int>(integral);
    places = static_cast<int>(end == point ? 0 : end - point - 1);
    unsigned kinds = kDecimal;
    if (end == point) {
        // Within 64 bits: up to 2^63 - 1, or down to -2^63.
        const std::string_view limit = start == 1 ? "9223372036854775808" : "9223372036854775807";
        if (integral < limit.size() || (integral == limit.size() && value.substr(start) <= limit)) {
            kinds |= kInteger;
        }
    } else if (sqlite && SqlitePrintsBack(value)) {
        kinds |= kReal;
    }
    return kinds;
}

// Names a value in a message: quoted, and cut when long.
std::string Shown(std::string_view value, bool cut) {
    std::string text = "\"";
    text += value.substr(0, 24);
    text += value.size() > 24 || cut ? "...\"" : "\"";
    return text;
}

// The type --types chooses for a column, with its reason; nullopt: the dialect's text type.
struct Choice {
    std::string type;
    std::string reason;
    bool bare = false;
};

std::optional<Choice> ChooseType(const ColumnSeen& column, Dialect dialect) {
    const unsigned kinds = column.kinds;
    if (column.values == 0) {
        return std::nullopt;
    }
    switch (dialect) {
        case Dialect::Sqlite:
            if ((kinds & kInteger) != 0) {
                return Choice{"INTEGER", "integers", true};
            }
            if ((kinds & kReal) != 0) {
                return Choice{"REAL", "decimals SQLite prints back alike", true};
            }
            return std::nullopt;
        case Dialect::Postgres:
            if ((kinds & kInteger) != 0) {
                return Choice{"BIGINT", "integers", true};
            }
            if ((kinds & kDecimal) != 0) {
                return Choice{"NUMERIC", "decimals", true};
            }
            break;
        case Dialect::Mysql:
            if ((kinds & kInteger) != 0) {
                return Choice{"BIGINT", "integers", true};
            }
            if ((kinds & kDecimal) != 0 && column.places >= 0 && column.places <= 30 &&
                column.whole + column.places <= 65) {
                const int precision = std::max(1, column.whole + column.places);
                return Choice{"DECIMAL(" + std::to_string(precision) + "," +
                                  std::to_string(column.places) + ")",
                              column.places == 0
                                  ? std::string("integers beyond 64 bits")
                                  : "decimals with " + std::to_string(column.places) +
                                        (column.places == 1 ? " place" : " places"),
                              true};
            }
            break;
        case Dialect::Classic:
            return std::nullopt;
    }
    if ((kinds & kDate) != 0) {
        return Choice{"DATE", "dates", false};
    }
    if ((kinds & kTimestamp) != 0) {
        return Choice{dialect == Dialect::Mysql ? "DATETIME" : "TIMESTAMP", "dates with times",
                      false};
    }
    return std::nullopt;
}

// Why a column that has values got no type: where its last kind was ruled out, or the MySQL
// DECIMAL its decimals would need, which holds 65 digits, 30 of them after the point.
std::string UntypedReason(const ColumnSeen& column, Dialect dialect) {
    if (!column.ruledOut.empty() || dialect != Dialect::Mysql || (column.kinds & kDecimal) == 0) {
        return column.ruledOut;
    }
    if (column.places > 30) {
        return "decimals with " + std::to_string(column.places) +
               " places, more than the 30 of a MySQL DECIMAL";
    }
    return "decimals of " + std::to_string(column.whole + column.places) +
           " digits, more than the 65 of a MySQL DECIMAL";
}

// Whether a value of `kinds` (with its digits, characters and bytes) keeps its text under the
// user's type.
bool Keeps(const GivenType& given, unsigned kinds, std::string_view value, int whole, int places,
           std::size_t characters, std::size_t bytes) {
    if (!given.changes.empty()) {
        return false;
    }
    if (given.anyText) {
        return (given.characters == 0 || characters <= given.characters) &&
               (given.bytes == 0 || bytes <= given.bytes);
    }
    if ((kinds & given.kinds) == 0) {
        return false;
    }
    if ((given.kinds & kInteger) != 0 && given.bits < 64) {
        return FitsBits(value, given.bits);
    }
    if (given.wholeRealsChanged && (kinds & kInteger) == 0) {
        return value.find_first_not_of('0', value.find('.') + 1) != std::string_view::npos;
    }
    if (given.precision >= 0) {
        // A value of no whole part (0.5) takes no digit before the point.
        const bool noWhole = value.starts_with("0.") || value.starts_with("-0.");
        return places == given.scale && (noWhole ? 0 : whole) <= given.precision - given.scale;
    }
    return true;
}

// A MySQL key column for text: a VARCHAR as long as the column's longest value, compared byte
// for byte; in ASCII when `ascii`, a byte a character. The collation is MariaDB's no-pad one:
// the plain _bin collations pad with spaces, so "a" and "a " would be one key.
std::string MysqlKeyText(std::size_t characters, bool ascii) {
    const char* const set = ascii ? "ascii" : "utf8mb4";
    return "VARCHAR(" + std::to_string(characters) + ") CHARACTER SET " + set + " COLLATE " + set +
           "_nopad_bin";
}

std::size_t Longest(const ColumnSeen& column) {
    return std::max<std::size_t>(1, column.longest);
}

// A MySQL key cannot be a LONGTEXT; a VARCHAR as long as the longest value can (true: it was
// made one). A VARCHAR the user gave is compared byte for byte too, unless its character set or
// collation was given with it.
bool FitMysqlKeyColumn(ColumnPlan& column, const ColumnSeen& seen, std::string& reason) {
    const std::string upper = Upper(column.type);
    if (column.type.empty() || upper.ends_with("TEXT")) {
        column.type = MysqlKeyText(Longest(seen), false);
        reason = "key, its longest value";
        return true;
    }
    if (ReadGivenType(upper, Dialect::Mysql).characters > 0 &&
        upper.find("CHARACTER SET") == std::string::npos &&
        upper.find("COLLATE") == std::string::npos) {
        column.type += " CHARACTER SET utf8mb4 COLLATE utf8mb4_nopad_bin";
        reason += ", key compared byte for byte";
    }
    return false;
}

// The bytes a DECIMAL's `digits` take in a MySQL key: four for each nine, and what is left.
std::size_t DecimalBytes(int digits) {
    constexpr std::size_t kLeft[] = {0, 1, 1, 2, 2, 3, 3, 4, 4};
    return static_cast<std::size_t>(digits / 9) * 4 + kLeft[digits % 9];
}

// The most bytes a value of a MySQL column `type` takes in a key; 0 for a type not known here
// (the server then decides).
std::size_t MysqlKeyBytes(std::string_view type) {
    const GivenType given = ReadGivenType(type, Dialect::Mysql);
    if (given.anyText) {
        const bool ascii = Upper(type).find("CHARACTER SET ASCII") != std::string::npos;
        return given.characters * (ascii ? 1 : kUtf8mb4Bytes);
    }
    if ((given.kinds & kInteger) != 0) {
        return static_cast<std::size_t>(given.bits / 8);
    }
    if ((given.kinds & kDecimal) != 0) {
        return DecimalBytes(given.precision - given.scale) + DecimalBytes(given.scale);
    }
    if ((given.kinds & kDate) != 0) {
        return 3;
    }
    if ((given.kinds & kTimestamp) != 0) {
        return Upper(type).find('(') == std::string::npos ? 5 : 8;  // 8 with fractions of seconds
    }
    return 0;
}

// Later files loaded into the table (--insert-only, --if-exists append) may hold longer keys than
// this one: the key's text columns (`keyText`, in ASCII where `ascii`) share the `spare` bytes
// InnoDB's key has left, each beyond its longest value. Beside a key column of a type whose size
// is not known here (the server decides it) they stay at their longest.
void WidenMysqlKey(TablePlan& plan, const std::vector<bool>& keyText,
                   const std::vector<bool>& ascii, const std::vector<ColumnSeen>& seen,
                   std::size_t spare, std::vector<std::string>& reasons) {
    std::size_t texts = 0;
    for (const auto k : plan.key) {
        if (keyText[k]) {
            ++texts;
        } else if (MysqlKeyBytes(plan.columns[k].type) == 0) {
            return;
        }
    }
    for (const auto k : plan.key) {
        if (keyText[k]) {
            const std::size_t share = spare / texts / (ascii[k] ? 1 : kUtf8mb4Bytes);
            plan.columns[k].type = MysqlKeyText(Longest(seen[k]) + share, ascii[k]);
            reasons[k] = ascii[k] ? "key, ASCII, as wide as a MySQL key allows"
                                  : "key, as wide as a MySQL key allows";
        }
    }
}

}  // namespace

namespace {

// A type's name without its arguments, character set and collation ("TIMESTAMP WITH TIME ZONE"
// of "timestamp(0) with time zone") and the numbers between its parentheses.
std::string TypeName(std::string_view text, std::vector<int>& args) {
    const std::string upper = Upper(text);
    const auto open = upper.find('(');
    const auto close = upper.find(')', open == std::string::npos ? upper.size() : open);
    std::string name = upper.substr(0, open);
    if (close != std::string::npos) {
        name += upper.substr(close + 1);
    }
    // A character set or collation says nothing of which values the type keeps.
    for (const std::string_view clause : {" CHARACTER SET", " CHARSET", " COLLATE"}) {
        name = name.substr(0, name.find(clause));
    }
    std::string words;
    for (const char c : name) {
        if (c != ' ' || (!words.empty() && words.back() != ' ')) {
            words += c;
        }
    }
    while (!words.empty() && words.back() == ' ') {
        words.pop_back();
    }
    for (std::size_t at = open == std::string::npos ? upper.size() : open + 1; at < close;) {
        int value = 0;
        const auto read = std::from_chars(upper.data() + at, upper.data() + close, value);
        if (read.ec != std::errc()) {
            break;
        }
        args.push_back(value);
        at = static_cast<std::size_t>(read.ptr - upper.data());
        while (at < close && (upper[at] == ',' || upper[at] == ' ')) {
            ++at;
        }
    }
    return words;
}

// What the database makes of a type the values are checked for: a DECIMAL it refuses, a time
// it reads back otherwise, text longer than MySQL's TEXT types hold.
void ReadTypeLimits(GivenType& given, const std::string& base, const std::vector<int>& args,
                    Dialect dialect) {
    const bool mysql = dialect == Dialect::Mysql;
    if (given.precision >= 0) {
        const int most = mysql ? 65 : 1000;
        const int scale = given.scale;
        if (given.precision < 1 || given.precision > most || scale > (mysql ? 30 : 1000) ||
            scale < (mysql ? 0 : -1000) || (mysql && scale > given.precision)) {
            given.refusal = "the database takes a precision of 1 to " + std::to_string(most) +
                            (mysql ? " and a scale of 0 to 30, at most the precision"
                                   : " and a scale of -1000 to 1000");
        }
    }
    if (mysql && (given.kinds & kTimestamp) != 0) {
        if (base == "TIMESTAMP") {
            given.changes =
                "MySQL's TIMESTAMP holds 1970 to 2038 only and moves values by the "
                "session's time zone; DATETIME keeps them";
        } else if (!args.empty() && args[0] > 0) {
            given.changes = "MySQL reads it back with " + std::to_string(args[0]) +
                            " places of seconds; DATETIME keeps the values";
        }
    }
    if (mysql && given.anyText) {
        given.bytes = base == "TINYTEXT"     ? 255
                      : base == "TEXT"       ? 65535
                      : base == "MEDIUMTEXT" ? 16777215
                                             : 0;
    }
    static const std::string_view kNotPostgres[] = {"CLOB",     "LONGTEXT", "MEDIUMTEXT",
                                                    "TINYTEXT", "NVARCHAR", "DATETIME",
                                                    "TINYINT",  "MEDIUMINT"};
    const bool missing = dialect == Dialect::Postgres
                             ? std::find(std::begin(kNotPostgres), std::end(kNotPostgres), base) !=
                                   std::end(kNotPostgres)
                             : mysql && base == "CLOB";
    if (missing) {
        given.refusal = std::string(DatabaseNameOf(dialect)) + " has no type " + base;
    }
    if (dialect == Dialect::Postgres &&
        (base == "TIMESTAMPTZ" || base == "TIMESTAMP WITH TIME ZONE")) {
        given.kinds = kTimestamp;
        given.changes =
            "PostgreSQL reads it back with the session's time zone offset; TIMESTAMP "
            "keeps the values";
    }
}

}  // namespace

GivenType ReadGivenType(std::string_view text, Dialect dialect) {
    std::vector<int> args;
    const std::string base = TypeName(text, args);
    GivenType given;
    const bool sqlite = dialect == Dialect::Sqlite;
    const bool mysql = dialect == Dialect::Mysql;
    if (base == "TEXT" || base == "LONGTEXT" || base == "MEDIUMTEXT" || base == "TINYTEXT" ||
        base == "CLOB") {
        given.anyText = true;
    } else if (base == "VARCHAR" || base == "CHARACTER VARYING" || base == "NVARCHAR") {
        given.anyText = true;
        given.characters = sqlite || args.empty() ? 0 : static_cast<std::size_t>(args[0]);
    } else if (base == "BIGINT" || base == "INT8") {
        given.kinds = kInteger;
    } else if (base == "INTEGER" || base == "INT" || base == "INT4") {
        given.kinds = kInteger;
        given.bits = sqlite ? 64 : 32;
    } else if (base == "SMALLINT" || base == "INT2") {
        given.kinds = kInteger;
        given.bits = sqlite ? 64 : 16;
    } else if (mysql && (base == "TINYINT" || base == "MEDIUMINT")) {
        given.kinds = kInteger;
        given.bits = base == "TINYINT" ? 8 : 24;
    } else if (base == "NUMERIC" || base == "DECIMAL" || base == "DEC") {
        // SQLite reads such a column's numbers as INTEGER or REAL, and a REAL with no fraction
        // as an INTEGER.
        given.kinds = sqlite ? kInteger | kReal : kDecimal;
        given.wholeRealsChanged = sqlite;
        if (!sqlite && (!args.empty() || mysql)) {
            given.precision = args.empty() ? 10 : args[0];
            given.scale = args.size() > 1 ? args[1] : 0;
        }
    } else if (sqlite && (base == "REAL" || base == "DOUBLE" || base == "FLOAT")) {
        given.kinds = kReal;
    } else if (base == "DATE") {
        given.kinds = kDate;
    } else if (base == "TIMESTAMP" || base == "DATETIME" || base == "TIMESTAMP WITHOUT TIME ZONE") {
        given.kinds = kTimestamp;
    } else {
        given.checked = false;
    }
    ReadTypeLimits(given, base, args, dialect);
    given.checked |= given.kinds != 0;
    given.bare = (given.kinds & (kInteger | kDecimal | kReal)) != 0;
    return given;
}

unsigned ValueKinds(std::string_view value, Dialect dialect, int& whole, int& places) {
    whole = 0;
    places = -1;
    if (value.empty() || (!IsDigit(value[0]) && value[0] != '-')) {
        return 0;
    }
    if (const unsigned kinds = NumberKinds(value, dialect == Dialect::Sqlite, whole, places)) {
        return kinds;
    }
    // MySQL's DATE and DATETIME promise years from 1000 on.
    const int lowestYear = dialect == Dialect::Mysql ? 1000 : 1;
    if (IsDate(value, lowestYear)) {
        return kDate;
    }
    return IsTimestamp(value, lowestYear) ? unsigned{kTimestamp} : 0U;
}

ColumnSurvey::ColumnSurvey(const ConversionOptions& options)
    : m_options(options),
      m_countCharacters(
          (options.SqlDialect == Dialect::Mysql || options.SqlDialect == Dialect::Postgres) &&
          !options.PrimaryKey.empty()) {
    for (const auto& given : options.ColumnTypes) {
        m_givenTypes.push_back(ReadGivenType(given.type, options.SqlDialect));
        m_countCharacters |= m_givenTypes.back().characters > 0;
    }
}

bool ColumnSurvey::holds(std::size_t index) {
    if (!m_first && m_options.Ragged != RaggedMode::Pad) {
        return index < m_expected;
    }
    if (index < kMostColumns) {
        return true;
    }
    if (m_refusal.empty() && m_header) {
        m_refusal = HeaderPastLimit();
    } else if (m_refusal.empty()) {
        m_refusal = "line " + std::to_string(m_line) + ": more than " +
                    std::to_string(kMostColumns) +
                    " fields, more columns than any database's table takes";
    }
    return false;
}

void ColumnSurvey::keep(Field& field, const char* from, const char* to) {
    const auto size = static_cast<std::size_t>(to - from);
    field.bytes += size;
    if (m_countCharacters) {
        for (const char* p = from; p != to; ++p) {
            const auto byte = static_cast<unsigned char>(*p);
            field.characters += (byte & 0xC0) != 0x80 ? 1 : 0;
            field.ascii &= byte < 0x80;
        }
    }
    if (m_header) {
        // Past the header's limit the conversion is refused; its names need not be held.
        m_headerBytes += size;
        if (m_headerBytes <= kMostHeaderBytes) {
            field.value.append(from, size);
        } else if (m_refusal.empty()) {
            m_refusal = HeaderPastLimit();
        }
        return;
    }
    const auto room = kKeptBytes - std::min(kKeptBytes, field.value.size());
    field.value.append(from, std::min(room, size));
    field.cut |= size > room;
}

std::string ColumnSurvey::columnName(std::size_t k) const {
    return k < m_names.size() ? m_names[k] : "fld" + std::to_string(k + 1);
}

void ColumnSurvey::widen(std::size_t width) {
    const std::size_t before = m_columns.size();
    m_expected = width;
    if (m_options.HeaderRow) {
        std::vector<std::string_view> header(m_headerValues.begin(), m_headerValues.end());
        header.resize(width);
        // The names the table gets, so options that name columns find them as written.
        m_names = ColumnNames(header, m_options.SqlDialect, QuotesNames(m_options));
    }
    m_columns.resize(width);
    m_looking.resize(width, 1);
    // A column a wider record opens was NULL in each record before it.
    for (std::size_t k = before; k < width && m_records > 0; ++k) {
        m_columns[k].nulls.count = m_records;
        m_columns[k].nulls.first.push_back(m_firstRecordLine);
    }
    m_keyColumns.clear();
    m_inKey.assign(width, 0);
    for (const auto& wanted : m_options.PrimaryKey) {
        const auto k = columnIndex(wanted);
        if (k >= width) {
            continue;
        }
        // Under --on-conflict a repeated key is what the conflict clause is for.
        m_inKey[k] = m_options.Conflict == OnConflict::Fail ? 1 : 0;
        if (m_options.SqlDialect == Dialect::Postgres) {
            m_keyColumns.push_back(k);
        }
    }
    m_given.assign(width, -1);
    for (std::size_t k = 0; k < width; ++k) {
        for (std::size_t g = 0; g < m_options.ColumnTypes.size(); ++g) {
            if (m_options.ColumnTypes[g].column == columnName(k)) {
                m_given[k] = static_cast<int>(g);
            }
        }
    }
}

void ColumnSurvey::endRecord(bool blank) {
    if (!m_refusal.empty()) {
        return;
    }
    if (m_header && blank) {
        return;  // a blank line before the header names no column
    }
    if (m_header || m_first) {
        m_first = false;
        if (m_header) {
            for (std::size_t k = 0; k < m_fields; ++k) {
                m_headerValues.push_back(m_record[k].value);
            }
        }
        // As wide as the statements' table: under --ragged pad perhaps wider than this record.
        const std::size_t width = std::max<std::size_t>({1, m_fields, m_options.TableWidth});
        if (width > kMostColumns) {
            m_refusal = "line " + std::to_string(m_line) + ": a table of " + std::to_string(width) +
                        " columns (--ragged pad), more than any " + "database's table takes";
            return;
        }
        widen(width);
        if (m_header) {
            return;
        }
    }
    if (blank) {
        return;  // written as no row
    }
    if (m_fields != m_expected &&
        (m_options.Ragged == RaggedMode::Skip || m_options.Ragged == RaggedMode::Fail)) {
        return;
    }
    // Under --ragged pad the table is as wide as the widest record, which a first read finds
    // for standard input too.
    if (m_fields > m_expected && m_options.Ragged == RaggedMode::Pad) {
        widen(m_fields);
    }
    if (m_records++ == 0) {
        m_firstRecordLine = m_line;
    }
    for (std::size_t k = 0; k < std::min(m_fields, m_expected); ++k) {
        const Field& field = m_record[k];
        if (m_looking[k]) {
            see(m_columns[k], field, k);
        } else if (field.null ||
                   (m_options.EmptyAsNull && field.value.empty() && !field.cut && !field.quoted)) {
            m_columns[k].nulls.add(m_line);
        }
    }
    if (m_options.Ragged == RaggedMode::Pad) {
        for (std::size_t k = m_fields; k < m_expected; ++k) {
            m_columns[k].nulls.add(m_line);
        }
    }
    seePostgresKey();
    seeKey();
}

// A record whose key an earlier record has: the table's primary key would refuse it, so it is
// found here, before anything of the file is written. A NULL in the key is refused elsewhere.
void ColumnSurvey::seeKey() {
    std::uint64_t key = 0;
    bool any = false;
    for (std::size_t k = 0; k < m_inKey.size(); ++k) {
        if (m_inKey[k] == 0) {
            continue;
        }
        if (k >= m_fields || m_record[k].null) {
            return;
        }
        key = KeyHashes::Join(key, m_record[k].hash);
        any = true;
    }
    if (any && !m_keys.insert(key)) {
        m_repeatedKeys.add(m_line);
    }
}

// A B-tree index entry of PostgreSQL (8 KiB pages) holds 2704 bytes: an 8-byte header, then each
// key value with its length, one byte for up to 126 bytes, else four aligned to four; the whole
// aligned to eight. Every value is counted as text, which a number or date never outgrows. A long
// value that compresses well may fit all the same, which cannot be known here.
void ColumnSurvey::seePostgresKey() {
    constexpr std::size_t kPostgresKeyBytes = 2704;
    std::size_t size = 8;
    for (const auto k : m_keyColumns) {
        const std::size_t bytes = k < m_fields ? m_record[k].bytes : 0;
        size = bytes <= 126 ? size + 1 + bytes : (size + 3) / 4 * 4 + 4 + bytes;
    }
    if (!m_keyColumns.empty() && (size + 7) / 8 * 8 > kPostgresKeyBytes) {
        m_longKeys.add(m_line);
    }
}

void ColumnSurvey::see(ColumnSeen& column, const Field& field, std::size_t index) {
    const bool empty = field.value.empty() && !field.cut;
    if (field.null || (empty && !field.quoted && m_options.EmptyAsNull)) {
        column.nulls.add(m_line);
        return;
    }
    int whole = 0;
    int places = -1;
    // An empty value is '' (no typed column takes it); a long one is no number or date.
    const unsigned found =
        empty || field.cut ? 0 : ValueKinds(field.value, m_options.SqlDialect, whole, places);
    // The kinds --types chooses among in the dialect: SQLite has no date type, and only its
    // REAL needs the text it prints back.
    const unsigned kinds =
        found & (m_options.SqlDialect == Dialect::Sqlite ? kInteger | kReal : kAllKinds & ~kReal);
    ++column.values;
    column.longest = std::max(column.longest, field.characters);
    column.ascii &= field.ascii;
    if ((kinds & kDecimal) != 0) {
        column.whole = std::max(column.whole, whole);
        column.places = column.places == -1 || column.places == places ? places : -2;
    }
    const unsigned before = column.kinds;
    column.kinds &= kinds;
    // MySQL's DECIMAL has one scale; PostgreSQL's NUMERIC keeps each value's places.
    if (column.places == -2 && m_options.SqlDialect == Dialect::Mysql) {
        column.kinds &= ~kDecimal;
    }
    m_looking[index] = column.kinds != 0 || m_given[index] >= 0 || m_countCharacters;
    if (before != 0 && column.kinds == 0) {
        column.ruledOut =
            "line " + std::to_string(m_line) + " " +
            (empty ? std::string(field.quoted ? "\"\"" : "empty") : Shown(field.value, field.cut));
    }
    if (m_given[index] >= 0) {
        const GivenType& given = m_givenTypes[static_cast<std::size_t>(m_given[index])];
        if (given.checked &&
            !Keeps(given, found, field.value, whole, places, field.characters, field.bytes)) {
            if (column.refused.count == 0) {
                column.firstRefused = Shown(field.value, field.cut);
            }
            column.refused.add(m_line);
        }
    }
}

namespace {

// "line 4" or "lines 4, 9, ..." for the first lines noted.
std::string LinesText(const LineNotes& where) {
    std::string text = where.first.size() == 1 ? "line " : "lines ";
    for (std::size_t i = 0; i < where.first.size(); ++i) {
        text += (i > 0 ? ", " : "") + std::to_string(where.first[i]);
    }
    return text + (where.count > where.first.size() ? ", ..." : "");
}

// A column of the user's type (`named`: its name and type): whether its values are written bare,
// what the type or the column's values would break (to the notes), and why it has that type.
std::string PlanGiven(const std::string& named, const GivenType& given, const ColumnSeen& seen,
                      ColumnPlan& column, FileNotes& notes) {
    column.bare = given.bare;
    if (!given.refusal.empty()) {
        notes.valuesRefused.push_back("column " + named + ": " + given.refusal);
    } else if (seen.refused.count > 0) {
        std::string why = given.changes;
        if (why.empty() && given.bytes > 0) {
            why = "it holds " + std::to_string(given.bytes) + " bytes";
        }
        notes.valuesRefused.push_back(
            "column " + named + ": " + std::to_string(seen.refused.count) +
            (seen.refused.count == 1 ? " value" : " values") +
            " the database would refuse or change (" + LinesText(seen.refused) + ", first " +
            seen.firstRefused + ")" + (why.empty() ? "" : ": " + why));
    }
    return given.checked ? "given" : "given, values not checked";
}

}  // namespace

TablePlan ColumnSurvey::plan(FileNotes& notes) {
    TablePlan plan;
    if (!m_refusal.empty()) {
        notes.valuesRefused.push_back(m_refusal);
        return plan;
    }
    plan.columns.resize(m_expected);
    std::vector<std::string> reasons(m_expected);  // why each column has its type
    std::vector<bool> keyText(m_expected);         // a MySQL key column made a VARCHAR
    for (std::size_t k = 0; k < m_expected; ++k) {
        bool madeKeyText = false;
        reasons[k] = planColumn(k, plan.columns[k], madeKeyText, notes);
        keyText[k] = madeKeyText;
    }
    for (const auto& wanted : m_options.PrimaryKey) {
        const auto k = columnIndex(wanted);
        if (k == m_expected) {
            // The key --on-conflict looks for is the new table's key unless one was given.
            const bool fromConflict = m_options.Conflict != OnConflict::Fail &&
                                      m_options.ConflictKey == m_options.PrimaryKey;
            notes.valuesRefused.push_back((fromConflict ? "--key" : "--primary-key") +
                                          std::string(": no column ") + wanted);
        } else {
            plan.key.push_back(k);
        }
    }
    if (m_options.SqlDialect == Dialect::Mysql) {
        fitMysqlKey(plan, keyText, reasons, notes);
    }
    if (m_repeatedKeys.count > 0) {
        notes.valuesRefused.push_back(
            "--primary-key: " + std::to_string(m_repeatedKeys.count) +
            (m_repeatedKeys.count == 1 ? " record repeats" : " records repeat") +
            " the key of an earlier record (" + LinesText(m_repeatedKeys) + ")");
    }
    if (m_longKeys.count > 0) {
        notes.valuesRefused.push_back(
            "--primary-key: " + std::to_string(m_longKeys.count) +
            (m_longKeys.count == 1 ? " key" : " keys") +
            " longer than the 2704 bytes a PostgreSQL index entry holds (" + LinesText(m_longKeys) +
            ")");
    }
    for (const auto& wanted : m_options.NotNull) {
        if (columnIndex(wanted) == m_expected) {
            notes.valuesRefused.push_back("--not-null: no column " + wanted);
        }
    }
    for (const auto& given : m_options.ColumnTypes) {
        if (columnIndex(given.column) == m_expected) {
            notes.valuesRefused.push_back("--type: no column " + given.column);
        }
    }
    notes.columnTypes = typesLine(plan, reasons);
    if (m_keys.full()) {
        notes.columnTypes += "; repeated keys looked for in the first " +
                             std::to_string(KeyHashes::kMostKeys) + " records only";
    }
    return plan;
}

// The type of column k (the user's, the one inferred, or a MySQL key's VARCHAR, then
// `madeKeyText`) and whether it takes NULL; returns why it has that type. What the column's
// values would break is added to the notes.
std::string ColumnSurvey::planColumn(std::size_t k, ColumnPlan& column, bool& madeKeyText,
                                     FileNotes& notes) {
    const ColumnSeen& seen = m_columns[k];
    std::string reason;
    if (m_given[k] >= 0) {
        const auto g = static_cast<std::size_t>(m_given[k]);
        reason = PlanGiven(columnName(k) + " " + m_options.ColumnTypes[g].type, m_givenTypes[g],
                           seen, column, notes);
        column.type = m_options.ColumnTypes[g].type;
    } else if (m_options.InferTypes) {
        if (const auto choice = ChooseType(seen, m_options.SqlDialect)) {
            column.type = choice->type;
            column.bare = choice->bare;
            reason = choice->reason;
        } else {
            reason = seen.values == 0 ? "no values" : UntypedReason(seen, m_options.SqlDialect);
        }
    }
    const auto name = columnName(k);
    const bool key = std::find(m_options.PrimaryKey.begin(), m_options.PrimaryKey.end(), name) !=
                     m_options.PrimaryKey.end();
    column.notNull = key || std::find(m_options.NotNull.begin(), m_options.NotNull.end(), name) !=
                                m_options.NotNull.end();
    if (column.notNull && seen.nulls.count > 0) {
        notes.valuesRefused.push_back("column " + name +
                                      " takes no NULL: " + std::to_string(seen.nulls.count) +
                                      " empty or missing (" + LinesText(seen.nulls) + ")");
    }
    if (key && m_options.SqlDialect == Dialect::Mysql) {
        madeKeyText = FitMysqlKeyColumn(column, seen, reason);
    }
    return reason;
}

// The column named `wanted`, or m_expected when there is none.
std::size_t ColumnSurvey::columnIndex(const std::string& wanted) const {
    std::size_t k = 0;
    while (k < m_expected && columnName(k) != wanted) {
        ++k;
    }
    return k;
}

// Each column's type and why, in one line: "id BIGINT (integers), name TEXT (...)".
std::string ColumnSurvey::typesLine(const TablePlan& plan,
                                    const std::vector<std::string>& reasons) const {
    std::string line;
    for (std::size_t k = 0; k < m_expected; ++k) {
        if (!reasons[k].empty()) {
            const auto& type = plan.columns[k].type;
            line += (line.empty() ? "" : ", ") + columnName(k) + " " +
                    (type.empty() ? std::string(RulesOf(m_options.SqlDialect).columnType) : type) +
                    " (" + reasons[k] + ")";
        }
    }
    return line;
}

// InnoDB takes at most 3072 bytes in a key, over all its columns, with four for a character of
// utf8mb4. Past that, a text column whose values are all ASCII is keyed in ASCII, a byte a
// character; a key still too long is refused, never cut to a prefix of its values (two values
// that begin alike would then be one key, and a row would be lost). A key that fits is made as
// wide as InnoDB allows.
void ColumnSurvey::fitMysqlKey(TablePlan& plan, const std::vector<bool>& keyText,
                               std::vector<std::string>& reasons, FileNotes& notes) const {
    const auto bytes = [&] {
        std::size_t total = 0;
        for (const auto k : plan.key) {
            total += MysqlKeyBytes(plan.columns[k].type);
        }
        return total;
    };
    std::vector<bool> ascii(plan.columns.size());
    if (bytes() > kMysqlKeyBytes) {
        for (const auto k : plan.key) {
            if (keyText[k] && m_columns[k].ascii) {
                plan.columns[k].type = MysqlKeyText(Longest(m_columns[k]), true);
                reasons[k] = "key, its longest value, ASCII";
                ascii[k] = true;
            }
        }
    }
    const auto total = bytes();
    if (total <= kMysqlKeyBytes) {
        WidenMysqlKey(plan, keyText, ascii, m_columns, kMysqlKeyBytes - total, reasons);
        return;
    }
    std::string names;
    for (const auto k : plan.key) {
        names += (names.empty() ? "" : ", ") + columnName(k);
    }
    notes.valuesRefused.push_back("--primary-key " + names + ": up to " + std::to_string(total) +
                                  " bytes, more than the " + std::to_string(kMysqlKeyBytes) +
                                  " MySQL takes in a key");
}

void WriteTableDefinition(StatementSink& sink, const ConversionOptions& options,
                          std::string_view reference, std::size_t columns,
                          const std::function<void(std::size_t, std::string&)>& name,
                          const TablePlan* plan, std::string_view tableOptions,
                          std::string_view ending) {
    const DialectRules& rules = RulesOf(options.SqlDialect);
    if (options.TableExists == IfExists::Drop) {
        sink.statement("DROP TABLE IF EXISTS " + std::string(reference) + std::string(ending));
    }
    std::string text = "CREATE TABLE ";
    if (options.TableExists == IfExists::Append) {
        text += "IF NOT EXISTS ";
    }
    text += reference;
    text += " (";
    for (std::size_t k = 0; k < columns; ++k) {
        if (k > 0) {
            text += ',';
        }
        name(k, text);
        text += ' ';
        const ColumnPlan* column =
            plan != nullptr && k < plan->columns.size() ? &plan->columns[k] : nullptr;
        text += column != nullptr && !column->type.empty() ? std::string_view(column->type)
                                                           : rules.columnType;
        if (column != nullptr && column->notNull) {
            text += " NOT NULL";
        }
    }
    if (plan != nullptr && !plan->key.empty()) {
        text += ",PRIMARY KEY (";
        for (std::size_t i = 0; i < plan->key.size(); ++i) {
            if (i > 0) {
                text += ',';
            }
            name(plan->key[i], text);
        }
        text += ')';
    }
    text += ')';
    text += tableOptions;
    text += ending;
    sink.statement(text);
}

}  // namespace quarrytab::detail
