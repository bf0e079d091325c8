// The later models' Flash as the calculator keeps it: parts judged only once whole, the
// wait for a system after a broken-off one, the clock, and the Flash beside the state file.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include <unistd.h>

#include "files/safefile.h"
#include "support/flashsamples.h"
#include "vcalc/calcpackets.h"
#include "vcalc/exchanges.h"
#include "vcalc/statefile.h"
#include "wire.h"

namespace tessaly::testing {
namespace {

struct Answer {
    std::uint8_t command = 0;
    Bytes data;
    std::uint8_t reason() const { return data.size() > 2 ? data[2] : 0; }
};

// The computer's end, packet by packet, as the link library drives the Flash exchanges.
struct FlashWire : Wire {
    explicit FlashWire(const CalculatorModel& model) : Wire(model) { calc.setpace(0); }
    void put(std::uint8_t command, const Bytes& data = {}) {
        const CommandInfo* info = commandinfo(command);
        send(info && info->carriesdata ? makepacket(0x08, command, data) : shortpacket(0x08, command));
    }
    Answer get() {
        const Bytes head = receive(4);
        if (head.size() < 4) return {};
        Answer a{head[1], {}};
        const CommandInfo* info = commandinfo(head[1]);
        if (info && info->carriesdata) {
            std::size_t n = head[2] | head[3] << 8;
            if (n == 0 && head[1] == CmdData) n = 65536;
            a.data = receive(n + 2);
            a.data.resize(n);
        }
        return a;
    }
    // Offers a part block by block; the calculator's last answer (ACK: taken).
    Answer offer(std::uint8_t type, std::string_view name, const Bytes& data, std::size_t stopafterblocks = 99) {
        put(CmdSendVar, headerdata(static_cast<std::uint32_t>(data.size()), type, name, 1, 0));
        if (Answer a = get(); a.command != CmdAck) return a;
        for (std::size_t at = 0, block = 0;; at += 65536, ++block) {
            if (Answer cts = get(); cts.command != CmdDataRequest || block == stopafterblocks) return cts;
            put(CmdAck);
            put(CmdData, Bytes(data.begin() + static_cast<std::ptrdiff_t>(at),
                               data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), at + 65536))));
            EXPECT_EQ(get().command, CmdAck);
            const bool last = at + 65536 >= data.size();
            put(last ? CmdEnd : CmdContinue);
            if (Answer a = get(); last || a.command != CmdAck) return a;
        }
    }
    // Asks for something the calculator sends in blocks; nullopt with the refusal otherwise.
    std::optional<Bytes> request(std::uint8_t type, std::string_view name, Answer* refusal = nullptr) {
        put(CmdRequest, headerdata(0, type, name));
        get();
        if (Answer var = get(); var.command != CmdVarHeader) {
            if (refusal) *refusal = var;
            return std::nullopt;
        }
        Bytes data;
        for (;;) {
            put(CmdAck);
            put(CmdDataRequest);
            get();
            const Answer block = get();
            data.insert(data.end(), block.data.begin(), block.data.end());
            put(CmdAck);
            if (get().command != CmdContinue) break;
        }
        put(CmdAck);
        return data;
    }
};

const Bytes& partdata(const FlashFile& f) { return f.payload()->data; }

class Flash : public ::testing::TestWithParam<const CalculatorModel*> {};

TEST_P(Flash, PartsAreJudgedWholeAndStoredOrRefused) {
    const CalculatorModel& model = *GetParam();
    FlashWire w(model);
    w.calc.loaddemo();
    // Two and a half blocks: the middle one goes with the length word 0000.
    const Bytes big = partdata(samples::application(model, "big", 150000));
    EXPECT_EQ(w.offer(kFlashApplication, "big", big).command, CmdAck);
    EXPECT_EQ(w.request(kFlashApplication, "big"), big);
    EXPECT_EQ(w.request(kFlashApplication, "demoapp")->size(), w.calc.flash().application("demoapp")->data.size());

    // Another model's application is refused at the end, and the copy of that name is gone.
    const CalculatorModel& other = model.flashdevice == 0x98 ? kTI92Plus : kTI89;
    EXPECT_EQ(w.offer(kFlashApplication, "big", partdata(samples::application(other, "big", 100))).reason(), 0x07);
    EXPECT_EQ(w.calc.flash().application("big"), nullptr);
    EXPECT_EQ(w.offer(kFlashApplication, "bad", partdata(samples::application(model, "bad", 100, false))).reason(), 0x08);
    Bytes cut = partdata(samples::application(model, "cut", 100));
    cut.pop_back();
    EXPECT_EQ(w.offer(kFlashApplication, "cut", cut).reason(), 0x08);
    EXPECT_EQ(w.offer(kFlashApplication, "huge", Bytes(model.flashroom + 1, 0)).reason(), model.refusal.noroom);
    EXPECT_EQ(w.calc.flash().applications.size(), 1u);

    // The ID list and the certificate; none on a system never upgraded.
    const auto ids = w.request(0x22, "");
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->size(), 22u);
    const auto cert = w.request(0x20, "");
    ASSERT_TRUE(cert);
    EXPECT_GT(cert->size(), 200u);
    w.calc.flash().os = {1, 0};
    Answer refusal;
    EXPECT_FALSE(w.request(0x22, "", &refusal));
    EXPECT_EQ(refusal.command, CmdSkip);
    EXPECT_EQ(w.offer(kFlashApplication, "late", partdata(samples::application(model, "late", 100))).reason(), 0x07);
}

