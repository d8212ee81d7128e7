// Fuzzes the records path with quoted fields: whatever the bytes, it must not crash, and the
// values of its INSERTs, written again as records with every field quoted, must convert to the
// same values. Read in pieces of sixteen bytes or whole (so the block scans are reached), with the
// block scans or without, the values are the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "support/convert_bytes.h"

namespace {

using Records = std::vector<std::vector<std::string>>;

// The values of each INSERT the records path writes for the bytes, read `step` bytes at a time.
Records Read(std::string_view bytes, const std::string& delimiter,
             std::size_t step = MemorySource::kNever) {
    quarrytab::ConversionOptions options;
    options.QuotedFields = true;
    options.CsvDelimiter = delimiter;
    options.Mode = quarrytab::StatementMode::InsertOnly;
    Records read;
    for (const auto& insert : ConvertBytes(std::string(bytes), options, "t", step)) {
        auto values = InsertValues(insert);
        if (!values)
            std::abort();
        read.push_back(std::move(*values));
    }
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
    if (Read(WriteQuoted(first, delimiter), delimiter) != first ||
        Read(bytes, delimiter, 16) != first) {
        std::abort();
    }
    BlockScans scans(false);
    if (Read(bytes, delimiter) != first) {
        std::abort();
    }
    return 0;
}
