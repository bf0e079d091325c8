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
#include "support/scriptedshell.h"

namespace tessaly::test {

// A calculator that takes every bit the computer sends and never answers: it pulls the
// other line while the computer pulls one. Each access moves simulated time a little, so
// a byte timeout costs no real time.
class MuteCalculatorPort final : public Port {
public:
    explicit MuteCalculatorPort(SimClock& clock) : m_clock(clock) {}
    void outport(std::uint16_t port, std::uint8_t value) override {
        lastaddress = port;
        m_data = value;
        m_clock.advance(10);
    }
    std::uint8_t inport(std::uint16_t port) override {
        lastaddress = port;
        m_clock.advance(10);
        const bool pulled = (m_data & 3) != 3;
        return pulled ? 0 : (kStatusLineA | kStatusLineB);
    }
    std::uint16_t lastaddress = 0;

private:
    SimClock& m_clock;
    std::uint8_t m_data = 0xFF;
};

// One program with a settings file in a temporary folder, a port and clock of the test's
// own, and the scripted shell answering every dialog.
struct AppRun {
    QTemporaryDir dir;
    SimClock clock;
    std::unique_ptr<Port> port;
    VirtualTI92* calculator = nullptr;  // the virtual TI-92 behind port, when it is one
    ScriptedShell shell;
    std::unique_ptr<app::Program> program;
    std::vector<std::vector<std::string>> sent;  // sendfilelist calls: paths...
    std::vector<std::pair<bool, bool>> sentflags; // ... with ask and install

    std::string settingsfile() const { return dir.filePath("config/tessaly.ini").toStdString(); }

    app::AppContext context(std::vector<std::string> parameters = {}) {
        app::AppContext c;
        c.settingsfile = settingsfile();
        c.parameters = std::move(parameters);
        c.exefile = "/opt/tessaly92/tessaly92";
        c.programdir = dir.path().toStdString() + "/";
        if (!port) port = std::make_unique<MuteCalculatorPort>(clock);
        c.port = port.get();
        c.portdescription = "test cable";
        c.calculator = calculator;
        c.virtualcalculator = calculator != nullptr;
        c.clock = &clock;
        c.answerer = &shell;
        return c;
    }

    // Creates the windows; start() shows the main window and waits for its start-up.
    app::TForm1& create(std::vector<std::string> parameters = {}) {
        program = std::make_unique<app::Program>(context(std::move(parameters)));
        program->mainwindow().setsendfilelist([this](const std::vector<std::string>& paths, bool ask, bool install) {
            sent.push_back(paths);
            sentflags.emplace_back(ask, install);
        });
        return program->mainwindow();
    }
    app::TForm1& start(std::vector<std::string> parameters = {}) {
        app::TForm1& w = create(std::move(parameters));
        program->start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.startupdone(); }, 5000));
        QTest::qWait(20);  // the first activation follows
        return w;
    }
    app::TForm1& form() { return program->mainwindow(); }

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
