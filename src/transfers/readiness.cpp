#include "transfers/readiness.h"

#include <string>

#include "link/packets.h"
#include "transfers/directory.h"
#include "transfers/receive.h"
#include "transfers/usbexchanges.h"

namespace tessaly {

std::string nocontacttext(std::string_view reason) {
    std::string text = "No contact!\rCalculator is not ready, please check your cable and port address!\rError [";
    text += reason;
    text += "].";
    return text;
}

bool readinessexchange(Link& link) {
    TransferState& s = link.state();
    if (!s.linkok) return false;  // cancelled before it began: nothing to report
    if (link.directusb()) return usbready(link);
    link.forgetmodel();
    sendready(link);
    std::uint16_t status = 0;
    if (waitack(link, status)) {
        if (!link.model().readystatus || (status & kNotReadyStatus) == 0) return true;
        link.faillink(kNotAtHomeText);  // it answered: there is contact, it is busy
        return false;
    }
    // Another model than the chosen one answered: there is contact, and the cable is fine.
    if (!cancelled(s)) s.pendingerror = link.mismatch().empty() ? nocontacttext(s.pendingerror) : link.mismatch();
    return false;
}

bool knowcalculator(Link& link) {
    if (link.directusb()) return usbknowcalculator(link);
    if (link.modelknown()) return true;
    sendready(link);
    return expectack(link, kNoAckText);
}

bool identifycalculator(Link& link, Progress& progress, CalculatorVersion& version) {
    version = {};
    if (!readinessexchange(link)) return false;
    if (!link.model().hasversioncommand) return true;
    return requestversion(link, progress, version);
}

std::string calculatorcaption(const Link& link, const CalculatorVersion& version) {
    std::string text(link.model().name);
    if (!version.version.empty()) text += ", version " + version.version;
    return text;
}

} // namespace tessaly
