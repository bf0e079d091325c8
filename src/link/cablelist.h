#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

class UsbHost;

// Where the machine shows its ports; tests point them into a scratch folder.
struct CableListPaths {
    std::filesystem::path dev = "/dev";
    std::filesystem::path sysclass = "/sys/class/tty";
    std::vector<std::filesystem::path> udevrules = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                                    "/usr/local/lib/udev/rules.d", "/usr/lib/udev/rules.d",
                                                    "/lib/udev/rules.d"};
};

// A port or cable this machine offers, and whether the program could use it now.
struct FoundCable {
    enum class Kind { Parallel, Serial, Silver, Titanium };
    Kind kind = Kind::Parallel;
    std::string where;    // "/dev/parport0", "bus 1 address 5"
    std::string link;     // the LINK string that picks it
    bool usable = false;  // it opens
    std::string problem;  // why it does not, with the fix
};

// Parallel ports (/dev/parport*), serial ports (/dev/ttyS* with a UART behind them,
// /dev/ttyUSB*, /dev/ttyACM*), silver cables and TI-89 Titaniums on their own USB port, each
// tried for opening.
std::vector<FoundCable> listcables(UsbHost& usb, const CableListPaths& paths = {});
std::vector<FoundCable> listcables();

// The serial ports, without opening them: ttyS* with a UART behind them, then ttyUSB* and
// ttyACM*, each in the order of its number (ttyS2 before ttyS10).
std::vector<std::filesystem::path> serialports(const CableListPaths& paths = {});

// Whether a udev rule for 0451:product (e001 the silver cable, e004 the Titanium) lies in one
// of these folders.
bool silverruleinstalled(const std::vector<std::filesystem::path>& folders, std::string_view product = "e001");

} // namespace tessaly
