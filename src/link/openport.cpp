#include "link/openport.h"

#include <cstdio>

#include "link/ports/directport.h"
#include "link/ports/nullport.h"
#include "link/ports/ppdevport.h"
#include "link/ports/socketport.h"
#include "vcalc/vcalc.h"

namespace tessaly {

namespace {

// About a real TI-92's pace: a few kilobytes a second.
constexpr std::uint32_t kVirtualPace = 40000;

// A backend that could not open is replaced by one without a calculator, so transfers
// still run out on their timeouts instead of touching a half-open device.
template <class P>
OpenedPort opened(std::unique_ptr<P> port, bool ok, std::string description) {
    OpenedPort result;
    result.description = std::move(description);
    if (ok) {
        result.port = std::move(port);
    } else {
        result.error = port->error();
        result.port = std::make_unique<NullPort>();
    }
    return result;
}

} // namespace

OpenedPort openport(const LinkSpec& spec, Clock& clock, std::uint16_t address) {
    switch (spec.kind) {
    case LinkSpec::Kind::Virtual: {
        OpenedPort result;
        result.description = "virtual TI-92";
        auto calc = std::make_shared<VirtualTI92>(clock);
        calc->loaddemo();
        calc->setpace(kVirtualPace);
        // The program may run for hours: the calculator's own record of every byte would only
        // grow. --trace records the wire on the computer's side when wanted.
        calc->settracing(false);
        if (!spec.path.empty()) {
            result.description += " (" + spec.path + ")";
            std::string why;
            if (!calc->attachstate(spec.path, &why)) {
                result.error = "The virtual TI-92 cannot keep its memory in " + spec.path + ": " + why;
                result.port = std::make_unique<NullPort>();
                return result;
            }
        }
        // Under simulated time every access moves the clock, so the calculator's pace and
        // the link's timeouts stay in proportion without real waiting.
        result.port = std::make_unique<VirtualPort>(*calc, dynamic_cast<SimClock*>(&clock));
        result.calculator = std::move(calc);
        return result;
    }
    case LinkSpec::Kind::Socket: {
        auto port = std::make_unique<SocketPort>(spec.path);
        const bool ok = port->open();
        return opened(std::move(port), ok, "virtual TI-92 at " + spec.path);
    }
    case LinkSpec::Kind::Ppdev: {
        auto port = std::make_unique<PpdevPort>(std::filesystem::path(spec.path));
        const bool ok = port->open(address);
        std::string warning = port->warning();
        OpenedPort result = opened(std::move(port), ok, spec.path + " (ppdev)");
        result.warning = std::move(warning);
        return result;
    }
    case LinkSpec::Kind::Direct: {
        auto port = std::make_unique<DirectPort>(spec.address);
        const bool ok = port->open();
        char text[32];
        std::snprintf(text, sizeof text, "port 0x%03X (direct I/O)", spec.address);
        return opened(std::move(port), ok, text);
    }
    case LinkSpec::Kind::Auto:
        break;
    }
    // The port list's address over ppdev. The port stays even when the device cannot be
    // opened now: it opens again when the port list picks another address.
    auto port = std::make_unique<PpdevPort>();
    OpenedPort result;
    if (!port->open(address)) result.error = port->error();
    result.warning = port->warning();
    result.description = port->device().string() + " (ppdev)";
    result.port = std::move(port);
    return result;
}

} // namespace tessaly
