#include "app/commandline.h"

namespace tessaly::app {

CommandLine parsecommandline(const std::vector<std::string>& parameters) {
    CommandLine cl;
    cl.any = !parameters.empty();
    bool first = true;
    for (const std::string& p : parameters) {
        if (p.size() == 2 && (p[1] == 'i' || p[1] == 'I')) {
            cl.install = true;
            continue;
        }
        if (!first) cl.path += ' ';
        cl.path += p;
        first = false;
    }
    return cl;
}

} // namespace tessaly::app
