// Every exchange over the grey cable (a pseudo-terminal to the virtual TI-92 behind it)
// against the same exchange over the parallel cable: the same results, the same packets.
#include <gtest/gtest.h>

#include <thread>

#include "link/ports/greyport.h"
#include "transfers/readiness.h"
#include "transfers/remotekeys.h"
#include "transfers/screenshot.h"
#include "transfers/sendrig.h"
#include "vcalc/greyserver.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

// The computer's side of either cable: what an exchange needs, and the calculator.
struct Side : ReceiveSide {
    TempDir files;
    TransferState state;
    MemoryTrace trace;
    virtual ~Side() = default;
    virtual Link& link() = 0;
    virtual VirtualCalculator& calc() = 0;
    virtual void start() {}
    // After this the calculator may be looked at.
    virtual void stop() {}
};

struct ParallelSide final : Side {
    SimClock clock;
    VirtualCalculator vc{clock};
    VirtualPort port{vc, &clock};
    Link l{port, clock, shell, state};
    ParallelSide() {
        vc.loaddemo();
        vc.setpace(0);
        l.settrace(&trace);
        l.releaselines();
    }
    Link& link() override { return l; }
    VirtualCalculator& calc() override { return vc; }
};

struct GreySide final : Side {
    SystemClock clock;
    VirtualCalculator vc{clock};
    GreyServer server{vc};
    std::thread serving;
    std::unique_ptr<GreyPort> port;
    std::unique_ptr<Link> l;
    bool late = false;  // the server looks at the port only once a ready check waits in it
    GreySide() { vc.loaddemo(); }
    ~GreySide() override { stop(); }
    void start() override {
        std::string error;
        const std::string path = (files.path() / "ti92").string();
        ASSERT_TRUE(server.open(path, &error)) << error;
        if (!late) serving = std::thread([this] { server.run(); });
        port = std::make_unique<GreyPort>(path, false);
        ASSERT_TRUE(port->open()) << port->openerror();
        if (late) {
            ASSERT_TRUE(port->write(std::array<std::uint8_t, 4>{0x09, 0x68, 0x00, 0x00}));
            serving = std::thread([this] { server.run(); });
        }
        EXPECT_NE(port->warning().find("no modem lines"), std::string::npos);
        l = std::make_unique<Link>(*port, clock, shell, state);
        l->settrace(&trace);
    }
    void stop() override {
        server.stop();
        if (serving.joinable()) serving.join();
    }
    Link& link() override { return *l; }
    VirtualCalculator& calc() override { return vc; }
};

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += n + ";";
    return out;
}

struct ExchangeCase {
    const char* name;
    void (*setup)(Side&);
    // What the exchange brought, as text to compare.
    std::string (*run)(Side&);
};

void nothing(Side&) {}

const ExchangeCase kCases[] = {
    {"ready", nothing,
     [](Side& s) {
         TransferSession session(s.state, s.shell);
         return std::to_string(readinessexchange(s.link()));
     }},
    {"listing", nothing,
     [](Side& s) {
         TransferSession session(s.state, s.shell);
         std::string out;
         for (const ListRow& r : directorylisting(s.link(), s.shell).rows) out += r.caption + " " + typetext(kTI92, r) + ";";
         return out;
     }},
    {"receive", nothing,
     [](Side& s) {
         TransferSession session(s.state, s.shell);
         ReceiveTarget into = s.target(false);
         const auto r = receiverequested(s.link(), into,
                                         {{"main\\notes", 0x0B}, {"work\\mat", 0x06}, {"main\\nosuch", 0x00}});
         return joined(r.received) + "|" + joined(r.notreceived) + "|" + std::to_string(s.storedata().size());
     }},
    {"from calc", [](Side& s) { s.calc().sendfromcalc({"work\\list", "games\\tetris"}, nullptr); },
     [](Side& s) {
         TransferSession session(s.state, s.shell);
         ReceiveTarget into = s.target(true);
         return joined(receivefromcalc(s.link(), into).received) + "|" + std::to_string(s.storedata().size());
     }},
    {"send, one refused", nothing,
     [](Side& s) {
         const Bytes content(600, 0x2A);
         const auto path = s.files / "two.92g";
         writebytes(path, groupfile({{"main", 0, {}, true},
                                     {"big", 0x0B, stored(content)},
                                     {"secret", 0x0C, stored({1, 2, 3})}}));
         TransferSession session(s.state, s.shell);
         const SendResult r = sendvariables(s.link(), s.shell, path);
         return joined(r.sent) + "|" + joined(r.notsent);
     }},
    {"backup", nothing,
     [](Side& s) {
         TransferSession session(s.state, s.shell);
         std::string comment = "mine";
         const auto dest = s.files / "b.92b";
         const bool ok = fetchbackup(s.link(), s.shell, s.store, dest, comment);
         return std::to_string(ok) + "|" + std::to_string(std::filesystem::file_size(dest));
     }},
    {"restore", nothing,
     [](Side& s) {
         const auto path = s.files / "r.92b";
         writebytes(path, backupfile(2500));
         TransferSession session(s.state, s.shell);
         return std::to_string(sendbackup(s.link(), s.shell, path).sent);
     }},
    {"screenshot", nothing,
     [](Side& s) {
         TransferSession session(s.state, s.shell);
         const ScreenshotResult r = getscreenshot(s.link(), s.shell);
         const auto rgb = r.picture.rgb();
         return std::to_string(r.complete) + "|" + std::to_string(std::count(rgb.begin(), rgb.end(), 0));
     }},
    {"fcamera", [](Side& s) { s.calc().fcamerastream(2); },
     [](Side& s) {
         TransferSession session(s.state, s.shell);
         const ScreenshotResult r = getfargoscreenshot(s.link(), s.shell);
         const auto rgb = r.picture.rgb();
         return std::to_string(r.complete) + "|" + std::to_string(std::count(rgb.begin(), rgb.end(), 0));
     }},
    {"key", nothing,
     [](Side& s) {
         TransferSession session(s.state, s.shell);
         return std::to_string(sendkey(s.link(), '7'));
     }},
};

