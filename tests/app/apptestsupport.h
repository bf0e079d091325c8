#pragma once
#include <QAbstractButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "app/program.h"
#include "link/clock.h"
#include "link/port.h"
#include "link/simulatedcalculator.h"
#include "support/fakecalculator.h"
#include "support/scriptedshell.h"

namespace tessaly::test {

// One of the window's widgets, found by its object name as a user's tool would find it.
template <class W>
W* part(QObject& window, const char* name) {
    W* w = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

// One program with a settings file in a temporary folder, a port and clock of the test's
// own, and the scripted shell answering every dialog.
struct AppRun {
    QTemporaryDir dir;
    SimClock clock;
    std::unique_ptr<Port> port;  // default: a calculator that takes every bit and never answers
    SimulatedCalculator* calculator = nullptr;  // the virtual TI-92 behind port, when it is one
    bool virtuallink = false;    // open the LINK "virtual" as the program does, instead of port
    std::string linkerror;       // as when TESSALY92_LINK could not be read
    bool linkfromsettings = false;  // as without TESSALY92_LINK: the Settings page's cable
    std::string socketpath;      // open the LINK socket:PATH instead of port
    bool usbsocket = false;      // ... usb-socket:PATH: a virtual Titanium's own USB port
    bool systemclock = false;    // the wall clock instead of clock (a calculator in another thread)
    ScriptedShell shell;
    std::unique_ptr<app::Program> program;
    std::vector<std::vector<std::string>> sent;  // sendfilelist calls: paths...
    std::vector<std::pair<bool, bool>> sentflags; // ... with ask and install
    QMetaObject::Connection recording;

    // What the bindings do at one of the window's signals is replaced by handler.
    template <class Signal, class Handler>
    static QMetaObject::Connection replacehandler(app::MainWindow& w, Signal which, Handler handler) {
        QObject::disconnect(&w, which, nullptr, nullptr);
        return QObject::connect(&w, which, &w, handler);
    }

    std::string settingsfile() const { return dir.filePath("config/tessaly.ini").toStdString(); }

    app::AppContext context(std::vector<std::string> parameters = {}) {
        app::AppContext c;
        c.settingsfile = settingsfile();
        c.parameters = std::move(parameters);
        c.exefile = "/opt/tessaly92/tessaly92";
        c.programdir = dir.path().toStdString() + "/";
        c.homedir = c.programdir;
        c.storefolder = dir.path().toStdString();
        if (virtuallink) {
            c.linkspec.kind = LinkSpec::Kind::Virtual;
        } else if (!socketpath.empty()) {
            c.linkspec = LinkSpec{.kind = usbsocket ? LinkSpec::Kind::UsbSocket : LinkSpec::Kind::Socket, .path = socketpath};
        } else {
            if (!port) port = std::make_unique<FakeCalculator>(clock);
            c.port = port.get();
            c.portdescription = "test cable";
            c.calculator = calculator;
        }
        c.linkerror = linkerror;
        c.linkfromsettings = linkfromsettings;
        c.clock = systemclock ? nullptr : &clock;
        c.answerer = &shell;
        return c;
    }

    // Creates the windows; start() shows the main window and waits for its start-up.
    app::MainWindow& create(std::vector<std::string> parameters = {}) {
        program = std::make_unique<app::Program>(context(std::move(parameters)));
        recording = replacehandler(program->mainwindow(), &app::MainWindow::sendfilesasked,
                                   [this](const std::vector<std::string>& paths, bool ask, bool install) {
                                       sent.push_back(paths);
                                       sentflags.emplace_back(ask, install);
                                   });
        return program->mainwindow();
    }
    // The files the window is asked to send are sent, not only recorded.
    void sendforreal() {
        QObject::disconnect(recording);
        program->sendbinding().bindsendfilelist();
    }
    app::MainWindow& start(std::vector<std::string> parameters = {}) {
        app::MainWindow& w = create(std::move(parameters));
        program->start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.startupdone(); }, 5000));
        QTest::qWait(20);  // the first activation follows
        return w;
    }
    app::MainWindow& form() { return program->mainwindow(); }

    template <class W>
    W* find(const char* name) {
        W* w = program->mainwindow().findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void writesettings(const std::string& text);
    std::string readsettings() const;
};

} // namespace tessaly::test
