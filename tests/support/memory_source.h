// Bytes from memory as a reader's source: handed out at most `chunk` bytes a read, so a test
// can put the seams of reading anywhere, and failing once `failAt` bytes have gone out, as a
// vanished network share or a bad sector would.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string>

#include "engine/platform.h"

class MemorySource : public quarrytab::ByteSource {
  public:
    static constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();

    explicit MemorySource(std::string bytes, std::size_t chunk = kNever,
                          std::size_t failAt = kNever)
        : m_bytes(std::move(bytes)), m_chunk(chunk), m_failAt(failAt) {}

    std::ptrdiff_t read(char* buffer, std::size_t size, std::string& error) override {
        if (m_position >= m_failAt) {
            error = "Input/output error";
            return -1;
        }
        const std::size_t count =
            std::min({size, m_chunk, m_bytes.size() - m_position, m_failAt - m_position});
        std::copy_n(m_bytes.data() + m_position, count, buffer);
        m_position += count;
        return static_cast<std::ptrdiff_t>(count);
    }

  private:
    std::string m_bytes;
    std::size_t m_chunk;
    std::size_t m_failAt;
    std::size_t m_position = 0;
};
