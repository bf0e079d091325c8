#include "transfers/fargoinstall.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "transfers/backup.h"
#include "transfers/send.h"
#include "transfers/session.h"

namespace tessaly {

namespace {
constexpr std::uint32_t kClosingPauseMs = 1000;
constexpr std::string_view kUntouched = "\nNothing was fetched; the calculator was not touched.";
} // namespace

std::vector<std::string> inserterarguments(std::string_view fargodir, const std::filesystem::path& backup) {
    // Only a trailing "/" goes: a folder typed without one keeps its last letter.
    if (fargodir.size() > 1 && fargodir.back() == '/') fargodir.remove_suffix(1);
    return {std::string(fargodir), backup.string()};
}

namespace {

#ifndef TESSALY_INSERTER_FOLDER
#define TESSALY_INSERTER_FOLDER "../libexec/tessaly92"
#endif

// The inserter beside the program (in the build tree, or the one a user named), else in
// the installed programs' libexec folder; never a namesake found on PATH.
std::filesystem::path inserterpath(const std::filesystem::path& programdir) {
    const std::filesystem::path dir = programdir.empty() ? std::filesystem::path(".") : programdir;
    std::error_code ec;
    if (std::filesystem::exists(dir / kInserterName, ec)) return dir / kInserterName;
    return (dir / TESSALY_INSERTER_FOLDER / kInserterName).lexically_normal();
}

// Runs the inserter with these arguments. Empty when it ended well; else what went wrong,
// with what it wrote on its standard error: its own reason is what the user needs, and a
// window has no terminal.
std::string runinserter(TransferState& state, const std::filesystem::path& programdir,
                        const std::vector<std::string>& arguments, std::uint32_t limitms) {
    const bool busy = state.busy;
    state.busy = true;
    const std::filesystem::path program = inserterpath(programdir);
    SystemClock clock;
    std::string said;
    const RunResult run = runandwait(program, arguments, clock, limitms, &said);
    state.busy = busy;
    std::string why;
    if (!run.started)
        why = "The FARGO inserter " + program.string() + " could not be started (" + run.error + ").";
    else if (!run.finished)
        why = "The FARGO inserter " + program.string() + " did not finish within " + std::to_string(limitms) +
              " ms and was stopped.";
    else if (run.exitcode != 0)
        why = "The FARGO inserter " + program.string() + " failed (exit code " + std::to_string(run.exitcode) + ").";
    if (why.empty()) return why;
    while (!said.empty() && std::isspace(static_cast<unsigned char>(said.back()))) said.pop_back();
    return said.empty() ? why : why + "\n" + said;
}

} // namespace

std::string runputfargo(TransferState& state, const std::filesystem::path& programdir, std::string_view fargodir,
                        const std::filesystem::path& backup, std::uint32_t limitms) {
    return runinserter(state, programdir, inserterarguments(fargodir, backup), limitms);
}

std::string checkfargosetup(TransferState& state, const std::filesystem::path& programdir, std::string_view fargodir,
                            std::uint32_t limitms) {
    if (fargodir.empty()) return "No FARGO folder is set (fargo-directory on the Settings page).";
    const std::filesystem::path folder(fargodir);
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return "The FARGO folder " + std::string(fargodir) +
               (std::filesystem::exists(folder, ec) ? " is not a folder." : " does not exist.");
    // The folder as the insertion gets it: its first argument.
    return runinserter(state, programdir, {std::string(kInserterCheck), inserterarguments(fargodir, {}).front()},
                       limitms);
}

std::vector<std::filesystem::path> fargofiles(const FargoSetup& setup) {
    const std::filesystem::path base =
        setup.fargodir.empty() ? setup.browserfolder : std::filesystem::path(setup.fargodir);
    std::vector<std::filesystem::path> out;
    for (std::string_view f : kFargoFiles) out.push_back(base / f);
    return out;
}

namespace {

// The backup with FARGO in it goes back. False when it did not: the backup is kept, and
// the pending error or the status says where.
bool restorefargo(Link& link, Progress& progress, const std::filesystem::path& backup, const std::string& kept,
                  PutFargoResult& result) {
    TransferState& s = link.state();
    const BackupSent sent = sendbackup(link, progress, backup, BackupPurpose::Fargo);
    // A FARGO backup is cut off by the calculator, and that is its success; any other
    // failure keeps the backup and says why rather than claiming FARGO arrived.
    if (!sent.sent && s.pendingerror != kFargoBackupText) {
        // A cancel stays one, said once: where the backup is kept goes with it.
        if (cancelled(s))
            progress.setstatus(std::string(kCancelledText) + kept);
        else
            s.pendingerror += kept;
        return false;
    }
    // The cut-off send ended on no status of its own; the box's last words tell the status
    // line that FARGO went in, rather than leaving the last "Sending" text there.
    if (!sent.sent) progress.setstatus("Fargo-backup installed.");
    s.linkok = true;
    s.pendingerror.clear();
    result.restored = true;
    std::error_code ec;
    std::filesystem::remove(backup, ec);
    return true;
}

void offerfargofiles(Link& link, Progress& progress, const FargoSetup& setup, const std::function<bool()>& sendfiles,
                     PutFargoResult& result) {
    TransferState& s = link.state();
    const std::vector<std::filesystem::path> files = fargofiles(setup);
    result.filesfound = true;
    for (const auto& f : files) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(f, ec)) result.filesfound = false;
    }
    if (!result.filesfound) {
        progress.tell(News::Information, kFargoFilesMissingText);
        return;
    }
    if (sendfiles()) {
        sendfilelist(link, progress, files, nullptr, false, SendPlaces{setup.browserfolder, setup.libraryfolder});
        result.filessent = s.linkok;
    }
}

} // namespace

PutFargoResult putfargo(Link& link, Progress& progress, const PackageStore& store, const FargoSetup& setup,
                        const std::function<bool()>& sendfiles) {
    PutFargoResult result;
    TransferState& s = link.state();
    const std::filesystem::path backup = setup.backupfolder / kTemporaryBackupName;
    const std::string kept = " The calculator keeps its memory; the backup is kept as " + backup.string() + ".";
    {
        TransferSession session(s, progress);
        if (!session) return result;
        // Minutes of fetching on a real cable are not spent on a setup that cannot insert.
        if (const std::string why = checkfargosetup(s, setup.programdir, setup.fargodir, setup.inserterlimitms);
            !why.empty()) {
            link.faillink(why + std::string(kUntouched));
            return result;
        }
        std::string comment = setup.comment;
        result.fetched = fetchbackup(link, progress, store, backup, comment);
        if (!result.fetched) return result;
        progress.working(Work::Started);
        progress.setstatus(kClosingFilesText);
        link.pause(kClosingPauseMs);
        link.pause(kClosingPauseMs);

        // An inserter that is missing, fails or hangs stops here, before the calculator is
        // touched: sending the backup regardless would put an unchanged or broken one back.
        const std::string why = runputfargo(s, setup.programdir, setup.fargodir, backup, setup.inserterlimitms);
        if (!why.empty()) {
            link.faillink(why + kept);
            return result;
        }
        result.inserted = true;
        progress.working(Work::Started);
        progress.processmessages();

        if (!restorefargo(link, progress, backup, kept, result)) return result;
    }

    offerfargofiles(link, progress, setup, sendfiles, result);
    return result;
}

} // namespace tessaly
