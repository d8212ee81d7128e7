#include "filelist/folder_reader.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/failure_numbers.h"
#include "filelist/qt_text.h"

namespace fs = std::filesystem;

namespace quarrytab {

namespace {

ReadError ErrorKind(const std::error_code& error) {
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted) {
        return ReadError::PermissionDenied;
    }
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
        return ReadError::PathNotFound;
    }
    return ReadError::Other;
}

QString ErrorText(const std::error_code& error) {
    return QString::fromLocal8Bit(error.message());
}

bool IsHiddenName(const QString& name) {
    return name.startsWith(u'.');
}

// Pipes, sockets and devices: reading one may wait forever or never end, so none of them counts
// as a file here.
bool IsSpecial(fs::file_type type) {
    return type == fs::file_type::fifo || type == fs::file_type::socket ||
           type == fs::file_type::block || type == fs::file_type::character;
}

std::uint32_t TypeAttributes(fs::file_type type) {
    if (type == fs::file_type::directory) {
        return attributes::kDirectory;
    }
    if (type == fs::file_type::regular) {
        return attributes::kArchive;
    }
    return 0;
}

bool IsRootPath(const fs::path& path) {
    return path.has_root_directory() && path.relative_path().empty();
}

}  // namespace

int FailureNumber(ReadError error) {
    switch (error) {
        case ReadError::None:
            return 0;
        case ReadError::PermissionDenied:
            return failures::kPermissionDenied;
        case ReadError::PathNotFound:
            return failures::kPathNotFound;
        case ReadError::Other:
            break;
    }
    return failures::kFileAccessError;
}

bool SystemFolderReader::folderExists(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    std::error_code error;
    return fs::is_directory(ToFileSystemPath(path), error);
}

bool SystemFolderReader::fileExists(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    std::error_code error;
    const fs::file_status status = fs::status(ToFileSystemPath(path), error);
    return !error && fs::exists(status) && !fs::is_directory(status) && !IsSpecial(status.type());
}

PathAttributes SystemFolderReader::attributesOf(const QString& path) {
    PathAttributes result;
    const fs::path fsPath = ToFileSystemPath(path);
    std::error_code error;
    const fs::file_status own = fs::symlink_status(fsPath, error);
    if (own.type() == fs::file_type::not_found || error) {
        if (!error) {
            error = std::make_error_code(std::errc::no_such_file_or_directory);
        }
        result.error = ErrorKind(error);
        result.errorText = ErrorText(error);
        return result;
    }
    if (fs::is_symlink(own)) {
        result.attributes |= attributes::kReparsePoint;
        std::error_code targetError;
        result.attributes |= TypeAttributes(fs::status(fsPath, targetError).type());
    } else {
        result.attributes |= TypeAttributes(own.type());
        if ((own.permissions() & fs::perms::owner_write) == fs::perms::none) {
            result.attributes |= attributes::kReadOnly;
        }
    }
    const QString name = FromFileSystemText(fsPath.filename().native());
    if (IsHiddenName(name)) {
        result.attributes |= attributes::kHidden;
    }
    result.isRoot = IsRootPath(fsPath);
    return result;
}

FolderListing SystemFolderReader::list(const QString& folder) {
    FolderListing listing;
    std::error_code error;
    const fs::directory_iterator end;
    for (fs::directory_iterator it(ToFileSystemPath(folder), error); !error && it != end;
         it.increment(error)) {
        const fs::directory_entry& entry = *it;
        FolderEntry item;
        item.name = FromFileSystemText(entry.path().filename().native());
        // The type comes with the listing itself (directory_entry keeps it); only a link costs
        // a further look, to learn whether it leads to a folder.
        std::error_code typeError;
        if (entry.is_symlink(typeError)) {
            item.attributes = attributes::kReparsePoint;
            if (entry.is_directory(typeError)) {
                item.attributes |= attributes::kDirectory;
            }
        } else if (entry.is_directory(typeError)) {
            item.attributes = attributes::kDirectory;
        } else if (entry.is_regular_file(typeError)) {
            item.attributes = attributes::kArchive;
        } else if (entry.is_other(typeError)) {
            continue;  // a pipe, socket or device
        }
        if (IsHiddenName(item.name)) {
            item.attributes |= attributes::kHidden;
        }
        listing.entries.push_back(std::move(item));
    }
    if (error) {
        listing.error = ErrorKind(error);
        listing.errorText = ErrorText(error);
    }
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) {
                  const int order = QString::compare(a.name, b.name, Qt::CaseInsensitive);
                  return order != 0 ? order < 0 : a.name < b.name;
              });
    return listing;
}

FolderReader& systemFolderReader() {
    static SystemFolderReader reader;
    return reader;
}

}  // namespace quarrytab
