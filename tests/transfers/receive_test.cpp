#include <gtest/gtest.h>

#include "files/packagewriter.h"
#include "files/tifile.h"
#include "link/typenames.h"
#include "transfers/rig.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

std::vector<std::string> names(const std::vector<PackageRecord>& records) {
    std::vector<std::string> out;
    for (const auto& r : records) out.push_back(r.name);
    return out;
}

// What a saved group file holds, read back by the file reader: full name and stored bytes.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> readgroup(const std::filesystem::path& path) {
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> out;
    TiFileReader reader;
    std::string error;
    EXPECT_TRUE(reader.open(path, &error)) << error;
    for (const TiEntry* v : reader.file().variables()) {
        std::vector<std::uint8_t> data;
        EXPECT_TRUE(reader.readvariable(*v, data)) << v->fullname();
        out.emplace_back(v->fullname(), data);
    }
    return out;
}

TEST(Receive, OneVariableByteForByte) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    const auto entries = rig.listandmark({"test\\x"});

    const ReceiveResult result = rig.receive(entries);

    // As the capture recv_var_x.log, with our ready checks and the 00 00 data request.
    EXPECT_EQ(rig.trace.text(), transcript({
                                    "> 09 68 00 00",
                                    "< 89 56 00 00",
                                    "> 09 68 00 00",
                                    "< 89 56 00 00",
                                    "> 09 68 00 00",
                                    "< 89 56 00 00",
                                    "> 09 A2 0C 00 00 00 00 00 00 06 74 65 73 74 5C 78 9A 02",
                                    "< 89 56 00 00 89 06 07 00 05 00 00 00 00 01 78 7E 00",
                                    "> 09 56 00 00 09 09 00 00",
                                    "< 89 56 00 00 89 15 09 00 00 00 00 00 00 03 0C 01 1F 2F 00",
                                    "> 09 56 00 00",
                                    "< 89 92 00 00",
                                    "> 09 56 00 00",
                                }));
    const auto records = rig.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, "test\\x");
    EXPECT_EQ(records[0].start, 0);
    EXPECT_EQ(records[0].end, 5);
    EXPECT_EQ(records[0].size, 5);
    EXPECT_EQ(records[0].type, 0x00);
    EXPECT_EQ(rig.storedata(), (std::vector<std::uint8_t>{0x00, 0x03, 0x0C, 0x01, 0x1F}));

    EXPECT_EQ(rig.shell.statuses,
              (std::vector<std::string>{"Sending request..", "Receiving variable.. [1/1]", "Getting header..",
                                        "Transferring 3 bytes of data", "test\\x received! [1/1]"}));
    // Fewer than 100 bytes: the gauge moves only at the end.
    EXPECT_EQ(rig.shell.gaugemax, 3);
    EXPECT_EQ(rig.shell.gaugepositions, (std::vector<int>{0, 3}));
    ASSERT_EQ(rig.rows.size(), 1u);
    EXPECT_EQ(rig.rows[0].caption, "test\\x");
    EXPECT_EQ(rig.rows[0].type, 0x00);
    EXPECT_EQ(rig.rows[0].size, 5u);
    EXPECT_TRUE(rig.state.linkok);
    EXPECT_FALSE(rig.state.busy);
}

TEST(Receive, SeveralVariablesSaveAndReadBackAsTheCalculatorHoldsThem) {
    ReceiveRig rig;
    std::vector<std::uint8_t> program(5000);
    for (std::size_t i = 0; i < program.size(); ++i) program[i] = static_cast<std::uint8_t>(i * 7 + 3);
    rig.calc.memory().folders = {
        CalcFolder{"main", {calcvariable("a", 0x00, {0x0C, 0x01, 0x1F}), calcvariable("prog", 0x12, program)}},
        CalcFolder{"texts", {calcvariable("note", 0x0B, {0, 1, 0x20, 'o', 'k', 0, 0xE0}, true)}}};
    const auto entries = rig.listandmark({"main\\a", "main\\prog", "texts\\note"});

    const ReceiveResult result = rig.receive(entries);

    EXPECT_EQ(names(rig.records()), (std::vector<std::string>{"main\\a", "main\\prog", "texts\\note"}));
    EXPECT_EQ(result.received.size(), 3u);
    EXPECT_TRUE(rig.state.linkok);

    const auto dest = rig.folder / "package.92g";
    std::string comment = "three";
    std::string error;
    ASSERT_TRUE(savepackage(dest, false, rig.store, comment, rig.shell, rig.state, &error, kTI92)) << error;
    const auto saved = readgroup(dest);
    ASSERT_EQ(saved.size(), 3u);
    for (const auto& [name, bytes] : saved) {
        const CalcVariable* v = rig.calc.memory().find(name);
        ASSERT_NE(v, nullptr) << name;
        EXPECT_EQ(bytes, v->data) << name;
    }
    // The gauge moved in steps of (L div 100) * 2 over the program.
    EXPECT_GT(rig.shell.gaugepositions.size(), 20u);
}

