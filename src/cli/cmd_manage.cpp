#include <cstdio>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/ticharset.h"
#include "transfers/manage.h"
#include "transfers/session.h"

namespace tessaly::cli {

namespace {

// Names as the user typed them (UTF-8) in the calculator's character set; nullopt after
// saying which one has no TI-92 character.
std::optional<std::vector<std::string>> calcnames(std::string_view command, const Args& args) {
    std::vector<std::string> names;
    for (const std::string& a : args) {
        if (a.starts_with("-")) {
            std::fprintf(stderr, "tessaly92-cli: %.*s: unknown option %s\n", int(command.size()), command.data(), a.c_str());
            return std::nullopt;
        }
        std::string why;
        bool cut = false;
        // One character more than a full name can have, so a longer one is refused, not cut.
        const auto bytes = utf8_to_tibytes(a, 18, &why, &cut);
        if (bytes && cut) why = a + " is longer than a name can be";
        if (!bytes || cut) {
            std::fprintf(stderr, "tessaly92-cli: %.*s: %s\n", int(command.size()), command.data(), why.c_str());
            return std::nullopt;
        }
        names.push_back(*bytes);
    }
    return names;
}

int manage(const Options& options, const Args& args, std::string_view command, ManageAction action,
           std::string_view past) {
    const auto names = calcnames(command, args);
    if (!names) return kUsage;
    const std::string bad = checknames(action, *names);
    if (!bad.empty()) {
        std::fprintf(stderr, "tessaly92-cli: %.*s: %s\n", int(command.size()), command.data(), terminaltext(bad).c_str());
        return kUsage;
    }
    int code = kFailed;
    auto cl = CliLink::open(options, nullptr, &code);
    if (!cl) return code;
    TerminalProgress progress(cl->link().pump());
    ManageOutcome outcome;
    {
        TransferSession session(cl->state(), progress);
        outcome = managecalc(cl->link(), progress, action, *names);
    }
    progress.endbar();
    for (const std::string& name : outcome.done)
        std::printf("%.*s %s\n", int(past.size()), past.data(), terminaltext(tibytes_to_utf8(name)).c_str());
    std::fflush(stdout);
    return finish(cl->state(), &cl->link(), &progress);
}

} // namespace

int cmd_rm(const Options& o, const Args& a) { return manage(o, a, "rm", ManageAction::Delete, "deleted"); }
int cmd_mkdir(const Options& o, const Args& a) { return manage(o, a, "mkdir", ManageAction::NewFolder, "made folder"); }
int cmd_mv(const Options& o, const Args& a) { return manage(o, a, "mv", ManageAction::Rename, "renamed to"); }
int cmd_lock(const Options& o, const Args& a) { return manage(o, a, "lock", ManageAction::Lock, "locked"); }
int cmd_unlock(const Options& o, const Args& a) { return manage(o, a, "unlock", ManageAction::Unlock, "unlocked"); }
int cmd_archive(const Options& o, const Args& a) { return manage(o, a, "archive", ManageAction::Archive, "archived"); }
int cmd_unarchive(const Options& o, const Args& a) {
    return manage(o, a, "unarchive", ManageAction::Unarchive, "unarchived");
}

int cmd_version(const Options& options, const Args& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "tessaly92-cli: version takes no arguments\n");
        return kUsage;
    }
    int code = kFailed;
    auto cl = CliLink::open(options, nullptr, &code);
    if (!cl) return code;
    TerminalProgress progress(cl->link().pump());
    CalculatorVersion answer;
    bool ok = false;
    {
        TransferSession session(cl->state(), progress);
        ok = readversion(cl->link(), progress, answer);
    }
    progress.endbar();
    if (ok) {
        std::printf("%s %s\n", answer.model.c_str(), terminaltext(tibytes_to_utf8(answer.version)).c_str());
        if (!answer.hardware.empty()) std::printf("hardware %s\n", terminaltext(answer.hardware).c_str());
    }
    return finish(cl->state(), &cl->link(), &progress);
}

} // namespace tessaly::cli
