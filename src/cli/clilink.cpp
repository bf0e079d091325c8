#include <csignal>

#include "cli/cli.h"

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

void printlines(std::string text) {
    for (char& c : text)
        if (c == '\r') c = '\n';
    std::fprintf(stderr, "%s\n", text.c_str());
}

} // namespace

std::unique_ptr<CliLink> CliLink::open(const Options& options, std::string* error, int* exitcode) {
    auto fail = [&](const std::string& text, int code) -> std::unique_ptr<CliLink> {
        std::fprintf(stderr, "tessaly92-cli: %s\n", text.c_str());
        if (error) *error = text;
        if (exitcode) *exitcode = code;
        return nullptr;
    };
    std::string why;
    const std::optional<LinkSpec> spec =
        options.link.empty() ? linkspecfromenvironment(&why) : parselinkspec(options.link, &why);
    if (!spec) return fail(why, kUsage);

    std::unique_ptr<CliLink> cl(new CliLink);
    cl->m_pump = std::make_unique<InterruptPump>(cl->m_state);
    Cable::Options cableoptions;
    cableoptions.tracefile = options.trace;
    cableoptions.frontend = Cable::Frontend::CommandLine;
    cl->m_cable = std::make_unique<Cable>(*spec, cl->m_clock, *cl->m_pump, cl->m_state, cableoptions);
    const Cable& cable = *cl->m_cable;
    if (cable.tracefailed()) return fail(cable.error(), kUsage);
    if (!cable.warning().empty()) std::fprintf(stderr, "tessaly92-cli: %s\n", cable.warning().c_str());
    if (!cable.error().empty()) return fail(cable.error(), kFailed);
    catchinterrupt();
    return cl;
}

int finish(TransferState& state, const Port* port) {
    if (state.linkok) return kOk;
    printlines(state.pendingerror.empty() ? std::string("Operation cancelled.") : state.pendingerror);
    if (port && !port->error().empty()) printlines(port->error());
    return kFailed;
}

} // namespace tessaly::cli
