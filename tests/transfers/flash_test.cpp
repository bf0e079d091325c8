// Flash on each later model's virtual calculator, through the exchanges the window and the
// command line both call.

#include "support/flashsamples.h"
#include "transfers/flash.h"
#include "transfers/packetcommands.h"
#include "transfers/rig.h"
#include "support/usbstream.h"

namespace tessaly::test {
namespace {

// Agrees to a system or not, and counts the questions.
struct SystemAnswer final : FlashQuestions {
    bool yes = true;
    int asked = 0;
    bool replacesystem(const FlashPart&, const CalculatorModel&) override {
        ++asked;
        return yes;
    }
};

// Cancels once the gauge passed a number of bytes, as a user's Cancel during a transfer.
struct CancelAt final : ScriptedShell {
    TransferState* state = nullptr;
    int at = 0;
    void setgaugeposition(int position) override {
        ScriptedShell::setgaugeposition(position);
        if (position >= at && state) state->linkok = false;
    }
};

struct FlashRig {
    // usb: the Titanium reached by its own USB port instead of the link port.
    explicit FlashRig(const CalculatorModel& model, bool usb = false) : calc(clock, model) {
        calc.setpace(0);
        calc.loaddemo();
        link.releaselines();
        link.settrace(&trace);
        if (!usb) return;
        link.setstream(usbend);
        link.setdirectusb(true);
    }
    template <typename F> auto run(F f) {
        TransferSession session(state, shell);
        return f();
    }
    FlashSendResult send(const FlashFile& file) {
        return run([&] { return sendflashfile(link, shell, file, answer); });
    }
    // Whether the computer offered anything through a request to send (or a system's begin).
    bool offered() const {
        const std::string t = trace.text();
        return t.find("> 08 C9") != std::string::npos || t.find("request to send") != std::string::npos ||
               t.find("OS begin") != std::string::npos;
    }
    std::vector<std::string> applications() {
        std::vector<std::string> out;
        for (const ListRow& r : run([&] { return directorylisting(link, shell); }).rows)
            if (isapplicationrow(r)) out.push_back(r.caption);
        return out;
    }

