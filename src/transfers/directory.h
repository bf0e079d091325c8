#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/flashfile.h"
#include "files/varname.h"
#include "link/link.h"
#include "link/progress.h"

namespace tessaly {

// One variable as the listing gave it: the front ends show its type by the model's name
// for the code and its size in decimal. A row is selected or not only while it is on
// show; the hidden stores keep no selection.
struct ListRow {
    std::string caption;  // the full name, folder + "\" + name
    std::string folder;
    std::uint8_t type = 0;   // as listed: a request for the variable asks for this code
    std::uint32_t size = 0;  // stored bytes
    bool selected = false;
    bool locked = false;    // the entry's attribute: it cannot be deleted or overwritten
    bool archived = false;  // ... or is in the archive, on a model that has one
};

// The row's type as the lists show it (empty for a code without a name) and its size.
inline std::string typetext(const CalculatorModel& model, const ListRow& row) { return std::string(model.typename_of(row.type)); }
inline std::string sizetext(const ListRow& row) { return std::to_string(row.size); }
// "locked", "archived" or empty.
inline std::string_view attributetext(const ListRow& row) { return row.archived ? "archived" : row.locked ? "locked" : ""; }
// A row for a variable known by its full name (received, or in the package store).
inline ListRow variablerow(std::string caption, std::uint8_t type, std::uint32_t size) {
    std::string folder = splitname(caption).folder;
    return ListRow{std::move(caption), std::move(folder), type, size};
}
// A folder that holds no variable, as a row of its own: work\ with the model's folder type and size 0.
// It names no variable: nothing can be received from it.
inline ListRow folderrow(const CalculatorModel& model, const std::string& folder) {
    return ListRow{folder + "\\", folder, model.foldertype, 0};
}
inline bool isfolderrow(const CalculatorModel& model, const ListRow& row) { return row.type == model.foldertype; }
// A Flash application: in no folder, its caption the bare name ("demoapp"). Backups leave
// it out, and it is received as an application, not as a variable.
inline bool isapplicationrow(const ListRow& row) { return row.type == kFlashApplication && row.folder.empty(); }

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
    // The folders that hold no variable, which no row names.
    std::vector<std::string> emptyfolders() const;
};

// The directory exchange: ready check, directory request, the calculator's header, then
// one data packet per folder or variable until the end of transmission. Folder entries
// only name the folder of the rows after them. A later model is asked in two phases: its
// folders, then each folder's variables, one data packet each. onrow sees each row as it
// arrives, so a window can show the list growing. The status line tells the listing's
// start and, once the calculator answered, its end.
DirectoryListing directorylisting(Link& link, Progress& progress, const std::function<void(const ListRow&)>& onrow = {});

} // namespace tessaly
