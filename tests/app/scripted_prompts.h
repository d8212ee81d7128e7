// A Prompts that answers from queues the test fills and records everything it was shown.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "app/prompts.h"
#include "engine/error_trap.h"

namespace quarrytab::testing {

struct Shown {
    QString kind;  // "information", "question", "error", "input", "folder", "files"
    QString text;  // the text, prompt or initial folder shown
    QString title;
};

class ScriptedPrompts final : public Prompts {
  public:
    QList<Shown> shown;
    QList<bool> questionAnswers;           // empty: No
    QStringList inputAnswers;              // empty: cancelled
    QStringList folderAnswers;             // empty: cancelled
    QList<QStringList> fileAnswers;        // empty: cancelled
    std::optional<Failure> folderFailure;  // thrown by the next folder dialog
    QStringList openedFolders;
    // Runs while a question waits for its answer, as the events a real box lets through do.
    std::function<void()> whileAsking;
    QList<std::optional<ReadingRules>> rulesAnswers;  // empty or nullopt: Cancel
    QList<std::string> delimiterAnswers;  // the delimiter a kept dialog gives back, in turn
    QList<RulesRequest> rulesRequests;    // every rules dialog opened

    QList<Shown> shownOfKind(const QString& kind) const {
        QList<Shown> matching;
        for (const Shown& item : shown) {
            if (item.kind == kind) {
                matching.append(item);
            }
        }
        return matching;
    }

    void information(const QString& text, const QString& title) override {
        shown.append({QStringLiteral("information"), text, title});
    }
    bool question(const QString& text, const QString& title) override {
        shown.append({QStringLiteral("question"), text, title});
        if (whileAsking) {
            whileAsking();
        }
        return !questionAnswers.isEmpty() && questionAnswers.takeFirst();
    }
    void error(const QString& text, const QString& title) override {
        shown.append({QStringLiteral("error"), text, title});
    }
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override {
        shown.append({QStringLiteral("input"), prompt + QLatin1Char('|') + defaultText, title});
        return inputAnswers.isEmpty() ? QString() : inputAnswers.takeFirst();
    }
    QString browseForFolder(const QString& prompt, const QString& initialFolder) override {
        shown.append({QStringLiteral("folder"), prompt, initialFolder});
        if (folderFailure) {
            const Failure failure = *folderFailure;
            folderFailure.reset();
            throw failure;
        }
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }
    QStringList openFiles(const QString& title, const QString& filter) override {
        shown.append({QStringLiteral("files"), filter, title});
        return fileAnswers.isEmpty() ? QStringList() : fileAnswers.takeFirst();
    }
    bool openFolder(const QString& folder) override {
        openedFolders.append(folder);
        return true;
    }
    bool readingRules(RulesRequest& request) override {
        shown.append({QStringLiteral("rules"), RulesSummary(request.rules), QString()});
        rulesRequests.append(request);
        const auto answer = rulesAnswers.isEmpty() ? std::nullopt : rulesAnswers.takeFirst();
        if (answer) {
            request.rules = *answer;
            if (!delimiterAnswers.isEmpty()) {
                request.window.CsvDelimiter = delimiterAnswers.takeFirst();
            }
        }
        return answer.has_value();
    }
};

}  // namespace quarrytab::testing
