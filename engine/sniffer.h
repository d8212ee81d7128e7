// How to read a file, decided from its first bytes (`--auto`, the window's Detect): encoding,
// delimiter, quoted fields, lines before the table, comment prefix and header row, each decision
// with its reason in words a person understands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/options.h"

namespace quarrytab {

// The bytes read from the start of a file to decide how to read it.
inline constexpr std::size_t kSniffBytes = 64 << 10;

// What the sample showed. `rules` holds the options to read the file with: those the user set
// (see ConversionOptions::Kept) as they were, the others as decided.
struct SniffedRules {
    ConversionOptions rules;
    std::size_t fields = 0;            // the table's field count in the sample
    std::size_t widest = 0;            // the widest record in the sample
    std::vector<std::string> reasons;  // each decision and why, in order
    std::vector<std::string> doubts;   // what the sample could not tell
    // The reasons and then the doubts, as one line.
    std::string summary() const;
};

// Decides the rules for a file from its first bytes. `complete`: the sample is the whole file
// (otherwise its last line may be cut short and is not looked at). `given` holds the options
// the user set; those named in `given.Kept` are kept and the rest decided around them. When
// `given.Kept.encoding` is set the sample is already in UTF-8.
SniffedRules SniffSample(std::string_view sample, bool complete, const ConversionOptions& given);

}  // namespace quarrytab
