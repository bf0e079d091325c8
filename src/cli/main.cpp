#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/cli.h"

using namespace tessaly::cli;

namespace {

// What a command reaches: files only, the calculator, or the calculator with files that
// may be made for another model.
enum class Reach { Files, Calculator, Sends };

struct CommandEntry {
    std::string_view name;
    std::string_view usage;
    std::string_view help;
    int (*run)(const Options&, const Args&);
    Reach reach = Reach::Calculator;
};

constexpr CommandEntry kCommandTable[] = {
    {"cables", "cables",
     "list the parallel ports, serial ports and silver USB cables found here, whether each opens\n"
     "      (and why not), and the LINK that picks it. Opening a serial port sets its RTS and DTR",
     cmd_cables, Reach::Files},
    {"ready", "ready",
     "check that the calculator answers (\"Calculator is ready!\"), then name it and its system's\n"
     "      version (\"TI-89, version 2.09\")",
     cmd_ready},
    {"dir", "dir",
     "list the calculator's variables: name, type, size; then its Flash applications, one a line\n"
     "      (name, \"application\", size)",
     cmd_dir},
    {"get", "get NAME... -o FILE [--comment TEXT] [--no-store-folder]\n"
            "      get --from-calc -o FILE [--comment TEXT] [--calc-sends NAME,...]\n"
            "      get APPLICATION -o FILE.89k|FILE.9xk|FILE.v2k",
     "receive variables into one TI-92 group file. NAME is the full name that dir lists\n"
     "      (folder\\name); --no-store-folder keeps only the variable's own name.\n"
     "      --from-calc takes whatever the calculator sends from its own menu; with --link virtual,\n"
     "      --calc-sends tells the virtual TI-92 what to send (a tessaly92-vcalc server is told\n"
     "      with its \"send NAME...\" command instead). An application (as dir lists it) goes into an\n"
     "      application file of the calculator's model",
     cmd_get},
    {"info", "info FILE", "show what a TI-92 file holds", cmd_info, Reach::Files},
    {"ls", "ls [DIR] [--no-desc] [--no-txt] [--no-92]",
     "list the TI-92 and text files of a folder as the file browser does: name, kind, description", cmd_ls, Reach::Files},
    {"describe", "describe FILE [TEXT]",
     "show a TI-92 file's description, or write TEXT as its new one (34 characters at most)", cmd_describe, Reach::Files},
    {"txt2var", "txt2var FILE.txt [-o FILE.92t] [--comment TEXT]",
     "convert a text file (UTF-8, else Latin-1) into a TI-92 text file; the default output is the\n"
     "      variable name (the file name up to its first dot, 8 characters) + .92t beside the input",
     cmd_txt2var, Reach::Files},
    {"var2txt", "var2txt FILE.92t|FILE.92g [NAME]",
     "print the text variables of a TI-92 file (or only NAME, as info lists it) as UTF-8 lines", cmd_var2txt, Reach::Files},
    {"send", "send FILE... [--vars NAME,...] [--libs] [--lib-dir DIR] [--overwrite | --skip-existing] [--os]",
     "send the variables of TI-92 files; --vars only these (folder\\name as info lists them);\n"
     "      a name the calculator holds already is refused (nothing sent) unless --overwrite replaces\n"
     "      it or --skip-existing leaves it out; a locked target is never overwritten;\n"
     "      --libs also the FARGO libraries a program needs, from the program's folder, else --lib-dir.\n"
     "      A Flash application (.89k .9xk .v2k) is installed on the calculator; a system (.89u .9xu\n"
     "      .v2u) replaces the calculator's only with --os (do not unplug the cable until it is done)",
     cmd_send, Reach::Sends},
    {"backup", "backup -o FILE.92b|FILE.89g|FILE.9xg|FILE.v2g [--comment TEXT]",
     "fetch the calculator's memory as a backup file (saved only when it arrived whole); a TI-92 Plus,\n"
     "      Voyage 200, TI-89 or TI-89 Titanium backup is every variable in one group file (.9xg, .v2g, .89g)",
     cmd_backup},
    {"restore", "restore FILE.92b|FILE.89g|FILE.9xg|FILE.v2g",
     "send a backup file back: it replaces the calculator's memory (a later model's group backup\n"
     "      sends its variables back)",
     cmd_restore, Reach::Sends},
    {"screenshot",
     "screenshot -o FILE.png|FILE.bmp|FILE.jpg [--fargo] [--calc-streams 1|2]",
     "copy the calculator's screen into a picture of the size its display shows, in the format\n"
     "      that FILE's extension names: .png .bmp .jpg .jpeg .ppm .pgm .pbm .xpm .xbm;\n"
     "      --fargo listens for FCamera's picture instead (start FCamera, press a key on the calculator);\n"
     "      with --link virtual, --calc-streams has the virtual TI-92's FCamera send in mode 1 or 2\n"
     "      (a tessaly92-vcalc server is told with its \"fcamera MODE\" command)",
     cmd_screenshot},
    {"key", "key KEY... [--text TEXT]",
     "press calculator keys in order: a code, or a name (ENTER ESC APPS MODE CLEAR STO F1..F8 LEFT UP\n"
     "      RIGHT DOWN BACKSPACE INS DEL HOME QUIT ON SPACE); --text types each character of TEXT",
     cmd_key},
    {"install-fargo", "install-fargo --fargo-dir DIR [--send-files] [--lib-dir DIR] [--inserter FILE] [--work-dir DIR]",
     "fetch the calculator's backup, have wputfargo (the installed one, or --inserter) insert FARGO\n"
     "      from DIR, and send it back; --send-files then sends DIR's browser and three libraries.\n"
     "      The backup is kept as backup.~92 in --work-dir (else $XDG_DATA_HOME/tessaly92) when it\n"
     "      has not gone back whole",
     cmd_installfargo},
    {"rm", "rm NAME...", "delete variables (folder\\name as dir lists them) on the calculator", cmd_rm},
    {"mkdir", "mkdir FOLDER", "make a new folder on the calculator", cmd_mkdir},
    {"mv", "mv NAME NEWNAME", "rename a variable, also into another folder (folder\\newname)", cmd_mv},
    {"lock", "lock NAME...", "lock variables, so the calculator neither deletes nor overwrites them", cmd_lock},
    {"unlock", "unlock NAME...", "unlock variables", cmd_unlock},
    {"archive", "archive NAME...", "move variables into the archive (models that have one)", cmd_archive},
    {"unarchive", "unarchive NAME...", "move variables out of the archive (models that have one)", cmd_unarchive},
    {"version", "version", "show the calculator's model and ROM version", cmd_version},
    {"idlist", "idlist", "show the calculator's ID list (03069-D1BA3-FFAB); upgraded later models only", cmd_idlist},
    {"cert", "cert -o FILE.89q|FILE.9xq|FILE.v2q", "save the calculator's certificate as a certificate file", cmd_cert},
    {"clock", "clock [--set now|YYYY-MM-DDTHH:MM:SS]",
     "show the calculator's clock (YYYY-MM-DD HH:MM:SS), or set it to this computer's time or the one\n"
     "      given; systems 2.08 and later on hardware 2 and later",
     cmd_clock},
    {"insert-fargo", "insert-fargo FILE.92b --fargo-dir DIR [--inserter FILE]",
     "have wputfargo insert FARGO into a backup file (the calculator is not touched)", cmd_insertfargo, Reach::Files},
};

const CommandEntry* findcommand(std::string_view name) {
    for (const auto& c : kCommandTable)
        if (c.name == name) return &c;
    return nullptr;
}

void printline(std::FILE* out, std::string_view prefix, std::string_view text) {
    std::fprintf(out, "%.*s%.*s\n", int(prefix.size()), prefix.data(), int(text.size()), text.data());
}

// The options before the command as the usage lines show them. The model ids are spelt out:
// the bash completion and the manual page's synopsis read them from here.
std::string globalusage() {
    return "usage: tessaly92-cli [--link LINK] [--trace FILE] [--no-pacing] [--model " + tessaly::modelids() +
           "] [--any-model] ";
}

// The options a command takes besides its own, after its usage: accepted after the
// command too.
std::string modeloptions(const CommandEntry& c) {
    if (c.reach == Reach::Files) return {};
    return " [--model " + tessaly::modelids() + "]" + (c.reach == Reach::Sends ? " [--any-model]" : "");
}

// "usage: tessaly92-cli [--link LINK] ... send FILE... [--model ...] [--any-model]"; a
// command that reaches no calculator has no cable options.
std::string usageline(const CommandEntry& c) {
    const std::string cable = c.reach == Reach::Files ? "" : "[--link LINK] [--trace FILE] [--no-pacing] ";
    return "usage: tessaly92-cli " + cable + std::string(c.usage) + modeloptions(c);
}

// `COMMAND --help`: its usage and what it and its options do.
int commandhelp(const CommandEntry& c) {
    printline(stdout, usageline(c), "");
    printline(stdout, "\n      ", c.help);
    return kOk;
}

void usage(std::FILE* out) {
    std::fprintf(out, "%sCOMMAND ARGS\n\n", globalusage().c_str());
    std::fprintf(out,
                 "LINK: virtual | virtual:FILE.92g | virtual:MODEL[:FILE] | socket:PATH | ppdev:/dev/parportN | direct:0x378\n"
                 "      | black:/dev/ttyS0 (serial black cable) | grey:/dev/ttyUSB0 (serial grey cable)\n"
                 "      | silver | silver:BUS:ADDR (USB silver cable)\n"
                 "      (default: TESSALY92_LINK, else the parallel port 0378 over ppdev)\n"
                 "--trace FILE  write every byte that crossed the cable to FILE\n"
                 "--no-pacing   on a grey or silver cable, feed the calculator bytes as fast as the cable\n"
                 "              takes them (by default no faster than its ROM reads them)\n"
                 "--model MODEL the calculator on the cable, one of %s (default: whichever\n"
                 "              answers); another one answering is an error\n"
                 "--any-model   send files made for another model than the calculator's all the same\n"
                 "--version     print the version and end\n\n"
                 "commands:\n",
                 tessaly::modelids().c_str());
    for (const auto& c : kCommandTable)
        std::fprintf(out, "  %.*s%s\n      %.*s\n", int(c.usage.size()), c.usage.data(), modeloptions(c).c_str(),
                     int(c.help.size()), c.help.data());
    std::fprintf(out, "\nexit codes: 0 success, 1 the transfer failed, 2 usage error or unreadable file\n");
}

} // namespace

