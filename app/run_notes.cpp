#include "app/run_notes.h"

#include "filelist/qt_text.h"

namespace quarrytab {

namespace {

// "line 7" or "lines 3, 7, 9, ..." for the first few of many.
QString Lines(const LineNotes& notes) {
    QStringList numbers;
    for (const auto line : notes.first) {
        numbers << QString::number(line);
    }
    if (notes.count > notes.first.size()) {
        numbers << QStringLiteral("...");
    }
    return (notes.count == 1 ? QStringLiteral("line ") : QStringLiteral("lines ")) +
           numbers.join(QStringLiteral(", "));
}

QString Count(std::uint64_t count, const char* one, const char* many) {
    return QString::number(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? one : many);
}

QString Shown(const std::string& delimiter) {
    return delimiter == "\t" ? QStringLiteral("TAB")
                             : QLatin1Char('\'') + FromUtf8(delimiter) + QLatin1Char('\'');
}

// How the file was read: the rules detection chose, the delimiter -d auto found or doubted.
void AddReadingLines(QStringList& lines, const FileNotes& notes) {
    if (!notes.rulesChosen.empty()) {
        lines << QStringLiteral("Read as: %1.").arg(FromUtf8(notes.rulesChosen));
    }
    if (!notes.detectedDelimiter.empty() && !notes.delimiterUndetected) {
        lines << QStringLiteral("Delimiter %1 detected.").arg(Shown(notes.detectedDelimiter));
    }
    if (notes.delimiterUndetected) {
        lines << QStringLiteral(
                     "No delimiter among , ; TAB | gives its first lines a steady "
                     "field count; %1 used.")
                     .arg(Shown(notes.detectedDelimiter));
    }
    if (notes.otherDelimiterLikely) {
        lines << QStringLiteral(
            "Its first lines have one field each but hold ; or TAB: "
            "another delimiter may be meant.");
    }
}

}  // namespace

QStringList NoteLines(const FileNotes& notes, const ConversionOptions& options) {
    QStringList lines;
    AddReadingLines(lines, notes);
    if (notes.stopped && !notes.ragged.first.empty()) {
        lines << QStringLiteral(
                     "Stopped at line %1: a record with another field count than "
                     "the first record's %2.")
                     .arg(notes.ragged.first.back())
                     .arg(notes.expectedFields);
    } else if (notes.ragged.count > 0) {
        const QString what = options.Ragged == RaggedMode::Skip ? QStringLiteral("left out")
                             : options.Ragged == RaggedMode::Pad
                                 ? QStringLiteral(
                                       "short ones padded with "
                                       "NULL")
                                 : QStringLiteral("kept as they are");
        lines << QStringLiteral("%1 with another field count than the first record's %2 (%3); %4.")
                     .arg(Count(notes.ragged.count, "record", "records"))
                     .arg(notes.expectedFields)
                     .arg(Lines(notes.ragged), what);
    }
    if (notes.unclosedQuote.count > 0) {
        lines << QStringLiteral(
                     "A quoted field opened on %1 is still open at the end of the "
                     "file; its text is kept as the last value.")
                     .arg(Lines(notes.unclosedQuote));
    }
    if (notes.unconvertible.count > 0) {
        lines << QStringLiteral("%1 not valid %2 (%3); each written as U+FFFD.")
                     .arg(Count(notes.unconvertible.count, "byte is", "bytes are"),
                          FromUtf8(notes.encoding.empty() ? options.Encoding : notes.encoding),
                          Lines(notes.unconvertible));
    }
    if (!notes.namesFitted.empty()) {
        lines << FromUtf8(notes.namesFitted) + QLatin1Char('.');
    }
    if (notes.unstorable.count > 0) {
        lines << QStringLiteral("%1 %2 (%3).")
                     .arg(Count(notes.unstorable.count, "record holds", "records hold"),
                          options.SqlDialect == Dialect::Postgres
                              ? QStringLiteral("a NUL byte or invalid UTF-8, which PostgreSQL "
                                               "cannot store")
                              : QStringLiteral("invalid UTF-8, which MySQL cannot store in its "
                                               "text"),
                          Lines(notes.unstorable));
    }
    return lines;
}

QString RunEndMessage(const QString& ending, const QString& rulesSummary,
                      const std::vector<FileNotesOf>& files, const ConversionOptions& options,
                      int shownFiles) {
    QString text = ending;
    if (!rulesSummary.isEmpty()) {
        text += QStringLiteral("\r\n\r\nRules: ") + rulesSummary;
    }
    int withNotes = 0;
    for (const auto& file : files) {
        const QStringList lines = NoteLines(file.notes, options);
        if (lines.isEmpty()) {
            continue;
        }
        if (++withNotes > shownFiles) {
            continue;
        }
        text +=
            QStringLiteral("\r\n\r\n") + ShownText(FromPathBytes(file.path)) + QStringLiteral(":");
        for (const QString& line : lines) {
            text += QStringLiteral("\r\n  ") + line;
        }
    }
    if (withNotes > shownFiles) {
        text += QStringLiteral("\r\n\r\n%1 more files have notes.").arg(withNotes - shownFiles);
    }
    return text;
}

}  // namespace quarrytab
