// The black serial cable through a fake serial port wired to the virtual TI-92, and the
// silver USB cable at its USB seam.
#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <cerrno>
#include <deque>
#include <fstream>

#include "files/filetestutil.h"
#include "link/cable.h"
#include "link/cablelist.h"
#include "link/linkspec.h"
#include "link/ports/blackport.h"
#include "link/ports/silverstream.h"
#include "link/ports/titaniumusb.h"
#include "transfers/directory.h"
#include "transfers/readiness.h"
#include "vcalc/vcalc.h"

using namespace tessaly;

namespace {

// A serial port with the black cable on it and the virtual TI-92 at the cable's end. The
// cable as built: RTS drives the red wire, DTR the white one, CTS and DSR read them back;
// an asserted line is a released (high) wire. On the calculator's side red is line A.
class BlackWire final : public ModemLines {
public:
    BlackWire(VirtualCalculator& calc, SimClock& clock) : m_calc(calc), m_clock(clock) {}
    int set(int bits) override {
        sets.push_back(bits);
        m_clock.advance(10);
        m_calc.setpcdrivers(Lines{(bits & TIOCM_RTS) != 0, (bits & TIOCM_DTR) != 0});
        m_calc.step();
        return 0;
    }
    int get(int* bits) override {
        m_clock.advance(10);
        const Lines wire = powered ? m_calc.lines() : Lines{false, false};
        m_calc.step();
        *bits = (wire.a ? TIOCM_CTS : 0) | (wire.b ? TIOCM_DSR : 0) | TIOCM_CD;
        return 0;
    }
    std::vector<int> sets;
    bool powered = true;

private:
    VirtualCalculator& m_calc;
    SimClock& m_clock;
};

struct BlackRig {
    SimClock clock;
    NullPump pump;
    TransferState state;
    VirtualCalculator calc{clock};
    BlackWire* wire = nullptr;
    std::unique_ptr<BlackPort> port;
    BlackRig() {
        calc.loaddemo();
        auto w = std::make_unique<BlackWire>(calc, clock);
        wire = w.get();
        port = std::make_unique<BlackPort>(std::move(w), "/dev/ttyUSB0");
    }
};

} // namespace

TEST(BlackCable, ReadyCheckAndListingRunThroughTheModemLines) {
    BlackRig rig;
    ASSERT_TRUE(rig.port->open()) << rig.port->error();
    // Open powers the cable: both lines asserted, so both wires released.
    ASSERT_FALSE(rig.wire->sets.empty());
    EXPECT_EQ(rig.wire->sets.back(), TIOCM_RTS | TIOCM_DTR);

    Cable cable(*rig.port, "black", rig.clock, rig.pump, rig.state);
    rig.state.linkok = true;
    EXPECT_TRUE(readinessexchange(cable.link())) << rig.state.pendingerror;
    rig.state.linkok = true;
    NullProgress shell;
    const DirectoryListing listing = directorylisting(cable.link(), shell);
    EXPECT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    EXPECT_FALSE(listing.rows.empty());
    EXPECT_TRUE(rig.port->error().empty()) << rig.port->error();
    // Only the line values Link writes reach the port, each set once (no repeats).
    for (std::size_t i = 1; i < rig.wire->sets.size(); ++i) EXPECT_NE(rig.wire->sets[i], rig.wire->sets[i - 1]);
}

TEST(BlackCable, LinesThatNeverRiseAreExplainedAfterTheTimeout) {
    BlackRig rig;
    rig.wire->powered = false;
    ASSERT_TRUE(rig.port->open());
    Cable cable(*rig.port, "black", rig.clock, rig.pump, rig.state);
    rig.state.linkok = true;
    EXPECT_FALSE(readinessexchange(cable.link()));
    EXPECT_NE(rig.port->error().find("never rose"), std::string::npos) << rig.port->error();
    EXPECT_NE(rig.port->error().find("adapter"), std::string::npos) << rig.port->error();
}

TEST(BlackCable, OpenProblemsNameTheFix) {
    struct NoLines final : ModemLines {
        int set(int) override { return ENOTTY; }
        int get(int*) override { return ENOTTY; }
    };
    BlackPort pty(std::make_unique<NoLines>(), "/dev/pts/3");
    EXPECT_FALSE(pty.open());
    EXPECT_NE(pty.error().find("pseudo-terminal"), std::string::npos) << pty.error();

    struct Case {
        const char* device;
        const char* hint;
    };
    const Case cases[] = {
        {"/dev/ttyUSB7", "does not exist"},  // nothing there
        {"/dev/null", "no modem lines"},     // opens, but is no tty
    };
    for (const auto& c : cases) {
        BlackPort port(c.device);
        EXPECT_FALSE(port.open()) << c.device;
        EXPECT_NE(port.error().find(c.hint), std::string::npos) << port.error();
        EXPECT_TRUE(port.readlines().idle()) << "a port that did not open reads as no calculator";
    }
    EXPECT_NE(blackopenerror("/dev/ttyS0", EACCES).find("group dialout"), std::string::npos);
}

