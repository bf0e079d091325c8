#include <QMenu>
#include <QCheckBox>
#include <QComboBox>
#include <QFileSystemModel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include "app/apptestsupport.h"
#include "files/filetestutil.h"
#include "vcalc/vcalc.h"
#include "files/browser.h"
#include "files/ticharset.h"

namespace tessaly::test {
namespace {

Bytes onevariable(std::string_view comment, Bytes content, std::string_view name = "v", std::uint8_t type = 0x12) {
    const Bytes s = stored(content);
    return GoldenFile(comment, 1).entry(82, name, type).sizefield(82 + std::uint32_t(s.size()) + 6).section(s).bytes;
}

// A FARGO program needing two libraries: kind 'P' at 89, V at 94, D at 100.
Bytes fargoprogram() {
    Bytes c(50, 0);
    c[1] = 0x50;
    c[7] = 20;  // library table at 89 + 20: content 21
    c[13] = 35;  // description at 88 + 35: content 35
    const std::string libs = std::string("\x02") + "flib" + '\0' + "util" + '\x81';
    std::copy(libs.begin(), libs.end(), c.begin() + 21);
    const std::string text = "Tetris";
    std::copy(text.begin(), text.end(), c.begin() + 35);
    return onevariable("game", c, "tetris");
}

// Two text variables in one group file.
Bytes twotexts() {
    const Bytes s = stored({0, 1, 0x20, 0, 0x2D});
    const std::uint32_t second = 114 + 6 + std::uint32_t(s.size());
    return GoldenFile("texts", 3)
        .entry(114, "main", 0x1F, 2)
        .entry(114, "one", 0x0B)
        .entry(second, "two", 0x0B)
        .sizefield(second + 6 + std::uint32_t(s.size()))
        .section(s)
        .section(s)
        .bytes;
}

struct BrowserApp {
    AppRun run;
    std::filesystem::path folder;

