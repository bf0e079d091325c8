// Not a check: with TESSALY_SCREENSHOT_DIR set, writes a picture of every page and window
// so the layout can be looked at.
#include <QDir>
#include <QProgressBar>
#include <QTabWidget>

#include "app/apptestsupport.h"
#include "app/windows.h"

namespace tessaly::test {

TEST(Screenshots, EveryPageAndWindow) {
    const QString out = qEnvironmentVariable("TESSALY_SCREENSHOT_DIR");
    if (out.isEmpty()) GTEST_SKIP() << "TESSALY_SCREENSHOT_DIR not set";
    QDir().mkpath(out);
    AppRun run;
    run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n");
    app::MainWindow& w = run.start();
    w.resize(app::kDesignedWidth, app::kDesignedHeight);
    part<QLabel>(w, "linklabel")->setText("virtual TI-92");
    for (int i = 0; i < part<QTabWidget>(w, "notebook")->count(); ++i) {
        part<QTabWidget>(w, "notebook")->setCurrentIndex(i);
        QTest::qWait(50);
        w.grab().save(out + QStringLiteral("/page%1.png").arg(i + 1));
    }
    part<QProgressBar>(w, "gauge")->setValue(60);
    part<QTabWidget>(w, "notebook")->setCurrentIndex(0);
    QTest::qWait(50);
    w.grab().save(out + "/gauge.png");
    w.textbuttonClick();
    w.remotebuttonClick();
    QTest::qWait(50);
    run.program->textform().grab().save(out + "/textform.png");
    run.program->remoteform().grab().save(out + "/remote.png");
    run.program->infoform().grab().save(out + "/info.png");
    run.program->scrform().grab().save(out + "/scr.png");
    part<QLabel>(w, "contact")->grab().save(out + "/contact.png");
    part<QLabel>(w, "nocontact")->grab().save(out + "/nocontact.png");
    part<QLabel>(w, "busycontact")->grab().save(out + "/image3.png");
    w.close();
}

} // namespace tessaly::test
