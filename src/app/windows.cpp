#include "app/windows.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QTimer>
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
// What a window manager's title bar and frame add around a window not yet shown.
constexpr int kTitleBar = 30;
constexpr int kFrame = 4;
constexpr int kGap = 8;

QRect freearea(QPoint at) {
    const QScreen* screen = QGuiApplication::screenAt(at);
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, kDesignedWidth, kDesignedHeight);
}
} // namespace

QPoint onscreen(QPoint wanted, QSize size) {
    const QRect area = freearea(wanted + QPoint(size.width() / 2, size.height() / 2));
    const int width = size.width() + 2 * kFrame, height = size.height() + kTitleBar + kFrame;
    // The left and top edges win where the window is larger than the screen: its title bar
    // and first buttons stay in reach.
    const int left = std::max(area.left(), std::min(wanted.x(), area.right() + 1 - width));
    const int top = std::max(area.top(), std::min(wanted.y(), area.bottom() + 1 - height));
    return {left, top};
}

QPoint besides(const QRect& clear, QSize size) {
    const QRect area = freearea(clear.center());
    const int width = size.width() + 2 * kFrame, height = size.height() + kTitleBar + kFrame;
    const QPoint sides[] = {{clear.right() + 1 + kGap + kFrame, clear.top()},
                            {clear.left() - kGap - width, clear.top()},
                            {clear.left(), clear.bottom() + 1 + kGap + kFrame},
                            {clear.left(), clear.top() - kGap - height}};
    for (const QPoint& p : sides)
        if (area.contains(QRect(p, QSize(width, height)))) return p;
    return {area.left(), area.bottom() + 1 - height};
}

QToolButton* windowbutton(const char* name, const QString& caption, const QString& tip, bool enabled) {
    auto* b = new QToolButton;
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    b->setEnabled(enabled);
    return b;
}

RemoteWindow::RemoteWindow(const std::string& settingsfile, MainWindow& mainwindow, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_form(mainwindow), m_keys(std::make_unique<RemoteKeyboard>(mainwindow.link())) {
    setObjectName("RemoteWindow");
    setWindowTitle("Remotecontrolling");
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    keysbutton = windowbutton("keysbutton", "Keys", QString(), true);
    closebutton = windowbutton("closebutton", "Close", QString(), true);
    // The keyboard belongs to the calculator: the buttons never take the focus.
    for (QToolButton* b : {keysbutton, closebutton}) b->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    connect(keysbutton, &QToolButton::clicked, this, &RemoteWindow::keysbuttonClick);
    connect(closebutton, &QToolButton::clicked, this, &QWidget::hide);
    m_heldtimer = new QTimer(this);
    m_heldtimer->setInterval(50);
    connect(m_heldtimer, &QTimer::timeout, this, [this] {
        m_keys->flush();
        if (m_keys->queued() == 0) m_heldtimer->stop();
    });
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
    strip->addWidget(keysbutton);
    strip->addWidget(closebutton);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    v->addLayout(strip);
    v->addWidget(remote);
    v->addWidget(control);
    // At least the designed 104 x 73, and as large as its buttons and words need: today's
    // fonts and button frames do not fit the designed size, and a cut "Close" is worse
    // than a window a few pixels larger.
    setFixedSize(std::max(104, sizeHint().width()), std::max(73, sizeHint().height()));

    // Positions from the settings file; a window stored off the screen comes back to its centre.
    Settings s;
    const ScreenSize screen = screensize();
    readremotewindowposition(IniFile::load(settingsfile), screen, mainwindow.width(), mainwindow.height(), s);
    int left = s.remoteleft, top = s.remotetop;
    if (left < 0 || left > screen.width - width()) left = screen.width / 2 - width() / 2;
    if (top < 0 || top > screen.height - height()) top = screen.height / 2 - height() / 2;
    move(left, top);
}

RemoteWindow::~RemoteWindow() = default;

namespace {
struct QtVirtualKey {
    int qtkey;
    unsigned vk;
};
// The keys that type no character, by their virtual-key number: the key table is indexed by it.
constexpr QtVirtualKey kQtVirtualKeys[] = {
    {Qt::Key_PageUp, vk::PageUp}, {Qt::Key_PageDown, vk::PageDown}, {Qt::Key_End, vk::End},
    {Qt::Key_Home, vk::Home},     {Qt::Key_Left, vk::Left},         {Qt::Key_Up, vk::Up},
    {Qt::Key_Right, vk::Right},   {Qt::Key_Down, vk::Down},         {Qt::Key_Insert, vk::Insert},
    {Qt::Key_Delete, vk::Delete}, {Qt::Key_F1, 112},                {Qt::Key_F2, 113},
    {Qt::Key_F3, 114},            {Qt::Key_F4, 115},                {Qt::Key_F5, 116},
    {Qt::Key_F6, 117},            {Qt::Key_F7, 118},                {Qt::Key_F8, 119},
    {Qt::Key_F9, 120},            {Qt::Key_F10, 121},               {Qt::Key_F11, 122},
    {Qt::Key_F12, 123},           {Qt::Key_Z, vk::Z},
};
} // namespace

unsigned virtualkeyof(int qtkey) {
    for (const QtVirtualKey& k : kQtVirtualKeys)
        if (k.qtkey == qtkey) return k.vk;
    return 0;
}

void RemoteWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_keys->reset();
    activateWindow();
    setFocus();
}

