// The window with a later model on the cable.
#include <algorithm>
#include <thread>

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>

#include "app/apptestsupport.h"
#include "app/screenshotbinding.h"
#include "app/textform.h"
#include "files/filename.h"
#include "files/tifile.h"
#include "files/filetestutil.h"
#include "link/trace.h"
#include "transfers/screenshot.h"
#include "vcalc/usbserver.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

const std::string kQuiet = "[Settings]\nCheck_Start=0\nUpdate_Start=0\n";

struct ModelApp {
    explicit ModelApp(const std::string& settings) : ModelApp(settings, kTI89) {}
    // usb: the calculator served on its own USB port in a thread, as tessaly92-vcalc --usb serves it.
    explicit ModelApp(const std::string& settings, const CalculatorModel& model, bool usb = false)
        : calc(usb ? static_cast<Clock&>(wallclock) : run.clock, model) {
        run.writesettings(kQuiet + settings);
        calc.loaddemo();
        calc.setpace(0);
        if (!usb) {
            run.port = std::make_unique<VirtualPort>(calc, &run.clock);
            run.calculator = &calc;
            return;
        }
        server = std::make_unique<UsbServer>(calc);
        run.socketpath = run.dir.filePath("usb").toStdString();
        run.usbsocket = run.systemclock = true;
        std::string error;
        EXPECT_TRUE(server->listen(run.socketpath, &error)) << error;
        thread = std::thread([this] { server->run(); });
    }
    ~ModelApp() {
        if (!server) return;
        server->stop();
        thread.join();
        server->close();
    }
    AppRun run;
    SystemClock wallclock;
    VirtualCalculator calc;
    std::unique_ptr<UsbServer> server;
    std::thread thread;
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

void PrintTo(const Reached& r, std::ostream* os) { *os << r.model->id << (r.usb ? " over USB" : ""); }

class AppOnEveryModel : public testing::TestWithParam<Reached> {};

// The window's own path on each model: list, receive, save as the model's group file,
// and a screenshot the size of what its display shows.
TEST_P(AppOnEveryModel, ListsReceivesSavesAndTakesTheScreen) {
    const CalculatorModel& model = *GetParam().model;
    ModelApp app("", model, GetParam().usb);
    app.run.writesettings(kQuiet + "[Last]\nDirectory=" + app.run.dir.path().toStdString() + "\n");
    app::MainWindow& w = app.run.start();
    app.run.find<QAbstractButton>("updatebutton")->click();
    auto* list = app.run.find<QTreeWidget>("variablelist");
    ASSERT_GE(list->topLevelItemCount(), 2);
    // The window names the listed code and writes the size in decimal.
    EXPECT_EQ(list->topLevelItem(0)->text(0), "main\\notes");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "text");
    EXPECT_GT(list->topLevelItem(0)->text(2).toUInt(), 0u);
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(1)->setSelected(true);
    app.run.find<QAbstractButton>("receivebutton")->click();
    EXPECT_EQ(app.run.shell.laststatus(), "2 variable(s) received.");

    const std::string dest = app.run.dir.filePath("mine." + QString::fromUtf8(model.fileprefix.data(), int(model.fileprefix.size())) + "g").toStdString();
    app.run.shell.inputanswers.push_back(std::string("saved"));
    app.run.shell.saveanswers.push_back(dest);
    app.run.find<QAbstractButton>("savebutton")->click();
    std::string error;
    const auto file = readtifile(dest, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->model->signature, model.signature);
    EXPECT_EQ(file->variables().size(), 2u);
    EXPECT_EQ(app.run.shell.savedialogs.back().defaultext, groupextension(model));

    // The editor opens the model's own files and saves its texts as the model's.
    part<QToolButton>(app.run.form(), "textbutton")->click();
    app::TextEditor& editor = app.run.program->textform();
    app.run.shell.openanswers = {dest};
    editor.openbutton->click();
    EXPECT_FALSE(editor.textbox->toPlainText().isEmpty());
    const std::string text = app.run.dir.filePath("note.").toStdString() + textextension(model);
    app.run.shell.inputanswers.push_back(std::string("note"));
    app.run.shell.saveanswers = {text};
    editor.savebutton->click();
    EXPECT_EQ(app.run.shell.savedialogs.back().defaultext, textextension(model));
    const auto saved = readtifile(text, &error);
    ASSERT_TRUE(saved) << error;
    EXPECT_EQ(saved->model->signature, model.signature);