    CancelAt shell;
    SimClock clock;
    VirtualCalculator calc;
    VirtualPort port{calc, &clock};
    TransferState state;
    Link link{port, clock, shell, state};
    MemoryTrace trace;
    SystemAnswer answer;
    UsbEndStream usbend{calc};
};

std::vector<const CalculatorModel*> withflash() {
    std::vector<const CalculatorModel*> out;
    for (const CalculatorModel* m : allmodels())
        if (m->flashdevice != 0) out.push_back(m);
    return out;
}

const CalculatorModel& othermodel(const CalculatorModel& model) {
    for (const CalculatorModel* m : allmodels())
        if (m->flashdevice != 0 && m->flashdevice != model.flashdevice) return *m;
    return model;
}

// Each Flash model on its link port, and the Titanium on its own USB port too.
struct Reached {
    const CalculatorModel* model;
    bool usb = false;
};
std::vector<Reached> flashports() {
    std::vector<Reached> out;
    for (const CalculatorModel* m : withflash()) out.push_back({m});
    out.push_back({&kTI89Titanium, true});
    return out;
}
void PrintTo(const Reached& r, std::ostream* os) { *os << r.model->id << (r.usb ? " over USB" : ""); }

class FlashExchanges : public ::testing::TestWithParam<Reached> {};

// More than one block: the first goes as a full 64 KiB block (length word 0000), and the
// application comes back byte for byte, listed as an application of its own.
TEST_P(FlashExchanges, ApplicationGoesInBlocksAndComesBackWhole) {
    const CalculatorModel& model = *GetParam().model;
    FlashRig rig(model, GetParam().usb);
    const FlashFile file = samples::application(model, "physics", 70000);
    const FlashSendResult sent = rig.send(file);
    ASSERT_TRUE(sent.sent) << rig.state.pendingerror;
    EXPECT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    EXPECT_EQ(sent.bytes, file.payload()->data.size());
    EXPECT_TRUE(GetParam().usb || rig.trace.text().find("08 15 00 00") != std::string::npos) << "a full block says 0000";

    const auto apps = rig.applications();
    EXPECT_NE(std::find(apps.begin(), apps.end(), "physics"), apps.end());
    EXPECT_NE(std::find(apps.begin(), apps.end(), "demoapp"), apps.end());
    const auto back = rig.run([&] { return receiveapplication(rig.link, rig.shell, "physics"); });
    ASSERT_TRUE(back) << rig.state.pendingerror;
    EXPECT_EQ(back->parts.at(0).data, file.payload()->data);
    EXPECT_EQ(back->parts.at(0).devicetype, model.flashdevice);
}

// Refused before anything is offered: another model's file, a damaged one, a declined system.
TEST_P(FlashExchanges, RefusesBeforeOfferingAnything) {
    const CalculatorModel& model = *GetParam().model;
    FlashRig rig(model, GetParam().usb);
    EXPECT_FALSE(rig.send(samples::application(othermodel(model), "other", 100)).sent);
    EXPECT_FALSE(rig.state.pendingerror.empty());

    FlashFile damaged = samples::application(model, "empty", 100);
    for (FlashPart& p : damaged.parts)
        if (p.sent()) p.data.clear();
    EXPECT_FALSE(rig.send(damaged).sent);
    EXPECT_NE(rig.state.pendingerror.find("damaged"), std::string::npos);

    rig.answer.yes = false;
    EXPECT_FALSE(rig.send(samples::system(model, 3, 10, 5000)).sent);
    EXPECT_EQ(rig.answer.asked, 1);
    EXPECT_NE(rig.state.pendingerror.find("not replaced"), std::string::npos);
    EXPECT_FALSE(rig.offered()) << rig.trace.text();
}

// What the calculator refuses is said: a bad signature, no room.
TEST_P(FlashExchanges, SaysWhyTheCalculatorRefused) {
    const CalculatorModel& model = *GetParam().model;
    FlashRig rig(model, GetParam().usb);
    EXPECT_FALSE(rig.send(samples::application(model, "sealed", 3000, false)).sent && rig.state.linkok);
    EXPECT_NE(rig.state.pendingerror.find("signature"), std::string::npos) << rig.state.pendingerror;
    EXPECT_FALSE(rig.send(samples::application(model, "huge", model.flashroom + 1)).sent && rig.state.linkok);
    EXPECT_NE(rig.state.pendingerror.find("no room"), std::string::npos) << rig.state.pendingerror;
}

// A system cut off midway leaves the calculator waiting for one: said, and sent again it
// is taken.
TEST_P(FlashExchanges, InterruptedSystemIsSaidAndTakenWhenSentAgain) {
    const CalculatorModel& model = *GetParam().model;
    FlashRig rig(model, GetParam().usb);
    const FlashFile system = samples::system(model, 3, 10, 150000);
    rig.shell.state = &rig.state;
    rig.shell.at = 70000;
    EXPECT_FALSE(rig.send(system).sent && rig.state.linkok);
    EXPECT_NE(rig.state.pendingerror.find("waits for a system"), std::string::npos) << rig.state.pendingerror;
    // The request's own form: the later hardware's names the hardware it is for.
    EXPECT_TRUE(GetParam().usb ||
                rig.trace.text().find(model.longosrequest ? "> 08 C9 09 00" : "> 08 C9 06 00") != std::string::npos);

    rig.shell.state = nullptr;
    rig.calc.disconnect();  // what was left of the broken-off block is dropped, as a real one times out
    const FlashSendResult again = rig.send(system);
    EXPECT_TRUE(again.sent && rig.state.linkok) << rig.state.pendingerror;
    rig.link.forgetmodel();
    CalculatorVersion version;
    ASSERT_TRUE(rig.run([&] { return requestversion(rig.link, rig.shell, version); })) << rig.state.pendingerror;
    EXPECT_EQ(version.version, "3.10");
}

// The ID list as the calculator shows it, and the clock read and set.
TEST_P(FlashExchanges, IdListAndClock) {
    const CalculatorModel& model = *GetParam().model;
    FlashRig rig(model, GetParam().usb);
    const auto id = rig.run([&] { return receiveidlist(rig.link, rig.shell); });
    ASSERT_TRUE(id) << rig.state.pendingerror;
    EXPECT_TRUE(samples::idlistshaped(*id)) << *id;
    const auto cert = rig.run([&] { return receivecertificate(rig.link, rig.shell); });
    // The USB port has no question for the certificate: said, and the link port named.
    ASSERT_EQ(cert.has_value(), !GetParam().usb) << rig.state.pendingerror;
    if (cert) {
        EXPECT_EQ(cert->parts.at(0).datatype, kFlashCertificate);
    }

    CalculatorClock wanted{.year = 2026, .month = 12, .day = 8, .hour = 11, .minute = 4, .second = 35};
    ASSERT_TRUE(rig.run([&] { return setclock(rig.link, rig.shell, wanted); })) << rig.state.pendingerror;
    const auto clock = rig.run([&] { return readclock(rig.link, rig.shell); });
    ASSERT_TRUE(clock) << rig.state.pendingerror;
    EXPECT_EQ(clocktext(*clock).substr(0, 16), "2026-12-08 11:04");
}

INSTANTIATE_TEST_SUITE_P(LaterModels, FlashExchanges, ::testing::ValuesIn(flashports()),
                         [](const auto& p) { return std::string(p.param.model->id) + (p.param.usb ? "_usb" : ""); });

// The TI-92 has no Flash and no clock: each exchange says so and offers nothing.
TEST(FlashOnTi92, IsRefusedWithTheReason) {
    FlashRig rig(kTI92);
    EXPECT_FALSE(rig.send(samples::application(kTI89, "physics", 100)).sent);
    EXPECT_FALSE(rig.run([&] { return receiveidlist(rig.link, rig.shell); }));
    EXPECT_NE(rig.state.pendingerror.find("TI-92"), std::string::npos) << rig.state.pendingerror;
    EXPECT_FALSE(rig.run([&] { return readclock(rig.link, rig.shell); }));
    EXPECT_NE(rig.state.pendingerror.find("no clock"), std::string::npos) << rig.state.pendingerror;
    EXPECT_FALSE(rig.offered());
}

// The clock needs 2.08 and hardware 2; each lack is named.
TEST(FlashClock, NamesWhatTheSystemLacks) {
    SimClock clock;
    ScriptedShell shell;
    TransferState state;
    FakeCalculator calc(clock);
    Link link(calc, clock, shell, state);
    link.setmodel(kTI89);
    link.setsystem({true, 2, 5, 2});
    EXPECT_NE(noclockreason(link).find("2.05"), std::string::npos);
    link.setsystem({true, 2, 9, 1});
    EXPECT_NE(noclockreason(link).find("hardware version 1"), std::string::npos);
    link.setsystem({true, 3, 10, 2});
    EXPECT_EQ(noclockreason(link), "");
}

} // namespace
} // namespace tessaly::test
