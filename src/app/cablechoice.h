#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The cable chosen on the Settings page, turned into the LINK string the environment's
// TESSALY92_LINK would give. Free of Qt so it is tested on its own.
namespace tessaly::app {

struct CableKindEntry {
    std::string_view key;      // as stored in the settings file
    std::string_view caption;  // as the Settings page lists it
    bool serial;               // takes a serial device
    bool bytelevel;            // the cable does the bit handshake: every byte is paced
};
inline constexpr CableKindEntry kCableKinds[] = {
    {"parallel", "Parallel", false, false},
    {"black", "Black serial", true, false},
    {"grey", "Grey serial", true, true},
    {"silver", "Silver USB", false, true},
    // No cable at all: the virtual calculator of the model chosen beside the list, so the
    // program can be tried from the menu without a calculator.
    {"virtual", "Virtual calculator", false, false},
    // The TI-89 Titanium's own USB port: packets of its own, no byte pacing.
    {"titanium", "Titanium USB", false, false},
};

// The position of a stored kind in kCableKinds; an unknown one is the parallel cable.
std::size_t cablekindindex(std::string_view key);

// "black:DEV", "grey:DEV", "silver", "titanium" or "virtual[:MODEL]" (model: a model id, or "auto" for
// the TI-92); empty for the parallel cable, which keeps using the port list's address (no
// LINK string at all).
std::string composelinkstring(std::string_view kind, std::string_view device, std::string_view model = "auto");


} // namespace tessaly::app
