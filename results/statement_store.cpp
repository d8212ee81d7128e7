#include "results/statement_store.h"

#include <algorithm>
#include <cstring>

namespace quarrytab {

namespace {
// Rows are appended to a chunk until it holds this much; a chunk grows by half at a time.
constexpr std::size_t kChunkBytes = std::size_t{4} << 20;
constexpr std::size_t kMinimumChunk = 4096;
constexpr std::size_t kMinimumRows = 1024;
}  // namespace

std::size_t StatementStore::chunkOf(std::size_t row) const {
    const auto after = std::upper_bound(
        m_chunks.begin(), m_chunks.end(), row,
        [](std::size_t value, const Chunk& chunk) { return value < chunk.firstRow; });
    return static_cast<std::size_t>(after - m_chunks.begin()) - 1;
}

std::string_view StatementStore::row(std::size_t index) const {
    const Chunk& chunk = m_chunks[chunkOf(index)];
    const std::uint64_t begin = index == chunk.firstRow ? 0 : m_ends[index - 1];
    return {chunk.bytes->data() + begin, static_cast<std::size_t>(m_ends[index] - begin)};
}

void StatementStore::reserveRows(std::size_t needed) {
    if (needed <= m_ends.capacity()) {
        return;
    }
    // Growing by half keeps the offsets within 12 bytes a row.
    m_ends.reserve(std::max({needed, m_ends.capacity() + m_ends.capacity() / 2, kMinimumRows}));
}

void StatementStore::append(std::string_view text) {
    reserveRows(m_ends.size() + 1);
    if (m_chunks.empty() || m_chunks.back().bytes.use_count() > 1 ||
        (m_chunks.back().bytes->size() >= kChunkBytes &&
         m_chunks.back().bytes->size() + text.size() > m_chunks.back().bytes->capacity())) {
        m_chunks.push_back(Chunk{std::make_shared<StoreBytes>(), m_ends.size()});
    }
    StoreBytes& bytes = *m_chunks.back().bytes;
    const std::size_t needed = bytes.size() + text.size();
    if (needed > bytes.capacity()) {
        // A string's own reserve at least doubles; growing by half needs a fresh string.
        StoreBytes grown;
        grown.reserve(std::max({needed, bytes.size() + bytes.size() / 2, kMinimumChunk}));
        grown.append(bytes);
        bytes.swap(grown);
    }
    bytes.append(text);
    m_ends.push_back(bytes.size());
    m_used += text.size();
}

void StatementStore::appendRows(std::string_view bytes, std::span<const std::uint64_t> ends) {
    std::uint64_t begin = 0;
    for (const std::uint64_t end : ends) {
        append(bytes.substr(begin, end - begin));
        begin = end;
    }
}

void StatementStore::appendBlock(StatementBlock&& block) {
    if (block.empty()) {
        return;
    }
    reserveRows(m_ends.size() + block.rows());
    m_chunks.reserve(m_chunks.size() + 1);
    StoreBytes& bytes = block.bytes;
    // A block that filled little of its room is copied into a fitting one.
    if (bytes.capacity() > bytes.size() + bytes.size() / 4 + kMinimumChunk) {
        bytes.shrink_to_fit();
    }
    m_used += bytes.size();
    m_chunks.push_back(Chunk{std::make_shared<StoreBytes>(std::move(bytes)), m_ends.size()});
    m_ends.insert(m_ends.end(), block.ends.begin(), block.ends.end());
    block = StatementBlock();
}

StatementStore StatementStore::shared() const {
    StatementStore copy;
    copy.m_chunks = m_chunks;
    copy.m_ends = m_ends;
    copy.m_used = m_used;
    return copy;
}

void StatementStore::remove(std::size_t first, std::size_t count) {
    if (first >= m_ends.size() || count == 0) {
        return;
    }
    count = std::min(count, m_ends.size() - first);
    std::size_t index = chunkOf(first);
    std::size_t left = count;
    while (left > 0) {
        Chunk& chunk = m_chunks[index];
        const std::size_t chunkEnd =
            index + 1 < m_chunks.size() ? m_chunks[index + 1].firstRow : m_ends.size();
        const std::size_t last = std::min(chunkEnd, first + left);  // rows [first, last) go
        const std::uint64_t begin = first == chunk.firstRow ? 0 : m_ends[first - 1];
        const std::uint64_t end = m_ends[last - 1];
        if (chunk.bytes.use_count() > 1) {
            chunk.bytes = std::make_shared<StoreBytes>(*chunk.bytes);
        }
        chunk.bytes->erase(begin, end - begin);
        m_used -= end - begin;
        for (std::size_t row = last; row < chunkEnd; ++row) {
            m_ends[row] -= end - begin;
        }
        m_ends.erase(m_ends.begin() + static_cast<std::ptrdiff_t>(first),
                     m_ends.begin() + static_cast<std::ptrdiff_t>(last));
        const std::size_t removed = last - first;
        left -= removed;
        for (std::size_t later = index + 1; later < m_chunks.size(); ++later) {
            m_chunks[later].firstRow -= removed;
        }
        if (chunkEnd - removed == chunk.firstRow) {
            m_chunks.erase(m_chunks.begin() + static_cast<std::ptrdiff_t>(index));
        } else {
            ++index;
        }
    }
}

void StatementStore::clear() {
    std::vector<Chunk>().swap(m_chunks);
    std::vector<std::uint64_t>().swap(m_ends);
    m_used = 0;
}

void StatementStore::squeeze() {
    if (!m_chunks.empty() && m_chunks.back().bytes.use_count() == 1) {
        m_chunks.back().bytes->shrink_to_fit();
    }
    m_chunks.shrink_to_fit();
    m_ends.shrink_to_fit();
}

std::size_t StatementStore::footprint() const {
    std::size_t total =
        m_chunks.capacity() * sizeof(Chunk) + m_ends.capacity() * sizeof(std::uint64_t);
    for (const Chunk& chunk : m_chunks) {
        total += chunk.bytes->capacity();
    }
    return total;
}

StatementBatcher::StatementBatcher(Deliver deliver, std::size_t blockBytes, std::size_t blockRows)
    : m_deliver(std::move(deliver)),
      m_blockBytes(std::max<std::size_t>(blockBytes, 2)),
      m_blockRows(std::max<std::size_t>(blockRows, 1)) {}

void StatementBatcher::statement(std::string_view text) {
    // A statement that does not fit in the room left starts the next block, so a block is never
    // grown (and copied) for it; only a statement longer than a block makes one grow.
    if (!m_block.empty() && m_block.bytes.size() + text.size() > m_block.bytes.capacity()) {
        flush();
    }
    // A fresh block gets its full room at once (an empty string already holds a few bytes): with
    // the string's terminating zero, exactly m_blockBytes, a whole number of large pages.
    const std::size_t room = m_blockBytes - 1;
    if (m_block.bytes.capacity() < room) {
        m_block.bytes.reserve(room);
        m_block.ends.reserve(std::min<std::size_t>(m_blockRows, 1 << 16));
    }
    m_block.bytes.append(text);
    m_block.ends.push_back(m_block.bytes.size());
    if (m_block.bytes.size() >= room || m_block.ends.size() >= m_blockRows) {
        flush();
    }
}

void StatementBatcher::flush() {
    if (m_block.empty()) {
        return;
    }
    StatementBlock full = std::move(m_block);
    m_block = StatementBlock();
    m_deliver(std::move(full));
}

}  // namespace quarrytab
