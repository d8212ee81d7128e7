#include "engine/error_trap.h"

#include <new>
#include <system_error>

#include "engine/failure_numbers.h"

namespace quarrytab {

std::string ApplicationErrorText(std::string_view description, std::string_view location,
                                 int line) {
    std::string text;
    text.reserve(description.size() + location.size() + 80);
    text += description;
    text += "\r\n";
    text += location;
    text += "at line ";
    text += std::to_string(line);
    text += "\r\r";
    text += "Please email screenshot of this message to ";
    text += kSupportAddress;
    return text;
}

Failure CurrentFailure(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const Failure& failure) {
        return failure;
    } catch (const std::bad_alloc&) {
        return Failure(failures::kOutOfMemory, "Out of memory");
    } catch (const std::system_error& e) {
        return Failure(e.code().value(), e.code().message());
    } catch (const std::exception& e) {
        return Failure(0, e.what());
    } catch (...) {
        return Failure(0, "Unknown error");
    }
}

bool StepTrap::step(int line, const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (...) {
        report(line, CurrentFailure(std::current_exception()));
        return false;
    }
}

void StepTrap::report(int line, const Failure& failure) {
    m_reporter.reportApplicationError(m_location, line, failure);
}

}  // namespace quarrytab
