#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "files/filetestutil.h"
#include "files/packagestore.h"
#include "link/link.h"
#include "support/fakecalculator.h"
#include "support/scriptedshell.h"
#include "link/typenames.h"
#include "transfers/directory.h"
#include "transfers/receive.h"
#include "transfers/session.h"
#include "vcalc/vcalc.h"
#include "vcalc/wire.h"

namespace tessaly::test {

// What the receive exchanges need besides the link, the way the window and the command
// line hand it over: the package store, the shell, and the received rows they show.
struct ReceiveSide {
    ScriptedShell shell;
    TempDir folder;
    PackageStore store{folder.path()};
    std::vector<ListRow> rows;  // the received view
    bool storefolder = true;

    ReceiveTarget target(bool manual) {
        return ReceiveTarget{shell, store, manual, storefolder, [this](ListRow r) { rows.push_back(std::move(r)); },
                             [this] { rows.pop_back(); }, {}, {}};
    }
    std::vector<PackageRecord> records() const {
        if (!std::filesystem::exists(store.indexpath())) return {};
        std::string error;
        auto r = store.readrecords(&error);
        EXPECT_TRUE(r.has_value()) << error;
        return r.value_or(std::vector<PackageRecord>{});
    }
    Bytes storedata() const { return std::filesystem::exists(store.datapath()) ? readbytes(store.datapath()) : Bytes{}; }
};

// The exchanges on a link to the virtual TI-92, reacting at once, on simulated time.
struct ReceiveRig : ReceiveSide {
    SimClock clock;
    VirtualCalculator calc{clock};
    VirtualPort port{calc, &clock};
    TransferState state;
    Link link{port, clock, shell, state};
    MemoryTrace trace;
    std::vector<ListRow> listed;  // the calculator view

    ReceiveRig() {
        calc.setpace(0);
        link.settrace(&trace);
        link.releaselines();
    }

    DirectoryListing list() {
        TransferSession session(state, shell);
        if (!session) return {};
        DirectoryListing listing = directorylisting(link, shell);
        listed = listing.rows;
        return listing;
    }
    // The request entries of the listed rows with these captions, in list order.
    std::vector<RequestEntry> entries(const std::vector<std::string>& captions) const {
        std::vector<RequestEntry> out;
        for (const ListRow& r : listed)
            if (std::find(captions.begin(), captions.end(), r.caption) != captions.end())
                out.push_back({r.caption.substr(0, kPackageNameSize), r.type});
        return out;
    }
    // Lists, then forgets the listing's bytes and texts: what the test looks at is the receive.
    std::vector<RequestEntry> listandmark(const std::vector<std::string>& captions) {
        list();
        trace.clear();
        shell.statuses.clear();
        return entries(captions);
    }
    ReceiveResult receive(const std::vector<RequestEntry>& entries) {
        TransferSession session(state, shell);
        if (!session) return {};
        ReceiveTarget into = target(false);
        return receiverequested(link, into, entries);
    }
    ReceiveResult fromcalc() {
        TransferSession session(state, shell);
        if (!session) return {};
        ReceiveTarget into = target(true);
        return receivefromcalc(link, into);
    }
};

// The exchanges on a link to a scripted calculator, for answers the virtual TI-92 never gives.
struct ScriptedRig : ReceiveSide {
    SimClock clock;
    Responder calc;
    TransferState state;
    Link link{calc, clock, shell, state};

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
