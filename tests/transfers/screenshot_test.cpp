#include <gtest/gtest.h>

#include "transfers/rig.h"
#include "transfers/screenshot.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

enum class Way { Screen, FCamera };

template <class Rig>
ScreenshotResult shoot(Rig& rig, Way way) {
    TransferSession session(rig.state, rig.shell);
    if (!session) return {};
    return way == Way::Screen ? getscreenshot(rig.link, rig.shell) : getfargoscreenshot(rig.link, rig.shell);
}

using Bitmap = std::array<std::uint8_t, kScreenBytes>;

constexpr Rgb kWhite{255, 255, 255}, kBlack{0, 0, 0}, kDarkGrey{128, 128, 128}, kLightGrey{192, 192, 192};

int nonwhite(const ScreenPicture& p) {
    int n = 0;
    for (int y = 0; y < kScreenHeight; ++y)
        for (int x = 0; x < kScreenWidth; ++x) n += p.colour(x, y) != kWhite;
    return n;
}

bool dark(const CalcScreen& s, int x, int y) { return s[static_cast<std::size_t>(y) * 30 + x / 8] & (0x80 >> (x % 8)); }

// The first `bytes` bytes of the calculator's screen drawn, the rest white.
void expectdrawn(const ScreenPicture& p, const CalcScreen& screen, std::size_t bytes) {
    ScreenPicture want;
    for (std::size_t k = 0; k < bytes; ++k) want.addbyte(k, screen[k], 1);
    int wrong = 0;
    for (int y = 0; y < kScreenHeight; ++y)
        for (int x = 0; x < kScreenWidth; ++x) wrong += p.colour(x, y) != want.colour(x, y);
    EXPECT_EQ(wrong, 0);
}

Bytes with(Bytes head, const Bitmap& bitmap) {
    head.insert(head.end(), bitmap.begin(), bitmap.end());
    return head;
}

// The calculator's answer to the screen request, or FCamera's stream.
std::map<std::size_t, Bytes> answer(Way way, const Bitmap& plane1, const std::optional<Bitmap>& plane2) {
    if (way == Way::FCamera) {
        Bytes stream = with({'F', 0, 0, 0, static_cast<std::uint8_t>(plane2 ? 2 : 1)}, plane1);
        if (plane2) stream = with(stream, *plane2);
        return {{0, stream}};
    }
    Bytes reply = with({0x89, 0x56, 0x00, 0x00, 0x89, 0x15, 0x00, 0x0F}, plane1);
    const std::uint16_t sum = checksum(plane1);
    reply.insert(reply.end(), {static_cast<std::uint8_t>(sum), static_cast<std::uint8_t>(sum >> 8)});
    return {{4, reply}};
}

struct Pixel {
    int x, y;
    Rgb colour;
};

struct PictureCase {
    const char* what;
    Way way;
    std::vector<std::pair<std::size_t, std::uint8_t>> plane1;  // bytes that are not zero
    std::optional<std::vector<std::pair<std::size_t, std::uint8_t>>> plane2;
    bool full = false;  // every byte of plane 1 is FF
    std::vector<Pixel> pixels;
    int nonwhite;
    int gaugemax;
};

Bitmap bitmap(const std::vector<std::pair<std::size_t, std::uint8_t>>& bytes, bool full = false) {
    Bitmap b{};
    if (full) b.fill(0xFF);
    for (auto [k, v] : bytes) b[k] = v;
    return b;
}

class Pictures : public ::testing::TestWithParam<PictureCase> {};

