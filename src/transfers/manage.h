#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "link/link.h"
#include "link/progress.h"
#include "transfers/directory.h"
#include "transfers/packetcommands.h"

namespace tessaly {

// Tidying the calculator from the computer. The TI-92 has no packet for most of this:
// the command is typed on its home screen through the remote keyboard, and the listing
// read afterwards tells whether it was carried out.
enum class ManageAction { Delete, NewFolder, Rename, Lock, Unlock, Archive, Unarchive };

inline constexpr std::string_view kNoArchiveText = "Archive is not on this calculator.";

// The home-screen line of one command: "delvar test\z", "newfold work", "rename a,b", ...
// names are full names ("folder\name"), a folder's bare name for NewFolder, the old and the
// new name for Rename.
std::string commandline(ManageAction action, const std::vector<std::string>& names);

// One line typed the way a calculator accepts it from a cable: ready checks, ON, ESC,
// QUIT and HOME to leave whatever is on screen, CLEAR to empty the entry line and the
// history, the line, ENTER, and CLEAR. False when a key went unanswered.
bool typehomeline(Link& link, std::string_view line);

// What a command came to: the names the calculator now shows changed, the plain
// sentences for those it did not, and the listing read afterwards.
struct ManageOutcome {
    std::vector<std::string> done;
    std::vector<std::string> refused;
    DirectoryListing after;
};

// Carries the action out on each name (for Rename: names[0] becomes names[1]), one
// home-screen line (or, where the model has it, delete packet) per name, then reads the
// listing again. What cannot be done by what current shows (the listing on screen, or
// read fresh when null) is refused without typing anything. Refusals are also left in
// the pending error text with the link-ok flag cleared, so a caller reports them as a
// failed transfer; the listing afterwards is read all the same.
ManageOutcome managecalc(Link& link, Progress& progress, ManageAction action, const std::vector<std::string>& names,
                         const DirectoryListing* current = nullptr);

// Why these names cannot go to the calculator as they are written (empty: they can):
// each part of a name must be 1 to 8 letters, digits or underscores, a letter first.
std::string checknames(ManageAction action, const std::vector<std::string>& names);

// The calculator's version: by the version packet where the model has it; on the TI-92
// the ROM version that names the first block of a backup, the request then aborted.
bool readversion(Link& link, Progress& progress, CalculatorVersion& answer);

} // namespace tessaly
