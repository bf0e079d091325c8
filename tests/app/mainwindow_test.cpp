#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <chrono>
#include <thread>

#include "app/apptestsupport.h"
#include "app/windows.h"
#include "link/trace.h"
#include "transfers/readiness.h"
#include "transfers/session.h"
#include "vcalc/cableserver.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

using app::MainWindow;

const std::string kQuiet = "[Settings]\nCheck_Start=0\nUpdate_Start=0\n";

bool samepicture(const QLabel* a, const QLabel* b) { return a->pixmap().toImage() == b->pixmap().toImage(); }

TEST(MainWindow, FirstStartWithoutSettingsFile) {
    AppRun run;
    int listings = 0;
    std::string pendingduringlisting;
    MainWindow& w = run.create();
    AppRun::replacehandler(w, &MainWindow::startuplistingdue, [&] {
        ++listings;
        pendingduringlisting = w.state().pendingerror;
        w.state().pendingerror = "listing failure";  // must not be what gets reported
    });
    run.program->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.startupdone(); }, 5000));

    EXPECT_EQ(QApplication::applicationName(), "tessaly92");
    EXPECT_EQ(w.windowTitle(), "tessaly92 beta");
    EXPECT_EQ(part<QTabWidget>(w, "notebook")->tabText(part<QTabWidget>(w, "notebook")->currentIndex()), "Settings");
    const app::ScreenSize screen = app::screensize();
    EXPECT_EQ(w.y(), screen.height / 2 - 388 / 2);
    EXPECT_EQ(w.x(), screen.width / 2 - 560 / 2);
    EXPECT_EQ(w.size(), QSize(560, 388));
    auto* ports = run.find<QComboBox>("portaddressbox");
    ASSERT_EQ(ports->count(), 3);
    EXPECT_EQ(ports->itemText(0), "0378");
    EXPECT_EQ(ports->itemText(1), "03BC");
    EXPECT_EQ(ports->itemText(2), "0278");
    EXPECT_EQ(ports->currentIndex(), 0);
    EXPECT_EQ(w.state().portaddress, 0x378);
    for (const char* box : {"descriptionscheck", "textinfocheck", "txtfilescheck", "ti92filescheck", "checkcalccheck", "storefoldercheck", "updatelistcheck", "screenshotcheck"})
        EXPECT_TRUE(run.find<QCheckBox>(box)->isChecked()) << box;
    EXPECT_TRUE(run.find<QRadioButton>("portrait")->isChecked());
    EXPECT_EQ(run.find<QComboBox>("size")->currentText(), "half pagewidth");

    // The readiness check ran at once (nobody answers on the test cable), then the listing,
    // after which the check's failure is what stays pending.
    ASSERT_GE(run.shell.statuses.size(), 2u);
    EXPECT_EQ(run.shell.statuses[0], "Checking calculator.");
    EXPECT_EQ(run.shell.statuses[1], "Calculator is not ready!");
    EXPECT_EQ(listings, 1);
    EXPECT_EQ(pendingduringlisting, nocontacttext(kReceiveTimeout));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !run.shell.boxes.empty(); }, 2000));
    EXPECT_EQ(run.shell.boxes[0].text, nocontacttext(kReceiveTimeout));
    EXPECT_EQ(run.find<QTreeWidget>("filelist")->columnWidth(0), 90);

    w.close();
    const std::string written = run.readsettings();
    EXPECT_NE(written.find("ActivePage=Settings\n"), std::string::npos);
    EXPECT_NE(written.find("PortAdress=0\n"), std::string::npos);
    EXPECT_NE(written.find("EXE-file=/opt/tessaly92/tessaly92\n"), std::string::npos);
}

TEST(MainWindow, StartUpReportsTheCheckOnceWhenTheTimerFallsDueDuringTheListing) {
    AppRun run;
    MainWindow& w = run.create();
    AppRun::replacehandler(w, &MainWindow::startuplistingdue, [&] {
        // A listing on a silent cable takes real time; the 200 ms tick falls due meanwhile.
        w.state().busy = true;
        w.state().linkok = true;
        w.state().pendingerror.clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        w.link().faillink("listing failure");
        w.state().busy = false;
    });
    run.program->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.startupdone(); }, 5000));
    QTest::qWait(600);
    ASSERT_EQ(run.shell.boxes.size(), 1u);
    EXPECT_EQ(run.shell.boxes[0].text, nocontacttext(kReceiveTimeout));
}

