// tessaly92-vcalc: a virtual TI-92 at the end of a virtual cable (a Unix socket), or behind
// a grey cable (a pseudo-terminal).
#include <array>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

#include "link/clock.h"
#include "vcalc/cableserver.h"
#include "vcalc/greyserver.h"
#include "vcalc/usbserver.h"
#include "vcalc/vcalc.h"

namespace {

constexpr const char* kUsageText =
    "usage: tessaly92-vcalc --socket PATH [options]\n"
    "       tessaly92-vcalc --grey PTY-LINK [options]\n"
    "       tessaly92-vcalc --model ti89t --usb PATH [options]\n"
    "\n"
    "A virtual TI-92 on a virtual cable: a Unix stream socket on which a program\n"
    "drives the two link lines ('w' + drivers byte, 'r' -> lines byte). Or the same\n"
    "calculator behind a grey serial cable: a pseudo-terminal that a program opens\n"
    "with the LINK grey:PTY-LINK and on which packet bytes come and go. Or a\n"
    "TI-89 Titanium's own USB port: a sequenced-packet Unix socket carrying one\n"
    "message per bulk transfer, reached with the LINK usb-socket:PATH.\n"
    "\n"
    "  --socket PATH       the socket to listen on (a stale one is replaced)\n"
    "  --grey PTY-LINK     make a pseudo-terminal and a symbolic link to it at PTY-LINK\n"
    "                      (a stale link of ours is replaced, anything else refused)\n"
    "  --usb PATH          the USB port's socket to listen on (a stale one is replaced)\n"
    "  --model MODEL       which calculator it is (default ti92; MODEL below): its machine\n"
    "                      bytes, packets, types, archive, screen and demo memory\n"
    "  --state FILE.92g    keep the memory in this group file of its model (.92g, .9xg,\n"
    "                      .v2g or .89g; created with the demo memory when missing,\n"
    "                      written back after every change)\n"
    "  --pace instant|real|BITS  how fast the calculator answers: at once, about\n"
    "                      40000 bits a second (the default), or BITS bits a second;\n"
    "                      with --grey the serial line's speed: at once, 9600 baud\n"
    "                      (the default) or BITS baud\n"
    "  --absent            no calculator on the cable: no line ever moves\n"
    "  --mute              takes every byte, answers no packet\n"
    "  --away              away from the home screen: ready checks go unanswered\n"
    "                      (on --usb every exchange is answered busy, 0034)\n"
    "  --os MAJOR.MINOR    the Flash system it runs (a later model; default its own):\n"
    "                      1.00 was never upgraded (no Flash, no ID list, no clock),\n"
    "                      before 2.08 there is no clock\n"
    "  --hardware N        its version answer's hardware revision byte (a first\n"
    "                      hardware has no clock)\n"
    "  --hold-low A|B      holds that line low for ever\n"
    "  --stop-after N      falls silent after N bytes (both ways); on --usb it is\n"
    "                      unplugged there, in the middle of a transfer\n"
    "  --refuse-headers    refuses every variable sent to it\n"
    "  --wrong-checksum    the data packets it sends carry a wrong checksum\n"
    "  --wrong-checksum-once  only the first try of each: asked again (09 5A), it sends it right\n"
    "  --help              this text\n"
    "  --version           print the version and end\n"
    "\n"
    "Commands on standard input, one a line:\n"
    "  send NAME...        sends these variables (folder\\name) as from its own menu\n"
    "  fcamera MODE        streams the screen as FCamera does (1 = black and white, 2 = grey)\n"
    "  key CODE            presses a key (calculator key code)\n"
    "  quit                ends the server\n";

tessaly::CableServer* g_server = nullptr;
tessaly::GreyServer* g_greyserver = nullptr;
tessaly::UsbServer* g_usbserver = nullptr;

void onsignal(int) {
    if (g_server) g_server->stop();
    if (g_greyserver) g_greyserver->stop();
    if (g_usbserver) g_usbserver->stop();
}

// Closing the terminal the server runs in hangs it up: it ends as on Ctrl+C, removing its
// link or socket, rather than leaving them for the next server to trip over.
void catchsignals(const struct sigaction& sa) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

// The models come from the model table, so a new model needs no text changed here.
std::string usagetext() { return std::string(kUsageText) + "\nMODEL: " + tessaly::modelids() + "\n"; }

int usage(const std::string& problem) {
    std::fprintf(stderr, "tessaly92-vcalc: %s\n\n%s", problem.c_str(), usagetext().c_str());
    return 2;
}

constexpr std::uint32_t kRealPace = 0xFFFFFFFF;  // each cable has a real pace of its own

struct Options {
    std::string socketpath, greypath, usbpath, statepath;
    std::uint32_t pace = kRealPace;
    const tessaly::CalculatorModel* model = &tessaly::kTI92;
    tessaly::Misbehaviour mis;
    std::optional<std::array<std::uint8_t, 2>> os;
    std::optional<std::uint8_t> hardware;
};

// "2.09": a major number and two digits of minor, as a version answer carries them.
std::optional<std::array<std::uint8_t, 2>> systemversion(const std::string& v) {
    const auto dot = v.find('.');
    if (dot == 0 || dot == std::string::npos || dot > 2 || v.size() != dot + 3) return std::nullopt;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (i != dot && !std::isdigit(static_cast<unsigned char>(v[i]))) return std::nullopt;
    return std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(std::stoi(v.substr(0, dot))),
                                       static_cast<std::uint8_t>(std::stoi(v.substr(dot + 1)))};
}