struct NameCase {
    const char* what;
    bool storefolder;
    bool manual;
    std::string expected;
};

class ReceiveNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ReceiveNames, StoreFolderKeepsTheRequestedFullName) {
    ReceiveRig rig;
    rig.calc.memory().folders = {CalcFolder{"main", {}}, CalcFolder{"work", {calcvariable("v", 0x0C, {0, 'a', 0, 0x2D})}}};
    rig.storefolder = GetParam().storefolder;
    if (GetParam().manual) {
        std::string error;
        ASSERT_TRUE(rig.calc.sendfromcalc({"work\\v"}, &error)) << error;
        rig.fromcalc();
    } else {
        rig.receive(rig.listandmark({"work\\v"}));
    }
    EXPECT_EQ(names(rig.records()), std::vector<std::string>{GetParam().expected});
    ASSERT_EQ(rig.rows.size(), 1u);
    EXPECT_EQ(rig.rows[0].caption, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rules, ReceiveNames,
                         ::testing::Values(NameCase{"request_store_folder", true, false, "work\\v"},
                                           NameCase{"request_bare", false, false, "v"},
                                           NameCase{"calc_select_store_folder", true, true, "work\\v"},
                                           NameCase{"calc_select_bare", false, true, "work\\v"}),
                         [](const auto& p) { return std::string(p.param.what); });

TEST(Receive, SeventeenCharacterNameIsRequestedCutToSixteen) {
    ReceiveRig rig;
    rig.calc.memory().folders = {CalcFolder{"abcdefgh", {calcvariable("abcdefgh", 0x00, {0x0C, 0x01, 0x1F})}}};
    const auto entries = rig.listandmark({"abcdefgh\\abcdefgh"});
    const ReceiveResult result = rig.receive(entries);
    const auto sent = rig.trace.sent();
    const std::string request = "abcdefgh\\abcdefg";
    const std::vector<std::uint8_t> expect = [&] {
        std::vector<std::uint8_t> r{0x09, 0xA2, 22, 0, 0, 0, 0, 0, 0x00, 16};
        std::uint16_t sum = 16;
        for (char c : request) {
            r.push_back(static_cast<std::uint8_t>(c));
            sum += static_cast<std::uint8_t>(c);
        }
        r.push_back(sum & 0xFF);
        r.push_back(sum >> 8);
        return r;
    }();
    EXPECT_NE(std::search(sent.begin(), sent.end(), expect.begin(), expect.end()), sent.end());
}

TEST(Receive, TypeWithoutANameIsRequestedByItsListedCode) {
    ReceiveRig rig;
    rig.calc.memory().folders = {CalcFolder{"main", {calcvariable("odd", 0x01, {9, 9})}}};
    const auto entries = rig.listandmark({"main\\odd"});
    const ReceiveResult result = rig.receive(entries);
    const std::vector<std::uint8_t> expect{0x09, 0xA2, 14, 0, 0, 0, 0, 0, 0x01, 8};
    const auto sent = rig.trace.sent();
    EXPECT_NE(std::search(sent.begin(), sent.end(), expect.begin(), expect.end()), sent.end());
    // The calculator answers with the real type.
    const auto records = rig.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].type, 0x01);
}

TEST(Receive, NothingSelectedSendsOneReadyCheck) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    const auto entries = rig.listandmark({});
    const ReceiveResult result = rig.receive(entries);
    EXPECT_EQ(rig.trace.text(), transcript({"> 09 68 00 00", "< 89 56 00 00"}));
    EXPECT_TRUE(rig.shell.statuses.empty());
}

TEST(Receive, NotAtHomeScreenRecordsTheEntrysName) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    const auto entries = rig.listandmark({"test\\x", "test\\y"});
    rig.calc.misbehaviour().awayfromhome = true;
    const ReceiveResult result = rig.receive(entries);
    EXPECT_FALSE(rig.state.linkok);
    // The unanswered first ready check clears the link-ok flag, so only the first marked
    // row becomes an entry; its own ready checks then fail at once.
    EXPECT_EQ(rig.state.pendingerror, "Calculator is not ready. Please go to homescreen. (DIAMOND+Q)test\\x");
    EXPECT_EQ(result.received.size(), 0u);
    EXPECT_FALSE(rig.state.busy);
}

