#include "app/mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QMetaMethod>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <chrono>
#include <cstdio>

#include "app/cablechoice.h"
#include "app/commandline.h"
#include "app/fargobinding.h"
#include "app/pictures.h"
#include "app/screenshotbinding.h"
#include "app/windows.h"
#include "link/cable.h"
#include "link/ports/nullport.h"
#include "transfers/directory.h"
#include "transfers/readiness.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {
constexpr int kContactInterval = 1000;
constexpr int kNoContactInterval = 200;
constexpr std::int64_t kReopenIntervalMs = 1000;
constexpr std::string_view kReadyHint = "Calculator is ready!\rClick for update!";
constexpr std::string_view kNotReadyHint = "Calculator is not ready!\rClick for update!";
// The window's user carries on without a cable by choosing the virtual one.
constexpr std::string_view kWithoutCableText =
    "Without a cable, choose \"Virtual calculator\" as the cable on the Settings page and start tessaly92 again.";
constexpr std::string_view kNotSentText = "Sending files is not available in this version; nothing was sent.";
} // namespace

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (isEnabled()) emit clicked();
}

MainWindow::MainWindow(const AppContext& context) : m_context(context) {
    setObjectName("MainWindow");
    setWindowTitle("tessaly92 beta");
    setup(context);
}

MainWindow::~MainWindow() { teardown(); }

void MainWindow::setup(const AppContext& context) {
    m_contact = Contact::None;
    setAcceptDrops(true);
    m_firstactivation = true;
    m_settingsfile = context.settingsfile.empty() ? settingspath() : context.settingsfile;

    buildnotebook();
    buildstatusbar();
    m_shell = std::make_unique<QtShell>(status, gauge, this);
    m_shell->setanswerer(context.answerer);
    m_shell->settransferstate(&m_state);

    if (context.clock) {
        m_clock = context.clock;
    } else {
        m_ownclock = std::make_unique<SystemClock>();
        m_clock = m_ownclock.get();
    }
    m_state.portaddress = kPortTable[0];
    m_state.linkok = false;

    const IniFile ini = IniFile::load(m_settingsfile);
    MainWindowDefaults defaults;
    // Not the program's folder: installed, that is /usr/bin, where the user cannot save.
    defaults.startdir = context.homedir.empty() ? "/" : context.homedir;
    defaults.startdrive = defaults.startdir.substr(0, 1);
    defaults.screen = screensize();
    readmainwindowsettings(ini, defaults, m_settings);

    // A stored page that names no page opens the Settings page, as a first start does.
    int page = -1, settings = 0;
    for (int i = 0; i < notebook->count(); ++i) {
        if (notebook->tabText(i).toStdString() == m_settings.activepage) page = i;
        if (notebook->tabText(i) == QStringLiteral("Settings")) settings = i;
    }
    notebook->setCurrentIndex(page >= 0 ? page : settings);
    resize(m_settings.width, m_settings.height);
    move(m_settings.left, m_settings.top);

    m_shell->processmessages();
    receive.storefoldercheck->setChecked(m_settings.storefolder);
    // A stored position outside the port list keeps the first entry; the Settings page's
    // binding shows what is kept here.
    if (m_settings.portindex < 0 || m_settings.portindex >= 3) m_settings.portindex = 0;
    m_state.portaddress = kPortTable[m_settings.portindex];
    m_settings.cablekind = kCableKinds[cablekindindex(m_settings.cablekind)].key;

    m_state.busy = false;
    linkfromsettings();
    openlink();
    showmodelhints();
    if (!ini.value(section::Last, key::Width))
        widenforstatusline(!ini.value(section::Last, key::YPos), defaults.screen.width);

    m_controltimer = new QTimer(this);
    m_controltimer->setObjectName("controltimer");
    m_controltimer->setInterval(kContactInterval);
    connect(m_controltimer, &QTimer::timeout, this, &MainWindow::controltimerTimer);
    m_controltimer->start();
}

// A first start: as wide as the status line needs, centred again unless a place was stored.
void MainWindow::widenforstatusline(bool recentre, int screenwidth) {
    const int wide = std::min(std::max(m_settings.width, statuslinewidth()), screenwidth);
    if (recentre) m_settings.left -= (wide - m_settings.width) / 2;
    m_settings.width = wide;
    resize(m_settings.width, m_settings.height);
    move(m_settings.left, m_settings.top);
}

