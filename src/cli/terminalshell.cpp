#include "cli/terminalshell.h"

namespace tessaly::cli {

namespace {
constexpr int kBarWidth = 40;
} // namespace

std::string terminaltext(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\r') c = '\n';
    return out;
}

TerminalShell::TerminalShell(MessagePump& pump, std::FILE* out) : m_pump(pump), m_out(out) {}

TerminalShell::~TerminalShell() { endbar(); }

void TerminalShell::line(std::string_view text) {
    endbar();
    const std::string t = terminaltext(text);
    std::fprintf(m_out, "%s\n", t.c_str());
    std::fflush(m_out);
}

void TerminalShell::setstatus(std::string_view text) {
    if (!quiet) line(text);
}

void TerminalShell::setgaugemax(int max) {
    m_max = max;
    m_drawn = -1;
}

void TerminalShell::setgaugeposition(int position) {
    m_position = position;
    if (!quiet) drawbar();
}

void TerminalShell::drawbar() {
    if (m_max <= 0) return;
    const int clamped = m_position < 0 ? 0 : (m_position > m_max ? m_max : m_position);
    const int percent = static_cast<int>(static_cast<long long>(clamped) * 100 / m_max);
    // Redraw only when the bar visibly moves, so a long transfer writes little.
    if (percent == m_drawn) return;
    m_drawn = percent;
    m_shown = true;
    const int filled = percent * kBarWidth / 100;
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(m_out, "\r[%s] %3d%% %d/%d", bar, percent, clamped, m_max);
    std::fflush(m_out);
}

void TerminalShell::endbar() {
    if (!m_shown) return;
    std::fprintf(m_out, "\n");
    std::fflush(m_out);
    m_shown = false;
    m_drawn = -1;
}

Answer TerminalShell::messagebox(std::string_view text, std::string_view caption, Icon, Buttons buttons) {
    std::string shown(caption.empty() ? "" : std::string(caption) + ": ");
    shown += text;
    line(shown);
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::OkCancel:
        return answer == Answer::Cancel || answer == Answer::No ? Answer::Cancel : Answer::Ok;
    case Buttons::YesNo:
        return answer == Answer::Yes || answer == Answer::Ok ? Answer::Yes : Answer::No;
    case Buttons::YesNoCancel:
        return answer == Answer::Ok ? Answer::Yes : answer;
    }
    return answer;
}

std::optional<std::string> TerminalShell::inputbox(std::string_view, std::string_view, std::string_view) {
    return inputanswer;
}

std::optional<std::string> TerminalShell::savedialog(const FileDialogSpec&) { return savepath; }

std::optional<std::string> TerminalShell::opendialog(const FileDialogSpec&) { return openpath; }

} // namespace tessaly::cli
