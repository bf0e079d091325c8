#include <cstdio>
#include <string_view>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/pictureformats.h"
#include "files/safefile.h"
#include "files/screenpicture.h"
#include "transfers/screenshot.h"
#include "transfers/session.h"

namespace tessaly::cli {

int cmd_screenshot(const Options& options, const Args& args) {
    std::string output;
    bool fargo = false;
    int streammode = 0;  // --calc-streams: what the in-process virtual TI-92's FCamera sends
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--fargo") {
            fargo = true;
        } else if (a == "--calc-streams" || a == "-o" || a == "--output") {
            std::string value;
            if (!optionvalue(args, i, value)) return kUsage;
            if (a != "--calc-streams") {
                output = value;
                continue;
            }
            if (value != "1" && value != "2") {
                std::fprintf(stderr, "tessaly92-cli: screenshot: %s is not a mode of --calc-streams: 1 (black and white) or 2 (greys)\n",
                             value.c_str());
                return kUsage;
            }
            streammode = value[0] - '0';
            fargo = true;
        } else {
            std::fprintf(stderr, "tessaly92-cli: screenshot: unknown option %s\n", args[i].c_str());
            printusage("screenshot");
            return kUsage;
        }
    }
    if (output.empty()) {
        std::fprintf(stderr, "tessaly92-cli: screenshot needs -o FILE\n");
        printusage("screenshot");
        return kUsage;
    }
    std::string error;
    // Known before the cable opens: a name that is no picture's costs no transfer.
    if (!pictureformat(output)) {
        std::fprintf(stderr, "tessaly92-cli: %s\n", unknownpictureformat(output).c_str());
        return kUsage;
    }
    if (!savetarget(output, &error)) {
        std::fprintf(stderr, "tessaly92-cli: %s\n", error.c_str());
        return kUsage;
    }

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
