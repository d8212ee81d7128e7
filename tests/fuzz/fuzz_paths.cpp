// Fuzzes the path text rules: a path is its folder followed by its file name; removing an
// extension cuts at the last dot only; separator clean-up is idempotent for "/" paths and, for
// "\" paths, leaves no doubled separator after a network share's leading pair.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/paths.h"

namespace {
void Require(bool condition) {
    if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quarrytab;
    const std::string_view path(reinterpret_cast<const char*>(data), size);
    for (const PathStyle style : {PathStyle::Windows, PathStyle::Posix}) {
        const std::string name = GetFileNameFromPath(path, style);
        const std::string folder = GetFolderFromPath(path, style);
        Require(folder + name == path);
        Require(name.find(Separator(style)) == std::string::npos);

        const std::string base = RemoveFileExtension(name);
        Require(std::string_view(name).substr(0, base.size()) == base);
        if (base != name) {
            Require(!base.empty() && name[base.size()] == '.');
            Require(name.find('.', base.size() + 1) == std::string::npos);
        }
    }

    const std::string posix = FixDoubleBackslashes(path, PathStyle::Posix);
    Require(posix.find("//") == std::string::npos);
    Require(FixDoubleBackslashes(posix, PathStyle::Posix) == posix);

    const std::string windows = FixDoubleBackslashes(path, PathStyle::Windows);
    Require(windows.size() <= path.size() + 1);
    if (!path.empty() && path.front() == '\\') {
        Require(windows.substr(0, 2) == "\\\\");
        Require(windows.size() == 2 || windows[2] != '\\');
    }
    // A path without runs of three or more separators is clean after one pass.
    if (path.find("\\\\\\") == std::string_view::npos) {
        const std::string again = FixDoubleBackslashes(windows, PathStyle::Windows);
        Require(again == windows);
    }
    return 0;
}