namespace tessaly::cli {
void printusage(std::string_view command) {
    if (const CommandEntry* c = findcommand(command)) printline(stderr, usageline(*c), "");
}
} // namespace tessaly::cli

int main(int argc, char** argv) {
    Options options;
    int i = 1;
    for (; i < argc; ++i) {
        std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return kOk;
        } else if (a == "--version") {
            std::printf("tessaly92-cli %s\n", TESSALY_VERSION);
            return kOk;
        } else if (a == "--link" || a == "--trace") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tessaly92-cli: %s needs a value\n", argv[i]);
                return kUsage;
            }
            (a == "--link" ? options.link : options.trace) = argv[++i];
            // An empty LINK would quietly mean the parallel port: say so instead.
            if (options.link.empty() && a == "--link") {
                std::fprintf(stderr, "tessaly92-cli: --link needs a LINK (virtual, socket:PATH, ppdev:DEVICE, ...)\n");
                return kUsage;
            }
        } else if (a.starts_with("--link=")) {
            options.link = std::string(a.substr(7));
            if (options.link.empty()) {
                std::fprintf(stderr, "tessaly92-cli: --link needs a LINK (virtual, socket:PATH, ppdev:DEVICE, ...)\n");
                return kUsage;
            }
        } else if (a.starts_with("--trace=")) {
            options.trace = std::string(a.substr(8));
        } else if (a == "--no-pacing") {
            options.pacing = false;
        } else if (const std::optional<bool> taken = modeloption(argc, argv, i, options)) {
            if (!*taken) return kUsage;
        } else {
            break;
        }
    }
    if (i >= argc) {
        usage(stderr);
        return kUsage;
    }
    std::string_view name = argv[i];
    const Args args(argv + i + 1, argv + argc);
    if (const CommandEntry* c = findcommand(name)) {
        for (const std::string& a : args)
            if (a == "--help" || a == "-h") return commandhelp(*c);
        // --model and --any-model after the command too, where the command reaches a calculator.
        Args own;
        for (int k = i + 1; k < argc; ++k) {
            const std::optional<bool> taken = c->reach == Reach::Files ? std::nullopt : modeloption(argc, argv, k, options);
            if (!taken) own.emplace_back(argv[k]);
            else if (!*taken) return kUsage;
        }
        return c->run(options, own);
    }
    std::fprintf(stderr, "tessaly92-cli: unknown command \"%s\" (see --help)\n", argv[i]);
    return kUsage;
}
