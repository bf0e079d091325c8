#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "link/pump.h"
#include "link/progress.h"

namespace tessaly::cli {

// The progress of the command line: status texts and news go to stderr, one line each;
// the gauge is a progress bar on stderr. Window messages become the link's Ctrl+C check.
// Questions are not asked here: each command answers its flow's from its options.
class TerminalProgress final : public Progress {
public:
    explicit TerminalProgress(MessagePump& pump, std::FILE* out = stderr);
    ~TerminalProgress() override;

    bool quiet = false;  // no status lines, no bar; news is still written
    // Status lines ending so are not written: the command says that itself, once, at the end.
    std::string_view hiddenending;

    void setstatus(std::string_view text) override;
    void setgaugemax(int max) override;
    void setgaugeposition(int position) override;
    void working(Work) override {}
    void tell(News, std::string_view text) override { line(text); }
    void refusebusy() override { line(kBusyText); }
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
