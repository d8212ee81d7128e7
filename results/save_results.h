// Writing the results list as the text file "Quarrytab.txt": every row's bytes followed by CR LF.
// A regular file is written to a temporary file beside it and put in its place only when every
// byte is written, so a failed save leaves the old file (or none) untouched.
#pragma once

#include <QFileDevice>
#include <QString>
#include <functional>
#include <memory>
#include <string_view>

#include "results/statement_store.h"

namespace quarrytab {

inline constexpr char kResultsFileName[] = "Quarrytab.txt";

// Where a save writes: a QSaveFile for a regular file or a new one; a QFile for a target that
// exists but is not a regular file (a device, a named pipe), which replacing would destroy.
std::unique_ptr<QFileDevice> CreateResultsFile(const QString& path);
// The same for a path given as the name's own bytes (see FileSystemPath). A name that is no
// UTF-8, which Qt cannot spell on a system whose names are bytes, is written through the
// platform's own calls, under a temporary name beside the target as well.
std::unique_ptr<QFileDevice> CreateResultsFile(std::string_view pathBytes);

// Creates the device a save writes through; tests pass one that fails.
using ResultsFileFactory = std::function<std::unique_ptr<QFileDevice>(const QString& path)>;

// Opens the device for writing; throws Failure (a path/file access error) when it cannot.
void OpenResultsFile(QFileDevice& device);

// Writes every row followed by CR LF, in blocks of a few MiB, calling `yield` between blocks.
// Throws Failure (a device I/O error) when a write failed; nothing after it is written.
void WriteResultRows(const StatementStore& rows, QIODevice& device,
                     const std::function<void()>& yield = {});

// Finishes a save: puts a QSaveFile in place of the target, or flushes and closes a plain file.
// Throws Failure (a device I/O error) when that failed; the target is then as it was.
void CommitResultsFile(QFileDevice& device);

// Drops a save that failed: a QSaveFile's temporary file is removed.
void DiscardResultsFile(QFileDevice& device);

}  // namespace quarrytab
