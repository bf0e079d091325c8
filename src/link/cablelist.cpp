#include "link/cablelist.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "link/byteorder.h"
#include "link/ports/blackport.h"
#include "link/ports/ppdevport.h"
#include "link/ports/silverstream.h"
#include "link/ports/titaniumusb.h"

#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace tessaly {

namespace fs = std::filesystem;

namespace {

// The device nodes named prefix + number, in the order of their numbers.
std::vector<fs::path> numbered(const fs::path& dev, const std::string& prefix) {
    std::vector<std::pair<long, fs::path>> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dev, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix) || name.size() == prefix.size() || name.size() > prefix.size() + 6) continue;
        if (name.find_first_not_of("0123456789", prefix.size()) != std::string::npos) continue;
        found.emplace_back(std::stol(name.substr(prefix.size())), entry.path());
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> paths;
    for (auto& f : found) paths.push_back(std::move(f.second));
    return paths;
}

// The errno of opening the device for reading and writing, 0 when it opens.
int tryopen(const fs::path& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
}

// Whether a /dev/ttyS node has a UART behind it: the kernel makes one for every possible
// port, most of them empty (type 0, "unknown").
bool hasuart(const fs::path& device, const CableListPaths& paths) {
    std::ifstream type(paths.sysclass / device.filename() / "type");
    int value = 0;
    if (type >> value) return value != 0;
#if defined(__linux__)
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EACCES || errno == EPERM;  // cannot tell: show it with its problem
    serial_struct info{};
    const bool uart = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return uart;
#else
    return true;
#endif
}

std::string placeof(SilverPlace place) {
    return "bus " + std::to_string(place.bus) + " address " + std::to_string(place.address);
}

} // namespace

bool silverruleinstalled(const std::vector<fs::path>& folders, std::string_view product) {
    for (const auto& folder : folders) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            if (entry.path().extension() != ".rules") continue;
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            std::string rules = text.str();
            rules = lowstring(rules);
            // Appended, not "\"" + ...: GCC's -O3 misreads that temporary as an overlapping copy.
            std::string quoted(1, '"');
            quoted.append(lowstring(product)).push_back('"');
            if (rules.find("\"0451\"") != std::string::npos && rules.find(quoted) != std::string::npos) return true;
        }
    }
    return false;
}

std::vector<fs::path> serialports(const CableListPaths& paths) {
    std::vector<fs::path> serial;
    for (const auto& device : numbered(paths.dev, "ttyS"))
        if (hasuart(device, paths)) serial.push_back(device);
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        const auto more = numbered(paths.dev, prefix);
        serial.insert(serial.end(), more.begin(), more.end());
    }
    return serial;
}

std::vector<FoundCable> listcables(UsbHost& usb, const CableListPaths& paths) {
    std::vector<FoundCable> found;
    for (const auto& device : numbered(paths.dev, "parport")) {
        FoundCable c{FoundCable::Kind::Parallel, device.string(), "ppdev:" + device.string(), true, {}};
        if (const int err = tryopen(device)) {
            c.usable = false;
            c.problem = ppdevopenerror(device, err);
        }
        found.push_back(std::move(c));
    }
    for (const auto& device : serialports(paths)) {
        FoundCable c{FoundCable::Kind::Serial, device.string(), "black:" + device.string(), true, {}};
        if (const int err = tryopen(device)) {
            c.usable = false;
            c.problem = blackopenerror(device.string(), err);
        }
        found.push_back(std::move(c));
    }
    bool rule = false, ruleknown = false;
    for (const SilverFound& s : usb.list()) {
        FoundCable c{FoundCable::Kind::Silver, placeof(s.place),
                     "silver:" + std::to_string(s.place.bus) + ":" + std::to_string(s.place.address),
                     s.problem == UsbProblem::None, {}};
        if (!c.usable) {
            c.problem = silveropenerror(s.place, s.problem, s.detail);
            if (s.problem == UsbProblem::Permission) {
                if (!ruleknown) rule = silverruleinstalled(paths.udevrules), ruleknown = true;
                // The rule is there but did not apply: the cable was plugged in before it
                // came, or the user is not in the group yet.
                if (rule)
                    c.problem = "No permission to use the silver USB cable at " + c.where +
                                ": its udev rule is installed; plug the cable in again, or join the group plugdev "
                                "(sudo usermod -aG plugdev $USER) and log in again.";
            }
        }
        found.push_back(std::move(c));
    }
    bool titaniumrule = false, titaniumruleknown = false;
    for (const SilverFound& s : usb.listtitanium()) {
        FoundCable c{FoundCable::Kind::Titanium, placeof(s.place),
                     "titanium:" + std::to_string(s.place.bus) + ":" + std::to_string(s.place.address),
                     s.problem == UsbProblem::None, {}};
        if (!c.usable) {
            c.problem = titaniumopenerror(s.place, s.problem, s.detail);
            if (s.problem == UsbProblem::Permission) {
                if (!titaniumruleknown) titaniumrule = silverruleinstalled(paths.udevrules, "e004"), titaniumruleknown = true;
                if (titaniumrule)
                    c.problem = "No permission to use the TI-89 Titanium at " + c.where +
                                ": its udev rule is installed; plug the calculator in again, or join the group "
                                "plugdev (sudo usermod -aG plugdev $USER) and log in again.";
            }
        }
        found.push_back(std::move(c));
    }
    return found;
}

std::vector<FoundCable> listcables() { return listcables(usbhost()); }

} // namespace tessaly
