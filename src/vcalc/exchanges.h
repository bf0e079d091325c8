#pragma once
#include <functional>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vcalc/bitengine.h"
#include "vcalc/calcpackets.h"
#include "vcalc/homescreen.h"
#include "vcalc/vcalc.h"

namespace tessaly {

// What the calculator holds: its memory, its home screen and the file that keeps them.
struct CalcState {
    const CalculatorModel* model = &kTI92;
    CalcMemory mem;
    HomeScreen home;
    CalcScreen screen{};
    bool screendirty = true;
    std::size_t capacity = 70000;
    std::string statepath;
    std::string stateerror;
    std::function<void(const std::string&)> onstateerror;  // told at once when a change is not kept
    std::function<void(const std::string&)> onnotice;      // what the user should know (SimulatedCalculator)
    // A restored backup image we could not read, given back as it came.
    std::optional<Bytes> foreignimage;
    CalcFlash flash;

    // Keeps the Flash side beside the state file (the group file has no place for it).
    void flashchanged();

    // After every change of the memory: the screen is drawn anew, the state file written.
    void changed();
    const CalcScreen& currentscreen();
};

// The type of a later model's variable read from its stored bytes' last byte (their tag), as
// the calculator does with a variable offered under a backup, locked or archived type byte.
std::uint8_t storedtype(std::span<const std::uint8_t> stored);

// A folder, variable or application name its memory and state file can hold: one to eight
// characters, none of them a NUL (which ends a name in a file) or a backslash (which parts
// folder and name).
bool holdablename(std::string_view name);

// A remote key's code as the home screen reads it (the TI-92's codes).
std::uint16_t homekey(const CalculatorModel& model, std::uint16_t code);

// Flash left for a part, an application of the name replacing counted as gone.
std::size_t flashroomfor(const CalcState& calc, const std::string& replacing);
// A whole Flash part of type 23 or 24 (requested under that name) judged as the calculator
// judges it once its last block came, and written when taken: 0, or the refusal code its
// link port sends (07 another model, 08 a broken seal, the model's no-room or bad-name code).
// A system taken ends the wait for one.
std::uint8_t takeflashpart(CalcState& calc, std::uint8_t type, const std::string& requested, Bytes data);

// The demo application every later model holds from the start; empty for the TI-92.
std::optional<CalcApplication> demoapplication(const CalculatorModel& model);

// The calculator's side of every exchange. A packet from the computer either continues
// the exchange in progress or starts one by its command (the table in exchanges.cpp).
class Exchanges {
public:
    Exchanges(CalcState& calc, const Misbehaviour& misbehaviour, BitEngine& wire)
        : m_calc(calc), m_mis(misbehaviour), m_wire(wire) {}

    // A whole packet addressed to us, its checksum checked.
    void packet(const PacketAssembler& p);
    void reset() {
        m_phase = Phase::Idle;
        m_items.clear();
    }
    bool idle() const { return m_phase == Phase::Idle; }

    // From the calculator's own menu; the first bit waits for the computer.
    bool sendfromcalc(const std::vector<std::string>& fullnames, std::string* error);
    void fcamerastream(int mode);

private:
    enum class Phase : std::uint8_t {
        Idle,
        AwaitCts,      // we sent a header (or a continue): the computer acknowledges and asks for data
        AwaitDataAck,  // we sent data: the computer acknowledges it
        RecvData,      // we asked for a variable's data
        RecvEnd,       // we took it: the computer ends the transmission
        RestoreBlock,  // a backup comes in: block headers
        RestoreData,   // a backup comes in: block data
        VersionCts,    // we acknowledged a version request: the computer asks for the answer
        VersionAck,    // we sent it: the computer acknowledges it
        GroupBackupEnd,  // a later model's backup begins: the computer ends its empty block
        FlashBlock,    // we asked for a block of an application or a system
        FlashNext,     // we took it: the computer continues or ends
        ClockData,     // we asked for the clock's 16 bytes
    };
    // Outgoing exchanges: each item a header packet (may be empty) and a data packet.
    struct Item {
        Bytes header;
        Bytes data;
    };
    struct Start {
        std::uint8_t command;
        void (Exchanges::*handler)();
    };
    static const Start kStarts[];
    // Each phase's next step: false when the packet does not belong to the exchange.
    struct Continuation {
        Phase phase;
        bool (Exchanges::*handler)(std::uint8_t command);
    };
    static const Continuation kContinuations[];

    void send(std::span<const std::uint8_t> bytes) { m_wire.send(bytes); }
    void sendshort(std::uint8_t command) { send(shortpacket(m_calc.model->calcmachine, command)); }
    Bytes packet(std::uint8_t command, std::span<const std::uint8_t> payload) const {
        return makepacket(m_calc.model->calcmachine, command, payload);
    }
    Bytes header(std::uint32_t size, std::uint8_t type, std::string_view name) const;
    void refuse(std::uint8_t reason);
    void ack();
    Bytes datapacket(std::span<const std::uint8_t> payload) const;
    Item variableitem(const std::string& folder, const CalcVariable& v, bool withfolder) const;

    void onready();
    void onscreen();
    void onkey();
    void onrequest();
    void onheader();
    void onversion();
    void ondelete();
    bool versionasked(std::uint8_t cmd);
    bool versionacked(std::uint8_t cmd);
    bool startgroupbackup(const Request& r);
    bool endgroupbackup(std::uint8_t cmd);
    void offeredtype(std::uint8_t type);
    void startlisting();
    void startfolderlisting(const Request& request);
    void onprobe();
    // Flash and clock (flashexchanges.cpp): true when the request or header was theirs.
    bool flashrequest(const Request& r);
    bool flashheader(const Request& r);
    bool waitingrefusal();
    void sendclock();
    bool takingflashblock(std::uint8_t cmd);
    bool flashcontinues(std::uint8_t cmd);
    bool takingclock(std::uint8_t cmd);
    void endflash();
    void startbackup();
    void startsending(bool listing);
    bool continueexchange();
    bool awaitingcts(std::uint8_t cmd);
    bool awaitingdataack(std::uint8_t cmd);
    bool receivingdata(std::uint8_t cmd);
    bool endingreceive(std::uint8_t cmd);
    bool restoringblock(std::uint8_t cmd);
    bool restoringdata(std::uint8_t cmd);
    bool wholevariable() const;
    void takevariable();
    void takeimage();

    CalcState& m_calc;
    const Misbehaviour& m_mis;
    BitEngine& m_wire;
    const PacketAssembler* m_in = nullptr;  // the packet being handled

    Phase m_phase = Phase::Idle;
    std::vector<Item> m_items;
    std::size_t m_itemindex = 0;
    bool m_listing = false;  // a listing: one header, 78 between the entries
    // Incoming variable.
    std::string m_recvfolder, m_recvname;
    std::uint8_t m_recvtype = 0;
    bool m_recvlocked = false;
    bool m_recvarchived = false;
    bool m_recvtypefromdata = false;  // the header's type byte named no type
    std::size_t m_recvsize = 0;  // as the header announced it
    Bytes m_restoreimage;
    // Incoming Flash part.
    std::uint8_t m_flashtype = 0;
    std::string m_flashname;
    std::size_t m_flashsize = 0;  // as the request announced it
    Bytes m_flashdata;
};

} // namespace tessaly
