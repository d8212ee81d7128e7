// Bytes already in memory as a reader's source, for a sample, a converted piece of text or a fuzz
// input: read in order to their end, never failing. The bytes are not copied and must outlive it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/platform.h"

namespace quarrytab {

class InMemorySource final : public ByteSource {
  public:
    explicit InMemorySource(std::string_view bytes) : m_bytes(bytes) {}
    std::ptrdiff_t read(char* buffer, std::size_t size, std::string&) override {
        const std::size_t count = std::min(size, m_bytes.size());
        std::copy_n(m_bytes.data(), count, buffer);
        m_bytes.remove_prefix(count);
        return static_cast<std::ptrdiff_t>(count);
    }

  private:
    std::string_view m_bytes;
};

}  // namespace quarrytab