TEST(MainWindow, NoCheckAndNoListingWhenSwitchedOff) {
    AppRun run;
    run.writesettings(kQuiet);
    int listings = 0;
    MainWindow& w = run.create();
    AppRun::replacehandler(w, &MainWindow::startuplistingdue, [&] { ++listings; });
    run.program->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.startupdone(); }, 5000));
    EXPECT_TRUE(run.shell.statuses.empty());
    EXPECT_EQ(listings, 0);
    EXPECT_EQ(part<QLabel>(w, "status")->text(), "tessaly92");
}

TEST(MainWindow, StoredSettingsAreAppliedAndWrittenBackIdentically) {
    AppRun run;
    // A file as an earlier version wrote it.
    const std::string windows =
        "[Last]\r\nDirectory=C:\\TI92\\\r\nDrive=c\r\nActivePage=Screenshot\r\nX_Pos=50\r\nY_Pos=120\r\n"
        "Width=600\r\nHeight=400\r\nColWidth=5\r\n[Settings]\r\nFARGO-dir=C:\\FARGO\\\r\n"
        "Library-dir=C:\\FARGO\\LIB\\\r\nShow_Desc=0\r\nCheck_Start=0\r\nUpdate_Start=0\r\nPortrait=0\r\n"
        "Printersize=abc\r\nPortAdress=2\r\n";
    run.writesettings(windows);
    MainWindow& w = run.start();
    EXPECT_EQ(part<QTabWidget>(w, "notebook")->tabText(part<QTabWidget>(w, "notebook")->currentIndex()), "Screenshot");
    EXPECT_EQ(w.y(), 50);   // X_Pos is the top edge
    EXPECT_EQ(w.x(), 120);  // Y_Pos the left edge
    EXPECT_EQ(w.size(), QSize(600, 400));
    EXPECT_EQ(run.find<QTreeWidget>("filelist")->columnWidth(0), 20);  // ColWidth 5 shows as 20
    EXPECT_EQ(run.find<QLineEdit>("fargodiredit")->text(), "C:\\FARGO\\");
    EXPECT_EQ(run.find<QLineEdit>("librarydiredit")->text(), "C:\\FARGO\\LIB\\");
    EXPECT_FALSE(run.find<QCheckBox>("descriptionscheck")->isChecked());
    EXPECT_TRUE(run.find<QRadioButton>("landscape")->isChecked());
    EXPECT_EQ(run.find<QComboBox>("size")->currentIndex(), 1);  // unreadable: the default
    EXPECT_EQ(run.find<QComboBox>("portaddressbox")->currentText(), "0278");
    EXPECT_EQ(w.state().portaddress, 0x278);
    EXPECT_EQ(w.settings().directory, "C:\\TI92\\");
    w.close();

    const std::string first = run.readsettings();
    EXPECT_NE(first.find("X_Pos=50\n"), std::string::npos);
    EXPECT_NE(first.find("Y_Pos=120\n"), std::string::npos);
    EXPECT_NE(first.find("Directory=C:\\TI92\\\n"), std::string::npos);
    EXPECT_NE(first.find("FARGO-dir=C:\\FARGO\\\n"), std::string::npos);
    EXPECT_NE(first.find("ColWidth=20\n"), std::string::npos);
    EXPECT_NE(first.find("Printersize=1\n"), std::string::npos);
    EXPECT_NE(first.find("Show_Desc=0\n"), std::string::npos);

    // Started and closed again, the program writes the very same file.
    run.program.reset();
    run.start();
    run.form().close();
    EXPECT_EQ(run.readsettings(), first);
}

