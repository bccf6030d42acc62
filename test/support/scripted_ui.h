// The editor's UI port for headless tests: records every message, question,
// focus change and wait-cursor call, and answers questions and pickers from
// queues that the test fills beforehand. A question or picker that finds its
// queue empty answers No / nothing and is counted in `unanswered`.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "editor/uiport.h"

namespace tw::testing {

struct ShownMessage {
    std::string text;
    std::string caption;
    editor::MessageKind kind;
    bool operator==(const ShownMessage&) const = default;
};

class ScriptedUi : public editor::UiPort {
  public:
    void messageBox(const std::string& text, const std::string& caption,
                    editor::MessageKind kind) override {
        messages.push_back({text, caption, kind});
        // What a view may deliver while the box is open (once).
        if (auto during = std::exchange(whileShown, nullptr)) during();
    }
    bool askYesNo(const std::string& text, const std::string& caption) override {
        questions.push_back({text, caption, editor::MessageKind::Information});
        return take(answers, false);
    }
    void beginWait() override {
        ++waitDepth;
        ++waits;
    }
    void endWait() override { --waitDepth; }
    void setFocus(const std::string& control) override { focus.push_back(control); }
    std::optional<std::string> pickLocalFile() override {
        ++filePickers;
        return take(files, std::optional<std::string>());
    }
    std::optional<std::string> pickLocalFolder(const std::string& title) override {
        folderTitles.push_back(title);
        return take(folders, std::optional<std::string>());
    }
    std::optional<std::string> chooseFromList(const std::string& title,
                                              const std::vector<std::string>& names) override {
        listTitles.push_back(title);
        offered.push_back(names);
        return take(choices, std::optional<std::string>());
    }
    void openWebAddress(const std::string& address) override { opened.push_back(address); }

    // The texts of the messages shown, in order.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& m : messages) out.push_back(m.text);
        return out;
    }
    void clear() {
        messages.clear();
        questions.clear();
        focus.clear();
    }

    // Runs while the next message box is shown, as events that a view
    // handles under a modal box (a focus change queued before it opened).
    std::function<void()> whileShown;

    // Prepared answers.
    std::deque<bool> answers;
    std::deque<std::optional<std::string>> files, folders, choices;

    // What happened.
    std::vector<ShownMessage> messages;
    std::vector<ShownMessage> questions;
    std::vector<std::string> focus;
    std::vector<std::string> folderTitles, listTitles, opened;
    std::vector<std::vector<std::string>> offered;
    int waitDepth = 0;
    int waits = 0;
    int filePickers = 0;
    int unanswered = 0;

  private:
    template <class T>
    T take(std::deque<T>& q, T none) {
        if (q.empty()) {
            ++unanswered;
            return none;
        }
        T v = q.front();
        q.pop_front();
        return v;
    }
};

}  // namespace tw::testing
