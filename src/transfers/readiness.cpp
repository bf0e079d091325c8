#include "transfers/readiness.h"

#include <string>

namespace tessaly {

std::string nocontacttext(std::string_view reason) {
    std::string text = "No contact!\rCalculator is not ready, please check your cable and port address!\rError [";
    text += reason;
    text += "].";
    return text;
}

bool readinessexchange(Link& link) {
    TransferState& s = link.state();
    s.linkok = true;
    s.pendingerror.clear();
    link.sendstring({0x09, 0x68, 0x00, 0x00});
    if (link.waitack()) return true;
    s.pendingerror = nocontacttext(s.pendingerror);
    return false;
}

} // namespace tessaly
