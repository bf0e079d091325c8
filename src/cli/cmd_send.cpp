#include <algorithm>
#include <cstdio>
#include <set>
#include <string_view>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/flashfile.h"
#include "files/packagestore.h"
#include "files/varname.h"
#include "link/byteorder.h"
#include "transfers/backup.h"
#include "transfers/directory.h"
#include "transfers/groupbackup.h"
#include "transfers/overwrite.h"
#include "transfers/send.h"
#include "transfers/session.h"

namespace tessaly::cli {

namespace {

struct SendOptions {
    std::vector<std::filesystem::path> files;
    std::vector<std::string> vars;  // full names; empty: every variable
    bool libs = false;
    std::filesystem::path libdir;
    std::string output;
    std::string comment;
    bool overwrite = false;  // --overwrite: names the calculator holds are replaced
    bool skip = false;       // --skip-existing: ... left out
    bool os = false;         // --os: a system file may replace the calculator's
};

// Options of send, backup and restore; nullopt after printing what is wrong.
std::optional<SendOptions> parse(std::string_view command, const Args& args) {
    SendOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        auto value = [&](std::string& into) { return optionvalue(args, i, into); };
        std::string v;
        if (command == "send" && a == "--vars") {
            if (!value(v)) return std::nullopt;
            // An empty list would pass for none given, and send every variable.
            const std::vector<std::string> names = splitnames(v);
            if (names.empty() || std::count(v.begin(), v.end(), ',') + 1 != std::ssize(names)) {
                std::fprintf(stderr, "tessaly92-cli: send: --vars takes full names with commas between, as info "
                                     "lists them (main\\a,work\\b)\n");
                return std::nullopt;
            }
            for (const std::string& n : names) o.vars.push_back(upstring(n));
        } else if (command == "send" && (a == "--overwrite" || a == "--skip-existing")) {
            (a == "--overwrite" ? o.overwrite : o.skip) = true;
        } else if (command == "send" && a == "--os") {
            o.os = true;
        } else if (command == "send" && a == "--libs") {
            o.libs = true;
        } else if (command == "send" && a == "--lib-dir") {
            if (!value(v)) return std::nullopt;
            o.libdir = v;
        } else if (command == "backup" && (a == "-o" || a == "--output")) {
            if (!value(o.output)) return std::nullopt;
        } else if (command == "backup" && a == "--comment") {
            if (!value(o.comment)) return std::nullopt;
        } else if (a.starts_with("-") && a.size() > 1) {
            std::fprintf(stderr, "tessaly92-cli: %.*s: unknown option %s\n", int(command.size()), command.data(),
                         args[i].c_str());
            printusage(command);
            return std::nullopt;
        } else {
            o.files.emplace_back(args[i]);
        }
    }
    const std::size_t wanted = command == "backup" ? 0 : command == "restore" ? 1 : o.files.size();
    if (o.files.size() != wanted || (command == "send" && o.files.empty())) {
        printusage(command);
        return std::nullopt;
    }
    if (o.overwrite && o.skip) {
        std::fprintf(stderr, "tessaly92-cli: send: --overwrite and --skip-existing exclude each other\n");
        return std::nullopt;
    }
    if (command == "backup" && o.output.empty()) {
        printusage(command);
        return std::nullopt;
    }
    return o;
}

// A Flash file is read whole before the cable opens: an unreadable one is a usage error
// (kUsage); a system without --os, or a file for the model --model names, is refused
// (kFailed). kOk when it may go.
int flashsendable(const std::filesystem::path& path, bool os, const CalculatorModel* model) {
    std::string error;
    const auto file = readflashfile(path, &error);
    if (!file) {
        std::fprintf(stderr, "tessaly92-cli: %s\n", terminaltext(error).c_str());
        return kUsage;
    }
    const std::string name = terminaltext(path.filename().string());
    for (const FlashPart& part : file->parts)
        if (part.datatype == kFlashOs && !os) {
            std::fprintf(stderr, "tessaly92-cli: %s holds a system, which replaces the calculator's: send it with "
                                 "send --os FILE\n", name.c_str());
            return kFailed;
        }
    if (const std::string why = model ? flashmismatch(*file, *model) : std::string(); !why.empty()) {
        std::fprintf(stderr, "tessaly92-cli: %s: %s Nothing was sent.\n", name.c_str(), terminaltext(why).c_str());
        return kFailed;
    }
    return kOk;
}

// --os: the user has agreed to the new system by naming the option.
class SystemAnswer final : public FlashQuestions {
public:
    explicit SystemAnswer(bool yes) : m_yes(yes) {}
    bool replacesystem(const FlashPart&, const CalculatorModel&) override { return m_yes; }

private:
    bool m_yes;
};

// Every Flash file checked before the cable opens; the exit code of the first refusal.
int flashfilessendable(const SendOptions& o, const CalculatorModel* model) {
    for (const auto& path : o.files)
        if (sendkind(path) == SendKind::Flash)
            if (const int code = flashsendable(path, o.os, model); code != kOk) return code;
    return kOk;
}

// Files that cannot be sent are refused before the cable is opened.
bool sendable(const SendOptions& o) {
    std::set<std::string> found;
    for (const auto& path : o.files) {
        const SendKind kind = sendkind(path);
        if (kind == SendKind::Flash) continue;  // flashfilessendable's
        if (kind != SendKind::Variables) {
            const char* why = kind == SendKind::Text     ? "convert the text file first (txt2var)"
                              : kind == SendKind::Backup ? "a backup goes back with the restore command"
                                                         : "this kind of file cannot be sent";
            std::fprintf(stderr, "tessaly92-cli: %s: %s\n", path.c_str(), why);
            return false;
        }
        const std::string why = checkvariablefile(path);
        if (!why.empty()) {
            std::fprintf(stderr, "tessaly92-cli: %s\n", why.c_str());
            return false;
        }
        if (const auto file = readtifile(path, nullptr))
            for (const TiEntry* v : file->variables()) found.insert(upstring(v->fullname()));
    }
    bool all = true;
    for (const std::string& name : o.vars)
        if (!found.contains(name)) {
            std::fprintf(stderr, "tessaly92-cli: no variable %s in the files (see the info command)\n", name.c_str());
            all = false;
        }
    return all;
}

constexpr std::string_view kAnyModelHint = " --any-model sends it all the same.";

// With --model the calculator is known before the cable opens: a file made for another
// model is refused at once, as the send would refuse it once the calculator answered.
bool fitschosenmodel(const Options& options, const SendOptions& o) {
    if (!options.model || options.anymodel) return true;
    for (const auto& path : o.files) {
        const auto file = readtifile(path, nullptr);
        if (!file || file->model->signature == options.model->signature) continue;
        std::fprintf(stderr, "tessaly92-cli: %s %s%s\n",
                     terminaltext(othermodeltext(path, *file->model, *options.model)).c_str(),
                     std::string(kOtherModelRefusedText).c_str(), std::string(kAnyModelHint).c_str());
        return false;
    }
    return true;
}

// Which variables of the file go: those --vars names (all without it).
std::function<bool(std::size_t)> selection(const SendOptions& o, const std::filesystem::path& path) {
    if (o.vars.empty()) return {};
    std::vector<std::string> names;
    if (const auto file = readtifile(path, nullptr))
        for (const TiEntry* v : file->variables()) names.push_back(upstring(v->fullname()));
    return [&o, names](std::size_t i) {
        return i < names.size() && std::find(o.vars.begin(), o.vars.end(), names[i]) != o.vars.end();
    };
}

// The plan's questions answered from the options: a file of another model goes with
// --any-model; a name the calculator holds is replaced with --overwrite (unless locked or
// archived), left out with --skip-existing. Whatever the options do not allow is noted
// and left out, and said at once after the plan: then nothing is sent.
class OptionAnswers final : public PlanQuestions {
public:
    OptionAnswers(const Options& options, const SendOptions& o) : m_options(options), m_o(o) {}
    bool sendanyway(const OtherModelFile& file) override {
        if (!m_options.anymodel && m_refusal.empty())
            m_refusal = othermodeltext(file) + " " + std::string(kOtherModelRefusedText) + std::string(kAnyModelHint);
        return m_options.anymodel;
    }
    OverwriteChoice existing(const Clash& clash, bool canoverwrite) override {
        if (m_o.skip) {
            skipped.push_back(clash);
        } else {
            m_clashes.push_back(clash);
            if (canoverwrite && m_o.overwrite) return OverwriteChoice::Overwrite;
        }
        return OverwriteChoice::Skip;
    }
    std::optional<std::string> newname(const Clash&) override { return std::nullopt; }

