#include "engine/conversion.h"

#include "engine/line_reader.h"

namespace quarrytab {

namespace {
constexpr std::uint64_t kLinesBetweenProgress = 4096;
}

bool ConvertFile(std::string_view path, const ConversionOptions& options, ErrorReporter& reporter,
                 StatementSink& sink, const ProgressHook& progress, ConversionProgress* state,
                 PathStyle style) {
    ConversionProgress local;
    ConversionProgress& done = state != nullptr ? *state : local;
    StatementGenerator generator(options, BaseNameOf(path, style));
    LineReader reader(reporter);
    done.fileBytesRead = 0;
    if (!reader.open(path))
        return !progress || progress(done);
    std::string_view line;
    std::uint64_t sinceProgress = 0;
    while (reader.next(line)) {
        generator.addLine(line, sink);
        ++done.linesDone;
        if (progress && ++sinceProgress == kLinesBetweenProgress) {
            sinceProgress = 0;
            done.fileBytesRead = reader.bytesRead();
            if (!progress(done))
                return false;
        }
    }
    done.fileBytesRead = reader.bytesRead();
    return !progress || progress(done);
}

bool ConvertFiles(const std::vector<std::string>& paths, const ConversionOptions& options,
                  ErrorReporter& reporter, StatementSink& sink, const ProgressHook& progress,
                  PathStyle style) {
    ConversionProgress state;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        state.fileIndex = i;
        if (!ConvertFile(paths[i], options, reporter, sink, progress, &state, style))
            return false;
    }
    return true;
}

}  // namespace quarrytab
