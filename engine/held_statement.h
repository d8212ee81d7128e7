// Bytes kept back from a sink for a while: a statement that must wait for something later in
// the file, or a value that must be seen whole before it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string_view>

#include "engine/statements.h"

namespace quarrytab {

// Held in memory up to a limit, then in a temporary file, so bytes of any length are held in
// bounded memory. Should no temporary file be available they stay in memory: nothing is lost.
// Written as a sink (statement, or reserve and commit); `complete` changes nothing. Past
// its limit (kMostHeld) a commit throws a Failure (kOutOfStringSpace), so an input that never ends
// (/dev/zero) cannot fill the disk or the memory.
// No database takes a value or statement past 1 GiB (SQLite, PostgreSQL, MySQL's largest
// max_allowed_packet), so a few times that is more than any loadable statement needs.
inline constexpr std::uint64_t kMostHeld = 4ULL << 30;

class HeldStatement final : public StatementSink {
  public:
    // `most`: the bytes it may hold; kMostHeld but in tests.
    explicit HeldStatement(std::uint64_t most = kMostHeld) : m_most(most) {}
    HeldStatement(const HeldStatement&) = delete;
    HeldStatement& operator=(const HeldStatement&) = delete;
    ~HeldStatement() override;

    void statement(std::string_view text) override;
    char* reserve(std::size_t size) override;
    void commit(std::size_t size, bool complete = true) override;

    std::uint64_t size() const { return m_fileSize + m_memory.size(); }
    bool empty() const { return size() == 0; }

    // Each held piece in order, then holds nothing.
    void drain(const std::function<void(std::string_view)>& onPiece);
    // Each held piece in order, still held after.
    void visit(const std::function<void(std::string_view)>& onPiece);
    // The bytes held, when none has gone to the temporary file.
    bool inMemory() const { return m_file == nullptr; }
    std::string_view memory() const { return m_memory.bytes(); }
    // Hands everything held to `to` as pieces of its statement being written, `complete` with
    // the last one, and holds nothing after.
    void replay(StatementSink& to, bool complete);
    void clear();

  private:
    void spill();

    PieceBuffer m_memory;
    std::FILE* m_file = nullptr;
    std::uint64_t m_fileSize = 0;
    std::uint64_t m_most;
    bool m_spill = true;
};

}  // namespace quarrytab