TEST(MainWindow, SecondaryWindowsAreCreatedHiddenAndPlaced) {
    AppRun run;
    run.writesettings(kQuiet + "[Last]\nInfo_X_Pos=11\nInfo_Y_Pos=22\nScr_X_Pos=33\nScr_Y_Pos=44\n"
                               "RemoteX_Pos=55\nRemoteY_Pos=66\n");
    MainWindow& w = run.start();
    EXPECT_TRUE(w.isVisible());
    auto& p = *run.program;
    EXPECT_FALSE(p.textform().isVisible());
    EXPECT_FALSE(p.remoteform().isVisible());
    EXPECT_FALSE(p.infoform().isVisible());
    EXPECT_FALSE(p.scrform().isVisible());
    EXPECT_EQ(p.textform().windowTitle(), "Viewing");
    EXPECT_EQ(p.remoteform().windowTitle(), "Remotecontrolling");
    EXPECT_EQ(p.infoform().windowTitle(), "Information");
    EXPECT_EQ(p.scrform().windowTitle(), "Screenshot");
    EXPECT_EQ(p.infoform().pos(), QPoint(22, 11));
    EXPECT_EQ(p.scrform().pos(), QPoint(44, 33));
    EXPECT_EQ(p.remoteform().pos(), QPoint(66, 55));
    EXPECT_FALSE(p.infoform().infotext->isReadOnly());  // a plain text box

    run.find<QToolButton>("remotebutton")->click();
    EXPECT_TRUE(p.remoteform().isVisible());
    p.textform().textbox->setPlainText("old text");
    run.find<QToolButton>("textbutton")->click();
    EXPECT_TRUE(p.textform().isVisible());
    EXPECT_TRUE(p.textform().textbox->toPlainText().isEmpty());
    EXPECT_TRUE(p.textform().plainbutton->isChecked());

    p.infoform().move(70, 80);
    w.close();
    const std::string written = run.readsettings();
    EXPECT_NE(written.find("Info_X_Pos=80\nInfo_Y_Pos=70\n"), std::string::npos);
    EXPECT_NE(written.find("RemoteX_Pos=55\nRemoteY_Pos=66\n"), std::string::npos);
}

// A first start shows the status line whole; the secondary windows open wholly on the
// screen, the Information window, which stays on top, clear of the variable list and its
// buttons; the editor comes back in front after its dialogs.
TEST(MainWindow, FirstStartShowsTheStatusLineAndEveryWindowWhole) {
    AppRun run;
    run.writesettings(kQuiet + "[Last]\nActivePage=Open variables\nScr_X_Pos=5000\nScr_Y_Pos=-300\n");
    MainWindow& w = run.start();
    auto& p = *run.program;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QRect buttons;
    for (QWidget* b : std::initializer_list<QWidget*>{w.open.contentlist, w.open.sendvariablesbutton, w.open.viewtextbutton})
        buttons |= QRect(b->mapToGlobal(QPoint(0, 0)), b->size());
    EXPECT_FALSE(p.infoform().frameGeometry().intersects(buttons));
    // A first start is as wide as the status line's usual texts and the cable's label need.
    EXPECT_GE(part<QLabel>(w, "status")->width(), part<QLabel>(w, "status")->fontMetrics().horizontalAdvance("Directory list received."));
    EXPECT_GE(part<QLabel>(w, "linklabel")->width(), part<QLabel>(w, "linklabel")->sizeHint().width());
    run.find<QToolButton>("textbutton")->click();
    for (QWidget* win : std::initializer_list<QWidget*>{&p.infoform(), &p.scrform(), &p.textform()})
        EXPECT_TRUE(screen.contains(win->frameGeometry())) << win->objectName().toStdString();
    w.activateWindow();
    run.shell.openanswers = {std::nullopt};
    p.textform().openbutton->click();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&p.textform(), 1000));
}

// The remote window keeps the designed size at least and grows only to what its layout
// needs; one stored off the screen comes back to the screen's centre.
TEST(MainWindow, TheRemoteWindowFitsItsLayoutAndComesBackOnScreen) {
    AppRun run;
    run.writesettings(kQuiet + "[Last]\nRemoteX_Pos=-500\nRemoteY_Pos=99999\n");
    run.start();
    app::RemoteWindow& r = run.program->remoteform();
    EXPECT_EQ(r.size(), r.sizeHint().expandedTo(QSize(104, 73)));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(r.pos(), QPoint(screen.width() / 2 - r.width() / 2, screen.height() / 2 - r.height() / 2));
}