    // Why nothing may be sent after all; empty when the options allowed the whole plan.
    std::string refusal() const {
        if (!m_refusal.empty()) return m_refusal;
        std::vector<Clash> blocked;
        std::copy_if(m_clashes.begin(), m_clashes.end(), std::back_inserter(blocked),
                     [](const Clash& c) { return c.blocked(); });
        if (!blocked.empty()) return "Cannot be overwritten on the calculator, nothing sent: " + clashlist(blocked);
        if (!m_clashes.empty() && !m_o.overwrite)
            return "On the calculator already, nothing sent (--overwrite replaces, --skip-existing leaves out): " +
                   clashlist(m_clashes);
        return {};
    }
    std::vector<Clash> skipped;

private:
    const Options& m_options;
    const SendOptions& m_o;
    std::string m_refusal;
    std::vector<Clash> m_clashes;
};

// --any-model's answer to a restore of another model's backup.
class AnyModel final : public OtherModelQuestion {
public:
    explicit AnyModel(bool yes) : m_yes(yes) {}
    bool sendanyway(const OtherModelFile&) override {
        refused = !m_yes;
        return m_yes;
    }
    bool refused = false;

private:
    bool m_yes;
};

// The one line a send ends with on stdout.
void saysent(std::size_t sent, const std::vector<Clash>& skipped) {
    if (sent == 0 && !skipped.empty()) {
        std::printf("nothing sent, every variable is on the calculator already: %s\n",
                    terminaltext(clashlist(skipped)).c_str());
        return;
    }
    if (!skipped.empty())
        std::printf("left out, on the calculator already: %s\n", terminaltext(clashlist(skipped)).c_str());
    std::printf("%zu variable(s) sent\n", sent);
}

} // namespace

