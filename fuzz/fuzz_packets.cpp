// libFuzzer target over the packet layer and every exchange of the computer's side, with
// a calculator that answers with the input's bytes. The first byte picks the exchange; the
// rest is what the calculator sends. Whatever it sends, the exchange ends: well, or with
// the link-ok flag down and the reason pending, never having written a half file, and on
// simulated time, so every timeout costs nothing.
#include "files/packagestore.h"
#include "fuzzsupport.h"
#include "support/fakecalculator.h"
#include "link/link.h"
#include "link/packets.h"
#include "transfers/backup.h"
#include "transfers/directory.h"
#include "transfers/packetcommands.h"
#include "transfers/readiness.h"
#include "transfers/receive.h"
#include "transfers/remotekeys.h"
#include "transfers/screenshot.h"
#include "transfers/send.h"
#include "transfers/session.h"

namespace {

using namespace tessaly;
namespace fs = std::filesystem;

// No exchange may keep the computer busy longer than this on the calculator's clock: every
// wait has its budget, and a calculator that stops answering fails the exchange.
constexpr std::uint64_t kHangMicros = 10ull * 60 * 1000 * 1000;


// The calculator at the end of a byte-level cable, or of a line-level one where it sends
// its bytes bit by bit through the two-line handshake.
struct Rig {
    SimClock clock;
    fuzz::ScriptedStream stream;
    test::FakeCalculator lines{clock};
    fuzz::QuietUser user;
    TransferState state;
    Link link;
    PackageStore store{fuzz::scratch() / "store"};
    Rig(std::vector<std::uint8_t> answers, std::size_t chunk, bool linelevel, const CalculatorModel& model)
        : stream(clock, linelevel ? std::vector<std::uint8_t>{} : answers, chunk, kHangMicros),
          link(linelevel ? Link(lines, clock, user, state) : Link(stream, clock, user, state)) {
        for (std::uint8_t b : linelevel ? answers : std::vector<std::uint8_t>{})
            for (int i = 0; i < 8; ++i) lines.tx.push_back(b >> i & 1);
        link.setmodel(model);
        link.setpacing(false);
    }
};

// Sees a packet's bytes as they cross: never more than its header declared.
class CountingWatcher final : public PacketWatcher {
public:
    void onbyte(std::size_t index, std::uint8_t) override {
        FUZZ_REQUIRE(index == count);
        ++count;
    }
    void restart() override { count = 0; }
    std::size_t count = 0;
};

void packets(Rig& r) {
    for (int i = 0; i < 16 && r.state.linkok; ++i) {
        CountingWatcher watcher;
        const Packet p = i % 2 ? receiveverified(r.link, &watcher) : receivepacket(r.link);
        FUZZ_REQUIRE(p.data.size() <= p.header.length && watcher.count <= p.header.length);
        if (p.complete && carriesdata(p.command()))
            FUZZ_REQUIRE((i % 2 ? watcher.count : p.data.size()) == p.header.length);
    }
}

void receive(Rig& r, bool manual) {
    ReceiveTarget into{r.user, r.store, manual, true, [](ListRow) {}, [] {}, {}, {}};
    const ReceiveResult result =
        manual ? receivefromcalc(r.link, into) : receiverequested(r.link, into, {{"main\\x", 0x00}, {"test\\t", 0x0B}});
    // Only variables that arrived whole are kept, each with its record.
    if (!fs::exists(r.store.indexpath())) {
        FUZZ_REQUIRE(result.received.empty());
        return;
    }
    std::string why;
    const auto records = r.store.readrecords(&why);
    FUZZ_REQUIRE(records && records->size() == result.received.size());
}

void backup(Rig& r) {
    const fs::path dest = fuzz::scratch() / "mine.92b";
    std::string comment;
    const bool saved = fetchbackup(r.link, r.user, r.store, dest, comment);
    FUZZ_REQUIRE(saved == fs::exists(dest));
    FUZZ_REQUIRE(saved || !r.state.linkok);
}

void screenshot(Rig& r, bool fcamera) {
    const ScreenshotResult shot = fcamera ? getfargoscreenshot(r.link, r.user) : getscreenshot(r.link, r.user);
    FUZZ_REQUIRE(shot.complete || !r.state.linkok);
}

void keys(Rig& r) {
    for (std::uint16_t code : {13, 268, 8192 + 264})
        if (!sendkey(r.link, code)) FUZZ_REQUIRE(!r.state.linkok);
}

void version(Rig& r) {
    // The TI-92 has no version packet: this fails at once. The later models' answers are
    // read here once they exist.
    CalculatorVersion answer;
    if (!requestversion(r.link, r.user, answer)) FUZZ_REQUIRE(!r.state.linkok);
}

std::string sample(const char* name) { return std::string(TESSALY_TESTDATA_DIR) + "/samples/" + name; }

void run(Rig& r, std::uint8_t which) {
    switch (which % 12) {
    case 0: return packets(r);
    // A wrong answer leaves the link up (the window shows the status line alone), with
    // the no-contact text pending all the same.
    case 1: FUZZ_REQUIRE(readinessexchange(r.link) || !r.state.pendingerror.empty()); return;
    case 2: (void)directorylisting(r.link, r.user); return;
    case 3: return receive(r, false);
    case 4: return receive(r, true);
    case 5: return backup(r);
    case 6: return screenshot(r, false);
    case 7: return screenshot(r, true);
    case 8: return keys(r);
    case 9: return version(r);
    case 10: (void)sendvariables(r.link, r.user, sample("group.92g")); return;
    case 11: (void)sendbackup(r.link, r.user, sample("backup.92b")); return;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Input in(data, size);
    fuzz::Reader reader(in.bytes());
    const std::uint8_t which = reader.byte();
    // How the calculator's bytes come: over a line-level cable or so many at a time over
    // a byte-level one, checksums right or as they are.
    const std::uint8_t how = reader.byte();
    // Headers, refusals and the version answer are laid out differently on the later models.
    const CalculatorModel& model = *allmodels()[reader.byte() % allmodels().size()];
    const auto rest = reader.rest();
    std::vector<std::uint8_t> answers = how & 0x80 ? fuzz::framed(rest, carriesdata)
                                                   : std::vector<std::uint8_t>(rest.begin(), rest.end());
    fuzz::clearscratch();
    fs::create_directories(fuzz::scratch() / "store");
    Rig r(std::move(answers), std::size_t(how & 0x3F) + 1, how & 0x40, model);
    {
        TransferSession session(r.state, r.user);
        run(r, which);
    }
    // A failed exchange says why.
    FUZZ_REQUIRE(r.state.linkok || !r.state.pendingerror.empty());
    FUZZ_REQUIRE(r.clock.micros() < kHangMicros);
    return 0;
}
