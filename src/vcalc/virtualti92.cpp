// The virtual TI-92 put together: the bit engine on the wire, the packet framing above it
// and the exchanges above that, over the calculator's memory and home screen.
#include <filesystem>

#include "files/safefile.h"
#include "link/packets.h"
#include "vcalc/bitengine.h"
#include "vcalc/calcpackets.h"
#include "vcalc/exchanges.h"
#include "vcalc/statefile.h"
#include "vcalc/vcalc.h"

namespace tessaly {

struct VirtualTI92::Impl final : BitEngine::Listener {
    explicit Impl(Clock& clock) : wire(clock, mis, *this), exchanges(calc, mis, wire) {}

    void bytein(std::uint8_t value) override {
        if (!in.take(value) || mis.mute) return;
        if (!addressed(in.machine())) return;  // for another machine
        if (!in.checksumok()) {
            wire.send(shortpacket(calc.model->calcmachine, CmdChecksumError));  // and wait for it again
            return;
        }
        exchanges.packet(in);
    }

    bool addressed(std::uint8_t machine) const {
        for (std::uint8_t m : calc.model->answeredmachines)
            if (m == machine) return true;
        return false;
    }

    void dropped() override {
        in.reset();
        exchanges.reset();
    }

    Misbehaviour mis;
    CalcState calc;
    BitEngine wire;
    PacketAssembler in;
    Exchanges exchanges;
};

VirtualTI92::VirtualTI92(Clock& clock, const CalculatorModel& model) : m_impl(std::make_unique<Impl>(clock)) {
    m_impl->calc.model = &model;
    m_impl->in.setmodel(model);
    m_impl->calc.home.setarchive(model.hasarchive);
    m_impl->calc.mem.folders.push_back({"main", {}});
}

const CalculatorModel& VirtualTI92::model() const { return *m_impl->calc.model; }
VirtualTI92::~VirtualTI92() = default;

CalcMemory& VirtualTI92::memory() { return m_impl->calc.mem; }

bool VirtualTI92::attachstate(const std::string& path, std::string* error) {
    CalcState& c = m_impl->calc;
    const CalculatorModel& model = *c.model;
    // Another model's extension would name the file after a calculator whose memory it does
    // not hold; a file it could read but not write back would lose every change.
    std::string why = statefileproblem(path, model);
    if (!why.empty() || !savetarget(path, &why)) {
        if (error) *error = why;
        return false;
    }
    if (!std::filesystem::exists(path)) {
        if (!savecalcmemory(path, c.mem, &why, model)) {
            if (error) *error = why;
            return false;
        }
    } else {
        CalcMemory loaded;
        if (!loadcalcmemory(path, loaded, &why, model)) {
            if (error) *error = why;
            return false;
        }
        if (loaded.folders.empty() || loaded.folders.front().name != "main")
            loaded.folders.insert(loaded.folders.begin(), CalcFolder{"main", {}});
        c.mem = std::move(loaded);
        c.screendirty = true;
    }
    c.statepath = path;
    return true;
}

void VirtualTI92::setpcdrivers(Lines pcdrivers) { m_impl->wire.setpc(pcdrivers); }
Lines VirtualTI92::lines() { return m_impl->wire.lines(); }
void VirtualTI92::step() { m_impl->wire.step(); }
void VirtualTI92::bytefromcomputer(std::uint8_t value) { m_impl->wire.cablebytein(value); }
std::size_t VirtualTI92::bytestocomputer(std::span<std::uint8_t> out) { return m_impl->wire.cablebytesout(out); }
void VirtualTI92::disconnect() { m_impl->wire.disconnect(); }
void VirtualTI92::setpace(std::uint32_t bitspersecond) { m_impl->wire.setpace(bitspersecond); }
Misbehaviour& VirtualTI92::misbehaviour() { return m_impl->mis; }

std::vector<std::string> VirtualTI92::variablenames() const {
    std::vector<std::string> names;
    for (const CalcFolder& folder : m_impl->calc.mem.folders)
        for (const CalcVariable& v : folder.variables) names.push_back(folder.name + "\\" + v.name);
    return names;
}

bool VirtualTI92::sendfromcalc(const std::vector<std::string>& fullnames, std::string* error) {
    return m_impl->exchanges.sendfromcalc(fullnames, error);
}

void VirtualTI92::fcamerastream(int mode) { m_impl->exchanges.fcamerastream(mode); }

void VirtualTI92::presskey(std::uint16_t code) {
    CalcState& c = m_impl->calc;
    if (c.home.presskey(code, c.mem)) c.changed();
    c.screendirty = true;
}

const std::string& VirtualTI92::entryline() const { return m_impl->calc.home.entry(); }

const CalcScreen& VirtualTI92::screen() { return m_impl->calc.currentscreen(); }
const MemoryTrace& VirtualTI92::trace() const { return m_impl->wire.trace(); }
void VirtualTI92::cleartrace() { m_impl->wire.cleartrace(); }
void VirtualTI92::settracing(bool on) { m_impl->wire.settracing(on); }
bool VirtualTI92::athome() const { return m_impl->calc.home.athome() && !m_impl->mis.awayfromhome; }
bool VirtualTI92::quiet() const { return !m_impl->wire.busy() && m_impl->exchanges.idle(); }
void VirtualTI92::setmemorycapacity(std::size_t bytes) { m_impl->calc.capacity = bytes; }
const std::string& VirtualTI92::stateerror() const { return m_impl->calc.stateerror; }

void VirtualTI92::onstateerror(std::function<void(const std::string&)> report) {
    m_impl->calc.onstateerror = std::move(report);
}

void VirtualTI92::onnotice(std::function<void(const std::string&)> report) { m_impl->calc.onnotice = std::move(report); }

} // namespace tessaly
