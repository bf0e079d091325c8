#include <cstdio>
#include <ctime>
#include <string_view>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/filename.h"
#include "files/flashfile.h"
#include "files/safefile.h"
#include "link/byteorder.h"
#include "transfers/flash.h"
#include "transfers/session.h"

namespace tessaly::cli {

namespace {

// The one argument-free shape idlist shares with the others: anything more is a usage error.
bool noarguments(std::string_view command, const Args& args) {
    if (args.empty()) return true;
    std::fprintf(stderr, "tessaly92-cli: %.*s: unexpected argument %s\n", int(command.size()), command.data(),
                 args[0].c_str());
    printusage(command);
    return false;
}

// A received Flash file written under its name, whose extension must be the model's for
// that kind (.89k for a TI-89's application, say); false after saying why, nothing written.
bool writeflash(Link& link, TransferState& state, const std::string& output, const FlashFile& file) {
    const std::string want = flashsuffix(link.model(), file.parts.front().datatype);
    const std::string name = std::filesystem::path(output).filename().string();
    if (name.size() <= want.size() || upstring(name.substr(name.size() - want.size())) != upstring(want)) {
        state.linkok = false;
        state.pendingerror = "The " + std::string(link.model().name) + "'s " + flashkindname(file.parts.front().datatype) +
                             " goes into a " + want + " file, not " + name + ". Nothing was written.";
        return false;
    }
    std::string error;
    if (!writeflashfile(output, file, &error)) {
        state.linkok = false;
        state.pendingerror = error;
        return false;
    }
    return true;
}

// Learnt before the cable opens, as a transfer can take minutes; false after saying why.
bool writable(const std::string& output) {
    std::string why;
    if (savetarget(output, &why)) return true;
    std::fprintf(stderr, "tessaly92-cli: %s\n", terminaltext(why).c_str());
    return false;
}

// -o FILE and nothing else; nullopt after saying what is wrong.
std::optional<std::string> outputonly(std::string_view command, const Args& args) {
    std::string output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            if (!optionvalue(args, i, output)) return std::nullopt;
        } else {
            std::fprintf(stderr, "tessaly92-cli: %.*s: unexpected argument %s\n", int(command.size()), command.data(),
                         args[i].c_str());
            printusage(command);
            return std::nullopt;
        }
    }
    if (output.empty()) {
        printusage(command);
        return std::nullopt;
    }
    if (!writable(output)) return std::nullopt;
    return output;
}

// "now" (this computer's local time) or YYYY-MM-DDTHH:MM:SS.
std::optional<CalculatorClock> parsetime(const std::string& text) {
    CalculatorClock c;
    if (text == "now") {
        const std::time_t now = std::time(nullptr);
        std::tm t{};
        if (!localtime_r(&now, &t)) return std::nullopt;
        c.year = static_cast<std::uint16_t>(t.tm_year + 1900);
        c.month = static_cast<std::uint8_t>(t.tm_mon + 1);
        c.day = static_cast<std::uint8_t>(t.tm_mday);
        c.hour = static_cast<std::uint8_t>(t.tm_hour);
        c.minute = static_cast<std::uint8_t>(t.tm_min);
        c.second = static_cast<std::uint8_t>(std::min(t.tm_sec, 59));
        return c;
    }
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) return std::nullopt;
    static constexpr unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1997 || y > 2132 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap) ||
        h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    c.year = static_cast<std::uint16_t>(y);
    c.month = static_cast<std::uint8_t>(mo);
    c.day = static_cast<std::uint8_t>(d);
    c.hour = static_cast<std::uint8_t>(h);
    c.minute = static_cast<std::uint8_t>(mi);
    c.second = static_cast<std::uint8_t>(s);
    return c;
}

} // namespace

int cmd_idlist(const Options& options, const Args& args) {
    if (!noarguments("idlist", args)) return kUsage;
    int code = kFailed;
    auto cl = CliLink::open(options, nullptr, &code);
    if (!cl) return code;
    TerminalProgress progress(cl->link().pump());
    std::optional<std::string> id;
    {
        TransferSession session(cl->state(), progress);
        id = receiveidlist(cl->link(), progress);
    }
    progress.endbar();
    if (id && cl->state().linkok) std::printf("%s\n", id->c_str());
    return finish(cl->state(), &cl->link(), &progress);
}

int cmd_cert(const Options& options, const Args& args) {
    const auto output = outputonly("cert", args);
    if (!output) return kUsage;
    int code = kFailed;
    auto cl = CliLink::open(options, nullptr, &code);
    if (!cl) return code;
    TerminalProgress progress(cl->link().pump());
    {
        TransferSession session(cl->state(), progress);
        const auto file = receivecertificate(cl->link(), progress);
        if (file) writeflash(cl->link(), cl->state(), *output, *file);
    }
    progress.endbar();
    return finish(cl->state(), &cl->link(), &progress);
}

int cmd_clock(const Options& options, const Args& args) {
    std::string set;
    bool setting = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--set") {
            if (!optionvalue(args, i, set)) return kUsage;
            setting = true;
        } else {
            std::fprintf(stderr, "tessaly92-cli: clock: unexpected argument %s\n", args[i].c_str());
            printusage("clock");
            return kUsage;
        }
    }
    std::optional<CalculatorClock> wanted;
    if (setting && !(wanted = parsetime(set))) {
        std::fprintf(stderr, "tessaly92-cli: clock: --set takes now or a date and time as YYYY-MM-DDTHH:MM:SS "
                             "(1997 to 2132), not %s\n", terminaltext(set).c_str());
        return kUsage;
    }
    int code = kFailed;
    auto cl = CliLink::open(options, nullptr, &code);
    if (!cl) return code;
    TerminalProgress progress(cl->link().pump());
    std::optional<CalculatorClock> clock;
    {
        TransferSession session(cl->state(), progress);
        clock = readclock(cl->link(), progress);
        // The calculator keeps its own way of showing dates and times.
        if (clock && wanted) {
            wanted->dateformat = clock->dateformat;
            wanted->timeformat = clock->timeformat;
            if (setclock(cl->link(), progress, *wanted)) clock = wanted;
        }
    }
    progress.endbar();
    if (clock && cl->state().linkok) std::printf("%s\n", clocktext(*clock).c_str());
    return finish(cl->state(), &cl->link(), &progress);
}

int getapplication(const Options& options, const std::string& name, const std::string& output) {
    if (!writable(output)) return kUsage;
    int code = kFailed;
    auto cl = CliLink::open(options, nullptr, &code);
    if (!cl) return code;
    TerminalProgress progress(cl->link().pump());
    {
        TransferSession session(cl->state(), progress);
        const auto file = receiveapplication(cl->link(), progress, name);
        if (file) writeflash(cl->link(), cl->state(), output, *file);
    }
    progress.endbar();
    return finish(cl->state(), &cl->link(), &progress);
}

} // namespace tessaly::cli
