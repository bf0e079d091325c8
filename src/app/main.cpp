#include <QApplication>
#include <cstdio>

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
    if (!spec) {
        std::fprintf(stderr, "tessaly92: %s\n", error.c_str());
        return 2;
    }
    context.linkspec = *spec;
    Program program(context);
    program.start();
    return app.exec();
}
