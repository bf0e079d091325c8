#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>

#include "app/apptestsupport.h"
#include "files/filetestutil.h"
#include "files/titext.h"

namespace tessaly::test {
namespace {

struct EditorApp {
    AppRun run;
    std::filesystem::path folder;
    EditorApp() {
        folder = run.dir.filePath("files").toStdString();
        std::filesystem::create_directories(folder);
        run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n[Last]\nDirectory=" + folder.string() + "\n");
        run.start();
    }
    app::TextEditor& editor() { return run.program->textform(); }
    std::string file(const std::string& name) {
        const Bytes b = readbytes(folder / name);
        return {b.begin(), b.end()};
    }
    bool markedat(int position) {
        QTextCursor c(editor().textbox->document());
        c.setPosition(position + 1);
        return c.charFormat().fontWeight() >= QFont::Bold && c.charFormat().fontUnderline();
    }
};

TEST(AppTextEditor, OpenSaveAsTextAndAsTi92Text) {
    EditorApp app;
    const std::string text = "Grüße é α\n\n  zwei";
    writebytes(app.folder / "in.txt", Bytes(text.begin(), text.end()));
    part<QToolButton>(app.run.form(), "textbutton")->click();
    app::TextEditor& e = app.editor();
    app.run.shell.openanswers = {(app.folder / "in.txt").string()};
    e.openbutton->click();
    EXPECT_EQ(app.run.shell.opendialogs.back().filter,
              "Texts|*.txt;*.rtf;*.92t;*.92g|Textfiles|*.txt|Rich text|*.rtf|TI-92 files|*.92t;*.92g");
    EXPECT_EQ(e.textbox->toPlainText().toStdString(), text);

    app.run.shell.saveanswers = {(app.folder / "out.txt").string(), (app.folder / "out.92t").string()};
    app.run.shell.inputanswers = {"my text"};
    // Saved as .txt the text passes by the package store: a pending package stays as it was.
    const auto storefiles = [&] {
        std::map<std::string, Bytes> out;
        std::error_code ec;
        for (const auto& f : std::filesystem::directory_iterator(app.run.program->receivebinding().store().folder(), ec))
            if (f.is_regular_file()) out[f.path().filename().string()] = readbytes(f.path());
        return out;
    };
    const auto storebefore = storefiles();
    e.savebutton->click();
    EXPECT_EQ(storefiles(), storebefore);
    EXPECT_EQ(app.file("out.txt"), text + "\n");
    e.savebutton->click();
    EXPECT_EQ(app.run.shell.savedialogs.back().filter, "TI92-text-files|*.92t|Textfiles|*.txt|All files|*.*");
    EXPECT_EQ(app.run.shell.inputs.back().prompt, "Please enter a comment for the textfile.");
    EXPECT_TRUE(app.run.form().receive.commentedit->text().isEmpty());  // the comment is the file's alone
    std::string error;
    const auto view = extracttexts(app.folder / "out.92t", nullptr, &error);
    ASSERT_TRUE(view) << error;
    EXPECT_EQ(view->label, "out (26)");
    EXPECT_EQ(linestoutf8(view->lines), " Grüße é α\n \n   zwei\n");

    // Opened, it shows without each line's command byte; saved again, it is the same file.
    app.run.shell.openanswers = {(app.folder / "out.92t").string()};
    e.openbutton->click();
    EXPECT_EQ(e.textbox->toPlainText().toStdString(), text);
    EXPECT_EQ(e.VName->text(), "out (26)");
    std::filesystem::create_directory(app.folder / "again");
    app.run.shell.saveanswers = {(app.folder / "again" / "out.92t").string()};
    app.run.shell.inputanswers = {"my text"};
    e.savebutton->click();
    EXPECT_EQ(readbytes(app.folder / "again" / "out.92t"), readbytes(app.folder / "out.92t"));

    // A character the calculator lacks: named, nothing written.
    e.textbox->setPlainText("5 €");
    app.run.shell.saveanswers = {(app.folder / "euro.92t").string()};
    e.savebutton->click();
    EXPECT_EQ(app.run.shell.boxes.back().text,
              "Cannot convert the text: The character € (U+20AC) has no TI-92 equivalent (line 1).\nNothing was written.");
    EXPECT_FALSE(std::filesystem::exists(app.folder / "euro.92t"));

    // While a transfer fills the package store, the text is not put through it, and the
    // transfer keeps its busy flag.
    e.textbox->setPlainText("later");
    app.run.form().state().busy = true;
    app.run.shell.saveanswers = {(app.folder / "later.92t").string()};
    e.savebutton->click();
    EXPECT_EQ(app.run.shell.boxes.back().text, kBusyText);
    EXPECT_FALSE(std::filesystem::exists(app.folder / "later.92t"));
    EXPECT_TRUE(app.run.form().state().busy);
    app.run.form().state().busy = false;
    e.textbox->setPlainText("5 €");

    // A file that is not there, or a group without texts, is named once, and the text stays.
    app.run.shell.openanswers = {(app.folder / "gone.txt").string()};
    e.openbutton->click();
    EXPECT_EQ(app.run.shell.boxes.back().text, "Cannot open gone.txt: No such file or directory");
    EXPECT_EQ(e.textbox->toPlainText().toStdString(), "5 €");
    app.run.shell.openanswers = {TESSALY_TESTDATA_DIR "/samples/group.92g"};
    e.openbutton->click();
    EXPECT_EQ(app.run.shell.boxes.back().text, "group.92g holds no text variable.");
    EXPECT_EQ(e.textbox->toPlainText().toStdString(), "5 €");
    EXPECT_EQ(e.VName->text(), "out (26)");

    // A text file's text, or a new one, belongs to no variable: the name goes.
    app.run.shell.openanswers = {(app.folder / "in.txt").string()};
    e.openbutton->click();
    EXPECT_EQ(e.VName->text(), "-");
    e.VName->setText("out (26)");
    part<QToolButton>(app.run.form(), "textbutton")->click();
    EXPECT_EQ(e.VName->text(), "-");
}

TEST(AppTextEditor, QViewFormBoldAndBackToPlain) {
    EditorApp app;
    part<QToolButton>(app.run.form(), "textbutton")->click();
    app::TextEditor& e = app.editor();
    e.textbox->setPlainText("#Title# and more ## #open");
    e.qviewbutton->click();
    EXPECT_TRUE(e.richmode());
    EXPECT_TRUE(e.boldbutton->isEnabled());
    EXPECT_EQ(e.textbox->toPlainText(), "Title and more ## #open");
    EXPECT_TRUE(app.markedat(0));
    EXPECT_TRUE(app.markedat(4));
    EXPECT_FALSE(app.markedat(5));

    QTextCursor c = e.textbox->textCursor();
    c.setPosition(6);
    c.setPosition(9, QTextCursor::KeepAnchor);
    e.textbox->setTextCursor(c);
    e.boldbutton->click();
    EXPECT_TRUE(app.markedat(7));

    // Saving from the QView form asks first; Cancel keeps it as it is.
    e.savebutton->click();
    EXPECT_EQ(app.run.shell.boxes.back().text, "You have to save the file in plain text!\rConvert to TEXT-format?");
    EXPECT_TRUE(e.qviewbutton->isChecked());

    e.plainbutton->click();
    EXPECT_FALSE(e.richmode());
    EXPECT_FALSE(e.boldbutton->isEnabled());
    EXPECT_EQ(e.textbox->toPlainText(), "#Title# #and# more ## #open");

    e.copybutton->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "#Title# #and# more ## #open");
}

TEST(AppTextEditor, ViewTextAndTxtConvertFromTheBrowser) {
    EditorApp app;
    const std::string text = "AB\r\nC";
    writebytes(app.folder / "a.txt", Bytes(text.begin(), text.end()));
    auto& o = app.run.form().open;
    o.refreshbutton->click();
    o.filelist->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(o.convertbutton->isEnabled());
    app.run.shell.inputanswers = {""};
    app.run.shell.saveanswers = {(app.folder / "a.92t").string()};
    app.run.form().settings().dialogfolders["92t"] = "/elsewhere";
    o.convertbutton->click();
    EXPECT_EQ(app.run.shell.savedialogs.back().filename, "a.92t");
    EXPECT_EQ(app.run.shell.savedialogs.back().startfolder, app.folder.string()) << "beside the text file";
    EXPECT_TRUE(app.run.form().receive.commentedit->text().isEmpty());
    app.run.form().receive.receivedbutton->click();  // the staged text is the package on show
    EXPECT_EQ(app.run.form().receive.variablelist->findItems("a", Qt::MatchExactly).size(), 1);
    EXPECT_FALSE(app.run.form().state().busy);

    o.refreshbutton->click();
    o.filelist->clearSelection();
    o.filelist->topLevelItem(0)->setSelected(true);  // a.92t comes first
    ASSERT_EQ(o.filelist->topLevelItem(0)->text(0), "a.92t");
    ASSERT_EQ(o.contentlist->topLevelItemCount(), 1);
    o.contentlist->topLevelItem(0)->setSelected(true);
    ASSERT_TRUE(o.viewtextbutton->isEnabled());
    o.viewtextbutton->click();
    app::TextEditor& e = app.editor();
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(e.textbox->toPlainText(), "AB\nC");
    EXPECT_EQ(e.VName->text(), "a (12)");
    EXPECT_FALSE(app.run.form().state().busy);
}

} // namespace
} // namespace tessaly::test
