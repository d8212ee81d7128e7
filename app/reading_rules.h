// The rules for real-world files that the window offers through its "Reading Rules..." dialog:
// how files are read and how their statements are written, beyond the window's own controls.
// With every rule at its default (the classic rules) the window writes its classic statements.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/options.h"

namespace quarrytab {

class SettingsStore;

struct ReadingRules {
    // Reading.
    bool QuotedFields = false;  // RFC 4180: "a, b" is one value
    bool HeaderRow = false;     // the first record names the columns
    std::uint64_t SkipLines = 0;
    std::string CommentPrefix;
    std::string Encoding;  // empty: the bytes as they are
    // Each file's rules decided from its first bytes when it is converted (the two above
    // left aside; the three before this kept when set).
    bool DetectEachFile = false;
    // Writing.
    Dialect Database = Dialect::Classic;
    bool EmptyAsNull = false;
    RaggedMode OtherWidth = RaggedMode::Keep;
    std::size_t RowsPerInsert = 1;
    bool Transaction = false;

    bool operator==(const ReadingRules&) const = default;
    // True when any rule differs from the classic rules.
    bool any() const { return *this != ReadingRules{}; }
};

// The greatest "Rows per INSERT" the dialog offers (the databases' own limit), and the most lines
// it skips.
inline constexpr std::size_t kMostRowsPerInsert = 1000;
inline constexpr std::uint64_t kMostSkipLines = 2147483647;

// What the rules dialog opens with and gives back.
struct RulesRequest {
    ReadingRules rules;        // the rules shown; after OK, the rules kept
    ConversionOptions window;  // the window's own choices, which the preview writes with
    QStringList files;         // the input list's files, for the preview and Detect
    int shownFile = 0;         // the one previewed first
    QSize size;                // the size to open at (empty: its own); the size it was left at
};

// Sets the options a run takes from the rules, on top of the window's own choices, as the
// command line sets them from the same rules: a byte-order mark is dropped with quoted fields, a
// header or an encoding, and with a database chosen the window's default name quote ' gives way
// to the database's own.
void ApplyRules(const ReadingRules& rules, ConversionOptions& options);

// The rules in a few words, "quoted fields, header, PostgreSQL"; "" for the classic rules.
QString RulesSummary(const ReadingRules& rules);

// The names the dialog and the summary give the databases and the modes for rows of another width.
QString DatabaseName(Dialect dialect);
QString OtherWidthName(RaggedMode mode);

// The settings keys of the rules and of the dialog's size, each in its own key; a missing key is
// the classic rule.
QStringList RulesSettingsKeys();
inline constexpr char kRulesDialogSizeKey[] = "Rules Dialog Size";

// Writes every rule to its key.
void WriteRules(const ReadingRules& rules,
                const std::function<void(const QString&, const QString&)>& write);

// Reads one rule's key into `rules`; throws Failure (type mismatch) when the stored value is
// damaged, leaving that rule classic.
void ReadRule(const QString& key, const QString& value, ReadingRules& rules);

}  // namespace quarrytab
