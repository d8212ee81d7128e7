// The folder walk and the file listing behind the folder adders: expanding folders with every
// folder beneath them, listing a folder's files by wildcard, and collecting every matching file
// of a tree.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string_view>

#include "engine/error_trap.h"
#include "filelist/folder_reader.h"

namespace quarrytab {

// The location text the walk's error reports carry.
inline constexpr std::string_view kFolderWalkLocation =
    "in Ternwick2021/08/31.AddFolder.GetSubDirectories2016 ";

// Paths and names this long or longer are left out of the walk.
inline constexpr qsizetype kMaxWalkPathLength = 260;

// Called for every folder the walk looks at, finds or lists, so a window can handle its events
// meanwhile; returning false cancels the walk.
using WalkYield = std::function<bool()>;

// True when the name holds a control character (below 32 or from 127 to 159) or "?". Such
// folders are left out of the walk, since their paths cannot be typed or passed on safely.
bool HasUnsafeCharacters(const QString& name);

// Wildcard matching as in Windows file searches: "*" any run of characters, "?" one character,
// letters regardless of case; a pattern ending in ".*" also matches without that ending (so "*.*"
// matches every name), and one ending in a lone "." also matches a name without any ".".
bool MatchesWildcard(const QString& pattern, const QString& name);

// Extends `folders` (paths ending with the separator) in place with every folder beneath them,
// level by level: first the children of every entry, in the order of their parents, then the
// grandchildren, and so on (only the children when `recurse` is false). Entries whose folder
// cannot be read because access is denied or the path is not found are removed. Links to folders
// are neither listed nor descended, nor are folders with unsafe names (see HasUnsafeCharacters) or
// paths or names of kMaxWalkPathLength characters or more. Other failures are reported to
// `reporter` under kFolderWalkLocation and the walk goes on. Returns false when `yield` cancelled
// the walk; the list then holds its starting entries (less those removed) and nothing new.
bool GetSubDirectories2016(QStringList& folders, bool recurse, ErrorReporter& reporter,
                           const WalkYield& yield = {},
                           FolderReader& reader = systemFolderReader());

// The bare names of the files in `folder` (with or without a trailing separator) that match the
// wildcard `pattern`, hidden ones included, folders (and pipes, sockets and devices) left out, in
// name order without regard to case. A folder that cannot be read gives the names read before the
// failure, or none.
QStringList GetFilesInFolder(const QString& folder, const QString& pattern,
                             FolderReader& reader = systemFolderReader());

// The full paths of every file matching `pattern` in `folder` and in every folder beneath it,
// folder by folder in walk order, leaving out names that begin with "~" (the lock and backup
// files office programs leave beside a document). Empty when `yield` cancelled the walk.
QStringList CollectFiles(const QString& folder, const QString& pattern, ErrorReporter& reporter,
                         const WalkYield& yield = {}, FolderReader& reader = systemFolderReader());

}  // namespace quarrytab