TEST(MainWindow, SettingsPageRowsInOrderWithTheCableBesideThePort) {
    AppRun run;
    run.writesettings(kQuiet + "[Cable]\nKind=grey\nSerial-device=/dev/ttyUSB7\nPacing=0\n");
    MainWindow& w = run.start();
    auto& sp = w.settingspage;
    QWidget* page = run.find<QWidget>("settingspage");
    auto top = [&](QWidget* widget) { return widget->mapTo(page, QPoint(0, 0)).y(); };
    // Port and Test, printer, FARGO folder, file list, start-up, association, library folder.
    const std::vector<QWidget*> rows{sp.testbutton, sp.portrait, sp.fargodiredit, sp.descriptionscheck, sp.checkcalccheck, sp.extensionsedit, sp.librarydiredit};
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_LT(top(rows[i - 1]), top(rows[i])) << rows[i]->objectName().toStdString();
    EXPECT_EQ(top(sp.cablekind), top(sp.testbutton));

    EXPECT_EQ(sp.cablekind->currentText(), "Grey serial");
    EXPECT_TRUE(sp.portaddressbox->isHidden());
    EXPECT_FALSE(sp.serialdevice->isHidden());
    EXPECT_EQ(sp.serialdevice->currentText(), "/dev/ttyUSB7");
    EXPECT_FALSE(sp.pacing->isChecked());
    EXPECT_TRUE(sp.pacing->isEnabled());
    EXPECT_FALSE(w.link().pacing());
    sp.pacing->setChecked(true);
    EXPECT_TRUE(w.link().pacing());
    sp.pacing->setChecked(false);

    sp.cablekind->setCurrentIndex(0);
    emit sp.cablekind->activated(0);
    EXPECT_FALSE(sp.portaddressbox->isHidden());
    EXPECT_TRUE(sp.serialdevice->isHidden());
    EXPECT_FALSE(sp.pacing->isEnabled());  // the parallel cable paces itself
    sp.cablekind->setCurrentIndex(3);
    emit sp.cablekind->activated(3);
    w.close();
    const std::string written = run.readsettings();
    EXPECT_NE(written.find("[Cable]\nKind=silver\nSerial-device=/dev/ttyUSB7\nPacing=0\n"), std::string::npos) << written;
    EXPECT_NE(written.find("PortAdress=0\n"), std::string::npos);
}

// Readiness check against the virtual TI-92 on its home screen.
TEST(Readiness, VirtualCalculatorAnswers) {
    AppRun run;
    run.writesettings(kQuiet);
    VirtualCalculator calc(run.clock);
    calc.loaddemo();
    run.port = std::make_unique<VirtualPort>(calc, &run.clock);
    MainWindow& w = run.start();
    run.find<app::ClickLabel>("statimage");
    QTest::mouseClick(part<app::ClickLabel>(w, "statimage"), Qt::LeftButton);
    EXPECT_EQ(run.shell.statuses, (std::vector<std::string>{"Checking calculator.", "Calculator is ready!"}));
    EXPECT_EQ(w.contactstate(), app::Contact::Ready);
    EXPECT_TRUE(samepicture(part<app::ClickLabel>(w, "statimage"), part<QLabel>(w, "contact")));
    EXPECT_EQ(part<app::ClickLabel>(w, "statimage")->toolTip(), "Calculator is ready!\nClick for update!");
    EXPECT_EQ(w.controltimer()->interval(), 1000);
    EXPECT_FALSE(w.state().busy);
    QTest::qWait(1200);
    EXPECT_TRUE(run.shell.boxes.empty());

    // Busy: the picture alternates between the second frame and the contact picture.
    w.state().busy = true;
    w.controltimerTimer();
    EXPECT_TRUE(samepicture(part<app::ClickLabel>(w, "statimage"), part<QLabel>(w, "busycontact")));
    EXPECT_EQ(w.contactstate(), app::Contact::Working);
    w.controltimerTimer();
    EXPECT_TRUE(samepicture(part<app::ClickLabel>(w, "statimage"), part<QLabel>(w, "contact")));
    EXPECT_EQ(w.contactstate(), app::Contact::Ready);
    w.state().busy = false;
}

