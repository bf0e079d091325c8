// tessaly92-vcalc as a process: the virtual cable protocol, reconnection, commands,
// signals and its options.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli/clirun.h"
#include "link/link.h"
#include "link/ports/socketport.h"
#include "transfers/readiness.h"

namespace tessaly {
namespace {

// A fresh readiness check, as a press of the status picture starts one.
template <class Side>
bool readyagain(Side& side) {
    side.state.linkok = true;
    side.state.pendingerror.clear();
    return tessaly::readinessexchange(side.link);
}

namespace fs = std::filesystem;

// The computer's end of the virtual cable, as any program would speak it.
class CablePort final : public Port {
public:
    explicit CablePort(const std::string& path) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~CablePort() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool connected() const { return m_fd >= 0; }
    void setlines(Lines drivers) override {
        const std::uint8_t msg[2] = {'w', drivers.cable()};
        (void)!::write(m_fd, msg, 2);
    }
    Lines readlines() override {
        std::uint8_t lines = 0;
        if (::write(m_fd, "r", 1) != 1 || ::read(m_fd, &lines, 1) != 1) return Lines::pulled();
        return Lines::fromcable(lines);
    }

private:
    int m_fd = -1;
};

using Server = clitest::VcalcServer;

struct Computer {
    explicit Computer(const std::string& path) : port(path), link(port, clock, pump, state) {
        state.linkok = true;
        link.releaselines();
    }
    CablePort port;
    SystemClock clock;
    NullPump pump;
    TransferState state;
    Link link;
};

std::string socketpath(const char* name) {
    return (fs::temp_directory_path() / (std::string("tessaly-vcalc-") + name + "-" + std::to_string(::getpid()))).string();
}

// Where a test's command line leaves its outputs: tests run side by side in processes of their
// own, and one shared folder would let one test read another's stderr.
fs::path scratchfolder() {
    const fs::path folder = fs::temp_directory_path() / ("tessaly-vcalc-cli-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    return folder;
}

TEST(VcalcServer, AnswersConnectionAfterConnection) {
    const std::string path = socketpath("reconnect");
    Server server({"--socket", path});
    ASSERT_EQ(server.line(), "listening on " + path);
    for (int round = 0; round < 3; ++round) {
        Computer pc(path);
        ASSERT_TRUE(pc.port.connected());
        EXPECT_TRUE(readyagain(pc)) << "round " << round << ": " << pc.state.pendingerror;
        if (round == 1) pc.port.setlines(Lines::pulla());  // leaves with line A pulled: the next one starts released
    }
    {
        CablePort probe(path);  // opened to look and closed again at once
        EXPECT_TRUE(probe.connected());
    }
    Computer pc(path);
    EXPECT_TRUE(readyagain(pc)) << pc.state.pendingerror;
    server.say("quit");
    EXPECT_EQ(server.wait(), 0);
    EXPECT_FALSE(fs::exists(path));
}

TEST(VcalcServer, AProgramThatLeavesMidExchangeDoesNotSpoilTheNext) {
    const std::string path = socketpath("leaver");
    Server server({"--socket", path, "--pace", "instant"});
    ASSERT_EQ(server.line(), "listening on " + path);
    {
        Computer pc(path);
        pc.link.sendstring({0x09, 0x68, 0x00, 0x00});  // goes before reading the acknowledgement
    }
    {
        Computer pc(path);
        pc.link.sendstring({0x09, 0xA2, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x19, 0x00, 0x19, 0x00});
        pc.link.receivebyte();  // half way into the answer
    }
    Computer pc(path);
    EXPECT_TRUE(readyagain(pc)) << pc.state.pendingerror;
}

// A second program on a held cable hears only that it is busy: not the timeouts that
// follow, nor a broken pipe when the server hung up before its first write.
TEST(VcalcServer, ASecondProgramIsToldTheCableIsBusy) {
    const std::string path = socketpath("busy");
    Server server({"--socket", path, "--pace", "instant"});
    ASSERT_EQ(server.line(), "listening on " + path);
    Computer holder(path);
    ASSERT_TRUE(readyagain(holder));
    const std::string busy = "The virtual TI-92 at " + path + " is busy with another program.\n";
    for (const std::vector<std::string>& command : {std::vector<std::string>{"ready"}, {"key", "ENTER"}}) {
        std::vector<std::string> args{"--link", "socket:" + path};
        args.insert(args.end(), command.begin(), command.end());
        const clitest::CliResult r = clitest::runcli(args, scratchfolder());
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.ends_with(busy) && r.err.find("timeout") == std::string::npos) << r.err;
    }
    SocketPort late(path);
    ASSERT_TRUE(late.open());
    // The server answers and hangs up; on a loaded machine that may take a while.
    for (int i = 0; i < 50 && !late.heldelsewhere(); ++i) {
        ::usleep(100'000);
        late.readlines();
    }
    EXPECT_TRUE(late.heldelsewhere()) << late.error();
}

TEST(VcalcServer, SendsWhenToldOnItsInput) {
    const std::string path = socketpath("send");
    Server server({"--socket", path, "--pace", "instant"});
    ASSERT_EQ(server.line(), "listening on " + path);
    Computer pc(path);
    server.say("send nothing\\here");
    EXPECT_EQ(server.line(), "send: no variable nothing\\here");
    server.say("send main\\exp");
    EXPECT_EQ(server.line(), "sending");
    std::vector<std::uint8_t> header;
    for (int i = 0; i < 20 && pc.state.linkok; ++i) header.push_back(pc.link.receivebyte());
    ASSERT_TRUE(pc.state.linkok) << pc.state.pendingerror;
    const std::vector<std::uint8_t> expected{0x89, 0x06, 0x0E, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x08,
                                             'm',  'a',  'i',  'n',  '\\', 'e',  'x',  'p'};
    EXPECT_EQ(std::vector<std::uint8_t>(header.begin(), header.begin() + 18), expected);
    server.say("send main\\f");
    EXPECT_EQ(server.line(), "send: the calculator is in the middle of an exchange");
}

TEST(VcalcServer, SignalRemovesTheSocketAndAStaleOneIsReplaced) {
    const std::string path = socketpath("stale");
    {
        // A socket file nobody listens on any more.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    }
    ASSERT_TRUE(fs::exists(path));
    Server server({"--socket", path, "--pace", "2000"});
    ASSERT_EQ(server.line(), "listening on " + path);
    // A listing under way when the server goes: the cable's own reason is all it says.
    auto listing = std::async(std::launch::async, [&] {
        return clitest::runcli({"--link", "socket:" + path, "dir"}, scratchfolder());
    });
    ::usleep(500'000);
    server.signal(SIGTERM);
    EXPECT_EQ(server.wait(), 0);
    EXPECT_FALSE(fs::exists(path));
    const clitest::CliResult r = listing.get();
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("\nThe virtual TI-92 at " + path + " "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("did not respond"), std::string::npos) << r.err;
}

TEST(VcalcServer, AFileOrFolderAtTheSocketPathStays) {
    const std::string file = socketpath("file");
    test::writebytes(file, {'k', 'e', 'e', 'p'});
    Server onfile({"--socket", file});
    EXPECT_NE(onfile.wait(), 0);
    EXPECT_EQ(test::readbytes(file), (test::Bytes{'k', 'e', 'e', 'p'}));
    fs::remove(file);
}

TEST(VcalcServer, AwayFromHomeLeavesTheReadyCheckUnanswered) {
    const std::string path = socketpath("away");
    Server server({"--socket", path, "--away"});
    ASSERT_EQ(server.line(), "listening on " + path);
    Computer pc(path);
    EXPECT_FALSE(readyagain(pc));
    EXPECT_EQ(pc.state.pendingerror, nocontacttext(kReceiveTimeout));
}

struct BadArgs {
    const char* what;
    std::vector<std::string> args;
};

class VcalcUsage : public ::testing::TestWithParam<BadArgs> {};

TEST_P(VcalcUsage, IsRefusedWithExitCode2) {
    Server server(GetParam().args);
    EXPECT_EQ(server.wait(), 2);
}

INSTANTIATE_TEST_SUITE_P(Options, VcalcUsage,
                         ::testing::Values(BadArgs{"nosocket", {}}, BadArgs{"unknown", {"--socket", "/tmp/x", "--frob"}},
                                           BadArgs{"badpace", {"--socket", "/tmp/x", "--pace", "fast"}},
                                           BadArgs{"badline", {"--socket", "/tmp/x", "--hold-low", "C"}}),
                         [](const auto& param) { return std::string(param.param.what); });

// A state file it cannot use stops it before it listens, with a reason that names the file once.
TEST(VcalcServer, AStateFileItCannotUseIsNamedOnce) {
    clitest::TempDir dir;
    const auto fifo = dir.path() / "fifo.92g", corrupt = dir.path() / "corrupt.92g", backup = dir.path() / "mem.92b",
               readonly = dir.path() / "readonly.92g";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    test::writebytes(corrupt, test::Bytes(70, 0x41));
    const std::filesystem::path samples = std::filesystem::path(TESSALY_TESTDATA_DIR) / "samples";
    std::filesystem::copy_file(samples / "backup.92b", backup);
    std::filesystem::copy_file(samples / "str.92s", dir.path() / "str.92s");
    std::vector<std::filesystem::path> bad{dir.path() / "nofolder" / "state.92g", fifo, corrupt, backup,
                                           dir.path() / "str.92s"};
    if (::geteuid() != 0) {  // root writes where the permissions say no
        test::writebytes(readonly, test::Bytes(70, 0x41));
        ::chmod(readonly.c_str(), 0400);
        bad.push_back(readonly);
    }
    for (const auto& state : bad) {
        SCOPED_TRACE(state.string());
        const auto err = dir.path() / "err.txt";
        const std::string command = "timeout 20 " + clitest::quoted(TESSALY_VCALC) + " --socket " +
                                    clitest::quoted((dir.path() / "s").string()) + " --state " +
                                    clitest::quoted(state.string()) + " </dev/null >/dev/null 2>" + clitest::quoted(err.string());
        const int status = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2);
        const std::string text = clitest::slurp(err), name = state.filename().string();
        const auto first = text.find(name);
        EXPECT_NE(first, std::string::npos) << text;
        EXPECT_EQ(text.find(name, first + name.size()), std::string::npos) << text;
    }
}

TEST(VcalcServer, HelpListsTheOptions) {
    Server server({"--help"});
    const std::string all = server.rest();
    EXPECT_NE(all.find("--hold-low"), std::string::npos);
    EXPECT_EQ(server.wait(), 0);
}

} // namespace
} // namespace tessaly
