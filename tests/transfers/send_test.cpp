#include <gtest/gtest.h>

#include <cctype>
#include <map>

#include "transfers/sendrig.h"

using namespace tessaly;
using namespace tessaly::test;
using tessaly::testing::kCalcChecksumError;
using tessaly::testing::kCalcCts;
using tessaly::testing::kRefusal;

namespace {

const Bytes kX{0x00, 0x03, 0x0C, 0x01, 0x1F};
const Bytes kY{0x00, 0x03, 0x0D, 0x01, 0x1F};
const std::string kHints = "\nCheck if you are trying to overwrite a locked variable!\nGo to home screen! (<> Q)";

std::vector<std::string> sentcounts(const ScriptedShell& shell) {
    std::vector<std::string> out;
    for (const auto& s : shell.statuses)
        if (s.ends_with(" variable(s) was sent")) out.push_back(s);
    return out;
}

TEST(Send, VariablesBeforeAndAfterAFolderByteForByte) {
    SendRig rig;
    const auto path = rig.file("two.92g", groupfile({{"x", 0x00, kX}, {"abc", 0, {}, true}, {"x", 0x00, kY}}));

    const SendResult result = rig.send(path);

    EXPECT_EQ(rig.trace.text(), transcript({
                                    "> 09 68 00 00",
                                    "< 89 56 00 00",
                                    "> 09 06 07 00 05 00 00 00 00 01 78 7E 00",
                                    "< 89 56 00 00 89 09 00 00",
                                    "> 09 56 00 00 09 15 09 00 00 00 00 00 00 03 0C 01 1F 2F 00",
                                    "< 89 56 00 00",
                                    "> 09 92 00 00",
                                    "< 89 56 00 00",
                                    "> 09 68 00 00",
                                    "< 89 56 00 00",
                                    "> 09 06 0B 00 05 00 00 00 00 05 61 62 63 5C 78 04 02",
                                    "< 89 56 00 00 89 09 00 00",
                                    "> 09 56 00 00 09 15 09 00 00 00 00 00 00 03 0D 01 1F 30 00",
                                    "< 89 56 00 00",
                                    "> 09 92 00 00",
                                    "< 89 56 00 00",
                                }));
    EXPECT_EQ(result.sent, (std::vector<std::string>{"x", "abc\\x"}));
    EXPECT_EQ(rig.shell.statuses, (std::vector<std::string>{"Sending x..", "1 variable(s) was sent", "Sending abc\\x..",
                                                            "2 variable(s) was sent", "2 variable(s) was sent"}));
    // Fewer than 100 bytes: the gauge stays at 0 until the last byte, then shows S - 3.
    EXPECT_EQ(rig.shell.gaugemax, 2);
    EXPECT_EQ(rig.shell.gaugepositions, (std::vector<int>{0, 2, 0, 2}));
    ASSERT_NE(rig.calc.memory().find("main\\x"), nullptr);
    EXPECT_EQ(rig.calc.memory().find("main\\x")->data, kX);
    ASSERT_NE(rig.calc.memory().find("abc\\x"), nullptr);
    EXPECT_EQ(rig.calc.memory().find("abc\\x")->data, kY);
    EXPECT_TRUE(rig.state.linkok);
}

struct SelectionCase {
    const char* label;
    std::vector<FileItem> items;
    std::vector<bool> rows;  // the selected rows of the variable list; empty: All
    std::vector<std::string> sent;
};

class SendSelection : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(SendSelection, SendsWhatIsChosenUnderItsName) {
    const SelectionCase& c = GetParam();
    SendRig rig;
    const auto path = rig.file("f.92g", groupfile(c.items));
    std::function<bool(std::size_t)> selected;
    if (!c.rows.empty()) selected = [&](std::size_t i) { return i < c.rows.size() && c.rows[i]; };

    const SendResult result = rig.send(path, selected);

