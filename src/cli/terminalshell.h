#pragma once
#include <cstdio>
#include <optional>
#include <string>

#include "link/pump.h"
#include "link/shell.h"

namespace tessaly::cli {

// The Shell of the command line: status texts and message boxes go to stderr, one line
// each; the gauge is a progress bar on stderr; questions and dialogs are answered from
// what the command's flags said beforehand. Window messages become the link's Ctrl+C check.
class TerminalShell final : public Shell {
public:
    explicit TerminalShell(MessagePump& pump, std::FILE* out = stderr);
    ~TerminalShell() override;

    // Answers given in advance.
    Answer answer = Answer::Ok;               // to Yes/No(/Cancel) and OK/Cancel boxes
    std::optional<std::string> inputanswer;   // to input boxes (nullopt: cancelled)
    std::optional<std::string> savepath;      // to save dialogs
    std::optional<std::string> openpath;      // to open dialogs
    bool quiet = false;                       // no status lines, no bar

    void setstatus(std::string_view text) override;
    void setgaugemax(int max) override;
    void setgaugeposition(int position) override;
    void setcursor(Cursor) override {}
    Answer messagebox(std::string_view text, std::string_view caption, Icon icon, Buttons buttons) override;
    std::optional<std::string> inputbox(std::string_view title, std::string_view prompt,
                                        std::string_view initial) override;
    std::optional<std::string> savedialog(const FileDialogSpec& spec) override;
    std::optional<std::string> opendialog(const FileDialogSpec& spec) override;
    void processmessages() override { m_pump.processmessages(); }

    // Ends a bar that is on show, so what follows starts on a fresh line.
    void endbar();

    // The text of the last line written, as given: a failure already on show is not
    // repeated at the end.
    const std::string& lastline() const { return m_last; }

private:
    void line(std::string_view text);
    void drawbar();

    MessagePump& m_pump;
    std::FILE* m_out;
    std::string m_last;
    int m_max = 0;
    int m_position = 0;
    int m_drawn = -1;     // per cent last drawn; -1 forces the next drawing
    bool m_shown = false;     // a bar is on the current line
    bool m_terminal = false;  // a bar redrawn in place; else plain progress lines
};

// A text for the terminal: "\r" line breaks made into newlines, control bytes shown as \xNN.
std::string terminaltext(std::string_view text);

} // namespace tessaly::cli
