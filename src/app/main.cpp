#include <QApplication>
#include <cstdlib>

#include "app/program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    using namespace tessaly::app;
    AppContext context;
    for (int i = 1; i < argc; ++i) context.parameters.emplace_back(argv[i]);
    context.exefile = QCoreApplication::applicationFilePath().toStdString();
    context.programdir = QCoreApplication::applicationDirPath().toStdString() + "/";
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
