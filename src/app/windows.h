#pragma once
#include <QDialog>
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

class TForm1;

// A flat toolbar button of the secondary windows.
QToolButton* windowbutton(const char* name, const QString& caption, const QString& tip, bool enabled);

// The remote-control window: keys released while it has the focus go to the calculator.
class TForm4 : public QWidget {
    Q_OBJECT
public:
    TForm4(const std::string& settingsfile, TForm1& mainwindow, QWidget* parent = nullptr);
    ~TForm4() override;

    QToolButton* officebutton1;  // "Keys"
    QToolButton* officebutton3;  // "Close"

    RemoteKeyboard& keyboard() { return *m_keys; }

public slots:
    void OfficeButton1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }  // Tab is a key like any other

private:
    void FormKeyPress(QKeyEvent* event);
    void FormKeyUp(QKeyEvent* event);

    TForm1& m_form;
    std::unique_ptr<RemoteKeyboard> m_keys;
    std::uint16_t m_pending = 0;  // the code of the typed character, sent on release
    QTimer* m_heldtimer;          // sends keys held back while a transfer ran
};

// The Windows virtual-key number of a Qt key that has a calculator key; 0 for others.
unsigned virtualkeyof(int qtkey);

// The information window: one scrollable text box.
class TInfoForm : public QWidget {
    Q_OBJECT
public:
    TInfoForm(const std::string& settingsfile, QWidget* parent = nullptr);
    QPlainTextEdit* Memo1;
};

// The screenshot window: one picture, centred and unscaled.
class TScrForm : public QWidget {
    Q_OBJECT
public:
    TScrForm(const std::string& settingsfile, QWidget* parent = nullptr);
    QLabel* Image1;
};

ScreenSize screensize();

} // namespace tessaly::app
