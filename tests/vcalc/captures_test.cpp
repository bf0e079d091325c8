// The virtual TI-92 fed the computer's bytes of each capture of a real TI-92 answers
// with the calculator's bytes of it, byte for byte.
#include <gtest/gtest.h>

#include "wire.h"

namespace tessaly::testing {
namespace {

class VcalcCaptures : public ::testing::TestWithParam<const char*> {};

TEST_P(VcalcCaptures, AnswersLikeTheRealCalculator) {
    const std::string path = capturepath(GetParam());
    Wire w;
    capturememory(w.calc);
    const auto packets = readcapture(path);
    ASSERT_FALSE(packets.empty());
    Bytes expected;
    for (const auto& p : packets) {
        if (p.fromcalc) {
            ASSERT_EQ(w.receive(p.bytes.size()), p.bytes) << "answer after byte " << expected.size();
        } else {
            w.send(p.bytes);
        }
        ASSERT_TRUE(w.state.linkok) << w.state.pendingerror << " after byte " << expected.size();
        expected.insert(expected.end(), p.bytes.begin(), p.bytes.end());
    }
    EXPECT_TRUE(w.calc.quiet()) << "the calculator still has something to say";
    Bytes seen;
    for (auto [dir, b] : w.calc.trace().bytes()) seen.push_back(b);
    EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(RealTI92, VcalcCaptures,
                         ::testing::Values("dirlist.log", "recv_var_x.log", "recv_var_y.log", "recv_vars.log",
                                           "send_var_y.log", "send_vars.log", "create_folder.log", "delete_var_x.log",
                                           "get_version.log", "send_backup.log", "device_info.log"),
                         [](const auto& param) {
                             std::string n = param.param;
                             return n.substr(0, n.find('.'));
                         });

TEST(VcalcCaptureEffects, SendingIntoAFolderCreatesIt) {
    Wire w;
    capturememory(w.calc);
    for (const auto& p : readcapture(capturepath("create_folder.log")))
        p.fromcalc ? (void)w.receive(p.bytes.size()) : w.send(p.bytes);
    const CalcVariable* v = w.calc.memory().find("new_fld\\a1234567");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data, (Bytes{0x00, 0x0A, 0x40, 0x00, 0x21, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x23}));
}

TEST(VcalcCaptureEffects, DelVarTypedOnTheHomeScreenDeletesTheVariable) {
    Wire w;
    capturememory(w.calc);
    for (const auto& p : readcapture(capturepath("delete_var_x.log")))
        p.fromcalc ? (void)w.receive(p.bytes.size()) : w.send(p.bytes);
    EXPECT_EQ(w.calc.memory().find("test\\z"), nullptr);
    EXPECT_NE(w.calc.memory().find("test\\x"), nullptr);
}

TEST(VcalcCaptureEffects, BackupStartsLikeTheRealOne) {
    const std::string path = capturepath("recv_backup.log");
    const auto packets = readcapture(path);
    ASSERT_GT(packets.size(), 8u);
    Wire w;
    capturememory(w.calc);
    // Ready check, request, acknowledge, first block header, acknowledge + data request,
    // acknowledge, and the opening of the first data packet.
    std::size_t i = 0;
    for (; i < 8; ++i) {
        const auto& p = packets[i];
        if (p.fromcalc)
            ASSERT_EQ(w.receive(p.bytes.size()), p.bytes) << "packet " << i;
        else
            w.send(p.bytes);
    }
    ASSERT_TRUE(packets[8].fromcalc);
    const Bytes opening(packets[8].bytes.begin(), packets[8].bytes.begin() + 8);
    EXPECT_EQ(w.receive(8), opening);
}

} // namespace
} // namespace tessaly::testing