    BrowserApp() {
        folder = run.dir.filePath("files").toStdString();
        std::filesystem::create_directories(folder);
        writebytes(folder / "a.92p", onevariable("demo", {1, 2}, "prog", 0x12));
        writebytes(folder / "b.92g", twotexts());
        writebytes(folder / "c.txt", Bytes(100, 'x'));
        writebytes(folder / "d.92@", onevariable("refused", {1}));
        writebytes(folder / "game.92p", fargoprogram());
        run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n[Last]\nDirectory=" + folder.string() + "\n");
        run.start();
    }
    app::OpenPage& page() { return run.form().open; }
    QStringList names() {
        QStringList n;
        for (int i = 0; i < page().filelist->topLevelItemCount(); ++i) n << page().filelist->topLevelItem(i)->text(0);
        return n;
    }
    QTreeWidgetItem* row(const QString& name) {
        for (int i = 0; i < page().filelist->topLevelItemCount(); ++i)
            if (page().filelist->topLevelItem(i)->text(0) == name) return page().filelist->topLevelItem(i);
        ADD_FAILURE() << name.toStdString();
        return nullptr;
    }
    void select(std::initializer_list<const char*> which) {
        page().filelist->clearSelection();
        for (const char* n : which) row(QString::fromLatin1(n))->setSelected(true);
    }
};

TEST(AppBrowser, ListsTheFolderWithDescriptionsAndFollowsTheMaskAndDescriptionsBoxes) {
    BrowserApp app;
    EXPECT_TRUE(app.run.program->browserbinding().mask().starts_with("*.92*;*.txt;")) << app.run.program->browserbinding().mask();  // the list's first mask
    EXPECT_EQ(app.names(), (QStringList{"a.92p", "b.92g", "c.txt", "game.92p"}));
    EXPECT_EQ(app.row("a.92p")->text(1), "demo");
    EXPECT_EQ(app.row("c.txt")->text(1), QString(40, 'x') + "...");
    EXPECT_EQ(app.row("game.92p")->text(1), "Tetris - (FARGO)");
    auto& sp = app.run.form().settingspage;
    sp.ti92filescheck->setChecked(false);
    EXPECT_EQ(app.names(), (QStringList{"c.txt"}));
    sp.txtfilescheck->setChecked(false);
    EXPECT_TRUE(app.names().isEmpty());
    sp.ti92filescheck->setChecked(true);
    EXPECT_EQ(app.names().size(), 3);
    sp.descriptionscheck->setChecked(false);
    EXPECT_EQ(app.row("a.92p")->text(1), "demo");  // only the next rebuild shows it
    app.page().refreshbutton->click();
    EXPECT_EQ(app.row("a.92p")->text(1), "Not showing!");
}

TEST(AppBrowser, ChoosingAFolderBrowsesAndRemembersIt) {
    BrowserApp app;
    auto& o = app.page();
    EXPECT_EQ(o.drivebox->itemText(0), "/");
    std::filesystem::create_directory(app.folder / "sub");
    writebytes(app.folder / "sub" / "z.92p", {1});
    auto* model = static_cast<QFileSystemModel*>(o.directorytree->model());
    o.directorytree->setCurrentIndex(model->index(QString::fromStdString((app.folder / "sub").string())));
    EXPECT_EQ(app.names(), QStringList{"z.92p"});
    EXPECT_EQ(app.run.form().settings().directory, (app.folder / "sub").string());
    EXPECT_EQ(app.row("z.92p")->text(1), "Corrupted TI-file: only 1 bytes");
    // A file saved meanwhile shows when the package writer asks for the list again.
    writebytes(app.folder / "sub" / "y.92g", {1});
    app.run.form().shell().fileschanged(app.folder / "sub");
    EXPECT_EQ(app.names(), (QStringList{"y.92g", "z.92p"}));
}

TEST(AppBrowser, SelectingAFileShowsItsInformationAndSwitchesTheButtons) {
    BrowserApp app;
    auto& o = app.page();
    app.select({"game.92p"});
    EXPECT_EQ(o.countlabel->text(), "1  (program)");
    EXPECT_EQ(o.descriptionlabel->text(), "game      (Req. lib: flib, util)");
    EXPECT_TRUE(o.installbutton->isEnabled());
    EXPECT_TRUE(o.sendfilebutton->isEnabled());
    EXPECT_TRUE(o.sendvariablesbutton->isEnabled());
    EXPECT_TRUE(o.descriptionlabel->isEnabled());

    app.select({"b.92g"});
    EXPECT_EQ(o.countlabel->text(), "3");
    ASSERT_EQ(o.contentlist->topLevelItemCount(), 2);
    EXPECT_EQ(o.contentlist->topLevelItem(0)->text(0), "main\\one");
    EXPECT_FALSE(o.installbutton->isEnabled());
    o.contentlist->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(o.viewtextbutton->isEnabled());
    EXPECT_TRUE(o.selbutton->isEnabled());
    o.selbutton->setChecked(true);
    o.contentlist->topLevelItem(1)->setSelected(true);
    EXPECT_FALSE(o.viewtextbutton->isEnabled());
    o.contentlist->clearSelection();
    EXPECT_FALSE(o.selbutton->isEnabled());
    EXPECT_TRUE(o.allbutton->isChecked());

    // A description longer than the column does not push the folder tree aside.
    part<QTabWidget>(app.run.form(), "notebook")->setCurrentIndex(1);
    QCoreApplication::processEvents();
    const int treewidth = o.directorytree->width();
    app.select({"c.txt"});
    QCoreApplication::processEvents();
    EXPECT_EQ(o.directorytree->width(), treewidth);
    EXPECT_FALSE(o.sendfilebutton->isEnabled());
    EXPECT_FALSE(o.sendvariablesbutton->isEnabled());
    EXPECT_FALSE(o.descriptionlabel->isEnabled());
    EXPECT_EQ(o.sizelabel->text(), "100");
}

TEST(AppBrowser, CompanionWindowsOpenAndHide) {
    BrowserApp app;
    QImage picture(240, 128, QImage::Format_RGB32);
    picture.fill(Qt::white);
    ASSERT_TRUE(picture.save(QString::fromStdString((app.folder / "A.BMP").string()), "BMP"));
    const std::string note = "how to play";
    writebytes(app.folder / "a.txt", Bytes(note.begin(), note.end()));
    app.select({"a.92p"});
    EXPECT_TRUE(app.run.program->scrform().isVisible());
    EXPECT_TRUE(app.run.program->infoform().isVisible());
    EXPECT_EQ(app.run.program->infoform().infotext->toPlainText(), "how to play");
    app.select({"b.92g"});
    EXPECT_FALSE(app.run.program->scrform().isVisible());
    EXPECT_FALSE(app.run.program->infoform().isVisible());
}

TEST(AppBrowser, DeleteFromTheKeyOrTheMenuMovesToTheTrashAndAsksAgainWhereThereIsNone) {
    BrowserApp app;
    std::vector<std::string> trashed;
    bool trash = true;
    app.run.program->browserbinding().movetotrash = [&](const std::filesystem::path& p) {
        if (trash) trashed.push_back(p.filename().string()), std::filesystem::remove(p);
        return trash;
    };
    app.select({"a.92p", "b.92g", "c.txt"});
    app.run.shell.answers = {Answer::Yes, Answer::No, Answer::Yes};
    QTest::keyClick(app.page().filelist, Qt::Key_Delete);
    ASSERT_EQ(app.run.shell.boxes.size(), 3u);
    EXPECT_EQ(app.run.shell.boxes[1].text, "Delete b.92g?");
    EXPECT_EQ(trashed, (std::vector<std::string>{"a.92p", "c.txt"}));
    EXPECT_EQ(app.names(), (QStringList{"b.92g", "game.92p"}));

    app.select({"game.92p"});
    QMenu* menu = app.run.program->browserbinding().contextmenu();
    QStringList texts;
    for (QAction* a : menu->actions()) texts << a->text() + (a->isEnabled() ? "" : "-");
    EXPECT_EQ(texts, (QStringList{"Send to calculator", "Install", "Restore backup-", "Description...", "", "Delete"}));
    trash = false;
    app.run.shell.answers = {Answer::Yes, Answer::Yes};
    menu->actions().back()->trigger();
    EXPECT_EQ(app.run.shell.boxes.back().text, "game.92p cannot be moved to the trash: there is no trash here.\rDelete it for good?");
    EXPECT_EQ(app.names(), (QStringList{"b.92g"}));
}

TEST(AppBrowser, TheDescriptionEditorWritesOrLeavesEveryByte) {
    BrowserApp app;
    const Bytes before = readbytes(app.folder / "a.92p");
    app.select({"a.92p"});
    app.run.shell.inputanswers = {std::nullopt};
    QTest::keyClick(app.page().filelist, Qt::Key_F2);
    ASSERT_EQ(app.run.shell.inputs.size(), 1u);
    EXPECT_EQ(app.run.shell.inputs[0].title, "New description!");
    EXPECT_EQ(app.run.shell.inputs[0].prompt, "Please enter a description for the file <a.92p>");
    EXPECT_EQ(app.run.shell.inputs[0].initial, tibytes_to_utf8(browserrow(app.folder, "a.92p", true)->description));
    EXPECT_FALSE(app.run.shell.inputs[0].initial.empty()) << "the current description";
    EXPECT_EQ(readbytes(app.folder / "a.92p"), before);

    app.run.shell.inputanswers = {std::string("αβγ") + std::string(40, 'd')};
    app.page().descriptionlabel->clicked();
    EXPECT_EQ(app.row("a.92p")->text(1), QStringLiteral("αβγ") + QString(31, 'd'));
    EXPECT_EQ(app.page().descriptionlabel->text(), QStringLiteral("αβγ") + QString(31, 'd'));
    EXPECT_EQ(app.run.shell.laststatus(), "The description of a.92p was cut to its first 34 characters, all a file holds.");
    // The Greek mu is the calculator's micro sign; a tab is a blank in a one-line description.
    app.run.shell.inputanswers = {std::string("5 \u03BCs\tlong")};
    app.page().descriptionlabel->clicked();
    EXPECT_EQ(app.page().descriptionlabel->text(), QStringLiteral("5 \u00B5s long"));
    app.run.shell.inputanswers = {std::string("αβγ") + std::string(40, 'd')};
    app.page().descriptionlabel->clicked();
    app.page().refreshbutton->click();  // nothing selected any more: no stale information
    EXPECT_EQ(app.page().descriptionlabel->text(), "none selected");
    EXPECT_EQ(app.page().sizelabel->text(), "-");
    const Bytes after = readbytes(app.folder / "a.92p");
    EXPECT_EQ(Bytes(after.begin() + 18, after.begin() + 21), (Bytes{0x80, 0x81, 0x83}));
}

TEST(AppBrowser, AnotherModelsFileIsListedAsSuchAndItsDescriptionIsNotEdited) {
    BrowserApp app;
    std::filesystem::copy_file(TESSALY_TESTDATA_DIR "/crafted/signed83.83p", app.folder / "m83.92p");
    app.page().refreshbutton->click();
    EXPECT_EQ(app.row("m83.92p")->text(1), "Made for another model (**TI83F*)");
    app.select({"m83.92p"});
    EXPECT_FALSE(app.page().sendfilebutton->isEnabled());
    const Bytes before = readbytes(app.folder / "m83.92p");
    QTest::keyClick(app.page().filelist, Qt::Key_F2);
    EXPECT_TRUE(app.run.shell.inputs.empty());
    EXPECT_EQ(app.run.shell.boxes.back().text, "The description of m83.92p cannot be changed: not a TI-92 file: it is "
                                               "signed **TI83F*, for another calculator model.\rThe file is unchanged.");
    EXPECT_EQ(readbytes(app.folder / "m83.92p"), before);
}

TEST(AppBrowser, SendActsOnTheSelectedFile) {
    BrowserApp app;
    VirtualCalculator calc{app.run.clock};
    calc.setpace(0);
    app.run.program.reset();
    app.run.port = std::make_unique<VirtualPort>(calc, &app.run.clock);
    app.run.calculator = &calc;
    app.run.start();
    app.run.sendforreal();
    app.select({"a.92p"});
    ASSERT_TRUE(app.page().sendfilebutton->isEnabled());
    app.page().sendfilebutton->click();
    EXPECT_NE(calc.memory().find("main\\prog"), nullptr) << app.run.form().state().pendingerror;
}

} // namespace
} // namespace tessaly::test
