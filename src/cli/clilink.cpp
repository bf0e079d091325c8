#include <cerrno>
#include <csignal>
#include <cstring>

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
    if (!options.trace.empty()) {
        cl->m_tracefile = std::fopen(options.trace.c_str(), "w");
        if (!cl->m_tracefile)
            return fail("cannot write the trace file " + options.trace + ": " + std::strerror(errno), kUsage);
    }
    cl->m_opened = openport(*spec, cl->m_clock, cl->m_state.portaddress);
    if (!cl->m_opened.warning.empty()) std::fprintf(stderr, "tessaly92-cli: %s\n", cl->m_opened.warning.c_str());
    if (!cl->m_opened.error.empty()) {
        std::string text = cl->m_opened.error;
        if (spec->kind == LinkSpec::Kind::Auto) text += " Without a cable, try --link virtual.";
        return fail(text, kFailed);
    }

    cl->m_pump = std::make_unique<InterruptPump>(cl->m_state);
    cl->m_link = std::make_unique<Link>(*cl->m_opened.port, cl->m_clock, *cl->m_pump, cl->m_state);
    if (cl->m_tracefile) {
        cl->m_trace = std::make_unique<FileTrace>(cl->m_tracefile);
        cl->m_link->settrace(cl->m_trace.get());
    }
    cl->m_link->releaselines();
    catchinterrupt();
    return cl;
}

CliLink::~CliLink() {
    m_link.reset();
    m_trace.reset();
    if (m_tracefile) std::fclose(m_tracefile);
}

int finish(TransferState& state, const Port* port) {
    if (state.linkok) return kOk;
    printlines(state.pendingerror.empty() ? std::string("Operation cancelled.") : state.pendingerror);
    if (port && !port->error().empty()) printlines(port->error());
    return kFailed;
}

} // namespace tessaly::cli
