#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"
#include "link/progress.h"

namespace tessaly {

// One row of the receive page's list: caption and its two sub-items, as the list shows
// them. A row is selected or not only while it is on show; the hidden stores keep no
// selection.
struct ListRow {
    std::string caption;  // the full name, folder + "\" + name
    std::string type;     // type name, empty for a code without one
    std::string size;     // decimal
    bool selected = false;
    bool locked = false;    // the entry's attribute: it cannot be deleted or overwritten
    bool archived = false;  // ... or is in the archive, on a model that has one
};

inline constexpr std::string_view kDirectoryReceivingText = "Receiving directory list..";
inline constexpr std::string_view kDirectoryReceivedText = "Directory list received.";
inline constexpr std::string_view kSomeErrorText = "Some error occured!";
inline constexpr std::string_view kDirectoryChecksumText = "Checksum error in the directory entry ";
inline constexpr std::string_view kNoAckText = "Did not got ACK";

// What a listing brought: the calculator's variables as rows, in the order they arrived.
// answered is false when the calculator never got as far as its header (nothing was
// listed); the link-ok flag and the pending error text tell whether the rest went well.
struct DirectoryListing {
    bool answered = false;
    std::vector<ListRow> rows;
    std::vector<std::string> folders;  // every folder listed, empty ones too
};

// The directory exchange: ready check, directory request, the calculator's header, then
// one data packet per folder or variable until the end of transmission. Folder entries
// only name the folder of the rows after them. onrow sees each row as it arrives, so a
// window can show the list growing. The status line tells the listing's start and, once
// the calculator answered, its end.
DirectoryListing directorylisting(Link& link, Progress& progress, const std::function<void(const ListRow&)>& onrow = {});

} // namespace tessaly