    // Both deleted from the calculator list (by the delete packet where the model has one),
    // then sent back from the browser.
    app.run.form().receive.calculatorbutton->click();
    const std::string first = list->topLevelItem(0)->text(0).toStdString();
    list->setFocus();
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(1)->setSelected(true);
    app.run.shell.answers = {Answer::Yes};
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(app.calc.memory().find(first), nullptr) << app.run.shell.laststatus();
    app.run.form().open.refreshbutton->click();
    for (auto* row : app.run.form().open.filelist->findItems(QString::fromStdString(dest).section('/', -1), Qt::MatchExactly))
        row->setSelected(true);
    app.run.find<QToolButton>("sendfilebutton")->click();
    EXPECT_NE(app.calc.memory().find(first), nullptr) << app.run.shell.laststatus();

    app.run.find<QAbstractButton>("getscreenbutton")->click();
    EXPECT_EQ(w.screenshot.screenpicture->pixmap().size(), QSize(model.shownwidth, model.shownheight));
    // In the middle of the 240 x 128 frame, whatever the display's size: the picture's
    // white and black, found on the frame's grey.
    const QImage frame = w.screenshot.screenpicture->grab().toImage();
    QRect painted;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if (const QRgb c = frame.pixel(x, y); c == qRgb(255, 255, 255) || c == qRgb(0, 0, 0)) painted |= QRect(x, y, 1, 1);
    EXPECT_EQ(painted, QRect(QPoint((240 - model.shownwidth) / 2, (128 - model.shownheight) / 2),
                             QSize(model.shownwidth, model.shownheight)));
}

// Every text that speaks of the calculator names the one answering; the TI-92 keeps the
// words it always had.
TEST_P(AppOnEveryModel, TextsNameTheCalculatorAnswering) {
    const CalculatorModel& model = *GetParam().model;
    ModelApp app("", model, GetParam().usb);
    app::MainWindow& w = app.run.start();
    QTest::mouseClick(part<app::ClickLabel>(w, "statimage"), Qt::LeftButton);
    const QString name = QString::fromUtf8(model.name.data(), static_cast<int>(model.name.size()));
    EXPECT_EQ(app.run.find<QToolButton>("vcalcsend")->text(), "Virtual " + name + " sends...");
    // One in another process is named by the label itself ("virtual ... USB at PATH").
    if (!GetParam().usb) {
        EXPECT_EQ(part<QLabel>(w, "linklabel")->toolTip(), "A virtual " + name + " is attached, not a real calculator.");
    }
    EXPECT_EQ(part<QLabel>(w, "aboutcalculator")->text(), "On the cable: " + name);
    EXPECT_EQ(w.screenshot.hintlabel->text().toStdString(),
              model.runsfargo ? std::string(kScreenshotHelpText)
                              : "press the Screenshot-button to copy the screen from the " + name.toStdString() +
                                    " to the computer.");
    // Version tells the Titanium's USB parameters too, its ID as the ID list shows it.
    app.run.find<QPushButton>("versionbutton")->click();
    ASSERT_FALSE(app.run.shell.boxes.empty());
    const std::string box = app.run.shell.boxes.back().text;
    EXPECT_TRUE(box.starts_with(model.name)) << box;
    EXPECT_EQ(box.find("\rProduct TI-89 Titanium, ID 03069-D1BA3-FFAB\rFree RAM ") != std::string::npos, GetParam().usb) << box;
    EXPECT_EQ(box.ends_with(" bytes\rBatteries good"), GetParam().usb) << box;
}

// Install of a TI-92 FARGO program on a later model: after No to sending it there, its
// libraries are neither asked about nor reported, and no error box follows.
TEST(AppModels, NoToAnotherModelsProgramStopsQuietly) {
    ModelApp app("", kV200);
    const std::filesystem::path folder = app.run.dir.path().toStdString();
    app.run.writesettings(kQuiet + "Library-dir=" + folder.string() + "\n[Last]\nDirectory=" + folder.string() + "\n");
    Bytes content(40, 0x4E);
    content[1] = 0x50;  // kind 'P'; the library table at 20: lib1
    content[7] = 20;
    const Bytes table{1, 'l', 'i', 'b', '1', 0x00};
    std::copy(table.begin(), table.end(), content.begin() + 21);
    const auto onevariable = [](const char* name, const Bytes& data) {
        GoldenFile f("", 1);
        return f.entry(82, name, 0x12).sizefield(static_cast<std::uint32_t>(82 + 4 + data.size() + 2)).section(data).bytes;
    };
    writebytes(folder / "prog.92p", onevariable("prog", stored(content)));
    writebytes(folder / "lib1.92p", onevariable("lib1", stored({1, 2})));
    app::MainWindow& w = app.run.start();
    QTest::mouseClick(part<app::ClickLabel>(w, "statimage"), Qt::LeftButton);
    w.open.refreshbutton->click();
    for (auto* row : w.open.filelist->findItems("prog.92p", Qt::MatchExactly)) row->setSelected(true);
    app.run.shell.answers = {Answer::No};
    w.open.installbutton->click();
    QTest::qWait(300);  // the status timer's turn, which shows a failure's box
    ASSERT_EQ(app.run.shell.boxes.size(), 1u);
    EXPECT_EQ(app.run.shell.boxes[0].caption, "Another model");
    EXPECT_EQ(app.run.shell.laststatus(), "prog.92p was not sent.");
    EXPECT_EQ(app.calc.memory().find("main\\prog"), nullptr);
}