void MainWindow::linkfromsettings() {
    if (!m_context.linkfromsettings) return;
    const CableKindEntry& kind = kCableKinds[cablekindindex(m_settings.cablekind)];
    if (kind.serial && m_settings.serialdevice.empty()) {
        // Said in the page's own words: the user typed no LINK string.
        m_context.linkerror = "The " + std::string(kind.caption) +
                              " cable on the Settings page has no serial device: pick or type one there "
                              "(such as /dev/ttyUSB0) and start tessaly92 again.";
        return;
    }
    const std::string text = composelinkstring(m_settings.cablekind, m_settings.serialdevice, m_settings.model);
    if (text.empty()) return;  // the parallel cable: the port list's address, as without a choice
    std::string why;
    if (auto spec = parselinkspec(text, &why))
        m_context.linkspec = *spec;
    else
        m_context.linkerror = "The cable on the Settings page (" + text + "): " + why;
}

void MainWindow::openlink() {
    if (!m_context.linkerror.empty()) {
        m_noport = std::make_unique<NullPort>();
        m_cable = std::make_unique<Cable>(*m_noport, "no cable", *m_clock, *m_shell, m_state);
    } else if (m_context.port) {
        m_cable = std::make_unique<Cable>(*m_context.port, m_context.portdescription, *m_clock, *m_shell, m_state,
                                          m_context.calculator);
    } else {
        Cable::Options options;
        options.withoutcable = std::string(kWithoutCableText);
        m_cable = std::make_unique<Cable>(m_context.linkspec, *m_clock, *m_shell, m_state, options);
    }
    m_cable->link().setpacing(m_settings.pacing);
    m_cable->link().choosemodel(modelbyid(m_settings.model));
    if (SimulatedCalculator* calc = m_cable->calculator())
        calc->onnotice([this](const std::string& notice) {
            m_calcnotice = notice;
            showlinkstate();
        });
    followcalculator();
}

std::string MainWindow::linkproblem() const {
    return m_context.linkerror.empty() ? m_cable->error() : m_context.linkerror;
}

void MainWindow::showlinkstate() {
    QString text = m_context.linkerror.empty() ? QString::fromStdString(m_cable->statustext())
                                               : QStringLiteral("no cable");
    QString tip = QString::fromStdString(m_context.linkerror.empty() ? m_cable->statustip() : linkproblem());
    // The cable knows a virtual calculator's model only as far as the LINK named it; the
    // window names the one chosen or answering.
    if (m_context.linkerror.empty() && m_cable->error().empty()) {
        if (!m_context.port && m_context.linkspec.kind == LinkSpec::Kind::Socket)
            text = qs("virtual " + calculatorname() + " at " + m_context.linkspec.path);
        if (virtualcalculator()) tip = qs("A virtual " + calculatorname() + " is attached, not a real calculator.");
    }
    // What the virtual calculator has to tell stands in its place until it takes it back (the
    // transfer that led to it may have ended well on our side): the headline before the
    // colon in the status bar, the whole in its hint.
    if (m_context.linkerror.empty() && !m_calcnotice.empty()) {
        const QString notice = QString::fromStdString(m_calcnotice);
        text = notice.section(QLatin1Char(':'), 0, 0);
        text[0] = text[0].toUpper();
        tip = notice + QLatin1Char('.');
        tip[0] = tip[0].toUpper();
    }
    linklabel->setText(text);
    linklabel->setToolTip(tip);
    linklabel->setVisible(!text.isEmpty());
}

int MainWindow::statuslinewidth() const {
    // Room for the longest status texts of the usual work, the cable's label and the
    // longest model caption the ready check gives.
    const QFontMetrics metrics(status->font());
    int text = 0;
    for (std::string_view t : {kDirectoryReceivedText, kCheckingText, kReadyText})
        text = std::max(text, metrics.horizontalAdvance(qs(t)));
    int caption = 0;
    for (const CalculatorModel* m : allmodels())
        caption = std::max(caption, QFontMetrics(modellabel->font()).horizontalAdvance(qs(std::string(m->name) + ", version 0.00")));
    constexpr int kSpacing = 40;  // between the parts and at the ends of the bar
    return gauge->width() + text + linklabel->sizeHint().width() + caption + statimage->width() + kSpacing;
}

Link& MainWindow::link() { return m_cable->link(); }

SimulatedCalculator* MainWindow::virtualcalculator() const { return m_cable ? m_cable->calculator() : nullptr; }

const CalculatorModel* MainWindow::calculatormodel() const {
    if (!m_cable) return nullptr;
    const Link& l = m_cable->link();
    if (l.modelknown()) return &l.model();
    if (l.chosenmodel()) return l.chosenmodel();
    if (!virtualcalculator()) return nullptr;
    // The in-process calculator is of the model its LINK named, the TI-92 when none.
    if (m_context.linkspec.kind == LinkSpec::Kind::Virtual && !m_context.port)
        if (const CalculatorModel* m = modelbyid(m_context.linkspec.model)) return m;
    return &l.model();
}

