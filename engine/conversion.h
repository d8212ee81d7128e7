// A conversion over files: each file's lines read in order and turned into its statements.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/error_trap.h"
#include "engine/file_notes.h"
#include "engine/options.h"
#include "engine/paths.h"
#include "engine/platform.h"
#include "engine/reject_sink.h"
#include "engine/statements.h"

namespace quarrytab {

struct ConversionProgress {
    std::size_t fileIndex = 0;        // the file being converted, from 0
    std::uint64_t fileBytesRead = 0;  // bytes of that file read so far
    std::uint64_t linesDone = 0;      // lines converted so far, over all files
};

// Called every few thousand lines and after each file; returning false stops the conversion.
using ProgressHook = std::function<bool(const ConversionProgress&)>;

// Where a conversion's statements go and who hears how it goes: the sink takes the statements,
// the reporter each file that cannot be opened or read, the hook the progress. `state` carries
// the progress from one file to the next, `notes` takes what a file's conversion noticed,
// `style` says how a path names its file, and `rejects`, when given, takes every record the
// statements leave out; a record the database cannot take (a value it cannot store, a quote
// still open at the end of the file) is then left out too rather than written.
struct ConversionContext {
    ErrorReporter& reporter;
    StatementSink& sink;
    ProgressHook progress = {};
    ConversionProgress* state = nullptr;
    FileNotes* notes = nullptr;
    PathStyle style = kNativePathStyle;
    RejectSink* rejects = nullptr;
};

// Converts one file. A file that cannot be opened or read is reported through the reporter and
// contributes the statements of the lines read before the failure. Returns false when the
// progress hook asked to stop, a ragged record stopped the conversion, or the table's definition
// refused a value and nothing was written (see `notes`).
bool ConvertFile(std::string_view path, const ConversionOptions& options,
                 const ConversionContext& context);

// Converts bytes that come from elsewhere (standard input) as a file of the given base name.
bool ConvertStream(ByteSource& source, std::string_view baseName, const ConversionOptions& options,
                   const ConversionContext& context);

// Decides the reading rules of a file as a conversion under ConversionOptions::AutoRules does,
// from its first bytes, and converts nothing: `notes.rulesChosen` says what was decided and why.
// When the table's definition takes a first read (SurveysColumns), the whole file is read for it:
// `notes.columnTypes` and `notes.valuesRefused` say what it would be. A file that cannot be opened
// or read is reported through the reporter. ExplainStream returns the options the conversion would
// read the source with (AutoRules off, every rule decided).
void ExplainFile(std::string_view path, const ConversionOptions& options, ErrorReporter& reporter,
                 FileNotes& notes);
ConversionOptions ExplainStream(ByteSource& source, const ConversionOptions& options,
                                ErrorReporter& reporter, FileNotes& notes);

// Empty when the options can be used for a conversion; otherwise what is wrong with them (an
// encoding that is not known).
std::string OptionsProblem(const ConversionOptions& options);

// Converts files in the order given; every file is tried whatever happened to the one before.
// Returns false when the progress hook asked to stop. The context's `state` and `notes` are
// not used.
bool ConvertFiles(const std::vector<std::string>& paths, const ConversionOptions& options,
                  const ConversionContext& context);

}  // namespace quarrytab
