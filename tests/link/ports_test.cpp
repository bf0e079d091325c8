#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "link/link.h"
#include "link/cable.h"
#include "link/ports/nullport.h"
#include "link/ports/ppdevport.h"
#include "link/ports/socketport.h"
#include "transfers/readiness.h"
#include "vcalc/vcalc.h"
#include "files/filetestutil.h"

using namespace tessaly;
namespace fs = std::filesystem;

namespace {

// A scratch folder that can hold small text files at relative paths.
struct ScratchDir {
    test::TempDir dir;
    const fs::path& path = dir.path();
    void write(const fs::path& rel, const std::string& text) {
        fs::create_directories((path / rel).parent_path());
        std::ofstream(path / rel) << text;
    }
};

} // namespace

TEST(PpdevPort, DeviceFollowsTheListedBaseAddressElseThePosition) {
    ScratchDir d;
    PpdevPaths paths{d.path / "proc", "/dev"};
    // The kernel lists base addresses in decimal: 0x278 = 632, 0x378 = 888.
    d.write("proc/parport0/base-addr", "632\t1656\n");
    d.write("proc/parport1/base-addr", "888\t1912\n");
    d.write("proc/parportx/base-addr", "956\n");  // not a port directory
    d.write("proc/default/timeslice", "200\n");
    struct Case {
        std::uint16_t address;
        const char* device;
    };
    const Case cases[] = {
        {0x378, "/dev/parport1"},
        {0x278, "/dev/parport0"},
        {0x3BC, "/dev/parport1"},  // not listed: its place in the port table
        {0x2F8, ""},               // neither listed nor in the table
    };
    for (const auto& c : cases) EXPECT_EQ(ppdevdevicefor(c.address, paths).string(), c.device) << c.address;

    // Without the kernel's list, the position in the port table decides.
    PpdevPaths none{d.path / "missing", "/dev"};
    EXPECT_EQ(ppdevdevicefor(0x378, none), "/dev/parport0");
    EXPECT_EQ(ppdevdevicefor(0x3BC, none), "/dev/parport1");
    EXPECT_EQ(ppdevdevicefor(0x278, none), "/dev/parport2");
}

TEST(PpdevPort, MessagesNameTheFix) {
    struct Case {
        int errnum;
        const char* hint;
    };
    const Case cases[] = {
        {ENOENT, "modprobe parport_pc ppdev"},
        {ENODEV, "no parallel port"},
        {EACCES, "group lp"},
        {EPERM, "log in again"},
        {EBUSY, "sudo rmmod lp"},
        {EBUSY, "print spooler"},
        {ENOTTY, "not a parallel port"},
        {EIO, "Input/output error"},
    };
    for (const auto& c : cases) {
        const std::string text = ppdevopenerror("/dev/parport3", c.errnum);
        EXPECT_NE(text.find("/dev/parport3"), std::string::npos) << text;
        EXPECT_NE(text.find(c.hint), std::string::npos) << text;
    }
}

TEST(PpdevPort, MissingDeviceReadsAsNoCalculator) {
    PpdevPort port(fs::path("/dev/does-not-exist"));
    EXPECT_FALSE(port.open());
    EXPECT_NE(port.error().find("/dev/does-not-exist does not exist"), std::string::npos) << port.error();
    EXPECT_TRUE(port.readlines().idle());
    port.setlines(Lines::pulled());  // goes nowhere, and does not crash
}

TEST(PpdevPort, AutomaticPortReopensWhenThePortListChanges) {
    ScratchDir d;
    // Ordinary files stand in for the device nodes: they open, but are no ppdev device.
    d.write("dev/parport0", "");
    d.write("dev/parport1", "");
    TransferState portlist;
    portlist.portaddress = 0x378;
    PpdevPort port(portlist, PpdevPaths{d.path / "proc", d.path / "dev"});
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.device(), d.path / "dev/parport0");
    EXPECT_NE(port.error().find("not a parallel port"), std::string::npos) << port.error();

    portlist.portaddress = 0x3BC;  // the second table entry
    port.readlines();
    EXPECT_EQ(port.device(), d.path / "dev/parport1");
    portlist.portaddress = 0x278;
    port.setlines(Lines::released());
    EXPECT_EQ(port.device(), d.path / "dev/parport2");
    EXPECT_NE(port.error().find("does not exist"), std::string::npos) << port.error();
}

TEST(Cable, WithoutALinkThePortListsAddressChoosesTheDevice) {
    SystemClock clock;
    NullPump pump;
    TransferState state;
    state.portaddress = 0x378;
    Cable cable(LinkSpec{}, clock, pump, state);
    auto* port = dynamic_cast<PpdevPort*>(&cable.port());
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->device(), ppdevdevicefor(0x378));
    state.portaddress = 0x3BC;  // the window's port list writes here
    cable.port().readlines();
    EXPECT_EQ(port->device(), ppdevdevicefor(0x3BC));
}

TEST(Cable, FailuresLeaveAPortWithoutCalculatorAndSayWhy) {
    SystemClock clock;
    NullPump pump;
    struct Case {
        LinkSpec spec;
        const char* withoutcable;
        const char* error;
    };
    const Case cases[] = {
        {{LinkSpec::Kind::Ppdev, "/dev/does-not-exist", 0}, "", "does not exist"},
        {{LinkSpec::Kind::Socket, "/tmp/tessaly-no-such-socket", 0}, "", "tessaly92-vcalc --socket"},
        {{LinkSpec::Kind::Virtual, "/no-such-folder/memory.92g", 0}, "", "cannot keep its memory"},
        // Without a LINK the port list's device is tried; only there the way round it is named.
        {{}, "Without a cable, try this.", ". Without a cable, try this."},
    };
    for (const auto& c : cases) {
        TransferState state;
        Cable cable(c.spec, clock, pump, state, {"", c.withoutcable});
        if (c.spec.kind == LinkSpec::Kind::Auto && cable.error().empty()) GTEST_SKIP() << "a parallel port is here";
        EXPECT_NE(cable.error().find(c.error), std::string::npos) << cable.error();
        EXPECT_EQ(cable.statustext(), "no cable");
        EXPECT_EQ(cable.statustip(), cable.error());
        EXPECT_TRUE(cable.port().readlines().idle());
        EXPECT_EQ(cable.calculator(), nullptr);
    }
}

