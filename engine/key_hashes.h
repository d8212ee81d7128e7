// The keys of a file's records as 64-bit hashes, for finding a record that repeats the key of an
// earlier one before any statement is written (--primary-key): 8 bytes a key in an open-addressing
// table, at most kMostKeys keys. Two different keys of one hash would be taken as one; among a
// few million keys that happens about once in ten million files. Not part of the engine's
// interface.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quarrytab::detail {

class KeyHashes {
  public:
    // The table then holds 2^22 slots, 32 MiB, within the conversion's memory bound.
    static constexpr std::size_t kMostKeys = std::size_t{1} << 21;

    // A value's bytes into the hash `hash` of the key so far (FNV-1a); each value of a key
    // starts with kStart.
    static constexpr std::uint64_t kStart = 0xCBF29CE484222325ULL;
    static std::uint64_t Add(std::uint64_t hash, std::string_view bytes) {
        for (const char c : bytes) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
        }
        return hash;
    }
    // The hash of a key from its values' hashes, in the key's order.
    static std::uint64_t Join(std::uint64_t key, std::uint64_t value) {
        return (key ^ value) * 0x9E3779B97F4A7C15ULL + 0x7F4A7C15ULL;
    }

    // False when the key was seen before. Past kMostKeys keys nothing more is kept (full()).
    bool insert(std::uint64_t hash) {
        hash = hash == 0 ? 1 : hash;  // 0 marks an empty slot
        if (m_count >= kMostKeys) {
            m_full = true;
            return true;
        }
        if (2 * (m_count + 1) > m_slots.size()) {
            grow();
        }
        for (std::size_t at = hash & (m_slots.size() - 1);; at = (at + 1) & (m_slots.size() - 1)) {
            if (m_slots[at] == hash) {
                return false;
            }
            if (m_slots[at] == 0) {
                m_slots[at] = hash;
                ++m_count;
                return true;
            }
        }
    }
    // Some keys came past kMostKeys and were not looked at.
    bool full() const { return m_full; }

  private:
    void grow() {
        std::vector<std::uint64_t> old(std::max<std::size_t>(1024, 2 * m_slots.size()), 0);
        old.swap(m_slots);
        m_count = 0;
        for (const auto hash : old) {
            if (hash != 0) {
                insert(hash);
            }
        }
    }

    std::vector<std::uint64_t> m_slots;
    std::size_t m_count = 0;
    bool m_full = false;
};

}  // namespace quarrytab::detail
