// libFuzzer target over the LINK parser and the cable listing. The input is a LINK string,
// then (after a NUL byte) the device names a machine shows and the silver cables on its
// USB. A LINK either parses or says why; whatever it names, written again, names the
// same cable; every cable listed is picked by a LINK that parses back to it.
#include "link/cablelist.h"
#include "link/linkspec.h"
#include "link/ports/silverstream.h"
#include "fuzzsupport.h"

namespace {

using namespace tessaly;

std::string kindname(LinkSpec::Kind k) {
    switch (k) {
    case LinkSpec::Kind::Virtual: return "virtual";
    case LinkSpec::Kind::Socket: return "socket";
    case LinkSpec::Kind::Ppdev: return "ppdev";
    case LinkSpec::Kind::Direct: return "direct";
    case LinkSpec::Kind::Black: return "black";
    case LinkSpec::Kind::Grey: return "grey";
    case LinkSpec::Kind::Silver: return "silver";
    case LinkSpec::Kind::Auto: break;
    }
    return "auto";
}

// The LINK string that names spec, as the listing and the settings page write them.
std::string linkof(const LinkSpec& spec) {
    std::string out = kindname(spec.kind);
    if (spec.kind == LinkSpec::Kind::Direct) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%X", unsigned(spec.address));
        return out + ":" + hex;
    }
    if (spec.kind == LinkSpec::Kind::Silver)
        return spec.usbbus ? out + ":" + std::to_string(spec.usbbus) + ":" + std::to_string(spec.usbaddress) : out;
    return spec.path.empty() ? out : out + ":" + spec.path;
}

bool same(const LinkSpec& a, const LinkSpec& b) {
    return a.kind == b.kind && a.path == b.path && a.address == b.address && a.usbbus == b.usbbus &&
           a.usbaddress == b.usbaddress;
}

void checklink(std::string_view text) {
    std::string error;
    const auto spec = parselinkspec(text, &error);
    if (!spec) {
        FUZZ_REQUIRE(!error.empty());
        return;
    }
    const auto again = parselinkspec(linkof(*spec), nullptr);
    FUZZ_REQUIRE(again && same(*again, *spec));
}

class FakeUsb final : public UsbHost {
public:
    std::vector<SilverFound> found;
    std::vector<SilverFound> list() override { return found; }
    std::unique_ptr<UsbDevice> open(SilverPlace, UsbProblem* problem, std::string*) override {
        if (problem) *problem = UsbProblem::Missing;
        return nullptr;
    }
};

// The machine: one device name per line, each ttyS node with a UART type from the byte
// after its name; the last bytes are silver cables, three bytes each (bus, address, problem).
void checkcables(fuzz::Reader& in) {
    fuzz::clearscratch();
    CableListPaths paths;
    paths.dev = fuzz::scratch() / "dev";
    paths.sysclass = fuzz::scratch() / "sys";
    paths.udevrules = {fuzz::scratch() / "rules"};
    std::filesystem::create_directories(paths.dev);
    std::filesystem::create_directories(paths.udevrules[0]);
    FakeUsb usb;
    const std::size_t silver = std::min<std::size_t>(in.byte() & 3, in.left() / 3);
    for (std::size_t i = 0; i < silver; ++i) {
        const std::uint8_t bus = in.byte(), address = in.byte(), problem = in.byte();
        // A bus is numbered from 1, a device on it from 1 to 127.
        usb.found.push_back({{std::uint8_t(bus ? bus : 1), std::uint8_t(address % 127 + 1)},
                             UsbProblem(problem % 6), "detail"});
    }
    if (in.byte() & 1) fuzz::writefile(paths.udevrules[0] / "x.rules", in.take(24));
    const auto rest = in.rest();
    const std::string names(rest.begin(), rest.end());
    int made = 0;
    for (std::size_t at = 0; at < names.size() && made < 12; ++made) {
        std::size_t end = std::min(names.find('\n', at), names.size());
        std::string name = names.substr(at, end - at);
        at = end + 1;
        std::erase_if(name, [](char c) { return c == '/' || c == '\0'; });
        if (name.empty() || name == "." || name == ".." || name.size() > 40) continue;
        fuzz::writefile(paths.dev / name, {});
        if (name.starts_with("ttyS")) {
            std::filesystem::create_directories(paths.sysclass / name);
            const std::string type = std::to_string(name.back() & 3);
            fuzz::writefile(paths.sysclass / name / "type",
                            {reinterpret_cast<const std::uint8_t*>(type.data()), type.size()});
        }
    }
    for (const FoundCable& c : listcables(usb, paths)) {
        FUZZ_REQUIRE(c.usable || !c.problem.empty());
        const auto spec = parselinkspec(c.link, nullptr);
        FUZZ_REQUIRE(spec.has_value());
        if (c.kind == FoundCable::Kind::Silver) FUZZ_REQUIRE(spec->kind == LinkSpec::Kind::Silver && spec->usbbus);
        else FUZZ_REQUIRE(spec->path == c.where);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Input input(data, size);
    const std::string_view all = input.text();
    const std::size_t nul = all.find('\0');
    checklink(all.substr(0, nul));
    if (nul == std::string_view::npos) return 0;
    fuzz::Reader rest(input.bytes().subspan(nul + 1));
    checkcables(rest);
    return 0;
}
