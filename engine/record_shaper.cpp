#include "engine/record_shaper.h"

#include <algorithm>

namespace quarrytab::detail {

ConversionOptions ShapedOptions(const ConversionOptions& options) {
    ConversionOptions shaped = options;
    if (!options.Columns.empty()) {
        shaped.TableWidth = 0;
        shaped.HeaderRow =
            options.HeaderRow ||
            std::any_of(options.Columns.begin(), options.Columns.end(),
                        [](const ChosenColumn& column) { return !column.name.empty(); });
    }
    return shaped;
}

std::size_t FieldNamed(const std::vector<std::string>& fields, std::string_view name) {
    return static_cast<std::size_t>(std::find(fields.begin(), fields.end(), name) - fields.begin());
}

}  // namespace quarrytab::detail