// The options that only switch a misbehaviour on.
constexpr struct {
    const char* name;
    bool tessaly::Misbehaviour::*flag;
} kFlags[] = {
    {"--absent", &tessaly::Misbehaviour::absent},
    {"--mute", &tessaly::Misbehaviour::mute},
    {"--away", &tessaly::Misbehaviour::awayfromhome},
    {"--refuse-headers", &tessaly::Misbehaviour::refuseheaders},
    {"--wrong-checksum", &tessaly::Misbehaviour::wrongchecksum},
    {"--wrong-checksum-once", &tessaly::Misbehaviour::wrongchecksumonce},
};

// An option followed by a value (null when the command line ends first): the exit status
// when it is refused, nullopt when it is taken.
std::optional<int> valueoption(const std::string& a, const char* value, Options& o) {
    const std::string v = value ? value : "";
    if (a == "--socket") {
        if (!value) return usage("--socket needs a path");
        o.socketpath = v;
    } else if (a == "--grey") {
        if (!value) return usage("--grey needs the path of the link to create");
        o.greypath = v;
    } else if (a == "--usb") {
        if (!value) return usage("--usb needs a path");
        o.usbpath = v;
    } else if (a == "--model") {
        o.model = value ? tessaly::modelbyid(v) : nullptr;
        if (!o.model) return usage("--model needs one of " + std::string(tessaly::modelids()));
    } else if (a == "--state") {
        if (!value) return usage("--state needs a file");
        o.statepath = v;
    } else if (a == "--pace") {
        if (!value) return usage("--pace needs instant, real or a number of bits a second");
        if (v == "instant") {
            o.pace = 0;
        } else if (v == "real") {
            o.pace = kRealPace;
        } else {
            char* end = nullptr;
            const unsigned long n = std::strtoul(v.c_str(), &end, 10);
            if (v.empty() || *end || n == 0 || n > 10'000'000) return usage("bad pace: " + v);
            o.pace = static_cast<std::uint32_t>(n);
        }
    } else if (a == "--os") {
        o.os = value ? systemversion(v) : std::nullopt;
        if (!o.os) return usage("--os needs a system version such as 2.09");
    } else if (a == "--hardware") {
        char* end = nullptr;
        const unsigned long n = value ? std::strtoul(v.c_str(), &end, 10) : 256;
        if (!value || v.empty() || *end || v[0] == '-' || n > 255) return usage("--hardware needs a number from 0 to 255");
        o.hardware = static_cast<std::uint8_t>(n);
    } else if (a == "--hold-low") {
        if (!value || (v != "A" && v != "B")) return usage("--hold-low needs A or B");
        o.mis.holdlow = v == "A" ? tessaly::Misbehaviour::Line::A : tessaly::Misbehaviour::Line::B;
    } else if (a == "--stop-after") {
        if (!value) return usage("--stop-after needs a number of bytes");
        char* end = nullptr;
        const unsigned long n = std::strtoul(v.c_str(), &end, 10);
        if (v.empty() || *end || v[0] == '-') return usage("bad byte count: " + v);
        o.mis.stopafterbytes = n;
    } else {
        return usage("unknown option " + a);
    }
    return std::nullopt;
}