std::string MainWindow::calculatorname() const {
    const CalculatorModel* m = calculatormodel();
    return m ? std::string(m->name) : std::string("calculator");
}

void MainWindow::followcalculator() {
    m_namedmodel = calculatormodel();
    showlinkstate();
    const std::string name = calculatorname();
    if (aboutcalculator) {
        aboutcalculator->setText(qs("On the cable: " + name));
        aboutcalculator->setVisible(m_namedmodel != nullptr);
    }
    screenshot.hintlabel->setText(qs(screenshothint(m_namedmodel)));
    emit calculatorchanged();
}

void MainWindow::setsecondarywindows(TextEditor* text, RemoteWindow* remote, InfoWindow* info, ScreenshotWindow* scr) {
    m_textform = text;
    m_remoteform = remote;
    m_infoform = info;
    m_scrform = scr;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_startupqueued) return;
    m_startupqueued = true;
    // Start-up work waits until the window has been drawn once.
    QTimer::singleShot(0, this, &MainWindow::startup);
}

void MainWindow::startup() {
    // Why there is no cable, said once: a check or a listing over none could only add
    // "No contact!" to it.
    const std::string problem = linkproblem();
    if (!problem.empty()) m_shell->messagebox(problem, "tessaly92", Icon::Warning, Buttons::Ok);
    if (problem.empty() && settingspage.checkcalccheck->isChecked()) statimageClick();
    const std::string remembered = m_state.pendingerror;
    if (problem.empty() && settingspage.updatelistcheck->isChecked()) {
        emit startuplistingdue();
        // Put back before any message runs: a status tick that fell due during the
        // listing would otherwise report the listing's failure, and the check's after it.
        m_state.pendingerror = remembered;
        m_shell->processmessages();
    }
    open.filelist->setColumnWidth(0, std::max(m_settings.colwidth, kMinColWidth));
    m_startupdone = true;
    QTimer::singleShot(0, this, &MainWindow::sendcommandlinefile);
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_startupdone) sendcommandlinefile();
}

void MainWindow::sendcommandlinefile() {
    if (!m_firstactivation) return;
    m_firstactivation = false;
    const CommandLine cl = parsecommandline(m_context.parameters);
    // A command line of nothing but the install switch names no file to send.
    if (cl.any && !cl.path.empty()) sendfilelist({cl.path}, true, cl.install);
}

void MainWindow::sendfilelist(const std::vector<std::string>& paths, bool ask, bool install) {
    if (isSignalConnected(QMetaMethod::fromSignal(&MainWindow::sendfilesasked))) {
        emit sendfilesasked(paths, ask, install);
        return;
    }
    m_shell->setstatus(kNotSentText);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    event->acceptProposedAction();
    if (!paths.empty()) senddropped(paths);
}

void MainWindow::senddropped(const std::vector<std::string>& droppedpaths) {
    // Paths are taken whole; long paths are not cut.
    std::vector<std::string> list;
    for (const std::string& path : droppedpaths) {
        list.push_back(path);
        m_shell->processmessages();
    }
    sendfilelist(list, true, false);
}

void MainWindow::cancelbtnClick() {
    m_state.linkok = false;
    reportend();
    m_state.busy = false;
    // The file routines notice this and close their file.
    ++m_state.cancelgeneration;
}

void MainWindow::reportend() {
    m_shell->setgaugeposition(0);
    m_shell->working(Work::Ended);
    std::string text = std::exchange(m_state.pendingerror, std::string());
    // A cable that went away is the cause of whatever failed after it (a calculator "not
    // at its home screen", a timeout): that is what the user can act on.
    if (const std::string lost = link().cableerror(); !text.empty() && !lost.empty()) text = lost;
    if (!text.empty()) {
        m_shell->messagebox(text, "", Icon::Error, Buttons::Ok);
        m_shell->setstatus(text);
    } else {
        m_shell->setstatus(kCancelledText);
    }
}

