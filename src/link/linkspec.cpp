#include "link/linkspec.h"

#include <cstdlib>

#include "link/model.h"

namespace tessaly {

namespace {

std::string kinds() {
    return "virtual, virtual:FILE.92g, socket:PATH, ppdev:/dev/parportN, direct:0x378, black:/dev/ttyS0, "
           "grey:/dev/ttyUSB0, silver or silver:BUS:ADDR, titanium or titanium:BUS:ADDR, usb-socket:PATH; virtual:MODEL[:FILE] with MODEL one of " +
           modelids(", ");
}

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

// The silver cable's place: BUS:ADDR, as lsusb shows them.
bool silverplace(std::string_view rest, LinkSpec& spec, std::string&) {
    const auto second = rest.find(':');
    const auto bus = parsesmall(rest.substr(0, second), 255);
    const auto address = second == std::string_view::npos ? std::nullopt : parsesmall(rest.substr(second + 1), 127);
    if (!bus || !address) return false;
    spec.usbbus = *bus;
    spec.usbaddress = *address;
    return true;
}

// A model's name first (virtual:ti89, virtual:ti89:FILE.89g), else the TI-92's state file
// (virtual:FILE.92g). A typo in the name must not run a TI-92, nor a state file keep the
// memory of another model than its extension says.
bool virtualplace(std::string_view rest, LinkSpec& spec, std::string& why) {
    const auto colon = rest.find(':');
    const std::string_view first = rest.substr(0, colon);
    const CalculatorModel* model = modelbyid(first);
    if (!model && isgroupfileof(kTI92, rest)) {
        spec.path = std::string(rest);
        return true;
    }
    if (!model) {
        why = "names no model: write virtual:MODEL or virtual:MODEL:FILE with MODEL one of " + modelids(", ") +
              ", or virtual:FILE.92g for a TI-92 that keeps its memory in FILE.92g.";
        return false;
    }
    spec.model = std::string(first);
    if (colon == std::string_view::npos) return true;
    spec.path = std::string(rest.substr(colon + 1));
    std::string group = ".";  // appended, not "." + a temporary: GCC's -O3 misreads that as overlapping
    group += model->fileprefix;
    group += 'g';
    if (spec.path.empty())
        why = "needs a state file after the model's name and colon, such as virtual:" + spec.model + ":memory" + group + ".";
    else if (!isgroupfileof(*model, spec.path))
        why = "names " + spec.path + ", no group file of the " + std::string(model->name) + " (" + group +
              "), in which its memory is kept.";
    return why.empty();
}

bool directaddress(std::string_view rest, LinkSpec& spec, std::string&) {
    const auto address = parseaddress(rest);
    if (address) spec.address = *address;
    return address.has_value();
}

// One row per LINK kind: its name, whether it stands alone without a colon, what must
// follow the colon (the message when nothing does; nullptr: the reader below decides),
// and how the rest is read (nullptr: it is the path), with the message when it cannot be
// (the reader may put a message of its own in its place).
struct Form {
    std::string_view name;
    LinkSpec::Kind kind;
    bool alone;
    const char* needs;
    bool (*read)(std::string_view rest, LinkSpec& spec, std::string& why);
    const char* unreadable;
};

constexpr Form kForms[] = {
    {"virtual", LinkSpec::Kind::Virtual, true, "a model's name or a TI-92 group file", virtualplace, ""},
    {"socket", LinkSpec::Kind::Socket, false, "the path of the virtual cable's socket", nullptr, nullptr},
    {"ppdev", LinkSpec::Kind::Ppdev, false, "a device such as /dev/parport0", nullptr, nullptr},
    {"grey", LinkSpec::Kind::Grey, false, "the grey cable's serial device such as /dev/ttyUSB0", nullptr, nullptr},
    {"direct", LinkSpec::Kind::Direct, false, "a port address such as 0x378", directaddress,
     "has no valid port address: write it in hexadecimal, such as direct:0x378, direct:0x3BC or direct:0x278."},
    {"black", LinkSpec::Kind::Black, false, "a serial device such as /dev/ttyS0 or /dev/ttyUSB0", nullptr, nullptr},
    {"silver", LinkSpec::Kind::Silver, true, nullptr, silverplace,
     "names no USB place: write silver for the first silver cable, or silver:BUS:ADDR with the bus and device "
     "numbers lsusb or tessaly92-cli cables shows, such as silver:1:5."},
    {"titanium", LinkSpec::Kind::Titanium, true, nullptr, silverplace,
     "names no USB place: write titanium for the first TI-89 Titanium on the USB, or titanium:BUS:ADDR with the bus "
     "and device numbers lsusb or tessaly92-cli cables shows, such as titanium:1:5."},
    {"usb-socket", LinkSpec::Kind::UsbSocket, false, "the path of a virtual TI-89 Titanium's USB socket", nullptr, nullptr},
};

} // namespace

std::optional<LinkSpec> parselinkspec(std::string_view text, std::string* error) {
    const auto colon = text.find(':');
    const std::string_view kind = text.substr(0, colon);
    const bool hasrest = colon != std::string_view::npos;
    const std::string_view rest = hasrest ? text.substr(colon + 1) : std::string_view();
    const std::string quoted = "The LINK \"" + std::string(text) + "\" ";
    for (const Form& form : kForms) {
        if (form.name != kind) continue;
        LinkSpec spec;
        spec.kind = form.kind;
        if (!hasrest && form.alone) return spec;
        if (rest.empty() && form.needs) {
            fail(error, quoted + "needs " + form.needs + " after \"" + std::string(kind) + ":\".");
            return std::nullopt;
        }
        if (!form.read) {
            spec.path = std::string(rest);
            return spec;
        }
        std::string why = form.unreadable;
        if (form.read(rest, spec, why)) return spec;
        fail(error, quoted + why);
        return std::nullopt;
    }
    fail(error, "Unknown LINK \"" + std::string(text) + "\": use " + kinds() + ".");
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
