// Fuzzes the line reader: any bytes, read in blocks of any size, give the lines a plain split at
// CR LF, LF and lone CR gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/in_memory_source.h"
#include "engine/line_reader.h"

namespace {

class NoReports : public quarrytab::ErrorReporter {
  public:
    void reportApplicationError(std::string_view, int, const quarrytab::Failure&) override {
        std::abort();
    }
};

std::vector<std::string> ModelLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
            lines.push_back(current);
            current.clear();
        } else {
            current += bytes[i];
        }
    }
    if (!current.empty()) {
        lines.push_back(current);
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t blockSize = data[0] == 255 ? (1u << 20) : 2u + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    quarrytab::InMemorySource source(bytes);
    NoReports reporter;
    quarrytab::LineReader reader(reporter, blockSize);
    reader.attach(source);
    std::vector<std::string> lines;
    std::string_view line;
    while (reader.next(line)) {
        lines.emplace_back(line);
    }
    if (lines != ModelLines(bytes)) {
        std::abort();
    }
    if (reader.bytesRead() != bytes.size()) {
        std::abort();
    }
    return 0;
}
