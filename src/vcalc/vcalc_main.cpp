// tessaly92-vcalc: a virtual TI-92 at the end of a virtual cable (a Unix socket), or behind
// a grey cable (a pseudo-terminal).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "link/clock.h"
#include "vcalc/cableserver.h"
#include "vcalc/greyserver.h"
#include "vcalc/vcalc.h"

namespace {

constexpr const char* kUsage =
    "usage: tessaly92-vcalc --socket PATH [options]\n"
    "       tessaly92-vcalc --grey PTY-LINK [options]\n"
    "\n"
    "A virtual TI-92 on a virtual cable: a Unix stream socket on which a program\n"
    "drives the two link lines ('w' + drivers byte, 'r' -> lines byte). Or the same\n"
    "calculator behind a grey serial cable: a pseudo-terminal that a program opens\n"
    "with the LINK grey:PTY-LINK and on which packet bytes come and go.\n"
    "\n"
    "  --socket PATH       the socket to listen on (a stale one is replaced)\n"
    "  --grey PTY-LINK     make a pseudo-terminal and a symbolic link to it at PTY-LINK\n"
    "                      (a stale link of ours is replaced, anything else refused)\n"
    "  --state FILE.92g    keep the memory in this TI-92 group file (created with the\n"
    "                      demo memory when missing, written back after every change)\n"
    "  --pace instant|real|BITS  how fast the calculator answers: at once, about\n"
    "                      40000 bits a second (the default), or BITS bits a second;\n"
    "                      with --grey the serial line's speed: at once, 9600 baud\n"
    "                      (the default) or BITS baud\n"
    "  --absent            no calculator on the cable: no line ever moves\n"
    "  --mute              takes every byte, answers no packet\n"
    "  --away              away from the home screen: ready checks go unanswered\n"
    "  --hold-low A|B      holds that line low for ever\n"
    "  --stop-after N      falls silent after N bytes (both ways)\n"
    "  --refuse-headers    refuses every variable sent to it\n"
    "  --wrong-checksum    the data packets it sends carry a wrong checksum\n"
    "  --wrong-checksum-once  only the first try of each: asked again (09 5A), it sends it right\n"
    "  --help              this text\n"
    "\n"
    "Commands on standard input, one a line:\n"
    "  send NAME...        sends these variables (folder\\name) as from its own menu\n"
    "  fcamera MODE        streams the screen as FCamera does (1 = black and white, 2 = grey)\n"
    "  key CODE            presses a key (calculator key code)\n"
    "  quit                ends the server\n";

tessaly::CableServer* g_server = nullptr;
tessaly::GreyServer* g_greyserver = nullptr;

void onsignal(int) {
    if (g_server) g_server->stop();
    if (g_greyserver) g_greyserver->stop();
}

// Closing the terminal the server runs in hangs it up: it ends as on Ctrl+C, removing its
// link or socket, rather than leaving them for the next server to trip over.
void catchsignals(const struct sigaction& sa) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

int usage(const std::string& problem) {
    std::fprintf(stderr, "tessaly92-vcalc: %s\n\n%s", problem.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tessaly;
    std::string socketpath, greypath, statepath;
    constexpr std::uint32_t kRealPace = 0xFFFFFFFF;  // each cable has a real pace of its own
    std::uint32_t pace = kRealPace;
    Misbehaviour mis;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--socket") {
            if (!value(socketpath)) return usage("--socket needs a path");
        } else if (a == "--grey") {
            if (!value(greypath)) return usage("--grey needs the path of the link to create");
        } else if (a == "--state") {
            if (!value(statepath)) return usage("--state needs a file");
        } else if (a == "--pace") {
            if (!value(v)) return usage("--pace needs instant, real or a number of bits a second");
            if (v == "instant") {
                pace = 0;
            } else if (v == "real") {
                pace = kRealPace;
            } else {
                char* end = nullptr;
                const unsigned long n = std::strtoul(v.c_str(), &end, 10);
                if (v.empty() || *end || n == 0 || n > 10'000'000) return usage("bad pace: " + v);
                pace = static_cast<std::uint32_t>(n);
            }
        } else if (a == "--absent") {
            mis.absent = true;
        } else if (a == "--mute") {
            mis.mute = true;
        } else if (a == "--away") {
            mis.awayfromhome = true;
        } else if (a == "--refuse-headers") {
            mis.refuseheaders = true;
        } else if (a == "--wrong-checksum") {
            mis.wrongchecksum = true;
        } else if (a == "--wrong-checksum-once") {
            mis.wrongchecksumonce = true;
        } else if (a == "--hold-low") {
            if (!value(v) || (v != "A" && v != "B")) return usage("--hold-low needs A or B");
            mis.holdlow = v == "A" ? Misbehaviour::Line::A : Misbehaviour::Line::B;
        } else if (a == "--stop-after") {
            if (!value(v)) return usage("--stop-after needs a number of bytes");
            char* end = nullptr;
            const unsigned long n = std::strtoul(v.c_str(), &end, 10);
            if (v.empty() || *end || v[0] == '-') return usage("bad byte count: " + v);
            mis.stopafterbytes = n;
        } else {
            return usage("unknown option " + a);
        }
    }
    if (socketpath.empty() == greypath.empty()) return usage("give either --socket PATH or --grey PTY-LINK");
    const bool grey = !greypath.empty();

