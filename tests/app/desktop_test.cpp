#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>
#include <filesystem>

#include "app/apptestsupport.h"

namespace tessaly::test {
namespace {

struct DesktopApp {
    AppRun run;
    std::vector<QUrl> opened;
    DesktopApp() {
        run.writesettings("[Settings]\nCheck_Start=0\nUpdate_Start=0\n");
        run.create();
        binding().openurl = [this](const QUrl& url) {
            opened.push_back(url);
            return true;
        };
        binding().datahome = run.dir.filePath("data").toStdString();
        binding().tools = [](const std::vector<std::string>&) { return ToolRun{true, false, {}}; };
    }
    app::DesktopBinding& binding() { return run.program->desktopbinding(); }
};

TEST(AboutPage, LinkButtonsShowAndOpenTheirAddresses) {
    DesktopApp app;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "aboutlink" + std::to_string(i + 1);
        auto* b = app.run.find<QToolButton>(name.c_str());
        ASSERT_NE(b, nullptr);
        const QString address = QString::fromUtf8(app::kAboutAddresses[static_cast<std::size_t>(i)].data());
        EXPECT_EQ(b->toolTip(), address) << name;
        b->click();
        ASSERT_EQ(app.opened.size(), static_cast<std::size_t>(i + 1));
        EXPECT_EQ(app.opened.back(), QUrl(address)) << name;
    }
    EXPECT_EQ(app.opened[6].scheme(), "mailto");
    // No browser to start: the address is shown, and on the clipboard to paste.
    app.binding().openurl = [](const QUrl&) { return false; };
    app.run.find<QToolButton>("aboutlink1")->click();
    ASSERT_EQ(app.run.shell.boxes.size(), 1u);
    const std::string home(app::kAboutAddresses[0]);
    EXPECT_EQ(app.run.shell.boxes[0].text.substr(app.run.shell.boxes[0].text.rfind('\r') + 1), home);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), home);
    // The release under the version line is the build's, as --version and the package say.
    auto* release = app.run.find<QLabel>("aboutrelease");
    ASSERT_NE(release, nullptr);
    EXPECT_EQ(release->text(), QStringLiteral("Release " TESSALY_VERSION));
}

TEST(SettingsPage, AssociateCorrectsTheListAndRegisters) {
    DesktopApp app;
    auto* edit = app.run.find<QLineEdit>("extensionsedit");
    edit->setText("92p;92b");
    app.run.find<QPushButton>("associatebutton")->click();
    EXPECT_EQ(edit->text(), "92p;92b;");
    const std::filesystem::path data = app.run.dir.filePath("data").toStdString();
    EXPECT_TRUE(std::filesystem::exists(data / "mime/packages/tessaly92.xml"));
    EXPECT_TRUE(std::filesystem::exists(data / "applications/tessaly92-send.desktop"));
    EXPECT_TRUE(app.run.shell.boxes.empty());

    // Nothing left to register: the box says why each one typed was turned away.
    edit->setText("a/b;");
    app.run.find<QPushButton>("associatebutton")->click();
    ASSERT_EQ(app.run.shell.boxes.size(), 1u);
    EXPECT_EQ(app.run.shell.boxes[0].text, "There is no extension to associate.\rThe extension \"a/b\" is not "
                                           "registered: it holds a character a file pattern cannot.");
}

} // namespace
} // namespace tessaly::test
