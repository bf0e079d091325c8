#include "app/mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
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
#include <cstdio>

#include "app/cablechoice.h"
#include "app/commandline.h"
#include "app/fargobinding.h"
#include "app/pictures.h"
#include "app/windows.h"
#include "link/cable.h"
#include "link/ports/nullport.h"
#include "transfers/readiness.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {
constexpr int kContactInterval = 1000;
constexpr int kNoContactInterval = 200;
constexpr std::string_view kReadyHint = "Calculator is ready!\rClick for update!";
constexpr std::string_view kNotReadyHint = "Calculator is not ready!\rClick for update!";
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
    m_contact = 0;
    setAcceptDrops(true);
    m_firstactivation = true;
    m_settingsfile = context.settingsfile.empty() ? settingspath() : context.settingsfile;

    buildnotebook();
    buildstatusbar();
    m_shell = std::make_unique<QtShell>(status, gauge, this);
    m_shell->setanswerer(context.answerer);

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
    move(m_settings.ypos, m_settings.xpos);

    m_shell->processmessages();
    receive.storefoldercheck->setChecked(m_settings.storefolder);
    // A stored position outside the port list keeps the first entry; the Settings page's
    // binding shows what is kept here.
    if (m_settings.portadress < 0 || m_settings.portadress >= 3) m_settings.portadress = 0;
    m_state.portaddress = kPortTable[m_settings.portadress];
    m_settings.cablekind = kCableKinds[cablekindindex(m_settings.cablekind)].key;

    m_state.busy = false;
    linkfromsettings();
    openlink();

    m_controltimer = new QTimer(this);
    m_controltimer->setObjectName("controltimer");
    m_controltimer->setInterval(kContactInterval);
    connect(m_controltimer, &QTimer::timeout, this, &MainWindow::controltimerTimer);
    m_controltimer->start();
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
        m_cable = std::make_unique<Cable>(m_context.linkspec, *m_clock, *m_shell, m_state);
    }
    m_cable->link().setpacing(m_settings.pacing);
    m_cable->link().choosemodel(modelbyid(m_settings.model));
    if (SimulatedCalculator* calc = m_cable->calculator())
        calc->onnotice([this](const std::string& notice) {
            m_calcnotice = notice;
            showlinkstate();
        });
    showlinkstate();
}

std::string MainWindow::linkproblem() const {
    return m_context.linkerror.empty() ? m_cable->error() : m_context.linkerror;
}

void MainWindow::showlinkstate() {
    QString text = m_context.linkerror.empty() ? QString::fromStdString(m_cable->statustext())
                                               : QStringLiteral("no cable");
    QString tip = QString::fromStdString(m_context.linkerror.empty() ? m_cable->statustip() : linkproblem());
    // What the virtual TI-92 has to tell stands in its place until it takes it back (the
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

Link& MainWindow::link() { return m_cable->link(); }

SimulatedCalculator* MainWindow::virtualcalculator() const { return m_cable ? m_cable->calculator() : nullptr; }

void MainWindow::setsecondarywindows(TextEditor* text, RemoteWindow* remote, InfoWindow* info, ScreenshotWindow* scr) {
    m_textform = text;
    m_remoteform = remote;
    m_infoform = info;
    m_scrform = scr;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shown) return;
    m_shown = true;
    // Start-up work waits until the window has been drawn once.
    QTimer::singleShot(0, this, &MainWindow::startup);
}

