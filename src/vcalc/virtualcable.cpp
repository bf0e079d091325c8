// Offers the in-process virtual TI-92 to the cable. This file is linked into each program
// as an object of its own (see src/CMakeLists.txt): in the static core library nothing
// would refer to it and the linker would leave the registration out.
#include "link/cable.h"
#include "vcalc/vcalc.h"

namespace tessaly {

namespace {

// About a real TI-92's pace: a few kilobytes a second.
constexpr std::uint32_t kVirtualPace = 40000;

VirtualBackend openvirtual(const std::string& model, const std::string& statefile, Clock& clock) {
    VirtualBackend backend;
    const CalculatorModel* chosen = modelbyid(model);
    auto calc = std::make_shared<VirtualCalculator>(clock, chosen ? *chosen : kTI92);
    calc->loaddemo();
    calc->setpace(kVirtualPace);
    // The program may run for hours: the calculator's own record of every byte would only
    // grow. --trace records the wire on the computer's side when wanted.
    calc->settracing(false);
    if (!statefile.empty() && !calc->attachstate(statefile, &backend.error)) return backend;
    // Under simulated time every access moves the clock, so the calculator's pace and
    // the link's timeouts stay in proportion without real waiting.
    backend.port = std::make_unique<VirtualPort>(*calc, dynamic_cast<SimClock*>(&clock));
    backend.calculator = std::move(calc);
    return backend;
}

[[maybe_unused]] const bool kRegistered = (registervirtualcable(&openvirtual), true);

} // namespace

} // namespace tessaly
