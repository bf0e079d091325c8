// The virtual Titanium's USB end through its socket, as a program on the computer meets it:
// the raw packet rules, the error packets, and programs that come and go.
#include <gtest/gtest.h>

#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "files/filetestutil.h"
#include "link/clock.h"
#include "vcalc/usbserver.h"

namespace tessaly::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes kAck{0, 0, 0, 2, 5, 0xE0, 0x00};

Bytes raw(std::uint8_t type, const Bytes& payload) {
    const auto n = payload.size();
    Bytes out{static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
              static_cast<std::uint8_t>(n), type};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// A program on the port, transfer by transfer.
struct Client {
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    explicit Client(const std::string& path) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        path.copy(a.sun_path, sizeof a.sun_path - 1);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    }
    ~Client() { ::close(fd); }
    void put(const Bytes& b) const { ::send(fd, b.data(), b.size(), MSG_NOSIGNAL); }
    // The next transfer within the wait; nullopt when none came, empty when the port closed.
    std::optional<Bytes> get(int ms = 2000) const {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return std::nullopt;
        Bytes b(1 << 16);
        const ssize_t n = ::recv(fd, b.data(), b.size(), 0);
        b.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return b;
    }
    // A whole virtual packet, every piece acknowledged; its type and data.
    std::pair<std::uint16_t, Bytes> getvirtual() const {
        Bytes whole;
        for (;;) {
            const auto piece = get();
            if (!piece || piece->size() < 5) return {0, {}};
            put(kAck);
            whole.insert(whole.end(), piece->begin() + 5, piece->end());
            if ((*piece)[4] == 4) break;
        }
        if (whole.size() < 6) return {0, {}};
        return {static_cast<std::uint16_t>(whole[4] << 8 | whole[5]), Bytes(whole.begin() + 6, whole.end())};
    }
    // A virtual packet in pieces of at most 1023 bytes, each of which must be acknowledged.
    void putvirtual(std::uint16_t type, const Bytes& data) const {
        const auto n = data.size();
        Bytes whole{static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 8),
                    static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(type >> 8), static_cast<std::uint8_t>(type)};
        whole.insert(whole.end(), data.begin(), data.end());
        for (std::size_t at = 0; at < whole.size(); at += 0x3FF) {
            const auto end = std::min(whole.size(), at + 0x3FF);
            put(raw(end == whole.size() ? 4 : 3, Bytes(whole.begin() + std::ptrdiff_t(at), whole.begin() + std::ptrdiff_t(end))));
            EXPECT_EQ(get(), kAck);
        }
    }
    std::pair<std::uint16_t, Bytes> exchange(std::uint16_t type, const Bytes& data) const {
        putvirtual(type, data);
        return getvirtual();
    }
};

const Bytes kNormalMode{0, 3, 0, 1, 0, 0, 0, 0, 0x07, 0xD0};
// A request to send main\NAME, a string of SIZE bytes: its type, archived and locked attributes.
Bytes offer(const std::string& name, std::uint32_t size) {
    Bytes d{0, static_cast<std::uint8_t>(name.size())};
    for (char c : name) d.push_back(static_cast<std::uint8_t>(c));
    d.insert(d.end(), {0, static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
                       static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size), 1, 0, 3,
                       0, 2, 0, 4, 0xF0, 0x0C, 0, 0x0C, 0, 3, 0, 1, 0, 0, 0x41, 0, 1, 0});
    return d;
}

class UsbPort : public ::testing::Test {
protected:
    void SetUp() override {
        calc.loaddemo();
        std::string why;
        ASSERT_TRUE(server.listen(path, &why)) << why;
    }
    void TearDown() override { stop(); }
    void run() { thread = std::thread([this] { server.run(); }); }
    // The server ends, so the calculator's memory can be looked at.
    void stop() {
        server.stop();
        if (thread.joinable()) thread.join();
    }

    tessaly::test::TempDir dir;
    std::string path = (dir / "usb").string();
    SystemClock clock;
    VirtualCalculator calc{clock, kTI89Titanium};
    UsbServer server{calc};
    std::thread thread;
};

