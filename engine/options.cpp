#include "engine/options.h"

namespace quarrytab {

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
