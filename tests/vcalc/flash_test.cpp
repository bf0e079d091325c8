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

// The computer's end, packet by packet, as the link library drives the Flash exchanges.
struct FlashWire : Wire {
    explicit FlashWire(const CalculatorModel& model) : Wire(model) { calc.setpace(0); }
    void put(std::uint8_t command, const Bytes& data = {}) {
        send(commandinfo(command)->carriesdata ? makepacket(0x08, command, data) : shortpacket(0x08, command));
    }
    // The packet's head and data (a 0000 length word: 64 KiB), without the checksum.
    Bytes get() {
        Bytes p = receive(4);
        if (p.size() < 4 || !commandinfo(p[1])->carriesdata) return p;
        const std::size_t n = (p[2] | p[3] << 8) ? (p[2] | p[3] << 8) : 65536;
        const Bytes data = receive(n + 2);
        p.insert(p.end(), data.begin(), data.end() - std::min<long>(2, long(data.size())));
        return p;
    }
    // Offers a part block by block, stopping before block `stop`; the calculator's last packet.
    Bytes offer(std::uint8_t type, const Bytes& data, std::size_t stop = 99) {
        put(CmdSendVar, headerdata(static_cast<std::uint32_t>(data.size()), type, "", 1, 0));
        Bytes a = get();
        for (std::size_t at = 0; a[1] == CmdAck; at += 65536) {
            if (a = get(); a[1] != CmdDataRequest || at / 65536 == stop) return a;
            put(CmdAck);
            put(CmdData, Bytes(data.begin() + long(at), data.begin() + long(std::min(data.size(), at + 65536))));
            get();
            put(at + 65536 >= data.size() ? CmdEnd : CmdContinue);
            if (a = get(); at + 65536 >= data.size()) return a;
        }
        return a;
    }
    // What the calculator sends in blocks on this request; nullopt when it refuses.
    std::optional<Bytes> request(std::uint8_t type, std::string_view name) {
        put(CmdRequest, headerdata(0, type, name));
        get();
        if (get()[1] != CmdVarHeader) return std::nullopt;
        Bytes data;
        do {
            put(CmdAck);
            put(CmdDataRequest);
            get();
            const Bytes block = get();
            data.insert(data.end(), block.begin() + 4, block.end());
            put(CmdAck);
        } while (get()[1] == CmdContinue);
        put(CmdAck);
        return data;
    }
};

// The refusal's reason byte; 0 for an acknowledgement.
std::uint8_t reason(const Bytes& p) { return p[1] == CmdSkip ? p.back() : 0; }
Bytes app(const CalculatorModel& m, std::size_t n, bool sealed = true) {
    return samples::application(m, "tool", n, sealed).payload()->data;
}

class Flash : public ::testing::TestWithParam<const CalculatorModel*> {};

TEST_P(Flash, PartsAreJudgedWholeAndStoredOrRefused) {
    const CalculatorModel& model = *GetParam();
    FlashWire w(model);
    w.calc.loaddemo();
    const Bytes big = app(model, 150000);  // the middle block goes with the length word 0000
    EXPECT_EQ(reason(w.offer(kFlashApplication, big)), 0);
    EXPECT_EQ(w.request(kFlashApplication, "tool"), big);
    EXPECT_EQ(w.request(kFlashApplication, "demoapp"), w.calc.flash().application("demoapp")->data);
    // Another model's is refused at the end, and the copy of that name is gone with it.
    EXPECT_EQ(reason(w.offer(kFlashApplication, app(model.flashdevice == 0x98 ? kTI92Plus : kTI89, 100))), 0x07);
    EXPECT_EQ(w.calc.flash().application("tool"), nullptr);
    EXPECT_EQ(reason(w.offer(kFlashApplication, app(model, 100, false))), 0x08);
    Bytes cut = app(model, 100);
    cut.pop_back();
    EXPECT_EQ(reason(w.offer(kFlashApplication, cut)), 0x08);
    EXPECT_EQ(reason(w.offer(kFlashApplication, Bytes(model.flashroom + 1, 0))), model.refusal.noroom);
    EXPECT_EQ(w.calc.flash().applications.size(), 1u);
    EXPECT_EQ(w.request(0x22, "")->size(), 22u);  // the ID list
    EXPECT_GT(w.request(0x20, "")->size(), 200u);  // the certificate
    // A system never upgraded has neither, and takes no application.
    w.calc.flash().os = {1, 0};
    EXPECT_FALSE(w.request(0x22, ""));
    EXPECT_EQ(reason(w.offer(kFlashApplication, app(model, 100))), 0x07);
}