    SystemClock clock;
    VirtualTI92 calc(clock);
    calc.loaddemo();
    calc.settracing(false);  // a long-running server would only pile the bytes up
    if (!grey) calc.setpace(pace == kRealPace ? 40000 : pace);
    calc.misbehaviour() = mis;
    std::string error;
    // Every reason names the file itself.
    if (!statepath.empty() && !calc.attachstate(statepath, &error)) {
        std::fprintf(stderr, "tessaly92-vcalc: %s\n", error.c_str());
        return 2;
    }

    // A change the state file cannot keep is said at once; the calculator goes on.
    calc.onstateerror([](const std::string& why) { std::fprintf(stderr, "tessaly92-vcalc: %s\n", why.c_str()); });
    calc.onnotice([](const std::string& notice) {
        if (!notice.empty()) std::fprintf(stderr, "tessaly92-vcalc: %s\n", notice.c_str());
    });
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = onsignal;  // no SA_RESTART: poll() returns and the loop sees the stop
    if (grey) {
        GreyServer server(calc);
        server.setbaud(pace == kRealPace ? 9600 : pace);
        if (!server.open(greypath, &error)) {
            std::fprintf(stderr, "tessaly92-vcalc: %s\n", error.c_str());
            return 1;
        }
        g_greyserver = &server;
        catchsignals(sa);
        std::printf("grey cable at %s (%s)\n", greypath.c_str(), server.device().c_str());
        std::fflush(stdout);
        server.run(STDIN_FILENO);
        server.close();
        g_greyserver = nullptr;
        if (!calc.stateerror().empty()) {
            std::fprintf(stderr, "tessaly92-vcalc: %s: %s\n", statepath.c_str(), calc.stateerror().c_str());
            return 1;
        }
        return 0;
    }
    CableServer server(calc);
    if (!server.listen(socketpath, &error)) {
        std::fprintf(stderr, "tessaly92-vcalc: %s\n", error.c_str());
        return 1;
    }
    g_server = &server;
    catchsignals(sa);

    std::printf("listening on %s\n", socketpath.c_str());
    std::fflush(stdout);
    server.run(STDIN_FILENO);
    server.close();
    g_server = nullptr;
    if (!calc.stateerror().empty()) {
        std::fprintf(stderr, "tessaly92-vcalc: %s\n", calc.stateerror().c_str());
        return 1;
    }
    return 0;
}