void MainWindow::statimageClick() {
    TransferSession session(m_state, *m_shell, TransferSession::Refusal::Quiet, TransferSession::Report::Silent);
    if (!session) return;
    m_shell->setstatus(kCheckingText);
    m_shell->processmessages();
    CalculatorVersion version;
    if (identifycalculator(link(), *m_shell, version)) {
        m_shell->setstatus(kReadyText);
        modellabel->setText(QString::fromStdString(calculatorcaption(link(), version)));
        showmodelhints();
        statimage->setPixmap(contact->pixmap());
        m_contact = Contact::Ready;
        statimage->setToolTip(shown(kReadyHint));
        m_controltimer->setInterval(kContactInterval);
    } else {
        m_shell->processmessages();
        // A chosen model that another one answers for is said, not guessed past.
        m_shell->setstatus(link().mismatch().empty() ? std::string(kNotReadyText) : link().mismatch());
        modellabel->setText(QString());
        statimage->setPixmap(nocontact->pixmap());
        m_contact = Contact::None;
        statimage->setToolTip(shown(kNotReadyHint));
        m_controltimer->setInterval(kNoContactInterval);
    }
    followcalculator();
}

void MainWindow::controltimerTimer() {
    if (m_state.busy) {
        switch (m_contact) {
        case Contact::None: statimage->setVisible(!statimage->isVisible()); break;
        case Contact::Ready:
            statimage->setPixmap(busycontact->pixmap());
            m_contact = Contact::Working;
            m_shell->processmessages();
            break;
        case Contact::Working:
            statimage->setPixmap(contact->pixmap());
            m_contact = Contact::Ready;
            m_shell->processmessages();
            break;
        }
        return;
    }
    if (!statimage->isVisible()) statimage->setVisible(true);
    // A transfer may have met the calculator, or the Settings page chosen another.
    if (calculatormodel() != m_namedmodel) followcalculator();
    if (!m_state.linkok && !m_state.pendingerror.empty()) reportend();
    reconnect();
    showmodelhints();
}

void MainWindow::reconnect() {
    if (m_state.busy || !m_context.linkerror.empty() || !m_cable->gone()) return;
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch()).count();
    if (now - m_lastreopen < kReopenIntervalMs) return;
    m_lastreopen = now;
    const bool back = m_cable->reopen();
    showlinkstate();
    if (back) m_shell->setstatus("The cable is back: " + m_cable->description() + ".");
}

void MainWindow::showmodelhints() {
    const CalculatorModel& model = link().model();
    receive.fargobutton->setToolTip(model.runsfargo ? QStringLiteral("Put fargo to calculator")
                                                    : QString::fromUtf8(kFargoTI92OnlyText.data()));
    // Until a later model is known (it answered, or was chosen), the backup is the TI-92's.
    QString backup = QStringLiteral("Get memory-backup");
    if (!model.imagebackup)
        backup += QStringLiteral(" (the %1 has no memory image: every variable goes into one group file, .%2g)")
                      .arg(QString::fromUtf8(model.name.data(), qsizetype(model.name.size())),
                           QString::fromUtf8(model.fileprefix.data(), qsizetype(model.fileprefix.size())));
    receive.backupbutton->setToolTip(backup);
}

void MainWindow::remotebuttonClick() {
    if (m_remoteform) m_remoteform->show();
}

void MainWindow::textbuttonClick() {
    if (m_textform) m_textform->openempty();
}

void MainWindow::collectsettings() {
    m_settings.activepage = notebook->tabText(notebook->currentIndex()).toStdString();
    m_settings.top = y();
    m_settings.left = x();
    if (m_infoform) {
        m_settings.infotop = m_infoform->y();
        m_settings.infoleft = m_infoform->x();
    }
    if (m_scrform) {
        m_settings.scrtop = m_scrform->y();
        m_settings.scrleft = m_scrform->x();
    }
    if (m_remoteform) {
        m_settings.remotetop = m_remoteform->y();
        m_settings.remoteleft = m_remoteform->x();
    }
    m_settings.width = width();
    m_settings.height = height();
    m_settings.colwidth = open.filelist->columnWidth(0);
    m_settings.storefolder = receive.storefoldercheck->isChecked();
    emit settingsstoring(m_settings);
}

void MainWindow::storesettings() {
    // A transfer still running ends at its next byte.
    m_state.linkok = false;
    collectsettings();
    IniFile ini = IniFile::load(m_settingsfile);
    writesettings(ini, m_settings, m_context.exefile);
    std::string error;
    // The window closes all the same: settings that could not be written are not worth a
    // window that will not go away.
    if (!ini.save(m_settingsfile, &error)) std::fprintf(stderr, "tessaly92: %s\n", error.c_str());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    storesettings();
    event->accept();
    // Closing the main window ends the program, secondary windows included.
    for (QWidget* w : {static_cast<QWidget*>(m_textform), static_cast<QWidget*>(m_remoteform),
                       static_cast<QWidget*>(m_infoform), static_cast<QWidget*>(m_scrform)})
        if (w) w->hide();
}

void MainWindow::teardown() { setAcceptDrops(false); }

} // namespace tessaly::app