void MainWindow::startup() {
    // Why there is no cable, said once, before a check could only report "no contact".
    if (const std::string problem = linkproblem(); !problem.empty())
        m_shell->messagebox(problem, "tessaly92", Icon::Warning, Buttons::Ok);
    if (settingspage.checkcalccheck->isChecked()) statimageClick();
    const std::string remembered = m_state.pendingerror;
    if (settingspage.updatelistcheck->isChecked() && m_startuplisting) {
        m_startuplisting();
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
    if (m_sendfilelist) {
        m_sendfilelist(paths, ask, install);
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
    m_shell->setgaugeposition(0);
    m_state.linkok = false;
    m_shell->setcursor(Cursor::Normal);
    const std::string text = std::exchange(m_state.pendingerror, std::string());
    if (!text.empty()) {
        m_shell->messagebox(text, "", Icon::Error, Buttons::Ok);
        m_shell->setstatus(text);
    } else {
        m_shell->setstatus(kCancelledText);
    }
    m_state.busy = false;
    // The file routines notice this and close their file.
    ++m_state.cancelgeneration;
}

void MainWindow::statimageClick() {
    TransferSession session(m_state, *m_shell, TransferSession::Refusal::Quiet, TransferSession::Pointer::Unchanged);
    if (!session) return;
    m_shell->setstatus(kCheckingText);
    m_shell->processmessages();
    CalculatorVersion version;
    if (identifycalculator(link(), *m_shell, version)) {
        m_shell->setstatus(kReadyText);
        modellabel->setText(QString::fromStdString(calculatorcaption(link(), version)));
        receive.fargobutton->setToolTip(link().model().runsfargo ? QStringLiteral("Put fargo to calculator")
                                                                 : QString::fromUtf8(kFargoTI92OnlyText.data()));
        statimage->setPixmap(contact->pixmap());
        m_contact = 1;
        statimage->setToolTip(shown(kReadyHint));
        m_controltimer->setInterval(kContactInterval);
    } else {
        m_shell->processmessages();
        // A chosen model that another one answers for is said, not guessed past.
        m_shell->setstatus(link().mismatch().empty() ? std::string(kNotReadyText) : link().mismatch());
        modellabel->setText(QString());
        statimage->setPixmap(nocontact->pixmap());
        m_contact = 0;
        statimage->setToolTip(shown(kNotReadyHint));
        m_controltimer->setInterval(kNoContactInterval);
    }
}

void MainWindow::controltimerTimer() {
    if (m_state.busy) {
        switch (m_contact) {
        case 0: statimage->setVisible(!statimage->isVisible()); break;
        case 1:
            statimage->setPixmap(busycontact->pixmap());
            m_contact = 2;
            m_shell->processmessages();
            break;
        default:
            statimage->setPixmap(contact->pixmap());
            m_contact = 1;
            m_shell->processmessages();
            break;
        }
        return;
    }
    if (!statimage->isVisible()) statimage->setVisible(true);
    if (!m_state.linkok && !m_state.pendingerror.empty()) cancelbtnClick();
}

void MainWindow::remotebuttonClick() {
    if (m_remoteform) m_remoteform->show();
}

void MainWindow::textbuttonClick() {
    if (m_textform) m_textform->openempty();
}

void MainWindow::collectsettings() {
    m_settings.activepage = notebook->tabText(notebook->currentIndex()).toStdString();
    m_settings.xpos = y();
    m_settings.ypos = x();
    if (m_infoform) {
        m_settings.infoxpos = m_infoform->y();
        m_settings.infoypos = m_infoform->x();
    }
    if (m_scrform) {
        m_settings.scrxpos = m_scrform->y();
        m_settings.scrypos = m_scrform->x();
    }
    if (m_remoteform) {
        m_settings.remotexpos = m_remoteform->y();
        m_settings.remoteypos = m_remoteform->x();
    }
    m_settings.width = width();
    m_settings.height = height();
    m_settings.colwidth = open.filelist->columnWidth(0);
    m_settings.storefolder = receive.storefoldercheck->isChecked();
    if (m_collectsettings) m_collectsettings(m_settings);
}

bool MainWindow::storesettings() {
    // A transfer still running ends at its next byte.
    m_state.linkok = false;
    collectsettings();
    IniFile ini = IniFile::load(m_settingsfile);
    writesettings(ini, m_settings, m_context.exefile);
    std::string error;
    if (!ini.save(m_settingsfile, &error)) std::fprintf(stderr, "tessaly92: %s\n", error.c_str());
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (storesettings()) event->accept();
    // Closing the main window ends the program, secondary windows included.
    for (QWidget* w : {static_cast<QWidget*>(m_textform), static_cast<QWidget*>(m_remoteform),
                       static_cast<QWidget*>(m_infoform), static_cast<QWidget*>(m_scrform)})
        if (w) w->hide();
}

void MainWindow::teardown() { setAcceptDrops(false); }

} // namespace tessaly::app
