#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "files/filetestutil.h"
#include "files/packagestore.h"
#include "link/link.h"
#include "support/fakecalculator.h"
#include "support/scriptedshell.h"
#include "transfers/receivepage.h"
#include "vcalc/vcalc.h"
#include "vcalc/wire.h"

namespace tessaly::test {

// The receive page on a link to the virtual TI-92, reacting at once, on simulated time.
struct ReceiveRig {
    SimClock clock;
    VirtualTI92 calc{clock};
    VirtualPort port{calc, &clock};
    ScriptedShell shell;
    TransferState state;
    Link link{port, clock, shell, state};
    MemoryTrace trace;
    TempDir folder;
    PackageStore store{folder.path()};
    ReceivePageModel page{link, shell, store};

    ReceiveRig() {
        calc.setpace(0);
        link.settrace(&trace);
        link.releaselines();
    }

    // Lists, marks the rows with these captions, forgets the listing's bytes and texts.
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
    Bytes storedata() const { return readbytes(store.datapath()); }
};

// The receive page on a link to a scripted calculator, for answers the virtual TI-92 never gives.
struct ScriptedRig {
    SimClock clock;
    Responder calc;
    ScriptedShell shell;
    TransferState state;
    Link link{calc, clock, shell, state};
    TempDir folder;
    PackageStore store{folder.path()};
    ReceivePageModel page{link, shell, store};

    explicit ScriptedRig(std::map<std::size_t, Bytes> replies) : calc(clock, std::move(replies)) {}
};

inline CalcVariable calcvariable(std::string name, std::uint8_t type, const Bytes& content, bool locked = false) {
    return CalcVariable{std::move(name), type, stored(content), locked};
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

// A capture of a real TI-92 (tests/data/captures) as the trace of its exchange, byte by byte.
inline std::vector<std::pair<Direction, std::uint8_t>> capturetrace(const std::string& name) {
    std::vector<std::pair<Direction, std::uint8_t>> out;
    for (const auto& p : tessaly::testing::readcapture(tessaly::testing::capturepath(name)))
        for (auto b : p.bytes) out.emplace_back(p.fromcalc ? Direction::FromCalc : Direction::ToCalc, b);
    return out;
}

} // namespace tessaly::test
