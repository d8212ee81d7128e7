#include "filelist/folder_walk.h"

#include <QDir>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "engine/paths.h"
#include "filelist/qt_text.h"

namespace quarrytab {

namespace {

// Attribute values of folders the walk leaves alone below its starting entries: system folders
// (directory + hidden + system) and junctions (the same plus reparse point).
constexpr std::uint32_t kProtectedFolder =
    attributes::kDirectory | attributes::kHidden | attributes::kSystem;                     // 22
constexpr std::uint32_t kProtectedJunction = kProtectedFolder | attributes::kReparsePoint;  // 1046

QChar Separator() {
    return QDir::separator();
}

void ThrowIfFailed(ReadError error, const QString& text) {
    if (error != ReadError::None) {
        throw Failure(FailureNumber(error), ToUtf8(text));
    }
}

bool IsWalkable(const PathAttributes& info) {
    return info.isRoot ||
           (info.attributes != kProtectedFolder && info.attributes != kProtectedJunction);
}

// A path's length as if it were written absolute and without "." or ".." parts, so the length
// limit is the same however a folder was typed ("d", "./d" or "/home/me/d").
qsizetype AbsoluteLength(const QString& path) {
    const auto plain = [&] {
        qsizetype start = 0;
        for (qsizetype i = 0; i <= path.size(); ++i) {
            if (i == path.size() || path.at(i) == u'/' || path.at(i) == u'\\') {
                const QStringView part = QStringView(path).sliced(start, i - start);
                if (part == u"." || part == u"..") {
                    return false;
                }
                start = i + 1;
            }
        }
        return true;
    };
    if (QDir::isAbsolutePath(path) && plain()) {
        return path.size();
    }
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    return absolute.size() + (absolute.endsWith(u'/') ? 0 : 1);  // the walk's trailing separator
}

bool IsUnreadable(const Failure& failure) {
    return failure.number() == FailureNumber(ReadError::PermissionDenied) ||
           failure.number() == FailureNumber(ReadError::PathNotFound);
}

// How many UTF-16 units the character at `index` takes, so "?" matches a whole character.
qsizetype CharacterWidth(const QString& text, qsizetype index) {
    return text.at(index).isHighSurrogate() && index + 1 < text.size() &&
                   text.at(index + 1).isLowSurrogate()
               ? 2
               : 1;
}

// "*" and "?" over case-folded text, backtracking to the last "*" only, so the cost stays
// proportional to pattern length times name length at worst.
bool Glob(QStringView pattern, const QString& name) {
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype starPattern = -1;
    qsizetype starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && pattern[p] == u'?') {
            ++p;
            n += CharacterWidth(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starPattern >= 0) {
            p = starPattern + 1;
            starName += CharacterWidth(name, starName);
            n = starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

// A pattern folded once and matched against many names.
class Wildcard {
  public:
    explicit Wildcard(const QString& pattern) : m_pattern(pattern.toCaseFolded()) {}

    bool matches(const QString& name) const {
        const QString folded = name.toCaseFolded();
        if (Glob(m_pattern, folded)) {
            return true;
        }
        const QStringView pattern(m_pattern);
        if (pattern.endsWith(u".*")) {
            return Glob(pattern.chopped(2), folded);
        }
        if (pattern.endsWith(u'.') && !folded.contains(u'.')) {
            return Glob(pattern.chopped(1), folded);
        }
        return false;
    }

  private:
    QString m_pattern;
};

// One walk: examines the folder list level by level. Each level is examined as one pass with its
// own enumeration trap: until the first enumeration of the level begins, a failure is reported
// and the pass goes on with its next step; from then on a failure silently ends the work on the
// current folder, and removes it from its level when it cannot be read at all.
class Walk {
  public:
    Walk(ErrorReporter& reporter, const WalkYield& yield, FolderReader& reader,
         const WalkSkipped& skipped)
        : m_reporter(reporter), m_yield(yield), m_reader(reader), m_skipped(skipped) {}

    bool cancelled() const { return m_cancelled; }

    // A folder whose path is too long to walk into; its subfolders are said to be skipped.
    bool tooLong(const QString& folder) {
        if (AbsoluteLength(folder) < kMaxWalkPathLength) {
            return false;
        }
        if (m_skipped && hasSubfolders(folder)) {
            m_skipped(folder, WalkSkip::PathTooLong);
        }
        return true;
    }

    // The subfolders of every entry of `level`, in order; unreadable entries leave `level`.
    QStringList examineLevel(QStringList& level) {
        QStringList found;
        bool armed = false;
        std::optional<Failure> failure;
        // Runs one numbered step; false means the rest of the current folder is to be skipped.
        const auto step = [&](int line, const auto& action) {
            try {
                action();
                return true;
            } catch (...) {
                Failure caught = CurrentFailure(std::current_exception());
                if (armed) {
                    failure = std::move(caught);
                    return false;
                }
                m_reporter.reportApplicationError(kFolderWalkLocation, line, caught);
                return true;
            }
        };
        // Entries leave `level` while it is walked, so the walk goes over a copy.
        const QStringList entries = level;
        for (const QString& folder : entries) {
            if (!m_reader.folderExists(folder)) {
                continue;  // 112
            }
            if (tooLong(folder)) {
                continue;  // 114
            }
            if (!keepGoing()) {
                break;  // 116
            }
            PathAttributes info;
            const bool go = step(118, [&] {
                info = m_reader.attributesOf(folder);
                ThrowIfFailed(info.error, info.errorText);
            });
            if (go && !IsWalkable(info)) {
                continue;  // 118
            }
            armed = true;  // 120
            if (!go || !step(122, [&] { enumerate(folder, found); })) {
                if (m_cancelled) {
                    break;
                }
                skip(folder, WalkSkip::Unreadable);
                if (IsUnreadable(*failure)) {  // 142-148
                    const qsizetype index = level.indexOf(folder);
                    if (index >= 0) {
                        level.removeAt(index);
                    }
                }
            }
            if (m_cancelled) {
                break;
            }
        }
        return found;
    }

    // Adds the folders found on one level to `listed`, checking each once more, since the
    // enumeration does not show whether a folder is protected.
    void appendListed(const QStringList& found, QStringList& listed) {
        StepTrap trap(m_reporter, kFolderWalkLocation);
        for (const QString& folder : found) {
            if (!m_reader.folderExists(folder)) {
                continue;  // 158
            }
            if (!keepGoing()) {
                return;
            }
            trap.step(160, [&] {
                const PathAttributes info = m_reader.attributesOf(folder);
                ThrowIfFailed(info.error, info.errorText);
                if (IsWalkable(info)) {
                    listed.push_back(folder);
                }
            });
        }
    }

  private:
    void skip(const QString& path, WalkSkip reason) const {
        if (m_skipped) {
            m_skipped(path, reason);
        }
    }

    // Only a folder that holds folders loses anything by not being descended.
    bool hasSubfolders(const QString& folder) {
        const FolderListing listing = m_reader.list(WithSeparator(folder));
        return std::any_of(
            listing.entries.begin(), listing.entries.end(),
            [](const FolderEntry& entry) { return entry.isDirectory() && !entry.isLink(); });
    }

    bool keepGoing() {
        if (!m_cancelled && m_yield && !m_yield()) {
            m_cancelled = true;
        }
        return !m_cancelled;
    }

    void enumerate(const QString& folder, QStringList& found) {
        const QString parent = WithSeparator(folder);
        const FolderListing listing = m_reader.list(parent);
        for (const FolderEntry& entry : listing.entries) {
            if (!keepGoing()) {
                return;  // 124
            }
            // A link to a folder may lead back to an ancestor, and the walk would then never end.
            if (!entry.isDirectory() || entry.isLink()) {
                continue;
            }
            const QString& name = entry.name;  // 126
            if (name.size() >= kMaxWalkPathLength) {
                skip(parent + name, WalkSkip::NameTooLong);
                continue;  // 128
            }
            if (HasUnsafeCharacters(name)) {
                skip(parent + name, WalkSkip::UnsafeName);
                continue;  // 130, 132
            }
            if (name == u"." || name == u"..") {
                continue;  // 134
            }
            found.push_back(parent + name + Separator());  // 136
        }
        // Folders read before a failure part-way through stay found.
        ThrowIfFailed(listing.error, listing.errorText);
    }

    ErrorReporter& m_reporter;
    const WalkYield& m_yield;
    FolderReader& m_reader;
    const WalkSkipped& m_skipped;
    bool m_cancelled = false;
};

// The names GetFilesInFolder gives; `unreadable` is set when the listing failed, at once or
// part-way. Links that match and lead to no file go to `noFile` when it is given.
QStringList MatchingFiles(const QString& folder, const QString& pattern, FolderReader& reader,
                          bool& unreadable, QStringList* noFile = nullptr) {
    unreadable = false;
    if (folder.isEmpty()) {
        return {};
    }
    const QString parent = WithSeparator(folder);
    const Wildcard wildcard(pattern);
    const FolderListing listing = reader.list(parent);
    unreadable = listing.error != ReadError::None;
    QStringList names;
    for (const FolderEntry& entry : listing.entries) {
        if (entry.isDirectory() || !wildcard.matches(entry.name)) {
            continue;
        }
        // A regular file was seen as one by the listing itself; only links and entries of another
        // kind need a look of their own, which would otherwise double the cost of a listing.
        const bool seenAsFile = (entry.attributes & attributes::kArchive) != 0 && !entry.isLink();
        if (seenAsFile || reader.fileExists(parent + entry.name)) {
            names.push_back(entry.name);
        } else if (entry.isLink() && noFile != nullptr) {
            noFile->push_back(entry.name);
        }
    }
    return names;
}

}  // namespace

QString WithSeparator(const QString& folder) {
    return folder.endsWith(Separator()) ? folder : folder + Separator();
}

bool HasUnsafeCharacters(const QString& name) {
    for (const QChar character : name) {
        const char16_t code = character.unicode();
        if (code < 32 || (code >= 127 && code <= 159) || code == u'?') {
            return true;
        }
    }
    return false;
}

bool MatchesWildcard(const QString& pattern, const QString& name) {
    return Wildcard(pattern).matches(name);
}

bool GetSubDirectories2016(QStringList& folders, bool recurse, ErrorReporter& reporter,
                           const WalkYield& yield, FolderReader& reader,
                           const WalkSkipped& skipped) {
    Walk walk(reporter, yield, reader, skipped);
    // Each level is examined before the next is found, so the list grows in level order; every
    // level's paths are longer than its parents', and long paths are not descended, so the
    // number of levels is bounded.
    std::vector<QStringList> levels;
    QStringList next = walk.examineLevel(folders);
    while (!walk.cancelled() && !next.isEmpty()) {
        levels.push_back(std::move(next));
        if (!recurse) {
            break;
        }
        next = walk.examineLevel(levels.back());
    }
    QStringList listed;
    for (const QStringList& level : levels) {
        if (walk.cancelled()) {
            break;
        }
        walk.appendListed(level, listed);
    }
    if (walk.cancelled()) {
        return false;
    }
    folders += listed;
    return true;
}

QStringList GetFilesInFolder(const QString& folder, const QString& pattern, FolderReader& reader) {
    bool unreadable = false;
    return MatchingFiles(folder, pattern, reader, unreadable);
}

QString ResolveShownPath(const QString& shown, FolderReader& reader) {
    if (!shown.contains(QChar::ReplacementCharacter) || reader.fileExists(shown) ||
        reader.folderExists(shown)) {
        return shown;
    }
    const QChar separator = Separator();
    const QStringList parts = shown.split(separator);
    QString path = parts.first();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& part = parts.at(i);
        QString name = part;
        if (part.contains(QChar::ReplacementCharacter)) {
            for (const FolderEntry& entry : reader.list(path + separator).entries) {
                const std::string bytes = ToPathBytes(entry.name);
                // The way the dialogs decode a name for display.
                if (QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size())) == part) {
                    name = entry.name;
                    break;
                }
            }
        }
        path += separator + name;
    }
    return path;
}

