// The window with a later model on the cable.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "app/apptestsupport.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

const std::string kQuiet = "[Settings]\nCheck_Start=0\nUpdate_Start=0\n";

struct ModelApp {
    explicit ModelApp(const std::string& settings) {
        run.writesettings(kQuiet + settings);
        calc.loaddemo();
        calc.setpace(0);
        run.port = std::make_unique<VirtualPort>(calc, &run.clock);
        run.calculator = &calc;
    }
    AppRun run;
    VirtualTI92 calc{run.clock, kTI89};
};

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
