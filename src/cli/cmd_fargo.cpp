#include <unistd.h>

#include <cstdio>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/packagestore.h"
#include "files/ticharset.h"
#include "transfers/backup.h"
#include "transfers/fargoinstall.h"
#include "transfers/readiness.h"
#include "transfers/remotekeys.h"

namespace tessaly::cli {

namespace {

// The folder of this program, from where wputfargo is found.
std::filesystem::path programfolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path(ec) : self.parent_path();
}

struct FargoOptions {
    std::string fargodir;
    std::filesystem::path inserter;  // empty: the installed wputfargo
    std::filesystem::path libdir;
    std::filesystem::path workdir;   // where backup.~92 is kept; empty: the package store's folder
    std::filesystem::path file;      // insert-fargo's backup file
    bool sendfiles = false;
};

std::optional<FargoOptions> parsefargo(std::string_view command, const Args& args) {
    FargoOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        auto value = [&](auto& into) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "tessaly92-cli: %s needs a value\n", args[i].c_str());
                return false;
            }
            into = args[++i];
            return true;
        };
        if (a == "--fargo-dir") {
            if (!value(o.fargodir)) return std::nullopt;
        } else if (a == "--inserter") {
            if (!value(o.inserter)) return std::nullopt;
        } else if (command == "install-fargo" && a == "--lib-dir") {
            if (!value(o.libdir)) return std::nullopt;
        } else if (command == "install-fargo" && a == "--work-dir") {
            if (!value(o.workdir)) return std::nullopt;
        } else if (command == "install-fargo" && a == "--send-files") {
            o.sendfiles = true;
        } else if (command == "insert-fargo" && !a.starts_with("-") && o.file.empty()) {
            o.file = args[i];
        } else {
            printusage(command);
            return std::nullopt;
        }
    }
    if (o.fargodir.empty() || (command == "insert-fargo" && o.file.empty())) {
        printusage(command);
        return std::nullopt;
    }
    if (!o.fargodir.ends_with('/')) o.fargodir += '/';
    return o;
}

// The inserter's folder; a --inserter of another name is run through a link of the right
// name in a folder of its own, so the program always starts "wputfargo".
std::filesystem::path inserterfolder(const FargoOptions& o, TemporaryStore& scratch) {
    if (o.inserter.empty()) return programfolder();
    if (o.inserter.filename() == kInserterName) return std::filesystem::absolute(o.inserter).parent_path();
    std::error_code ec;
    std::filesystem::create_symlink(std::filesystem::absolute(o.inserter), scratch.folder() / kInserterName, ec);
    return scratch.folder();
}

// The keys that type the text, appended to codes; false after naming a character no key
// types: the whole text is refused before any key is pressed.
bool typedkeys(std::string_view text, std::vector<std::uint16_t>& codes) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t from = at;
        const std::optional<char32_t> c = nextcodepoint(text, at);
        if (!c) {
            std::fprintf(stderr, "tessaly92-cli: key: the text is not UTF-8; no key was pressed\n");
            return false;
        }
        const std::optional<std::uint16_t> code = typedkeycode(*c);
        if (!code) {
            std::fprintf(stderr, "tessaly92-cli: key: no calculator key types \"%s\"; no key was pressed\n",
                         terminaltext(text.substr(from, at - from)).c_str());
            return false;
        }
        codes.push_back(*code);
    }
    return true;
}

} // namespace

int cmd_key(const Options& options, const Args& args) {
    std::vector<std::uint16_t> codes;
    std::vector<std::pair<std::size_t, std::string>> named;  // codes that depend on the model
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--text") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "tessaly92-cli: --text needs a value\n");
                return kUsage;
            }
            if (!typedkeys(args[++i], codes)) return kUsage;
        } else if (const auto code = keybyname(args[i], options.model ? *options.model : kTI92)) {
            if (!options.model && keydependsonmodel(args[i])) named.emplace_back(codes.size(), args[i]);
            codes.push_back(*code);
        } else {
            std::fprintf(stderr, "tessaly92-cli: key: unknown key \"%s\"; a number or one of: %s\n", args[i].c_str(),
                         keynames().c_str());
            return kUsage;
        }
    }
    if (codes.empty()) {
        printusage("key");
        return kUsage;
    }
    int code = kFailed;
    auto cl = CliLink::open(options, nullptr, &code);
    if (!cl) return code;
    // The TI-92 and the TI-89 differ in some keys: the calculator's answer says which it is.
    if (!named.empty()) {
        cl->state().linkok = true;
        if (!readinessexchange(cl->link())) return finish(cl->state(), &cl->link());
        for (const auto& [at, name] : named) codes[at] = *keybyname(name, cl->link().model());
    }
    RemoteKeyboard keys(cl->link());
    keys.reset();
    for (std::uint16_t k : codes) {
        keys.press(k);
        if (!cl->state().linkok) break;
    }
    return finish(cl->state(), &cl->link());
}

int cmd_installfargo(const Options& options, const Args& args) {
    const auto o = parsefargo("install-fargo", args);
    if (!o) return kUsage;
    TemporaryStore scratch;
    if (!scratch.ok()) {
        std::fprintf(stderr, "tessaly92-cli: cannot make a temporary folder for the backup\n");
        return kFailed;
    }
    std::error_code ec;
    const FargoSetup setup{inserterfolder(*o, scratch),
                           o->workdir.empty() ? packagestorefolder(programfolder()) : o->workdir, o->fargodir,
                           std::filesystem::current_path(ec), o->libdir};
    // A setup that cannot insert is a usage error, found before the cable opens.
    TransferState unopened;
    if (const std::string why = checkfargosetup(unopened, setup.programdir, setup.fargodir); !why.empty()) {
        std::fprintf(stderr, "tessaly92-cli: %s\nNothing was fetched.\n", terminaltext(why).c_str());
        return kUsage;
    }
    int code = kFailed;
    auto cl = CliLink::open(options, nullptr, &code);
    if (!cl) return code;
    // The backup stays where the user can find it when the installation stops half way.
    const PackageStore store(scratch.folder());
    TerminalProgress progress(cl->link().pump());
    // The question is written as the window would ask it, then answered by --send-files.
    const PutFargoResult r = putfargo(cl->link(), progress, store, setup, [&] {
        progress.tell(News::Information, kFargoSendQuestion);
        return o->sendfiles;
    });
    progress.endbar();
    if (r.restored && !r.filesfound)
        std::fprintf(stderr, "tessaly92-cli: the FARGO browser and libraries were not found below %s\n",
                     o->fargodir.c_str());
    return finish(cl->state(), &cl->link(), &progress);
}

int cmd_insertfargo(const Options&, const Args& args) {
    const auto o = parsefargo("insert-fargo", args);
    if (!o) return kUsage;
    const std::string why = checkbackupfile(o->file);
    if (!why.empty()) {
        std::fprintf(stderr, "tessaly92-cli: %s\n", why.c_str());
        return kUsage;
    }
    TemporaryStore scratch;
    TransferState state;
    const std::string failed =
        runputfargo(state, inserterfolder(*o, scratch), o->fargodir, std::filesystem::absolute(o->file));
    if (!failed.empty()) {
        std::fprintf(stderr, "tessaly92-cli: %s\n", terminaltext(failed).c_str());
        return kFailed;
    }
    return kOk;
}

} // namespace tessaly::cli
