#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "link/link.h"

namespace tessaly {

// One row of the receive page's list: caption and its two sub-items, as the list shows
// them. A row is selected or not only while it is on show; the hidden stores keep no
// selection.
struct ListRow {
    std::string caption;  // the full name, folder + "\" + name
    std::string type;     // type name, empty for a code without one
    std::string size;     // decimal
    bool selected = false;
};

inline constexpr std::string_view kDirectoryReceivingText = "Receiving directory list..";
inline constexpr std::string_view kDirectoryReceivedText = "Directory list received.";
inline constexpr std::string_view kSomeErrorText = "Some error occured!";
inline constexpr std::string_view kDirectoryChecksumText = "Checksum error in the directory entry ";
inline constexpr std::string_view kNoAckText = "Did not got ACK";

// The directory exchange: ready check, directory request, the calculator's header, then
// one data packet per folder or variable until the end of transmission. Each variable
// becomes a row through addrow, in the order it arrives; folder entries only name the
// folder of the rows after them. Returns false when the calculator never got as far as
// its header (nothing was listed), true once the entry loop ran, whether or not it ended
// well: the link-ok flag tells that.
bool directorylisting(Link& link, const std::function<void(ListRow)>& addrow);

} // namespace tessaly
