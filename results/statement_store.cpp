#include "results/statement_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace quarrytab {

namespace {
constexpr std::size_t kMinimumBytes = std::size_t{64} << 10;
constexpr std::size_t kMinimumRows = 1024;
}  // namespace

StatementStore::~StatementStore() {
    std::free(m_bytes);
}

void StatementStore::reserveBytes(std::size_t needed) {
    if (needed <= m_capacity)
        return;
    // Growing by half keeps the reserved room within half the text held. realloc can move a
    // large block by remapping its pages, so growing does not need room for two copies.
    std::size_t capacity = std::max({needed, m_capacity + m_capacity / 2, kMinimumBytes});
    void* grown = std::realloc(m_bytes, capacity);
    if (grown == nullptr) {
        capacity = needed;
        grown = std::realloc(m_bytes, capacity);
        if (grown == nullptr)
            throw std::bad_alloc();
    }
    m_bytes = static_cast<char*>(grown);
    m_capacity = capacity;
}

void StatementStore::reserveRows(std::size_t needed) {
    if (needed <= m_ends.capacity())
        return;
    const std::size_t capacity =
        std::max({needed, m_ends.capacity() + m_ends.capacity() / 2, kMinimumRows});
    m_ends.reserve(capacity);
}

void StatementStore::append(std::string_view text) {
    reserveBytes(m_used + text.size());
    reserveRows(m_ends.size() + 1);
    if (!text.empty())
        std::memcpy(m_bytes + m_used, text.data(), text.size());
    m_used += text.size();
    m_ends.push_back(m_used);
}

void StatementStore::appendRows(std::string_view bytes, std::span<const std::uint64_t> ends) {
    if (ends.empty())
        return;
    reserveBytes(m_used + bytes.size());
    reserveRows(m_ends.size() + ends.size());
    if (!bytes.empty())
        std::memcpy(m_bytes + m_used, bytes.data(), bytes.size());
    for (const std::uint64_t end : ends) m_ends.push_back(m_used + end);
    m_used += bytes.size();
}

std::string_view StatementStore::span(std::size_t first, std::size_t last) const {
    if (first >= last)
        return {};
    const std::uint64_t begin = first == 0 ? 0 : m_ends[first - 1];
    return {m_bytes + begin, static_cast<std::size_t>(m_ends[last - 1] - begin)};
}

void StatementStore::remove(std::size_t first, std::size_t count) {
    if (first >= m_ends.size() || count == 0)
        return;
    count = std::min(count, m_ends.size() - first);
    const std::uint64_t begin = first == 0 ? 0 : m_ends[first - 1];
    const std::uint64_t end = m_ends[first + count - 1];
    const std::uint64_t removed = end - begin;
    std::memmove(m_bytes + begin, m_bytes + end, m_used - end);
    m_used -= removed;
    m_ends.erase(m_ends.begin() + static_cast<std::ptrdiff_t>(first),
                 m_ends.begin() + static_cast<std::ptrdiff_t>(first + count));
    for (auto it = m_ends.begin() + static_cast<std::ptrdiff_t>(first); it != m_ends.end(); ++it)
        *it -= removed;
}

void StatementStore::clear() {
    std::free(m_bytes);
    m_bytes = nullptr;
    m_used = 0;
    m_capacity = 0;
    std::vector<std::uint64_t>().swap(m_ends);
}

void StatementStore::squeeze() {
    if (m_used == 0) {
        const bool hadRows = !m_ends.empty();
        std::free(m_bytes);
        m_bytes = nullptr;
        m_capacity = 0;
        if (!hadRows)
            std::vector<std::uint64_t>().swap(m_ends);
    } else if (m_used < m_capacity) {
        if (void* shrunk = std::realloc(m_bytes, m_used)) {
            m_bytes = static_cast<char*>(shrunk);
            m_capacity = m_used;
        }
    }
    m_ends.shrink_to_fit();
}

StatementBatcher::StatementBatcher(Deliver deliver, std::size_t blockBytes, std::size_t blockRows)
    : m_deliver(std::move(deliver)),
      m_blockBytes(std::max<std::size_t>(blockBytes, 1)),
      m_blockRows(std::max<std::size_t>(blockRows, 1)) {}

void StatementBatcher::statement(std::string_view text) {
    if (m_block.bytes.capacity() == 0)
        m_block.bytes.reserve(m_blockBytes + 4096);
    m_block.bytes.append(text);
    m_block.ends.push_back(m_block.bytes.size());
    if (m_block.bytes.size() >= m_blockBytes || m_block.ends.size() >= m_blockRows)
        flush();
}

void StatementBatcher::flush() {
    if (m_block.empty())
        return;
    StatementBlock full = std::move(m_block);
    m_block = StatementBlock();
    m_deliver(std::move(full));
}

}  // namespace quarrytab
