#include "app/windows.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/mainwindow.h"

namespace tessaly::app {

ScreenSize screensize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {kDesignedWidth, kDesignedHeight};
    const QRect r = screen->geometry();
    return {r.width(), r.height()};
}

namespace {

QToolButton* flat(const char* name, const QString& caption, const QString& tip, bool enabled) {
    auto* b = new QToolButton;
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    b->setEnabled(enabled);
    return b;
}

} // namespace

TTextForm::TTextForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("TTextForm");
    setWindowTitle("Viewing");
    explorerbutton1 = flat("explorerbutton1", "&Open", "Open text-file", false);
    button2 = flat("button2", "&Save", "Save text-file", false);
    button3 = flat("button3", "&Copy", "Copy text to clipboard", false);
    button4 = flat("button4", "&Bold", "Make text bold", false);
    SpeedButton2 = flat("SpeedButton2", "&Plain", "View in plain text-format", false);
    SpeedButton1 = flat("SpeedButton1", "&QView", "View in QView format", false);
    for (QToolButton* b : {SpeedButton2, SpeedButton1}) b->setCheckable(true);
    SpeedButton2->setChecked(true);
    VName = new QLabel("-");
    VName->setObjectName("VName");
    memo1 = new QTextEdit;
    memo1->setObjectName("memo1");
    memo1->setAcceptRichText(false);
    memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont courier("Courier New");
    courier.setStyleHint(QFont::Monospace);
    memo1->setFont(courier);
    officebutton9 = flat("officebutton9", "Download QuickView", QString(), false);

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
}

void TTextForm::openempty() {
    memo1->clear();
    SpeedButton2->setChecked(true);
    SpeedButton1->setChecked(false);
    memo1->setAcceptRichText(false);
    QTextCursor c = memo1->textCursor();
    c.movePosition(QTextCursor::Start);
    memo1->setTextCursor(c);
    show();
    raise();
}

TForm4::TForm4(const std::string& settingsfile, const TForm1& mainwindow, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("TForm4");
    setWindowTitle("Remotecontrolling");
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    officebutton1 = flat("officebutton1", "Keys", QString(), false);
    officebutton3 = flat("officebutton3", "Close", QString(), true);
    connect(officebutton3, &QToolButton::clicked, this, &QWidget::hide);
    auto* remote = new QLabel("remote");
    auto* control = new QLabel("control");
    QFont big = remote->font();
    big.setPixelSize(20);
    big.setBold(true);
    remote->setFont(big);
    control->setFont(big);
    remote->setStyleSheet("color: black;");
    control->setStyleSheet("color: white; background: black;");
    control->setAlignment(Qt::AlignCenter);
    remote->setAlignment(Qt::AlignCenter);
    auto* strip = new QHBoxLayout;
    strip->setSpacing(0);
    strip->addWidget(officebutton1);
    strip->addWidget(officebutton3);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    v->addLayout(strip);
    v->addWidget(remote);
    v->addWidget(control);
    setFixedSize(std::max(104, sizeHint().width()), std::max(73, sizeHint().height()));

    // Positions from the settings file; a window stored off the screen comes back to its centre.
    Settings s;
    const ScreenSize screen = screensize();
    readremotewindowposition(IniFile::load(settingsfile), screen, mainwindow.width(), mainwindow.height(), s);
    int left = s.remoteypos, top = s.remotexpos;
    if (left < 0 || left > screen.width - width()) left = screen.width / 2 - width() / 2;
    if (top < 0 || top > screen.height - height()) top = screen.height / 2 - height() / 2;
    move(left, top);
}

TInfoForm::TInfoForm(const std::string& settingsfile, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName("TInfoForm");
    setWindowTitle("Information");
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(Memo1);
    resize(260, 180);
    Settings s;
    readinfowindowposition(IniFile::load(settingsfile), screensize(), s);
    move(s.infoypos, s.infoxpos);
}

TScrForm::TScrForm(const std::string& settingsfile, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName("TScrForm");
    setWindowTitle("Screenshot");
    Image1 = new QLabel;
    Image1->setObjectName("Image1");
    Image1->setAlignment(Qt::AlignCenter);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(Image1);
    setFixedSize(256, 161);
    Settings s;
    readscreenshotwindowposition(IniFile::load(settingsfile), screensize(), s);
    move(s.scrypos, s.scrxpos);
}

} // namespace tessaly::app
