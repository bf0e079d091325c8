// Flash in the window: applications and systems sent, applications received, and the
// Calculator panel, on each model that takes Flash.
#include <QDateTimeEdit>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "app/apptestsupport.h"
#include "files/filename.h"
#include "files/filetestutil.h"
#include "support/flashsamples.h"
#include "transfers/flash.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

struct FlashApp {
    explicit FlashApp(const CalculatorModel& model) : calc(run.clock, model) {
        calc.loaddemo();
        calc.setpace(0);
        run.port = std::make_unique<VirtualPort>(calc, &run.clock);
        run.calculator = &calc;
        run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n");
        run.create();
        run.sendforreal();
        run.program->start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return run.form().startupdone(); }, 5000));
    }
    std::string path(const std::string& stem, std::uint8_t type, const FlashFile* file = nullptr) {
        const std::string p = run.dir.filePath(QString::fromStdString(stem + flashsuffix(calc.model(), type))).toStdString();
        if (file) {
            EXPECT_TRUE(writeflashfile(p, *file, nullptr));
        }
        return p;
    }
    void drop(const std::string& file) {
        run.shell.answers.push_front(Answer::No);  // no copy first
        run.form().senddropped({file});
    }
    QList<QTreeWidgetItem*> listed() {
        run.find<QPushButton>("updatebutton")->click();
        return run.find<QTreeWidget>("variablelist")->findItems("*", Qt::MatchWildcard);
    }
    void receive(const std::string& file) {
        for (QTreeWidgetItem* row : listed()) row->setSelected(row->text(0) == "demoapp");
        run.shell.saveanswers = {file};
        run.find<QPushButton>("receivebutton")->click();
    }
    QString panel(const char* button, const char* label) {
        run.find<QPushButton>(button)->click();
        return run.find<QLabel>(label)->text();
    }
    AppRun run;
    VirtualCalculator calc;
};

class FlashWindow : public testing::TestWithParam<const CalculatorModel*> {};

TEST_P(FlashWindow, SendsAnApplicationAndASystemOnlyWhenTheUpgradeIsAgreed) {
    FlashApp app(*GetParam());
    const FlashFile application = samples::application(*GetParam(), "hello", 3000);
    app.drop(app.path("hello", kFlashApplication, &application));
    EXPECT_GT(app.run.shell.gaugemax, 3000);  // in bytes
    EXPECT_EQ(app.listed().back()->text(0), "hello") << app.run.form().state().pendingerror;

    const QString before = app.panel("calculatorpanelbutton", "calcversion");
    const FlashFile system = samples::system(*GetParam(), 3, 10, 4000);
    const std::string file = app.path("base", kFlashOs, &system);
    app.drop(file);  // the question unanswered: declined
    EXPECT_NE(app.run.shell.boxes.back().text.find("unplug"), std::string::npos);
    EXPECT_EQ(app.panel("calcversionbutton", "calcversion").toStdString(), before.toStdString());
    app.run.shell.answers = {Answer::Yes};
    app.drop(file);
    EXPECT_TRUE(app.panel("calcversionbutton", "calcversion").contains("3.10")) << app.run.form().state().pendingerror;
}

TEST_P(FlashWindow, AReceivedApplicationComesAfterTheFoldersAndSendsBackByteForByte) {
    FlashApp app(*GetParam());
    const std::string first = app.path("first", kFlashApplication), second = app.path("second", kFlashApplication);
    app.receive(first);
    EXPECT_EQ("." + app.run.shell.savedialogs.back().defaultext, first.substr(first.rfind('.')));
    ASSERT_FALSE(readbytes(first).empty()) << app.run.form().state().pendingerror;
    EXPECT_EQ(app.listed().back()->text(0), "demoapp");
    app.drop(first);
    app.receive(second);
    EXPECT_EQ(readbytes(second), readbytes(first)) << app.run.form().state().pendingerror;
}

TEST_P(FlashWindow, PanelReadsIdListCertificateAndClock) {
    FlashApp app(*GetParam());
    EXPECT_TRUE(app.panel("calculatorpanelbutton", "calcversion").startsWith(QString::fromUtf8(GetParam()->name.data())));
    EXPECT_TRUE(app.run.find<QDialog>("calculatorpanel")->isVisible());
    EXPECT_TRUE(app.panel("idlistbutton", "calcidlist").contains(QRegularExpression("^[0-9A-F]{5}-[0-9A-F]{5}-[0-9A-F]{4}$")));

    app.run.shell.saveanswers = {app.path("cert", kFlashCertificate)};
    app.run.find<QPushButton>("certificatebutton")->click();
    const auto file = readflashfile(app.path("cert", kFlashCertificate), nullptr);
    ASSERT_TRUE(file && file->payload()) << app.run.form().state().pendingerror;
    EXPECT_EQ(file->payload()->datatype, kFlashCertificate);

    app.run.find<QDateTimeEdit>("clockedit")->setDateTime(QDateTime(QDate(2031, 5, 6), QTime(7, 8, 9)));
    app.run.find<QPushButton>("clocksetbutton")->click();
    EXPECT_TRUE(app.panel("clockreadbutton", "calcclock").startsWith("2031-05-06 07:0"));
    app.run.find<QPushButton>("clocknowbutton")->click();
    EXPECT_TRUE(app.panel("clockreadbutton", "calcclock").startsWith(QDate::currentDate().toString(Qt::ISODate)));
}

INSTANTIATE_TEST_SUITE_P(, FlashWindow, testing::Values(&kTI92Plus, &kV200, &kTI89, &kTI89Titanium),
                         [](const auto& p) { return std::string(p.param->id); });

// Refused with the core's reason, and no file asked for in vain.
TEST(FlashWindowTI92, PanelRefusesWhatTheModelLacks) {
    FlashApp app(kTI92);
    EXPECT_EQ(app.panel("clockreadbutton", "calcclock").toStdString(), "The TI-92 has no clock.");
    app.run.find<QPushButton>("certificatebutton")->click();
    EXPECT_TRUE(app.run.shell.savedialogs.empty());
}

} // namespace
} // namespace tessaly::test
