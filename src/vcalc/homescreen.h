#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vcalc/vcalc.h"

namespace tessaly {

// Key codes the calculator understands.
namespace key {
inline constexpr std::uint16_t Enter = 13;
inline constexpr std::uint16_t Backspace = 257;
inline constexpr std::uint16_t Sto = 258;
inline constexpr std::uint16_t Clear = 263;
inline constexpr std::uint16_t Esc = 264;
inline constexpr std::uint16_t Apps = 265;
inline constexpr std::uint16_t Mode = 266;
inline constexpr std::uint16_t On = 267;
inline constexpr std::uint16_t F1 = 268;
inline constexpr std::uint16_t F8 = 275;
inline constexpr std::uint16_t Second = 4096;
inline constexpr std::uint16_t Diamond = 8192;
inline constexpr std::uint16_t Quit = Second + Esc;
inline constexpr std::uint16_t Home = Diamond + 'Q';
inline constexpr std::uint16_t Var = Second + '-';
} // namespace key

// The calculator's home screen: a tool bar, the history of entries and answers, the
// entry line where typed keys appear, and the status line. Entries run a few commands
// (DelVar, NewFold); anything else is answered with itself.
class HomeScreen {
public:
    bool athome() const { return m_athome; }
    // True when the key changed the memory.
    bool presskey(std::uint16_t code, CalcMemory& memory);
    void render(CalcScreen& screen) const;
    const std::string& entry() const { return m_entry; }
    const std::vector<std::pair<std::string, std::string>>& history() const { return m_history; }

private:
    std::string evaluate(const std::string& entry, CalcMemory& memory, bool& changed);

    bool m_athome = true;
    std::string m_away;  // the title of the screen shown instead of the home screen
    std::string m_entry;
    std::vector<std::pair<std::string, std::string>> m_history;
};

// The calculator's small font: 5 x 7 pixels in a 6 x 8 cell.
void drawtext(CalcScreen& screen, int x, int y, std::string_view text, bool inverse = false);
inline constexpr int kCharWidth = 6;

} // namespace tessaly
