#include "link/ports/titaniumusb.h"

namespace tessaly {

namespace {

// A transfer out is taken as soon as the calculator has room; it may be thinking.
constexpr std::uint32_t kWriteTimeoutMs = 2000;

std::string placetext(SilverPlace place) {
    if (place.bus == 0) return "the TI-89 Titanium's USB port";
    return "the TI-89 Titanium at bus " + std::to_string(place.bus) + " address " + std::to_string(place.address);
}

} // namespace

std::string titaniumopenerror(SilverPlace place, UsbProblem problem, const std::string& detail) {
    const std::string where = placetext(place);
    switch (problem) {
    case UsbProblem::None: return {};
    case UsbProblem::Missing:
        return place.bus == 0
                   ? std::string("No TI-89 Titanium (0451:e004) is on the USB: connect it with its USB cable, turn it "
                                 "on, and check with tessaly92-cli cables that it is found.")
                   : "No TI-89 Titanium (0451:e004) is at bus " + std::to_string(place.bus) + " address " +
                         std::to_string(place.address) +
                         ": the address changes each time it is plugged in; use LINK titanium, or see "
                         "tessaly92-cli cables.";
    case UsbProblem::Permission:
        return "No permission to use " + where +
               ": install tessaly92's udev rule 69-tessaly92-silver.rules (it covers 0451:e004) into "
               "/etc/udev/rules.d, run sudo udevadm control --reload-rules and plug the calculator in again "
               "(with the rule in place, join the group plugdev and log in again).";
    case UsbProblem::KernelDriver:
        return "The TI-89 Titanium's USB port is held by " +
               (detail.empty() ? std::string("a kernel driver") : "the kernel driver " + detail) +
               " that would not let go: unload it and plug the calculator in again.";
    case UsbProblem::Busy: return "Another program holds " + where + ": close it and try again.";
    case UsbProblem::Failed: break;
    }
    return "Cannot use " + where + (detail.empty() ? std::string(".") : ": " + detail + ".");
}

void TitaniumStream::fail(UsbStatus status, const char* during) {
    if (status == UsbStatus::Gone) {
        m_error = "The TI-89 Titanium was unplugged from the USB.";
        m_device.reset();
        return;
    }
    if (m_error.empty())
        m_error = std::string("The TI-89 Titanium's USB port failed while ") + during +
                  (status == UsbStatus::Timeout ? " (the calculator took nothing: is it on?)." : ".");
}

bool TitaniumStream::write(std::span<const std::uint8_t> bytes) {
    if (!m_device) return false;
    UsbTransfer t = m_device->bulkwrite(kTitaniumOut, bytes, kWriteTimeoutMs);
    if (t.status == UsbStatus::Stall) {
        // A stalled pipe is cleared and the transfer tried once more.
        if (m_device->clearhalt(kTitaniumOut) == UsbStatus::Gone) t.status = UsbStatus::Gone;
        else t = m_device->bulkwrite(kTitaniumOut, bytes, kWriteTimeoutMs);
    }
    if (t.status != UsbStatus::Ok || t.count != bytes.size()) {
        fail(t.status == UsbStatus::Ok ? UsbStatus::Timeout : t.status, "sending");
        return false;
    }
    return true;
}

int TitaniumStream::read(std::span<std::uint8_t> out, std::uint32_t timeoutms) {
    if (!m_device) return -1;
    if (out.empty()) return 0;
    const UsbTransfer t = m_device->bulkread(kTitaniumIn, out, std::max<std::uint32_t>(timeoutms, 1));
    switch (t.status) {
    case UsbStatus::Ok:
    case UsbStatus::Timeout: return int(t.count);
    case UsbStatus::Stall:
        if (m_device->clearhalt(kTitaniumIn) != UsbStatus::Gone) return int(t.count);
        fail(UsbStatus::Gone, "receiving");
        return -1;
    default: fail(t.status, "receiving"); return -1;
    }
}

std::unique_ptr<ByteStream> opentitanium(const LinkSpec& spec, UsbHost& host, std::string* error) {
    const SilverPlace place{spec.usbbus, spec.usbaddress};
    UsbProblem problem = UsbProblem::None;
    std::string detail;
    auto device = host.opentitanium(place, &problem, &detail);
    if (!device) {
        if (error) *error = titaniumopenerror(place, problem == UsbProblem::None ? UsbProblem::Failed : problem, detail);
        return nullptr;
    }
    return std::make_unique<TitaniumStream>(std::move(device));
}

std::unique_ptr<ByteStream> opentitanium(const LinkSpec& spec, std::string* error) {
    return opentitanium(spec, usbhost(), error);
}

} // namespace tessaly
