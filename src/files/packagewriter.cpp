#include "files/packagewriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/filename.h"
#include "files/ticharset.h"
#include "files/tifile.h"
#include "files/varname.h"

namespace tessaly {

namespace {

// Closes the package data file however the save ends.
struct FdCloser {
    int fd = -1;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

// The table of a package: before the first record of each run of records with the same
// non-empty folder part, a folder entry counting the run.
std::vector<TiTableItem> packagetable(const std::vector<PackageRecord>& records) {
    std::vector<TiTableItem> items;
    items.reserve(records.size() * 2);
    std::string runfolder;
    std::size_t runitem = 0;
    for (const auto& r : records) {
        const auto [folder, name] = splitname(r.name);
        if (folder.empty()) {
            runfolder.clear();
        } else if (folder != runfolder) {
            runfolder = folder;
            runitem = items.size();
            items.push_back({.folder = true, .name = folder});
        }
        if (!folder.empty()) ++items[runitem].count;
        // The later models' archived attribute, else the locked one.
        const std::uint8_t attribute = r.archived ? kTI89.archivedattribute : r.locked ? kLockedAttribute : std::uint8_t(0);
        items.push_back({.folder = false, .name = name, .type = r.type, .attribute = attribute,
                         .size = static_cast<std::uint32_t>(r.size)});
    }
    return items;
}

} // namespace

bool savepackage(const std::filesystem::path& dest, bool backuplayout, const PackageStore& store,
               std::string& comment, Progress& progress, TransferState& state, std::string* error,
               const CalculatorModel& model) {
    const std::uint32_t generation = state.cancelgeneration;
    const std::string filename = dest.filename().string();
    TiFileOutput output;
    FdCloser data;
    auto failed = [&](const std::string& message) {
        output.abandon();
        progress.setstatus(message);
        if (error) *error = message;
        return false;
    };

    std::string why = othermodelname(filename, model, backuplayout ? backupextension(model) : std::string());
    if (!why.empty()) return failed("Cannot save " + why + " No file was saved.");
    auto records = store.readrecords(&why);
    if (!records) return failed(why);
    if (!records->empty()) {
        data.fd = ::open(store.datapath().c_str(), O_RDONLY | O_CLOEXEC);
        if (data.fd < 0)
            return failed("Cannot read the package store " + store.datapath().string() + ": " + std::strerror(errno));
    }
    const auto items = packagetable(*records);
    if (comment.empty()) comment = kUnknownDescription;
    bool cut = false;
    const auto commentbytes = commenttibytes(comment, &why, &cut);
    if (!commentbytes) return failed("Cannot save " + filename + ": " + why + ". No file was saved.");
    auto header = tiheader(*commentbytes, items, backuplayout, &why, model.signature);
    if (!header) return failed("Cannot save " + filename + ": " + why + ".");

    if (!output.create(dest, &why)) return failed(why + ". No file was saved.");
    progress.setstatus("Saving " + filename + " Please Wait..");
    progress.processmessages();
    output.write(*header);

    const int total = static_cast<int>(records->size());
    progress.setgaugemax(total);
    progress.setgaugeposition(0);
    for (int i = 0; i < total && output.ok(); ++i) {
        const PackageRecord& r = (*records)[i];
        output.copysection(data.fd, r.start, static_cast<std::uint32_t>(r.size), backuplayout);
        progress.setgaugeposition(i + 1);
        progress.processmessages();
        if (state.cancelgeneration != generation)
            return failed("Saving " + filename + " was cancelled. No file was saved under that name.");
    }
    if (!output.commit(&why)) return failed(why);
    progress.processmessages();
    progress.fileschanged(dest.parent_path());
    progress.setstatus(filename + (cut ? " saved; its comment was cut to its first 34 characters." : " saved."));
    return true;
}

std::optional<std::string> commenttibytes(std::string_view comment, std::string* error, bool* cut) {
    std::string why;
    auto bytes = utf8_to_tibytes(comment, kTiCommentSize, &why, cut);
    if (!bytes && error) *error = "the comment cannot be written: " + why;
    return bytes;
}

bool savepackagecommand(const PackageStore& store, std::string& comment, Progress& progress, SaveQuestions& questions,
                        TransferState& state, const CalculatorModel& model) {
    // A fetched backup waiting in the store is saved as the backup file it came as: in
    // the group layout its one backup entry would still be read as a backup, and wrongly.
    const auto records = store.readrecords(nullptr);
    const bool backup = records && records->size() == 1 && records->front().type == kBackupType;
    const SaveKind kind = backup ? SaveKind::Backup : SaveKind::Package;
    if (comment.empty()) comment = questions.comment(kind, "");
    bool saved = false;
    if (auto path = questions.destination(kind, "", model)) {
        std::string error;
        saved = savepackage(*path, backup, store, comment, progress, state, &error, model);
        if (!saved) questions.failed(error);
    }
    return saved;
}

} // namespace tessaly
