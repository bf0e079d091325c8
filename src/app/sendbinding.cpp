#include "app/sendbinding.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/answers.h"
#include "app/browserbinding.h"
#include "app/flashask.h"
#include "app/mainwindow.h"
#include "app/receivebinding.h"
#include "app/overwriteask.h"
#include "files/filename.h"
#include "files/packagewriter.h"
#include "files/safefile.h"
#include "transfers/backup.h"
#include "transfers/groupbackup.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {
constexpr std::string_view kBackupCommentPrompt = "Please write a comment for the backup.";
constexpr std::string_view kRestoreCaption = "Restore backup";

// A pipe, a device or a folder is no file to send: reading a pipe could wait for ever.
// The first such path, said; empty when every path that exists is a plain file.
std::string notafile(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        std::error_code ec;
        const auto status = std::filesystem::status(path, ec);
        if (ec || !std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) continue;
        const char* what = std::filesystem::is_directory(status) ? "a folder"
                           : std::filesystem::is_fifo(status)    ? "a pipe"
                           : std::filesystem::is_socket(status)  ? "a socket"
                                                                 : "a device";
        return std::filesystem::path(path).filename().string() + " is " + what +
               ", not a file that can be sent. Nothing was sent.";
    }
    return {};
}

std::string restorequestion(const std::string& name) {
    return "Restore the backup " + name +
           " on the calculator?\rThe calculator's memory is replaced by the backup: every variable it holds now is lost.";
}
} // namespace

SendBinding::SendBinding(MainWindow& form, ReceiveBinding& receive) : QObject(&form), m_form(form), m_receive(receive) {
    setObjectName("sendbinding");
    auto& o = form.open;
    connect(o.sendfilebutton, &QToolButton::clicked, this, &SendBinding::sendfilebuttonClick);
    connect(o.installbutton, &QToolButton::clicked, this, &SendBinding::installbuttonClick);
    connect(o.sendvariablesbutton, &QPushButton::clicked, this, &SendBinding::sendvariablesbuttonClick);
    connect(form.receive.backupbutton, &QPushButton::clicked, this, &SendBinding::backupbuttonClick);
    form.receive.backupbutton->setEnabled(true);
    bindsendfilelist();
}

void SendBinding::bindsendfilelist() {
    connect(&m_form, &MainWindow::sendfilesasked, this, &SendBinding::sendfiles, Qt::UniqueConnection);
}

void SendBinding::sendfiles(const std::vector<std::string>& paths, bool ask, bool install) {
    // Refused before any question: a copy of it could not be saved either.
    if (const std::string why = notafile(paths); !why.empty()) {
        m_form.shell().messagebox(why, "", Icon::Error, Buttons::Ok);
        return;
    }
    const std::vector<std::filesystem::path> files(paths.begin(), paths.end());
    WindowPlanQuestions planask(m_form.shell(), m_receive.model());
    WindowFlashQuestions flashask(m_form.shell());
    SendPlaces where = places();
    where.ask = &planask;
    where.flash = &flashask;
    WindowAnswers answers(m_form.shell());
    if (sendfilelist(m_form.link(), m_form.shell(), files, ask ? &answers : nullptr, install, where))
        QTimer::singleShot(0, &m_form, &QWidget::close);
}

SendPlaces SendBinding::places() const {
    const std::filesystem::path folder = m_browser ? m_browser->folder() : std::filesystem::path(m_form.settings().directory);
    return SendPlaces{folder, m_form.settingspage.librarydiredit->text().toStdString()};
}

std::vector<std::string> SendBinding::selectedfiles() const {
    std::vector<std::string> names;
    QTreeWidget* list = m_form.open.filelist;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected()) names.push_back(list->topLevelItem(i)->text(0).toStdString());
    return names;
}

bool SendBinding::restoreagreed(const std::vector<std::string>& names) {
    for (const std::string& name : names)
        if (sendkind(name) == SendKind::Backup &&
            m_form.shell().messagebox(restorequestion(name), kRestoreCaption, Icon::Warning, Buttons::YesNo) != Answer::Yes)
            return false;
    return true;
}

void SendBinding::sendselected(bool install) {
    // Refused before any question, as the transfer itself would be.
    if (m_form.state().busy) {
        m_form.shell().messagebox(kBusyText, "", Icon::None, Buttons::Ok);
        return;
    }
    const std::vector<std::string> names = selectedfiles();
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back((places().browserfolder / name).string());
    if (const std::string why = notafile(paths); !why.empty()) {
        m_form.shell().messagebox(why, "", Icon::Error, Buttons::Ok);
        return;
    }
    // Every backup among them is asked about before anything goes: one No sends nothing.
    if (!restoreagreed(names)) return;
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    WindowPlanQuestions ask(m_form.shell(), m_receive.model());
    WindowFlashQuestions flashask(m_form.shell());
    SendPlaces where = places();
    where.ask = &ask;
    where.flash = &flashask;
    if (!sendselectedfiles(m_form.link(), m_form.shell(), names, install, where))
        m_form.shell().messagebox(kNoFileSelectedText, kNoFileSelectedCaption, Icon::Error, Buttons::Ok);
}