TEST(Readiness, StartUpOnTheVirtualLinkSaysSoAndFindsTheCalculator) {
    AppRun run;
    run.virtuallink = true;
    MainWindow& w = run.start();
    EXPECT_TRUE(part<QLabel>(w, "linklabel")->isVisible());
    EXPECT_EQ(part<QLabel>(w, "linklabel")->text(), "virtual TI-92");
    EXPECT_NE(part<QLabel>(w, "linklabel")->toolTip().indexOf("virtual TI-92"), -1);
    ASSERT_GE(run.shell.statuses.size(), 2u);
    EXPECT_EQ(run.shell.statuses[0], "Checking calculator.");
    EXPECT_EQ(run.shell.statuses[1], "Calculator is ready!");
    EXPECT_TRUE(samepicture(part<app::ClickLabel>(w, "statimage"), part<QLabel>(w, "contact")));
    QTest::qWait(300);
    EXPECT_TRUE(run.shell.boxes.empty());
    EXPECT_EQ(w.windowTitle(), "tessaly92 beta");  // the notice changes no text of the window
}

TEST(Readiness, SilentCalculatorIsReportedExactlyOnce) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    QTest::mouseClick(part<app::ClickLabel>(w, "statimage"), Qt::LeftButton);
    EXPECT_EQ(run.shell.statuses, (std::vector<std::string>{"Checking calculator.", "Calculator is not ready!"}));
    EXPECT_EQ(w.contactstate(), app::Contact::None);
    EXPECT_TRUE(samepicture(part<app::ClickLabel>(w, "statimage"), part<QLabel>(w, "nocontact")));
    EXPECT_EQ(part<app::ClickLabel>(w, "statimage")->toolTip(), "Calculator is not ready!\nClick for update!");
    EXPECT_EQ(w.controltimer()->interval(), 200);
    EXPECT_TRUE(run.shell.boxes.empty());  // the check itself shows no box

    ASSERT_TRUE(QTest::qWaitFor([&] { return !run.shell.boxes.empty(); }, 1000));
    QTest::qWait(700);  // several more ticks
    ASSERT_EQ(run.shell.boxes.size(), 1u);
    const std::string text = nocontacttext(kReceiveTimeout);
    EXPECT_EQ(text, "No contact!\nCalculator is not ready, please check your cable and port address!\nError "
                    "[The calculator did not responded [Receiving byte]].");
    EXPECT_EQ(run.shell.boxes[0].text, text);
    EXPECT_EQ(run.shell.boxes[0].icon, Icon::Error);
    EXPECT_EQ(run.shell.laststatus(), text);
    EXPECT_EQ(w.shell().statustext(), text);
    EXPECT_TRUE(w.state().pendingerror.empty());

    // While busy after a failed check the picture blinks.
    w.state().busy = true;
    w.controltimerTimer();
    EXPECT_FALSE(part<app::ClickLabel>(w, "statimage")->isVisible());
    w.controltimerTimer();
    EXPECT_TRUE(part<app::ClickLabel>(w, "statimage")->isVisible());
    w.controltimerTimer();
    w.state().busy = false;
    w.controltimerTimer();
    EXPECT_TRUE(part<app::ClickLabel>(w, "statimage")->isVisible());
}

TEST(Readiness, TestButtonAsksFirstThenChecks) {
    AppRun run;
    run.writesettings(kQuiet);
    run.start();
    run.find<QPushButton>("testbutton")->click();
    ASSERT_FALSE(run.shell.boxes.empty());
    EXPECT_EQ(run.shell.boxes[0].text, "Plug in your calculator correctly, and press ok!");
    EXPECT_EQ(run.shell.boxes[0].caption, "Test");
    EXPECT_EQ(run.shell.boxes[0].buttons, Buttons::Ok);
    ASSERT_FALSE(run.shell.statuses.empty());
    EXPECT_EQ(run.shell.statuses[0], "Checking calculator.");
}

TEST(Readiness, ClickWhileBusyChangesNothing) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    w.state().busy = true;
    QTest::mouseClick(part<app::ClickLabel>(w, "statimage"), Qt::LeftButton);
    EXPECT_TRUE(run.shell.statuses.empty());
    EXPECT_TRUE(w.state().busy);
    w.state().busy = false;
}

