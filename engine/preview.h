// A look at a file before it is converted: its first records as they will be read, under the
// column names the CREATE TABLE will use, and its first statements exactly as they will be
// written. Made from a bounded sample of the file's first bytes, so it takes the same short
// time on a file of any size, and made by the conversion itself, so it never reads a file
// another way than a run does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_notes.h"
#include "engine/options.h"

namespace quarrytab {

// The first bytes of a file.
struct FileSample {
    std::string bytes;
    bool whole = false;  // the file ends within them
    std::string error;   // why the file could not be read; empty when it could
};

// Reads at most `limit` bytes from the start of the file.
FileSample ReadFileSample(std::string_view path, std::size_t limit);

struct PreviewCell {
    std::string text;  // cut at PreviewLimits::cellBytes
    bool null = false;
    bool cut = false;
};

struct PreviewRecord {
    std::vector<PreviewCell> cells;  // the first PreviewLimits::columns of its fields
    std::size_t fields = 0;          // how many fields it has
    bool ragged = false;             // another field count than the first record's
    bool cut = false;                // the sample ends inside it
};

struct PreviewLimits {
    std::size_t records = 100;
    std::size_t columns = 100;
    std::size_t statements = 20;
    std::size_t cellBytes = 200;
    std::size_t statementBytes = 2000;
    // Records longer than this are previewed from their start.
    std::size_t longRecordBytes = 128 << 10;
};

struct Preview {
    std::vector<std::string> columns;     // the names the CREATE TABLE gives the first columns
    std::size_t width = 0;                // the table's column count
    std::vector<PreviewRecord> records;   // the data records, the header left out
    std::size_t recordsInSample = 0;      // data records in the bytes read, shown or not
    std::size_t sampleBytes = 0;          // the bytes of the file read for the preview
    bool complete = false;                // they are the whole file
    std::vector<std::string> statements;  // each cut at PreviewLimits::statementBytes
    bool moreStatements = false;          // the sample makes more statements than shown
    FileNotes notes;                      // of the sample; a quote open at its cut is left out
    std::string problem;                  // why no preview could be made
};

// The rules a run under ConversionOptions::AutoRules reads the file with, decided from the
// sample's first bytes as the run decides them (AutoRules off in the result); `notes.rulesChosen`
// says what was decided and why. Options without AutoRules come back as they are.
ConversionOptions DecideRules(const FileSample& sample, const ConversionOptions& options,
                              FileNotes& notes);

// The preview of a file whose first bytes are `sample`, converted as `baseName` under `options`;
// under AutoRules, with the rules DecideRules gives, and its notes say what they are.
Preview PreviewSample(const FileSample& sample, std::string_view baseName,
                      const ConversionOptions& options, const PreviewLimits& limits = {});

}  // namespace quarrytab
