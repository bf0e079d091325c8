#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"

namespace tessaly {

inline constexpr std::string_view kRemoteKeysHelp =
    "Keys to press:\nalphabetic + numbers + arrows\nF1-F8\nAPPS = HOME\nSTO-> = END\nMODE = Page Up\nCLEAR = "
    "Page Down\nEXIT = CTRL-Z";

// Calculator keys reached from the computer's keyboard. A typed character is looked up
// first (0: the character itself is the code); a key that types none by its Windows
// virtual-key number (0: no calculator key). Both tables are fixed.
std::uint16_t charkeycode(unsigned char c);
std::uint16_t virtualkeycode(unsigned vk);
// The key that types a character (a Unicode code point): the character table's, as the
// remote keyboard sends it; nullopt for one beyond Latin-1, which no key types.
std::optional<std::uint16_t> typedkeycode(char32_t c);

// Virtual-key numbers of the keys that type no character but have a calculator key.
namespace vk {
inline constexpr unsigned PageUp = 33, PageDown = 34, End = 35, Home = 36, Left = 37, Up = 38, Right = 39, Down = 40,
                          Insert = 45, Delete = 46, F1 = 112, F8 = 119, Z = 90;
}

// A calculator key by name (ENTER, ESC, APPS, F1..F8, LEFT, ...) or by its number.
// The model's own code first (the TI-89's HOME is a key of its own); a name only another
// model knows gives that model's code.
std::optional<std::uint16_t> keybyname(std::string_view name, const CalculatorModel& model = kTI92);
// Whether models differ in the code of this name, so it waits until the model is known.
bool keydependsonmodel(std::string_view name);
// The names keybyname knows, for help texts.
std::string keynames();

// One key press, 09 87 with the code in the length field, then the remote keyboard's
// acknowledgement wait, repeated (window messages before each attempt) until the
// calculator acknowledges or the link fails.
bool sendkey(Link& link, std::uint16_t code);

// The remote keyboard's queue. Keys pressed while a key is on its way are appended and go
// out after it, in order; keys pressed while another transfer holds the link are held back
// until flush() finds it free. The queue has no fixed size.
class RemoteKeyboard {
public:
    explicit RemoteKeyboard(Link& link) : m_link(link) {}

    // Showing the window: an empty queue, nothing on its way, the link allowed again.
    void reset();
    void press(std::uint16_t code);
    // Sends what was held back, when no transfer runs.
    void flush();

    bool sending() const { return m_sending; }
    std::size_t queued() const { return m_queue.size(); }

private:
    void sendkeys();

    Link& m_link;
    std::deque<std::uint16_t> m_queue;
    bool m_sending = false;
};

// At least this long between two key presses (more than 20 ms).
inline constexpr std::uint32_t kKeySpacingMs = 20;

} // namespace tessaly
