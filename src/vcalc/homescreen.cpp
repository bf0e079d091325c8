#include "vcalc/homescreen.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace tessaly {

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

void setpixel(CalcScreen& s, int x, int y, bool dark) {
    if (x < 0 || x >= 240 || y < 0 || y >= 128) return;
    const auto bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
    auto& b = s[static_cast<std::size_t>(y * 30 + x / 8)];
    b = dark ? static_cast<std::uint8_t>(b | bit) : static_cast<std::uint8_t>(b & ~bit);
}

void hline(CalcScreen& s, int x0, int x1, int y) {
    for (int x = x0; x <= x1; ++x) setpixel(s, x, y, true);
}

void fill(CalcScreen& s, int x0, int y0, int x1, int y1) {
    for (int y = y0; y <= y1; ++y) hline(s, x0, x1, y);
}

} // namespace

bool HomeScreen::presskey(std::uint16_t code, CalcMemory& memory) {
    if (code == key::Home || code == key::Esc || code == key::Quit) {
        m_athome = true;
        m_away.clear();
        return false;
    }
    if (!m_athome) return false;  // the application that has the screen takes the key
    if (code == key::Apps || code == key::Mode || code == key::Var || (code >= key::F1 && code <= key::F8)) {
        m_athome = false;
        m_away = code == key::Apps ? "APPLICATIONS" : code == key::Mode ? "MODE" : code == key::Var ? "VAR-LINK" : "MENU";
        return false;
    }
    bool changed = false;
    if (code == key::Enter) {
        if (!trim(m_entry).empty()) {
            std::string answer = evaluate(m_entry, memory, changed);
            m_history.emplace_back(m_entry, std::move(answer));
            if (m_history.size() > 99) m_history.erase(m_history.begin());
        }
        m_selected = !m_entry.empty();
    } else {
        typekey(code);
    }
    return changed;
}

void HomeScreen::typekey(std::uint16_t code) {
    const bool selected = std::exchange(m_selected, false);
    if (code == key::Clear) {
        if (m_entry.empty())
            m_history.clear();
        else
            m_entry.clear();
        return;
    }
    const bool types = code == key::Sto || (code == (code & 0x0FFF) && code >= 32 && code < 127);
    // A selected entry goes when something is typed over it or it is rubbed out.
    if (selected && (types || code == key::Backspace)) m_entry.clear();
    if (code == key::Backspace) {
        if (!m_entry.empty()) m_entry.pop_back();
    } else if (types && m_entry.size() < 200) {
        m_entry += code == key::Sto ? '\x16' : static_cast<char>(code);  // the store arrow
    } else if (!types) {
        m_selected = selected;  // a key that types nothing leaves the selection
    }
}

void HomeScreen::render(CalcScreen& s, int width, int height) const {
    s.fill(0);
    const int right = width - 1;
    if (!m_athome) {
        fill(s, 0, 0, right, 9);
        drawtext(s, 4, 1, m_away, true);
        drawtext(s, 4, 60, "ESC returns");
        return;
    }
    // Tool bar.
    static constexpr std::string_view kTools[] = {"F1 Tools", "F2 Algebra", "F3 Calc", "F4 Other", "F5 PrgmIO",
                                                  "F6 Clean Up"};
    int x = 0;
    for (auto t : kTools) {
        drawtext(s, x + 1, 1, t);
        x += static_cast<int>(t.size()) * kCharWidth + 3;
        for (int y = 0; y < 10; ++y) setpixel(s, x - 1, y, true);
    }
    hline(s, 0, right, 10);
    // The lines below the history, from the bottom: status, rule, entry, rule.
    const int status = height - 8, entryline = height - 18;
    const auto entrychars = static_cast<std::size_t>((width - 12) / kCharWidth);
    const auto answerchars = static_cast<std::size_t>((width - 6) / kCharWidth);
    // History: entry on the left, answer on the right, newest at the bottom.
    int y = height - 30;
    for (auto it = m_history.rbegin(); it != m_history.rend() && y >= 12; ++it) {
        const std::string& answer = it->second;
        drawtext(s, 2, y - 9, std::string("\x1F").append(it->first, 0, entrychars));
        drawtext(s, width - 2 - static_cast<int>(std::min(answer.size(), answerchars)) * kCharWidth, y,
                 answer.substr(0, answerchars));
        y -= 20;
    }
    hline(s, 0, right, entryline - 2);
    // Entry line with its cursor.
    const std::string shown = m_entry.size() > entrychars ? m_entry.substr(m_entry.size() - entrychars) : m_entry;
    drawtext(s, 2, entryline, shown, m_selected);
    fill(s, 2 + static_cast<int>(shown.size()) * kCharWidth, entryline, 2 + static_cast<int>(shown.size()) * kCharWidth,
         entryline + 7);
    hline(s, 0, right, status - 1);
    // Status line.
    drawtext(s, 2, status, "MAIN        RAD AUTO        FUNC " + std::to_string(m_history.size()) + "/99");
}

} // namespace tessaly
