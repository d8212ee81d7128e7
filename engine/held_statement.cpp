#include "engine/held_statement.h"

#include <algorithm>
#include <cstring>

#include "engine/error_trap.h"
#include "engine/failure_numbers.h"
#include "engine/platform.h"

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
    // What is held goes to the file before the memory would grow past its share for it.
    if (m_spill && m_memory.size() > 0 && m_memory.size() + size > kInMemory) {
        spill();
    }
    return m_memory.room(size);
}

void HeldStatement::commit(std::size_t size, bool) {
    m_memory.add(size);
    if (this->size() > m_most) {
        clear();
        throw Failure(failures::kOutOfStringSpace,
                      "a record of more than " + std::to_string(m_most) +
                          " bytes had to be held back, more than any database takes in one "
                          "statement; the conversion stopped");
    }
    if (m_memory.size() >= kInMemory && m_spill) {
        spill();
    }
}

void HeldStatement::drain(const std::function<void(std::string_view)>& onPiece) {
    visit(onPiece);
    clear();
}

void HeldStatement::visit(const std::function<void(std::string_view)>& onPiece) {
    if (m_file != nullptr) {
        std::rewind(m_file);
        auto piece = std::make_unique_for_overwrite<char[]>(kPiece);
        for (std::uint64_t left = m_fileSize; left > 0;) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece));
            const auto got = std::fread(piece.get(), 1, want, m_file);
            onPiece(std::string_view(piece.get(), got));
            if (got != want) {
                break;
            }
            left -= got;
        }
        std::fseek(m_file, 0, SEEK_END);  // what is held next goes after it
    }
    if (m_memory.size() > 0) {
        onPiece(m_memory.bytes());
    }
}

void HeldStatement::replay(StatementSink& to, bool complete) {
    if (m_file != nullptr) {
        std::rewind(m_file);
        for (std::uint64_t left = m_fileSize; left > 0;) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece));
            const auto got = std::fread(to.reserve(want), 1, want, m_file);
            to.commit(got, false);
            if (got != want) {
                break;
            }
            left -= got;
        }
    }
    const auto held = m_memory.bytes();
    std::memcpy(to.reserve(held.size()), held.data(), held.size());
    to.commit(held.size(), complete);
    clear();
}

void HeldStatement::clear() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
    m_file = nullptr;
    m_fileSize = 0;
    m_spill = true;
    m_memory.clear();
    if (m_memory.capacity() > kInMemory) {
        m_memory.release();
    }
}

void HeldStatement::spill() {
    if (m_file == nullptr) {
        m_file = OpenTemporaryFile();
    }
    const auto held = m_memory.bytes();
    if (m_file == nullptr || std::fwrite(held.data(), 1, held.size(), m_file) != held.size()) {
        // Keeps what the file took so far and holds the rest in memory from now on.
        m_spill = false;
        return;
    }
    m_fileSize += held.size();
    m_memory.clear();
}

}  // namespace quarrytab
