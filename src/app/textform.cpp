#include "app/textform.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <utility>
#include <vector>

#include "app/answers.h"
#include "app/desktopbinding.h"
#include "app/mainwindow.h"
#include "app/receivebinding.h"
#include "app/windows.h"
#include "files/filename.h"
#include "files/rtfreader.h"
#include "files/safefile.h"
#include "files/textconvert.h"
#include "files/ticharset.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {

bool marked(const QTextCharFormat& f) { return f.fontWeight() >= QFont::Bold && f.fontUnderline(); }

QTextCharFormat markformat() {
    QTextCharFormat f;
    f.setFontWeight(QFont::Bold);
    f.setFontUnderline(true);
    return f;
}

// The model's text and group files: "*.92t;*.92g" on a TI-92.
std::string textpatterns(const CalculatorModel& model) {
    return "*." + textextension(model) + ";*." + groupextension(model);
}

// The editor's dialogs belong to the main window, which comes forward when they close:
// the editor the user was working in is put back in front.
class FrontAgain {
public:
    explicit FrontAgain(QWidget& editor) : m_editor(editor) {}
    ~FrontAgain() {
        if (!m_editor.isVisible()) return;
        m_editor.raise();
        m_editor.activateWindow();
    }
    FrontAgain(const FrontAgain&) = delete;
    FrontAgain& operator=(const FrontAgain&) = delete;

private:
    QWidget& m_editor;
};


} // namespace

TextEditor::TextEditor(MainWindow* form, ReceiveBinding* receive, QWidget* parent)
    : QWidget(parent, Qt::Window), m_form(form), m_receive(receive) {
    setObjectName("TextEditor");
    setWindowTitle("Viewing");
    // Closing the main window ends the program, whatever editors are still open.
    setAttribute(Qt::WA_QuitOnClose, false);
    openbutton = windowbutton("openbutton", "&Open", "Open text-file", true);
    savebutton = windowbutton("savebutton", "&Save", "Save text-file", true);
    copybutton = windowbutton("copybutton", "&Copy", "Copy text to clipboard", true);
    boldbutton = windowbutton("boldbutton", "&Bold", "Make text bold", false);
    plainbutton = windowbutton("plainbutton", "&Plain", "View in plain text-format", true);
    qviewbutton = windowbutton("qviewbutton", "&QView", "View in QView format", true);
    for (QToolButton* b : {plainbutton, qviewbutton}) b->setCheckable(true);
    plainbutton->setChecked(true);
    VName = new QLabel("-");
    VName->setObjectName("VName");
    VName->setTextFormat(Qt::PlainText);
    textbox = new QTextEdit;
    textbox->setObjectName("textbox");
    textbox->setAcceptRichText(false);
    textbox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont courier("Courier New");
    courier.setStyleHint(QFont::Monospace);
    textbox->setFont(courier);
    quickviewbutton = windowbutton("quickviewbutton", "Download QuickView", qs(kQuickViewAddress), true);

    auto* bar = new QHBoxLayout;
    bar->setSpacing(0);
    for (QToolButton* b : {openbutton, savebutton, copybutton, boldbutton}) bar->addWidget(b);
    bar->addSpacing(12);
    bar->addWidget(new QLabel("View format:"));
    bar->addWidget(plainbutton);
    bar->addWidget(qviewbutton);
    bar->addSpacing(12);
    bar->addWidget(VName, 1);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 4, 4, 4);
    v->addLayout(bar);
    v->addWidget(textbox, 1);
    v->addWidget(quickviewbutton, 0, Qt::AlignLeft);
    resize(480, 340);

    connect(openbutton, &QToolButton::clicked, this, &TextEditor::openbuttonClick);
    connect(savebutton, &QToolButton::clicked, this, &TextEditor::savebuttonClick);
    connect(copybutton, &QToolButton::clicked, this, &TextEditor::copybuttonClick);
    connect(boldbutton, &QToolButton::clicked, this, &TextEditor::boldbuttonClick);
    connect(qviewbutton, &QToolButton::clicked, this, &TextEditor::qviewbuttonClick);
    connect(plainbutton, &QToolButton::clicked, this, &TextEditor::plainbuttonClick);
    connect(quickviewbutton, &QToolButton::clicked, this, &TextEditor::quickviewbuttonClick);
}

