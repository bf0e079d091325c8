// The byte layer over a byte-level cable: runs, pacing, budgets, Cancel and the trace, on
// a scripted stream and simulated time.
#include <gtest/gtest.h>

#include <deque>

#include "link/link.h"
#include "link/packets.h"
#include "support/fakecalculator.h"

using namespace tessaly;
using tessaly::test::CountingPump;

namespace {

class FakeStream final : public ByteStream {
public:
    explicit FakeStream(SimClock& clock) : m_clock(clock) {}
    bool write(std::span<const std::uint8_t> bytes) override {
        if (failwrites) return false;
        runs.emplace_back(bytes.begin(), bytes.end());
        writetimes.push_back(m_clock.micros());
        return true;
    }
    int read(std::span<std::uint8_t> out, std::uint32_t timeoutms) override {
        ++reads;
        if (lost) return -1;
        if (incoming.empty()) {
            m_clock.sleep(timeoutms);
            return 0;
        }
        std::size_t n = 0;
        while (n < out.size() && !incoming.empty()) {
            out[n++] = incoming.front();
            incoming.pop_front();
        }
        return static_cast<int>(n);
    }
    void flushinput() override { incoming.clear(); }
    std::string error() const override { return lost ? "gone" : ""; }

    std::vector<std::vector<std::uint8_t>> runs;
    std::vector<std::uint64_t> writetimes;
    std::deque<std::uint8_t> incoming;
    bool failwrites = false, lost = false;
    int reads = 0;

private:
    SimClock& m_clock;
};

struct StreamWire {
    SimClock clock;
    FakeStream stream{clock};
    CountingPump pump;
    TransferState state;
    Link link{stream, clock, pump, state};
    MemoryTrace trace;
    StreamWire() {
        state.linkok = true;
        link.settrace(&trace);
    }
    std::uint64_t ms() { return clock.micros() / 1000; }
};

} // namespace

TEST(ByteStreamLink, PacketsGoInWholeRunsAndAreTracedInOrder) {
    for (bool pacing : {true, false}) {
        StreamWire w;
        w.link.setpacing(pacing);
        const std::vector<std::uint8_t> data(70, 0x11);
        sendpacket(w.link, CmdData, data);
        w.stream.incoming = {0x89, 0x56, 0x00, 0x00};
        EXPECT_TRUE(waitack(w.link));
        ASSERT_EQ(w.stream.runs.size(), 3u);
        EXPECT_EQ(w.stream.runs[0].size(), kWriteRun);
        EXPECT_EQ(w.stream.runs[1].size(), kWriteRun);
        EXPECT_EQ(w.stream.runs[2].size(), 4u + 70 + 2 - 2 * kWriteRun) << "only the packet's tail is short";
        EXPECT_EQ(w.trace.sent().size(), 76u);
        EXPECT_EQ(w.trace.received(), (std::vector<std::uint8_t>{0x89, 0x56, 0x00, 0x00}));
        EXPECT_EQ(w.pump.count, 76) << "once a byte, as on the line-level cables";
        // Paced: the third run waits until the calculator has had 50 us for each byte before it.
        const std::uint64_t least = pacing ? 2 * kWriteRun * kPaceMicros : 0;
        EXPECT_GE(w.stream.writetimes[2], least);
        EXPECT_LE(w.stream.writetimes[2], least + 2000);
    }
}

TEST(ByteStreamLink, FailuresSayWhatTheLineLevelCablesSay) {
    struct Case {
        const char* name;
        bool failwrite, lost;
        std::string_view text;
        std::uint64_t minms, maxms;
    };
    const Case cases[] = {
        {"silent calculator", false, false, kReceiveTimeout, 1500, 1550},
        {"cable lost on reading", false, true, kReceiveTimeout, 0, 0},
        {"cable takes no byte", true, false, kSendBitTimeout, 0, 0},
    };
    for (const auto& c : cases) {
        StreamWire w;
        w.clock.advance(7'000'000);  // the budget counts from the byte, not from zero
        w.stream.failwrites = c.failwrite;
        w.stream.lost = c.lost;
        sendready(w.link);
        const std::uint64_t start = w.ms();
        w.link.receivebyte();
        EXPECT_FALSE(w.state.linkok) << c.name;
        EXPECT_EQ(w.state.pendingerror, c.text) << c.name;
        EXPECT_GE(w.ms() - start, c.minms) << c.name;
        EXPECT_LE(w.ms() - start, c.maxms) << c.name;
        EXPECT_EQ(w.link.cableerror(), c.lost ? "gone" : "") << c.name;
    }
}

TEST(ByteStreamLink, CancelDuringASilentWaitStopsWithinASlice) {
    StreamWire w;
    struct CancelAfter final : MessagePump {
        TransferState* state = nullptr;
        int left = 6;
        void processmessages() override {
            if (--left <= 0) state->linkok = false;
        }
    } cancel;
    cancel.state = &w.state;
    Link link(w.stream, w.clock, cancel, w.state);
    link.sendstring({0x09, 0x68, 0x00, 0x00});  // a pass a byte: four
    link.receivebyte();                          // and one a slice of the wait
    EXPECT_FALSE(w.state.linkok);
    EXPECT_TRUE(w.state.pendingerror.empty()) << "a Cancel is no timeout";
    EXPECT_EQ(w.stream.reads, 2);
    EXPECT_LE(w.ms(), 100u);
    link.sendstring({0x09, 0x56, 0x00, 0x00});
    EXPECT_EQ(w.stream.runs.size(), 1u) << "nothing more once cancelled";
}

TEST(ByteStreamLink, ARefusalDropsTheStrayByteAfterIt) {
    StreamWire w;
    w.stream.incoming = {0x89, 0x36, 0x01, 0x00, 0x01, 0x01, 0x00, 0xEE};
    const Packet p = receivepacket(w.link);
    EXPECT_TRUE(p.is(CmdSkip));
    EXPECT_TRUE(w.stream.incoming.empty());
    w.stream.incoming = {0x89, 0x56, 0x00, 0x00};
    EXPECT_TRUE(waitack(w.link));
    EXPECT_EQ(w.trace.received().size(), 11u) << "the stray byte never reaches the trace";
}
