#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <sstream>

#include "app/apptestsupport.h"
#include "cli/clirun.h"
#include "files/filetestutil.h"
#include "files/tifile.h"
#include "transfers/backup.h"
#include "link/trace.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

// The program on a virtual TI-92 holding the captures' memory, reacting at once.
struct VirtualApp {
    AppRun run;
    std::unique_ptr<VirtualCalculator> calc;

    explicit VirtualApp(bool updatestart) {
        calc = std::make_unique<VirtualCalculator>(run.clock);
        calc->setpace(0);
        calc->memory().folders = {
            CalcFolder{"main", {}},
            CalcFolder{"test",
                       {CalcVariable{"x", 0x00, {0x00, 0x03, 0x0C, 0x01, 0x1F}, false},
                        CalcVariable{"y", 0x00, {0x00, 0x03, 0x0D, 0x01, 0x1F}, true},
                        CalcVariable{"z", 0x00, {0x00, 0x03, 0x0E, 0x01, 0x1F}, false}}},
            CalcFolder{"prog", {CalcVariable{"game", 0x12, {0x00, 0x04, 1, 2, 3, 4}, false}}}};
        run.port = std::make_unique<VirtualPort>(*calc, &run.clock);
        run.calculator = calc.get();
        run.writesettings(std::string("[Settings]\nCheck_Start=0\nUpdate_Start=") + (updatestart ? "1" : "0") + "\n");
        run.start();
    }
    QTreeWidget* list() { return run.find<QTreeWidget>("variablelist"); }
    QStringList captions() {
        QStringList out;
        for (int i = 0; i < list()->topLevelItemCount(); ++i) out << list()->topLevelItem(i)->text(0);
        return out;
    }
    void mark(const QStringList& names) {
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            if (names.contains(list()->topLevelItem(i)->text(0))) list()->topLevelItem(i)->setSelected(true);
    }
    void press(const char* name) { run.find<QAbstractButton>(name)->click(); }
};

std::map<std::string, std::vector<std::uint8_t>> contents(const std::string& path) {
    std::map<std::string, std::vector<std::uint8_t>> out;
    TiFileReader reader;
    std::string error;
    EXPECT_TRUE(reader.open(path, &error)) << error;
    for (const TiEntry* v : reader.file().variables()) {
        std::vector<std::uint8_t> data;
        EXPECT_TRUE(reader.readvariable(*v, data));
        out[v->fullname()] = data;
    }
    return out;
}

TEST(ReceivePageWindow, ListMarkReceiveAndSave) {
    VirtualApp app(false);
    app.press("updatebutton");
    EXPECT_EQ(app.captions(), (QStringList{"test\\x", "test\\y", "test\\z", "prog\\game"}));
    EXPECT_EQ(app.list()->topLevelItem(3)->text(1), "program");
    EXPECT_EQ(app.list()->topLevelItem(3)->text(2), "6");
    EXPECT_EQ(app.run.shell.laststatus(), "Directory list received.");

    app.mark({"test\\y", "prog\\game"});
    EXPECT_TRUE(app.run.find<QPushButton>("receivebutton")->isEnabled());
    app.press("receivebutton");
    EXPECT_EQ(app.captions(), (QStringList{"test\\y", "prog\\game"}));
    EXPECT_TRUE(app.run.form().receive.receivedbutton->isChecked());
    EXPECT_FALSE(app.run.find<QPushButton>("updatebutton")->isEnabled());
    EXPECT_EQ(app.run.shell.laststatus(), "2 variable(s) received.");
    EXPECT_TRUE(app.run.find<QLabel>("helplabel")->text().startsWith("if you want to save the package"));
    ASSERT_TRUE(app.run.find<QPushButton>("savebutton")->isEnabled());

    const std::string dest = app.run.dir.filePath("mine.92g").toStdString();
    app.run.shell.inputanswers.push_back(std::string("from the window"));
    app.run.shell.saveanswers.push_back(dest);
    app.press("savebutton");
    ASSERT_EQ(app.run.shell.inputs.size(), 1u);
    EXPECT_EQ(app.run.shell.inputs[0].title, "Comment");
    EXPECT_EQ(app.run.shell.inputs[0].prompt, "Please write a comment for the file.");
    ASSERT_EQ(app.run.shell.savedialogs.size(), 1u);
    EXPECT_EQ(app.run.shell.savedialogs[0].filter, "TI-92 files|*.92*");
    EXPECT_EQ(app.run.shell.savedialogs[0].defaultext, "92g");
    EXPECT_EQ(app.run.find<QLineEdit>("commentedit")->text(), "from the window");
    const auto saved = contents(dest);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved.at("test\\y"), app.calc->memory().find("test\\y")->data);
    EXPECT_EQ(saved.at("prog\\game"), app.calc->memory().find("prog\\game")->data);
    std::string error;
    EXPECT_EQ(readtifile(dest, &error)->comment, "from the window");

    // Back to the calculator view: the listing is still there.
    app.run.form().receive.calculatorbutton->click();
    EXPECT_EQ(app.captions().size(), 4);
    EXPECT_TRUE(app.run.find<QPushButton>("updatebutton")->isEnabled());
    EXPECT_FALSE(app.run.find<QPushButton>("savebutton")->isEnabled());
}

