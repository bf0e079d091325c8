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

struct VirtualCalculator::Impl final : BitEngine::Listener {
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

VirtualCalculator::VirtualCalculator(Clock& clock, const CalculatorModel& model) : m_impl(std::make_unique<Impl>(clock)) {
    m_impl->calc.model = &model;
    m_impl->in.setmodel(model);
    m_impl->calc.home.setarchive(model.hasarchive);
    m_impl->calc.mem.folders.push_back({"main", {}});
    m_impl->calc.flash.os = {model.release.os[0], model.release.os[1]};
    m_impl->calc.flash.hardwarerevision = model.release.hardwarerevision;
}

const CalculatorModel& VirtualCalculator::model() const { return *m_impl->calc.model; }
VirtualCalculator::~VirtualCalculator() = default;

CalcMemory& VirtualCalculator::memory() { return m_impl->calc.mem; }
CalcState& VirtualCalculator::state() { return m_impl->calc; }
CalcFlash& VirtualCalculator::flash() { return m_impl->calc.flash; }

bool VirtualCalculator::attachstate(const std::string& path, std::string* error) {
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
    // The Flash is kept beside the group file; one made before there was Flash has none,
    // and the calculator keeps the Flash it started with.
    if (model.flashdevice != 0) {
        const std::string flashpath = flashstatepath(path);
        if (std::filesystem::exists(flashpath) && !loadcalcflash(flashpath, c.flash, &why)) {
            if (error) *error = why;
            return false;
        }
        if (!std::filesystem::exists(flashpath) && !savecalcflash(flashpath, c.flash, &why)) {
            if (error) *error = why;
            return false;
        }
    }
    c.statepath = path;
    return true;
}

void VirtualCalculator::setpcdrivers(Lines pcdrivers) { m_impl->wire.setpc(pcdrivers); }
Lines VirtualCalculator::lines() { return m_impl->wire.lines(); }
void VirtualCalculator::step() { m_impl->wire.step(); }
void VirtualCalculator::bytefromcomputer(std::uint8_t value) { m_impl->wire.cablebytein(value); }
std::size_t VirtualCalculator::bytestocomputer(std::span<std::uint8_t> out) { return m_impl->wire.cablebytesout(out); }
void VirtualCalculator::disconnect() { m_impl->wire.disconnect(); }
void VirtualCalculator::setpace(std::uint32_t bitspersecond) { m_impl->wire.setpace(bitspersecond); }
Misbehaviour& VirtualCalculator::misbehaviour() { return m_impl->mis; }

std::vector<std::string> VirtualCalculator::variablenames() const {
    std::vector<std::string> names;
    for (const CalcFolder& folder : m_impl->calc.mem.folders)
        for (const CalcVariable& v : folder.variables) names.push_back(folder.name + "\\" + v.name);
    return names;
}

bool VirtualCalculator::sendfromcalc(const std::vector<std::string>& fullnames, std::string* error) {
    return m_impl->exchanges.sendfromcalc(fullnames, error);
}

void VirtualCalculator::fcamerastream(int mode) { m_impl->exchanges.fcamerastream(mode); }

void VirtualCalculator::presskey(std::uint16_t code) {
    CalcState& c = m_impl->calc;
    if (c.home.presskey(code, c.mem)) c.changed();
    c.screendirty = true;
}

const std::string& VirtualCalculator::entryline() const { return m_impl->calc.home.entry(); }

const CalcScreen& VirtualCalculator::screen() { return m_impl->calc.currentscreen(); }
const MemoryTrace& VirtualCalculator::trace() const { return m_impl->wire.trace(); }
void VirtualCalculator::cleartrace() { m_impl->wire.cleartrace(); }
void VirtualCalculator::settracing(bool on) { m_impl->wire.settracing(on); }
bool VirtualCalculator::athome() const { return m_impl->calc.home.athome() && !m_impl->mis.awayfromhome; }
bool VirtualCalculator::quiet() const { return !m_impl->wire.busy() && m_impl->exchanges.idle(); }
void VirtualCalculator::setmemorycapacity(std::size_t bytes) { m_impl->calc.capacity = bytes; }
const std::string& VirtualCalculator::stateerror() const { return m_impl->calc.stateerror; }

void VirtualCalculator::onstateerror(std::function<void(const std::string&)> report) {
    m_impl->calc.onstateerror = std::move(report);
}

void VirtualCalculator::onnotice(std::function<void(const std::string&)> report) { m_impl->calc.onnotice = std::move(report); }

} // namespace tessaly