    EXPECT_EQ(result.sent, c.sent);
    EXPECT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    // A running count after each variable, and the count once more at the end.
    std::vector<std::string> counts;
    for (std::size_t k = 1; k <= c.sent.size(); ++k) counts.push_back(std::to_string(k) + " variable(s) was sent");
    counts.push_back(std::to_string(c.sent.size()) + " variable(s) was sent");
    EXPECT_EQ(sentcounts(rig.shell), counts);
    for (const FileItem& it : c.items) {
        if (it.folder) continue;
        const CalcVariable* v = rig.calc.memory().find("main\\" + it.name);
        const bool wanted = std::find(c.sent.begin(), c.sent.end(), it.name) != c.sent.end();
        EXPECT_EQ(v != nullptr, wanted) << it.name;
        if (v && wanted) {
            EXPECT_EQ(v->data, it.data) << it.name;
        }
    }
}

const std::vector<FileItem> kThree{{"a", 0x00, kX}, {"b", 0x0B, storedofsize(300)}, {"c", 0x00, kY}};

INSTANTIATE_TEST_SUITE_P(
    Cases, SendSelection,
    ::testing::Values(
        SelectionCase{"All", kThree, {}, {"a", "b", "c"}},
        SelectionCase{"SelNone", kThree, {false, false, false}, {}},
        SelectionCase{"SelSecond", kThree, {false, true, false}, {"b"}},
        SelectionCase{"NoEntries", {}, {}, {}},
        SelectionCase{"SeventeenCharactersCutTo16",
                      {{"abcdefgh", 0, {}, true}, {"ijklmnop", 0x00, kX}}, {}, {"abcdefgh\\ijklmno"}}),
    [](const auto& tp) { return std::string(tp.param.label); });

TEST(Send, GaugeStepsEveryTwoPerCent) {
    SendRig rig;
    const auto path = rig.file("big.92t", groupfile({{"t", 0x0B, storedofsize(1000)}}));
    rig.send(path);
    // S = 1000: range 997, a step every 20 bytes from byte 1.
    EXPECT_EQ(rig.shell.gaugemax, 997);
    ASSERT_GE(rig.shell.gaugepositions.size(), 3u);
    EXPECT_EQ(rig.shell.gaugepositions[1], 1);
    EXPECT_EQ(rig.shell.gaugepositions[2], 21);
    EXPECT_EQ(rig.shell.gaugepositions.back(), 997);
    EXPECT_EQ(rig.shell.gaugepositions.size(), 2u + 50u);
}

// The computer's bytes so far -> what the calculator answers, for one variable x:
// ready check (4), header (17), acknowledgement and data (36), end of transmission (40).
const Bytes kAck{0x89, 0x56, 0x00, 0x00};
Bytes join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct FailureCase {
    const char* label;
    std::map<std::size_t, Bytes> replies;
    std::vector<std::string> sent, notsent;
    std::string pending;  // empty: the link stays ok
};

class SendFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(SendFailure, EndsWithItsReason) {
    const FailureCase& c = GetParam();
    ScriptedRig rig(c.replies);
    TempDir dir;
    writebytes(dir / "x.92e", groupfile({{"x", 0x00, kX}}));
    rig.state.linkok = true;

    const SendResult result = sendvariables(rig.link, rig.shell, dir / "x.92e");