TEST(Receive, RequestAnsweredWithoutAVariableIsNotCounted) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    const auto entries = rig.listandmark({"test\\x", "test\\y", "test\\z"});
    // y goes away between the listing and the request.
    auto& vars = rig.calc.memory().folder("test")->variables;
    vars.erase(vars.begin() + 1);
    const ReceiveResult result = rig.receive(entries);
    EXPECT_EQ(names(rig.records()), (std::vector<std::string>{"test\\x", "test\\z"}));
    EXPECT_EQ(result.received.size(), 2u);
    EXPECT_NE(std::find(rig.shell.statuses.begin(), rig.shell.statuses.end(), "test\\y not received! [2/3]"),
              rig.shell.statuses.end());
    EXPECT_EQ(std::count_if(rig.shell.statuses.begin(), rig.shell.statuses.end(),
                            [](const std::string& s) { return s.find(" received! [") != std::string::npos &&
                                                              s.find("not received") == std::string::npos; }),
              2);
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_EQ(rig.state.pendingerror, "Variable(s) not received: test\\y");
    EXPECT_EQ(rig.rows.size(), 2u);
}

TEST(Receive, UnansweredRequestKeepsTheTimeoutAsTheReason) {
    ReceiveRig rig;
    rig.calc.memory().folders = {CalcFolder{"main", {calcvariable("a", 0x00, {0x01}), calcvariable("b", 0x00, {0x02})}}};
    rig.list();
    const std::size_t listing = rig.trace.bytes().size();
    const auto entries = rig.entries({"main\\a", "main\\b"});
    // The first ready check, a's two, then a's 18-byte request: silence before its acknowledgement.
    rig.calc.misbehaviour().stopafterbytes = listing + 8 + 16 + 18;
    const ReceiveResult result = rig.receive(entries);
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_EQ(rig.state.pendingerror, kReceiveTimeout);
    EXPECT_EQ(result.received.size(), 0u);
}

TEST(Receive, CutOffVariableIsDroppedWholeAndTheStoreStaysConsistent) {
    ReceiveRig rig;
    std::vector<std::uint8_t> big(3000, 0x55);
    rig.calc.memory().folders = {CalcFolder{"main", {calcvariable("a", 0x00, {0x0C, 0x01, 0x1F}), calcvariable("b", 0x12, big)}}};
    const auto entries = rig.listandmark({"main\\a", "main\\b"});
    // a's exchange is well under 200 bytes; b's request and header take about 70 more.
    rig.calc.misbehaviour().stopafterbytes = 1500;
    const ReceiveResult result = rig.receive(entries);
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_EQ(rig.state.pendingerror, kReceiveTimeout);
    EXPECT_EQ(names(rig.records()), std::vector<std::string>{"main\\a"});
    EXPECT_EQ(rig.storedata(), (std::vector<std::uint8_t>{0x00, 0x03, 0x0C, 0x01, 0x1F}));
    EXPECT_EQ(rig.rows.size(), 1u);
    EXPECT_EQ(result.received.size(), 1u);

    // Whatever is saved holds only whole variables.
    const auto dest = rig.folder / "kept.92g";
    std::string comment, error;
    ASSERT_TRUE(savepackage(dest, false, rig.store, comment, rig.shell, rig.state, &error, kTI92)) << error;
    const auto saved = readgroup(dest);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].first, "main\\a");
}

TEST(Receive, CancelDuringTheDataDropsTheVariable) {
    ReceiveRig rig;
    rig.calc.memory().folders = {CalcFolder{"main", {calcvariable("b", 0x12, std::vector<std::uint8_t>(4000, 1))}}};
    const auto entries = rig.listandmark({"main\\b"});
    bool transferring = false;
    rig.shell.onpump = [&](int) {
        if (transferring) rig.state.linkok = false;  // the Cancel button
        transferring = rig.shell.gaugemax == 4000;
    };
    const ReceiveResult result = rig.receive(entries);
    EXPECT_TRUE(rig.records().empty());
    EXPECT_TRUE(rig.storedata().empty());
    EXPECT_TRUE(rig.rows.empty());
    EXPECT_EQ(result.received.size(), 0u);
}

