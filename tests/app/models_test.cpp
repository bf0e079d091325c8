// The window with a later model on the cable.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include "app/apptestsupport.h"
#include "files/tifile.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

const std::string kQuiet = "[Settings]\nCheck_Start=0\nUpdate_Start=0\n";

struct ModelApp {
    explicit ModelApp(const std::string& settings) : ModelApp(settings, kTI89) {}
    explicit ModelApp(const std::string& settings, const CalculatorModel& model) : calc(run.clock, model) {
        run.writesettings(kQuiet + settings);
        calc.loaddemo();
        calc.setpace(0);
        run.port = std::make_unique<VirtualPort>(calc, &run.clock);
        run.calculator = &calc;
    }
    AppRun run;
    VirtualCalculator calc;
};

class AppOnEveryModel : public testing::TestWithParam<const CalculatorModel*> {};

// The window's own path on each model: list, receive, save as the model's group file,
// and a screenshot the size of what its display shows.
TEST_P(AppOnEveryModel, ListsReceivesSavesAndTakesTheScreen) {
    const CalculatorModel& model = *GetParam();
    ModelApp app("", model);
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
}

INSTANTIATE_TEST_SUITE_P(, AppOnEveryModel, testing::ValuesIn(allmodels()),
                         [](const auto& p) { return std::string(p.param->id); });

TEST(AppModels, StatusBarNamesTheCalculatorAndFargoSaysWhyNot) {
    ModelApp app("");
    app::MainWindow& w = app.run.start();
    QTest::mouseClick(w.statimage, Qt::LeftButton);
    EXPECT_EQ(w.modellabel->text(), "TI-89, version 2.09");
    EXPECT_NE(w.receive.fargobutton->toolTip().indexOf("TI-92 only"), -1);
    w.receive.fargobutton->click();
    ASSERT_FALSE(app.run.shell.boxes.empty());
    EXPECT_NE(app.run.shell.boxes.back().text.find("TI-92 only"), std::string::npos);
}

// The chosen model is kept in its own section; another model answering is said.
TEST(AppModels, ChosenModelIsKeptAndAMismatchIsSaid) {
    ModelApp app("[Calculator]\nModel=ti92p\n");
    app::MainWindow& w = app.run.start();
    EXPECT_EQ(w.settingspage.model->currentText(), "TI-92 Plus");
    EXPECT_EQ(w.link().chosenmodel(), &kTI92Plus);
    QTest::mouseClick(w.statimage, Qt::LeftButton);
    EXPECT_EQ(app.run.shell.statuses.back(), modelmismatchtext(kTI92Plus, kTI89));
    EXPECT_TRUE(w.modellabel->text().isEmpty());

    w.settingspage.model->setCurrentIndex(4);
    emit w.settingspage.model->activated(4);
    EXPECT_EQ(w.link().chosenmodel(), &kTI89);
    QTest::mouseClick(w.statimage, Qt::LeftButton);
    EXPECT_EQ(w.modellabel->text(), "TI-89, version 2.09");
    w.close();
    EXPECT_NE(app.run.readsettings().find("[Calculator]\nModel=ti89\n"), std::string::npos) << app.run.readsettings();
}

} // namespace
} // namespace tessaly::test
