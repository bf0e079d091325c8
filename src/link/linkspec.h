#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// Which cable: the LINK string of TESSALY92_LINK and --link, parsed in this one place.
//   virtual | virtual:FILE.92g | virtual:MODEL[:FILE] | socket:PATH | ppdev:/dev/parportN | direct:0x378
//   black:/dev/ttyS0 | grey:/dev/ttyUSB0 | silver | silver:BUS:ADDR | titanium | titanium:BUS:ADDR
//   usb-socket:PATH (a virtual Titanium's USB port)
// Without a LINK string the port list's address is used over ppdev (Kind::Auto).
struct LinkSpec {
    enum class Kind { Auto, Virtual, Socket, Ppdev, Direct, Black, Grey, Silver, Titanium, UsbSocket };
    Kind kind = Kind::Auto;
    std::string path;            // virtual state file, socket path, ppdev or serial device
    std::uint16_t address = 0;   // direct I/O base address
    // The silver cable's or Titanium's place on the USB (as lsusb shows it); 0: the first one found.
    std::uint8_t usbbus = 0;
    std::uint8_t usbaddress = 0;
    std::string model = {};      // the virtual calculator's model (a model table id); empty: ti92
};

// nullopt and a message for a string that names no backend.
// The cable is a TI-89 Titanium's own USB port, real or virtual.
constexpr bool directusbkind(LinkSpec::Kind kind) {
    return kind == LinkSpec::Kind::Titanium || kind == LinkSpec::Kind::UsbSocket;
}

std::optional<LinkSpec> parselinkspec(std::string_view text, std::string* error);

// What the environment asks for: TESSALY92_LINK when set, else Kind::Auto.
std::optional<LinkSpec> linkspecfromenvironment(std::string* error);

} // namespace tessaly