// The parallel cable without a LINK follows the shared state's address (ports_test).
TEST(Readiness, PortChoiceGoesToTheSharedStateAndTheSettings) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    auto* ports = run.find<QComboBox>("portaddressbox");
    ports->setCurrentIndex(1);
    emit ports->activated(1);
    EXPECT_EQ(w.state().portaddress, 0x3BC);
    w.close();
    EXPECT_NE(run.readsettings().find("PortAdress=1\n"), std::string::npos);
}

TEST(Readiness, ACancelDuringTheCheckStaysACancel) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    auto* calc = static_cast<FakeCalculator*>(run.port.get());
    const std::size_t before = calc->writes.size();
    run.shell.onpump = [&](int) {
        run.shell.onpump = nullptr;
        run.find<QToolButton>("cancelbtn")->click();  // during the check's own message pass
    };
    w.statimageClick();
    EXPECT_EQ(calc->writes.size(), before);  // no ready check went out
    EXPECT_FALSE(w.state().linkok);
    EXPECT_FALSE(w.state().busy);
    EXPECT_TRUE(w.state().pendingerror.empty());
}

TEST(Transfer, CancelWhileIdle) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    run.find<QToolButton>("cancelbtn")->click();
    EXPECT_EQ(run.shell.laststatus(), "Operation cancelled.");
    EXPECT_EQ(part<QLabel>(w, "status")->text(), "Operation cancelled.");
    EXPECT_TRUE(run.shell.boxes.empty());
    EXPECT_FALSE(w.state().linkok);
    EXPECT_FALSE(w.state().busy);
}

// A status text longer than the status bar is cut there, never widens the window, and
// shows whole in its tooltip; so does the screenshot page's hint.
TEST(MainWindow, LongStatusTextsShowWholeWithoutResizingTheWindow) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    w.show();
    QTest::qWait(20);
    const int width = w.width();
    const std::string text = "Associated; " + std::string(300, 'x') + ".";
    w.shell().setstatus(text);
    QTest::qWait(20);
    EXPECT_EQ(w.width(), width);
    EXPECT_EQ(part<QLabel>(w, "status")->toolTip().toStdString(), text);
}

TEST(MainWindow, AStoredPageThatNamesNoPageOpensSettings) {
    AppRun run;
    run.writesettings("[Last]\nActivePage=Nowhere\n[Settings]\nCheck_Start=0\nUpdate_Start=0\n");
    MainWindow& w = run.start();
    EXPECT_EQ(part<QTabWidget>(w, "notebook")->tabText(part<QTabWidget>(w, "notebook")->currentIndex()), "Settings");
    w.close();
    EXPECT_NE(run.readsettings().find("ActivePage=Settings\n"), std::string::npos);
}

// Said once: the check and the listing at start, which could only add "No contact!", wait.
TEST(MainWindow, AWrongLinkStringOpensTheWindowAndSaysWhyOnce) {
    AppRun run;
    run.linkerror = "TESSALY92_LINK: unknown cable \"parralel\"";
    MainWindow& w = run.start();
    QTest::qWait(500);
    ASSERT_EQ(run.shell.boxes.size(), 1u);
    EXPECT_EQ(run.shell.boxes[0].text, run.linkerror);
    EXPECT_EQ(part<QLabel>(w, "linklabel")->text(), "no cable");
    EXPECT_EQ(part<QLabel>(w, "linklabel")->toolTip().toStdString(), run.linkerror);
}

TEST(MainWindow, ASerialCableChosenWithoutDeviceSaysWhatIsMissing) {
    AppRun run;
    run.linkfromsettings = true;
    run.writesettings(kQuiet + "[Cable]\nKind=grey\nSerial-device=\n");
    MainWindow& w = run.start();
    ASSERT_FALSE(run.shell.boxes.empty());
    EXPECT_EQ(run.shell.boxes[0].text, "The Grey serial cable on the Settings page has no serial device: pick or "
                                       "type one there (such as /dev/ttyUSB0) and start tessaly92 again.");
    EXPECT_EQ(part<QLabel>(w, "linklabel")->text(), "no cable");
}

