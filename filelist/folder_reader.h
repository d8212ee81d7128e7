// Reading folders: what the folder walk and the file listing ask of the file system, behind an
// interface so tests can make a folder fail in ways a test run (even as root) cannot arrange.
#pragma once

#include <QList>
#include <QString>
#include <cstdint>

namespace quarrytab {

// Attribute bits, with the values Windows gives them. Elsewhere a folder carries kDirectory, a
// name beginning with "." kHidden, a regular file kArchive, a symbolic link kReparsePoint and a
// file without its owner's write permission kReadOnly; there is no system bit.
namespace attributes {
inline constexpr std::uint32_t kReadOnly = 1;
inline constexpr std::uint32_t kHidden = 2;
inline constexpr std::uint32_t kSystem = 4;
inline constexpr std::uint32_t kDirectory = 16;
inline constexpr std::uint32_t kArchive = 32;
inline constexpr std::uint32_t kReparsePoint = 1024;
}  // namespace attributes

enum class ReadError {
    None,
    PermissionDenied,  // failure number 70
    PathNotFound,      // failure number 76
    Other,             // failure number 75
};

// The failure number the error report carries for a read error (0 for None).
int FailureNumber(ReadError error);

struct FolderEntry {
    QString name;  // the bare name, no folder part
    std::uint32_t attributes = 0;

    bool isDirectory() const { return (attributes & attributes::kDirectory) != 0; }
    bool isLink() const { return (attributes & attributes::kReparsePoint) != 0; }
};

// One folder's entries, sorted by name without regard to case. When reading breaks off part-way,
// `entries` holds what was read before the failure and `error` says why.
struct FolderListing {
    QList<FolderEntry> entries;
    ReadError error = ReadError::None;
    QString errorText;
};

struct PathAttributes {
    std::uint32_t attributes = 0;
    bool isRoot = false;  // a drive root ("C:\") or the file-system root ("/")
    ReadError error = ReadError::None;
    QString errorText;
};

class FolderReader {
  public:
    virtual ~FolderReader() = default;

    // Probes; they never fail.
    virtual bool folderExists(const QString& path) = 0;
    virtual bool fileExists(const QString& path) = 0;

    // The attributes of one path (a link's own, with the directory bit when it leads to a folder).
    virtual PathAttributes attributesOf(const QString& path) = 0;

    // The entries of one folder. The attributes are those the listing gives without a further
    // look at each entry, so every bit but kReadOnly; a link is looked at once more to tell
    // whether it leads to a folder.
    virtual FolderListing list(const QString& folder) = 0;
};

// The real file system, through std::filesystem.
class SystemFolderReader : public FolderReader {
  public:
    bool folderExists(const QString& path) override;
    bool fileExists(const QString& path) override;
    PathAttributes attributesOf(const QString& path) override;
    FolderListing list(const QString& folder) override;
};

// The one shared reader of the real file system (it keeps no state).
FolderReader& systemFolderReader();

}  // namespace quarrytab