    EXPECT_EQ(result.sent, c.sent);
    EXPECT_EQ(result.notsent, c.notsent);
    EXPECT_EQ(rig.state.linkok, c.pending.empty());
    if (!c.pending.empty()) {
        EXPECT_EQ(rig.state.pendingerror, c.pending + kHints);
        EXPECT_EQ(rig.shell.laststatus(), c.pending + kHints);
    } else {
        EXPECT_EQ(rig.shell.laststatus(), "1 variable(s) was sent");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendFailure,
    ::testing::Values(
        FailureCase{"HeaderRefused", {{4, kAck}, {17, join(kAck, kRefusal)}}, {}, {"x"}, "Variable(s) not sent: x"},
        FailureCase{"HeaderAnsweredWithChecksumError", {{4, kAck}, {17, kCalcChecksumError}}, {}, {"x"},
                    "Variable(s) not sent: x"},
        FailureCase{"HeaderUnanswered", {{4, kAck}}, {}, {}, std::string(kReceiveTimeout)},
        FailureCase{"NoDataRequest", {{4, kAck}, {17, kAck}}, {}, {}, "Did not got datarequest"},
        FailureCase{"DataUnanswered", {{4, kAck}, {17, join(kAck, kCalcCts)}}, {}, {}, "Did not got the data ACK"},
        FailureCase{"EndNotAcknowledgedStillCounts",
                    {{4, kAck}, {17, join(kAck, kCalcCts)}, {36, kAck}, {40, kCalcChecksumError}}, {"x"}, {}, ""}),
    [](const auto& tp) { return std::string(tp.param.label); });

TEST(Send, LockedVariableAndFullMemoryAreNamedNotSkipped) {
    for (const bool full : {false, true}) {
        SendRig rig;
        tessaly::testing::capturememory(rig.calc);  // test\y is locked
        if (full) rig.calc.setmemorycapacity(16);
        const auto path = rig.file("f.92g", groupfile({{"test", 0, {}, true}, {"y", 0x00, kX}, {"w", 0x00, kY}}));

        const SendResult result = rig.send(path);

        const std::vector<std::string> refused =
            full ? std::vector<std::string>{"test\\y", "test\\w"} : std::vector<std::string>{"test\\y"};
        EXPECT_EQ(result.notsent, refused);
        EXPECT_EQ(rig.state.pendingerror, "Variable(s) not sent: " + (full ? std::string("test\\y, test\\w") : "test\\y") + kHints);
        EXPECT_EQ(rig.calc.memory().find("test\\y")->data, (Bytes{0x00, 0x03, 0x0D, 0x01, 0x1F}));
        EXPECT_EQ(rig.calc.memory().find("test\\w") != nullptr, !full);
    }
}

struct BadFileCase {
    const char* label;
    Bytes bytes;  // empty: no file at all
    std::string pending;
};

class SendBadFile : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(SendBadFile, RefusedBeforeAnythingIsSent) {
    const BadFileCase& c = GetParam();
    SendRig rig;
    const auto path = c.bytes.empty() ? rig.files / "f.92g" : rig.file("f.92g", c.bytes);
    rig.send(path);
    EXPECT_TRUE(rig.trace.bytes().empty());
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_TRUE(rig.state.pendingerror.starts_with(c.pending)) << rig.state.pendingerror;
}

Bytes cut(Bytes b, std::size_t n) {
    b.resize(n);
    return b;
}
Bytes notti92() {
    Bytes b = groupfile({{"x", 0x00, kX}});
    b[2] = 'X';
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SendBadFile,
    ::testing::Values(BadFileCase{"Missing", {}, "Cannot open f.92g"},
                      BadFileCase{"ShorterThanItsTable", cut(groupfile({{"x", 0x00, kX}, {"y", 0x00, kY}}), 100),
                                  "f.92g is not a readable TI-92 file"},
                      BadFileCase{"NotATi92File", notti92(), "f.92g is not a TI-92 file."}),
    [](const auto& tp) { return std::string(tp.param.label); });

// Every real TI-92 file sent to the virtual TI-92 comes back as it was, variable for variable.
TEST(Send, RealSamplesRoundTrip) {
    const std::filesystem::path samples = std::string(TESSALY_TESTDATA_DIR) + "/samples";
    for (const auto& f : std::filesystem::directory_iterator(samples)) {
        if (sendkind(f.path()) != SendKind::Variables || f.path().extension() == ".json" ||
            f.path().extension() == ".md")
            continue;
        SendRig rig;
        rig.calc.memory().folders = {{"main", {}}};
        const SendResult result = rig.send(f.path());
        ASSERT_TRUE(rig.state.linkok) << f.path() << ": " << rig.state.pendingerror;

        std::string error;
        const auto file = readtifile(f.path(), &error);
        ASSERT_TRUE(file) << error;
        // The calculator files a variable without a folder in main, and keeps names in lower case.
        auto caption = [](const TiEntry& v) {
            std::string c = v.folder.empty() ? "main\\" + v.name : v.fullname();
            for (auto& ch : c) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            return c;
        };
        std::vector<std::string> captions;
        for (const TiEntry* v : file->variables()) captions.push_back(caption(*v));
        ASSERT_EQ(result.sent.size(), captions.size());
        rig.receive(rig.listandmark(captions));
        const Bytes stored = rig.storedata();
        std::map<std::string, Bytes> received;
        for (const PackageRecord& r : rig.records())
            received[r.name] = Bytes(stored.begin() + r.start, stored.begin() + r.end);
        TiFileReader reader;
        ASSERT_TRUE(reader.open(f.path(), &error));
        for (const TiEntry* v : file->variables()) {
            Bytes original;
            ASSERT_TRUE(reader.readvariable(*v, original));
            EXPECT_EQ(received[caption(*v)], original) << f.path() << " " << caption(*v);
        }
    }
}

// sendfilelist: a FARGO program needing lib1 (in the browser folder and the library
// folder) and lib2 (nowhere).
struct FileListRig : SendRig {
    SendPlaces places{files / "browser", files / "libs"};
    std::filesystem::path program;

