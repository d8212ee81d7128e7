// Shows a failed step of a window handler as the "Application Error" message box.
#pragma once

#include "app/prompts.h"
#include "engine/error_trap.h"

namespace quarrytab {

class WindowErrorReporter final : public ErrorReporter {
  public:
    explicit WindowErrorReporter(Prompts& prompts) : m_prompts(prompts) {}

    void reportApplicationError(std::string_view location, int line,
                                const Failure& failure) override;

  private:
    Prompts& m_prompts;
};

}  // namespace quarrytab
