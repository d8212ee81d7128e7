// Where a conversion hands the records it leaves out, so none is lost without a trace.
#pragma once

#include <cstdint>
#include <string_view>

namespace quarrytab {

// Takes each record a conversion leaves out (skipped or stopped at for its field count, holding
// what the database cannot store, a quote still open at the end of the file, cut short by a
// failed read): begin() says where it began and why, bytes() hands its bytes as they were read
// (all its lines and its own line end; UTF-8 when the input was read through an encoding), in
// pieces, and end() closes it. A record of any length comes in bounded memory.
class RejectSink {
  public:
    virtual ~RejectSink() = default;
    virtual void begin(std::uint64_t line, std::string_view why) = 0;
    virtual void bytes(std::string_view piece) = 0;
    virtual void end() = 0;
};

}  // namespace quarrytab