void TextEditor::setrich(bool rich) {
    m_rich = rich;
    textbox->setAcceptRichText(rich);
}

void TextEditor::caretstart() {
    QTextCursor c = textbox->textCursor();
    c.movePosition(QTextCursor::Start);
    textbox->setTextCursor(c);
}

void TextEditor::clearforview() {
    textbox->clear();
    plainbutton->setChecked(true);
    qviewbutton->setChecked(false);
    boldbutton->setEnabled(false);
    caretstart();
    setrich(false);
}

void TextEditor::openempty() {
    clearforview();
    VName->setText(QStringLiteral("-"));
    present();
}

void TextEditor::present() {
    if (!isVisible()) {
        const QRect over = m_form ? m_form->frameGeometry() : QRect();
        const QPoint wanted = over.isEmpty() ? pos() : over.center() - QPoint(width() / 2, height() / 2);
        move(onscreen(wanted, size()));
    }
    show();
    raise();
    activateWindow();
}

void TextEditor::addview(const TextView& view) {
    if (!view.label.empty()) VName->setText(qs(tibytes_to_utf8(view.label)));
    QTextCursor c(textbox->document());
    c.movePosition(QTextCursor::End);
    bool first = textbox->document()->isEmpty();
    for (const std::string& line : view.lines) {
        if (!std::exchange(first, false)) c.insertBlock();
        c.insertText(qs(tibytes_to_utf8(linetext(line))));
    }
}

void TextEditor::failed(const std::string& text) {
    if (m_form) m_form->shell().messagebox(text, kTextErrorCaption, Icon::Error, Buttons::Ok);
}

void TextEditor::openbuttonClick() {
    if (!m_form) return;
    const FrontAgain front(*this);
    FileDialogSpec spec;
    // Every kind it opens, not the text files alone.
    const CalculatorModel& model = m_form->link().model();
    const std::string patterns = textpatterns(model);
    spec.filter = "Texts|*.txt;*.rtf;" + patterns + "|Textfiles|*.txt|Rich text|*.rtf|" + std::string(model.name) + " files|" + patterns;
    spec.title = "Open text";
    const auto path = m_form->shell().opendialog(spec);
    if (!path) return;
    // Every model's texts open, whichever calculator the window talks to.
    const FileName named = readfilename(std::filesystem::path(*path).filename().string());
    const bool rich = richtextname(*path);
    std::string why;
    if (rich || named.kind == FileKind::Text) {
        const auto bytes = readtextfile(*path, &why, kMaxTextFile);
        if (!bytes) return failed(why);  // already names the file
        plainbutton->setChecked(true);
        qviewbutton->setChecked(false);
        boldbutton->setEnabled(false);
        VName->setText(QStringLiteral("-"));  // a file's text belongs to no variable
        setrich(rich);
        if (rich)
            textbox->setHtml(qs(rtftohtml(*bytes)));
        else
            textbox->setPlainText(qs(decodetext(*bytes)));
    } else if (named.letter == 't' || named.letter == 'g') {
        // Every text variable of the opened file: the browser's variable list belongs to
        // another file.
        const auto view = extracttexts(*path, nullptr, &why);
        if (!view) return failed(why);
        // An emptied editor under the last text's name would pass for an empty text.
        if (view->texts == 0)
            return failed(std::filesystem::path(*path).filename().string() + " holds no text variable.");
        clearforview();
        addview(*view);
        caretstart();
    }
}

