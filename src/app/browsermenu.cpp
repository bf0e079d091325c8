// The file browser's context menu and Delete.
#include <QMenu>
#include <QToolButton>
#include <QTreeWidget>

#include "app/browserbinding.h"
#include "app/mainwindow.h"
#include "files/filename.h"
#include "transfers/groupbackup.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {
// A later model's backup is a group file of its variables (Get backup saves one); the
// TI-92's memory image goes back by Send instead.
bool groupbackupname(const std::string& name) {
    const FileName file = readfilename(name);
    return file.model && !file.model->imagebackup && file.letter == 'g';
}

std::string restorequestion(const std::string& name) {
    return "Restore the backup " + name +
           " on the calculator?\rThe calculator's variables are replaced by the backup's: every variable it holds now is "
           "lost, locked and archived ones included.";
}
} // namespace

QMenu* BrowserBinding::contextmenu() {
    auto& o = m_form.open;
    auto* menu = new QMenu(o.filelist);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const std::vector<std::string> names = selectednames();
    const bool any = !names.empty();
    menu->addAction(QStringLiteral("Send to calculator"), o.sendfilebutton, &QToolButton::click)->setEnabled(o.sendfilebutton->isEnabled());
    menu->addAction(QStringLiteral("Install"), o.installbutton, &QToolButton::click)->setEnabled(o.installbutton->isEnabled());
    menu->addAction(QStringLiteral("Restore backup"), this, &BrowserBinding::restoreselected)
        ->setEnabled(names.size() == 1 && groupbackupname(names.front()));
    menu->addAction(QStringLiteral("Description..."), this, &BrowserBinding::descriptionlabelClick)
        ->setEnabled(any && o.descriptionlabel->isEnabled());
    menu->addSeparator();
    menu->addAction(QStringLiteral("Delete"), this, &BrowserBinding::deleteselected)->setEnabled(any);
    return menu;
}

// The calculator's model is checked by the restore itself, after its ready check: a file
// of another model is refused there, before the calculator's memory is cleared.
void BrowserBinding::restoreselected() {
    const std::vector<std::string> names = selectednames();
    if (names.size() != 1 || !groupbackupname(names.front())) return;
    Shell& shell = m_form.shell();
    if (m_form.state().busy) {
        shell.messagebox(kBusyText, "", Icon::None, Buttons::Ok);
        return;
    }
    if (shell.messagebox(restorequestion(names.front()), "Restore backup", Icon::Warning, Buttons::YesNo) != Answer::Yes)
        return;
    TransferSession session(m_form.state(), shell);
    if (!session) return;
    restoregroupbackup(m_form.link(), shell, m_folder / names.front());
}

void BrowserBinding::deleteselected() {
    const std::vector<std::string> names = selectednames();
    if (names.empty()) return;
    Shell& shell = m_form.shell();
    for (const std::string& name : names) {
        if (shell.messagebox("Delete " + name + "?", "Confirm", Icon::Confirmation, Buttons::YesNo) != Answer::Yes) continue;
        if (!deleteone(name)) break;
    }
    refresh();
}

// A delete can be undone from the trash; only where there is none does a file go for good,
// and then not without asking. False when the user stopped there.
bool BrowserBinding::deleteone(const std::string& name) {
    Shell& shell = m_form.shell();
    const std::filesystem::path path = m_folder / name;
    if (movetotrash(path)) return true;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        shell.messagebox("Cannot delete " + name + ": it is gone", "", Icon::Error, Buttons::Ok);
        return true;
    }
    if (shell.messagebox(name + " cannot be moved to the trash: there is no trash here.\rDelete it for good?", "Confirm",
                         Icon::Warning, Buttons::YesNo) != Answer::Yes)
        return false;
    if (!std::filesystem::remove(path, ec))
        shell.messagebox("Cannot delete " + name + ": " + ec.message(), "", Icon::Error, Buttons::Ok);
    return true;
}

} // namespace tessaly::app
