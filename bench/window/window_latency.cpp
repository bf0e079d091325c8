// How long the window keeps a user waiting while it receives from a slow calculator.
//
// Starts tessaly92-vcalc with a 20 KB program at the given pace, opens the real main
// window on it (offscreen unless QT_QPA_PLATFORM says otherwise), lists the calculator and
// receives the program. Meanwhile another thread posts an event to the window every 5 ms,
// each handled by switching the notebook's page as a click on a tab would; the time from
// posting to the end of its handling is a click's wait. After --cancel-after ms a posted
// event presses Cancel, and the time from then to the end of the transfer is Cancel's wait.
// With --flash BYTES the window instead sends a Flash application of that size to a virtual
// TI-89, as a dropped file goes.
//
//   build/bench/window_latency --cable socket|grey [--pace BITS] [--size BYTES] [--flash BYTES] [--cancel-after MS]
//
// tessaly92-vcalc is looked for beside the tool's build folder (../src), else TESSALY92_VCALC.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTabWidget>
#include <QToolButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/mainwindow.h"
#include "app/program.h"
#include "files/flashfile.h"
#include "link/linkspec.h"
#include "support/flashsamples.h"
#include "support/scriptedshell.h"
#include "vcalc/statefile.h"
#include "vcalc/vcalc.h"

using namespace tessaly;
using Steady = std::chrono::steady_clock;

namespace {

struct Stamped final : QEvent {
    static const QEvent::Type kType;
    Steady::time_point posted;
    bool cancel;
    Stamped(Steady::time_point when, bool stop) : QEvent(kType), posted(when), cancel(stop) {}
};
const QEvent::Type Stamped::kType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct Probe final : QObject {
    app::MainWindow* window = nullptr;
    std::vector<double> waits;  // ms, one a handled click
    Steady::time_point cancelled{};
    double cancelwait = -1;
    bool event(QEvent* e) override {
        if (e->type() != Stamped::kType) return QObject::event(e);
        auto* s = static_cast<Stamped*>(e);
        if (s->cancel) {
            window->findChild<QToolButton*>(QStringLiteral("cancelbtn"))->click();
            cancelled = Steady::now();
            cancelwait = ms(cancelled - s->posted);
            return true;
        }
        auto* notebook = window->findChild<QTabWidget*>(QStringLiteral("notebook"));
        notebook->setCurrentIndex(notebook->currentIndex() == 0 ? 1 : 0);
        waits.push_back(ms(Steady::now() - s->posted));
        return true;
    }
    static double ms(Steady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
};

struct Options {
    QString cable = "socket";
    QString pace = "2000";
    int size = 20000;
    int flash = 0;  // bytes of an application to send instead of receiving
    int cancelafter = 3000;
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const QString a = argv[i], v = argv[i + 1];
        if (a == "--cable") o.cable = v;
        else if (a == "--pace") o.pace = v;
        else if (a == "--size") o.size = v.toInt();
        else if (a == "--flash") o.flash = v.toInt();
        else if (a == "--cancel-after") o.cancelafter = v.toInt();
        else return false;
    }
    return (argc % 2 == 1) && (o.cable == "socket" || o.cable == "grey") && o.size > 0 && o.size < 65000 &&
           o.flash >= 0 && o.flash <= (4 << 20);
}

// Runs the event loop until ready() or two seconds have passed.
template <class F>
bool waitfor(F ready) {
    const auto until = Steady::now() + std::chrono::seconds(2);
    while (!ready() && Steady::now() < until) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ready();
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: window_latency [--cable socket|grey] [--pace BITS] [--size BYTES] [--flash BYTES] [--cancel-after MS]\n");
        return 2;
    }
    QTemporaryDir dir;
    CalcVariable big{"big", 0x12, {static_cast<std::uint8_t>(o.size >> 8), static_cast<std::uint8_t>(o.size & 0xFF)}, false};
    for (int i = 0; i < o.size; ++i) big.data.push_back(static_cast<std::uint8_t>(i * 13));
    CalcMemory memory;
    memory.folders = {CalcFolder{"main", {big}}};
    std::string error;
    const CalculatorModel& model = o.flash ? kTI89 : kTI92;
    const QString state = dir.filePath(o.flash ? "calc.89g" : "calc.92g");
    if (!savecalcmemory(state.toStdString(), memory, &error, model)) return std::fprintf(stderr, "%s\n", error.c_str()), 1;

