// Tokenizer handlers that write nothing and only look: FieldCounter counts the fields of each
// record (the line it starts on, whether it is blank) and the widest record; RecordValues keeps
// each record's values. What choosing a delimiter (-d auto), the sniffer and the table's width
// under --ragged pad use, so they read a file exactly as its conversion will. Not part of the
// engine's interface.
//
//   FieldCounter counter;
//   Tokenizer<FieldCounter> tokenizer(rules, counter);
//   tokenizer.feed(bytes, true, FieldCounter::kEvery);
//   tokenizer.finish(true);
//   for (const auto& record : counter.records()) ...
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/tokenizer.h"

namespace quarrytab::detail {

// The hooks of a handler that looks at no value byte on its own and never takes the block path.
class PlainLooking {
  public:
    // A record limit for Tokenizer::feed that never stops it.
    static constexpr std::uint64_t kEvery = std::numeric_limits<std::uint64_t>::max() / 2;

    const std::array<bool, 256>& looks() const {
        static constexpr std::array<bool, 256> kNone{};
        return kNone;
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
    char* blockCut(char* out, const BlockLooks&) { return out; }
};

class FieldCounter : public PlainLooking {
  public:
    struct Record {
        std::uint64_t line = 0;  // the line it starts on
        std::size_t fields = 0;  // 0 for an empty line
        bool blank = false;      // an empty line
    };

    // `keep`: every record is kept for records(); otherwise only the widest is known, in the
    // same small memory however long the input.
    explicit FieldCounter(bool keep = true) : m_keep(keep) {}

    // The records counted so far, in order.
    const std::vector<Record>& records() const { return m_records; }
    // The field count of the widest record so far.
    std::size_t widest() const { return m_widest; }

    void beginRecord(std::uint64_t line, char) { m_current = Record{line, 0, false}; }
    void beginField(bool) { ++m_current.fields; }
    void run(const char*, const char*) {}
    void byte(char) {}
    void endField() {}
    void endRecord(bool blank) {
        m_current.blank = blank;
        m_widest = std::max(m_widest, m_current.fields);
        if (m_keep) {
            m_records.push_back(m_current);
        }
    }

  private:
    bool m_keep;
    std::vector<Record> m_records;
    Record m_current;
    std::size_t m_widest = 0;
};

// Keeps each record's values as read (quotes taken off, "" as one '"'), up to a number of
// records, and how many of its fields opened with a quote.
class RecordValues : public PlainLooking {
  public:
    struct Record {
        std::uint64_t line = 0;           // the line it starts on
        std::vector<std::string> values;  // none for an empty line
        bool blank = false;               // an empty line
        std::size_t quoteOpens = 0;       // fields that open with a quote
    };

    explicit RecordValues(std::size_t most) : m_most(most) {}

    std::vector<Record>& records() { return m_records; }

    void beginRecord(std::uint64_t line, char) { m_current = Record{line, {}, false, 0}; }
    void beginField(bool quoted) {
        m_current.values.emplace_back();
        m_current.quoteOpens += quoted ? 1 : 0;
    }
    void run(const char* from, const char* to) { m_current.values.back().append(from, to); }
    void byte(char c) { m_current.values.back() += c; }
    void endField() {}
    void endRecord(bool blank) {
        m_current.blank = blank;
        m_records.push_back(std::move(m_current));
    }
    bool stopped() const { return m_records.size() >= m_most; }

  private:
    std::size_t m_most;
    std::vector<Record> m_records;
    Record m_current;
};

}  // namespace quarrytab::detail
