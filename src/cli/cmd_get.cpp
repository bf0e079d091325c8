#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/filename.h"
#include "files/packagestore.h"
#include "files/packagewriter.h"
#include "files/safefile.h"
#include "files/ticharset.h"
#include "files/tifile.h"
#include "files/varname.h"
#include "link/byteorder.h"
#include "link/typenames.h"
#include "transfers/directory.h"
#include "transfers/receive.h"
#include "transfers/session.h"

namespace tessaly::cli {

namespace {

struct GetOptions {
    std::vector<std::string> names;
    std::string output;
    std::string comment;
    bool storefolder = true;
    bool fromcalc = false;
    std::vector<std::string> calcsends;
    bool hascalcsends = false;
};

} // namespace

std::vector<std::string> splitnames(std::string_view list) {
    std::vector<std::string> names;
    while (!list.empty()) {
        const auto comma = list.find(',');
        std::string_view name = list.substr(0, comma);
        if (!name.empty()) names.emplace_back(name);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return names;
}

namespace {

// nullopt after printing what is wrong.
std::optional<GetOptions> parse(const Args& args) {
    GetOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        auto value = [&](std::string& into) { return optionvalue(args, i, into); };
        if (a == "-o" || a == "--output") {
            if (!value(o.output)) return std::nullopt;
        } else if (a == "--comment") {
            if (!value(o.comment)) return std::nullopt;
        } else if (a == "--no-store-folder") {
            o.storefolder = false;
        } else if (a == "--from-calc") {
            o.fromcalc = true;
        } else if (a == "--calc-sends") {
            std::string list;
            if (!value(list)) return std::nullopt;
            o.calcsends = splitnames(list);
            o.hascalcsends = true;
        } else if (a.starts_with("-") && a.size() > 1) {
            std::fprintf(stderr, "tessaly92-cli: get: unknown option %s\n", args[i].c_str());
            printusage("get");
            return std::nullopt;
        } else {
            o.names.push_back(args[i]);
        }
    }
    if (o.output.empty()) {
        std::fprintf(stderr, "tessaly92-cli: get needs -o FILE\n");
        printusage("get");
        return std::nullopt;
    }
    if (o.fromcalc == !o.names.empty()) {
        std::fprintf(stderr, "tessaly92-cli: get needs variable names, or --from-calc without names\n");
        printusage("get");
        return std::nullopt;
    }
    if (o.hascalcsends && !o.fromcalc) {
        std::fprintf(stderr, "tessaly92-cli: --calc-sends goes with --from-calc\n");
        return std::nullopt;
    }
    return o;
}

// The request entries for the names, in the order of the listing, as the window asks
// for marked rows; a name may also differ from the listing in case.
std::optional<std::vector<RequestEntry>> requests(const std::vector<ListRow>& rows, const std::vector<std::string>& names) {
    std::vector<bool> marked(rows.size(), false);
    bool all = true;
    for (const std::string& given : names) {
        // A name without a folder is in main, as send takes it.
        const std::string name = withfolder(given);
        std::size_t found = rows.size();
        for (std::size_t i = 0; i < rows.size() && found == rows.size(); ++i)
            if (rows[i].caption == name) found = i;
        for (std::size_t i = 0; i < rows.size() && found == rows.size(); ++i)
            if (upstring(rows[i].caption) == upstring(name)) found = i;
        if (found == rows.size()) {
            std::fprintf(stderr, "tessaly92-cli: %s is not on the calculator (see the dir command)\n",
                         tibytes_to_utf8(name).c_str());
            all = false;
        } else {
            marked[found] = true;
        }
    }
    if (!all) return std::nullopt;
    std::vector<RequestEntry> entries;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (marked[i])
            entries.push_back({rows[i].caption.substr(0, kPackageNameSize), rows[i].type, rows[i].archived, rows[i].locked});
    return entries;
}

} // namespace

bool cansave(const std::string& output, const std::string& comment, const CalculatorModel* chosen) {
    std::string why;
    if (chosen) why = othermodelname(std::filesystem::path(output).filename().string(), *chosen);
    if (!why.empty()) {
        std::fprintf(stderr, "tessaly92-cli: %s Nothing was received or written.\n", terminaltext(why).c_str());
        return false;
    }
    if (!savetarget(output, &why)) {
        std::fprintf(stderr, "tessaly92-cli: %s\n", terminaltext(why).c_str());
        return false;
    }
    if (!commenttibytes(comment, &why)) {
        std::fprintf(stderr, "tessaly92-cli: %s; nothing was received or written\n", terminaltext(why).c_str());
        return false;
    }
    return true;
}

namespace {

// Names are typed as the listing shows them; the calculator knows them as TI-92 bytes.
bool totibytes(const std::vector<std::string>& typed, std::vector<std::string>& names) {
    std::string why;
    for (const std::string& name : typed) {
        const auto bytes = utf8_to_tibytes(name, name.size(), &why);
        if (!bytes) {
            std::fprintf(stderr, "tessaly92-cli: %s: %s\n", name.c_str(), why.c_str());
            return false;
        }
        names.push_back(*bytes);
    }
    return true;
}

// The user at the virtual TI-92 picks these variables in its send menu.
bool letcalcsend(CliLink& cl, const std::vector<std::string>& calcsends) {
    SimulatedCalculator* calc = cl.cable().calculator();
    if (!calc) {
        std::fprintf(stderr,
                     "tessaly92-cli: --calc-sends needs the in-process virtual TI-92 (--link virtual); "
                     "tell a tessaly92-vcalc server with its \"send NAME...\" command\n");
        return false;
    }
    std::string error;
    if (!calc->sendfromcalc(calcsends, &error)) {
        std::fprintf(stderr, "tessaly92-cli: %s\n", error.c_str());
        return false;
    }
    return true;
}

} // namespace

int cmd_get(const Options& options, const Args& args) {
    const auto o = parse(args);
    if (!o) return kUsage;
    // An application file's extension asks for an application, by its bare name.
    if (readfilename(std::filesystem::path(o->output).filename().string()).kind == FileKind::Flash) {
        const char kind = static_cast<char>(std::tolower(static_cast<unsigned char>(o->output.back())));
        if (kind != 'k' || o->names.size() != 1 || o->fromcalc) {
            std::fprintf(stderr, "tessaly92-cli: get: a Flash file receives one application (get NAME -o FILE.89k, "
                                 ".9xk or .v2k); the certificate comes with the cert command\n");
            return kUsage;
        }
        return getapplication(options, o->names[0], o->output);
    }
    if (!cansave(o->output, o->comment, options.anymodel ? nullptr : options.model)) return kUsage;
    std::vector<std::string> names, calcsends;
    if (!totibytes(o->names, names) || !totibytes(o->calcsends, calcsends)) return kUsage;

    std::string error;
    int code = kFailed;
    auto cl = CliLink::open(options, &error, &code);
    if (!cl) return code;
    if (o->hascalcsends && !letcalcsend(*cl, calcsends)) return kUsage;

    TemporaryStore folder;
    if (!folder.ok()) {
        std::fprintf(stderr, "tessaly92-cli: cannot make a temporary folder for the received variables\n");
        return kFailed;
    }
    const PackageStore store(folder.folder());
    TerminalProgress progress(cl->link().pump());
    ReceiveTarget target{progress, store, o->fromcalc, o->storefolder, [](ListRow) {}, [] {}, {}, {}};
    {
        TransferSession session(cl->state(), progress);
        if (o->fromcalc) {
            receivefromcalc(cl->link(), target);
        } else {
            // As in the window: list, then ask for the named rows.
            const DirectoryListing listing = directorylisting(cl->link(), progress);
            if (!cl->state().linkok) {
                progress.endbar();
                return finish(cl->state(), &cl->link(), &progress);
            }
            const auto entries = requests(listing.rows, names);
            if (!entries) {
                progress.endbar();
                return kFailed;
            }
            const ReceiveResult result = receiverequested(cl->link(), target, *entries);
            if (!cancelled(cl->state()))
                progress.setstatus(std::to_string(result.received.size()) + std::string(kVariablesReceivedText));
        }
    }
    progress.endbar();
    if (!cl->state().linkok) return finish(cl->state(), &cl->link(), &progress);

    std::string comment = o->comment;
    if (!savepackage(o->output, false, store, comment, progress, cl->state(), &error, cl->link().model())) {
        progress.endbar();
        std::fprintf(stderr, "tessaly92-cli: %s\n", error.c_str());
        return kFailed;
    }
    return kOk;
}

} // namespace tessaly::cli
