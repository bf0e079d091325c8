// The file browser's context menu and Delete.
#include <QMenu>
#include <QToolButton>
#include <QTreeWidget>

#include "app/browserbinding.h"
#include "app/mainwindow.h"

namespace tessaly::app {

QMenu* BrowserBinding::contextmenu() {
    auto& o = m_form.open;
    auto* menu = new QMenu(o.filelist);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool any = !selectednames().empty();
    menu->addAction(QStringLiteral("Send to calculator"), o.sendfilebutton, &QToolButton::click)->setEnabled(o.sendfilebutton->isEnabled());
    menu->addAction(QStringLiteral("Install"), o.installbutton, &QToolButton::click)->setEnabled(o.installbutton->isEnabled());
    menu->addAction(QStringLiteral("Description..."), this, &BrowserBinding::descriptionlabelClick)
        ->setEnabled(any && o.descriptionlabel->isEnabled());
    menu->addSeparator();
    menu->addAction(QStringLiteral("Delete"), this, &BrowserBinding::deleteselected)->setEnabled(any);
    return menu;
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
