#pragma once
#include <string>

#include "link/lines.h"

namespace tessaly {

// A line-level cable: the computer's two line drivers and the levels on the wire. How a
// cable carries them (a parallel port's registers, a serial port's modem lines, a socket)
// is its backend's own business; backends do raw I/O only, and the handshake, tracing and
// timing live above them, in Link.
class Port {
public:
    virtual ~Port() = default;
    // Sets the computer's drivers: a line that is false here is pulled low.
    virtual void setlines(Lines drivers) = 0;
    // The levels on the wire: a line reads low while either side pulls it.
    virtual Lines readlines() = 0;
    // Why the backend lost the cable after it was opened (a closed virtual cable, a
    // device that went away); empty while it works. Until then it reads as a port
    // without a calculator, so the transfer fails on its own timeouts.
    virtual std::string error() const { return {}; }
    // The cable was lost because another program holds it: that, not the timeouts it led
    // to, is what the user needs to hear.
    virtual bool heldelsewhere() const { return false; }
};

} // namespace tessaly
