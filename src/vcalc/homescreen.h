#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vcalc/vcalc.h"

#include "link/model.h"

namespace tessaly {

// Key codes the calculator understands, from the model's key table.
namespace key {
inline constexpr std::uint16_t Enter = kTI92.key("ENTER");
inline constexpr std::uint16_t Backspace = kTI92.key("BACKSPACE");
inline constexpr std::uint16_t Sto = kTI92.key("STO");
inline constexpr std::uint16_t Clear = kTI92.key("CLEAR");
inline constexpr std::uint16_t Esc = kTI92.key("ESC");
inline constexpr std::uint16_t Apps = kTI92.key("APPS");
inline constexpr std::uint16_t Mode = kTI92.key("MODE");
inline constexpr std::uint16_t On = kTI92.key("ON");
inline constexpr std::uint16_t F1 = kTI92.key("F1");
inline constexpr std::uint16_t F8 = kTI92.key("F8");
inline constexpr std::uint16_t Second = kTI92.secondkey;
inline constexpr std::uint16_t Diamond = kTI92.diamondkey;
inline constexpr std::uint16_t Quit = Second + Esc;
inline constexpr std::uint16_t Home = Diamond + 'Q';
inline constexpr std::uint16_t Var = Second + '-';
} // namespace key

// The calculator's home screen: a tool bar, the history of entries and answers, the
// entry line where typed keys appear, and the status line. Entries run a few commands
// (DelVar, NewFold); anything else is answered with itself.
class HomeScreen {
public:
    // Only a model with an archive knows Archive and Unarchiv.
    void setarchive(bool on) { m_archive = on; }
    bool athome() const { return m_athome; }
    // True when the key changed the memory.
    bool presskey(std::uint16_t code, CalcMemory& memory);
    // Laid out for the display's shown size (a TI-89's 160 x 100 top left of the bitmap), so
    // its entry and status lines stay on the screen.
    void render(CalcScreen& screen, int width, int height) const;
    const std::string& entry() const { return m_entry; }
    const std::vector<std::pair<std::string, std::string>>& history() const { return m_history; }

private:
    std::string evaluate(const std::string& entry, CalcMemory& memory, bool& changed);
    void typekey(std::uint16_t code);

    bool m_athome = true;
    bool m_archive = false;
    bool m_selected = false;  // the entry line holds the last entry, selected
    std::string m_away;  // the title of the screen shown instead of the home screen
    std::string m_entry;
    std::vector<std::pair<std::string, std::string>> m_history;
};

// The calculator's small font: 5 x 7 pixels in a 6 x 8 cell.
void drawtext(CalcScreen& screen, int x, int y, std::string_view text, bool inverse = false);
inline constexpr int kCharWidth = 6;

} // namespace tessaly
