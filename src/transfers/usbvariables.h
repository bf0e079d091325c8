#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/tifile.h"
#include "link/link.h"
#include "link/progress.h"
#include "link/usbpackets.h"
#include "transfers/directory.h"
#include "transfers/manage.h"
#include "transfers/receive.h"
#include "transfers/usbexchanges.h"
#include "transfers/variablesend.h"

namespace tessaly {

// The variable exchanges over the Titanium's own USB port: each one the same result the
// link port's exchange gives, so the window and the command line cannot tell the cables
// apart. The link port's exchanges hand over to these when link.directusb() is set.

inline constexpr std::string_view kUsbCutShortText = "The calculator's answer was cut short.";
inline constexpr std::string_view kUsbUnexpectedText = "The calculator answered with something else than was asked for.";

// Every folder, variable and application with its type, size and attributes.
DirectoryListing usbdirectorylisting(Link& link, Progress& progress, const std::function<void(const ListRow&)>& onrow);

// The requested variables into the package store, the first one starting it anew.
ReceiveResult usbreceiverequested(Link& link, ReceiveTarget& target, const std::vector<RequestEntry>& entries);

// One variable offered and sent: its S stored bytes, locked or archived as its file keeps
// it. A refusal names it in result.notsent; false when the link is down.
bool usbsendone(Link& link, Progress& progress, const TiEntry& entry, const std::string& name,
                std::span<const std::uint8_t> stored, SendResult& result);

// One unit of a manage command by the modify-variable packet (delete, rename, lock,
// archive and their undoing) or, for a new folder, a variable sent into it and deleted.
// before gives the types and attributes the packets name. true: sent; false: refused (why
// in refused); nullopt: the link is down.
std::optional<bool> usbmanage(Link& link, Progress& progress, ManageAction action, const std::vector<std::string>& t,
                              const DirectoryListing& before, std::vector<std::string>& refused);

// Deletes one variable; false with the refusal (kNotDeletedText...) or the failure pending.
bool usbdelete(Link& link, Progress& progress, const std::string& fullname);

// What a restore starts with where the port has no block that clears the memory: every
// variable deleted, locked and archived ones unlocked and unarchived first.
bool usbclearmemory(Link& link, Progress& progress);

} // namespace tessaly
