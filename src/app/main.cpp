#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/program.h"
#include "files/packagestore.h"

namespace {

constexpr const char* kHelp =
    "Usage: tessaly92 [FILE] [/i]\n"
    "\n"
    "The TI-92 link program's window: it lists the calculator's variables and receives\n"
    "them into TI-92 files, sends TI-92 files, takes screenshots, fetches and restores\n"
    "backups, installs FARGO and converts texts. With FILE it starts by sending that file:\n"
    "it asks whether to save a copy first and, for a FARGO program, whether to send the\n"
    "libraries it needs. A path that the shell split at its blanks is joined again.\n"
    "\n"
    "Options:\n"
    "  /i, -i       send the libraries a FARGO program needs without asking, then end\n"
    "  --help       print this text and end\n"
    "  --version    print the version and end\n"
    "\n"
    "Environment:\n"
    "  TESSALY92_LINK  the cable to use, as tessaly92-cli's --link takes it (virtual,\n"
    "                  socket:PATH, ppdev:/dev/parport0, ...); without it, the cable chosen\n"
    "                  on the Settings page\n";

} // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so they work where there is no display (and for help2man).
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tessaly92 %s\n", TESSALY_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    using namespace tessaly::app;
    AppContext context;
    for (int i = 1; i < argc; ++i) context.parameters.emplace_back(argv[i]);
    context.exefile = QCoreApplication::applicationFilePath().toStdString();
    context.programdir = QCoreApplication::applicationDirPath().toStdString() + "/";
    context.homedir = QDir::homePath().toStdString() + "/";
    context.storefolder = tessaly::packagestorefolder(context.programdir);
    std::string error;
    const auto spec = tessaly::linkspecfromenvironment(&error);
    // A wrong TESSALY92_LINK still opens the window, which says what is wrong with it.
    if (spec)
        context.linkspec = *spec;
    else
        context.linkerror = "TESSALY92_LINK: " + error;
    // Without it the cable chosen on the Settings page is opened.
    const char* link = std::getenv("TESSALY92_LINK");
    context.linkfromsettings = !link || !*link;
    Program program(context);
    program.start();
    return app.exec();
}
