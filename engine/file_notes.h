// What a file's conversion noticed besides read failures: the command line reports it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quarrytab {

// Line numbers worth a word to the user: how many, and the first few.
struct LineNotes {
    static constexpr std::size_t kKept = 5;
    std::uint64_t count = 0;
    std::vector<std::uint64_t> first;
    void add(std::uint64_t line) {
        ++count;
        if (first.size() < kKept) {
            first.push_back(line);
        }
    }
};

// The most columns a table may have, and so the most fields of one record whose values are held
// side by side (a first read's survey, --columns choosing by name): no database takes a table of
// more, and a record of millions of fields stays within the conversion's memory bound.
inline constexpr std::size_t kMostColumns = 65536;

// What a file's conversion noticed besides read failures; the command line reports it.
struct FileNotes {
    std::size_t expectedFields = 0;  // the first record's field count
    std::uint64_t rows = 0;          // records written as rows of an INSERT
    bool tableMade = false;          // a table definition was written
    LineNotes ragged;                // records with another field count
    LineNotes unclosedQuote;         // a quoted field still open at the end of the file
    LineNotes unconvertible;         // lines holding what the input's encoding could not convert
    std::uint64_t unconvertibleUnits = 0;  // how many bytes (UTF-16 code units) that was
    bool unitsAreCodeUnits = false;        // the input is UTF-16
    LineNotes unstorable;                  // values the dialect's database cannot store
    std::string detectedDelimiter;      // the delimiter chosen for the file, when it was detected
    bool delimiterUndetected = false;   // detection was asked for and found none
    bool otherDelimiterLikely = false;  // the first lines have one field but hold ";" or TAB
    bool stopped = false;               // a ragged record or a refused name stopped it
    std::string rulesChosen;            // --auto: the reading rules decided for the file and why
    bool rulesUnsure = false;           // --auto: the file's first bytes could not tell them all
    std::string encoding;               // the encoding the file was read in, when one was named
    LineNotes wider;                    // records wider than the table, padded or not
    bool widened = false;               // the table is as wide as the file's widest record
    std::size_t chosenFrom = 0;         // --columns: the field count its fields were chosen from
    std::string refused;                // why the database cannot take the file's names
    std::string namesFitted;            // which names were changed to fit the database, and how
    std::string columnTypes;            // each column's type and why, in one line
    std::vector<std::string> valuesRefused;  // what the table's definition would refuse or change;
                                             // the file's statements are then not written
    bool faultsLeftOut = false;  // records with unstorable values or a quote open at the end were
                                 // left out and handed to the rejects, not written
};

}  // namespace quarrytab