struct Outcome {
    std::string result, trace, status, memory;
};

Outcome runon(Side& side, const ExchangeCase& c) {
    c.setup(side);
    side.start();
    Outcome o;
    o.result = c.run(side);
    side.stop();
    o.trace = side.trace.text();
    o.status = side.state.linkok ? "ok" : side.state.pendingerror;
    o.memory = joined(side.calc().variablenames()) + side.calc().entryline();
    return o;
}

class GreyCable : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(GreyCable, SameResultsAndPacketsAsTheParallelCable) {
    ParallelSide parallel;
    GreySide grey;
    const Outcome want = runon(parallel, GetParam());
    const Outcome got = runon(grey, GetParam());
    EXPECT_EQ(got.result, want.result);
    EXPECT_EQ(got.status, want.status);
    EXPECT_EQ(got.memory, want.memory);
    EXPECT_EQ(got.trace, want.trace);
    EXPECT_GT(want.trace.size(), 10u);
}

INSTANTIATE_TEST_SUITE_P(Exchanges, GreyCable, ::testing::ValuesIn(kCases), [](const auto& param) {
    std::string n = param.param.name;
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
});

TEST(GreyServer, AProgramThatLeavesMidPacketDoesNotSpoilTheNext) {
    GreySide grey;
    grey.start();
    const std::uint8_t half[] = {0x09, 0xA2, 0x06, 0x00, 0x00};
    ASSERT_TRUE(grey.port->write(half));
    grey.l.reset();
    grey.port.reset();  // closes the port: the server drops the half packet
    const std::string path = (grey.files.path() / "ti92").string();
    for (int round = 0; round < 2; ++round) {
        GreyPort port(path, false);
        ASSERT_TRUE(port.open()) << port.openerror();
        Link link(port, grey.clock, grey.shell, grey.state);
        grey.state.linkok = true;
        EXPECT_TRUE(readinessexchange(link)) << "round " << round << ": " << grey.state.pendingerror;
    }
}

TEST(GreyServer, AServerThatComesLateStillHearsTheFirstPacket) {
    GreySide grey;
    grey.late = true;
    grey.start();
    grey.state.linkok = true;
    EXPECT_TRUE(waitack(grey.link())) << grey.state.pendingerror;
}

TEST(GreyServer, OneProgramAtATimeHasTheCable) {
    GreySide grey;
    grey.start();
    const std::string path = (grey.files.path() / "ti92").string();
    GreyPort second(path, false);
    EXPECT_FALSE(second.open());
    EXPECT_NE(second.openerror().find("in use by another program"), std::string::npos) << second.openerror();
    grey.l.reset();
    grey.port.reset();
    EXPECT_TRUE(second.open()) << second.openerror();
}

TEST(GreyServer, RefusesToReplaceAnythingButAStaleLinkOfItsOwn) {
    TempDir dir;
    SystemClock clock;
    VirtualCalculator calc(clock);
    const auto at = [&](const char* name) { return (dir / name).string(); };
    writebytes(dir / "file", {1});
    std::filesystem::create_symlink("/dev/null", dir / "elsewhere");
    std::filesystem::create_symlink("/dev/pts/999999", dir / "stale");
    struct Case {
        std::string path;
        bool opens;
    };
    for (const Case& c : {Case{at("file"), false}, Case{at("elsewhere"), false}, Case{at("stale"), true}}) {
        GreyServer server(calc);
        std::string error;
        EXPECT_EQ(server.open(c.path, &error), c.opens) << c.path << ": " << error;
        if (c.opens) {
            EXPECT_EQ(std::filesystem::read_symlink(c.path), server.device());
        }
    }
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "stale")) << "ours goes when the server closes";
    EXPECT_EQ(readbytes(dir / "file"), Bytes{1});
}

} // namespace
