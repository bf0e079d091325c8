#pragma once
#include <cstdint>
#include <string_view>

#include "files/screenpicture.h"
#include "link/link.h"
#include "link/progress.h"

namespace tessaly {

inline constexpr std::string_view kReceivingScreenshotText = "Receiving screenshot..";
inline constexpr std::string_view kScreenshotPaintingText = "Screen shot received, painting..";
inline constexpr std::string_view kScreenshotCompletedText = "Screen shot completed";
inline constexpr std::string_view kNoFCamHeaderText = "Did not got FCam header";
inline constexpr std::string_view kScreenshotIncompleteText =
    "The screenshot is incomplete: the calculator took more than a second for one byte.";
inline constexpr std::string_view kNotAScreenText = "The calculator did not send its screen.";
inline constexpr std::string_view kFCameraModeText = "FCamera sent an unknown picture mode (neither 1 nor 2): mode ";
// The screenshot page's help text, and what it says while FCamera is awaited.
inline constexpr std::string_view kScreenshotHelpText =
    "press the Screenshot-button to copy the screen from the TI-92 to the computer. "
    "to copy screenshot from FARGO, press the FARGO Screen-button";
inline constexpr std::string_view kFCameraHelpText =
    "start FCamera on you calc. press any key but ENTER to send screenshot to the computer.";

// A byte that takes longer than this ends a screenshot.
inline constexpr std::uint32_t kScreenshotByteMs = 1000;
// The FCamera stream's first byte, the letter F.
inline constexpr std::uint8_t kFCameraHeader = 0x46;

// What a screenshot brought: the picture as far as it arrived (white where nothing did),
// how many of its bytes did and whether all of them did. Why it stopped is the pending
// error text.
struct ScreenshotResult {
    ScreenPicture picture;
    std::size_t arrived = 0;
    bool complete = false;
};

// The screen request: request, acknowledgement, the calculator's data packet with the
// screen bitmap (a gauge step of 30 per row), our acknowledgement.
ScreenshotResult getscreenshot(Link& link, Progress& progress);

// Listens for FCamera's stream (no packets, no acknowledgement): "F", three unused bytes,
// the mode, then one screen bitmap in mode 1 (black and white) or two in mode 2 (four
// greys: the first plane weighs 1, the second 2).
ScreenshotResult getfargoscreenshot(Link& link, Progress& progress);

} // namespace tessaly