TEST(Cable, VirtualCalculatorAnswersAndKeepsNoRecordThatWouldGrow) {
    SimClock clock;
    NullPump pump;
    TransferState state;
    Cable cable(LinkSpec{LinkSpec::Kind::Virtual, "", 0}, clock, pump, state);
    ASSERT_TRUE(cable.error().empty()) << cable.error();
    ASSERT_TRUE(cable.calculator());
    EXPECT_EQ(cable.statustext(), "virtual TI-92");
    EXPECT_NE(cable.statustip().find("virtual TI-92"), std::string::npos);
    for (int i = 0; i < 3; ++i) {
        state.linkok = true;
        EXPECT_TRUE(readinessexchange(cable.link())) << state.pendingerror;
    }
    // A window open for hours must not pile up every byte that crossed the cable.
    auto* calc = dynamic_cast<VirtualCalculator*>(cable.calculator());
    ASSERT_TRUE(calc);
    EXPECT_TRUE(calc->trace().bytes().empty());
}

TEST(Cable, VirtualWithoutTheRegisteredCalculatorSaysSo) {
    SimClock clock;
    NullPump pump;
    TransferState state;
    const VirtualBackendFactory registered = registervirtualcable(nullptr);
    Cable cable(LinkSpec{LinkSpec::Kind::Virtual, "", 0}, clock, pump, state);
    registervirtualcable(registered);
    ASSERT_NE(registered, nullptr);
    EXPECT_NE(cable.error().find("virtual TI-92 is not built into this program"), std::string::npos) << cable.error();
    EXPECT_EQ(cable.calculator(), nullptr);
    EXPECT_TRUE(cable.port().readlines().idle());
}

class SocketPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = (dir.path / "cable").string();
        listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::listen(listener, 1), 0);
    }
    void TearDown() override {
        if (server >= 0) ::close(server);
        ::close(listener);
    }
    void accept() { server = ::accept(listener, nullptr, nullptr); }
    std::string drain() {
        char buf[256];
        const ssize_t n = ::recv(server, buf, sizeof buf, MSG_DONTWAIT);
        return n > 0 ? std::string(buf, std::size_t(n)) : std::string();
    }
    ScratchDir dir;
    std::string path;
    int listener = -1;
    int server = -1;
};

TEST_F(SocketPortTest, WritesTravelWithTheNextReadAndLevelsMapToTheLines) {
    SocketPort port(path);
    ASSERT_TRUE(port.open()) << port.error();
    accept();
    // The answers are on their way before the questions: no second thread needed.
    const unsigned char levels[] = {0x03, 0x01, 0x02, 0x00};
    ASSERT_EQ(::send(server, levels, sizeof levels, 0), 4);

    port.setlines(Lines::released());
    port.setlines(Lines::pulla());
    EXPECT_EQ(drain(), "") << "writes wait for the next read";
    EXPECT_EQ(port.readlines(), Lines::released());
    EXPECT_EQ(drain(), std::string("w\x03w\x02r", 5));
    EXPECT_EQ(port.readlines(), Lines::pullb());
    EXPECT_EQ(port.readlines(), Lines::pulla());
    EXPECT_EQ(port.readlines(), Lines::pulled());
    EXPECT_EQ(drain(), "rrr");
    EXPECT_TRUE(port.error().empty());
}

// Both lines start released, written once as the cable opens, before any transfer.
TEST_F(SocketPortTest, TheCableReleasesBothLinesOnceAsItOpens) {
    SimClock clock;
    NullPump pump;
    TransferState state;
    Cable cable(LinkSpec{LinkSpec::Kind::Socket, path, 0}, clock, pump, state);
    ASSERT_TRUE(cable.error().empty()) << cable.error();
    accept();
    const unsigned char level = 0x03;
    ASSERT_EQ(::send(server, &level, 1, 0), 1);
    EXPECT_EQ(cable.port().readlines(), Lines::released());
    EXPECT_EQ(drain(), std::string("w\x03r", 3));
}

TEST_F(SocketPortTest, ManyWritesBeforeARead) {
    SocketPort port(path);
    ASSERT_TRUE(port.open());
    accept();
    const unsigned char level = 0x03;
    ASSERT_EQ(::send(server, &level, 1, 0), 1);
    std::string want;
    for (int i = 0; i < 100; ++i) {
        port.setlines(Lines::fromcable(std::uint8_t(i)));
        want += 'w';
        want += char(i & 3);
    }
    EXPECT_EQ(port.readlines(), Lines::released());
    want += 'r';
    EXPECT_EQ(drain(), want);
}

TEST_F(SocketPortTest, LostCableReadsAsNoCalculatorWithAMessage) {
    SocketPort port(path);
    ASSERT_TRUE(port.open());
    accept();
    ::close(server);
    server = -1;
    EXPECT_EQ(port.readlines(), NullPort::kNoCalculator);
    EXPECT_FALSE(port.connected());
    EXPECT_NE(port.error().find(path), std::string::npos) << port.error();
    port.setlines(Lines::released());  // nothing to write to, and no signal either
    EXPECT_EQ(port.readlines(), NullPort::kNoCalculator);
}