TEST_F(UsbPort, RawPacketRules) {
    run();
    Client c(path);
    c.put(raw(1, {0, 0, 4, 0}));
    EXPECT_EQ(c.get(), raw(2, {0, 0, 3, 0xFF}));
    // Longer than the buffer granted, and shorter than its own length: refused unanswered.
    c.put(raw(4, Bytes(0x400, 0)));
    EXPECT_EQ(c.get(200), std::nullopt);
    c.put(Bytes{0, 0, 0, 10, 4, 0, 0});
    EXPECT_EQ(c.get(200), std::nullopt);
    // A virtual packet whose last piece ends before its size: the piece is acknowledged, the
    // packet answered with a transmission error.
    c.put(raw(4, {0, 0, 0, 20, 0, 1, 0, 3}));
    EXPECT_EQ(c.get(), kAck);
    EXPECT_EQ(c.getvirtual(), (std::pair<std::uint16_t, Bytes>{0xEE00, {0, 8}}));
    // The screen is four pieces, each sent once the one before was acknowledged.
    c.putvirtual(vtype::ParameterRequest, {0, 1, 0, 0x22});
    EXPECT_EQ(c.get()->size(), 5u + 0x3FF);
    EXPECT_EQ(c.get(100), std::nullopt);
    c.put(kAck);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(c.get()->size(), 5u + 0x3FF);
        c.put(kAck);
    }
    EXPECT_EQ(c.get()->size(), 5u + (6 + 7 + 3840) - 3 * 0x3FF);
    c.put(kAck);
    EXPECT_EQ(c.exchange(vtype::SetMode, kNormalMode).first, vtype::ModeAck);
}

TEST_F(UsbPort, ErrorPackets) {
    calc.setmemorycapacity(calc.state().mem.usedbytes() + 100);
    calc.misbehaviour().awayfromhome = true;
    run();
    Client c(path);
    const std::pair<std::uint16_t, Bytes> busy{vtype::Error, {0, 0x34}}, locked{vtype::Error, {0, 0x12}},
        nomemory{vtype::Error, {0, 0x0C}};
    EXPECT_EQ(c.exchange(vtype::SetMode, kNormalMode), busy);
    EXPECT_EQ(c.exchange(vtype::ParameterSet, {0, 0x37, 0, 1, 1}).first, vtype::DataAck);
    EXPECT_EQ(c.exchange(vtype::SetMode, kNormalMode).first, vtype::ModeAck);
    EXPECT_EQ(c.exchange(vtype::RequestToSend, offer("secret", 8)), locked);
    EXPECT_EQ(c.exchange(vtype::RequestToSend, offer("huge", 200)), nomemory);
    EXPECT_EQ(c.exchange(vtype::RequestToSend, offer("fits", 8)).first, vtype::DataAck);
    EXPECT_EQ(c.exchange(vtype::VariableContents, {0, 6, 0, 'h', 'i', 0, 0, 0x2D}).first, vtype::DataAck);
    c.putvirtual(vtype::Eot, {});
    stop();
    const CalcVariable* v = calc.memory().find("main\\fits");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data.size(), 8u);
}

// A program that leaves in the middle of a variable leaves nothing half-stored, and the next
// one starts afresh; one that comes while the port is held is told it is in use.
TEST_F(UsbPort, ProgramsComeAndGo) {
    run();
    {
        Client first(path);
        EXPECT_EQ(first.exchange(vtype::RequestToSend, offer("big", 3000)).first, vtype::DataAck);
        Bytes piece{0, 0, 0x0B, 0xB8, 0, 0x0D};  // 3000 bytes of contents, the first of them
        piece.resize(0x3FF, 0);
        first.put(raw(3, piece));
        EXPECT_EQ(first.get(), kAck);
        Client second(path);
        EXPECT_EQ(second.get(), Bytes{kCableBusy});
    }
    Client next(path);
    next.put(raw(1, {0, 0, 4, 0}));
    EXPECT_EQ(next.get(), raw(2, {0, 0, 3, 0xFF}));
    EXPECT_EQ(next.exchange(vtype::SetMode, kNormalMode).first, vtype::ModeAck);
    stop();
    EXPECT_EQ(calc.memory().find("main\\big"), nullptr);
}

// Unplugged after so many bytes: the transfer that crosses them is cut there, the port
// closes, and the next program finds nobody answering.
TEST_F(UsbPort, StopAfterBytes) {
    // The handshake both ways, set mode and its acknowledgement, then 4 bytes of the answer.
    calc.misbehaviour().stopafterbytes = 9 + 9 + 21 + 7 + 4;
    run();
    {
        Client c(path);
        c.put(raw(1, {0, 0, 4, 0}));
        EXPECT_EQ(c.get(), raw(2, {0, 0, 3, 0xFF}));
        c.putvirtual(vtype::SetMode, kNormalMode);
        EXPECT_EQ(c.get(), (Bytes{0, 0, 0, 6}));
        EXPECT_EQ(c.get(), Bytes{});
    }
    Client later(path);
    later.put(raw(1, {0, 0, 4, 0}));
    EXPECT_EQ(later.get(200), std::nullopt);
}

} // namespace
} // namespace tessaly::testing
