#include "app/window_error_reporter.h"

#include <QString>

#include "filelist/qt_text.h"

namespace quarrytab {

void WindowErrorReporter::reportApplicationError(std::string_view location, int line,
                                                 const Failure& failure) {
    const std::string text = ApplicationErrorText(failure.description(), location, line);
    m_prompts.error(FromUtf8(text), FromUtf8(kApplicationErrorTitle));
}

}  // namespace quarrytab
