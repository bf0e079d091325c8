#pragma once
#include <QObject>
#include <memory>
#include <vector>

namespace tessaly::app {

class MainWindow;
class TextEditor;
class ReceiveBinding;
class BrowserBinding;

// The buttons that lead to texts: Txt-convert and View text on "Open variables", View on
// "Receive variables". Each View of a received text opens one more editor window, and
// the later text commands address the newest.
class TextBinding : public QObject {
    Q_OBJECT
public:
    TextBinding(MainWindow& form, TextEditor& first, ReceiveBinding& receive, BrowserBinding& browser);
    ~TextBinding() override;

    TextEditor& current() { return *m_current; }

public slots:
    void convertbuttonClick();  // Txt-convert
    void viewtextbuttonClick();  // View text
    void viewbuttonClick();  // View (received)

private:
    MainWindow& m_form;
    TextEditor* m_current;
    ReceiveBinding& m_receive;
    BrowserBinding& m_browser;
    std::vector<std::unique_ptr<TextEditor>> m_more;
};

} // namespace tessaly::app
