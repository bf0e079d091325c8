// The exchanges only the later models have: the version request and the delete.
#include <algorithm>

#include "link/packets.h"
#include "vcalc/exchanges.h"

namespace tessaly {

std::uint16_t homekey(const CalculatorModel& model, std::uint16_t code) {
    // The home screen reads the TI-92's codes: the TI-89's own keys are turned into them.
    if (model.diamondkey != kTI92.diamondkey && code >= model.diamondkey)
        return static_cast<std::uint16_t>(code - model.diamondkey + kTI92.diamondkey);
    if (model.key("HOME") != 0 && code == model.key("HOME")) return kTI92.key("HOME");
    return code;
}

void Exchanges::onversion() {
    ack();
    m_phase = Phase::VersionCts;
}

bool Exchanges::versionstep(std::uint8_t cmd) {
    if (cmd == CmdAck && m_phase == Phase::VersionAck) {
        m_phase = Phase::Idle;
        return true;
    }
    if (cmd != CmdDataRequest || m_phase != Phase::VersionCts) return cmd == CmdAck;
    ack();
    const Release& r = m_calc.model->release;
    const Bytes answer = {r.os[0], r.os[1], r.boot[0], r.boot[1], 0x01, r.hardwarerevision, m_calc.model->hardwareid,
                          0, 0, 0, 0, 0, 0, 0, 0, 0};
    send(datapacket(answer));
    m_phase = Phase::VersionAck;
    return true;
}

void Exchanges::ondelete() {
    const auto r = parserequest(m_in->data());
    if (!r) return;
    ack();
    std::string name = r->name;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto slash = name.find('\\');
    CalcFolder* folder = m_calc.mem.folder(slash == std::string::npos ? "main" : name.substr(0, slash));
    const std::string bare = slash == std::string::npos ? name : name.substr(slash + 1);
    auto it = folder ? std::find_if(folder->variables.begin(), folder->variables.end(),
                                    [&](const CalcVariable& v) { return v.name == bare; })
                     : std::vector<CalcVariable>::iterator{};
    // A locked variable is kept, as the calculator's own DelVar keeps it.
    if (!folder || it == folder->variables.end() || it->locked) {
        refuse(m_calc.model->refusal.nosuchvariable);
        return;
    }
    folder->variables.erase(it);
    m_calc.changed();
    ack();
}

} // namespace tessaly
