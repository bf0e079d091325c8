#pragma once
#include <filesystem>
#include <string>
#include <string_view>

#include "files/packagestore.h"
#include "link/link.h"
#include "link/progress.h"
#include "transfers/variablesend.h"

namespace tessaly {

// What the window says where the TI-92's backup is offered.
inline constexpr std::string_view kGroupBackupText =
    "A TI-92 Plus, Voyage 200, TI-89 or TI-89 Titanium backup is no memory image: every variable is fetched into one group file "
    "(.9xg, .v2g, .89g), and restoring it sends them back.";

// A later model's backup: its listing, every variable in it received into the package
// store (emptied first), then saved in one group file signed for the model. False with
// why pending; the file appears whole or not at all.
bool fetchgroupbackup(Link& link, Progress& progress, const PackageStore& store, const std::filesystem::path& dest,
                      std::string& comment);

// A later model's group file restored as its backup: the empty block of the backup type,
// after which the calculator clears its memory, then every variable offered as a send
// offers it (locked and archived ones so). False with why pending; a file that is not a
// group file of the calculator's model is refused before anything is sent, unless ask
// agrees to another model's. restored, when given, counts the variables the calculator took.
bool restoregroupbackup(Link& link, Progress& progress, const std::filesystem::path& path,
                        std::size_t* restored = nullptr, OtherModelQuestion* ask = nullptr);

} // namespace tessaly
