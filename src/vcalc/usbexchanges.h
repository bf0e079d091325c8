#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/usbpackets.h"
#include "vcalc/exchanges.h"

namespace tessaly {

// Error codes the Titanium sends beside usberror's: a name it has no variable of (or
// cannot take), and a variable in the archive that cannot be deleted.
namespace usbcalcerror {
inline constexpr std::uint16_t NoSuchVariable = 0x0004, ArchivedDelete = 0x0006, BadName = 0x000D,
                               Transmission = 0x0008;
}

// The calculator's side of the exchanges on the Titanium's USB port, one whole virtual
// packet at a time: each packet from the computer gives the virtual packets the calculator
// answers with (none while an exchange waits for the computer's next). The memory, the
// home screen and the state file are the ones the link port uses: a Titanium's memory is
// the same whichever port it is reached by.
//
// The packets' names: a length byte, then the name and a NUL; a folder or target name of
// length 0 has neither, the name of a request to send, a variable request or a variable to
// modify always has its NUL.
class UsbExchanges {
public:
    UsbExchanges(CalcState& calc, Misbehaviour& misbehaviour) : m_calc(calc), m_mis(misbehaviour) {}

    std::vector<VirtualPacket> take(const VirtualPacket& packet);
    // The computer went away: whatever exchange was under way is dropped.
    void reset() {
        m_phase = Phase::Idle;
        m_system.clear();
    }
    bool idle() const { return m_phase == Phase::Idle; }

private:
    enum class Phase : std::uint8_t { Idle, AwaitContents, AwaitEot, SystemHeader, SystemData };
    // A variable offered by a request to send, waiting for its contents.
    struct Offer {
        std::string folder, name;
        std::uint8_t type = 0;
        bool locked = false, archived = false;
        std::uint32_t size = 0;
        bool flash = false;  // an application, into Flash
    };

    bool away() const;
    std::vector<VirtualPacket> setmode();
    std::vector<VirtualPacket> parameters(const UsbBytes& data);
    std::vector<VirtualPacket> setparameter(const UsbBytes& data);
    std::vector<VirtualPacket> directory(const UsbBytes& data);
    std::vector<VirtualPacket> request(const UsbBytes& data);
    std::vector<VirtualPacket> offer(const UsbBytes& data);
    std::vector<VirtualPacket> contents(const UsbBytes& data);
    std::vector<VirtualPacket> offerapplication(const std::string& name, std::uint32_t size);
    std::vector<VirtualPacket> flashrefusal(std::uint8_t code) const;
    std::vector<VirtualPacket> beginsystem(const UsbBytes& data);
    std::vector<VirtualPacket> system(Phase phase, const VirtualPacket& packet);
    std::vector<VirtualPacket> modify(const UsbBytes& data);
    std::vector<VirtualPacket> execute(const UsbBytes& data);
    std::vector<VirtualPacket> removevariable(const std::string& folder, const std::string& name);
    std::optional<UsbBytes> parameter(std::uint16_t id);
    VirtualPacket header(const std::string& folder, const std::string& name, const std::vector<std::uint16_t>& ids,
                         std::uint8_t type, std::uint32_t size, bool archived, bool locked) const;

    CalcState& m_calc;
    Misbehaviour& m_mis;
    Phase m_phase = Phase::Idle;
    Offer m_offer;
    // A system coming: the size its begin announced, its header, the data so far.
    std::uint32_t m_systemsize = 0;
    UsbBytes m_systemheader, m_system;
    std::uint8_t m_clockon = 1;
};

} // namespace tessaly