// Chosen on the Settings page, with no cable at all: the virtual calculator of the chosen model.
TEST(MainWindow, VirtualCalculatorChosenOnTheSettingsPage) {
    AppRun run;
    run.virtuallink = true;  // no port of the test's own; the page's choice decides which
    run.linkfromsettings = true;
    run.writesettings(kQuiet + "[Cable]\nKind=virtual\n[Calculator]\nModel=ti89\n");
    MainWindow& w = run.start();
    EXPECT_TRUE(run.shell.boxes.empty());
    EXPECT_EQ(part<QLabel>(w, "linklabel")->text(), "virtual TI-89");
    EXPECT_EQ(w.settingspage.cablekind->currentText(), "Virtual calculator");
}

// A virtual calculator behind a socket, served on a thread of its own as tessaly92-vcalc serves it.
struct ServedCalculator {
    SystemClock clock;
    VirtualCalculator calc;
    CableServer server{calc};
    std::thread thread;
    explicit ServedCalculator(const std::string& path) : calc(clock, kTI89) {
        calc.loaddemo();
        calc.setpace(0);
        std::string error;
        EXPECT_TRUE(server.listen(path, &error)) << error;
        thread = std::thread([this] { server.run(); });
    }
    ~ServedCalculator() {
        server.stop();
        thread.join();
        server.close();
    }
};

// The calculator's server stops in the middle of a backup: the window says that once, the
// variables received before are kept as they were, and the calculator is found again once
// its server is back, without a restart.
TEST(WindowCable, ACalculatorGoneMidBackupIsSaidOnceAndFoundAgain) {
    AppRun run;
    const std::string path = run.dir.filePath("v.sock").toStdString();
    auto served = std::make_unique<ServedCalculator>(path);
    run.socketpath = path;
    run.systemclock = true;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    run.find<QPushButton>("updatebutton")->click();
    auto* list = run.find<QTreeWidget>("variablelist");
    ASSERT_GE(list->topLevelItemCount(), 2) << w.state().pendingerror;
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(1)->setSelected(true);
    run.find<QPushButton>("receivebutton")->click();
    auto stored = [&] { return run.program->receivebinding().model().locview().size(); };
    ASSERT_EQ(stored(), 2u) << w.state().pendingerror;

    const std::string dest = run.dir.filePath("all.89g").toStdString();
    run.shell.inputanswers = {std::string("all")};
    run.shell.saveanswers = {dest};
    run.shell.onpump = [&](int) {
        if (served && run.shell.laststatus().find(" received! [") != std::string::npos) served.reset();
    };
    run.find<QPushButton>("backupbutton")->click();
    run.shell.onpump = nullptr;
    ASSERT_FALSE(served);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !run.shell.boxes.empty(); }, 5000));
    QTest::qWait(500);
    ASSERT_EQ(run.shell.boxes.size(), 1u);
    EXPECT_NE(run.shell.boxes[0].text.find("closed the cable"), std::string::npos) << run.shell.boxes[0].text;
    EXPECT_FALSE(std::filesystem::exists(dest));
    EXPECT_EQ(stored(), 2u);

    served = std::make_unique<ServedCalculator>(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.shell.laststatus().starts_with("The cable is back"); }, 5000));
    QTest::mouseClick(part<app::ClickLabel>(w, "statimage"), Qt::LeftButton);
    EXPECT_EQ(w.contactstate(), app::Contact::Ready) << w.state().pendingerror;
}

TEST(Transfer, SecondTransferIsRefused) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    {
        TransferSession first(w.state(), w.shell());
        ASSERT_TRUE(first);
        EXPECT_TRUE(w.state().busy && w.state().linkok);
        EXPECT_EQ(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor,
                  Qt::BusyCursor);
        TransferSession second(w.state(), w.shell());
        EXPECT_FALSE(second);
        ASSERT_EQ(run.shell.boxes.size(), 1u);
        EXPECT_EQ(run.shell.boxes[0].text,
                  "Cannot send. A transfer is in progress!\nWait until it's finnished, or press cancel!");
        EXPECT_TRUE(w.state().busy);  // the running one goes on
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(w.state().busy);
}

