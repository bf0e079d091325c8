#pragma once
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "files/savequestions.h"
#include "transfers/send.h"

namespace tessaly::test {

// Records everything reported and answers from scripts: the core's questions (for core
// tests) and the window's dialogs (as the window's answerer in app tests). An unscripted
// question or dialog is answered with Cancel or No (and recorded), so a test never hangs.
class ScriptedShell : public Shell, public SaveQuestions, public SendQuestions {
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
    std::vector<Work> works;
    int gaugemax = 0, gaugeposition = 0;
    std::vector<int> gaugepositions;
    int pumps = 0, refreshes = 0, refusals = 0;
    std::vector<std::pair<News, std::string>> news;
    // The core's questions as asked ("savecopies 2", "sendlibraries P.92P", "comment a.txt",
    // "destination x.92t", "copydestination /f/p.92p 92P") and the failures it handed over.
    std::vector<std::string> questions, failures;

    // Scripted answers, consumed in order.
    std::deque<Answer> answers;
    std::deque<CopyChoice> copychoices;  // unscripted: no copy
    std::deque<bool> yesanswers;         // to sendlibraries; unscripted: no
    // inputanswers also answer comment(), saveanswers destination() and copydestination().
    std::deque<std::optional<std::string>> inputanswers, saveanswers, openanswers;
    // Runs on every processmessages() (e.g. to press Cancel in the middle of a transfer).
    std::function<void(int pumpcount)> onpump;

    void setstatus(std::string_view text) override { statuses.emplace_back(text); }
    void setgaugemax(int max) override { gaugemax = max; }
    void setgaugeposition(int position) override {
        gaugeposition = position;
        gaugepositions.push_back(position);
    }
    void working(Work work) override { works.push_back(work); }
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
    void tell(News kind, std::string_view text) override { news.emplace_back(kind, text); }
    void refusebusy() override { ++refusals; }

    std::string comment(SaveKind, std::string_view source) override {
        questions.push_back("comment " + std::string(source));
        return take(inputanswers).value_or("");
    }
    std::optional<std::filesystem::path> destination(SaveKind, std::string_view suggested,
                                                     const CalculatorModel&) override {
        questions.push_back("destination " + std::string(suggested));
        return take(saveanswers);
    }
    void failed(std::string_view why) override { failures.emplace_back(why); }
    CopyChoice savecopies(std::size_t count) override {
        questions.push_back("savecopies " + std::to_string(count));
        if (copychoices.empty()) return CopyChoice::NoCopy;
        const CopyChoice c = copychoices.front();
        copychoices.pop_front();
        return c;
    }
    std::optional<std::filesystem::path> copydestination(const std::filesystem::path& suggested,
                                                         const std::string& extension) override {
        questions.push_back("copydestination " + suggested.string() + " " + extension);
        return take(saveanswers);
    }
    bool sendlibraries(const std::string& program) override { return yes("sendlibraries " + program); }
    // A yes-or-no question of the core (e.g. a flow's callback), recorded and answered.
    bool yes(std::string question) {
        questions.push_back(std::move(question));
        if (yesanswers.empty()) return false;
        const bool answer = yesanswers.front();
        yesanswers.pop_front();
        return answer;
    }

    void processmessages() override {
        ++pumps;
        if (onpump) onpump(pumps);
    }
    void fileschanged(const std::filesystem::path&) override { ++refreshes; }

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