TEST_P(Flash, BrokenOffSystemLeavesTheCalculatorWaiting) {
    const CalculatorModel& model = *GetParam();
    FlashWire w(model);
    const Bytes system = partdata(samples::system(model, 3, 11, 70000));
    EXPECT_EQ(w.offer(kFlashOs, "", system, 1).command, CmdDataRequest);
    w.calc.disconnect();
    EXPECT_TRUE(w.calc.flash().waiting);
    w.put(CmdVersion);
    EXPECT_EQ(w.get().reason(), 0x24);
    w.put(CmdReady);
    EXPECT_EQ(w.get().command, CmdAck);
    EXPECT_EQ(w.offer(kFlashOs, "", partdata(samples::system(model, 3, 11, 100, false))).reason(), 0x08);
    EXPECT_TRUE(w.calc.flash().waiting);

    EXPECT_EQ(w.offer(kFlashOs, "", system).command, CmdAck);
    EXPECT_FALSE(w.calc.flash().waiting);
    w.put(CmdVersion);
    w.get();
    w.put(CmdDataRequest);
    w.get();
    EXPECT_EQ(w.get().data[0], 3);
    w.put(CmdAck);
}

TEST_P(Flash, ClockRunsFromTheSetTimeWhereTheSystemHasOne) {
    const CalculatorModel& model = *GetParam();
    FlashWire w(model);
    const Bytes set = {0, 0, 0, 0, 0, 0, 0x07, 0xD5, 3, 14, 15, 9, 26, 2, 12, 0xFF};
    w.put(CmdSendVar, headerdata(16, 0x18, "Clock", 1, 0));
    ASSERT_EQ(w.get().command, CmdAck);
    ASSERT_EQ(w.get().command, CmdDataRequest);
    w.put(CmdAck);
    w.put(CmdData, set);
    EXPECT_EQ(w.get().command, CmdAck);
    w.put(CmdEnd);
    EXPECT_EQ(w.get().command, CmdAck);
    const auto shown = w.request(0x18, "Clock");
    ASSERT_TRUE(shown);
    EXPECT_EQ(Bytes(shown->begin(), shown->begin() + 11), Bytes(set.begin(), set.begin() + 11));  // to the minute
    EXPECT_EQ(Bytes(shown->begin() + 13, shown->end()), Bytes(set.begin() + 13, set.end()));

    // 30 February is no date; a 2.05 system or a first hardware has no clock.
    Bytes bad = set;
    bad[8] = 2;
    bad[9] = 30;
    w.put(CmdSendVar, headerdata(16, 0x18, "Clock", 1, 0));
    w.get();
    w.get();
    w.put(CmdAck);
    w.put(CmdData, bad);
    EXPECT_EQ(w.get().command, CmdSkip);
    w.calc.flash().hardwarerevision = static_cast<std::uint8_t>(1 - model.hardwarefirst);
    EXPECT_FALSE(w.request(0x18, "Clock"));
    w.calc.flash().hardwarerevision = model.release.hardwarerevision;
    w.calc.flash().os = {2, 5};
    EXPECT_FALSE(w.request(0x18, "Clock"));
}

INSTANTIATE_TEST_SUITE_P(Later, Flash, ::testing::Values(&kTI92Plus, &kV200, &kTI89, &kTI89Titanium),
                         [](const auto& p) { return std::string(p.param->id); });

TEST(FlashState, KeptBesideTheStateFileAndOptionalInAnOlderOne) {
    const auto dir = std::filesystem::temp_directory_path() / ("flashstate-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "calc.89g").string();
    SimClock clock;
    {
        VirtualCalculator calc(clock, kTI89);
        calc.loaddemo();
        ASSERT_TRUE(calc.attachstate(path, nullptr));
        CalcFlash& f = calc.flash();
        f.applications.push_back({"my app", {1, 2, 3}});
        f.os = {3, 10};
        f.waiting = true;
        f.clockoffset = -12345;
        f.timeformat = 12;
        calc.state().flashchanged();
    }
    VirtualCalculator again(clock, kTI89);
    std::string error;
    ASSERT_TRUE(again.attachstate(path, &error)) << error;
    const CalcFlash& f = again.flash();
    ASSERT_EQ(f.applications.size(), 2u);
    EXPECT_EQ(f.applications[1].name, "my app");
    EXPECT_EQ(f.applications[1].data, (Bytes{1, 2, 3}));
    EXPECT_EQ(std::tuple(f.os[1], f.waiting, f.clockoffset, f.timeformat), std::tuple(10, true, -12345, 12));

    // A state file from before Flash: the calculator keeps its demo application.
    std::filesystem::remove(flashstatepath(path));
    VirtualCalculator older(clock, kTI89);
    older.loaddemo();
    ASSERT_TRUE(older.attachstate(path, &error)) << error;
    EXPECT_NE(older.flash().application("demoapp"), nullptr);
    // A damaged one is refused, not half taken.
    ASSERT_TRUE(savewhole(flashstatepath(path), "tessaly92-vcalc flash 1\nsystem 2 9 hardware 1 waiting 0 clock 0 1 24\n"
                                                "application 99 x\nab",
                          nullptr));
    VirtualCalculator damaged(clock, kTI89);
    EXPECT_FALSE(damaged.attachstate(path, &error));
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace tessaly::testing
