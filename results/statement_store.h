// The statements of a conversion, kept compactly: every statement's bytes back to back in a few
// large chunks and one end offset per row, so a million rows cost little more than their text.
// Blocks made on another thread are taken over whole, so their bytes are never copied again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/platform.h"
#include "engine/statements.h"

namespace quarrytab {

// Hands out memory for a store's bytes through AllocateLarge: its chunks and blocks are megabytes
// written once from start to end, and large pages make filling them cheaper.
template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) {}
    T* allocate(std::size_t count) {
        void* memory = AllocateLarge(count * sizeof(T));
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t count) { FreeLarge(memory, count * sizeof(T)); }
    friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};
using StoreBytes = std::basic_string<char, std::char_traits<char>, LargeAllocator<char>>;

struct StatementBlock;

class StatementStore final : public StatementSink {
  public:
    StatementStore() = default;
    StatementStore(const StatementStore&) = delete;
    StatementStore& operator=(const StatementStore&) = delete;
    StatementStore(StatementStore&&) = default;
    StatementStore& operator=(StatementStore&&) = default;

    // A store holding the same rows that shares this one's bytes rather than copying them. A
    // later change to either store leaves the other's rows as they were: a shared chunk is
    // copied before its bytes change, and appending starts a fresh chunk.
    StatementStore shared() const;

    // Appends one row holding the statement's bytes as they are.
    void statement(std::string_view text) override { append(text); }
    void append(std::string_view text);
    // Appends rows given as their bytes back to back and the end of each row within `bytes`.
    void appendRows(std::string_view bytes, std::span<const std::uint64_t> ends);
    // Appends the rows of a block, taking over its memory rather than copying it.
    void appendBlock(StatementBlock&& block);

    std::size_t size() const { return m_ends.size(); }
    bool empty() const { return m_ends.empty(); }
    std::string_view row(std::size_t index) const;
    // Calls `visit` with every row's bytes in order, without looking each row up; stops early
    // when `visit` returns false, and then returns false.
    template <class Visit>
    bool forEachRow(Visit&& visit) const {
        for (std::size_t c = 0; c < m_chunks.size(); ++c) {
            const char* data = m_chunks[c].bytes->data();
            const std::size_t end = c + 1 < m_chunks.size() ? m_chunks[c + 1].firstRow : size();
            std::uint64_t begin = 0;
            for (std::size_t r = m_chunks[c].firstRow; r < end; ++r) {
                if (!visit(std::string_view(data + begin,
                                            static_cast<std::size_t>(m_ends[r] - begin)))) {
                    return false;
                }
                begin = m_ends[r];
            }
        }
        return true;
    }

    // Removes rows [first, first + count); the rows after them move up.
    void remove(std::size_t first, std::size_t count = 1);
    // Removes every row and gives the memory back.
    void clear();
    // Gives back the room reserved beyond the rows held, once no more rows are coming.
    void squeeze();

    std::size_t byteSize() const { return m_used; }
    // The memory the store holds: its chunks and its offsets, reserved room included.
    std::size_t footprint() const;

  private:
    struct Chunk {
        std::shared_ptr<StoreBytes> bytes;  // never null
        std::size_t firstRow = 0;
    };
    std::size_t chunkOf(std::size_t row) const;
    void reserveRows(std::size_t needed);

    std::vector<Chunk> m_chunks;
    std::vector<std::uint64_t> m_ends;  // end of each row within its chunk
    std::size_t m_used = 0;
};

// A run of statements on its way from the conversion to the results list: their bytes back to
// back and the end of each within them.
struct StatementBlock {
    StoreBytes bytes;
    std::vector<std::uint64_t> ends;

    bool empty() const { return ends.empty(); }
    std::size_t rows() const { return ends.size(); }
};

// Collects statements into blocks of bounded size and hands each full block on, so a receiver on
// another thread takes thousands of rows at a time rather than one.
class StatementBatcher final : public StatementSink {
  public:
    using Deliver = std::function<void(StatementBlock&&)>;

    explicit StatementBatcher(Deliver deliver, std::size_t blockBytes = std::size_t{4} << 20,
                              std::size_t blockRows = 65536);

    void statement(std::string_view text) override;
    // Hands on the statements collected since the last block, if any.
    void flush();

  private:
    Deliver m_deliver;
    std::size_t m_blockBytes;
    std::size_t m_blockRows;
    StatementBlock m_block;
};

}  // namespace quarrytab
