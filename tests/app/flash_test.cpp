// Flash in the window: applications and systems sent, applications received, and the
// Calculator panel, on each model that takes Flash.
#include <QDateTimeEdit>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "app/apptestsupport.h"
#include "files/filetestutil.h"
#include "files/flashfile.h"
#include "support/flashsamples.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

struct FlashApp {
    explicit FlashApp(const CalculatorModel& model) : calc(run.clock, model) {
        calc.loaddemo();
        calc.setpace(0);
        run.port = std::make_unique<VirtualPort>(calc, &run.clock);
        run.calculator = &calc;
        run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n[Last]\nDirectory=" + run.dir.path().toStdString() +
                          "\n");
        run.create();
        run.sendforreal();
        run.program->start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return run.form().startupdone(); }, 5000));
        QTest::qWait(20);
    }
    std::string path(const std::string& name) const { return run.dir.filePath(QString::fromStdString(name)).toStdString(); }
    std::string write(const std::string& name, const FlashFile& file) {
        std::string error;
        EXPECT_TRUE(writeflashfile(path(name), file, &error)) << error;
        return path(name);
    }
    // The file sent as a drop: no copy first.
    void drop(const std::string& file) {
        run.shell.answers.push_front(Answer::No);
        run.form().senddropped({file});
    }
    QStringList listed() {
        run.find<QPushButton>("updatebutton")->click();
        QStringList names;
        auto* list = run.find<QTreeWidget>("variablelist");
        for (int i = 0; i < list->topLevelItemCount(); ++i) names << list->topLevelItem(i)->text(0);
        return names;
    }
    // Receives the listed application into file.
    void receive(const std::string& name, const std::string& file) {
        listed();
        auto* list = run.find<QTreeWidget>("variablelist");
        const auto rows = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(rows.size(), 1);
        rows.front()->setSelected(true);
        run.shell.saveanswers = {file};
        run.find<QPushButton>("receivebutton")->click();
    }
    QString panel(const char* button, const char* label) {
        run.find<QPushButton>(button)->click();
        return run.find<QLabel>(label)->text();
    }
    std::string lasterror() const { return run.form().state().pendingerror; }
    AppRun run;
    VirtualCalculator calc;
};

class FlashWindow : public testing::TestWithParam<const CalculatorModel*> {};

TEST_P(FlashWindow, SendsAnApplicationAndASystemOnlyWhenTheUpgradeIsAgreed) {
    const CalculatorModel& model = *GetParam();
    FlashApp app(model);
    app.drop(app.write("hello" + flashsuffix(model, kFlashApplication), samples::application(model, "hello", 3000)));
    EXPECT_GT(app.run.shell.gaugemax, 3000);  // in bytes
    EXPECT_TRUE(app.listed().contains("hello")) << app.lasterror();

    app.run.find<QPushButton>("calculatorpanelbutton")->click();
    const QString before = app.run.find<QLabel>("calcversion")->text();
    const std::string system = app.write("base" + flashsuffix(model, kFlashOs), samples::system(model, 3, 10, 4000));
    // Unanswered, the question is declined: nothing is sent and the system stays.
    const std::size_t boxes = app.run.shell.boxes.size();
    app.drop(system);
    ASSERT_EQ(app.run.shell.boxes.size(), boxes + 2);
    EXPECT_NE(app.run.shell.boxes.back().text.find("unplug"), std::string::npos);
    EXPECT_EQ(app.panel("calcversionbutton", "calcversion"), before);

    app.run.shell.answers = {Answer::Yes};
    app.drop(system);
    EXPECT_TRUE(app.panel("calcversionbutton", "calcversion").contains("3.10")) << app.lasterror();
}

TEST_P(FlashWindow, AReceivedApplicationSendsBackByteForByte) {
    const CalculatorModel& model = *GetParam();
    FlashApp app(model);
    const QStringList rows = app.listed();
    // Applications come after every variable and folder.
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.back(), "demoapp");
    const std::string first = app.path("first" + flashsuffix(model, kFlashApplication));
    app.receive("demoapp", first);
    EXPECT_EQ(app.run.shell.savedialogs.back().defaultext, flashsuffix(model, kFlashApplication).substr(1));
    const std::vector<std::uint8_t> bytes = readbytes(first);
    ASSERT_FALSE(bytes.empty()) << app.lasterror();

    app.drop(first);
    const std::string second = app.path("second" + flashsuffix(model, kFlashApplication));
    app.receive("demoapp", second);
    EXPECT_EQ(readbytes(second), bytes) << app.lasterror();
}

TEST_P(FlashWindow, PanelReadsIdListCertificateAndClock) {
    const CalculatorModel& model = *GetParam();
    FlashApp app(model);
    app.run.find<QPushButton>("calculatorpanelbutton")->click();
    EXPECT_TRUE(app.run.find<QDialog>("calculatorpanel")->isVisible());
    EXPECT_TRUE(app.run.find<QLabel>("calcversion")->text().contains(QString::fromUtf8(model.name.data(), int(model.name.size()))));
    EXPECT_TRUE(app.panel("idlistbutton", "calcidlist").contains(QRegularExpression("^[0-9A-F]{5}-[0-9A-F]{5}-[0-9A-F]{4}$")))
        << app.lasterror();

    const std::string cert = app.path("cert" + flashsuffix(model, kFlashCertificate));
    app.run.shell.saveanswers = {cert};
    app.run.find<QPushButton>("certificatebutton")->click();
    std::string error;
    const auto file = readflashfile(cert, &error);
    ASSERT_TRUE(file) << error << app.lasterror();
    ASSERT_NE(file->payload(), nullptr);
    EXPECT_EQ(file->payload()->datatype, kFlashCertificate);

    app.run.find<QDateTimeEdit>("clockedit")->setDateTime(QDateTime(QDate(2031, 5, 6), QTime(7, 8, 9)));
    app.run.find<QPushButton>("clocksetbutton")->click();
    EXPECT_TRUE(app.panel("clockreadbutton", "calcclock").startsWith("2031-05-06 07:0")) << app.lasterror();
    app.run.find<QPushButton>("clocknowbutton")->click();
    EXPECT_TRUE(app.panel("clockreadbutton", "calcclock").startsWith(QDate::currentDate().toString(Qt::ISODate)));
}

INSTANTIATE_TEST_SUITE_P(, FlashWindow, testing::Values(&kTI92Plus, &kV200, &kTI89, &kTI89Titanium),
                         [](const auto& p) { return std::string(p.param->id); });

// The TI-92 has neither ID list nor clock: the panel says why instead of asking.
TEST(FlashWindowTI92, PanelRefusesWhatTheModelLacks) {
    FlashApp app(kTI92);
    app.run.find<QPushButton>("calculatorpanelbutton")->click();
    app.panel("clockreadbutton", "calcclock");
    EXPECT_EQ(app.run.find<QLabel>("calcclock")->text().toStdString(), noclockreason(app.run.form().link()));
    EXPECT_FALSE(noclockreason(app.run.form().link()).empty());
    app.run.find<QPushButton>("certificatebutton")->click();
    EXPECT_TRUE(app.run.shell.savedialogs.empty());
}

} // namespace
} // namespace tessaly::test
