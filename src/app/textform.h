#pragma once
#include <QWidget>
#include <string>
#include <string_view>

#include "files/titext.h"

class QLabel;
class QTextEdit;
class QToolButton;

namespace tessaly::app {

class MainWindow;
class ReceiveBinding;

inline constexpr std::string_view kQuickViewAddress = "https://tessaly92.example/quickview";
inline constexpr std::string_view kPlainWarning = "You have to save the file in plain text!\rConvert to TEXT-format?";

// The text editor (caption "Viewing"): texts loaded, viewed in plain form or in Quick
// View's form (spans between two "#" bold and underlined), copied, and saved as plain
// text or as a TI-92 text file through the package store.
class TextEditor : public QWidget {
    Q_OBJECT
public:
    // form and receive give the shell, the transfer state and the package store, whose
    // received list a saved text replaces; without them (nullptr) the commands that need
    // them do nothing.
    explicit TextEditor(MainWindow* form = nullptr, ReceiveBinding* receive = nullptr, QWidget* parent = nullptr);

    // The Text button: an empty editor in plain-text mode, shown.
    void openempty();
    // Shown in front; a window not yet on show opens over the main window, wholly on the screen.
    void present();
    // Emptied for a view: "&Plain" down, caret at the start, plain-text mode.
    void clearforview();
    // Lines of TI-92 bytes added after those shown, each without its command byte (saving
    // puts it back); VName names the view's label.
    void addview(const TextView& view);
    bool richmode() const { return m_rich; }

    QToolButton* openbutton;
    QToolButton* savebutton;
    QToolButton* copybutton;
    QToolButton* boldbutton;
    QToolButton* plainbutton;  // "&Plain"
    QToolButton* qviewbutton;  // "&QView"
    QLabel* VName;
    QTextEdit* textbox;
    QToolButton* quickviewbutton;

public slots:
    void openbuttonClick();
    void savebuttonClick();
    void copybuttonClick();
    void boldbuttonClick();
    void qviewbuttonClick();
    void plainbuttonClick();
    void quickviewbuttonClick();

private:
    void setrich(bool rich);
    void caretstart();
    void toqview();
    void toplain();
    void failed(const std::string& text);

    MainWindow* m_form;
    ReceiveBinding* m_receive;
    bool m_rich = false;
};

} // namespace tessaly::app
