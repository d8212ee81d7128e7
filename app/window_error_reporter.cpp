#include "app/window_error_reporter.h"

#include <QString>

namespace quarrytab {

void WindowErrorReporter::reportApplicationError(std::string_view location, int line,
                                                 const Failure& failure) {
    const std::string text = ApplicationErrorText(failure.description(), location, line);
    m_prompts.error(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QString::fromUtf8(kApplicationErrorTitle.data(),
                                      static_cast<qsizetype>(kApplicationErrorTitle.size())));
}

}  // namespace quarrytab
