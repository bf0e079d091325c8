// libFuzzer target over the virtual TI-92 fed by a scripted computer: the input's bytes
// arrive as from a byte-level cable, and the calculator's answers are taken as a computer
// would. Whatever arrives, the calculator stays consistent: its memory fits its capacity,
// makes a backup image it reads back, and its state file reads back as that memory.
#include "fuzzsupport.h"
#include "link/packets.h"
#include "vcalc/statefile.h"
#include "vcalc/vcalc.h"

namespace {

using namespace tessaly;

constexpr std::size_t kCapacity = 4000;

bool pccarries(std::uint8_t command) { return carriesdata(command); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Input in(data, size);
    fuzz::Reader reader(in.bytes());
    // Which calculator, and how the computer's bytes come: checksums right or as they are.
    const std::uint8_t how = reader.byte();
    const auto rest = reader.rest();
    const std::vector<std::uint8_t> bytes =
        how & 0x80 ? fuzz::framed(rest, pccarries) : std::vector<std::uint8_t>(rest.begin(), rest.end());

    SimClock clock;
    VirtualCalculator calc(clock);
    calc.setpace(0);
    calc.settracing(false);
    if (how & 1) calc.loaddemo();
    if (how & 2) calc.setmemorycapacity(kCapacity);
    const std::string state = (fuzz::scratch() / "calc.92g").string();
    if (how & 4) {
        fuzz::clearscratch();
        FUZZ_REQUIRE(calc.attachstate(state, nullptr));
    }
    if (how & 8) {
        // The calculator's own menu sends first; the computer's bytes answer it.
        const auto names = calc.variablenames();
        if (!names.empty()) (void)calc.sendfromcalc({names.front(), names.back()}, nullptr);
    }

    std::uint8_t out[64];
    const std::size_t chunk = std::size_t(how >> 4 & 7) + 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        calc.bytefromcomputer(bytes[i]);
        clock.advance(100);
        if (i % chunk == 0) (void)calc.bytestocomputer(out);
    }
    for (int i = 0; i < 4 && calc.bytestocomputer(out) > 0; ++i) clock.advance(1000);

    CalcMemory& mem = calc.memory();
    FUZZ_REQUIRE(!mem.folders.empty() && mem.folders.front().name == "main");
    if (how & 2 && !(how & 1)) FUZZ_REQUIRE(mem.usedbytes() <= kCapacity);
    for (const CalcFolder& f : mem.folders)
        for (const CalcVariable& v : f.variables)
            FUZZ_REQUIRE(v.data.size() >= 2 && std::size_t(v.data[0] << 8 | v.data[1]) + 2 == v.data.size());
    FUZZ_REQUIRE(memoryfromimage(backupimage(mem)).has_value());
    if (how & 4 && calc.stateerror().empty()) {
        CalcMemory kept;
        std::string why;
        FUZZ_REQUIRE(loadcalcmemory(state, kept, &why));
        FUZZ_REQUIRE(backupimage(kept) == backupimage(mem));
    }
    (void)calc.screen();
    return 0;
}