TEST_P(Pictures, EveryBitLandsOnItsPixelInItsColour) {
    const PictureCase& c = GetParam();
    std::optional<Bitmap> plane2;
    if (c.plane2) plane2 = bitmap(*c.plane2);
    ScriptedRig rig(answer(c.way, bitmap(c.plane1, c.full), plane2));

    const ScreenshotResult r = shoot(rig, c.way);

    EXPECT_TRUE(r.complete);
    EXPECT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    for (const Pixel& p : c.pixels) EXPECT_EQ(r.picture.colour(p.x, p.y), p.colour) << p.x << "," << p.y;
    EXPECT_EQ(nonwhite(r.picture), c.nonwhite);
    EXPECT_EQ(rig.shell.gaugemax, c.gaugemax);
    EXPECT_EQ(rig.shell.gaugeposition, c.gaugemax);
    EXPECT_EQ(rig.shell.laststatus(), kScreenshotCompletedText);
}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, Pictures,
    ::testing::Values(
        PictureCase{"screen_all_white", Way::Screen, {}, {}, false, {{0, 0, kWhite}}, 0, 3840},
        PictureCase{"screen_one_pixel", Way::Screen, {{0, 0x80}}, {}, false, {{0, 0, kBlack}, {1, 0, kWhite}}, 1, 3840},
        PictureCase{"screen_last_pixel", Way::Screen, {{3839, 0x01}}, {}, false, {{239, 127, kBlack}}, 1, 3840},
        PictureCase{"screen_full", Way::Screen, {}, {}, true, {{239, 127, kBlack}}, 240 * 128, 3840},
        PictureCase{"fcamera_mode1", Way::FCamera, {{0, 0x80}, {31, 0x01}}, {}, false,
                    {{0, 0, kBlack}, {15, 1, kBlack}}, 2, 3840},
        PictureCase{"fcamera_mode2_greys", Way::FCamera, {{0, 0xC0}}, {{{0, 0xA0}}}, false,
                    {{0, 0, kBlack}, {1, 0, kDarkGrey}, {2, 0, kLightGrey}, {3, 0, kWhite}}, 3, 7680}),
    [](const auto& p) { return std::string(p.param.what); });

TEST(Screenshot, ExchangeWithTheVirtualCalculatorByteForByte) {
    ReceiveRig rig;
    const CalcScreen screen = rig.calc.screen();

    const ScreenshotResult r = shoot(rig, Way::Screen);

    EXPECT_EQ(rig.trace.sent(), (Bytes{0x09, 0x6D, 0x00, 0x00, 0x09, 0x56, 0x00, 0x00}));
    Bytes received = with({0x89, 0x56, 0x00, 0x00, 0x89, 0x15, 0x00, 0x0F}, screen);
    const std::uint16_t sum = checksum(screen);
    received.insert(received.end(), {static_cast<std::uint8_t>(sum), static_cast<std::uint8_t>(sum >> 8)});
    EXPECT_EQ(rig.trace.received(), received);
    EXPECT_TRUE(r.complete);
    expectdrawn(r.picture, screen, kScreenBytes);
    EXPECT_GT(nonwhite(r.picture), 0);
    // A step per row, the last when the checksum begins.
    ASSERT_EQ(rig.shell.gaugepositions.size(), 129u);
    EXPECT_EQ(rig.shell.gaugepositions[1], 30);
    EXPECT_EQ(rig.shell.statuses, (std::vector<std::string>{std::string(kReceivingScreenshotText),
                                                            std::string(kScreenshotCompletedText)}));
    EXPECT_FALSE(rig.state.busy);
}

