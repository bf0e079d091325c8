#include "app/textbinding.h"

#include <QPushButton>
#include <algorithm>
#include <QToolButton>
#include <QTreeWidget>

#include "app/answers.h"
#include "app/browserbinding.h"
#include "app/mainwindow.h"
#include "app/receivebinding.h"
#include "app/textform.h"
#include "files/textconvert.h"
#include "files/titext.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {

std::vector<std::size_t> selectedrows(const QTreeWidget* list) {
    std::vector<std::size_t> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected()) rows.push_back(static_cast<std::size_t>(i));
    return rows;
}

// A text command holds the busy flag as a transfer does: no transfer starts meanwhile.
class Busy : public TransferSession {
public:
    explicit Busy(MainWindow& form) : TransferSession(form.state(), form.shell(), Refusal::Quiet) {}
};

} // namespace

TextBinding::TextBinding(MainWindow& form, TextEditor& first, ReceiveBinding& receive, BrowserBinding& browser)
    : QObject(&form), m_form(form), m_current(&first), m_receive(receive), m_browser(browser) {
    setObjectName("textbinding");
    connect(form.open.convertbutton, &QToolButton::clicked, this, &TextBinding::convertbuttonClick);
    connect(form.open.viewtextbutton, &QPushButton::clicked, this, &TextBinding::viewtextbuttonClick);
    connect(form.receive.viewbutton, &QPushButton::clicked, this, &TextBinding::viewbuttonClick);
}

TextBinding::~TextBinding() = default;

void TextBinding::convertbuttonClick() {
    const QTreeWidget* list = m_form.open.filelist;
    std::vector<std::string> names;
    for (std::size_t row : selectedrows(list))
        names.push_back(list->topLevelItem(static_cast<int>(row))->text(0).toStdString());
    if (names.empty()) return;
    if (m_form.state().busy) {
        m_form.shell().messagebox(kBusyText, kTextErrorCaption, Icon::None, Buttons::Ok);
        return;
    }
    // Each file's comment is asked for and kept to it.
    std::string comment;
    Busy busy(m_form);
    WindowAnswers answers(m_form.shell());
    answers.settextfolder(m_browser.folder());
    txtconvertcommand(m_browser.folder(), names, m_receive.store(), comment, m_form.shell(), answers, m_form.state(),
                      m_form.link().model());
    m_receive.showstore();
}

void TextBinding::viewtextbuttonClick() {
    const std::vector<std::size_t> rows = selectedrows(m_form.open.contentlist);
    const std::vector<std::size_t> files = selectedrows(m_form.open.filelist);
    if (rows.empty() || files.empty() || m_form.state().busy) return;
    const std::string name = m_form.open.filelist->topLevelItem(static_cast<int>(files.front()))->text(0).toStdString();
    Busy busy(m_form);
    TextEditor& editor = *m_current;
    editor.clearforview();
    m_form.shell().processmessages();
    std::string why;
    const auto view = extracttexts(
        m_browser.folder() / name,
        [&](std::size_t k) { return std::find(rows.begin(), rows.end(), k) != rows.end(); }, &why);
    if (!view) {
        m_form.shell().messagebox(why, kTextErrorCaption, Icon::Error, Buttons::Ok);
        return;
    }
    editor.addview(*view);
    editor.present();
}

void TextBinding::viewbuttonClick() {
    const std::vector<std::size_t> rows = selectedrows(m_form.receive.variablelist);
    if (rows.empty() || m_form.state().busy) return;
    Busy busy(m_form);
    std::string why;
    const auto view = packagetext(m_receive.store(), rows.front(), &why);
    if (!view) {
        m_form.shell().messagebox(why, kTextErrorCaption, Icon::Error, Buttons::Ok);
        return;
    }
    if (view->label.empty()) return;  // not a text
    m_more.push_back(std::make_unique<TextEditor>(&m_form, &m_receive));
    m_current = m_more.back().get();
    m_form.settextform(m_current);
    m_current->addview(*view);
    m_current->present();
}

} // namespace tessaly::app
