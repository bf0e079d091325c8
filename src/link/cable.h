#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "link/bytestream.h"
#include "link/clock.h"
#include "link/link.h"
#include "link/linkspec.h"
#include "link/port.h"
#include "link/pump.h"
#include "link/simulatedcalculator.h"
#include "link/trace.h"
#include "link/transferstate.h"

namespace tessaly {

// What the in-process virtual TI-92 hands the cable: a port that drives it, and the
// calculator itself for the demo control. error: why it could not be set up.
struct VirtualBackend {
    std::shared_ptr<SimulatedCalculator> calculator;
    std::unique_ptr<Port> port;
    std::string error;
};
// statefile: the TI-92 group file that keeps its memory (empty: the demo memory alone).
// Under a SimClock every port access moves the simulated time.
// model: the virtual calculator's model (empty: the TI-92).
using VirtualBackendFactory = VirtualBackend (*)(const std::string& model, const std::string& statefile, Clock& clock);

// The virtual TI-92 registers itself here, so the cable can offer it without link knowing
// it. Returns the factory registered before; nullptr takes it away again.
VirtualBackendFactory registervirtualcable(VirtualBackendFactory factory);

// The cable both front ends drive: the port backend a LINK names, the Link over it, and
// the wire trace --trace asks for. It words its problems and its description itself.
// Opening never fails outright: a backend that does not open is replaced by a port
// without a calculator, so transfers run out on their own timeouts.
class Cable {
public:
    struct Options {
        std::string tracefile;  // every byte that crossed, as text; empty: no trace
        // Added to the error when the port list's port does not open: how the front end's
        // user carries on without a cable, worded for that front end.
        std::string withoutcable;
        // Byte-level cables feed the calculator no faster than its ROM reads (kPaceMicros a byte).
        bool pacing = true;
    };

    // Opens the cable the LINK names with the opener of its kind. Kind::Auto opens the
    // device of the port list's address in the state now, to report problems early, and
    // follows later changes of the address by itself. Both lines are released once it is
    // open.
    Cable(const LinkSpec& spec, Clock& clock, MessagePump& pump, TransferState& state, const Options& options);
    Cable(const LinkSpec& spec, Clock& clock, MessagePump& pump, TransferState& state)
        : Cable(spec, clock, pump, state, Options{}) {}
    // A port of the caller's own (tests), described as given.
    Cable(Port& port, std::string description, Clock& clock, MessagePump& pump, TransferState& state,
          SimulatedCalculator* calculator = nullptr);
    // A byte-level cable of the caller's own, opened by any opener; the cable keeps it.
    Cable(std::unique_ptr<ByteStream> stream, std::string description, Clock& clock, MessagePump& pump,
          TransferState& state, const Options& options);
    ~Cable();
    Cable(const Cable&) = delete;
    Cable& operator=(const Cable&) = delete;

    Link& link() { return *m_link; }
    // The line-level port; on a byte-level cable one without a calculator.
    Port& port() { return m_link->port(); }
    // The byte-level cable (grey, silver), or nullptr on a line-level one.
    ByteStream* stream() const { return m_stream.get(); }
    // The simulated calculator at the far end; nullptr for a real cable or another process.
    SimulatedCalculator* calculator() const { return m_calculator; }

    // Empty when the cable opened; else what went wrong and how to fix it.
    const std::string& error() const { return m_error; }
    // The trace file could not be written; nothing else was opened then.
    bool tracefailed() const { return m_tracefailed; }
    // Opened, but with a caveat (the port is shared with another driver).
    const std::string& warning() const { return m_warning; }
    // Which cable: "virtual TI-92", "/dev/parport0 (ppdev)", ...
    const std::string& description() const { return m_description; }
    // What the window's status bar shows of it, and the tooltip beside it.
    std::string statustext() const;
    std::string statustip() const;

    // The cable a LINK named went away after it opened (the virtual calculator's server
    // stopped, a serial or USB cable was pulled out) or has not opened yet, and is of a
    // kind that can come back. An in-process virtual calculator and the direct I/O port
    // never go, and a caller's own port is the caller's.
    bool gone() const;
    // Opens a gone cable again, as it was first opened, under the same Link: true when it
    // is back. A running program thus finds a calculator that came back, as a new one would.
    bool reopen();

private:
    void open(const LinkSpec& spec, Clock& clock, const TransferState& state, const Options& options);
    void attach(Clock& clock, MessagePump& pump, TransferState& state, const Options& options);

    std::shared_ptr<SimulatedCalculator> m_owncalculator;  // outlives the port that drives it
    std::unique_ptr<Port> m_ownport;
    std::unique_ptr<ByteStream> m_stream;
    SimulatedCalculator* m_calculator = nullptr;
    Port* m_port = nullptr;
    std::FILE* m_tracefile = nullptr;
    std::unique_ptr<FileTrace> m_trace;
    std::unique_ptr<Link> m_link;
    std::string m_error;
    std::string m_warning;
    std::string m_description;
    bool m_tracefailed = false;
    // How it was opened, to open it again: set only for a cable a LINK named.
    std::unique_ptr<LinkSpec> m_spec;
    Options m_options;
    Clock* m_clock = nullptr;
    const TransferState* m_portlist = nullptr;
};

} // namespace tessaly
