#include "transfers/screenshot.h"
#include "transfers/usbexchanges.h"

#include <string>

#include "link/packets.h"
#include "transfers/directory.h"

namespace tessaly {

namespace {

constexpr int kRowStep = static_cast<int>(kScreenRowBytes);

// One plane of a screen bitmap as it arrives: its set bits go into the picture with the
// plane's weight; each byte that starts a new row moves the gauge a row on and lets
// window messages through. A byte slower than a second ends the screenshot, and the
// user learns why rather than finding half a picture without a word.
class PlaneReader final : public PacketWatcher {
public:
    PlaneReader(Link& link, Progress& progress, ScreenshotResult& result, std::uint8_t weight, int& gauge)
        : m_link(link), m_progress(progress), m_result(result), m_weight(weight), m_gauge(gauge),
          m_before(link.clock().ticks()) {}

    void onbyte(std::size_t index, std::uint8_t byte) override {
        if (m_link.clock().ticks() - m_before > kScreenshotByteMs) m_link.faillink(kScreenshotIncompleteText);
        if (index > 0 && index % kScreenRowBytes == 0) steprow();
        m_result.picture.addbyte(index, byte, m_weight);
        ++m_result.arrived;
        m_before = m_link.clock().ticks();
    }
    void steprow() {
        m_gauge += kRowStep;
        m_progress.setgaugeposition(m_gauge);
        m_progress.processmessages();
    }

private:
    Link& m_link;
    Progress& m_progress;
    ScreenshotResult& m_result;
    std::uint8_t m_weight;
    int& m_gauge;
    std::uint32_t m_before;
};

// FCamera's planes come bare, without a packet around them.
void receiveplane(Link& link, PlaneReader& plane) {
    for (std::size_t i = 0; i < kScreenBytes && link.state().linkok; ++i) {
        const std::uint8_t b = link.receivebyte();
        if (!link.state().linkok) break;
        plane.onbyte(i, b);
    }
}

} // namespace

ScreenshotResult getscreenshot(Link& link, Progress& progress) {
    if (link.directusb()) return usbscreenshot(link, progress);
    TransferState& s = link.state();
    ScreenshotResult result;

    sendpacket(link, CmdScreen);
    if (!waitack(link)) {
        // Another model than the one chosen answering has said so; that is the cause.
        if (link.mismatch().empty() || s.pendingerror != link.mismatch()) link.faillink(kNoAckText);
        return result;
    }
    progress.setstatus(kReceivingScreenshotText);
    const std::optional<PacketHeader> header = receiveheader(link);
    progress.setgaugemax(static_cast<int>(kScreenBytes));
    progress.setgaugeposition(0);
    // Anything but the screen's data packet would pass for a white screen.
    if (header && (header->command != CmdData || header->length != kScreenBytes)) link.faillink(kNotAScreenText);
    if (!s.linkok) return result;

    int gauge = 0;
    PlaneReader plane(link, progress, result, 1, gauge);
    // The one-second limit watches the bitmap's bytes only. The two checksum bytes after
    // them bring no pixel: a slow one cannot leave half a picture, so it has the byte
    // layer's own budget like every other packet's checksum, and the picture stands.
    receivebody(link, *header, &plane);
    if (!s.linkok) return result;
    plane.steprow();  // the checksum's first byte starts the row after the last

    progress.processmessages();
    sendack(link);
    if (!s.linkok) return result;
    // Every model sends the TI-92's bitmap; the picture is what its display shows of it.
    result.picture.width = link.model().shownwidth;
    result.picture.height = link.model().shownheight;
    progress.setstatus(kScreenshotCompletedText);
    result.complete = true;
    return result;
}

ScreenshotResult getfargoscreenshot(Link& link, Progress& progress) {
    TransferState& s = link.state();
    ScreenshotResult result;

    if (link.receivebyte() != kFCameraHeader || !s.linkok) {
        link.faillink(kNoFCamHeaderText);
        return result;
    }
    for (int i = 0; i < 3; ++i) link.receivebyte();  // unused
    const std::uint8_t mode = link.receivebyte();
    if (!s.linkok) return result;
    // Another mode has no colours: painting it would show a picture that is not there.
    if (mode != 1 && mode != 2) {
        link.faillink(std::string(kFCameraModeText) + std::to_string(mode));
        return result;
    }
    result.picture.colours = mode == 2 ? ScreenPicture::Colours::Greys : ScreenPicture::Colours::BlackWhite;
    const int max = static_cast<int>(kScreenBytes) * mode;
    progress.setgaugemax(max);
    progress.setgaugeposition(1);
    progress.setstatus(kReceivingScreenshotText);

    int gauge = 1;
    for (std::uint8_t weight = 1; weight <= mode && s.linkok; ++weight) {
        PlaneReader plane(link, progress, result, weight, gauge);
        receiveplane(link, plane);
    }
    if (!s.linkok) return result;

    progress.setstatus(kScreenshotPaintingText);
    progress.processmessages();
    progress.setstatus(kScreenshotCompletedText);
    progress.setgaugeposition(max);
    progress.processmessages();
    result.complete = true;
    return result;
}

} // namespace tessaly
