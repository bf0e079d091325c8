#pragma once
#include <QObject>
#include <memory>
#include <vector>

namespace tessaly::app {

class TForm1;
class TTextForm;
class ReceiveBinding;
class BrowserBinding;

// The buttons that lead to texts: Txt-convert and View text on "Open variables", View on
// "Receive variables". Each View of a received text opens one more editor window, and
// the later text commands address the newest.
class TextBinding : public QObject {
    Q_OBJECT
public:
    TextBinding(TForm1& form, TTextForm& first, ReceiveBinding& receive, BrowserBinding& browser);
    ~TextBinding() override;

    TTextForm& current() { return *m_current; }

public slots:
    void Button29Click();  // Txt-convert
    void Button21Click();  // View text
    void Button11Click();  // View (received)

private:
    TForm1& m_form;
    TTextForm* m_current;
    ReceiveBinding& m_receive;
    BrowserBinding& m_browser;
    std::vector<std::unique_ptr<TTextForm>> m_more;
};

} // namespace tessaly::app
