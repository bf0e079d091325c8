#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/pictureformats.h"
#include "files/safefile.h"
#include "files/screenpicture.h"
#include "transfers/screenshot.h"
#include "transfers/session.h"

namespace tessaly::cli {

namespace {

struct ScreenshotOptions {
    std::string output;
    bool fargo = false;
    int streammode = 0;  // --calc-streams: what the in-process virtual TI-92's FCamera sends
};

// The options, and the output name checked before the cable opens: a name that is no
// picture's, or that cannot be written, costs no transfer.
std::optional<ScreenshotOptions> parse(const Args& args) {
    ScreenshotOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--fargo") {
            o.fargo = true;
        } else if (a == "--calc-streams" || a == "-o" || a == "--output") {
            std::string value;
            if (!optionvalue(args, i, value)) return std::nullopt;
            if (a != "--calc-streams") {
                o.output = value;
                continue;
            }
            if (value != "1" && value != "2") {
                std::fprintf(stderr, "tessaly92-cli: screenshot: %s is not a mode of --calc-streams: 1 (black and white) or 2 (greys)\n",
                             value.c_str());
                return std::nullopt;
            }
            o.streammode = value[0] - '0';
            o.fargo = true;
        } else {
            std::fprintf(stderr, "tessaly92-cli: screenshot: unknown option %s\n", args[i].c_str());
            printusage("screenshot");
            return std::nullopt;
        }
    }
    if (o.output.empty()) {
        std::fprintf(stderr, "tessaly92-cli: screenshot needs -o FILE\n");
        printusage("screenshot");
        return std::nullopt;
    }
    std::string error;
    if (!pictureformat(o.output)) {
        std::fprintf(stderr, "tessaly92-cli: %s\n", unknownpictureformat(o.output).c_str());
        return std::nullopt;
    }
    if (!savetarget(o.output, &error)) {
        std::fprintf(stderr, "tessaly92-cli: %s\n", error.c_str());
        return std::nullopt;
    }
    return o;
}

} // namespace

int cmd_screenshot(const Options& options, const Args& args) {
    const std::optional<ScreenshotOptions> parsed = parse(args);
    if (!parsed) return kUsage;
    const auto& [output, fargo, streammode] = *parsed;
    std::string error;
    int code = kFailed;
    auto cl = CliLink::open(options, &error, &code);
    if (!cl) return code;
    if (streammode != 0) {
        SimulatedCalculator* calc = cl->cable().calculator();
        if (!calc) {
            std::fprintf(stderr, "tessaly92-cli: --calc-streams needs the in-process virtual TI-92 (--link virtual); "
                                 "tell a tessaly92-vcalc server with its \"fcamera MODE\" command\n");
            return kUsage;
        }
        calc->fcamerastream(streammode);
    }

    TerminalProgress progress(cl->link().pump());
    ScreenshotResult result;
    {
        TransferSession session(cl->state(), progress);
        if (fargo) std::fprintf(stderr, "%s\n", std::string(kFCameraHelpText).c_str());
        result = fargo ? getfargoscreenshot(cl->link(), progress) : getscreenshot(cl->link(), progress);
    }
    progress.endbar();
    // Half a picture is no screenshot: the file is written only when all of it arrived.
    if (!result.complete || !cl->state().linkok) return finish(cl->state(), &cl->link(), &progress);
    if (!savepicture(output, result.picture, &error)) {
        std::fprintf(stderr, "tessaly92-cli: %s\n", error.c_str());
        return kFailed;
    }
    return kOk;
}

} // namespace tessaly::cli
