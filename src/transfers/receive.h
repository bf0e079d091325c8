#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/packagestore.h"
#include "link/link.h"
#include "transfers/directory.h"
#include "link/progress.h"

namespace tessaly {

inline constexpr std::string_view kNotAtHomeText = "Calculator is not ready. Please go to homescreen. (DIAMOND+Q)";
inline constexpr std::string_view kSendingRequestText = "Sending request..";
inline constexpr std::string_view kGettingHeaderText = "Getting header..";
inline constexpr std::string_view kChecksumErrorText = "Checksum error in variable ";
inline constexpr std::string_view kLengthMismatchText = "The calculator sent a variable whose length does not match its data: ";
inline constexpr std::string_view kNotReceivedText = "Variable(s) not received: ";
inline constexpr std::string_view kReceivingVariableText = "Receiving variable.. [";
inline constexpr std::string_view kReceivedText = " received! [";
// The end of a receive the calculator chose: "3 variables received!".
inline std::string receivedcount(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " variable" : " variables") + " received!";
}
inline constexpr std::string_view kNotReceivedStatusText = " not received! [";
inline constexpr std::string_view kVariablesReceivedText = " variable(s) received.";
inline constexpr std::string_view kNothingReceivedText = "No variable received: the calculator sent something else.";
inline constexpr std::string_view kNoCalcSendOverUsbText =
    "On its USB cable the calculator's own sending is not taken: choose the variables here and get them.";

// One variable to ask the calculator for.
struct RequestEntry {
    std::string name;  // "folder\name", at most 16 characters
    std::uint8_t type = 0;
    bool archived = false;  // as the listing showed it
    bool locked = false;
};

// What a reception needs besides the link: where the bytes go, how the user sees them,
// and the two check boxes of the receive page.
struct ReceiveTarget {
    Progress& progress;
    const PackageStore& store;
    bool manual = false;       // "Select on calc": take every variable that arrives
    bool storefolder = true;   // "Store folder": keep the requested folder in the name
    std::function<void(ListRow)> addrow;  // a received view row per variable that arrives
    std::function<void()> droprow;        // takes back the last row (variable not kept)
    // Around each requested variable's reception: the page greys its buttons and
    // empties the package comment before, and offers Save to file after.
    std::function<void()> onreceiving;
    std::function<void()> onreceived;
};

// What a receive brought, for the window and the command line alike.
struct ReceiveResult {
    std::vector<std::string> received;     // names as stored, in order
    std::vector<std::string> notreceived;  // requested names the calculator did not send
};

// The variable request packet: 09 A2, length, four zero size bytes, type, name length,
// name, checksum over the data.
void sendvariablerequest(Link& link, const RequestEntry& entry);

// Receives one variable, or in calculator-select mode every variable that follows, into
// the package store (emptied first when first is set). requestname is the full name that
// was asked for, empty in calculator-select mode. Only variables that arrive whole with a
// matching checksum get a package index record; one that is cut off, damaged or never
// sent leaves nothing behind in the store. Returns the names stored.
// archived, locked: the listing showed the variable so, which its file then keeps.
std::vector<std::string> receivevariable(Link& link, ReceiveTarget& target, bool first, std::string_view requestname,
                                         bool archived = false, bool locked = false);

// Request mode: a ready check, then for each entry two ready checks 200 ms apart, the
// request and the variable. The first reception starts the package anew.
// A calculator away from its home screen, a timeout or a Cancel leaves its reason as
// the pending error text; requests answered with anything but the variable are named
// in the result and, once the rest has run, in the pending error text.
ReceiveResult receiverequested(Link& link, ReceiveTarget& target, const std::vector<RequestEntry>& entries);

// Calculator-select mode: no request; every variable the calculator sends goes into a
// package started anew. When the calculator sends something else than a variable, the
// receive fails with kNothingReceivedText.
ReceiveResult receivefromcalc(Link& link, ReceiveTarget& target);

} // namespace tessaly