void SendBinding::sendfilebuttonClick() { sendselected(false); }

void SendBinding::installbuttonClick() { sendselected(true); }

void SendBinding::sendvariablesbuttonClick() {
    if (m_form.state().busy) {
        m_form.shell().messagebox(kBusyText, "", Icon::None, Buttons::Ok);
        return;
    }
    const std::vector<std::string> names = selectedfiles();
    if (names.empty()) return;
    const std::filesystem::path path = places().browserfolder / names.front();
    const SendKind kind = sendkind(path);
    if (kind == SendKind::Backup && !restoreagreed({names.front()})) return;
    TransferSession session(m_form.state(), m_form.shell());
    // A Flash file is one whole application or system: it has no variables to pick from.
    if (kind == SendKind::Flash) {
        WindowFlashQuestions flashask(m_form.shell());
        sendflashpath(m_form.link(), m_form.shell(), path, &flashask);
        return;
    }
    if (kind != SendKind::Variables && kind != SendKind::Backup) {
        m_form.shell().messagebox(kCannotHandle92AtText, "", Icon::None, Buttons::Ok);
        return;
    }
    // A backup is one whole memory image, restored as such: sent as a variable, its
    // header starts a restore on the calculator that the variable exchange breaks off.
    if (kind == SendKind::Backup) {
        sendbackup(m_form.link(), m_form.shell(), path);
        return;
    }
    std::vector<bool> rows;
    QTreeWidget* vars = m_form.open.contentlist;
    for (int i = 0; i < vars->topLevelItemCount(); ++i) rows.push_back(vars->topLevelItem(i)->isSelected());
    std::function<bool(std::size_t)> selected;
    if (!m_form.open.allbutton->isChecked()) selected = [rows](std::size_t i) { return i < rows.size() && rows[i]; };
    WindowPlanQuestions ask(m_form.shell(), m_receive.model());
    sendplanned(m_form.link(), m_form.shell(), {path, selected}, &ask);
}

// No ready check of its own: the kind of backup follows the model that answered or was
// chosen, and before either the TI-92's request finds out with the ready check it starts
// with. The comment is the backup's own: the package comment box belongs to the package on
// the receive page, and this one is not written into it.
void SendBinding::backupbuttonClick() {
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    Link& link = m_form.link();
    Shell& shell = m_form.shell();
    std::string comment = shell.inputbox("Comment", kBackupCommentPrompt, "").value_or("");
    std::optional<std::filesystem::path> path = backupfile(comment, "");
    if (!path) return;
    IncomingPackage incoming(m_receive.store());
    if (link.model().imagebackup) {
        const BackupReceived received = receivebackup(link, shell, incoming.store());
        // The package now, whether or not it can be saved there.
        if (received.received && keep(incoming)) {
            std::string error;
            if (!savepackage(*path, true, m_receive.store(), comment, shell, m_form.state(), &error, link.model())) link.faillink(error);
        }
        // A later model answered the request's ready check: its backup is a group file.
        if (!received.groupmodel || !(path = backupfile(comment, path->stem().string()))) return m_receive.showstore();
    }
    if (fetchgroupbackup(link, shell, incoming.store(), *path, comment)) keep(incoming);
    m_receive.showstore();
}

std::optional<std::filesystem::path> SendBinding::backupfile(const std::string& comment, const std::string& stem) {
    const CalculatorModel& model = m_form.link().model();
    FileDialogSpec spec{.filename = "*.92b", .filter = "TI-92 backupfiles|*.92b", .title = "Save backup as..", .defaultext = "92b"};
    if (!model.imagebackup) {
        const std::string group = groupextension(model);
        spec = {.filename = (stem.empty() ? "*" : stem) + "." + group,
                .filter = std::string(model.name) + " group files|*." + group, .title = "Save backup as..", .defaultext = group};
    }
    const std::optional<std::string> chosen = m_form.shell().savedialog(spec);
    if (!chosen) return std::nullopt;
    // Refused before anything is fetched, as the command line refuses it.
    std::string why;
    if (!savetarget(*chosen, &why) || !commenttibytes(comment, &why)) {
        m_form.link().faillink(why);
        return std::nullopt;
    }
    return std::filesystem::path(*chosen);
}

bool SendBinding::keep(IncomingPackage& incoming) {
    std::string error;
    if (incoming.keep(&error)) return true;
    m_form.link().faillink(error);
    return false;
}

} // namespace tessaly::app
