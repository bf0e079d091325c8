// Every exchange against the virtual calculator of each model, through the core.
#include <algorithm>
#include <tuple>

#include "files/packagewriter.h"
#include "transfers/groupbackup.h"
#include "transfers/manage.h"
#include "transfers/packetcommands.h"
#include "transfers/readiness.h"
#include "transfers/remotekeys.h"
#include "transfers/rig.h"
#include "transfers/screenshot.h"
#include "transfers/send.h"
#include "transfers/sendrig.h"
#include "support/usbstream.h"
#include "vcalc/statefile.h"

namespace tessaly::test {
namespace {

struct ModelRig : ReceiveSide {
    // usb: the Titanium reached by its own USB port instead of the link port.
    explicit ModelRig(const CalculatorModel& model, bool usb = false) : calc(clock, model) {
        calc.setpace(0);
        calc.loaddemo();
        link.releaselines();
        link.settrace(&trace);
        if (!usb) return;
        link.setstream(usbend);
        link.setdirectusb(true);
    }
    // A transfer as the front ends run one: in a session of its own.
    template <typename F> auto run(F f) {
        TransferSession session(state, shell);
        return f();
    }
    SimClock clock;
    VirtualCalculator calc;
    VirtualPort port{calc, &clock};
    TransferState state;
    Link link{port, clock, shell, state};
    MemoryTrace trace;
    UsbEndStream usbend{calc};
};

// Each model on its link port, and the Titanium on its own USB port too.
struct Reached {
    const CalculatorModel* model;
    bool usb = false;
};
std::vector<Reached> everyport() {
    std::vector<Reached> out;
    for (const CalculatorModel* m : allmodels()) out.push_back({m});
    out.push_back({&kTI89Titanium, true});
    return out;
}

class Models : public ::testing::TestWithParam<Reached> {};

TEST_P(Models, AnswersAsItsModelInEveryExchange) {
    const CalculatorModel& model = *GetParam().model;
    ModelRig rig(model, GetParam().usb);
    CalculatorVersion version;
    ASSERT_TRUE(rig.run([&] { return identifycalculator(rig.link, rig.shell, version); })) << rig.state.pendingerror;
    EXPECT_EQ(&rig.link.model(), &model);
    EXPECT_EQ(version.version.empty(), !model.hasversioncommand);
    EXPECT_EQ(version.model, model.hasversioncommand ? model.name : "");

    // The listing: the later models' own types and archived variables.
    const DirectoryListing listing = rig.run([&] { return directorylisting(rig.link, rig.shell); });
    ASSERT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    const auto row = [&](const std::string& caption) {
        for (const ListRow& r : listing.rows)
            if (r.caption == caption) return r;
        return variablerow({}, 0x30, 0);  // no such row: a code without a name
    };
    EXPECT_EQ(typetext(model, row("main\\notes")), "text");
    EXPECT_EQ(typetext(model, row("games\\hello")), model.hasarchive ? "assembly" : "");
    EXPECT_EQ(row("work\\kept").archived, model.hasarchive);

    // Get: the variable arrives and is saved signed for the model.
    ReceiveTarget into = rig.target(false);
    const ReceiveResult got = rig.run([&] { return receiverequested(rig.link, into, {{"main\\notes", model.texttype}}); });
    ASSERT_EQ(got.received.size(), 1u) << rig.state.pendingerror;
    const auto saved = rig.folder.path() / "got.grp";
    std::string comment = "x", error;
    ASSERT_TRUE(savepackage(saved, false, rig.store, comment, rig.shell, rig.state, &error, model)) << error;
    EXPECT_EQ(readtifile(saved, &error)->model->signature, model.signature);

    // The screen at what the display shows; a key reaches the home screen.
    const ScreenshotResult shot = rig.run([&] { return getscreenshot(rig.link, rig.shell); });
    EXPECT_TRUE(shot.complete);
    EXPECT_EQ(shot.picture.width, model.shownwidth);
    EXPECT_EQ(shot.picture.height, model.shownheight);
    rig.state.linkok = true;
    EXPECT_TRUE(sendkey(rig.link, std::uint16_t{'7'}));
    EXPECT_EQ(rig.calc.entryline(), "7");
}

// Files of the model: written with its signature, types and archived attribute, read back
// as such, sent back with the locked and archived flags kept.
TEST_P(Models, FilesRoundTripAndSendArchived) {
    const CalculatorModel& model = *GetParam().model;
    ModelRig rig(model, GetParam().usb);
    const auto path = rig.folder.path() / ("memory." + std::string(model.fileprefix) + "g");
    std::string error;
    ASSERT_TRUE(savecalcmemory(path.string(), rig.calc.memory(), &error, model)) << error;
    const auto file = readtifile(path, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->model, modelbysignature(model.signature)) << "the first model that signs files so";
    bool archived = false;
    for (const TiEntry* e : file->variables())
        if (e->name == "kept") archived = e->attribute == model.archivedattribute;
    EXPECT_EQ(archived, model.hasarchive);

    rig.calc.memory().folders = {{"main", {}}};
    const SendResult sent = rig.run([&] { return sendvariables(rig.link, rig.shell, path); });
    EXPECT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    EXPECT_EQ(sent.sent.size(), file->variables().size());
    const CalcVariable* kept = rig.calc.memory().find("work\\kept");
    ASSERT_EQ(kept != nullptr, model.hasarchive);
    EXPECT_TRUE(!kept || kept->archived);
    const CalcVariable* secret = rig.calc.memory().find("main\\secret");
    ASSERT_NE(secret, nullptr);
    EXPECT_EQ(secret->type, 0x0C);
    EXPECT_EQ(secret->locked, model.hasarchive) << "the TI-92 takes no variable locked";
}

// Version and delete: the later models answer; the TI-92 has neither packet and nothing
// is sent. A later model's backup is every variable in one group file.
TEST_P(Models, VersionDeleteAndBackup) {
    const CalculatorModel& model = *GetParam().model;
    ModelRig rig(model, GetParam().usb);
    rig.link.choosemodel(&model);
    const bool deleted = rig.run([&] { return deletebypacket(rig.link, rig.shell, "main\\exp"); });
    EXPECT_EQ(deleted, model.hasdeletecommand) << rig.state.pendingerror;
    EXPECT_EQ(rig.calc.memory().find("main\\exp") == nullptr, model.hasdeletecommand);
    if (!model.hasdeletecommand) return;
    EXPECT_FALSE(rig.run([&] { return deletebypacket(rig.link, rig.shell, "main\\nosuch"); }));
    EXPECT_NE(rig.state.pendingerror.find(kNotDeletedText), std::string::npos);

    const auto dest = rig.folder.path() / "backup.grp";
    std::string comment = "all";
    ASSERT_FALSE(model.imagebackup);
    ASSERT_TRUE(rig.run([&] { return fetchgroupbackup(rig.link, rig.shell, rig.store, dest, comment); }))
        << rig.state.pendingerror;
    std::string error;
    const auto file = readtifile(dest, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->variables().size(), rig.calc.variablenames().size());
    const std::vector<const TiEntry*> vars = file->variables();
    const auto secret = std::find_if(vars.begin(), vars.end(), [](const TiEntry* e) { return e->name == "secret"; });
    ASSERT_NE(secret, vars.end());
    EXPECT_EQ((*secret)->attribute, kLockedAttribute) << "the locked flag is kept with the archived one";

    // Its own backup goes back over whatever the calculator holds now, locked and
    // archived variables too, and they come back so.
    rig.calc.memory().find("main\\secret")->data = {0x00, 0x01, 0x2D};
    rig.calc.memory().find("work\\kept")->data = {0x00, 0x01, 0x2D};
    std::size_t restored = 0;
    ASSERT_TRUE(rig.run([&] { return restoregroupbackup(rig.link, rig.shell, dest, &restored); })) << rig.state.pendingerror;
    EXPECT_EQ(restored, file->variables().size());
    const CalcVariable* locked = rig.calc.memory().find("main\\secret");
    const CalcVariable* kept = rig.calc.memory().find("work\\kept");
    ASSERT_TRUE(locked && kept);
    EXPECT_TRUE(locked->locked && kept->archived);
    EXPECT_NE(locked->data, (Bytes{0x00, 0x01, 0x2D}));
    EXPECT_NE(kept->data, (Bytes{0x00, 0x01, 0x2D}));
}

INSTANTIATE_TEST_SUITE_P(EveryModel, Models, ::testing::ValuesIn(everyport()), [](const auto& param) {
    return std::string(param.param.model->id) + (param.param.usb ? "_usb" : "");
});

// The later models' exchanges held against the captures' bytes, not the model table's.
class LaterModels : public ::testing::TestWithParam<const CalculatorModel*> {};

TEST_P(LaterModels, ListingAsksAsCapturedAndKeepsCodesSizesAndAttributes) {
    ModelRig rig(*GetParam());
    const Bytes stored{0x00, 0x03, 0x0C, 0x01, 0x1F};
    rig.calc.memory().folders = {{"main", {{"x", 0x00, stored, false, false}, {"y", 0x01, stored, true, false}, {"z", 0x21, stored, false, true}}}};
    rig.calc.flash().applications = {{"tool", Bytes(7, 0)}};
    const DirectoryListing listing = rig.run([&] { return directorylisting(rig.link, rig.shell); });
    ASSERT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    const Bytes sent = rig.trace.sent();
    for (const Bytes& request : {Bytes{0x08, 0xA2, 0x06, 0x00, 0x00, 0x00, 0x00, 0x1F, 0x1A, 0x00, 0x39, 0x00},
                                 Bytes{0x08, 0xA2, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x1B, 0x1A, 0x04, 'm', 'a', 'i', 'n', 0xDE, 0x01}})
        EXPECT_NE(std::search(sent.begin(), sent.end(), request.begin(), request.end()), sent.end());
    EXPECT_EQ(listing.folders, std::vector<std::string>{"main"});
    std::vector<std::tuple<std::string, std::string, std::uint8_t, std::uint32_t, bool, bool>> rows;
    for (const ListRow& r : listing.rows) rows.emplace_back(r.caption, r.folder, r.type, r.size, r.locked, r.archived);
    EXPECT_EQ(rows, (decltype(rows){{"main\\x", "main", 0x00, 5, false, false},
                                    {"main\\y", "main", 0x01, 5, true, false},
                                    {"main\\z", "main", 0x21, 5, false, true},
                                    {"tool", "", 0x24, 7, false, false}}));
    // The request for a listed variable: its code, its full name, nothing after it.
    ReceiveTarget into = rig.target(false);
    rig.run([&] { return receiverequested(rig.link, into, {{"main\\x", listing.rows[0].type}}); });
    const Bytes request{0x08, 0xA2, 0x0C, 0x00, 0, 0, 0, 0, 0x00, 0x06, 'm', 'a', 'i', 'n', '\\', 'x', 0x7F, 0x02};
    const Bytes all = rig.trace.sent();
    EXPECT_NE(std::search(all.begin(), all.end(), request.begin(), request.end()), all.end());
}

// Busy away from its home screen, a later model says so in its answer's status word.
TEST_P(LaterModels, NotReadyStatusIsToldAsSuch) {
    ModelRig rig(*GetParam());
    rig.calc.misbehaviour().awayfromhome = true;
    EXPECT_FALSE(rig.run([&] { return readinessexchange(rig.link); }));
    EXPECT_EQ(rig.state.pendingerror, kNotAtHomeText);
}

// Nothing chosen and nothing heard yet: the archive is the answering calculator's to have.
TEST_P(LaterModels, ArchivesWithoutAModelChosen) {
    ModelRig rig(*GetParam());
    const ManageOutcome out = rig.run([&] { return managecalc(rig.link, rig.shell, ManageAction::Archive, {"main\\prgm"}); });
    EXPECT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    EXPECT_EQ(out.done, std::vector<std::string>{"main\\prgm"});
}

INSTANTIATE_TEST_SUITE_P(Later, LaterModels, ::testing::Values(&kTI92Plus, &kV200, &kTI89, &kTI89Titanium),
                         [](const auto& param) { return std::string(param.param->id); });

// What the computer puts on the wire toward a later model, byte for byte: the offer of a
// locked string (RTS, type 26, data size alone, 00 after the name), a delete (nothing after
// the name) and the opening block of a restore, then a data packet of 65536 bytes.
TEST(LaterModelWire, OffersDeletesAndRestoresAsTheLinkLibraryDoes) {
    ModelRig rig(kTI89Titanium);
    rig.link.choosemodel(&kTI89Titanium);
    rig.calc.memory().folders = {{"main", {{"s", 0x0C, {0x00, 0x04, 0x00, 0x61, 0x00, 0x2D}, true}}}};
    const auto path = rig.folder.path() / "s.89g";
    std::string error;
    ASSERT_TRUE(savecalcmemory(path.string(), rig.calc.memory(), &error, kTI89Titanium)) << error;
    const auto sent = [&](auto f) {
        rig.calc.cleartrace();
        f();
        return rig.calc.trace().sent();
    };
    const auto contains = [](const std::vector<std::uint8_t>& all, const std::vector<std::uint8_t>& part) {
        return std::search(all.begin(), all.end(), part.begin(), part.end()) != all.end();
    };
    EXPECT_TRUE(contains(sent([&] { rig.run([&] { return deletebypacket(rig.link, rig.shell, "main\\s"); }); }),
                         {0x08, 0x88, 0x0C, 0x00, 0, 0, 0, 0, 0, 0x06, 0x6D, 0x61, 0x69, 0x6E, 0x5C, 0x73, 0x7A, 0x02}));
    EXPECT_NE(rig.state.pendingerror.find("locked or archived"), std::string::npos) << rig.state.pendingerror;
    const auto restore = sent([&] { rig.run([&] { return restoregroupbackup(rig.link, rig.shell, path); }); });
    EXPECT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    EXPECT_TRUE(contains(restore, {0x08, 0x06, 0x0A, 0x00, 0, 0, 0, 0, 0x1D, 0x04, 0x6D, 0x61, 0x69, 0x6E, 0xC6, 0x01,
                                   0x08, 0x56, 0x00, 0x00, 0x08, 0x92, 0x00, 0x00}));
    EXPECT_TRUE(contains(restore, {0x08, 0xC9, 0x0D, 0x00, 0x06, 0, 0, 0, 0x26, 0x06, 0x6D, 0x61, 0x69, 0x6E, 0x5C,
                                   0x73, 0x00, 0xA6, 0x02}));
    EXPECT_TRUE(rig.calc.memory().find("main\\s") && rig.calc.memory().find("main\\s")->locked);

    rig.state.linkok = true;
    const auto framed = sent([&] { sendpacket(rig.link, CmdData, std::vector<std::uint8_t>(65536, 0x01)); });
    EXPECT_EQ(std::vector<std::uint8_t>(framed.begin(), framed.begin() + 4), (std::vector<std::uint8_t>{0x08, 0x15, 0x00, 0x00}));
    EXPECT_EQ(framed.size(), 65542u);
    // A TI-92 memory image is no backup of its: refused, and nothing of it is offered.
    const auto image = rig.folder.path() / "old.92b";
    writebytes(image, backupfile(100));
    const auto offered = sent([&] { rig.run([&] { return sendbackup(rig.link, rig.shell, image); }); });
    EXPECT_EQ(rig.state.pendingerror,
              std::string(kNotRestoredText) + "the TI-89 Titanium takes its backup as a group file, not as a memory image.");
    EXPECT_EQ(offered.size(), 4u) << "the ready check alone";

    // An empty one would be read as 65536 bytes: it is not sent.
    EXPECT_TRUE(sent([&] { sendpacket(rig.link, CmdData, std::span<const std::uint8_t>{}); }).empty());
    EXPECT_EQ(rig.state.pendingerror, kPacketTooLongText);
}

// A chosen model that another one answers for is said, and nothing else is sent.
TEST(ModelChoice, AnotherModelAnsweringIsSaidNotGuessedPast) {
    ModelRig rig(kTI89);
    rig.link.choosemodel(&kTI92Plus);
    EXPECT_FALSE(rig.run([&] { return readinessexchange(rig.link); }));
    EXPECT_EQ(rig.link.mismatch(), modelmismatchtext(kTI92Plus, kTI89));
    EXPECT_EQ(&rig.link.model(), &kTI92Plus);
}

// A send's questions as a recording: the file of another model is agreed to or not, each
// name the calculator holds is skipped.
struct PlanScript final : PlanQuestions {
    bool anymodel = false;
    std::vector<std::string> asked;
    bool sendanyway(const OtherModelFile& f) override { return asked.push_back(othermodeltext(f)), anymodel; }
    OverwriteChoice existing(const Clash& c, bool) override { return asked.push_back(c.name), OverwriteChoice::Skip; }
    std::optional<std::string> newname(const Clash&) override { return std::nullopt; }
};

// The model is asked about before the names: No leaves the file out and nothing fails.
TEST(ModelChoice, FileOfAnotherModelIsAskedAboutFirst) {
    ModelRig rig(kTI92Plus);
    const auto path = rig.folder.path() / "m.89g";
    std::string error;
    ASSERT_TRUE(savecalcmemory(path.string(), rig.calc.memory(), &error, kTI89)) << error;
    rig.run([&] { return sendvariables(rig.link, rig.shell, path); });
    EXPECT_EQ(rig.state.pendingerror, othermodeltext(path, kTI89, kTI92Plus) + " " + std::string(kOtherModelRefusedText));
    for (const bool yes : {false, true}) {
        PlanScript ask;
        ask.anymodel = yes;
        rig.link.forgetmodel();
        const SendResult sent = rig.run([&] { return sendplanned(rig.link, rig.shell, {path, {}}, &ask); });
        EXPECT_TRUE(rig.state.linkok) << rig.state.pendingerror;
        ASSERT_FALSE(ask.asked.empty());
        EXPECT_EQ(ask.asked.front(), othermodeltext(path, kTI89, kTI92Plus));
        EXPECT_EQ(ask.asked.size() > 1, yes) << "the names only for a file that goes";
        EXPECT_TRUE(sent.sent.empty()) << "No leaves it out, Yes then skips each name held";
    }
}

// A chosen model that shares its machine byte with the one answering: the version answer
// tells, the mismatch is said on every exchange, and no contact is claimed.
TEST(ModelChoice, SameMachineByteIsToldByTheVersionAnswer) {
    for (const auto& [answering, chosen] : {std::pair{&kV200, &kTI92Plus}, std::pair{&kTI92Plus, &kV200}}) {
        ModelRig rig(*answering);
        rig.link.choosemodel(chosen);
        const std::string said = modelmismatchtext(*chosen, *answering, true);
        CalculatorVersion version;
        EXPECT_FALSE(rig.run([&] { return identifycalculator(rig.link, rig.shell, version); }));
        EXPECT_EQ(rig.state.pendingerror, said);
        for (int twice = 0; twice < 2; ++twice) {
            EXPECT_TRUE(rig.run([&] { return directorylisting(rig.link, rig.shell); }).rows.empty());
            EXPECT_EQ(rig.state.pendingerror, said);
        }
    }
    ModelRig rig(kTI89);
    rig.link.choosemodel(&kTI92Plus);
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_FALSE(rig.run([&] { return readinessexchange(rig.link); }));
        EXPECT_EQ(rig.state.pendingerror, modelmismatchtext(kTI92Plus, kTI89)) << "not \"No contact!\"";
        rig.run([&] { return directorylisting(rig.link, rig.shell); });
        EXPECT_EQ(rig.state.pendingerror, modelmismatchtext(kTI92Plus, kTI89));
    }
}

} // namespace
} // namespace tessaly::test