namespace {

// The silver cable's USB calls, scripted: reads answer from a queue, writes and halts
// are recorded in order.
class FakeUsb final : public UsbDevice {
public:
    struct Answer {
        UsbStatus status;
        std::vector<std::uint8_t> bytes;
    };
    UsbStatus clearhalt(std::uint8_t endpoint) override {
        calls.push_back("clear " + std::to_string(endpoint));
        return UsbStatus::Ok;
    }
    UsbTransfer bulkread(std::uint8_t endpoint, std::span<std::uint8_t> into, std::uint32_t) override {
        calls.push_back("read " + std::to_string(endpoint) + " " + std::to_string(into.size()));
        if (reads.empty()) return {emptyforever ? UsbStatus::Ok : UsbStatus::Timeout, 0};
        Answer a = reads.front();
        reads.pop_front();
        std::copy(a.bytes.begin(), a.bytes.end(), into.begin());
        return {a.status, a.bytes.size()};
    }
    UsbTransfer bulkwrite(std::uint8_t endpoint, std::span<const std::uint8_t> bytes, std::uint32_t) override {
        calls.push_back("write " + std::to_string(endpoint) + " " + std::to_string(bytes.size()));
        return {UsbStatus::Ok, bytes.size()};
    }
    std::deque<Answer> reads;
    std::vector<std::string> calls;
    bool emptyforever = false;  // once the script ends, every read comes back at once with nothing
};

std::vector<std::uint8_t> run(std::uint8_t first, std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t(first + i);
    return v;
}

} // namespace

TEST(SilverCable, ReadsWholePacketsAndKeepsWhatWasNotTaken) {
    auto usb = std::make_unique<FakeUsb>();
    FakeUsb& fake = *usb;
    fake.reads = {{UsbStatus::Ok, run(0, 32)}, {UsbStatus::Ok, {}}, {UsbStatus::Ok, run(32, 5)}};
    SilverStream stream(std::move(usb), "silver");

    std::uint8_t out[20];
    ASSERT_EQ(stream.read(out, 1000), 20);
    EXPECT_EQ(out[0], 0);
    ASSERT_EQ(stream.read(out, 1000), 12);  // the rest of the first packet, without asking again
    EXPECT_EQ(out[11], 31);
    ASSERT_EQ(stream.read(out, 1000), 5);  // after an empty read that is asked again
    EXPECT_EQ(out[0], 32);
    EXPECT_EQ(stream.read(out, 1000), 0);  // nothing came in time
    const std::vector<std::string> want = {"clear 129", "clear 2",      "read 129 32", "read 129 32",
                                           "read 129 32", "read 129 32"};
    EXPECT_EQ(fake.calls, want);
}

TEST(SilverCable, ABridgeThatAnswersNothingAtOnceIsNotPolledFlatOut) {
    auto usb = std::make_unique<FakeUsb>();
    FakeUsb& fake = *usb;
    fake.emptyforever = true;
    SilverStream stream(std::move(usb), "silver");
    std::uint8_t out[4];
    EXPECT_EQ(stream.read(out, 20), 0);
    EXPECT_LE(fake.calls.size(), 2u + 21u) << "the halts, then a read a millisecond at most";
}

TEST(SilverCable, WritesLongRunsIn32BytePiecesAfterClearingHalts) {
    auto usb = std::make_unique<FakeUsb>();
    FakeUsb& fake = *usb;
    fake.reads = {{UsbStatus::Stall, {}}};
    SilverStream stream(std::move(usb), "silver");
    ASSERT_TRUE(stream.write(run(0, 70)));
    std::vector<std::string> want = {"clear 129", "clear 2", "write 2 32", "write 2 32", "write 2 6"};
    EXPECT_EQ(fake.calls, want);

    // A stalled pipe is cleared before the next transfer.
    fake.calls.clear();
    std::uint8_t out[4];
    EXPECT_EQ(stream.read(out, 0), 0);
    ASSERT_TRUE(stream.write(run(0, 3)));
    want = {"read 129 32", "clear 129", "clear 2", "write 2 3"};
    EXPECT_EQ(fake.calls, want);
    EXPECT_TRUE(stream.error().empty()) << stream.error();
}

