#pragma once
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "files/packagestore.h"
#include "link/link.h"
#include "link/packets.h"
#include "support/scriptedshell.h"
#include "transfers/receivepage.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {

// A folder of its own for one test, removed afterwards.
struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-transfers-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// The receive page on a link to the virtual TI-92, reacting at once, on simulated time.
struct ReceiveRig {
    SimClock clock;
    VirtualTI92 calc{clock};
    VirtualPort port{calc, &clock};
    ScriptedShell shell;
    TransferState state;
    Link link{port, clock, shell, state};
    MemoryTrace trace;
    TempFolder folder;
    PackageStore store{folder.path};
    ReceivePageModel page{link, shell, store};

    ReceiveRig() {
        calc.setpace(0);
        link.settrace(&trace);
        link.releaselines();
    }

    // Lists, marks the rows with these captions, forgets the listing's bytes.
    void listandmark(const std::vector<std::string>& captions) {
        page.Button30click();
        for (std::size_t i = 0; i < page.rows().size(); ++i)
            for (const auto& c : captions)
                if (page.rows()[i].caption == c) page.setselected(i, true);
        trace.clear();
        shell.statuses.clear();
    }

    std::vector<PackageRecord> records() const {
        std::string error;
        auto r = store.readrecords(&error);
        EXPECT_TRUE(r.has_value()) << error;
        return r.value_or(std::vector<PackageRecord>{});
    }
    std::vector<std::uint8_t> storedata() const { return filebytes(store.datapath()); }

    static std::vector<std::uint8_t> filebytes(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// A variable as the calculator keeps it: its own big-endian size word, then the content.
inline CalcVariable calcvariable(std::string name, std::uint8_t type, std::vector<std::uint8_t> content,
                                 bool locked = false) {
    CalcVariable v;
    v.name = std::move(name);
    v.type = type;
    v.data = {static_cast<std::uint8_t>(content.size() >> 8), static_cast<std::uint8_t>(content.size() & 0xFF)};
    v.data.insert(v.data.end(), content.begin(), content.end());
    v.locked = locked;
    return v;
}

// The test folder of the real captures: main empty, then test with x, y (locked) and z.
inline std::vector<CalcFolder> capturememory() {
    return {CalcFolder{"main", {}},
            CalcFolder{"test",
                       {calcvariable("x", 0x00, {0x0C, 0x01, 0x1F}), calcvariable("y", 0x00, {0x0D, 0x01, 0x1F}, true),
                        calcvariable("z", 0x00, {0x0E, 0x01, 0x1F})}}};
}

// "> 09 68 00 00" lines as MemoryTrace::text() writes them.
inline std::string transcript(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (auto l : lines) {
        out += l;
        out += '\n';
    }
    return out;
}

// A capture file of the shared folder as the trace of its exchange: the bytes are split
// into packets and each packet's machine byte tells its direction.
inline std::vector<std::pair<Direction, std::uint8_t>> readcapture(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::vector<std::uint8_t> bytes;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream hex(line.substr(0, line.find('|')));
        std::string token;
        while (hex >> token) bytes.push_back(static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
    }
    std::vector<std::pair<Direction, std::uint8_t>> out;
    std::size_t i = 0;
    while (i + 4 <= bytes.size()) {
        const Direction d = bytes[i] == kMachinePC ? Direction::ToCalc : Direction::FromCalc;
        const CommandInfo* info = commandinfo(bytes[i + 1]);
        std::size_t size = 4;
        if (info && info->carriesdata) size += bytes[i + 2] + (bytes[i + 3] << 8) + 2;
        for (std::size_t k = 0; k < size && i + k < bytes.size(); ++k) out.emplace_back(d, bytes[i + k]);
        i += size;
    }
    return out;
}

} // namespace tessaly::test
