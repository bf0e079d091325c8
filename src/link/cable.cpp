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

namespace tessaly {

namespace {

// Constant-initialised, so a registrar running before main() finds it ready.
VirtualBackendFactory g_virtualfactory = nullptr;

constexpr const char* kVirtualTip = "A virtual TI-92 is attached, not a real calculator.";

std::string autohint(Cable::Frontend frontend) {
    return frontend == Cable::Frontend::CommandLine ? " Without a cable, try --link virtual."
                                                    : " Without a cable, start tessaly92 with TESSALY92_LINK=virtual.";
}

std::string hexaddress(std::uint16_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%03X", address);
    return text;
}

} // namespace

VirtualBackendFactory registervirtualcable(VirtualBackendFactory factory) {
    const VirtualBackendFactory before = g_virtualfactory;
    g_virtualfactory = factory;
    return before;
}

Cable::Cable(const LinkSpec& spec, Clock& clock, MessagePump& pump, TransferState& state, const Options& options) {
    if (!options.tracefile.empty()) {
        m_tracefile = std::fopen(options.tracefile.c_str(), "w");
        if (!m_tracefile) {
            m_tracefailed = true;
            m_error = "cannot write the trace file " + options.tracefile + ": " + std::strerror(errno);
        }
    }
    if (!m_tracefailed) {
        open(spec, clock, state.portaddress, options);
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
    if (m_tracefile) {
        m_trace = std::make_unique<FileTrace>(m_tracefile);
        m_link->settrace(m_trace.get());
    }
    m_link->releaselines();
}

// Sets m_port or m_stream, or leaves both unset with m_error saying why.
void Cable::open(const LinkSpec& spec, Clock& clock, std::uint16_t address, const Options& options) {
    // A byte-level cable from its opener: the stream, or nullptr and why.
    auto keepstream = [&](std::unique_ptr<ByteStream> stream, std::string error, std::string warning) {
        m_stream = std::move(stream);
        if (!m_stream) m_error = std::move(error);
        m_warning = std::move(warning);
    };
    // A backend that could not open goes: a half-open device is touched no more.
    auto keep = [&](auto port, bool ok) {
        if (ok) {
            m_port = port.get();
            m_ownport = std::move(port);
        } else {
            m_error = port->error();
        }
    };
    switch (spec.kind) {
    case LinkSpec::Kind::Virtual: {
        m_description = "virtual TI-92";
        if (!spec.path.empty()) m_description += " (" + spec.path + ")";
        if (!g_virtualfactory) {
            m_error = "The virtual TI-92 is not built into this program: start tessaly92-vcalc --socket PATH "
                      "and use the LINK socket:PATH.";
            return;
        }
        VirtualBackend backend = g_virtualfactory(spec.path, clock);
        if (!backend.error.empty() || !backend.port) {
            m_error = "The virtual TI-92 cannot keep its memory in " + spec.path + ": " + backend.error;
            return;
        }
        m_owncalculator = std::move(backend.calculator);
        m_calculator = m_owncalculator.get();
        m_ownport = std::move(backend.port);
        m_port = m_ownport.get();
        return;
    }
    case LinkSpec::Kind::Socket: {
        m_description = "virtual TI-92 at " + spec.path;
        auto port = std::make_unique<SocketPort>(spec.path);
        const bool ok = port->open();
        keep(std::move(port), ok);
        return;
    }
    case LinkSpec::Kind::Ppdev: {
        m_description = spec.path + " (ppdev)";
        auto port = std::make_unique<PpdevPort>(std::filesystem::path(spec.path));
        const bool ok = port->open(address);
        m_warning = port->warning();
        keep(std::move(port), ok);
        return;
    }
    case LinkSpec::Kind::Direct: {
        m_description = "port " + hexaddress(spec.address) + " (direct I/O)";
        auto port = std::make_unique<DirectPort>(spec.address);
        const bool ok = port->open();
        keep(std::move(port), ok);
        return;
    }
    case LinkSpec::Kind::Black: {
        m_description = spec.path + " (black serial cable)";
        auto port = std::make_unique<BlackPort>(spec.path);
        const bool ok = port->open();
        keep(std::move(port), ok);
        return;
    }
    case LinkSpec::Kind::Grey: {
        m_description = spec.path + " (grey cable)";
        std::string error, warning;
        auto stream = opengrey(spec.path, &error, &warning);
        keepstream(std::move(stream), std::move(error), std::move(warning));
        return;
    }
    case LinkSpec::Kind::Silver: {
        m_description = spec.usbbus ? "silver USB cable at " + std::to_string(spec.usbbus) + ":" + std::to_string(spec.usbaddress)
                                 : std::string("silver USB cable");
        std::string error;
        auto stream = opensilver(spec, &error);
        keepstream(std::move(stream), std::move(error), {});
        return;
    }
    case LinkSpec::Kind::Auto:
        break;
    }
    // The port list's address over ppdev. The port stays even when the device cannot be
    // opened now: it opens again when the port list picks another address.
    auto port = std::make_unique<PpdevPort>();
    if (!port->open(address)) m_error = port->error() + autohint(options.frontend);
    m_warning = port->warning();
    m_description = port->device().string() + " (ppdev)";
    m_port = port.get();
    m_ownport = std::move(port);
}

std::string Cable::statustext() const { return m_error.empty() ? m_description : std::string("no cable"); }

std::string Cable::statustip() const {
    if (!m_error.empty()) return m_error;
    if (!m_warning.empty()) return m_warning;
    return m_calculator ? kVirtualTip : std::string();
}

} // namespace tessaly
