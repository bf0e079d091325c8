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
#include "app/mainwindow.h"
#include "app/receivebinding.h"
#include "app/windows.h"
#include "files/rtfreader.h"
#include "files/safefile.h"
#include "files/textconvert.h"
#include "files/ticharset.h"
#include "link/byteorder.h"

namespace tessaly::app {

namespace {

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

bool marked(const QTextCharFormat& f) { return f.fontWeight() >= QFont::Bold && f.fontUnderline(); }

QTextCharFormat markformat() {
    QTextCharFormat f;
    f.setFontWeight(QFont::Bold);
    f.setFontUnderline(true);
    return f;
}

std::string lastthree(const std::string& name) { return upstring(name.substr(name.size() >= 3 ? name.size() - 3 : 0)); }

} // namespace

TTextForm::TTextForm(TForm1* form, ReceiveBinding* receive, QWidget* parent)
    : QWidget(parent, Qt::Window), m_form(form), m_receive(receive) {
    setObjectName("TTextForm");
    setWindowTitle("Viewing");
    // Closing the main window ends the program, whatever editors are still open.
    setAttribute(Qt::WA_QuitOnClose, false);
    explorerbutton1 = windowbutton("explorerbutton1", "&Open", "Open text-file", true);
    button2 = windowbutton("button2", "&Save", "Save text-file", true);
    button3 = windowbutton("button3", "&Copy", "Copy text to clipboard", true);
    button4 = windowbutton("button4", "&Bold", "Make text bold", false);
    SpeedButton2 = windowbutton("SpeedButton2", "&Plain", "View in plain text-format", true);
    SpeedButton1 = windowbutton("SpeedButton1", "&QView", "View in QView format", true);
    for (QToolButton* b : {SpeedButton2, SpeedButton1}) b->setCheckable(true);
    SpeedButton2->setChecked(true);
    VName = new QLabel("-");
    VName->setObjectName("VName");
    VName->setTextFormat(Qt::PlainText);
    memo1 = new QTextEdit;
    memo1->setObjectName("memo1");
    memo1->setAcceptRichText(false);
    memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont courier("Courier New");
    courier.setStyleHint(QFont::Monospace);
    memo1->setFont(courier);
    officebutton9 = windowbutton("officebutton9", "Download QuickView", qs(kQuickViewAddress), true);

    auto* bar = new QHBoxLayout;
    bar->setSpacing(0);
    for (QToolButton* b : {explorerbutton1, button2, button3, button4}) bar->addWidget(b);
    bar->addSpacing(12);
    bar->addWidget(new QLabel("View format:"));
    bar->addWidget(SpeedButton2);
    bar->addWidget(SpeedButton1);
    bar->addSpacing(12);
    bar->addWidget(VName, 1);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 4, 4, 4);
    v->addLayout(bar);
    v->addWidget(memo1, 1);
    v->addWidget(officebutton9, 0, Qt::AlignLeft);
    resize(480, 340);

    connect(explorerbutton1, &QToolButton::clicked, this, &TTextForm::ExplorerButton1Click);
    connect(button2, &QToolButton::clicked, this, &TTextForm::Button2Click);
    connect(button3, &QToolButton::clicked, this, &TTextForm::Button3Click);
    connect(button4, &QToolButton::clicked, this, &TTextForm::Button4Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TTextForm::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TTextForm::SpeedButton2Click);
    connect(officebutton9, &QToolButton::clicked, this, &TTextForm::OfficeButton9Click);
}

void TTextForm::setrich(bool rich) {
    m_rich = rich;
    memo1->setAcceptRichText(rich);
}

void TTextForm::caretstart() {
    QTextCursor c = memo1->textCursor();
    c.movePosition(QTextCursor::Start);
    memo1->setTextCursor(c);
}

void TTextForm::clearforview() {
    memo1->clear();
    SpeedButton2->setChecked(true);
    SpeedButton1->setChecked(false);
    button4->setEnabled(false);
    caretstart();
    setrich(false);
}

void TTextForm::openempty() {
    clearforview();
    show();
    raise();
}

void TTextForm::addview(const TextView& view) {
    if (!view.label.empty()) VName->setText(qs(tibytes_to_utf8(view.label)));
    QTextCursor c(memo1->document());
    c.movePosition(QTextCursor::End);
    bool first = memo1->document()->isEmpty();
    for (const std::string& line : view.lines) {
        if (!std::exchange(first, false)) c.insertBlock();
        c.insertText(qs(tibytes_to_utf8(linetext(line))));
    }
}

