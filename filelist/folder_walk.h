// The folder walk and the file listing behind the folder adders: expanding folders with every
// folder beneath them, listing a folder's files by wildcard, and collecting every matching file
// of a tree.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

// Why the walk left something out.
enum class WalkSkip {
    PathTooLong,   // a folder not looked into: its absolute path is kMaxWalkPathLength or longer
    NameTooLong,   // a subfolder left out: its name is kMaxWalkPathLength or longer
    UnsafeName,    // a subfolder left out: its name holds unsafe characters (HasUnsafeCharacters)
    Unreadable,    // a folder whose subfolders or files could not be read, or only in part
    LinkToNoFile,  // a link among the files that leads nowhere, or to no regular file
};

// Told of everything the walk leaves out for one of the reasons above, with the folder's path.
// The window stays silent about it; the command line reports it.
using WalkSkipped = std::function<void(const QString& path, WalkSkip reason)>;

// The folder with one separator at its end; a root ("/", or E:\ on Windows) already has it.
QString WithSeparator(const QString& folder);

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
// names of kMaxWalkPathLength characters or more; a folder whose path is that long is listed but
// not descended, its length measured on its absolute path, so it does not matter how the folder
// was typed. Other failures are reported to `reporter` under kFolderWalkLocation and the walk goes
// on. Returns false when `yield` cancelled the walk; the list then holds its starting entries
// (less those removed) and nothing new.
bool GetSubDirectories2016(QStringList& folders, bool recurse, ErrorReporter& reporter,
                           const WalkYield& yield = {}, FolderReader& reader = systemFolderReader(),
                           const WalkSkipped& skipped = {});

// The bare names of the files in `folder` (with or without a trailing separator) that match the
// wildcard `pattern`, hidden ones included, folders (and pipes, sockets and devices) left out, in
// name order without regard to case. A folder that cannot be read gives the names read before the
// failure, or none.
QStringList GetFilesInFolder(const QString& folder, const QString& pattern,
                             FolderReader& reader = systemFolderReader());

// The path of an existing file or folder that a file dialog gave as `shown`: the dialogs decode
// names for display, so a name that is not valid UTF-8 comes back with replacement characters
// and names nothing. Such a name is looked up among its folder's entries by the way it was shown.
// A path that exists, or whose name is found nowhere, is returned as it is.
QString ResolveShownPath(const QString& shown, FolderReader& reader = systemFolderReader());

// The full paths of every file matching `pattern` in `folder` and in every folder beneath it,
// folder by folder in walk order, leaving out names that begin with "~" (the lock and backup
// files office programs leave beside a document). Empty when `yield` cancelled the walk. What the
// walk leaves out, and folders whose files cannot be listed, are told to `skipped`.
QStringList CollectFiles(const QString& folder, const QString& pattern, ErrorReporter& reporter,
                         const WalkYield& yield = {}, FolderReader& reader = systemFolderReader(),
                         const WalkSkipped& skipped = {});

// CollectFiles for the command line, over the engine's path bytes (see ToPathBytes): `folder`,
// `pattern` and the paths returned, and those told to `skipped`, are bytes as the platform gives
// them, so a name that is not valid UTF-8 comes back unchanged.
using WalkSkippedBytes = std::function<void(const std::string& path, WalkSkip reason)>;
std::vector<std::string> CollectPathBytes(std::string_view folder, std::string_view pattern,
                                          ErrorReporter& reporter,
                                          const WalkSkippedBytes& skipped = {});

}  // namespace quarrytab
