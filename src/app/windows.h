#pragma once
#include <QDialog>
#include <QWidget>

#include "app/settingsfile.h"

class QLabel;
class QPlainTextEdit;
class QTextEdit;
class QToolButton;

namespace tessaly::app {

class TForm1;

// The text editor (caption "Viewing"). Its commands come with the text conversion work;
// until then its toolbar stays disabled and the box is a plain editing area.
class TTextForm : public QWidget {
    Q_OBJECT
public:
    explicit TTextForm(QWidget* parent = nullptr);

    // The Text button: an empty editor in plain-text mode.
    void openempty();

    QToolButton* explorerbutton1;
    QToolButton* button2;
    QToolButton* button3;
    QToolButton* button4;
    QToolButton* SpeedButton2;  // "&Plain"
    QToolButton* SpeedButton1;  // "&QView"
    QLabel* VName;
    QTextEdit* memo1;
    QToolButton* officebutton9;
};

// The remote-control window. It only shows itself and hides again for now; the keys
// come with the remote keyboard work.
class TForm4 : public QWidget {
    Q_OBJECT
public:
    TForm4(const std::string& settingsfile, const TForm1& mainwindow, QWidget* parent = nullptr);

    QToolButton* officebutton1;  // "Keys"
    QToolButton* officebutton3;  // "Close"
};

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