TEST(ReceivePageWindow, NamesAndCommentInTheCalculatorsCharacters) {
    VirtualApp app(false);
    const std::string tiname = "\x80" "b\xE9";  // alpha, b, e-acute
    app.calc->memory().folders.push_back(CalcFolder{"acc", {CalcVariable{tiname, 0x0C, {0x00, 0x01, 0x2D}, false}}});
    app.press("updatebutton");
    const QString shown = QString::fromUtf8("acc\\\u03b1b\u00e9");
    EXPECT_TRUE(app.captions().contains(shown)) << app.captions().join(" ").toStdString();
    app.mark({shown});
    app.press("receivebutton");
    EXPECT_EQ(app.captions(), QStringList{shown});
    EXPECT_NE(app.run.shell.statuses.end(), std::find(app.run.shell.statuses.begin(), app.run.shell.statuses.end(),
                                                      "acc\\\u03b1b\u00e9 received! [1/1]"));

    const std::string dest = app.run.dir.filePath("accents.92g").toStdString();
    app.run.find<QLineEdit>("commentedit")->setText(QString(34, QChar(0xE9)));
    app.run.shell.saveanswers.push_back(dest);
    app.press("savebutton");
    std::string error;
    const auto file = readtifile(dest, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->comment, std::string(34, '\xE9'));
    ASSERT_EQ(file->variables().size(), 1u);
    EXPECT_EQ(file->variables()[0]->fullname(), "acc\\" + tiname);
}

TEST(ReceivePageWindow, TheReceivedListShowsWhatTheStoreHoldsAfterACancelAndAfterABackup) {
    VirtualApp app(false);
    app.press("updatebutton");
    app.mark({"test\\x"});
    app.press("receivebutton");
    // A receive cancelled before anything arrived leaves the package before it, on show.
    app.run.form().receive.calculatorbutton->click();
    app.mark({"test\\z"});
    app.run.shell.onpump = [&](int) { app.press("cancelbtn"); };
    app.press("receivebutton");
    app.run.shell.onpump = nullptr;
    EXPECT_EQ(app.captions(), QStringList{"test\\x"});
    EXPECT_TRUE(app.run.find<QPushButton>("savebutton")->isEnabled());

    // A backup goes into the store and shows; the comment typed for the package before
    // goes with it, and Save to file writes the backup as a backup file.
    QTest::keyClicks(app.run.find<QLineEdit>("commentedit"), "for x");
    const std::string mem = app.run.dir.filePath("mem.92b").toStdString(), again = mem + ".92b";
    app.run.shell.inputanswers = {std::string("my memory"), std::string("saved again")};
    app.run.shell.saveanswers = {mem, again};
    app.press("backupbutton");
    ASSERT_EQ(app.captions().size(), 1);
    EXPECT_EQ(app.list()->topLevelItem(0)->text(1), "backup");
    EXPECT_TRUE(app.run.find<QLineEdit>("commentedit")->text().isEmpty());
    app.press("savebutton");
    EXPECT_EQ(checkbackupfile(again), "");
    const Bytes fetched = readbytes(mem), saved = readbytes(again);
    EXPECT_TRUE(std::equal(fetched.begin() + 82, fetched.end(), saved.begin() + 82, saved.end()));
    std::string error;
    EXPECT_EQ(readtifile(again, &error)->comment, "saved again");
}

