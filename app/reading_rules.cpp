#include "app/reading_rules.h"

#include <utility>

#include "engine/conversion.h"
#include "engine/dialect.h"
#include "engine/error_trap.h"
#include "engine/failure_numbers.h"

namespace quarrytab {

namespace {

const QString kQuoted = QStringLiteral("Rules Quoted Fields");
const QString kHeader = QStringLiteral("Rules Header Row");
const QString kSkip = QStringLiteral("Rules Skip Lines");
const QString kComment = QStringLiteral("Rules Comment");
const QString kEncoding = QStringLiteral("Rules Encoding");
const QString kDetect = QStringLiteral("Rules Detect Each File");
const QString kDatabase = QStringLiteral("Rules Database");
const QString kNull = QStringLiteral("Rules Empty As Null");
const QString kWidth = QStringLiteral("Rules Other Width");
const QString kRows = QStringLiteral("Rules Rows Per Insert");
const QString kTransaction = QStringLiteral("Rules Transaction");

const std::pair<Dialect, const char*> kDatabaseWords[] = {{Dialect::Classic, "Generic"},
                                                          {Dialect::Sqlite, "SQLite"},
                                                          {Dialect::Postgres, "PostgreSQL"},
                                                          {Dialect::Mysql, "MySQL"}};
const std::pair<RaggedMode, const char*> kWidthWords[] = {{RaggedMode::Keep, "Keep"},
                                                          {RaggedMode::Pad, "Pad"},
                                                          {RaggedMode::Skip, "Skip"},
                                                          {RaggedMode::Fail, "Stop"}};

[[noreturn]] void Damaged() {
    throw Failure(failures::kTypeMismatch, "Type mismatch");
}

QString Bool(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool ReadBool(const QString& value) {
    const QString word = value.trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    Damaged();
}

std::uint64_t ReadCount(const QString& value, std::uint64_t lowest, std::uint64_t highest) {
    bool ok = false;
    const qulonglong count = value.trimmed().toULongLong(&ok);
    if (!ok || count < lowest || count > highest) {
        Damaged();
    }
    return count;
}

template <class Value, std::size_t N>
Value ReadWord(const QString& value, const std::pair<Value, const char*> (&words)[N]) {
    for (const auto& [item, word] : words) {
        if (value.trimmed().compare(QLatin1String(word), Qt::CaseInsensitive) == 0) {
            return item;
        }
    }
    Damaged();
}

template <class Value, std::size_t N>
QString WordOf(Value item, const std::pair<Value, const char*> (&words)[N]) {
    for (const auto& [candidate, word] : words) {
        if (candidate == item) {
            return QLatin1String(word);
        }
    }
    return QLatin1String(words[0].second);
}

std::string Bytes(const QString& text) {
    return text.toUtf8().toStdString();
}
QString Text(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

void ApplyRules(const ReadingRules& rules, ConversionOptions& options) {
    if (!rules.any()) {
        return;
    }
    options.QuotedFields = rules.QuotedFields;
    options.HeaderRow = rules.HeaderRow;
    options.SkipLines = rules.SkipLines;
    options.CommentPrefix = rules.CommentPrefix;
    options.Encoding = rules.Encoding;
    options.SqlDialect = rules.Database;
    options.EmptyAsNull = rules.EmptyAsNull;
    options.Ragged = rules.OtherWidth;
    options.RowsPerInsert = rules.RowsPerInsert;
    options.Transaction = rules.Transaction;
    options.StripBom = rules.QuotedFields || rules.HeaderRow || !rules.Encoding.empty();
    if (rules.DetectEachFile) {
        // Each file's delimiter, quoting and header decided from its first bytes; the lines
        // skipped, the comment prefix and the encoding too unless they are set; the rule for
        // rows of another width is a writing rule and stays as chosen.
        options.AutoRules = true;
        options.Kept = {};
        options.Kept.encoding = !rules.Encoding.empty();
        options.Kept.skipLines = rules.SkipLines > 0;
        options.Kept.comment = !rules.CommentPrefix.empty();
        options.Kept.ragged = true;
    }
    // A name in single quotes is a string to PostgreSQL and MySQL: the window's default quote
    // stands for the database's own, as no quote given does on the command line.
    if (rules.Database != Dialect::Classic && options.DelimitingChar == "'") {
        SetDelimitingChar(options, RulesOf(rules.Database).identifierQuote);
    }
}

QString DatabaseName(Dialect dialect) {
    switch (dialect) {
        case Dialect::Sqlite:
            return QStringLiteral("SQLite");
        case Dialect::Postgres:
            return QStringLiteral("PostgreSQL");
        case Dialect::Mysql:
            return QStringLiteral("MySQL/MariaDB");
        case Dialect::Classic:
            break;
    }
    return QStringLiteral("Generic");
}

QString OtherWidthName(RaggedMode mode) {
    switch (mode) {
        case RaggedMode::Pad:
            return QStringLiteral("pad with NULL");
        case RaggedMode::Skip:
            return QStringLiteral("skip");
        case RaggedMode::Fail:
            return QStringLiteral("stop");
        case RaggedMode::Keep:
            break;
    }
    return QStringLiteral("keep");
}

QString RulesSummary(const ReadingRules& rules) {
    QStringList parts;
    if (rules.DetectEachFile) {
        parts << QStringLiteral("rules detected per file");
    }
    // Under detection each file's own quoting and header stand for these two.
    if (rules.QuotedFields && !rules.DetectEachFile) {
        parts << QStringLiteral("quoted fields");
    }
    if (rules.HeaderRow && !rules.DetectEachFile) {
        parts << QStringLiteral("header");
    }
    if (rules.SkipLines > 0) {
        parts << QStringLiteral("%1 lines skipped").arg(rules.SkipLines);
    }
    if (!rules.CommentPrefix.empty()) {
        parts << QStringLiteral("comments %1").arg(Text(rules.CommentPrefix));
    }
    if (!rules.Encoding.empty()) {
        parts << Text(rules.Encoding);
    }
    if (rules.Database != Dialect::Classic) {
        parts << DatabaseName(rules.Database);
    }
    if (rules.EmptyAsNull) {
        parts << QStringLiteral("empty as NULL");
    }
    if (rules.OtherWidth != RaggedMode::Keep) {
        parts << QStringLiteral("other widths: %1").arg(OtherWidthName(rules.OtherWidth));
    }
    if (rules.RowsPerInsert > 1) {
        parts << QStringLiteral("%1 rows per INSERT").arg(rules.RowsPerInsert);
    }
    if (rules.Transaction) {
        parts << QStringLiteral("transaction");
    }
    return parts.join(QStringLiteral(", "));
}

QStringList RulesSettingsKeys() {
    return {kQuoted,   kHeader, kSkip,  kComment, kEncoding,   kDetect,
            kDatabase, kNull,   kWidth, kRows,    kTransaction};
}

void WriteRules(const ReadingRules& rules,
                const std::function<void(const QString&, const QString&)>& write) {
    write(kQuoted, Bool(rules.QuotedFields));
    write(kHeader, Bool(rules.HeaderRow));
    write(kSkip, QString::number(rules.SkipLines));
    write(kComment, Text(rules.CommentPrefix));
    write(kEncoding, Text(rules.Encoding));
    write(kDetect, Bool(rules.DetectEachFile));
    write(kDatabase, WordOf(rules.Database, kDatabaseWords));
    write(kNull, Bool(rules.EmptyAsNull));
    write(kWidth, WordOf(rules.OtherWidth, kWidthWords));
    write(kRows, QString::number(rules.RowsPerInsert));
    write(kTransaction, Bool(rules.Transaction));
}

void ReadRule(const QString& key, const QString& value, ReadingRules& rules) {
    if (key == kQuoted) {
        rules.QuotedFields = ReadBool(value);
    } else if (key == kHeader) {
        rules.HeaderRow = ReadBool(value);
    } else if (key == kSkip) {
        rules.SkipLines = ReadCount(value, 0, kMostSkipLines);
    } else if (key == kComment) {
        rules.CommentPrefix = Bytes(value);
    } else if (key == kEncoding) {
        ConversionOptions probe;
        probe.Encoding = Bytes(value.trimmed());
        if (!OptionsProblem(probe).empty()) {
            Damaged();
        }
        rules.Encoding = probe.Encoding;
    } else if (key == kDetect) {
        rules.DetectEachFile = ReadBool(value);
    } else if (key == kDatabase) {
        rules.Database = ReadWord(value, kDatabaseWords);
    } else if (key == kNull) {
        rules.EmptyAsNull = ReadBool(value);
    } else if (key == kWidth) {
        rules.OtherWidth = ReadWord(value, kWidthWords);
    } else if (key == kRows) {
        rules.RowsPerInsert = static_cast<std::size_t>(ReadCount(value, 1, kMostRowsPerInsert));
    } else if (key == kTransaction) {
        rules.Transaction = ReadBool(value);
    }
}

}  // namespace quarrytab