void TTextForm::failed(const std::string& text) {
    if (m_form) m_form->shell().messagebox(text, kTextErrorCaption, Icon::Error, Buttons::Ok);
}

void TTextForm::ExplorerButton1Click() {
    if (!m_form) return;
    FileDialogSpec spec;
    spec.filter = "Textfiles|*.txt";
    spec.filename = "*.txt";
    spec.title = "Open text";
    const auto path = m_form->shell().opendialog(spec);
    if (!path) return;
    const std::string tail = lastthree(*path);
    std::string why;
    if (tail == "RTF" || tail == "TXT") {
        const auto bytes = readtextfile(*path, &why, kMaxTextFile);
        if (!bytes) return failed(why);  // already names the file
        SpeedButton2->setChecked(true);
        SpeedButton1->setChecked(false);
        button4->setEnabled(false);
        setrich(tail == "RTF");
        if (tail == "RTF")
            memo1->setHtml(qs(rtftohtml(*bytes)));
        else
            memo1->setPlainText(qs(decodetext(*bytes)));
    } else if (tail == "92T" || tail == "92G") {
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

void TTextForm::Button2Click() {
    if (!m_form) return;
    Shell& shell = m_form->shell();
    if (SpeedButton1->isChecked() || m_rich) {
        if (shell.messagebox(kPlainWarning, "tessaly92", Icon::Warning, Buttons::OkCancel) != Answer::Ok) return;
        SpeedButton2->setChecked(true);
        SpeedButton1->setChecked(false);
        toplain();
    }
    FileDialogSpec spec;
    spec.defaultext = "92t";
    spec.filename = "*.92t";
    spec.filter = "TI92-text-files|*.92t|Textfiles|*.txt|All files|*.*";
    spec.title = "Save text-variable as";
    const auto path = shell.savedialog(spec);
    if (!path) return;
    const std::string text = memo1->toPlainText().toStdString();
    if (lastthree(*path) != "92T") {
        std::string why;
        if (!savewhole(*path, text.empty() ? text : text + "\n", &why)) failed(why + ". Nothing was written.");
        return;
    }
    // The text's own comment, asked for here; it stays with this file.
    std::string comment;
    const PackageStore fallback(packagestorefolder({}));
    const PackageStore& store = m_receive ? m_receive->store() : fallback;
    WindowAnswers answers(shell);
    savetextvariable(*path, text, store, comment, shell, answers, m_form->state());
    if (m_receive) m_receive->showstore();
}

void TTextForm::Button3Click() {
    if (!memo1->textCursor().hasSelection()) memo1->selectAll();
    memo1->copy();
}

void TTextForm::Button4Click() {
    if (!SpeedButton1->isChecked()) return;
    memo1->mergeCurrentCharFormat(markformat());
}

void TTextForm::SpeedButton1Click() {
    SpeedButton1->setChecked(true);
    SpeedButton2->setChecked(false);
    toqview();
}

void TTextForm::SpeedButton2Click() {
    SpeedButton2->setChecked(true);
    SpeedButton1->setChecked(false);
    toplain();
}

void TTextForm::OfficeButton9Click() { QDesktopServices::openUrl(QUrl(qs(kQuickViewAddress))); }

void TTextForm::toqview() {
    setrich(true);
    button4->setEnabled(true);
    const QString text = memo1->toPlainText();
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
    QTextCursor c(memo1->document());
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

void TTextForm::toplain() {
    button4->setEnabled(false);
    // Runs of marked characters, each ended by an unmarked one, a line end or the end.
    std::vector<std::pair<int, int>> runs;
    for (QTextBlock block = memo1->document()->begin(); block.isValid(); block = block.next()) {
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
    QTextCursor c(memo1->document());
    c.beginEditBlock();
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        c.setPosition(it->second);
        c.insertText("#", QTextCharFormat());
        c.setPosition(it->first);
        c.insertText("#", QTextCharFormat());
    }
    c.endEditBlock();
    // Plain-text mode keeps no formatting.
    memo1->setPlainText(memo1->toPlainText());
    caretstart();
    setrich(false);
}

} // namespace tessaly::app
