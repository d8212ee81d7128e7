// Path text helpers and file-system probes. Paths are UTF-8 byte strings with the platform's
// separator; the text helpers take the separator style as a parameter so the Windows rules can be
// checked on every platform.
#pragma once

#include <string>
#include <string_view>

namespace quarrytab {

enum class PathStyle {
    Windows,  // "\" separates folders; a leading "\\" names a network share
    Posix,    // "/" separates folders
};

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

constexpr char Separator(PathStyle style) {
    return style == PathStyle::Windows ? '\\' : '/';
}

// The text after the last separator; the whole path when there is none; "" when it ends in one.
std::string GetFileNameFromPath(std::string_view path, PathStyle style = kNativePathStyle);

// The name without its last extension; a name whose only "." is its first character (".csv")
// and a name without "." stay as they are.
std::string RemoveFileExtension(std::string_view name);

// The path up to and including its last separator; "" when there is none.
std::string GetFolderFromPath(std::string_view path, PathStyle style = kNativePathStyle);

// Collapses doubled separators. Windows: one pass turning "\\" into "\" (so "\\\" becomes "\\"),
// except that a leading run of backslashes becomes exactly "\\" (a network share). Posix: every
// run of "/" becomes one "/".
std::string FixDoubleBackslashes(std::string_view path, PathStyle style = kNativePathStyle);

// The base name a file's table is named after: its file name without the last extension.
inline std::string BaseNameOf(std::string_view path, PathStyle style = kNativePathStyle) {
    return RemoveFileExtension(GetFileNameFromPath(path, style));
}

// Probes: they never throw and turn every failure into false.
bool FolderExists(std::string_view path);  // an existing folder
bool FileExists(std::string_view path);    // an existing file that is not a folder
bool PathExists(std::string_view path);    // anything whose modification time can be read

}  // namespace quarrytab
