#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/packagestore.h"
#include "files/programrun.h"
#include "link/clock.h"
#include "link/link.h"
#include "link/progress.h"

namespace tessaly {

inline constexpr std::string_view kInserterName = "wputfargo";
inline constexpr std::string_view kTemporaryBackupName = "backup.~92";
inline constexpr std::uint32_t kInserterLimitMs = 15000;
inline constexpr std::string_view kClosingFilesText = "Waiting for closing files.";
inline constexpr std::string_view kFargoSendQuestion =
    "Fargo is now on your calculator!\nDo you want to send the browser and needed libraries?";
inline constexpr std::string_view kFargoFilesMissingText =
    "Fargo is now on your calculator!\nThe required files/libraries were not found. You have to send them manually.";

// The FARGO browser and its three libraries, below the FARGO folder, in sending order.
inline constexpr std::string_view kFargoFiles[] = {"prog/shell.92p", "lib/romlib.92p", "lib/flib.92p",
                                                   "lib/hexlib.92p"};

// The two arguments of the inserter: the FARGO folder without its trailing "/", and
// the backup file.
std::vector<std::string> inserterarguments(std::string_view fargodir, const std::filesystem::path& backup);

// Has FARGO inserted into a backup file by the program's wputfargo (beside it in the build
// tree, else in the libexec folder of its installation). Holds the busy flag while it
// runs. Empty when the inserter ended well; else what went wrong, with what the inserter
// wrote on its standard error. The inserter is a process of its own, so
// its limit is counted on the system clock.
std::string runputfargo(TransferState& state, const std::filesystem::path& programdir, std::string_view fargodir,
                        const std::filesystem::path& backup, std::uint32_t limitms = kInserterLimitMs);

// Whether Put Fargo can work, found before the calculator is touched: the FARGO folder is
// a folder, and the inserter, run as "wputfargo --check FARGO-FOLDER", ends with 0 (it
// alone knows what it needs to insert). Empty when it can; else why, in the inserter's
// own words where they come from it.
inline constexpr std::string_view kInserterCheck = "--check";
std::string checkfargosetup(TransferState& state, const std::filesystem::path& programdir, std::string_view fargodir,
                            std::uint32_t limitms = kInserterLimitMs);

// Where Put Fargo works.
struct FargoSetup {
    std::filesystem::path programdir;     // the programs' folder, where wputfargo is looked up
    std::filesystem::path backupfolder;   // where the temporary backup goes (writable)
    std::string fargodir;                 // the FARGO folder field, ending in "/" (or empty)
    std::filesystem::path browserfolder;  // relative FARGO paths are read from here
    std::filesystem::path libraryfolder;
    std::uint32_t inserterlimitms = kInserterLimitMs;
    std::string comment = {};             // the temporary backup's, as any backup takes the comment box's
};

struct PutFargoResult {
    bool fetched = false;   // the calculator's backup arrived and was saved
    bool inserted = false;  // the inserter ended well
    bool restored = false;  // the backup with FARGO went back to the calculator
    bool filesfound = false;
    bool filessent = false;
};

// The four FARGO files below the folder (relative to the browser folder when it is empty).
std::vector<std::filesystem::path> fargofiles(const FargoSetup& setup);

// Put Fargo: checks the setup (checkfargosetup), fetches the calculator's backup into the
// temporary backup file, runs the inserter on it, sends it back, then asks sendfiles
// whether the browser and libraries go too (kFargoSendQuestion; sent on true). A check, fetch, insertion or sending that fails stops there
// with the link failed and why: an inserter that fails leaves the calculator untouched,
// and the temporary backup is kept (and named) whenever it has not gone back whole.
PutFargoResult putfargo(Link& link, Progress& progress, const PackageStore& store, const FargoSetup& setup,
                        const std::function<bool()>& sendfiles);

} // namespace tessaly