TEST_P(Flash, BrokenOffSystemLeavesTheCalculatorWaiting) {
    FlashWire w(*GetParam());
    const Bytes system = samples::system(*GetParam(), 3, 11, 70000).payload()->data;
    EXPECT_EQ(w.offer(kFlashOs, system, 1)[1], CmdDataRequest);
    w.calc.disconnect();
    w.put(CmdVersion);
    EXPECT_EQ(reason(w.get()), 0x24);
    w.put(CmdReady);
    EXPECT_EQ(w.get()[1], CmdAck);
    EXPECT_EQ(reason(w.offer(kFlashOs, samples::system(*GetParam(), 3, 11, 100, false).payload()->data)), 0x08);
    EXPECT_TRUE(w.calc.flash().waiting);
    EXPECT_EQ(reason(w.offer(kFlashOs, system)), 0);
    EXPECT_EQ(std::tuple(w.calc.flash().waiting, w.calc.flash().os[1]), std::tuple(false, 11));
}

TEST_P(Flash, ClockRunsFromTheSetTimeWhereTheSystemHasOne) {
    const CalculatorModel& model = *GetParam();
    FlashWire w(model);
    auto set = [&](const Bytes& clock) {
        w.put(CmdSendVar, headerdata(16, 0x18, "Clock", 1, 0));
        w.get();
        w.get();
        w.put(CmdAck);
        w.put(CmdData, clock);
        return w.get()[1];
    };
    const Bytes clock = {0, 0, 0, 0, 0, 0, 0x07, 0xD5, 3, 14, 15, 9, 26, 2, 12, 0xFF};
    ASSERT_EQ(set(clock), CmdAck);
    w.put(CmdEnd);
    w.get();
    const Bytes shown = *w.request(0x18, "Clock");
    EXPECT_EQ(Bytes(shown.begin(), shown.begin() + 12), Bytes(clock.begin(), clock.begin() + 12));  // to the minute
    EXPECT_EQ(Bytes(shown.begin() + 13, shown.end()), Bytes(clock.begin() + 13, clock.end()));
    Bytes february30 = clock;
    february30[8] = 2, february30[9] = 30;
    EXPECT_EQ(set(february30), CmdSkip);
    // A first hardware or a 2.05 system has no clock.
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
    VirtualCalculator calc(clock, kTI89), again(clock, kTI89), older(clock, kTI89), damaged(clock, kTI89);
    calc.loaddemo();
    ASSERT_TRUE(calc.attachstate(path, nullptr));
    calc.flash().applications.push_back({"my app", {1, 2, 3}});
    calc.flash().os = {3, 10};
    calc.flash().waiting = true;
    calc.flash().clockoffset = -12345;
    calc.state().flashchanged();
    std::string error;
    ASSERT_TRUE(again.attachstate(path, &error)) << error;
    const CalcFlash& f = again.flash();
    ASSERT_EQ(f.applications.size(), 2u);
    EXPECT_EQ(std::tuple(f.applications[1].name, f.applications[1].data), std::tuple("my app", Bytes{1, 2, 3}));
    EXPECT_EQ(std::tuple(f.os[1], f.waiting, f.clockoffset), std::tuple(10, true, -12345));
    // A state file from before Flash: the calculator keeps its demo application.
    std::filesystem::remove(flashstatepath(path));
    older.loaddemo();
    ASSERT_TRUE(older.attachstate(path, &error)) << error;
    EXPECT_NE(older.flash().application("demoapp"), nullptr);
    // A damaged one is refused, not half taken.
    ASSERT_TRUE(savewhole(flashstatepath(path), "tessaly92-vcalc flash 1\nsystem 2 9 hardware 1 waiting 0 clock 0 1 24\n"
                                                "application 99 x\nab", nullptr));
    EXPECT_FALSE(damaged.attachstate(path, &error));
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace tessaly::testing
