#include <cstdio>

#include "cli/cli.h"
#include "link/cablelist.h"

namespace tessaly::cli {

int cmd_cables(const Options&, const Args& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "tessaly92-cli: cables takes no arguments\n");
        printusage("cables");
        return kUsage;
    }
    const std::vector<FoundCable> found = listcables();
    struct Section {
        FoundCable::Kind kind;
        const char* title;
        const char* none;
    };
    const Section sections[] = {
        {FoundCable::Kind::Parallel, "Parallel ports (parallel cable):", "no parallel port"},
        {FoundCable::Kind::Serial, "Serial ports (black or grey serial cable):", "no serial port"},
        {FoundCable::Kind::Silver, "Silver USB cables (0451:e001):", "no silver cable plugged in"},
        {FoundCable::Kind::Titanium, "TI-89 Titanium on its USB cable (0451:e004):", "no TI-89 Titanium on the USB"},
    };
    for (const Section& section : sections) {
        std::printf("%s\n", section.title);
        bool any = false;
        for (const FoundCable& c : found) {
            if (c.kind != section.kind) continue;
            any = true;
            std::printf("  %-24s --link %-28s %s\n", c.where.c_str(), c.link.c_str(), c.usable ? "opens" : "does not open");
            // The same port takes either serial cable; only the LINK says which is plugged in.
            if (c.kind == FoundCable::Kind::Serial)
                std::printf("  %-24s --link %s\n", "", ("grey:" + c.where).c_str());
            if (!c.usable) std::printf("      %s\n", c.problem.c_str());
        }
        if (!any) std::printf("  (%s)\n", section.none);
    }
    if (found.empty())
        std::printf("\nNo port or cable was found. Without a cable, try --link virtual.\n");
    return kOk;
}

} // namespace tessaly::cli
