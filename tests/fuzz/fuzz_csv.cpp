// Fuzzes the reader of quoted fields: whatever the bytes, it must not crash, and the records it
// reads, written again with every field quoted, must read back as the same records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/records.h"

namespace {

class Memory : public quarrytab::ByteSource {
  public:
    explicit Memory(std::string_view bytes) : m_bytes(bytes) {}
    std::ptrdiff_t read(char* buffer, std::size_t size, std::string&) override {
        const auto count = std::min(size, m_bytes.size());
        m_bytes.copy(buffer, count);
        m_bytes.remove_prefix(count);
        return static_cast<std::ptrdiff_t>(count);
    }

  private:
    std::string_view m_bytes;
};

class Ignore : public quarrytab::ErrorReporter {
  public:
    void reportApplicationError(std::string_view, int, const quarrytab::Failure&) override {}
};

using Records = std::vector<std::vector<std::string>>;

Records Read(std::string_view bytes, const std::string& delimiter) {
    Ignore reporter;
    Memory source(bytes);
    quarrytab::LineReader reader(reporter, 16);
    reader.attach(source);
    quarrytab::PhysicalLines lines(reader, false, 0);
    quarrytab::RecordReader records(lines, delimiter, true, "");
    Records read;
    quarrytab::Record record;
    while (records.next(record)) read.emplace_back(record.fields.begin(), record.fields.end());
    return read;
}

std::string WriteQuoted(const Records& records, const std::string& delimiter) {
    std::string out;
    for (const auto& fields : records) {
        for (std::size_t k = 0; k < fields.size(); ++k) {
            if (k > 0)
                out += delimiter;
            out += '"';
            for (const char c : fields[k])
                out += c == '"' ? std::string("\"\"") : std::string(1, c);
            out += '"';
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const char* const delimiters[] = {",", ";", "\t", "::", ",\"", ""};
    const std::string delimiter = delimiters[data[0] % 6];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto first = Read(bytes, delimiter);
    if (Read(WriteQuoted(first, delimiter), delimiter) != first)
        std::abort();
    return 0;
}