TEST(ReceivePageWindow, ViewTogglesWaitWhileATransferRuns) {
    VirtualApp app(false);
    app.press("updatebutton");
    app.mark({"test\\y", "prog\\game"});
    // The user clicks the Calculator toggle, then the Received one, while the rows arrive.
    int clicks = 0;
    app.run.shell.onpump = [&](int) {
        if (!app.run.form().state().busy || clicks > 1) return;
        app.run.form().receive.calculatorbutton->click();
        if (clicks++ == 1) app.run.form().receive.receivedbutton->click();
    };
    app.press("receivebutton");
    app.run.shell.onpump = nullptr;
    ASSERT_EQ(clicks, 2);
    EXPECT_TRUE(app.run.form().receive.receivedbutton->isChecked());
    EXPECT_EQ(app.captions(), (QStringList{"test\\y", "prog\\game"}));
    app.run.form().receive.calculatorbutton->click();
    EXPECT_EQ(app.captions(), (QStringList{"test\\x", "test\\y", "test\\z", "prog\\game"}));
}

TEST(ReceivePageWindow, StartUpListingWhenUpdateStartIsOn) {
    VirtualApp app(true);
    EXPECT_EQ(app.captions().size(), 4);
}

TEST(ReceivePageWindow, VirtualCalculatorSendsOfItsOwnAccord) {
    VirtualApp app(false);
    QToolButton* control = app.run.find<QToolButton>("vcalcsend");
    ASSERT_TRUE(control);
    EXPECT_FALSE(control->isHidden());
    control->click();
    auto* names = app.run.form().findChild<QListWidget*>("vcalcsendlist");
    ASSERT_TRUE(names);
    for (int i = 0; i < names->count(); ++i)
        if (names->item(i)->text() == "test\\x" || names->item(i)->text() == "prog\\game") names->item(i)->setSelected(true);
    app.run.form().findChild<QPushButton*>("vcalcsendok")->click();
    EXPECT_TRUE(app.run.find<QCheckBox>("manual")->isChecked());
    app.press("receivebutton");
    EXPECT_EQ(app.captions(), (QStringList{"test\\x", "prog\\game"}));
    EXPECT_TRUE(app.run.find<QPushButton>("savebutton")->isEnabled());
    EXPECT_EQ(app.run.find<QLabel>("helplabel")->text(),
              "if you want to save the package on your computer press the \"save to file button\" and write a name");
}

TEST(ReceivePageWindow, VirtualControlWithTheVirtualLink) {
    AppRun run;
    run.virtuallink = true;
    run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n");
    run.start();
    EXPECT_NE(run.form().virtualcalculator(), nullptr);
    EXPECT_FALSE(run.find<QToolButton>("vcalcsend")->isHidden());
}

TEST(ReceivePageWindow, NoVirtualControlOnAnotherCable) {
    AppRun run;
    run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n");
    run.start();
    EXPECT_TRUE(run.find<QToolButton>("vcalcsend")->isHidden());
}

// The bytes of a --trace file, packet names left out.
std::vector<std::pair<Direction, std::uint8_t>> tracebytes(const std::string& text) {
    std::vector<std::pair<Direction, std::uint8_t>> out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string arrow, word;
        words >> arrow;
        const Direction dir = arrow == ">" ? Direction::ToCalc : Direction::FromCalc;
        while (words >> word && word.size() == 2 && std::isxdigit(static_cast<unsigned char>(word[0])))
            out.emplace_back(dir, static_cast<std::uint8_t>(std::stoi(word, nullptr, 16)));
    }
    return out;
}

TEST(ReceiveWindow, ListingCrossesTheCableAsTheCommandLineDoes) {
    AppRun run;
    run.virtuallink = true;
    run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n");
    app::MainWindow& w = run.start();
    MemoryTrace window;
    w.link().settrace(&window);
    run.find<QPushButton>("updatebutton")->click();
    w.link().settrace(nullptr);
    ASSERT_TRUE(w.state().linkok) << w.state().pendingerror;

    TempDir s;
    const auto file = s.path() / "trace.txt";
    const clitest::CliResult cli = clitest::runcli({"--link", "virtual", "--trace", file.string(), "dir"}, s.path());
    ASSERT_EQ(cli.code, 0) << cli.err;
    EXPECT_GT(window.bytes().size(), 100u);
    EXPECT_EQ(tracebytes(clitest::slurp(file)), window.bytes());
}

} // namespace
} // namespace tessaly::test
