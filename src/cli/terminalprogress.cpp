#include "cli/terminalprogress.h"

#include <unistd.h>

namespace tessaly::cli {

namespace {
constexpr int kBarWidth = 40;
} // namespace

std::string terminaltext(std::string_view text) {
    // Names and comments come from files and from the calculator: a control byte among
    // them must not reach the terminal as an escape sequence.
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    auto escape = [&](unsigned char b) {
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 15];
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto b = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') {
            out += '\n';
        } else if (b < 0x20 || b == 0x7F) {
            escape(b);
        } else if (b < 0x80) {
            out += c;
        } else {
            // A lone byte above 0x7F (a raw TI-92 or Latin-1 byte) and the C1 controls
            // U+0080-U+009F are escape sequences to some terminals: only whole UTF-8
            // characters from U+00A0 on pass.
            const int more = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
            bool whole = more > 0;
            for (int k = 1; whole && k <= more; ++k)
                whole = i + static_cast<std::size_t>(k) < text.size() &&
                        (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0xC0) == 0x80;
            const bool c1 = b == 0xC2 && whole && static_cast<unsigned char>(text[i + 1]) < 0xA0;
            if (!whole || c1) {
                escape(b);
                continue;
            }
            out.append(text.substr(i, static_cast<std::size_t>(more) + 1));
            i += static_cast<std::size_t>(more);
        }
    }
    return out;
}

TerminalProgress::TerminalProgress(MessagePump& pump, std::FILE* out)
    : m_pump(pump), m_out(out), m_terminal(::isatty(fileno(out)) == 1) {}

TerminalProgress::~TerminalProgress() { endbar(); }

void TerminalProgress::line(std::string_view text) {
    endbar();
    m_last = text;
    const std::string t = terminaltext(text);
    std::fprintf(m_out, "%s\n", t.c_str());
    std::fflush(m_out);
}

void TerminalProgress::setstatus(std::string_view text) {
    if (!quiet && (hiddenending.empty() || !text.ends_with(hiddenending))) line(text);
}

void TerminalProgress::setgaugemax(int max) {
    m_max = max;
    m_drawn = -1;
}

void TerminalProgress::setgaugeposition(int position) {
    m_position = position;
    if (!quiet) drawbar();
}

void TerminalProgress::drawbar() {
    if (m_max <= 0) return;
    const int clamped = m_position < 0 ? 0 : (m_position > m_max ? m_max : m_position);
    const int percent = static_cast<int>(static_cast<long long>(clamped) * 100 / m_max);
    // Redraw only when the bar visibly moves, so a long transfer writes little.
    if (percent == m_drawn) return;
    // Into a log, carriage returns would only pile up: a plain line every tenth.
    if (!m_terminal) {
        if (percent / 10 == m_drawn / 10 && m_drawn >= 0) return;
        m_drawn = percent;
        std::fprintf(m_out, "%3d%% %d/%d\n", percent, clamped, m_max);
        std::fflush(m_out);
        return;
    }
    m_drawn = percent;
    m_shown = true;
    const int filled = percent * kBarWidth / 100;
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(m_out, "\r[%s] %3d%% %d/%d", bar, percent, clamped, m_max);
    std::fflush(m_out);
}

void TerminalProgress::endbar() {
    if (!m_shown) return;
    std::fprintf(m_out, "\n");
    std::fflush(m_out);
    m_shown = false;
    m_drawn = -1;
}

} // namespace tessaly::cli
