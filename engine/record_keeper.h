// The tokenizer's handler in front of another when the records left out must be handed on: it
// passes every hook through, keeps the bytes of the record being read as they were fed, and
// hands each record its handler left out to a RejectSink with its line and why. Not part of the
// engine's interface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/held_statement.h"
#include "engine/reject_sink.h"
#include "engine/tokenizer.h"

namespace quarrytab::detail {

// `Inner` tells why a record was left out (takeLeftOut) and leaves out a record whose quote is
// still open at the end of the file (quoteLeftOpen), as StatementAssembler does under
// tellLeftOut(). The bytes of a record that runs over several feeds are held in a HeldStatement,
// which goes to a temporary file past a few MiB, so a record of any length is kept in bounded
// memory; a record that ends within one feed is never copied unless it is left out.
template <class Inner>
class RecordKeeper {
  public:
    RecordKeeper(Inner& inner, RejectSink& rejects) : m_inner(inner), m_rejects(rejects) {}
    RecordKeeper(const RecordKeeper&) = delete;
    RecordKeeper& operator=(const RecordKeeper&) = delete;

    // Where the bytes are (see Tokenizer).
    void feedBegins(const char* at) { m_from = at; }
    void feedEnds(const char* at) {
        if (m_open && at != m_from) {
            keep(m_from, at);
        }
    }
    void recordBegins(const char* at) {
        m_open = true;
        m_from = at;
        m_to = nullptr;
    }
    void recordEnds(const char* at) { m_to = at; }
    void quoteLeftOpen(std::uint64_t line) { m_inner.quoteLeftOpen(line); }

    // The reading hooks, passed through; a record's end hands it on when it was left out.
    const std::array<bool, 256>& looks() const { return m_inner.looks(); }
    void beginRecord(std::uint64_t line, char first) {
        m_line = line;
        m_inner.beginRecord(line, first);
    }
    void beginField(bool quoted) { m_inner.beginField(quoted); }
    void run(const char* from, const char* to) { m_inner.run(from, to); }
    void byte(char c) { m_inner.byte(c); }
    void endField() { m_inner.endField(); }
    void endRecord(bool blank) {
        m_inner.endRecord(blank);
        const std::string why = m_inner.takeLeftOut();
        if (!why.empty()) {
            handOn(why, m_to);
        }
        forget();
    }
    void dropRecord() {
        m_inner.dropRecord();
        handOn("cut short: the input could not be read past it", nullptr);
        forget();
    }
    bool partSent() const { return m_inner.partSent(); }
    bool stopped() const { return m_inner.stopped(); }

    BlockLooks blockLooks() const { return m_inner.blockLooks(); }
    bool blockReady(bool canOpen) { return m_inner.blockReady(canOpen); }
    char* cursor() const { return m_inner.cursor(); }
    void setCursor(char* at) { m_inner.setCursor(at); }
    bool blockRoom(char*& out) { return m_inner.blockRoom(out); }
    char* blockCopy(char* out, const char* from, std::size_t size) {
        return m_inner.blockCopy(out, from, size);
    }
    char* blockQuote(char* out) { return m_inner.blockQuote(out); }
    char* blockCut(char* out, const BlockLooks& looks) { return m_inner.blockCut(out, looks); }

  private:
    // The record's bytes in this feed so far go with those of the feeds before.
    void keep(const char* from, const char* to) {
        const auto size = static_cast<std::size_t>(to - from);
        std::memcpy(m_kept.reserve(size), from, size);
        m_kept.commit(size, false);
    }

    // The record's bytes: those kept from earlier feeds, then this feed's up to `end` (none when
    // null: the file ended, and every byte was kept at the feed's end).
    void handOn(const std::string& why, const char* end) {
        m_rejects.begin(m_line, why);
        m_kept.drain([&](std::string_view piece) { m_rejects.bytes(piece); });
        if (end != nullptr && end != m_from) {
            m_rejects.bytes(std::string_view(m_from, static_cast<std::size_t>(end - m_from)));
        }
        m_rejects.end();
    }

    void forget() {
        m_open = false;
        m_kept.clear();
    }

    Inner& m_inner;
    RejectSink& m_rejects;
    HeldStatement m_kept;          // the record's bytes from the feeds before this one
    const char* m_from = nullptr;  // where its bytes in this feed begin
    const char* m_to = nullptr;    // just past its line end, once it has ended in this feed
    bool m_open = false;           // a record is being read
    std::uint64_t m_line = 0;
};

}  // namespace quarrytab::detail