int cmd_send(const Options& options, const Args& args) {
    const auto o = parse("send", args);
    if (!o || !sendable(*o)) return kUsage;
    if (const int code = flashfilessendable(*o, options.model); code != kOk) return code;
    if (!fitschosenmodel(options, *o)) return kFailed;

    std::string error;
    int code = kFailed;
    auto cl = CliLink::open(options, &error, &code);
    if (!cl) return code;
    Link& link = cl->link();
    TransferState& state = cl->state();
    TerminalProgress progress(link.pump());
    progress.hiddenending = kVariablesSentText;
    std::size_t sent = 0;
    std::size_t flashsent = 0;
    OptionAnswers answers(options, *o);
    SystemAnswer system(o->os);
    {
        TransferSession session(state, progress);
        std::vector<SendItem> items;
        for (const auto& path : o->files) {
            if (sendkind(path) != SendKind::Flash) {
                items.push_back({path, selection(*o, path)});
            } else if (state.linkok && sendflashpath(link, progress, path, &system).sent && state.linkok) {
                ++flashsent;
            }
        }
        if (!state.linkok) items.clear();
        const std::optional<SendPlan> plan = plansend(link, progress, items, answers);
        if (plan && !answers.refusal().empty()) link.faillink(answers.refusal());
        for (const SendItem& item : items) {
            if (!state.linkok || !plan) break;
            sent += sendvariables(link, progress, item.path, item.selected, &*plan).sent.size();
            if (!state.linkok) break;
            if (!o->libs) continue;
            // The program's own folder stands for the browser folder.
            for (const Library& lib : librarylist(item.path, item.path.parent_path(), o->libdir)) {
                std::vector<Library> one{lib};
                sendlibraries(link, progress, one, item.path.string());
                if (!state.linkok) break;
            }
            if (!state.linkok) break;
        }
    }
    progress.endbar();
    if (state.linkok && flashsent > 0) std::printf("%zu Flash file(s) sent\n", flashsent);
    if (state.linkok && flashsent < o->files.size()) saysent(sent, answers.skipped);
    return finish(state, &link, &progress);
}

int cmd_backup(const Options& options, const Args& args) {
    const auto o = parse("backup", args);
    if (!o || !cansave(o->output, o->comment, options.anymodel ? nullptr : options.model)) return kUsage;
    std::string error;
    int code = kFailed;
    auto cl = CliLink::open(options, &error, &code);
    if (!cl) return code;
    TemporaryStore folder;
    if (!folder.ok()) {
        std::fprintf(stderr, "tessaly92-cli: cannot make a temporary folder for the backup\n");
        return kFailed;
    }
    const PackageStore store(folder.folder());
    TerminalProgress progress(cl->link().pump());
    {
        TransferSession session(cl->state(), progress);
        std::string comment = o->comment;
        fetchbackup(cl->link(), progress, store, o->output, comment);
    }
    progress.endbar();
    return finish(cl->state(), &cl->link(), &progress);
}

int cmd_restore(const Options& options, const Args& args) {
    const auto o = parse("restore", args);
    if (!o) return kUsage;
    // A later model's backup is a group file: the calculator clears its memory and takes
    // every variable of it back.
    const CalculatorModel* model = modelbyextension(o->files[0].filename().string());
    const bool group = model && !model->imagebackup;
    const std::string why = group ? checkvariablefile(o->files[0]) : checkbackupfile(o->files[0]);
    if (!why.empty()) {
        std::fprintf(stderr, "tessaly92-cli: %s\n", why.c_str());
        return kUsage;
    }
    std::string error;
    int code = kFailed;
    auto cl = CliLink::open(options, &error, &code);
    if (!cl) return code;
    TerminalProgress progress(cl->link().pump());
    progress.hiddenending = kVariablesSentText;
    std::size_t restored = 0;
    {
        TransferSession session(cl->state(), progress);
        AnyModel anymodel(options.anymodel);
        if (!group)
            sendbackup(cl->link(), progress, o->files[0]);
        else if (!restoregroupbackup(cl->link(), progress, o->files[0], &restored, &anymodel) && anymodel.refused)
            cl->state().pendingerror += kAnyModelHint;
    }
    progress.endbar();
    if (group && cl->state().linkok) std::printf("%zu variable(s) restored\n", restored);
    return finish(cl->state(), &cl->link(), &progress);
}

} // namespace tessaly::cli
