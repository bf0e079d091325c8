#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/qtshell.h"

namespace tessaly::app {
namespace {

// The real boxes, without an answerer: answered by pressing their buttons.
struct RealBox {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* owner = nullptr;
    void pressonopen(QMessageBox::StandardButton which) {
        QTimer::singleShot(0, [this, which] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            owner = box->parentWidget();
            box->button(which)->click();
        });
    }
};

TEST(QtShell, BoxesShowLineBreaksAndReturnTheButtonPressed) {
    QLabel status;
    QProgressBar gauge;
    QWidget window;
    QtShell shell(&status, &gauge, &window);
    RealBox box;
    box.pressonopen(QMessageBox::Ok);
    EXPECT_EQ(shell.messagebox("Cannot send.\rWait!", "", Icon::Error, Buttons::Ok), Answer::Ok);
    EXPECT_EQ(box.text, "Cannot send.\nWait!");
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    box.pressonopen(QMessageBox::No);
    EXPECT_EQ(shell.messagebox("Send?", "Test", Icon::Confirmation, Buttons::YesNoCancel), Answer::No);
    EXPECT_EQ(box.title, "Test");
    box.pressonopen(QMessageBox::Cancel);
    EXPECT_EQ(shell.messagebox("Send?", "Test", Icon::Confirmation, Buttons::YesNoCancel), Answer::Cancel);
    EXPECT_EQ(box.owner, &window);
    box.pressonopen(QMessageBox::Ok);
    EXPECT_EQ(shell.unownedmessagebox("Plug in", "Test", Icon::None, Buttons::Ok), Answer::Ok);
    EXPECT_EQ(box.owner, nullptr);  // the readiness check's Test box stands on its own
}

// Asked for from within a running transfer's message pass (a click on another transfer's
// button, say), news shows without waiting to be read and a question is not asked: the
// transfer below goes on. A box that waited would stop it until answered.
TEST(QtShell, NothingHoldsARunningTransfer) {
    QLabel status;
    QProgressBar gauge;
    QWidget window;
    QtShell shell(&status, &gauge, &window);
    TransferState state;
    state.busy = true;
    shell.settransferstate(&state);
    std::optional<Answer> news, question;
    std::optional<std::string> input = "unasked";
    QTimer::singleShot(0, [&] {
        shell.refusebusy();
        news = shell.messagebox("Failed", "", Icon::Error, Buttons::Ok);
        question = shell.messagebox("Delete?", "", Icon::Confirmation, Buttons::YesNo);
        input = shell.inputbox("Comment", "Comment?", "");
    });
    // Should a box wait after all, it is closed, so the test fails instead of hanging.
    QTimer::singleShot(3000, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    for (int i = 0; i < 50 && !question; ++i) shell.processmessages();
    EXPECT_EQ(news, Answer::Ok);
    EXPECT_EQ(question, Answer::No);
    EXPECT_EQ(input, std::nullopt);
    QStringList texts;
    for (QMessageBox* box : window.findChildren<QMessageBox*>(QStringLiteral("transfernote")))
        if (box->isVisible()) texts << box->text();
    EXPECT_EQ(texts, (QStringList{shown(kBusyText), "Failed", shown(kAfterTransferText), shown(kAfterTransferText)}));
}

TEST(QtShell, StatusLineGaugeAndCursor) {
    QLabel status;
    QProgressBar gauge;
    QtShell shell(&status, &gauge, nullptr);
    shell.setstatus("No contact!\rCalculator is not ready");
    EXPECT_EQ(status.text(), "No contact! Calculator is not ready");  // one line
    EXPECT_EQ(status.toolTip(), "No contact!\nCalculator is not ready");
    EXPECT_EQ(shell.statustext(), "No contact!\rCalculator is not ready");
    shell.setgaugemax(3840);
    shell.setgaugeposition(1920);
    EXPECT_EQ(gauge.value(), 1920);
    shell.setgaugeposition(5000);  // past the end: full, not out of range
    EXPECT_EQ(gauge.value(), 3840);
    shell.setgaugemax(0);  // an empty transfer leaves a valid gauge
    shell.setgaugeposition(0);
    EXPECT_EQ(gauge.value(), 0);

    shell.working(Work::Started);
    shell.working(Work::Started);  // twice busy, once normal: the cursor comes back
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    shell.working(Work::Ended);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace tessaly::app
