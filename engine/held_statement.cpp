#include "engine/held_statement.h"

#include <algorithm>
#include <cstring>

namespace quarrytab {

namespace {
constexpr std::size_t kInMemory = 8 << 20;
constexpr std::size_t kPiece = 1 << 20;
}  // namespace

HeldStatement::~HeldStatement() {
    clear();
}

void HeldStatement::statement(std::string_view text) {
    std::memcpy(reserve(text.size()), text.data(), text.size());
    commit(text.size(), true);
}

char* HeldStatement::reserve(std::size_t size) {
    if (m_size + size > m_room) {
        const auto room = std::max(m_size + size, 2 * m_room);
        auto grown = std::make_unique_for_overwrite<char[]>(room);
        if (m_size > 0)
            std::memcpy(grown.get(), m_memory.get(), m_size);
        m_memory = std::move(grown);
        m_room = room;
    }
    return m_memory.get() + m_size;
}

void HeldStatement::commit(std::size_t size, bool) {
    m_size += size;
    if (m_size >= kInMemory && m_spill)
        spill();
}

void HeldStatement::drain(const std::function<void(std::string_view)>& onPiece) {
    if (m_file != nullptr) {
        std::rewind(m_file);
        auto piece = std::make_unique_for_overwrite<char[]>(kPiece);
        for (std::uint64_t left = m_fileSize; left > 0;) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece));
            const auto got = std::fread(piece.get(), 1, want, m_file);
            onPiece(std::string_view(piece.get(), got));
            if (got != want)
                break;
            left -= got;
        }
    }
    if (m_size > 0)
        onPiece(std::string_view(m_memory.get(), m_size));
    clear();
}

void HeldStatement::replay(StatementSink& to, bool complete) {
    if (m_file != nullptr) {
        std::rewind(m_file);
        for (std::uint64_t left = m_fileSize; left > 0;) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece));
            const auto got = std::fread(to.reserve(want), 1, want, m_file);
            to.commit(got, false);
            if (got != want)
                break;
            left -= got;
        }
    }
    std::memcpy(to.reserve(m_size), m_memory.get(), m_size);
    to.commit(m_size, complete);
    clear();
}

void HeldStatement::clear() {
    if (m_file != nullptr)
        std::fclose(m_file);
    m_file = nullptr;
    m_fileSize = 0;
    m_size = 0;
    m_spill = true;
    if (m_room > kInMemory) {
        m_memory.reset();
        m_room = 0;
    }
}

void HeldStatement::spill() {
    if (m_file == nullptr)
        m_file = std::tmpfile();
    if (m_file == nullptr || std::fwrite(m_memory.get(), 1, m_size, m_file) != m_size) {
        // Keeps what the file took so far and holds the rest in memory from now on.
        m_spill = false;
        return;
    }
    m_fileSize += m_size;
    m_size = 0;
}

}  // namespace quarrytab