// The exit status when the program ends here (help, a refused option), else nullopt.
std::optional<int> parseoptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(usagetext().c_str(), stdout);
            return 0;
        }
        if (a == "--version") {
            std::printf("tessaly92-vcalc %s\n", TESSALY_VERSION);
            return 0;
        }
        bool flag = false;
        for (const auto& f : kFlags)
            if (a == f.name) {
                o.mis.*f.flag = true;
                flag = true;
            }
        if (flag) continue;
        if (auto refused = valueoption(a, i + 1 < argc ? argv[i + 1] : nullptr, o)) return refused;
        ++i;
    }
    const int ports = !o.socketpath.empty() + !o.greypath.empty() + !o.usbpath.empty();
    if (ports != 1) return usage("give one of --socket PATH, --grey PTY-LINK or --usb PATH");
    // Only the Titanium has a USB port of its own; the model table tells it by its Flash
    // system's hardware ID.
    if (!o.usbpath.empty() && o.model->hardwareid != tessaly::kTI89Titanium.hardwareid)
        return usage("--usb is the TI-89 Titanium's own port: give --model " + std::string(tessaly::kTI89Titanium.id));
    if ((o.os || o.hardware) && o.model->flashdevice == 0)
        return usage("--os and --hardware are for a model with a Flash system, not the " + std::string(o.model->name));
    return std::nullopt;
}

int rungrey(tessaly::VirtualCalculator& calc, const Options& o, const struct sigaction& sa) {
    tessaly::GreyServer server(calc);
    server.setbaud(o.pace == kRealPace ? 9600 : o.pace);
    std::string error;
    if (!server.open(o.greypath, &error)) {
        std::fprintf(stderr, "tessaly92-vcalc: %s\n", error.c_str());
        return 1;
    }
    g_greyserver = &server;
    catchsignals(sa);
    std::printf("grey cable at %s (%s)\n", o.greypath.c_str(), server.device().c_str());
    std::fflush(stdout);
    server.run(STDIN_FILENO);
    server.close();
    g_greyserver = nullptr;
    if (!calc.stateerror().empty()) {
        std::fprintf(stderr, "tessaly92-vcalc: %s: %s\n", o.statepath.c_str(), calc.stateerror().c_str());
        return 1;
    }
    return 0;
}

int runsocket(tessaly::VirtualCalculator& calc, const Options& o, const struct sigaction& sa) {
    tessaly::CableServer server(calc);
    std::string error;
    if (!server.listen(o.socketpath, &error)) {
        std::fprintf(stderr, "tessaly92-vcalc: %s\n", error.c_str());
        return 1;
    }
    g_server = &server;
    catchsignals(sa);

    std::printf("listening on %s\n", o.socketpath.c_str());
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

int runusb(tessaly::VirtualCalculator& calc, const Options& o, const struct sigaction& sa) {
    tessaly::UsbServer server(calc);
    std::string error;
    if (!server.listen(o.usbpath, &error)) {
        std::fprintf(stderr, "tessaly92-vcalc: %s\n", error.c_str());
        return 1;
    }
    g_usbserver = &server;
    catchsignals(sa);
    std::printf("USB port listening on %s\n", o.usbpath.c_str());
    std::fflush(stdout);
    server.run(STDIN_FILENO);
    server.close();
    g_usbserver = nullptr;
    if (!calc.stateerror().empty()) {
        std::fprintf(stderr, "tessaly92-vcalc: %s\n", calc.stateerror().c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tessaly;
    Options o;
    if (auto done = parseoptions(argc, argv, o)) return *done;
    const bool grey = !o.greypath.empty();

    SystemClock clock;
    VirtualCalculator calc(clock, *o.model);
    calc.loaddemo();
    calc.settracing(false);  // a long-running server would only pile the bytes up
    if (!grey) calc.setpace(o.pace == kRealPace ? 40000 : o.pace);
    calc.misbehaviour() = o.mis;
    std::string error;
    // Every reason names the file itself.
    if (!o.statepath.empty() && !calc.attachstate(o.statepath, &error)) {
        std::fprintf(stderr, "tessaly92-vcalc: %s\n", error.c_str());
        return 2;
    }
    // A calculator played as another system or hardware is that, whatever its state file says.
    if (o.os) {
        calc.flash().os = *o.os;
        calc.flash().waiting = false;
        if (!calc.flash().upgraded()) calc.flash().applications.clear();
    }
    if (o.hardware) calc.flash().hardwarerevision = *o.hardware;

    // A change the state file cannot keep is said at once; the calculator goes on.
    calc.onstateerror([](const std::string& why) { std::fprintf(stderr, "tessaly92-vcalc: %s\n", why.c_str()); });
    calc.onnotice([](const std::string& notice) {
        if (!notice.empty()) std::fprintf(stderr, "tessaly92-vcalc: %s\n", notice.c_str());
    });
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = onsignal;  // no SA_RESTART: poll() returns and the loop sees the stop
    if (!o.usbpath.empty()) return runusb(calc, o, sa);
    return grey ? rungrey(calc, o, sa) : runsocket(calc, o, sa);
}