void TextEditor::savebuttonClick() {
    if (!m_form) return;
    const FrontAgain front(*this);
    Shell& shell = m_form->shell();
    if (qviewbutton->isChecked() || m_rich) {
        if (shell.messagebox(kPlainWarning, "tessaly92", Icon::Warning, Buttons::OkCancel) != Answer::Ok) return;
        plainbutton->setChecked(true);
        qviewbutton->setChecked(false);
        toplain();
    }
    const CalculatorModel& model = m_form->link().model();
    std::string label(model.name);
    std::erase(label, '-');  // "TI92-text-files", as the TI-92's dialog always said
    FileDialogSpec spec;
    spec.defaultext = textextension(model);
    spec.filename = "*." + spec.defaultext;
    spec.filter = label + "-text-files|*." + spec.defaultext + "|Textfiles|*.txt|All files|*.*";
    spec.title = "Save text-variable as";
    const auto path = shell.savedialog(spec);
    if (!path) return;
    const std::string text = textbox->toPlainText().toStdString();
    // A text is no calculator's own: the file is signed for the model its name is for.
    const FileName named = readfilename(std::filesystem::path(*path).filename().string());
    if (named.letter != 't') {
        std::string why;
        if (!savewhole(*path, text.empty() ? text : text + "\n", &why)) failed(why + ". Nothing was written.");
        return;
    }
    // The text goes through the package store, which a running transfer may be filling.
    TransferSession session(m_form->state(), shell);
    if (!session) return;
    // The text's own comment, asked for here; it stays with this file.
    std::string comment;
    const PackageStore fallback(packagestorefolder({}));
    const PackageStore& store = m_receive ? m_receive->store() : fallback;
    WindowAnswers answers(shell);
    savetextvariable(*path, text, store, comment, shell, answers, m_form->state(), *named.model);
    if (m_receive) m_receive->showstore();
}

void TextEditor::copybuttonClick() {
    if (!textbox->textCursor().hasSelection()) textbox->selectAll();
    textbox->copy();
}

void TextEditor::boldbuttonClick() {
    if (!qviewbutton->isChecked()) return;
    textbox->mergeCurrentCharFormat(markformat());
}

void TextEditor::qviewbuttonClick() {
    qviewbutton->setChecked(true);
    plainbutton->setChecked(false);
    toqview();
}

void TextEditor::plainbuttonClick() {
    plainbutton->setChecked(true);
    qviewbutton->setChecked(false);
    toplain();
}

void TextEditor::quickviewbuttonClick() {
    if (m_form) openaddress(m_form->shell(), qs(kQuickViewAddress));
    else QDesktopServices::openUrl(QUrl(qs(kQuickViewAddress)));
}

void TextEditor::toqview() {
    setrich(true);
    boldbutton->setEnabled(true);
    const QString text = textbox->toPlainText();
    std::vector<std::pair<int, int>> spans;
    int opening = -1;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('#')) continue;
        if (opening < 0) {
            opening = i;
        } else {
            // "##" encloses nothing to mark; taking it away would lose it for good, as the
            // plain form has nothing to put it back from.
            if (i > opening + 1) spans.emplace_back(opening, i);
            opening = -1;
        }
    }
    // From the last span back, so the positions before it stay where they are.
    QTextCursor c(textbox->document());
    c.beginEditBlock();
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
        c.setPosition(it->first + 1);
        c.setPosition(it->second, QTextCursor::KeepAnchor);
        c.mergeCharFormat(markformat());
        c.setPosition(it->second);
        c.deleteChar();
        c.setPosition(it->first);
        c.deleteChar();
    }
    c.endEditBlock();
    caretstart();
}

void TextEditor::toplain() {
    boldbutton->setEnabled(false);
    // Runs of marked characters, each ended by an unmarked one, a line end or the end.
    std::vector<std::pair<int, int>> runs;
    for (QTextBlock block = textbox->document()->begin(); block.isValid(); block = block.next()) {
        int start = -1, end = -1;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.isValid()) continue;
            if (marked(f.charFormat())) {
                if (start < 0 || f.position() != end) {
                    if (start >= 0) runs.emplace_back(start, end);
                    start = f.position();
                }
                end = f.position() + f.length();
            } else if (start >= 0) {
                runs.emplace_back(start, end);
                start = -1;
            }
        }
        if (start >= 0) runs.emplace_back(start, end);
    }
    QTextCursor c(textbox->document());
    c.beginEditBlock();
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        c.setPosition(it->second);
        c.insertText("#", QTextCharFormat());
        c.setPosition(it->first);
        c.insertText("#", QTextCharFormat());
    }
    c.endEditBlock();
    // Plain-text mode keeps no formatting.
    textbox->setPlainText(textbox->toPlainText());
    caretstart();
    setrich(false);
}

} // namespace tessaly::app
