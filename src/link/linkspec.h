#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// Which cable: the LINK string of TESSALY92_LINK and --link, parsed in this one place.
//   virtual | virtual:FILE.92g | socket:PATH | ppdev:/dev/parportN | direct:0x378 | grey:/dev/ttyUSB0
// Without a LINK string the port list's address is used over ppdev (Kind::Auto).
struct LinkSpec {
    enum class Kind { Auto, Virtual, Socket, Ppdev, Direct, Grey };
    Kind kind = Kind::Auto;
    std::string path;            // virtual state file, socket path, ppdev or serial device
    std::uint16_t address = 0;   // direct I/O base address
};

// nullopt and a message for a string that names no backend.
std::optional<LinkSpec> parselinkspec(std::string_view text, std::string* error);

// What the environment asks for: TESSALY92_LINK when set, else Kind::Auto.
std::optional<LinkSpec> linkspecfromenvironment(std::string* error);

} // namespace tessaly
