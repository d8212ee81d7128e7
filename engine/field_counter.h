// A tokenizer handler that writes nothing and only counts: the fields of each record, the line
// it starts on and whether it is blank. What choosing a delimiter (-d auto) and any other look at
// a file's shape use, so they read a file exactly as its conversion will. Not part of the
// engine's interface.
//
//   FieldCounter counter;
//   Tokenizer<FieldCounter> tokenizer(rules, counter);
//   tokenizer.feed(bytes, true, FieldCounter::kEvery);
//   tokenizer.finish(true);
//   for (const auto& record : counter.records()) ...
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/tokenizer.h"

namespace quarrytab::detail {

class FieldCounter {
  public:
    struct Record {
        std::uint64_t line = 0;  // the line it starts on
        std::size_t fields = 0;  // 0 for an empty line
        bool blank = false;      // its first line holds nothing but spaces
    };
    // A record limit for Tokenizer::feed that never stops it.
    static constexpr std::uint64_t kEvery = std::numeric_limits<std::uint64_t>::max() / 2;

    // The records counted so far, in order.
    const std::vector<Record>& records() const { return m_records; }

    // The tokenizer's hooks: no value byte needs a look, and the block path is not taken.
    const std::array<bool, 256>& looks() const {
        static constexpr std::array<bool, 256> kNone{};
        return kNone;
    }
    void beginRecord(std::uint64_t line, char) { m_current = Record{line, 0, false}; }
    void beginField(bool) { ++m_current.fields; }
    void run(const char*, const char*) {}
    void byte(char) {}
    void endField() {}
    void endRecord(bool blank) {
        m_current.blank = blank;
        m_records.push_back(m_current);
    }
    void dropRecord() {}
    bool partSent() const { return false; }
    bool stopped() const { return false; }

    BlockLooks blockLooks() const { return {}; }
    bool blockReady(bool) { return false; }
    char* cursor() const { return nullptr; }
    void setCursor(char*) {}
    bool blockRoom(char*&) { return false; }
    char* blockCopy(char* out, const char*, std::size_t) { return out; }
    char* blockQuote(char* out) { return out; }
    char* blockCut(char* out, const BlockLooks&) {
        ++m_current.fields;
        return out;
    }

  private:
    std::vector<Record> m_records;
    Record m_current;
};

}  // namespace quarrytab::detail
