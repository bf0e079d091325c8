#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>

#include "app/apptestsupport.h"
#include "transfers/screenshot.h"
#include "vcalc/vcalc.h"

namespace tessaly::test {
namespace {

// The program on a virtual TI-92 reacting at once.
struct ScreenApp {
    AppRun run;
    VirtualCalculator calc{run.clock};

    ScreenApp() {
        calc.setpace(0);
        run.port = std::make_unique<VirtualPort>(calc, &run.clock);
        run.calculator = &calc;
        run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n");
        run.start();
    }
    app::MainWindow& form() { return run.form(); }
    app::ScreenshotBinding& binding() { return run.program->screenshotbinding(); }
    void press(const char* name) { run.find<QPushButton>(name)->click(); }
    QString path(const char* name) const { return run.dir.filePath(name); }
};

bool dark(const CalcScreen& s, int x, int y) { return s[static_cast<std::size_t>(y) * 30 + x / 8] & (0x80 >> (x % 8)); }

int differences(const QImage& image, const CalcScreen& screen) {
    if (image.size() != QSize(240, 128)) return -1;
    int n = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 240; ++x) n += image.pixel(x, y) != (dark(screen, x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return n;
}

TEST(AppScreenshot, GetScreenShowsTheCalculatorsScreenAndSavesItAsBmpOrPng) {
    ScreenApp app;
    app.press("getscreenbutton");
    EXPECT_EQ(part<QLabel>(app.form(), "status")->text(), QStringLiteral("Screen shot completed"));
    EXPECT_EQ(differences(app.form().screenshot.screenpicture->pixmap().toImage(), app.calc.screen()), 0);

    for (const char* name : {"shot.bmp", "shot.png"}) {
        SCOPED_TRACE(name);
        app.run.shell.saveanswers = {app.path(name).toStdString()};
        app.press("savescreenbutton");
        QImage saved(app.path(name));
        EXPECT_EQ(differences(saved.convertToFormat(QImage::Format_RGB32), app.calc.screen()), 0);
    }
    ASSERT_EQ(app.run.shell.savedialogs.size(), 2u);
    EXPECT_EQ(app.run.shell.savedialogs[0].filter,
              "Bitmaps|*.bmp|PNG pictures|*.png|JPEG pictures|*.jpg;*.jpeg|Other pictures|*.ppm;*.pgm;*.pbm;*.xpm;*.xbm");
    // The first opens in the browser's folder, the next where the picture before went.
    EXPECT_EQ(app.run.shell.savedialogs[0].startfolder, app.run.program->browserbinding().folder().string());
    EXPECT_EQ(app.run.shell.savedialogs[1].startfolder, app.run.dir.path().toStdString());
    app.form().close();
    EXPECT_NE(app.run.readsettings().find("[Dialog-folders]\nbmp=" + app.run.dir.path().toStdString() + "\n"),
              std::string::npos);
    EXPECT_EQ(app.run.shell.boxes.front().text, app::kSaveNoteText);

    app.press("copyscreenbutton");
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), app.binding().image());
}

TEST(AppScreenshot, SavingBeforeAnyScreenshotWritesNothing) {
    ScreenApp app;
    app.run.shell.saveanswers = {app.path("none.bmp").toStdString()};
    app.press("savescreenbutton");
    EXPECT_FALSE(QFile::exists(app.path("none.bmp")));
    EXPECT_TRUE(app.run.shell.boxes.empty() && app.run.shell.savedialogs.empty()) << "Save waits for a picture";
}

TEST(AppScreenshot, FargoScreenshotInGreysAndTheHelpTextComesBack) {
    ScreenApp app;
    // The demo control has the virtual TI-92's FCamera send in grey.
    app.run.find<QToolButton>("vcalcfcamera")->menu()->actions().at(1)->trigger();
    QString helpduring;
    app.run.shell.onpump = [&](int) { helpduring = app.form().screenshot.hintlabel->text(); };
    app.press("fargoscreenbutton");
    EXPECT_EQ(helpduring.toStdString(), std::string(kFCameraHelpText));
    EXPECT_EQ(app.form().screenshot.hintlabel->text().toStdString(), std::string(kScreenshotHelpText));
    EXPECT_EQ(part<QProgressBar>(app.form(), "gauge")->maximum(), 7680);
    const QImage shown = app.form().screenshot.screenpicture->pixmap().toImage();
    EXPECT_EQ(shown.pixel(0, 127), qRgb(192, 192, 192));  // the status line's light grey
}

TEST(AppScreenshot, AFargoPictureKeepsWhatArrivedAndOneThatDidNotLeavesThePictureBefore) {
    ScreenApp app;
    app.run.find<QToolButton>("vcalcfcamera")->menu()->actions().at(0)->trigger();  // black and white
    app.calc.misbehaviour().stopafterbytes = 5 + 64 * 30;  // the stream's head and 64 rows
    app.press("fargoscreenbutton");
    const QImage partial = app.form().screenshot.screenpicture->pixmap().toImage();
    CalcScreen top = app.calc.screen();
    std::fill(top.begin() + 64 * 30, top.end(), 0);
    EXPECT_EQ(differences(partial, top), 0);
    app.press("fargoscreenbutton");  // nothing comes this time: the picture stays, and Save saves it
    EXPECT_EQ(app.form().screenshot.screenpicture->pixmap().toImage(), partial);
    app.run.shell.saveanswers = {app.path("kept.bmp").toStdString()};
    app.press("savescreenbutton");
    EXPECT_EQ(QImage(app.path("kept.bmp")).convertToFormat(partial.format()), partial);
}

TEST(AppScreenshot, FargoScreenshotIsRefusedWhileATransferRuns) {
    ScreenApp app;
    app.form().state().busy = true;
    app.press("fargoscreenbutton");
    ASSERT_EQ(app.run.shell.boxes.size(), 1u);
    EXPECT_EQ(app.run.shell.boxes[0].text, kBusyText);
    EXPECT_FALSE(app.binding().picture().has_value());
    app.form().state().busy = false;
}

TEST(AppScreenshot, PrintsIntoTheRectangleOfItsSizeOnAPdfPage) {
    ScreenApp app;
    app.press("getscreenbutton");
    // 4 inches at 1200 dots per inch: a page 4800 printer pixels wide.
    const std::pair<int, QPoint> sizes[] = {{0, {4699, 2459}}, {1, {2299, 1179}}, {2, {1499, 667}}, {3, {1099, 539}}};
    for (const auto& [index, corner] : sizes) {
        SCOPED_TRACE(index);
        const QString pdf = app.path("print.pdf");
        QFile::remove(pdf);
        app.binding().prepareprinter = [&](QPrinter& p) {
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(pdf);
            p.setResolution(1200);
            p.setPageSize(QPageSize(QSizeF(4, 6), QPageSize::Inch));
            p.setPageMargins(QMarginsF(0, 0, 0, 0));
        };
        app.form().settingspage.size->setCurrentIndex(index);
        app.press("printbutton");
        const QRect r = app.binding().lastprintrect();
        EXPECT_EQ(r.topLeft(), QPoint(1, 1));
        EXPECT_EQ(QPoint(r.right() + 1, r.bottom() + 1), corner);  // the print rectangle's exclusive corner
        EXPECT_GT(QFileInfo(pdf).size(), 0);
        EXPECT_EQ(part<QLabel>(app.form(), "status")->text(), QStringLiteral("Printing finnished!"));
    }
}

TEST(AppScreenshot, SaveCopyAndPrintWaitForAPictureAndWithoutAPrinterPrintIntoAPdf) {
    ScreenApp app;
    for (const char* name : {"savescreenbutton", "copyscreenbutton", "printbutton"})
        EXPECT_FALSE(app.run.find<QPushButton>(name)->isEnabled()) << name;
    app.press("getscreenbutton");
    for (const char* name : {"savescreenbutton", "copyscreenbutton", "printbutton"})
        EXPECT_TRUE(app.run.find<QPushButton>(name)->isEnabled()) << name;

    app.binding().printerready = [] { return false; };
    const QString pdf = app.path("shot.pdf");
    const std::pair<std::optional<std::string>, const char*> answers[] = {
        {std::nullopt, "The screenshot was not printed."}, {pdf.toStdString(), "Printing finnished!"}};
    for (const auto& [answer, status] : answers) {
        app.run.shell.saveanswers = {answer};
        app.press("printbutton");
        EXPECT_EQ(app.run.shell.savedialogs.back().title, app::kPrintToPdfTitle);
        EXPECT_EQ(part<QLabel>(app.form(), "status")->text(), QString::fromUtf8(status));
    }
    EXPECT_GT(QFileInfo(pdf).size(), 0);
    // Inside a margin of the page, not in its corner: 20 mm, some 945 of the printer's 1200 dots an inch.
    const QPoint corner = app.binding().lastprintrect().topLeft();
    EXPECT_GT(corner.x(), 940);
    EXPECT_EQ(corner.y(), corner.x());
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

TEST(AppScreenshot, DownloadFCameraOpensItsAddress) {
    ScreenApp app;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    app.run.find<QToolButton>("fcamerabutton")->click();
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0].toString().toStdString(), app::kFCameraAddress);
}

} // namespace
} // namespace tessaly::test

#include "screenshotpage_test.moc"
