#pragma once
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/shell.h"

namespace tessaly::test {

// A shell for core tests: records every text shown and answers dialogs from scripts.
// An unscripted dialog is answered with Cancel (and recorded), so a test never hangs.
class ScriptedShell : public Shell {
public:
    struct Box {
        std::string text, caption;
        Icon icon;
        Buttons buttons;
    };
    struct Input {
        std::string title, prompt, initial;
    };

    // What happened, in order.
    std::vector<std::string> statuses;
    std::vector<Box> boxes;
    std::vector<Input> inputs;
    std::vector<FileDialogSpec> savedialogs, opendialogs;
    std::vector<Cursor> cursors;
    int gaugemax = 0, gaugeposition = 0;
    std::vector<int> gaugepositions;
    int pumps = 0, refreshes = 0;

    // Scripted answers, consumed in order.
    std::deque<Answer> answers;
    std::deque<std::optional<std::string>> inputanswers, saveanswers, openanswers;
    // Runs on every processmessages() (e.g. to press Cancel in the middle of a transfer).
    std::function<void(int pumpcount)> onpump;

    void setstatus(std::string_view text) override { statuses.emplace_back(text); }
    void setgaugemax(int max) override { gaugemax = max; }
    void setgaugeposition(int position) override {
        gaugeposition = position;
        gaugepositions.push_back(position);
    }
    void setcursor(Cursor cursor) override { cursors.push_back(cursor); }
    Answer messagebox(std::string_view text, std::string_view caption, Icon icon, Buttons buttons) override {
        boxes.push_back({std::string(text), std::string(caption), icon, buttons});
        if (!answers.empty()) {
            Answer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
    std::optional<std::string> inputbox(std::string_view title, std::string_view prompt,
                                        std::string_view initial) override {
        inputs.push_back({std::string(title), std::string(prompt), std::string(initial)});
        return take(inputanswers);
    }
    std::optional<std::string> savedialog(const FileDialogSpec& spec) override {
        savedialogs.push_back(spec);
        return take(saveanswers);
    }
    std::optional<std::string> opendialog(const FileDialogSpec& spec) override {
        opendialogs.push_back(spec);
        return take(openanswers);
    }
    void processmessages() override {
        ++pumps;
        if (onpump) onpump(pumps);
    }
    void refreshfilelist() override { ++refreshes; }

    std::string laststatus() const { return statuses.empty() ? std::string() : statuses.back(); }

private:
    static std::optional<std::string> take(std::deque<std::optional<std::string>>& q) {
        if (q.empty()) return std::nullopt;
        auto a = q.front();
        q.pop_front();
        return a;
    }
};

} // namespace tessaly::test
