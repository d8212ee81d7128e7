// The numbered-step error trap: a handler runs as numbered steps; a step that fails is reported
// once, with the handler's location text and the step's number, and the handler goes on with its
// next step.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace quarrytab {

// The address the "Application Error" message asks users to write to.
inline constexpr std::string_view kSupportAddress = "support@quarrytab.example";

// A failure inside a step: a number (for the few handlers that react to one) and a description
// that the error message shows.
class Failure : public std::exception {
  public:
    Failure(int number, std::string description)
        : m_number(number), m_description(std::move(description)) {}
    int number() const noexcept { return m_number; }
    const std::string& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_description.c_str(); }

  private:
    int m_number;
    std::string m_description;
};

// Where failures go: the window shows a message box, tests record, the command line prints.
class ErrorReporter {
  public:
    virtual ~ErrorReporter() = default;
    virtual void reportApplicationError(std::string_view location, int line,
                                        const Failure& failure) = 0;
};

// Drops every failure: for reads from memory, which cannot fail, and for a look at a file whose
// failures its conversion reports anyway.
class QuietReporter final : public ErrorReporter {
  public:
    void reportApplicationError(std::string_view, int, const Failure&) override {}
};

// The text of the "Application Error" message: description, CR LF, location, "at line " and the
// number, two lone CRs, then the request to mail a screenshot to the support address.
std::string ApplicationErrorText(std::string_view description, std::string_view location, int line);

inline constexpr std::string_view kApplicationErrorTitle = "Application Error";

// Runs numbered steps under one location text. A step that throws is reported and skipped; the
// caller goes on with the next step. `step` returns false when the step failed, so a caller can
// tell a failed step from one that ran.
class StepTrap {
  public:
    StepTrap(ErrorReporter& reporter, std::string_view location)
        : m_reporter(reporter), m_location(location) {}

    bool step(int line, const std::function<void()>& action);

    // Reports a failure that was caught elsewhere under this trap's location.
    void report(int line, const Failure& failure);

    std::string_view location() const { return m_location; }

  private:
    ErrorReporter& m_reporter;
    std::string m_location;
};

// Turns whatever a step threw into a Failure (number 0 when the thrower gave none).
Failure CurrentFailure(std::exception_ptr error);

}  // namespace quarrytab