QStringList CollectFiles(const QString& folder, const QString& pattern, ErrorReporter& reporter,
                         const WalkYield& yield, FolderReader& reader, const WalkSkipped& skipped) {
    if (folder.isEmpty()) {
        return {};
    }
    const QString start = WithSeparator(FromPathBytes(FixDoubleBackslashes(ToPathBytes(folder))));
    QStringList folders{start};
    if (!GetSubDirectories2016(folders, true, reporter, yield, reader, skipped)) {
        return {};
    }
    QStringList files;
    for (const QString& current : folders) {
        if (yield && !yield()) {
            return {};
        }
        bool unreadable = false;
        QStringList noFile;
        for (const QString& name : MatchingFiles(current, pattern, reader, unreadable, &noFile)) {
            if (!name.startsWith(u'~')) {
                files.push_back(current + name);
            }
        }
        if (unreadable && skipped) {
            skipped(current, WalkSkip::Unreadable);
        }
        for (const QString& name : noFile) {
            if (skipped && !name.startsWith(u'~')) {
                skipped(current + name, WalkSkip::LinkToNoFile);
            }
        }
    }
    return files;
}

std::vector<std::string> CollectPathBytes(std::string_view folder, std::string_view pattern,
                                          ErrorReporter& reporter,
                                          const WalkSkippedBytes& skipped) {
    WalkSkipped told;
    if (skipped) {
        told = [&](const QString& path, WalkSkip reason) {
            skipped(ToPathBytes(path), reason);
        };
    }
    const QStringList files = CollectFiles(FromPathBytes(folder), FromPathBytes(pattern), reporter,
                                           {}, systemFolderReader(), told);
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(files.size()));
    for (const QString& file : files) {
        paths.push_back(ToPathBytes(file));
    }
    return paths;
}

}  // namespace quarrytab
