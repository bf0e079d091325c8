#include "app/sendbinding.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/answers.h"
#include "app/browserbinding.h"
#include "app/mainwindow.h"
#include "app/receivebinding.h"
#include "app/overwriteask.h"
#include "transfers/backup.h"
#include "transfers/groupbackup.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {
constexpr std::string_view kBackupCommentPrompt = "Please write a comment for the backup.";
constexpr std::string_view kRestoreCaption = "Restore backup";

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
    m_form.setsendfilelist([this](const std::vector<std::string>& paths, bool ask, bool install) {
        const std::vector<std::filesystem::path> files(paths.begin(), paths.end());
        WindowPlanQuestions planask(m_form.shell(), m_receive.model());
        SendPlaces where = places();
        where.ask = &planask;
        WindowAnswers answers(m_form.shell());
        if (sendfilelist(m_form.link(), m_form.shell(), files, ask ? &answers : nullptr, install, where))
            QTimer::singleShot(0, &m_form, &QWidget::close);
    });
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
    // Every backup among them is asked about before anything goes: one No sends nothing.
    if (!restoreagreed(names)) return;
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    WindowPlanQuestions ask(m_form.shell(), m_receive.model());
    SendPlaces where = places();
    where.ask = &ask;
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

void SendBinding::backupbuttonClick() {
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    FileDialogSpec spec;
    spec.filename = "*.92b";
    spec.filter = "TI-92 backupfiles|*.92b";
    spec.title = "Save backup as..";
    spec.defaultext = "92b";
    // The backup's own comment: the package comment box belongs to the package on the
    // receive page, and this one is not written into it.
    // A later model's backup is every variable in one group file of its own.
    const bool image = backsupimage(m_form.link());
    if (!m_form.state().linkok) return;
    const std::string group = std::string(m_form.link().model().fileprefix) + "g";
    if (!image) spec = {.filename = "*." + group, .filter = std::string(m_form.link().model().name) + " group files|*." + group,
                        .title = "Save backup as..", .defaultext = group};
    std::string comment = m_form.shell().inputbox("Comment", kBackupCommentPrompt, "").value_or("");
    const auto path = m_form.shell().savedialog(spec);
    if (!path) return;
    if (image)
        fetchbackup(m_form.link(), m_form.shell(), m_receive.store(), *path, comment);
    else
        fetchgroupbackup(m_form.link(), m_form.shell(), m_receive.store(), *path, comment);
    m_receive.showstore();  // a backup that arrived is now the package
}

} // namespace tessaly::app
