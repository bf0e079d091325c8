#include "link/linkspec.h"

#include <cstdlib>

namespace tessaly {

namespace {

constexpr std::string_view kForms =
    "virtual, virtual:FILE.92g, socket:PATH, ppdev:/dev/parportN, direct:0x378, black:/dev/ttyS0, "
    "grey:/dev/ttyUSB0, silver or silver:BUS:ADDR";

bool fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

// A hexadecimal port address with or without 0x, as the port list writes them (0378).
std::optional<std::uint16_t> parseaddress(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    if (text.empty() || text.size() > 4) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * 16 + unsigned(digit);
    }
    // The status register (base + 1) and the control register (base + 2) must exist too.
    if (value == 0 || value > 0xFFFD) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// A decimal number from 1 to max, leading zeros allowed (lsusb prints "001").
std::optional<std::uint8_t> parsesmall(std::string_view text, unsigned max) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + unsigned(c - '0');
    }
    if (value == 0 || value > max) return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

} // namespace

std::optional<LinkSpec> parselinkspec(std::string_view text, std::string* error) {
    LinkSpec spec;
    const auto colon = text.find(':');
    const std::string_view kind = text.substr(0, colon);
    const std::string_view rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    const bool hasrest = colon != std::string_view::npos;
    spec.path = std::string(rest);

    auto needs = [&](std::string_view what) {
        fail(error, "The LINK \"" + std::string(text) + "\" needs " + std::string(what) + " after \"" +
                        std::string(kind) + ":\".");
        return std::nullopt;
    };
    if (kind == "virtual") {
        spec.kind = LinkSpec::Kind::Virtual;
        if (hasrest && rest.empty()) return needs("a TI-92 group file");
        return spec;
    }
    if (kind == "socket") {
        spec.kind = LinkSpec::Kind::Socket;
        if (rest.empty()) return needs("the path of the virtual cable's socket");
        return spec;
    }
    if (kind == "ppdev") {
        spec.kind = LinkSpec::Kind::Ppdev;
        if (rest.empty()) return needs("a device such as /dev/parport0");
        return spec;
    }
    if (kind == "grey") {
        spec.kind = LinkSpec::Kind::Grey;
        if (rest.empty()) return needs("the grey cable's serial device such as /dev/ttyUSB0");
        return spec;
    }
    if (kind == "direct") {
        spec.kind = LinkSpec::Kind::Direct;
        spec.path.clear();
        if (rest.empty()) return needs("a port address such as 0x378");
        const auto address = parseaddress(rest);
        if (!address) {
            fail(error, "The LINK \"" + std::string(text) + "\" has no valid port address: write it in hexadecimal, "
                        "such as direct:0x378, direct:0x3BC or direct:0x278.");
            return std::nullopt;
        }
        spec.address = *address;
        return spec;
    }
    if (kind == "black") {
        spec.kind = LinkSpec::Kind::Black;
        if (rest.empty()) return needs("a serial device such as /dev/ttyS0 or /dev/ttyUSB0");
        return spec;
    }
    if (kind == "silver") {
        spec.kind = LinkSpec::Kind::Silver;
        spec.path.clear();
        if (!hasrest) return spec;
        const auto second = rest.find(':');
        const auto bus = parsesmall(rest.substr(0, second), 255);
        const auto address = second == std::string_view::npos ? std::nullopt : parsesmall(rest.substr(second + 1), 127);
        if (!bus || !address) {
            fail(error, "The LINK \"" + std::string(text) + "\" names no USB place: write silver for the first "
                        "silver cable, or silver:BUS:ADDR with the bus and device numbers lsusb or "
                        "tessaly92-cli cables shows, such as silver:1:5.");
            return std::nullopt;
        }
        spec.usbbus = *bus;
        spec.usbaddress = *address;
        return spec;
    }
    fail(error, "Unknown LINK \"" + std::string(text) + "\": use " + std::string(kForms) + ".");
    return std::nullopt;
}

std::optional<LinkSpec> linkspecfromenvironment(std::string* error) {
    const char* value = std::getenv("TESSALY92_LINK");
    if (!value || !*value) return LinkSpec{};
    std::string why;
    auto spec = parselinkspec(value, &why);
    if (!spec && error) *error = "TESSALY92_LINK: " + why;
    return spec;
}

} // namespace tessaly
