// The window's boxes and dialogs, passed on to the real ones while counting how many are open, so
// the window can tell when none of its handlers is waiting on one.
#pragma once

#include <functional>
#include <utility>

#include "app/prompts.h"

namespace quarrytab {

class TrackedPrompts final : public Prompts {
  private:
    // Counts the box open while `show` runs, a throw included.
    template <class Show>
    auto track(Show&& show) {
        struct Open {
            TrackedPrompts& prompts;
            explicit Open(TrackedPrompts& tracked) : prompts(tracked) { ++prompts.m_open; }
            ~Open() {
                if (--prompts.m_open == 0 && prompts.m_onAllClosed) {
                    prompts.m_onAllClosed();
                }
            }
            Open(const Open&) = delete;
            Open& operator=(const Open&) = delete;
        } counted(*this);
        return show();
    }

  public:
    // `onAllClosed` is called each time the last open box closes.
    TrackedPrompts(Prompts& prompts, std::function<void()> onAllClosed)
        : m_prompts(prompts), m_onAllClosed(std::move(onAllClosed)) {}

    // The boxes open now; more than one when a box opened while another waited.
    int open() const { return m_open; }

    void information(const QString& text, const QString& title) override {
        track([&] { m_prompts.information(text, title); });
    }
    bool question(const QString& text, const QString& title) override {
        return track([&] { return m_prompts.question(text, title); });
    }
    void error(const QString& text, const QString& title) override {
        track([&] { m_prompts.error(text, title); });
    }
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override {
        return track([&] { return m_prompts.inputBox(prompt, title, defaultText); });
    }
    QString browseForFolder(const QString& prompt, const QString& initialFolder) override {
        return track([&] { return m_prompts.browseForFolder(prompt, initialFolder); });
    }
    QStringList openFiles(const QString& title, const QString& filter) override {
        return track([&] { return m_prompts.openFiles(title, filter); });
    }
    bool openFolder(const QString& folder) override {
        return track([&] { return m_prompts.openFolder(folder); });
    }
    bool readingRules(RulesRequest& request) override {
        return track([&] { return m_prompts.readingRules(request); });
    }

  private:
    Prompts& m_prompts;
    std::function<void()> m_onAllClosed;
    int m_open = 0;
};

}  // namespace quarrytab