TEST(Receive, ChecksumMismatchFailsAndDropsTheVariable) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    const auto entries = rig.listandmark({"test\\x", "test\\z"});
    rig.calc.misbehaviour().wrongchecksum = true;
    const ReceiveResult result = rig.receive(entries);
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_TRUE(rig.state.pendingerror.starts_with("Checksum error")) << rig.state.pendingerror;
    EXPECT_NE(rig.state.pendingerror.find("test\\x"), std::string::npos);
    EXPECT_TRUE(rig.records().empty());
    EXPECT_TRUE(rig.storedata().empty());
    EXPECT_EQ(result.received.size(), 0u);
}

TEST(Receive, MoreThanTwoHundredMarkedRowsAreAllRequested) {
    ReceiveRig rig;
    CalcFolder many{"main", {}};
    for (int i = 0; i < 205; ++i)
        many.variables.push_back(
            calcvariable(std::string("v").append(std::to_string(i)), 0x00, {0x0C, static_cast<std::uint8_t>(i), 0x1F}));
    rig.calc.memory().folders = {many};
    rig.list();
    std::vector<RequestEntry> entries;
    for (const ListRow& r : rig.listed) entries.push_back({r.caption, r.type});
    const ReceiveResult result = rig.receive(entries);
    EXPECT_EQ(rig.records().size(), 205u);
    EXPECT_EQ(result.received.size(), 205u);
}

TEST(Receive, RefusedWhileBusy) {
    ReceiveRig rig;
    rig.state.busy = true;
    rig.receive({{"main\\a", 0}});
    EXPECT_EQ(rig.shell.refusals, 1);
    EXPECT_TRUE(rig.trace.bytes().empty());
}

TEST(ReceiveFromCalc, TakesEveryVariableTheCalculatorSends) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    std::string error;
    ASSERT_TRUE(rig.calc.sendfromcalc({"test\\x", "test\\y", "test\\z"}, &error)) << error;
    const ReceiveResult result = rig.fromcalc();

    EXPECT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    // The names are the headers': the virtual TI-92 names each with its folder.
    EXPECT_EQ(names(rig.records()), (std::vector<std::string>{"test\\x", "test\\y", "test\\z"}));
    // No ready check and no request: the PC only accepts and acknowledges.
    const auto sent = rig.trace.sent();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x68), 0);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0xA2), 0);
    EXPECT_EQ(rig.rows.size(), 3u);
    EXPECT_EQ(rig.shell.laststatus(), "3 variables received!");
    EXPECT_FALSE(rig.state.busy);
}

TEST(ReceiveFromCalc, NothingSentTimesOutAndKeepsTheUnsavedPackage) {
    ReceiveRig rig;
    tessaly::testing::capturememory(rig.calc);
    const auto entries = rig.listandmark({"test\\x"});
    rig.receive(entries);  // something in the store first
    ASSERT_EQ(rig.records().size(), 1u);

    const Bytes before = rig.storedata();
    rig.fromcalc();
    EXPECT_EQ(rig.state.pendingerror, kReceiveTimeout);
    EXPECT_EQ(rig.records().size(), 1u);
    EXPECT_EQ(rig.storedata(), before);

    // Something else than a variable is no success either, and takes nothing away.
    rig.calc.fcamerastream(1);
    EXPECT_TRUE(rig.fromcalc().received.empty());
    EXPECT_EQ(rig.state.pendingerror, kNothingReceivedText);
    EXPECT_EQ(rig.records().size(), 1u);

    // A receive cancelled during its first variable leaves the package before it too.
    rig.calc.memory().folder("test")->variables.push_back(calcvariable("big", 0x12, Bytes(4000, 1)));
    bool transferring = false;
    rig.shell.onpump = [&](int) {
        if (transferring) rig.state.linkok = false;
        transferring = rig.shell.gaugemax == 4000;
    };
    rig.receive({{"test\\big", 0x12}});
    EXPECT_EQ(names(rig.records()), std::vector<std::string>{"test\\x"});
    EXPECT_EQ(rig.storedata(), before);
    EXPECT_FALSE(rig.state.busy);
}

} // namespace