// Get backup on a window no calculator has answered yet sends no ready check of its own
// (the request's is the first) and saves the kind of file that calculator backs up into;
// one cut short by Cancel leaves the variables received before it as they were.
TEST_P(AppOnEveryModel, BackupAsksNoExtraCheckAndACancelledOneLeavesTheReceivedVariables) {
    const CalculatorModel& model = *GetParam().model;
    ModelApp app("", model, GetParam().usb);
    app::MainWindow& w = app.run.start();
    MemoryTrace trace;
    w.link().settrace(&trace);
    const std::string dir = app.run.dir.path().toStdString() + "/";
    const std::string file = model.imagebackup ? "b.92b" : "b." + std::string(model.fileprefix) + "g";
    // A place it could not be saved in is refused before anything is fetched.
    app.run.shell.saveanswers = {dir + "nowhere/b.92b"};
    w.receive.backupbutton->click();
    EXPECT_TRUE(trace.sent().empty());
    EXPECT_NE(w.state().pendingerror.find("does not exist"), std::string::npos);
    app.run.shell.inputanswers = {std::string("b")};
    // Asked again once the model answered; the Titanium's own port answers for its model.
    app.run.shell.saveanswers = {dir + "b.92b", dir + file};
    if (GetParam().usb) app.run.shell.saveanswers = {dir + file};
    w.receive.backupbutton->click();
    EXPECT_TRUE(std::filesystem::exists(dir + file)) << w.state().pendingerror;
    EXPECT_EQ(std::filesystem::exists(dir + "b.92b"), model.imagebackup);
    const std::vector<std::uint8_t> sent = trace.sent(), start{0x09, 0x68, 0x00, 0x00, 0x09, 0xA2};
    EXPECT_TRUE(!model.imagebackup || (sent.size() >= 6 && std::equal(start.begin(), start.end(), sent.begin())));
    w.link().settrace(nullptr);

    app.run.find<QAbstractButton>("updatebutton")->click();
    auto* list = app.run.find<QTreeWidget>("variablelist");
    ASSERT_GE(list->topLevelItemCount(), 2);
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(1)->setSelected(true);
    app.run.find<QAbstractButton>("receivebutton")->click();
    const std::vector<ListRow> received = app.run.program->receivebinding().model().locview();
    ASSERT_EQ(received.size(), 2u);
    app.run.shell.inputanswers = {std::string("b")};
    app.run.shell.saveanswers = {dir + "c" + file.substr(1)};
    // Once a part of the backup has arrived.
    app.run.shell.onpump = [&](int) {
        const std::string& now = app.run.shell.laststatus();
        if (now.find(" received! [") != std::string::npos || now.starts_with("Receiving block 3") ||
            now.starts_with("Receiving variable.. [3/"))
            w.cancelbtnClick();
    };
    w.receive.backupbutton->click();
    app.run.shell.onpump = nullptr;
    EXPECT_FALSE(std::filesystem::exists(dir + "c" + file.substr(1)));
    const std::vector<ListRow> after = app.run.program->receivebinding().model().locview();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_TRUE(after[0].caption == received[0].caption && after[1].caption == received[1].caption);
}

