// tessaly92-cli's link plumbing and its ready command, run as real processes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>

#include "cli/clirun.h"
#include "support/fakecalculator.h"

namespace {

namespace fs = std::filesystem;

using Scratch = tessaly::clitest::TempDir;
using tessaly::clitest::VirtualCable;
using tessaly::clitest::slurp;

struct Outcome {
    int code = -1;
    std::string out, err;
    double seconds = 0;
};

// Runs the program with these arguments; TESSALY92_LINK is set to link (unset when empty).
// With interruptms, it gets a Ctrl+C that long after its start.
Outcome cli(const std::vector<std::string>& args, const fs::path& scratch, const std::string& link = "",
            int interruptms = -1) {
    const auto start = std::chrono::steady_clock::now();
    const fs::path out = scratch / "out.txt", err = scratch / "err.txt";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (link.empty()) ::unsetenv("TESSALY92_LINK");
        else ::setenv("TESSALY92_LINK", link.c_str(), 1);
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        std::vector<char*> argv{const_cast<char*>(TESSALY_CLI)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(TESSALY_CLI, argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (interruptms >= 0) {
        ::usleep(useconds_t(interruptms) * 1000);
        ::kill(pid, SIGINT);
    }
    ::waitpid(pid, &status, 0);
    Outcome o;
    o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = slurp(out);
    o.err = slurp(err);
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return o;
}


// A calculator at the end of a virtual cable that answers the ready check with these
// bytes instead of an acknowledgement.
class AnsweringCable {
public:
    AnsweringCable(const fs::path& scratch, std::initializer_list<std::uint8_t> answer)
        : m_path((scratch / "answering").string()) {
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", m_path.c_str());
        EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        EXPECT_EQ(::listen(listener, 1), 0);
        m_pid = ::fork();
        if (m_pid == 0) {
            const int fd = ::accept(listener, nullptr, nullptr);
            tessaly::SimClock clock;
            tessaly::test::FakeCalculator calc(clock);
            calc.lag = 4;  // lets the computer see the lines idle before the answer starts
            bool queued = false;
            for (unsigned char c; ::read(fd, &c, 1) == 1;) {
                if (c == 'w' && ::read(fd, &c, 1) == 1) {
                    calc.setlines(tessaly::Lines::fromcable(c));
                } else if (c == 'r') {
                    const unsigned char lines = calc.readlines().cable();
                    if (!queued && calc.received.size() == 4) {
                        calc.queue(answer);
                        queued = true;
                    }
                    if (::write(fd, &lines, 1) != 1) break;
                }
            }
            ::_exit(0);
        }
        ::close(listener);
    }
    ~AnsweringCable() {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    std::string link() const { return "socket:" + m_path; }

private:
    std::string m_path;
    pid_t m_pid = -1;
};

constexpr const char* kReady = "Calculator is ready!\nTI-92\n";

} // namespace

TEST(CliReady, VirtualCalculatorIsReady) {
    Scratch s;
    for (const auto& how : {std::vector<std::string>{"--link", "virtual", "ready"},
                            std::vector<std::string>{"--link=virtual", "ready"}}) {
        const Outcome o = cli(how, s.path());
        EXPECT_EQ(o.code, 0) << o.err;
        EXPECT_EQ(o.out, kReady);
    }
    const Outcome env = cli({"ready"}, s.path(), "virtual");
    EXPECT_EQ(env.code, 0) << env.err;
    EXPECT_EQ(env.out, kReady);
}

TEST(CliReady, TraceShowsTheExchange) {
    Scratch s;
    const fs::path trace = s.path() / "wire.txt";
    const Outcome o = cli({"--link", "virtual", "--trace", trace.string(), "ready"}, s.path());
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(slurp(trace), "> 09 68 00 00   RDY\n< 89 56 00 00   ACK\n");

    const Outcome bad = cli({"--link", "virtual", "--trace", (s.path() / "no/such/dir/t.txt").string(), "ready"}, s.path());
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("trace file"), std::string::npos) << bad.err;
}

TEST(CliReady, VirtualCalculatorKeepsItsMemoryInAFile) {
    Scratch s;
    const fs::path state = s.path() / "calc.92g";
    const Outcome o = cli({"--link", "virtual:" + state.string(), "ready"}, s.path());
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_TRUE(fs::exists(state));

    std::ofstream(s.path() / "broken.92g") << "not a TI-92 file";
    const Outcome broken = cli({"--link", "virtual:" + (s.path() / "broken.92g").string(), "ready"}, s.path());
    EXPECT_EQ(broken.code, 1);
    EXPECT_NE(broken.err.find("broken.92g"), std::string::npos) << broken.err;
}

TEST(CliReady, CalculatorThroughTheVirtualCable) {
    Scratch s;
    VirtualCable cable(s.path(), {"--pace", "instant"});
    ASSERT_TRUE(cable.listening());
    const Outcome o = cli({"--link", cable.link(), "ready"}, s.path());
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.out, kReady);
    const Outcome again = cli({"ready"}, s.path(), cable.link());
    EXPECT_EQ(again.code, 0) << again.err;
}

TEST(CliReady, SilentCalculatorGivesTheNoContactText) {
    Scratch s;
    struct Case {
        const char* flag;
        const char* reason;
    };
    // Nothing on the cable never takes the first bit; a calculator away from its home
    // screen or one that answers nothing takes the ready check and stays silent.
    const Case cases[] = {
        {"--absent", "Send bit timeout"},
        {"--away", "The calculator did not responded [Receiving byte]"},
        {"--mute", "The calculator did not responded [Receiving byte]"},
    };
    for (const auto& c : cases) {
        VirtualCable cable(s.path(), {c.flag});
        ASSERT_TRUE(cable.listening()) << c.flag;
        const Outcome o = cli({"--link", cable.link(), "ready"}, s.path());
        EXPECT_EQ(o.code, 1) << c.flag;
        EXPECT_EQ(o.out, "") << c.flag;
        EXPECT_EQ(o.err, std::string("No contact!\nCalculator is not ready, please check your cable and port address!\n"
                                     "Error [") + c.reason + "].\n")
            << c.flag;
        EXPECT_LT(o.seconds, 5.0) << c.flag;
    }
}

TEST(CliReady, AnAnswerOtherThanAnAcknowledgementIsNoContact) {
    Scratch s;
    AnsweringCable cable(s.path(), {0x89, 0x5A, 0x00, 0x00});
    const Outcome o = cli({"--link", cable.link(), "ready"}, s.path());
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "No contact!\nCalculator is not ready, please check your cable and port address!\nError [].\n");
}