void RemoteWindow::keyPressEvent(QKeyEvent* event) { keypressed(event); }

void RemoteWindow::keyReleaseEvent(QKeyEvent* event) {
    // A key held down repeats its presses and releases; it counts once, on the real release.
    if (event->isAutoRepeat()) return;
    keyreleased(event);
}

void RemoteWindow::keypressed(QKeyEvent* event) {
    // Keys of the virtual-key table type no character (Qt gives
    // Delete one): only their key counts.
    if (virtualkeycode(virtualkeyof(event->key())) != 0) return;
    // Enter is character 13 whichever way the platform spells it.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_pending = 13;
        return;
    }
    const QString text = event->text();
    if (text.size() != 1) return;
    if (const auto code = typedkeycode(text[0].unicode())) m_pending = *code;
}

void RemoteWindow::keyreleased(QKeyEvent* event) {
    if (event->modifiers() == Qt::ControlModifier && event->key() == Qt::Key_Z) {
        hide();
        m_pending = 0;
        return;
    }
    const std::uint16_t code = m_pending ? m_pending : virtualkeycode(virtualkeyof(event->key()));
    m_pending = 0;
    if (code) {
        m_keys->press(code);
        // Held back behind a transfer of the main window: sent once it has ended.
        if (m_keys->queued() && !m_heldtimer->isActive()) m_heldtimer->start();
    }
    m_form.shell().processmessages();
}

void RemoteWindow::keysbuttonClick() { m_form.shell().messagebox(kRemoteKeysHelp, "", Icon::Information, Buttons::Ok); }

InfoWindow::InfoWindow(const std::string& settingsfile, const QRect& clear, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName("InfoWindow");
    setWindowTitle("Information");
    infotext = new QPlainTextEdit;
    infotext->setObjectName("infotext");
    // A plain box the user may type in: the note is read from its file and never written back.
    infotext->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(infotext);
    resize(260, 180);
    Settings s;
    const IniFile ini = IniFile::load(settingsfile);
    readinfowindowposition(ini, screensize(), s);
    const bool kept = ini.value(section::Last, key::InfoXPos) || ini.value(section::Last, key::InfoYPos);
    move(kept || clear.isEmpty() ? onscreen({s.infoleft, s.infotop}, size()) : besides(clear, size()));
}

ScreenshotWindow::ScreenshotWindow(const std::string& settingsfile, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName("ScreenshotWindow");
    setWindowTitle("Screenshot");
    screenpicture = new QLabel;
    screenpicture->setObjectName("screenpicture");
    screenpicture->setAlignment(Qt::AlignCenter);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(screenpicture);
    setFixedSize(256, 161);
    Settings s;
    readscreenshotwindowposition(IniFile::load(settingsfile), screensize(), s);
    move(onscreen({s.scrleft, s.scrtop}, size()));
}

} // namespace tessaly::app
