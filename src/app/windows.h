#pragma once
#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "app/settingsfile.h"
#include "app/textform.h"
#include "transfers/remotekeys.h"

class QKeyEvent;
class QLabel;
class QTimer;
class QPlainTextEdit;
class QTextEdit;
class QToolButton;

namespace tessaly::app {

class MainWindow;

// A flat toolbar button of the secondary windows.
QToolButton* windowbutton(const char* name, const QString& caption, const QString& tip, bool enabled);

// The remote-control window: keys released while it has the focus go to the calculator.
class RemoteWindow : public QWidget {
    Q_OBJECT
public:
    RemoteWindow(const std::string& settingsfile, MainWindow& mainwindow, QWidget* parent = nullptr);
    ~RemoteWindow() override;

    QToolButton* keysbutton;  // "Keys"
    QToolButton* closebutton;  // "Close"

    RemoteKeyboard& keyboard() { return *m_keys; }

public slots:
    void keysbuttonClick();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }  // Tab is a key like any other

private:
    void keypressed(QKeyEvent* event);
    void keyreleased(QKeyEvent* event);

    MainWindow& m_form;
    std::unique_ptr<RemoteKeyboard> m_keys;
    std::uint16_t m_pending = 0;  // the code of the typed character, sent on release
    QTimer* m_heldtimer;          // sends keys held back while a transfer ran
};

// The virtual-key number (the key table's code) of a Qt key that has a calculator key; 0 for others.
unsigned virtualkeyof(int qtkey);

// The information window: one scrollable text box.
class InfoWindow : public QWidget {
    Q_OBJECT
public:
    // Without a kept position it opens beside the area clear (the main window), whose lists
    // and buttons it would otherwise cover, staying on top as it does.
    InfoWindow(const std::string& settingsfile, const QRect& clear = {}, QWidget* parent = nullptr);
    QPlainTextEdit* infotext;
};

// The screenshot window: one picture, centred and unscaled.
class ScreenshotWindow : public QWidget {
    Q_OBJECT
public:
    ScreenshotWindow(const std::string& settingsfile, QWidget* parent = nullptr);
    QLabel* screenpicture;
};

ScreenSize screensize();

// Where a window of this size goes when it is wanted at this top-left corner: moved as
// little as it takes to lie wholly on the free part of the screen it is wanted on, its
// title bar included.
QPoint onscreen(QPoint wanted, QSize size);
// Beside the area to keep clear (right, left, below, above: the first side with room on
// the screen); the screen's lower left corner when no side has room.
QPoint besides(const QRect& clear, QSize size);

} // namespace tessaly::app