TEST(SilverCable, UnpluggedCableFailsWithAReason) {
    auto usb = std::make_unique<FakeUsb>();
    usb->reads = {{UsbStatus::Gone, {}}};
    SilverStream stream(std::move(usb), "silver");
    std::uint8_t out[4];
    EXPECT_EQ(stream.read(out, 100), -1);
    EXPECT_NE(stream.error().find("unplugged"), std::string::npos);
    EXPECT_FALSE(stream.write(run(0, 1)));
}

TEST(SilverCable, OpenProblemsNameTheFix) {
    class Host final : public UsbHost {
    public:
        explicit Host(UsbProblem p) : problem(p) {}
        std::vector<SilverFound> list() override { return {}; }
        std::unique_ptr<UsbDevice> open(SilverPlace, UsbProblem* p, std::string* detail) override {
            *p = problem;
            *detail = "tiusb";
            return problem == UsbProblem::None ? std::make_unique<FakeUsb>() : nullptr;
        }
        UsbProblem problem;
    };
    struct Case {
        UsbProblem problem;
        const char* link;
        const char* hint;
    };
    const Case cases[] = {
        {UsbProblem::Missing, "silver", "No silver USB cable (0451:e001) is plugged in"},
        {UsbProblem::Missing, "silver:3:12", "bus 3 address 12"},
        {UsbProblem::Permission, "silver", "udev rule 69-tessaly92-silver.rules"},
        {UsbProblem::KernelDriver, "silver", "sudo rmmod tiusb"},
        {UsbProblem::Busy, "silver:1:4", "Another program holds the silver USB cable at bus 1 address 4"},
    };
    for (const auto& c : cases) {
        Host host(c.problem);
        std::string error;
        EXPECT_FALSE(opensilver(*parselinkspec(c.link, nullptr), host, &error)) << c.link;
        EXPECT_NE(error.find(c.hint), std::string::npos) << error;
    }
    Host fine(UsbProblem::None);
    std::string error;
    EXPECT_TRUE(opensilver(*parselinkspec("silver", nullptr), fine, &error)) << error;
}

namespace {

// `cables` on a machine with no port, one silver cable and two Titaniums on the USB, one
// of them not the user's to open: each found with its LINK, the refused one with the fix.
TEST(CableList, TitaniumsOnTheUsbAreListedWithTheirLinkAndProblem) {
    class Host final : public UsbHost {
    public:
        std::vector<SilverFound> list() override { return {{{1, 4}, UsbProblem::None, {}}}; }
        std::unique_ptr<UsbDevice> open(SilverPlace, UsbProblem* p, std::string*) override {
            *p = UsbProblem::Missing;
            return nullptr;
        }
        std::vector<SilverFound> listtitanium() override {
            return {{{1, 7}, UsbProblem::None, {}}, {{2, 3}, UsbProblem::Permission, "access denied"}};
        }
    } host;
    test::TempDir scratch;
    CableListPaths paths;
    paths.dev = paths.sysclass = scratch / "none";
    paths.udevrules = {scratch.path()};
    auto titaniums = [&] {
        std::vector<FoundCable> out;
        for (FoundCable& c : listcables(host, paths))
            if (c.kind == FoundCable::Kind::Titanium) out.push_back(std::move(c));
        return out;
    };
    auto found = titaniums();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].link, "titanium:1:7");
    EXPECT_TRUE(found[0].usable);
    EXPECT_FALSE(found[1].usable);
    EXPECT_NE(found[1].problem.find("udev rule 69-tessaly92-silver.rules (it covers 0451:e004)"), std::string::npos)
        << found[1].problem;
    // With a rule for the silver cable alone the Titanium still needs one; with ours it is
    // the group or a replug.
    std::ofstream(scratch / "50-silver.rules") << "ATTR{idVendor}==\"0451\", ATTR{idProduct}==\"e001\"\n";
    EXPECT_EQ(titaniums()[1].problem.find("plugdev (sudo usermod"), std::string::npos);
    std::ofstream(scratch / "69-tessaly92-silver.rules") << "ATTR{idVendor}==\"0451\", ATTR{idProduct}==\"E004\"\n";
    EXPECT_NE(titaniums()[1].problem.find("its udev rule is installed"), std::string::npos);
    std::string error;
    EXPECT_FALSE(opentitanium(*parselinkspec("titanium:2:3", nullptr), host, &error));
    EXPECT_NE(error.find("No TI-89 Titanium (0451:e004) is at bus 2 address 3"), std::string::npos) << error;
}

} // namespace
