// The --rejects file: every record a run left out, as it was read, each after a comment line
// saying where it was and why ("# people.csv line 12: 5 fields where the table has 4; left out
// (--ragged skip)"), so a person can mend the records and load the file again with the run's
// options and --comment '#'. It replaces its target only once complete, as -o's file does, and
// is written (empty) when nothing was left out, so it never shows an earlier run's records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/output_writer.h"
#include "engine/reject_sink.h"

namespace quarrytab {

class RejectsFile final : public RejectSink {
  public:
    explicit RejectsFile(const std::string& path);

    // Opens the new version of the file; throws a Failure when it cannot.
    void open() { m_writer.open(); }
    // The input whose records come next, as the messages name it.
    void setCurrent(const std::string& where) { m_where = where; }

    void begin(std::uint64_t line, std::string_view why) override;
    void bytes(std::string_view piece) override;
    void end() override;
    // A whole input left out, in one comment line.
    void inputLeftOut(std::string_view why);

    // Records handed on so far.
    std::uint64_t records() const { return m_records; }
    // Replaces the target; throws a Failure when the file could not be written.
    void finish() { m_writer.finish(); }
    void discard() { m_writer.discard(); }

  private:
    void put(std::string_view text);
    void putNote(bool beginsWithComment);

    OutputWriter m_writer;
    std::string m_where;
    std::string m_note;  // the record's comment line, written once its first byte is known
    bool m_noteWritten = true;
    char m_last = '\n';  // the last byte written
    std::uint64_t m_records = 0;
};

}  // namespace quarrytab