TEST(CliReady, CtrlCCancelsInsteadOfKilling) {
    Scratch s;
    VirtualCable cable(s.path(), {"--mute", "--pace", "10"});  // ten bits a second: the ready check takes seconds
    ASSERT_TRUE(cable.listening());
    const Outcome o = cli({"--link", cable.link(), "ready"}, s.path(), "", 300);
    EXPECT_EQ(o.code, 1) << "ends on its own, not by the signal";
    // Said as the cancel it is, not as a calculator that did not answer.
    EXPECT_EQ(o.err, "Operation cancelled.\n");
    EXPECT_LT(o.seconds, 2.5);
}

TEST(CliReady, LostVirtualCableIsReported) {
    Scratch s;
    std::string link;
    {
        VirtualCable cable(s.path(), {});
        ASSERT_TRUE(cable.listening());
        link = cable.link();
    }
    const Outcome o = cli({"--link", link, "ready"}, s.path());
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("tessaly92-vcalc --socket"), std::string::npos) << o.err;
}

TEST(CliReady, WrongLinkStringsAreUsageErrors) {
    Scratch s;
    for (const auto& how : {std::vector<std::string>{"--link", "parallel", "ready"},
                            std::vector<std::string>{"--link", "direct:0xZZ", "ready"},
                            std::vector<std::string>{"--link"}}) {
        const Outcome o = cli(how, s.path());
        EXPECT_EQ(o.code, 2) << o.err;
    }
    const Outcome env = cli({"ready"}, s.path(), "cable");
    EXPECT_EQ(env.code, 2);
    EXPECT_NE(env.err.find("TESSALY92_LINK"), std::string::npos) << env.err;
    EXPECT_NE(env.err.find("socket:PATH"), std::string::npos) << env.err;
    const Outcome extra = cli({"--link", "virtual", "ready", "now"}, s.path());
    EXPECT_EQ(extra.code, 2);
}

TEST(CliReady, MissingParallelPortFailsQuicklyWithTheFix) {
    Scratch s;
    const Outcome o = cli({"--link", "ppdev:/dev/does-not-exist", "ready"}, s.path());
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("/dev/does-not-exist"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("modprobe parport_pc ppdev"), std::string::npos) << o.err;
    EXPECT_LT(o.seconds, 2.0);
}

TEST(CliCables, ListsWhatIsFoundAndEndsWell) {
    Scratch s;
    const Outcome o = cli({"cables"}, s.path());
    EXPECT_EQ(o.code, 0) << o.err;
    for (const char* section : {"Parallel ports", "Serial ports", "Silver USB cables"})
        EXPECT_NE(o.out.find(section), std::string::npos) << o.out;
    // A serial device that is no tty is refused with the reason, quickly.
    const Outcome black = cli({"--link", "black:/dev/null", "ready"}, s.path());
    EXPECT_EQ(black.code, 1);
    EXPECT_NE(black.err.find("no modem lines"), std::string::npos) << black.err;
}
