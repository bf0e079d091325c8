#include "app/sendbinding.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/browserbinding.h"
#include "app/mainwindow.h"
#include "app/receivebinding.h"
#include "transfers/backup.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {
constexpr std::string_view kBackupCommentPrompt = "Please write a comment for the backup.";
}

SendBinding::SendBinding(TForm1& form, ReceiveBinding& receive) : QObject(&form), m_form(form), m_receive(receive) {
    setObjectName("sendbinding");
    auto& o = form.open;
    connect(o.button9, &QToolButton::clicked, this, &SendBinding::button9Click);
    connect(o.ToolbarButton973, &QToolButton::clicked, this, &SendBinding::ToolbarButton973Click);
    connect(o.button19, &QPushButton::clicked, this, &SendBinding::button19Click);
    connect(form.receive.button27, &QPushButton::clicked, this, &SendBinding::button27Click);
    form.receive.button27->setEnabled(true);
    bindsendfilelist();
}

void SendBinding::bindsendfilelist() {
    m_form.setsendfilelist([this](const std::vector<std::string>& paths, bool ask, bool install) {
        const std::vector<std::filesystem::path> files(paths.begin(), paths.end());
        if (sendfilelist(m_form.link(), m_form.shell(), files, ask, install, places()))
            QTimer::singleShot(0, &m_form, &QWidget::close);
    });
}

SendPlaces SendBinding::places() const {
    const std::filesystem::path folder = m_browser ? m_browser->folder() : std::filesystem::path(m_form.settings().directory);
    return SendPlaces{folder, m_form.settingspage.Edit4->text().toStdString()};
}

std::vector<std::string> SendBinding::selectedfiles() const {
    std::vector<std::string> names;
    QTreeWidget* list = m_form.open.ListView1;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected()) names.push_back(list->topLevelItem(i)->text(0).toStdString());
    return names;
}

void SendBinding::sendselected(bool install) {
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    sendselectedfiles(m_form.link(), m_form.shell(), selectedfiles(), install, places());
}

void SendBinding::button9Click() { sendselected(false); }

void SendBinding::ToolbarButton973Click() { sendselected(true); }

void SendBinding::button19Click() {
    if (m_form.state().busy) {
        m_form.shell().messagebox(kBusyText, "", Icon::None, Buttons::Ok);
        return;
    }
    const std::vector<std::string> names = selectedfiles();
    if (names.empty()) return;
    TransferSession session(m_form.state(), m_form.shell());
    const std::filesystem::path path = places().browserfolder / names.front();
    if (sendkind(path) != SendKind::Variables && sendkind(path) != SendKind::Backup) {
        m_form.shell().messagebox(kCannotHandle92AtText, "", Icon::None, Buttons::Ok);
        return;
    }
    std::vector<bool> rows;
    QTreeWidget* vars = m_form.open.ListView2;
    for (int i = 0; i < vars->topLevelItemCount(); ++i) rows.push_back(vars->topLevelItem(i)->isSelected());
    std::function<bool(std::size_t)> selected;
    if (!m_form.open.allbutton->isChecked()) selected = [rows](std::size_t i) { return i < rows.size() && rows[i]; };
    sendvariables(m_form.link(), m_form.shell(), path, selected);
}

void SendBinding::button27Click() {
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    FileDialogSpec spec;
    spec.filename = "*.92b";
    spec.filter = "TI-92 backupfiles|*.92b";
    spec.title = "Save backup as..";
    spec.defaultext = "92b";
    std::string& comment = m_receive.model().comment();
    if (comment.empty()) {
        comment = m_form.shell().inputbox("Comment", kBackupCommentPrompt, "").value_or("");
        m_form.receive.Edit1->setText(QString::fromStdString(comment));
    }
    if (const auto path = m_form.shell().savedialog(spec))
        fetchbackup(m_form.link(), m_form.shell(), m_receive.store(), *path, comment);
}

} // namespace tessaly::app