    FileListRig() {
        std::filesystem::create_directories(places.browserfolder);
        std::filesystem::create_directories(places.libraryfolder);
        std::filesystem::create_directories(files / "drop");
        Bytes content(40, 0x4E);
        content[1] = 0x50;  // kind 'P' at file offset 89
        content[6] = 0x00;  // V = 20: the library table at 89 + 20 (content[21])
        content[7] = 20;
        const Bytes table{2, 'l', 'i', 'b', '1', 0x00, 'l', 'i', 'b', '2', 0x00};
        std::copy(table.begin(), table.end(), content.begin() + 21);
        program = file("drop/prog.92p", groupfile({{"prog", 0x12, stored(content)}}));
        writebytes(places.browserfolder / "lib1.92p", groupfile({{"lib1", 0x12, kX}}));
        writebytes(places.libraryfolder / "lib1.92p", groupfile({{"lib1", 0x12, kY}}));
    }
    bool run(const std::vector<std::filesystem::path>& paths, bool ask, bool install) {
        return sendfilelist(link, shell, paths, ask ? &shell : nullptr, install, places);
    }
    std::vector<std::string> newstexts() const {
        std::vector<std::string> out;
        for (const auto& n : shell.news) out.push_back(n.second);
        return out;
    }
};

TEST(SendFileList, LibrariesFromTheBrowserFolderFirstAndAMissingOneWarned) {
    FileListRig rig;
    rig.shell.copychoices = {CopyChoice::NoCopy};
    rig.shell.yesanswers = {true};
    EXPECT_FALSE(rig.run({rig.program}, true, false));
    EXPECT_EQ(rig.shell.questions, (std::vector<std::string>{"savecopies 1", "sendlibraries prog.92p"}));
    EXPECT_EQ(rig.newstexts(), std::vector<std::string>{"Cannot find the required library \"lib2.92p\"! You need "
                                                        "this file to run " + rig.program.string() + "."});
    EXPECT_EQ(rig.shell.news[0].first, News::Warning);
    ASSERT_NE(rig.calc.memory().find("main\\lib1"), nullptr);
    EXPECT_EQ(rig.calc.memory().find("main\\lib1")->data, kX);
    EXPECT_NE(rig.calc.memory().find("main\\prog"), nullptr);
    EXPECT_FALSE(rig.state.busy);
}

TEST(SendFileList, NoQuestionWhenAskIsClearAndInstallSendsLibrariesUnasked) {
    FileListRig rig;
    EXPECT_FALSE(rig.run({rig.program}, false, false));
    EXPECT_TRUE(rig.shell.questions.empty() && rig.shell.news.empty());
    EXPECT_EQ(rig.calc.memory().find("main\\lib1"), nullptr);

    FileListRig install;
    EXPECT_TRUE(install.run({install.program}, true, true));
    EXPECT_EQ(install.shell.questions, std::vector<std::string>{"savecopies 1"});
    EXPECT_EQ(install.shell.news.size(), 1u);  // the missing library
    EXPECT_NE(install.calc.memory().find("main\\lib1"), nullptr);
}

// Only a FARGO program whose table names libraries is asked about them: a plain program,
// or one that needs none, is sent without a question that could end the list. A library
// path longer than 40 characters is used whole.
TEST(SendFileList, OnlyAProgramThatNeedsLibrariesIsAskedAndLongLibraryPathsStayWhole) {
    FileListRig rig;
    std::filesystem::remove(rig.places.browserfolder / "lib1.92p");
    rig.places.libraryfolder = rig.files / "a library folder whose path runs past forty characters";
    std::filesystem::create_directories(rig.places.libraryfolder);
    writebytes(rig.places.libraryfolder / "lib1.92p", groupfile({{"lib1", 0x12, kY}}));
    Bytes plain(40, 0x4E), nolibs(40, 0x4E);
    nolibs[1] = 0x50;
    nolibs[7] = 20;
    nolibs[21] = 0;  // a table of no names
    const auto a = rig.file("drop/plain.92p", groupfile({{"plain", 0x12, stored(plain)}}));
    const auto b = rig.file("drop/nolibs.92p", groupfile({{"nolibs", 0x12, stored(nolibs)}}));
    rig.shell.copychoices = {CopyChoice::NoCopy};
    rig.shell.yesanswers = {true};
    rig.run({a, b, rig.program}, true, false);
    EXPECT_EQ(rig.shell.questions, (std::vector<std::string>{"savecopies 3", "sendlibraries prog.92p"}));
    ASSERT_NE(rig.calc.memory().find("main\\lib1"), nullptr);
    EXPECT_EQ(rig.calc.memory().find("main\\lib1")->data, kY);
}

TEST(SendFileList, JudgedByTheFilesOwnExtension) {
    FileListRig rig;
    std::filesystem::create_directories(rig.files / "my.dir");
    const auto notes = rig.file("my.dir/notes.txt", Bytes{'h', 'i'});
    rig.run({notes}, true, false);
    EXPECT_EQ(rig.newstexts(), std::vector<std::string>{"Please convert the text-file first!"});
    EXPECT_TRUE(rig.trace.bytes().empty());
}

// One damaged file among several stops the whole list before any variable goes: dropped
// or sent from the browser.
TEST(SendFileList, ADamagedFileAmongThemSendsNothing) {
    FileListRig rig;
    Bytes spoilt = groupfile({{"y", 0x00, kY}});
    spoilt[72] = 0xFF;
    writebytes(rig.places.browserfolder / "bad.92g", spoilt);
    writebytes(rig.places.browserfolder / "good.92p", groupfile({{"good", 0x12, kX}}));
    for (const bool dropped : {true, false}) {
        rig.state.pendingerror.clear();
        if (dropped) {
            rig.run({rig.places.browserfolder / "good.92p", rig.places.browserfolder / "bad.92g"}, false, false);
        } else {
            TransferSession session(rig.state, rig.shell);
            EXPECT_TRUE(sendselectedfiles(rig.link, rig.shell, {"good.92p", "bad.92g"}, false, rig.places));
        }
        EXPECT_TRUE(rig.trace.bytes().empty());
        EXPECT_EQ(rig.state.pendingerror, "bad.92g is not a readable TI-92 file: entry 1 (y) has the type code FF, which no "
                                          "TI-92 variable has. Nothing was sent.");
        EXPECT_EQ(rig.calc.memory().find("main\\good"), nullptr);
    }
}

TEST(SendFileList, ACopyThatCannotBeSavedIsReported) {
    FileListRig rig;
    const auto nowhere = rig.files / "gone" / "taken.92p";
    rig.shell.copychoices = {CopyChoice::Copy};
    rig.shell.saveanswers = {nowhere.string()};
    rig.run({rig.program}, true, false);
    ASSERT_GE(rig.shell.questions.size(), 2u);
    EXPECT_EQ(rig.shell.questions[1], "copydestination " + (rig.places.browserfolder / "prog.92p").string() + " 92P");
    ASSERT_GE(rig.shell.news.size(), 1u);
    EXPECT_EQ(rig.shell.news[0].second, "No copy was saved as " + nowhere.string() + ": Cannot write taken.92p: the folder " +
                                           (rig.files / "gone").string() + " does not exist.");
    EXPECT_NE(rig.calc.memory().find("main\\prog"), nullptr);
}

} // namespace