    QString vcalc = qEnvironmentVariable("TESSALY92_VCALC");
    if (vcalc.isEmpty()) vcalc = QCoreApplication::applicationDirPath() + "/../src/tessaly92-vcalc";
    const QString end = dir.filePath(o.cable == "grey" ? "pty" : "sock");
    QProcess server;
    server.start(vcalc, {o.cable == "grey" ? "--grey" : "--socket", end, "--state", state, "--pace", o.pace, "--model",
                         QString::fromUtf8(model.id.data(), static_cast<int>(model.id.size()))});
    if (!server.waitForStarted() || !waitfor([&] { return QFile::exists(end); })) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(vcalc));
        return 1;
    }

    test::ScriptedShell shell;
    app::AppContext context;
    context.settingsfile = dir.filePath("tessaly.ini").toStdString();
    context.programdir = dir.path().toStdString() + "/";
    context.homedir = context.programdir;
    context.storefolder = dir.path().toStdString();
    context.linkspec = *parselinkspec((o.cable + ":" + end).toStdString(), &error);
    context.answerer = &shell;
    {
        QFile settings(QString::fromStdString(context.settingsfile));
        settings.open(QIODevice::WriteOnly);
        settings.write("[Settings]\nCheck_Start=0\nUpdate_Start=0\n");
    }
    app::Program program(context);
    program.start();
    app::MainWindow& w = program.mainwindow();
    w.findChild<QAbstractButton*>("updatebutton")->click();
    auto* list = w.findChild<QTreeWidget*>("variablelist");
    if (list->topLevelItemCount() < 1) return std::fprintf(stderr, "the listing failed\n"), 1;
    if (!o.flash) list->topLevelItem(0)->setSelected(true);
    const std::string flashfile = dir.filePath("tool.89k").toStdString();
    if (o.flash && !writeflashfile(flashfile, samples::application(model, "tool", static_cast<std::size_t>(o.flash)), &error))
        return std::fprintf(stderr, "%s\n", error.c_str()), 1;

    Probe probe;
    probe.window = &w;
    std::atomic<bool> running{true};
    const auto start = Steady::now();
    std::thread poster([&] {
        bool cancelsent = false;
        while (running) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const auto now = Steady::now();
            const bool cancel = !cancelsent && now - start >= std::chrono::milliseconds(o.cancelafter);
            cancelsent = cancelsent || cancel;
            QCoreApplication::postEvent(&probe, new Stamped(now, cancel));
        }
    });
    if (o.flash) emit w.sendfilesasked({flashfile}, false, false);
    else w.findChild<QAbstractButton*>("receivebutton")->click();
    const auto stopped = Steady::now();
    running = false;
    poster.join();
    server.write("quit\n");
    server.waitForFinished(2000);

    std::printf("cable %s, pace %s, %d bytes: %zu clicks during %.0f ms of %s\n", qPrintable(o.cable), qPrintable(o.pace),
                o.flash ? o.flash : o.size, probe.waits.size(), Probe::ms(stopped - start),
                o.flash ? "sending a Flash application" : "receiving");
    std::printf("click wait: median %.1f ms, 99th percentile %.1f ms, max %.1f ms\n", percentile(probe.waits, 0.5),
                percentile(probe.waits, 0.99), percentile(probe.waits, 1.0));
    if (probe.cancelwait >= 0)
        std::printf("Cancel: pressed %.1f ms after the click, transfer ended %.1f ms after the press\n", probe.cancelwait,
                    Probe::ms(stopped - probe.cancelled));
    else
        std::printf("Cancel: the receive ended before it was pressed\n");
    return 0;
}