TEST(Receive, RequestRefusedWithAnotherAnswerIsReportedAsNotReceived) {
    const Bytes ack{0x89, 0x56, 0x00, 0x00};
    ScriptedRig rig({
        {4, ack},                                                                  // listing: ready check
        {16, {0x89, 0x56, 0x00, 0x00, 0x89, 0x06, 0x0A, 0x00, 0x0E, 0x00, 0x00, 0x00,
              0x53, 0x04, 'm', 'a', 'i', 'n', 0x0A, 0x02}},                        // request: header
        {24, {0x89, 0x56, 0x00, 0x00, 0x89, 0x15, 0x12, 0x00, 0x00, 0x00, 0x00, 0x00,
              'x', 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x7D, 0x00}},  // the one entry
        {28, {0x89, 0x92, 0x00, 0x00}},
        {32, ack}, {36, ack}, {40, ack},                                           // three ready checks
        {54, {0x89, 0x5A, 0x00, 0x00}},                                            // the request refused
    });
    rig.state.linkok = true;
    const DirectoryListing listing = directorylisting(rig.link, rig.shell);
    ASSERT_EQ(listing.rows.size(), 1u) << rig.state.pendingerror;
    ReceiveTarget into = rig.target(false);
    const ReceiveResult result = receiverequested(rig.link, into, {{listing.rows[0].caption, 0}});

    const auto& statuses = rig.shell.statuses;
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "\\x not received! [1/1]"), statuses.end());
    EXPECT_EQ(result.received.size(), 0u);
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_EQ(rig.state.pendingerror, "Variable(s) not received: \\x");
    EXPECT_FALSE(rig.state.busy);
}

// A damaged packet is asked for again, as the calculator does; three tries in all.
TEST(Receive, DamagedPacketsAreAskedForAgain) {
    const std::vector<std::uint8_t> again{0x09, 0x5A, 0x00, 0x00};
    auto asks = [&](const std::vector<std::uint8_t>& sent) {
        std::size_t n = 0;
        for (auto it = sent.begin(); (it = std::search(it, sent.end(), again.begin(), again.end())) != sent.end(); ++it)
            ++n;
        return n;
    };
    ReceiveRig once;
    tessaly::testing::capturememory(once.calc);
    once.calc.misbehaviour().wrongchecksumonce = true;
    const auto entries = once.listandmark({"test\\x", "test\\z"});
    EXPECT_EQ(once.listed.size(), 3u) << once.state.pendingerror;
    const ReceiveResult result = once.receive(entries);
    EXPECT_TRUE(once.state.linkok) << once.state.pendingerror;
    EXPECT_EQ(result.received, (std::vector<std::string>{"test\\x", "test\\z"}));
    Bytes both = once.calc.memory().find("test\\x")->data;
    const Bytes& z = once.calc.memory().find("test\\z")->data;
    both.insert(both.end(), z.begin(), z.end());
    EXPECT_EQ(once.storedata(), both);
    EXPECT_EQ(asks(once.trace.sent()), 2u);

    ReceiveRig always;
    tessaly::testing::capturememory(always.calc);
    const auto one = always.listandmark({"test\\x"});
    always.calc.misbehaviour().wrongchecksum = true;
    always.receive(one);
    EXPECT_TRUE(always.state.pendingerror.starts_with("Checksum error")) << always.state.pendingerror;
    EXPECT_EQ(asks(always.trace.sent()), 2u);  // then it gives up
    EXPECT_TRUE(always.records().empty());
}

// Found by fuzzing: a calculator on a byte-level cable whose answers are these bytes sends
// main\x with a length word of 0xA2A2 in a data packet of 1028 bytes. Kept, its record would
// have lain beyond the package's data, and every save of the package would have failed.
TEST(Receive, AVariableWhoseLengthDisagreesWithItsPacketIsNotKept) {
    struct Answers final : ByteStream {
        Bytes bytes = readbytes(std::string(TESSALY_TESTDATA_DIR) + "/fuzz/receive-length-mismatch.bin");
        std::size_t at = 0;
        bool write(std::span<const std::uint8_t>) override { return true; }
        int read(std::span<std::uint8_t> out, std::uint32_t) override {
            const std::size_t n = std::min(out.size(), bytes.size() - at);
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), n, out.begin());
            at += n;
            return static_cast<int>(n);
        }
    } calc;
    ReceiveSide side;
    SimClock clock;
    TransferState state;
    Link link(calc, clock, side.shell, state);
    TransferSession session(state, side.shell);
    ReceiveTarget into = side.target(false);
    const ReceiveResult result = receiverequested(link, into, {{"main\\x", 0x00}, {"test\\t", 0x0B}});
    EXPECT_TRUE(result.received.empty());
    EXPECT_TRUE(state.pendingerror.starts_with(kLengthMismatchText)) << state.pendingerror;
    EXPECT_TRUE(side.records().empty());
}