// Restore backup from the file browser on each later model and port: after Yes the calculator holds
// the backup's variables again, flags and all; a backup of a model that signs its files
// otherwise is refused and clears nothing.
TEST(AppModels, RestoreBackupPutsBackEveryVariableWithItsFlags) {
    const auto dump = [](CalcMemory& m) {
        std::vector<std::string> rows;
        for (const CalcFolder& f : m.folders)
            for (const CalcVariable& v : f.variables)
                rows.push_back(f.name + "\\" + v.name + " " + std::to_string(v.type) + (v.locked ? " L" : "") +
                               (v.archived ? " A " : " ") + std::string(v.data.begin(), v.data.end()));
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    Bytes previous;
    const CalculatorModel* previousmodel = nullptr;
    for (const auto& [model, usb] : everyport()) {
        if (model->imagebackup) continue;
        SCOPED_TRACE(std::string(model->id) + (usb ? " over USB" : ""));
        ModelApp app("", *model, usb);
        const std::string dir = app.run.dir.path().toStdString() + "/";
        app.run.writesettings(kQuiet + "[Last]\nDirectory=" + dir + "\n");
        app::MainWindow& w = app.run.start();
        CalcMemory& memory = app.calc.memory();
        memory.folders[0].variables[0].locked = true;
        memory.folders[0].variables[1].archived = true;
        const std::vector<std::string> before = dump(memory);
        const std::string file = "b." + groupextension(*model);
        app.run.shell.inputanswers = {std::string("b")};
        app.run.shell.saveanswers = {dir + "b.92b", dir + file};  // asked again once the model answered
        if (usb) app.run.shell.saveanswers = {dir + file};
        w.receive.backupbutton->click();
        ASSERT_TRUE(std::filesystem::exists(dir + file)) << w.state().pendingerror;
        memory.folders[0].variables[0].locked = false;
        memory.folders[0].variables[1].data.push_back(1);
        memory.folders[0].variables.push_back({"extra", memory.folders[0].variables[0].type, {0, 0}});
        const std::vector<std::string> changed = dump(memory);

        const auto restore = [&](const std::string& name) {
            w.open.refreshbutton->click();
            for (auto* row : w.open.filelist->findItems(QString::fromStdString(name), Qt::MatchExactly)) row->setSelected(true);
            QMenu* menu = app.run.program->browserbinding().contextmenu();
            QAction* action = menu->actions()[2];
            EXPECT_TRUE(action->text() == "Restore backup" && action->isEnabled());
            app.run.shell.answers = {Answer::Yes};
            action->trigger();
            delete menu;
        };
        if (previousmodel && previousmodel->signature != model->signature) {
            const std::string other = "o." + groupextension(*previousmodel);
            writebytes(dir + other, previous);
            restore(other);
            EXPECT_NE(w.state().pendingerror.find(" was made for the "), std::string::npos) << w.state().pendingerror;
            EXPECT_EQ(dump(memory), changed);
            w.open.filelist->clearSelection();
        }
        restore(file);
        EXPECT_TRUE(w.state().linkok) << w.state().pendingerror;
        EXPECT_TRUE(std::any_of(app.run.shell.boxes.begin(), app.run.shell.boxes.end(), [](const auto& box) {
            return box.caption == "Restore backup" && box.text.find("locked and archived ones included") != std::string::npos;
        }));
        EXPECT_EQ(dump(memory), before);
        previous = readbytes(dir + file);
        previousmodel = model;
    }
}

// FCamera runs under FARGO, the TI-92's alone: Fargo scr. on a later model says so, when
// its model was known before the press and when only the silence after it led to asking.
TEST_P(AppOnEveryModel, FargoScreenOnALaterModelSaysFargoIsTheTI92s) {
    const CalculatorModel& model = *GetParam().model;
    ModelApp app("", model, GetParam().usb);
    app::MainWindow& w = app.run.start();
    for (const bool known : {false, true}) {
        // The Titanium's own port knows its model without asking.
        if (!GetParam().usb) {
            EXPECT_EQ(w.link().modelknown(), known);
        }
        app.run.shell.boxes.clear();
        w.screenshot.fargoscreenbutton->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !app.run.shell.boxes.empty(); }, 2000));
        EXPECT_EQ(app.run.shell.boxes.back().text,
                  model.runsfargo ? std::string(kNoFCamHeaderText) : std::string(app::kFCameraTI92OnlyText));
    }
}

INSTANTIATE_TEST_SUITE_P(, AppOnEveryModel, testing::ValuesIn(everyport()),
                         [](const auto& p) { return std::string(p.param.model->id) + (p.param.usb ? "_usb" : ""); });

