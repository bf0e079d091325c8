#include <QApplication>
#include <cstdio>

#include "app/portbinding.h"
#include "app/program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    using namespace tessaly::app;
    AppContext context;
    for (int i = 1; i < argc; ++i) context.parameters.emplace_back(argv[i]);
    context.exefile = QCoreApplication::applicationFilePath().toStdString();
    context.programdir = QCoreApplication::applicationDirPath().toStdString() + "/";
    std::string error;
    context.linkspec = linkspecfromenv(&error);
    if (!error.empty()) std::fprintf(stderr, "tessaly92: %s\n", error.c_str());
    Program program(context);
    program.start();
    return app.exec();
}
