// An error reporter that keeps every report, for tests.
#pragma once

#include <string>
#include <vector>

#include "engine/error_trap.h"

struct RecordedReport {
    std::string location;
    int line;
    int number;
    std::string description;
};

class RecordingReporter : public quarrytab::ErrorReporter {
  public:
    void reportApplicationError(std::string_view location, int line,
                                const quarrytab::Failure& failure) override {
        reports.push_back({std::string(location), line, failure.number(), failure.description()});
    }
    std::vector<RecordedReport> reports;
};