TEST(Screenshot, FCameraStreamsOfTheVirtualCalculatorInBothModes) {
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        ReceiveRig rig;
        const CalcScreen screen = rig.calc.screen();
        rig.calc.fcamerastream(mode);

        const ScreenshotResult r = shoot(rig, Way::FCamera);

        EXPECT_TRUE(rig.trace.sent().empty());  // FCamera is only listened to
        const Bytes received = rig.trace.received();
        ASSERT_EQ(received.size(), 5 + kScreenBytes * static_cast<std::size_t>(mode));
        EXPECT_EQ(Bytes(received.begin(), received.begin() + 5 + kScreenBytes),
                  with({'F', 0, 0, 0, static_cast<std::uint8_t>(mode)}, screen));
        EXPECT_TRUE(r.complete);
        // The gauge starts at 1, as FCamera's counts always did, and ends at its maximum.
        ASSERT_FALSE(rig.shell.gaugepositions.empty());
        EXPECT_EQ(rig.shell.gaugepositions.front(), 1);
        EXPECT_EQ(rig.shell.gaugepositions.back(), static_cast<int>(kScreenBytes) * mode);
        if (mode == 1) {
            expectdrawn(r.picture, screen, kScreenBytes);
            continue;
        }
        // The virtual TI-92's greys: its tool bar dark grey, its rules and status line on light grey.
        int wrong = 0;
        for (int y = 0; y < kScreenHeight; ++y)
            for (int x = 0; x < kScreenWidth; ++x) {
                const bool d = dark(screen, x, y);
                const bool lightrow = y == 10 || y == 108 || y >= 119;
                const Rgb want = y < 10 ? (d ? kDarkGrey : kWhite) : lightrow ? (d ? kBlack : kLightGrey) : (d ? kBlack : kWhite);
                wrong += r.picture.colour(x, y) != want;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// The one-second limit is for the bitmap's bytes: a slow checksum byte after a whole
// picture still completes it.
TEST(Screenshot, ASlowChecksumByteStillCompletesTheWholePicture) {
    ReceiveRig rig;
    rig.calc.misbehaviour().slowbyte = std::pair<std::size_t, std::uint32_t>{8 + kScreenBytes, 1200};
    EXPECT_TRUE(shoot(rig, Way::Screen).complete) << rig.state.pendingerror;
    EXPECT_EQ(rig.shell.laststatus(), kScreenshotCompletedText);
}

// How a screenshot can end early, and what it leaves.
struct FailureCase {
    const char* what;
    Way way;
    std::function<void(ReceiveRig&)> arrange;
    std::string pending;
    std::size_t drawn;  // bytes of the screen that reached the picture
};

class Failures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(Failures, StopWithAReasonAndKeepWhatWasDrawn) {
    const FailureCase& c = GetParam();
    ReceiveRig rig;
    const CalcScreen screen = rig.calc.screen();
    c.arrange(rig);

    const ScreenshotResult r = shoot(rig, c.way);

    EXPECT_FALSE(r.complete);
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_EQ(rig.state.pendingerror, c.pending);
    expectdrawn(r.picture, screen, c.drawn);
    EXPECT_NE(rig.shell.laststatus(), kScreenshotCompletedText);
    // A picture that did not arrive whole is not acknowledged.
    if (c.way == Way::Screen) {
        EXPECT_EQ(rig.trace.sent(), (Bytes{0x09, 0x6D, 0x00, 0x00}));
    }
    EXPECT_FALSE(rig.state.busy);
}

// Byte k of the screen bitmap is the calculator's byte 8 + k in its answer.
constexpr std::size_t kRow64 = 8 + 64 * 30;

INSTANTIATE_TEST_SUITE_P(
    Ends, Failures,
    ::testing::Values(
        FailureCase{"no_ack", Way::Screen, [](ReceiveRig& r) { r.calc.misbehaviour().mute = true; },
                    std::string(kNoAckText), 0},
        FailureCase{"slow_byte", Way::Screen,
                    [](ReceiveRig& r) { r.calc.misbehaviour().slowbyte = std::pair<std::size_t, std::uint32_t>{kRow64, 1200}; },
                    std::string(kScreenshotIncompleteText), 64 * 30 + 1},
        FailureCase{"timeout_mid_picture", Way::Screen,
                    [](ReceiveRig& r) { r.calc.misbehaviour().stopafterbytes = 4 + kRow64; }, std::string(kReceiveTimeout), 64 * 30},
        FailureCase{"cancel_mid_picture", Way::Screen,
                    [](ReceiveRig& r) {
                        // Window messages pass once a row; Cancel is pressed as row 64 begins.
                        r.shell.onpump = [&r](int) {
                            if (r.shell.gaugeposition == 64 * 30) r.link.faillink("Operation cancelled.");
                        };
                    },
                    "Operation cancelled.", 64 * 30 + 1},
        FailureCase{"no_fcamera_header_in_time", Way::FCamera, [](ReceiveRig&) {}, std::string(kNoFCamHeaderText), 0},
        FailureCase{"fcamera_bad_mode", Way::FCamera, [](ReceiveRig& r) { r.calc.fcamerastream(3); },
                    std::string(kFCameraModeText) + "3", 0},
        FailureCase{"fcamera_slow_byte", Way::FCamera,
                    [](ReceiveRig& r) {
                        r.calc.fcamerastream(1);
                        r.calc.misbehaviour().slowbyte = std::pair<std::size_t, std::uint32_t>{5 + 64 * 30, 1200};
                    },
                    std::string(kScreenshotIncompleteText), 64 * 30 + 1}),
    [](const auto& p) { return std::string(p.param.what); });

} // namespace
