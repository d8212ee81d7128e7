#include "engine/options.h"

namespace quarrytab {

namespace {

bool IsWordByte(char c, bool first) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           (!first && c >= '0' && c <= '9');
}

// A list of numbers in parentheses at `at`, as in (10,2), (10, 2) or (6): true, with `at` past
// its ")".
bool SkipArguments(std::string_view type, std::size_t& at) {
    bool digit = false;  // the last byte was a digit
    for (++at; at < type.size(); ++at) {
        const char c = type[at];
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == ',' && digit) {
            digit = false;
        } else if (c == ')' && digit) {
            ++at;
            return true;
        } else if (c != ' ' || digit) {
            return false;
        }
    }
    return false;
}

}  // namespace

std::string TypeRefusal(std::string_view type) {
    std::size_t at = 0;
    while (true) {
        const std::size_t start = at;
        while (at < type.size() && IsWordByte(type[at], at == start)) {
            ++at;
        }
        if (at == start) {
            return at == type.size() ? "a type is a name such as INTEGER or NUMERIC(10,2)"
                                     : "'" + std::string(1, type[at]) + "' has no place in a type";
        }
        if (at < type.size() && type[at] == '(' && !SkipArguments(type, at)) {
            return "a type's arguments are numbers in parentheses, as in NUMERIC(10,2)";
        }
        if (type.substr(at, 2) == "[]") {
            at += 2;
        }
        if (at == type.size()) {
            return {};
        }
        if (type[at] != ' ') {
            return "'" + std::string(1, type[at]) + "' has no place in a type";
        }
        ++at;  // one space between the words of a name such as DOUBLE PRECISION
    }
}

bool IsPlainName(std::string_view name) {
    for (std::size_t k = 0; k < name.size(); ++k) {
        if (!IsWordByte(name[k], k == 0) && static_cast<unsigned char>(name[k]) < 0x80) {
            return false;
        }
    }
    return !name.empty();
}

std::string ClosingDelimiterFor(std::string_view opening) {
    if (opening == "(") {
        return ")";
    }
    if (opening == "[") {
        return "]";
    }
    if (opening == "{") {
        return "}";
    }
    if (opening == "<") {
        return ">";
    }
    return std::string(opening);
}

}  // namespace quarrytab

namespace quarrytab {

bool QuotesNames(const ConversionOptions& options) {
    return !options.DelimitingChar.empty();
}

bool UsesRecordRules(const ConversionOptions& options) {
    return options.QuotedFields || options.HeaderRow || options.EmptyAsNull ||
           options.Ragged != RaggedMode::Keep || options.RowsPerInsert > 1 || options.Transaction ||
           options.SqlDialect != Dialect::Classic || !options.Encoding.empty() ||
           options.StripBom || options.SkipLines > 0 || !options.CommentPrefix.empty() ||
           options.DetectDelimiter || options.AutoRules || SurveysColumns(options) ||
           options.TableExists != IfExists::Fail || ShapesRecords(options) ||
           options.Rows != RowForm::Insert;
}

bool ShapesRecords(const ConversionOptions& options) {
    return !options.Columns.empty() || !options.NullWords.empty() ||
           options.Conflict != OnConflict::Fail;
}

bool SurveysColumns(const ConversionOptions& options) {
    return options.InferTypes || !options.ColumnTypes.empty() || !options.PrimaryKey.empty() ||
           !options.NotNull.empty();
}

}  // namespace quarrytab