// A transfer of 40 bytes to a calculator that takes them; something happens at the start
// of byte 'at' (the byte layer's message pass).
struct RunningTransfer {
    MemoryTrace trace;
    void run(MainWindow& w, ScriptedShell& shell, int at, std::function<void()> action) {
        w.link().settrace(&trace);
        TransferSession session(w.state(), w.shell());
        ASSERT_TRUE(session);
        const int before = shell.pumps;
        shell.onpump = [&, at, action, before](int pumps) {
            if (pumps - before == at) action();
        };
        std::vector<std::uint8_t> bytes(40, 0x5A);
        w.link().sendstring(bytes);
        shell.onpump = nullptr;
        w.link().settrace(nullptr);
    }
};

TEST(Transfer, CancelDuringTransferRunsItOutAtTheNextByte) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    RunningTransfer t;
    t.run(w, run.shell, 10, [&] { run.find<QToolButton>("cancelbtn")->click(); });
    EXPECT_EQ(t.trace.sent().size(), 9u);
    EXPECT_FALSE(w.state().busy);
    EXPECT_FALSE(w.state().linkok);
    EXPECT_EQ(run.shell.laststatus(), "Operation cancelled.");
    EXPECT_TRUE(run.shell.boxes.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(Transfer, CancelAfterALinkFailureShowsTheFailure) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    TransferSession session(w.state(), w.shell());
    ASSERT_TRUE(session);
    w.link().faillink("Send bit timeout");
    w.cancelbtnClick();
    ASSERT_EQ(run.shell.boxes.size(), 1u);
    EXPECT_EQ(run.shell.boxes[0].text, "Send bit timeout");
    EXPECT_EQ(run.shell.laststatus(), "Send bit timeout");
    EXPECT_FALSE(w.state().busy);
}

TEST(Transfer, ClosingDuringTransferSavesAndEndsIt) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    RunningTransfer t;
    t.run(w, run.shell, 5, [&] { w.close(); });
    EXPECT_EQ(t.trace.sent().size(), 4u);
    EXPECT_FALSE(w.isVisible());
    EXPECT_NE(run.readsettings().find("EXE-file="), std::string::npos);
}

TEST(CommandLine, PathWithBlanksAndInstallSwitchIsSentOnFirstActivation) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start({"/home/u/My", "Games/tetris.92p", "/i"});
    ASSERT_EQ(run.sent.size(), 1u);
    EXPECT_EQ(run.sent[0], std::vector<std::string>{"/home/u/My Games/tetris.92p"});
    EXPECT_EQ(run.sentflags[0], std::make_pair(true, true));
    w.sendcommandlinefile();  // later activations leave the command line alone
    EXPECT_EQ(run.sent.size(), 1u);
}

TEST(CommandLine, PathAloneIsSentWithoutInstall) {
    AppRun run;
    run.writesettings(kQuiet);
    run.start({"/home/u/game.92p"});
    ASSERT_EQ(run.sent.size(), 1u);
    EXPECT_EQ(run.sent[0], std::vector<std::string>{"/home/u/game.92p"});
    EXPECT_EQ(run.sentflags[0], std::make_pair(true, false));
}

TEST(CommandLine, NoParametersSendNothing) {
    AppRun run;
    run.writesettings(kQuiet);
    run.start();
    EXPECT_TRUE(run.sent.empty());
}

TEST(CommandLine, WithoutASendRoutineNothingPretendsToBeSent) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.create({"/home/u/game.92p"});
    QObject::disconnect(&w, &MainWindow::sendfilesasked, nullptr, nullptr);
    run.program->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !run.shell.statuses.empty(); }, 2000));
    EXPECT_NE(run.shell.laststatus().find("nothing was sent"), std::string::npos);
}

TEST(Drop, TwoFilesAreSentTogetherWholePaths) {
    AppRun run;
    run.writesettings(kQuiet);
    MainWindow& w = run.start();
    const std::string longpath = "/home/u/" + std::string(90, 'd') + "/a long name with blanks.92p";
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(longpath)), QUrl::fromLocalFile("/tmp/second.92g")});
    const QPointF at(w.width() / 2.0, w.height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &drop);
    ASSERT_EQ(run.sent.size(), 1u);
    EXPECT_EQ(run.sent[0], (std::vector<std::string>{longpath, "/tmp/second.92g"}));
    EXPECT_EQ(run.sentflags[0], std::make_pair(true, false));
}

} // namespace
} // namespace tessaly::test