TEST(AppModels, StatusBarNamesTheCalculatorAndFargoSaysWhyNot) {
    ModelApp app("");
    app::MainWindow& w = app.run.start();
    EXPECT_EQ(w.receive.backupbutton->toolTip(), "Get memory-backup");  // no later model known yet
    QTest::mouseClick(part<app::ClickLabel>(w, "statimage"), Qt::LeftButton);
    EXPECT_EQ(part<QLabel>(w, "modellabel")->text(), "TI-89, version 2.09");
    EXPECT_NE(w.receive.backupbutton->toolTip().indexOf("group file, .89g"), -1);
    EXPECT_NE(w.receive.fargobutton->toolTip().indexOf("TI-92 only"), -1);
    w.receive.fargobutton->click();
    ASSERT_FALSE(app.run.shell.boxes.empty());
    EXPECT_NE(app.run.shell.boxes.back().text.find("TI-92 only"), std::string::npos);
}

// A new folder holds nothing yet: it is listed, and a Receive with it marked asks for
// nothing in it.
TEST(AppModels, AnEmptyFolderIsListedAndNotReceived) {
    ModelApp app("");
    app::MainWindow& w = app.run.start();
    auto* list = w.receive.variablelist;
    list->setFocus();
    app.run.shell.inputanswers = {std::string("extra")};
    QTest::keyClick(list, Qt::Key_N, Qt::ControlModifier);
    w.receive.updatebutton->click();
    const auto rows = list->findItems("extra\\", Qt::MatchExactly);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0]->text(1), "folder");

    app.calc.cleartrace();
    rows[0]->setSelected(true);
    list->findItems("main\\notes", Qt::MatchExactly)[0]->setSelected(true);
    w.receive.receivebutton->click();
    EXPECT_EQ(app.run.shell.laststatus(), "1 variable(s) received.");
    const auto sent = app.calc.trace().sent();
    EXPECT_EQ(std::search(sent.begin(), sent.end(), std::begin("extra"), std::end("extra") - 1), sent.end());
}

// The chosen model is kept in its own section; another model answering is said.
TEST(AppModels, ChosenModelIsKeptAndAMismatchIsSaid) {
    ModelApp app("[Calculator]\nModel=ti92p\n");
    app::MainWindow& w = app.run.start();
    EXPECT_EQ(w.settingspage.model->currentText(), "TI-92 Plus");
    EXPECT_EQ(w.link().chosenmodel(), &kTI92Plus);
    QTest::mouseClick(part<app::ClickLabel>(w, "statimage"), Qt::LeftButton);
    EXPECT_EQ(app.run.shell.statuses.back(), modelmismatchtext(kTI92Plus, kTI89));
    EXPECT_TRUE(part<QLabel>(w, "modellabel")->text().isEmpty());

    w.settingspage.model->setCurrentIndex(4);
    emit w.settingspage.model->activated(4);
    EXPECT_EQ(w.link().chosenmodel(), &kTI89);
    QTest::mouseClick(part<app::ClickLabel>(w, "statimage"), Qt::LeftButton);
    EXPECT_EQ(part<QLabel>(w, "modellabel")->text(), "TI-89, version 2.09");
    w.close();
    EXPECT_NE(app.run.readsettings().find("[Calculator]\nModel=ti89\n"), std::string::npos) << app.run.readsettings();
}

// A TI-92 file onto a TI-89 that holds its name: the model is asked about first, then the
// name; Cancel there sends nothing.
TEST(AppModels, SendAsksAboutTheModelBeforeTheNames) {
    ModelApp app("");
    app.run.writesettings(kQuiet + "[Last]\nDirectory=" + app.run.dir.path().toStdString() + "\n");
    GoldenFile f("n", 1);
    f.entry(82, "notes", 0x00).sizefield(93).section({0x00, 0x03, 0x0C, 0x01, 0x1F});
    writebytes(app.run.dir.filePath("notes.92e").toStdString(), f.bytes);
    app::MainWindow& w = app.run.start();
    w.open.refreshbutton->click();
    for (auto* row : w.open.filelist->findItems("notes.92e", Qt::MatchExactly)) row->setSelected(true);
    const std::vector<std::uint8_t> before = app.calc.memory().find("main\\notes")->data;
    app.run.shell.answers = {Answer::Yes, Answer::Cancel};
    app.run.find<QToolButton>("sendfilebutton")->click();
    const auto& boxes = app.run.shell.boxes;
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes[boxes.size() - 2].caption, "Another model");
    EXPECT_NE(boxes.back().text.find("main\\notes is on the calculator already"), std::string::npos) << boxes.back().text;
    EXPECT_EQ(app.calc.memory().find("main\\notes")->data, before);
    EXPECT_FALSE(w.state().busy);
}

} // namespace
} // namespace tessaly::test
