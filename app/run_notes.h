// What a conversion noticed in a file that its user should know of, in the window's words: rows of
// another width, a quote left open, bytes invalid in the encoding, values the database cannot
// store, the delimiter chosen. Shown once after a run and under the rules dialog's preview.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "engine/file_notes.h"
#include "engine/options.h"

namespace quarrytab {

// One sentence per thing noticed; empty when there is nothing to say.
QStringList NoteLines(const FileNotes& notes, const ConversionOptions& options);

// A file's notes from a run, and the path they belong to.
struct FileNotesOf {
    std::string path;
    FileNotes notes;
};

// The message a run ends with when rules were on: `ending` ("Done."), the rules in a line, then
// each file's notes under its name, the first `shownFiles` files with notes only.
QString RunEndMessage(const QString& ending, const QString& rulesSummary,
                      const std::vector<FileNotesOf>& files, const ConversionOptions& options,
                      int shownFiles = 10);

}  // namespace quarrytab
