// The variable exchanges on the Titanium's USB port when things go wrong: refusals worded as
// on its link port, a busy calculator, and a cable pulled out mid-transfer.
#include "files/packagewriter.h"
#include "support/usbstream.h"
#include "transfers/manage.h"
#include "transfers/packetcommands.h"
#include "transfers/rig.h"
#include "transfers/variablesend.h"
#include "vcalc/statefile.h"

namespace tessaly::test {
namespace {

struct TitaniumRig : ReceiveSide {
    explicit TitaniumRig(bool usb) {
        calc.setpace(0);
        calc.loaddemo();
        link.releaselines();
        link.choosemodel(&kTI89Titanium);
        if (!usb) return;
        link.setstream(stream);
        link.setdirectusb(true);
    }
    template <typename F> auto run(F f) {
        state.pendingerror.clear();
        TransferSession session(state, shell);
        return f();
    }
    std::vector<std::string> received(const std::vector<RequestEntry>& entries) {
        ReceiveTarget into = target(false);
        return run([&] { return receiverequested(link, into, entries); }).received;
    }
    SimClock clock;
    VirtualCalculator calc{clock, kTI89Titanium};
    VirtualPort port{calc, &clock};
    TransferState state;
    Link link{port, clock, shell, state};
    UsbEndStream stream{calc};
};

// What each refusal leaves to be said, on either port: the same sentence.
std::vector<std::string> refusals(bool usb) {
    TitaniumRig rig(usb);
    std::vector<std::string> said;
    // Over a locked variable, and a variable the memory has no room for.
    const auto path = rig.folder.path() / "s.89g";
    std::string error;
    CalcMemory file;
    file.folders = {{"main", {{"secret", 0x0C, {0x00, 0x03, 0x00, 0x61, 0x2D}}}}};
    EXPECT_TRUE(savecalcmemory(path.string(), file, &error, kTI89Titanium)) << error;
    EXPECT_TRUE(rig.run([&] { return sendvariables(rig.link, rig.shell, path); }).notsent == std::vector<std::string>{"main\\secret"});
    said.push_back(rig.state.pendingerror);
    rig.calc.memory().find("main\\secret")->locked = false;
    rig.calc.setmemorycapacity(10);
    EXPECT_TRUE(rig.run([&] { return sendvariables(rig.link, rig.shell, path); }).sent.empty());
    said.push_back(rig.state.pendingerror);
    // A delete of a locked one, a request for a name it lacks.
    rig.calc.memory().find("main\\secret")->locked = true;
    EXPECT_FALSE(rig.run([&] { return deletebypacket(rig.link, rig.shell, "main\\secret"); }));
    said.push_back(rig.state.pendingerror);
    EXPECT_TRUE(rig.received({{"main\\nosuch", 0x0C}}).empty());
    said.push_back(rig.state.pendingerror);
    return said;
}

TEST(UsbVariables, RefusalsAreWordedAsOnTheLinkPort) {
    const std::vector<std::string> usb = refusals(true);
    EXPECT_EQ(usb, refusals(false));
    EXPECT_NE(usb[0].find("main\\secret"), std::string::npos) << usb[0];
    EXPECT_NE(usb[2].find("locked or archived"), std::string::npos) << usb[2];
}

// Away from its home screen it answers busy: said once, nothing listed, nothing changed.
TEST(UsbVariables, BusyIsToldAsGoHome) {
    TitaniumRig rig(true);
    rig.calc.misbehaviour().awayfromhome = true;
    const DirectoryListing listing = rig.run([&] { return directorylisting(rig.link, rig.shell); });
    EXPECT_TRUE(listing.rows.empty());
    EXPECT_EQ(rig.state.pendingerror, kNotAtHomeText);
    const auto before = rig.calc.variablenames();
    const ManageOutcome out = rig.run([&] { return managecalc(rig.link, rig.shell, ManageAction::Delete, {"main\\notes"}); });
    EXPECT_TRUE(out.done.empty());
    EXPECT_EQ(rig.calc.variablenames(), before);
}

// Pulled out at any point of a receive: the reason, no record of a variable cut off, the
// package received before left whole, and no wait past the budgets.
TEST(UsbVariables, UnpluggedMidReceiveKeepsNothingHalfWritten) {
    for (const std::size_t at : {10u, 60u, 150u, 240u}) {
        TitaniumRig rig(true);
        ASSERT_EQ(rig.received({{"games\\hello", 0x21}}), std::vector<std::string>{"games\\hello"}) << rig.state.pendingerror;
        const auto records = rig.records();
        const Bytes data = rig.storedata();
        rig.stream.unplugin(at);
        const std::uint64_t start = rig.clock.micros();
        EXPECT_TRUE(rig.received({{"main\\notes", kTI89Titanium.texttype}}).empty()) << at;
        EXPECT_FALSE(rig.state.linkok);
        EXPECT_FALSE(rig.state.pendingerror.empty());
        EXPECT_LT(rig.clock.micros() - start, 3'000'000u);
        EXPECT_EQ(rig.records().size(), records.size());
        EXPECT_EQ(rig.storedata(), data);
    }
}

// Pulled out mid-send: failed, and not counted as sent.
TEST(UsbVariables, UnpluggedMidSendIsAFailure) {
    TitaniumRig rig(true);
    const auto path = rig.folder.path() / "m.89g";
    std::string error;
    ASSERT_TRUE(savecalcmemory(path.string(), rig.calc.memory(), &error, kTI89Titanium)) << error;
    rig.stream.unplugin(300);
    const SendResult sent = rig.run([&] { return sendvariables(rig.link, rig.shell, path); });
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_LT(sent.sent.size(), rig.calc.variablenames().size());
}

} // namespace
} // namespace tessaly::test
