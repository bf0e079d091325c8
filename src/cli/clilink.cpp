#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "cli/cli.h"
#include "cli/terminalprogress.h"

namespace tessaly::cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void oninterrupt(int) { g_interrupted = 1; }

// The first Ctrl+C cancels like the window's Cancel button, so the transfer runs out at
// its next byte and the command ends cleanly; a second one ends the program at once.
void catchinterrupt() {
    struct sigaction action {};
    action.sa_handler = oninterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);  // a polite stop ends the transfer the same way
}

class InterruptPump final : public MessagePump {
public:
    explicit InterruptPump(TransferState& state) : m_state(state) {}
    void processmessages() override {
        if (g_interrupted) m_state.linkok = false;
    }

private:
    TransferState& m_state;
};

// A reason may carry what another program wrote (the FARGO inserter): its control bytes
// are shown, not obeyed.
void printlines(std::string_view text) { std::fprintf(stderr, "%s\n", terminaltext(text).c_str()); }

} // namespace

std::unique_ptr<CliLink> CliLink::open(const Options& options, std::string* error, int* exitcode) {
    auto fail = [&](const std::string& text, int code) -> std::unique_ptr<CliLink> {
        std::fprintf(stderr, "tessaly92-cli: %s\n", text.c_str());
        if (error) *error = text;
        if (exitcode) *exitcode = code;
        return nullptr;
    };
    // Caught from the start: a Ctrl+C while the cable opens cancels the command too, rather
    // than killing it halfway through its setup.
    catchinterrupt();
    std::string why;
    const std::optional<LinkSpec> spec =
        options.link.empty() ? linkspecfromenvironment(&why) : parselinkspec(options.link, &why);
    if (!spec) return fail(why, kUsage);

    std::unique_ptr<CliLink> cl(new CliLink);
    cl->m_pump = std::make_unique<InterruptPump>(cl->m_state);
    Cable::Options cableoptions;
    cableoptions.tracefile = options.trace;
    cableoptions.withoutcable = "Without a cable, try --link virtual.";
    cableoptions.pacing = options.pacing;
    cl->m_cable = std::make_unique<Cable>(*spec, cl->m_clock, *cl->m_pump, cl->m_state, cableoptions);
    const Cable& cable = *cl->m_cable;
    if (cable.tracefailed()) return fail(cable.error(), kUsage);
    cl->link().choosemodel(options.model);
    if (!cable.warning().empty()) std::fprintf(stderr, "tessaly92-cli: %s\n", cable.warning().c_str());
    if (!cable.error().empty()) return fail(cable.error(), kFailed);
    // The in-process virtual TI-92 has no terminal of its own: what it tells its user comes here.
    if (SimulatedCalculator* calc = cable.calculator())
        calc->onnotice([](const std::string& notice) {
            if (!notice.empty()) std::fprintf(stderr, "tessaly92-cli: %s\n", terminaltext(notice).c_str());
        });
    return cl;
}

int finish(TransferState& state, const Link* link, const TerminalProgress* progress) {
    if (state.linkok) return kOk;
    // A cable another program holds, or one that went away, is the cause of whatever failed
    // after it (a timeout, "not ready"): that alone is said, as the user can act on it.
    const std::string lost = link ? link->cableerror() : std::string();
    if (!lost.empty() && (link->cableheld() || !state.pendingerror.empty())) {
        printlines(lost);
        return kFailed;
    }
    // Said once: not again when the last status line said it already.
    const std::string_view text = state.pendingerror.empty() ? kCancelledText : std::string_view(state.pendingerror);
    const bool said = progress && (state.pendingerror.empty() ? progress->lastline().starts_with(kCancelledText)
                                                           : progress->lastline() == state.pendingerror);
    if (!said) printlines(text);
    return kFailed;
}

namespace {
constexpr std::string_view kStorePrefix = "tessaly92-get-";
}

TemporaryStore::TemporaryStore() {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) base = "/tmp";
    // tessaly92-get-PID-XXXXXX of a process that is gone: what a killed run left.
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(kStorePrefix)) continue;
        const long pid = std::strtol(name.c_str() + kStorePrefix.size(), nullptr, 10);
        if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)) continue;
        std::error_code ignored;
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) fs::remove_all(it->path(), ignored);
    }
    std::string pattern = (base / (std::string(kStorePrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data())) m_folder = pattern;
}

TemporaryStore::~TemporaryStore() {
    std::error_code ec;
    if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ec);
}

bool optionvalue(const Args& args, std::size_t& i, std::string& into) {
    if (i + 1 >= args.size()) {
        std::fprintf(stderr, "tessaly92-cli: %s needs a value\n", args[i].c_str());
        return false;
    }
    into = args[++i];
    return true;
}

std::optional<bool> modeloption(int argc, char** argv, int& i, Options& options) {
    const std::string_view a = argv[i];
    if (a == "--any-model") {
        options.anymodel = true;
        return true;
    }
    if (a != "--model" && !a.starts_with("--model=")) return std::nullopt;
    const std::string_view value = a == "--model" ? (i + 1 < argc ? argv[++i] : "") : a.substr(8);
    options.model = modelbyid(value);
    if (!options.model)
        std::fprintf(stderr, "tessaly92-cli: --model needs one of %s\n", std::string(modelids()).c_str());
    return options.model != nullptr;
}

} // namespace tessaly::cli
