#include "link/cable.h"

#include <cerrno>
#include <cstring>

#include "link/ports/blackport.h"
#include "link/ports/directport.h"
#include "link/ports/greyport.h"
#include "link/ports/nullport.h"
#include "link/ports/ppdevport.h"
#include "link/ports/silverstream.h"
#include "link/ports/socketport.h"
#include "link/ports/titaniumusb.h"
#include "link/ports/usbsocket.h"

namespace tessaly {

namespace {

// Constant-initialised, so a registrar running before main() finds it ready.
VirtualBackendFactory g_virtualfactory = nullptr;

constexpr const char* kVirtualTip = "A virtual TI-92 is attached, not a real calculator.";

std::string hexaddress(std::uint16_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%03X", address);
    return text;
}

// What an opener is given.
struct OpenRequest {
    const LinkSpec& spec;
    Clock& clock;
    const TransferState& portlist;  // the port list's address, for the parallel port without a LINK
    const std::string& withoutcable;
};

// What an opener hands the cable: a line-level port or a byte-level stream, or neither and
// why; what the cable is called, and a caveat it opened with.
struct Opened {
    explicit Opened(std::string name = {}) : description(std::move(name)) {}
    std::string description;
    std::unique_ptr<Port> port;
    std::unique_ptr<ByteStream> stream;
    std::shared_ptr<SimulatedCalculator> calculator;  // outlives the port that drives it
    std::string error;
    std::string warning;
};

// A line-level backend that opened; one that did not goes, since a half-open device is
// touched no more.
template <typename P>
Opened keepport(std::string description, std::unique_ptr<P> port, bool ok, std::string warning = {}) {
    Opened o{std::move(description)};
    o.warning = std::move(warning);
    if (ok) o.port = std::move(port);
    else o.error = port->error();
    return o;
}

Opened openvirtual(const OpenRequest& r) {
    const CalculatorModel* model = modelbyid(r.spec.model);
    Opened o{"virtual " + std::string(model ? model->name : kTI92.name)};
    if (!r.spec.path.empty()) o.description += " (" + r.spec.path + ")";
    if (!g_virtualfactory) {
        o.error = "The virtual TI-92 is not built into this program: start tessaly92-vcalc --socket PATH "
                  "and use the LINK socket:PATH.";
        return o;
    }
    VirtualBackend backend = g_virtualfactory(r.spec.model, r.spec.path, r.clock);
    if (!backend.error.empty() || !backend.port) {
        o.error = "The virtual TI-92 cannot keep its memory in " + r.spec.path + ": " + backend.error;
        return o;
    }
    o.calculator = std::move(backend.calculator);
    o.port = std::move(backend.port);
    return o;
}

Opened opensocket(const OpenRequest& r) {
    auto port = std::make_unique<SocketPort>(r.spec.path);
    const bool ok = port->open();
    return keepport("virtual TI-92 at " + r.spec.path, std::move(port), ok);
}

Opened openppdev(const OpenRequest& r) {
    auto port = std::make_unique<PpdevPort>(std::filesystem::path(r.spec.path));
    const bool ok = port->open();
    std::string warning = port->warning();
    return keepport(r.spec.path + " (ppdev)", std::move(port), ok, std::move(warning));
}

Opened opendirect(const OpenRequest& r) {
    auto port = std::make_unique<DirectPort>(r.spec.address);
    const bool ok = port->open();
    return keepport("port " + hexaddress(r.spec.address) + " (direct I/O)", std::move(port), ok);
}

Opened openblack(const OpenRequest& r) {
    auto port = std::make_unique<BlackPort>(r.spec.path);
    const bool ok = port->open();
    return keepport(r.spec.path + " (black serial cable)", std::move(port), ok);
}

Opened opengreycable(const OpenRequest& r) {
    Opened o{r.spec.path + " (grey cable)"};
    o.stream = opengrey(r.spec.path, &o.error, &o.warning);
    return o;
}

// A USB device picked by its bus and address is described by them; else the first found.
std::string usbdevicename(const LinkSpec& spec, std::string name) {
    if (spec.usbbus) name += " at " + std::to_string(spec.usbbus) + ":" + std::to_string(spec.usbaddress);
    return name;
}

Opened opensilvercable(const OpenRequest& r) {
    Opened o{usbdevicename(r.spec, "silver USB cable")};
    o.stream = opensilver(r.spec, &o.error);
    return o;
}

Opened opentitaniumport(const OpenRequest& r) {
    Opened o{usbdevicename(r.spec, "TI-89 Titanium USB")};
    o.stream = opentitanium(r.spec, &o.error);
    return o;
}

Opened openusbsocket(const OpenRequest& r) {
    Opened o{"virtual TI-89 Titanium USB at " + r.spec.path};
    auto stream = std::make_unique<UsbSocketStream>(r.spec.path);
    if (stream->open()) o.stream = std::move(stream);
    else o.error = stream->error();
    return o;
}

// The port list's address over ppdev. The port stays even when the device cannot be
// opened now: it opens again when the port list picks another address.
Opened openportlist(const OpenRequest& r) {
    auto port = std::make_unique<PpdevPort>(r.portlist);
    Opened o;
    if (!port->open()) o.error = port->error() + (r.withoutcable.empty() ? "" : " " + r.withoutcable);
    o.warning = port->warning();
    o.description = port->device().string() + " (ppdev)";
    o.port = std::move(port);
    return o;
}

// One opener per LINK kind.
struct OpenerRow {
    LinkSpec::Kind kind;
    Opened (*open)(const OpenRequest&);
};
constexpr OpenerRow kOpeners[] = {
    {LinkSpec::Kind::Auto, openportlist},  {LinkSpec::Kind::Virtual, openvirtual},
    {LinkSpec::Kind::Socket, opensocket},  {LinkSpec::Kind::Ppdev, openppdev},
    {LinkSpec::Kind::Direct, opendirect},  {LinkSpec::Kind::Black, openblack},
    {LinkSpec::Kind::Grey, opengreycable}, {LinkSpec::Kind::Silver, opensilvercable},
    {LinkSpec::Kind::Titanium, opentitaniumport}, {LinkSpec::Kind::UsbSocket, openusbsocket},
};

} // namespace

VirtualBackendFactory registervirtualcable(VirtualBackendFactory factory) {
    const VirtualBackendFactory before = g_virtualfactory;
    g_virtualfactory = factory;
    return before;
}

Cable::Cable(const LinkSpec& spec, Clock& clock, MessagePump& pump, TransferState& state, const Options& options)
    : m_spec(std::make_unique<LinkSpec>(spec)), m_options(options), m_clock(&clock), m_portlist(&state) {
    if (!options.tracefile.empty()) {
        m_tracefile = std::fopen(options.tracefile.c_str(), "w");
        if (!m_tracefile) {
            m_tracefailed = true;
            m_error = "cannot write the trace file " + options.tracefile + ": " + std::strerror(errno);
        }
    }
    if (!m_tracefailed) {
        open(spec, clock, state, options);
    }
    if (!m_port && !m_stream) {
        m_ownport = std::make_unique<NullPort>();
        m_port = m_ownport.get();
    }
    attach(clock, pump, state, options);
}

Cable::Cable(Port& port, std::string description, Clock& clock, MessagePump& pump, TransferState& state,
             SimulatedCalculator* calculator)
    : m_calculator(calculator), m_port(&port), m_description(std::move(description)) {
    attach(clock, pump, state, Options{});
}

Cable::Cable(std::unique_ptr<ByteStream> stream, std::string description, Clock& clock, MessagePump& pump,
             TransferState& state, const Options& options)
    : m_stream(std::move(stream)), m_description(std::move(description)) {
    attach(clock, pump, state, options);
}

Cable::~Cable() {
    m_link.reset();
    m_trace.reset();
    if (m_tracefile) std::fclose(m_tracefile);
}

void Cable::attach(Clock& clock, MessagePump& pump, TransferState& state, const Options& options) {
    if (m_stream) {
        m_link = std::make_unique<Link>(*m_stream, clock, pump, state);
        m_link->setpacing(options.pacing);
    } else {
        m_link = std::make_unique<Link>(*m_port, clock, pump, state);
    }
    // A Titanium's own port speaks its USB packets, and only a Titanium is at its end.
    if (m_spec && directusbkind(m_spec->kind)) m_link->setdirectusb(true);
    if (m_tracefile) {
        m_trace = std::make_unique<FileTrace>(m_tracefile);
        m_link->settrace(m_trace.get());
    }
    m_link->releaselines();
}

// Sets m_port or m_stream, or leaves both unset with m_error saying why.
void Cable::open(const LinkSpec& spec, Clock& clock, const TransferState& state, const Options& options) {
    for (const OpenerRow& row : kOpeners) {
        if (row.kind != spec.kind) continue;
        Opened o = row.open({spec, clock, state, options.withoutcable});
        m_description = std::move(o.description);
        m_error = std::move(o.error);
        m_warning = std::move(o.warning);
        m_owncalculator = std::move(o.calculator);
        m_calculator = m_owncalculator.get();
        m_ownport = std::move(o.port);
        m_port = m_ownport.get();
        m_stream = std::move(o.stream);
        return;
    }
}

namespace {
bool cancomeback(LinkSpec::Kind kind) {
    switch (kind) {
    case LinkSpec::Kind::Auto:
    case LinkSpec::Kind::Socket:
    case LinkSpec::Kind::Ppdev:
    case LinkSpec::Kind::Black:
    case LinkSpec::Kind::Grey:
    case LinkSpec::Kind::Silver:
    case LinkSpec::Kind::Titanium:
    case LinkSpec::Kind::UsbSocket: return true;
    default: return false;
    }
}
} // namespace

bool Cable::gone() const {
    if (!m_spec || m_tracefailed || !cancomeback(m_spec->kind)) return false;
    return !m_error.empty() || !m_link->cableerror().empty();
}

bool Cable::reopen() {
    if (!gone()) return false;
    // The ones in use stay until the new ones are in the Link's hands.
    std::unique_ptr<Port> oldport = std::move(m_ownport);
    std::unique_ptr<ByteStream> oldstream = std::move(m_stream);
    open(*m_spec, *m_clock, *m_portlist, m_options);
    if (m_stream) {
        m_link->setstream(*m_stream);
    } else if (m_port && m_error.empty()) {
        m_link->setport(*m_port);
        m_link->releaselines();
    } else {
        // Still away: the lost one stays in place, reading as a cable without a calculator.
        m_ownport = std::move(oldport);
        m_port = m_ownport.get();
        m_stream = std::move(oldstream);
        if (!m_port && !m_stream) {
            m_ownport = std::make_unique<NullPort>();
            m_port = m_ownport.get();
        }
        return false;
    }
    m_link->forgetmodel();  // another calculator may have come back in its place
    return true;
}

std::string Cable::statustext() const { return m_error.empty() ? m_description : std::string("no cable"); }

std::string Cable::statustip() const {
    if (!m_error.empty()) return m_error;
    if (!m_warning.empty()) return m_warning;
    return m_calculator ? kVirtualTip : std::string();
}

} // namespace tessaly
