#include "app/fargobinding.h"

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include "app/mainwindow.h"
#include "app/receivebinding.h"

namespace tessaly::app {

namespace {
constexpr std::string_view kInsertedText = "Fargo inserted into ";

FileDialogSpec folderdialog(const char* name, const char* title) {
    FileDialogSpec spec;
    spec.defaultext = "*";
    spec.filename = name;
    spec.filter = name;
    spec.title = title;
    spec.folder = true;
    return spec;
}

// The folder part of what the dialog returned, with its trailing "/".
std::string folderof(const std::string& chosen) {
    std::error_code ec;
    std::filesystem::path p(chosen);
    if (!std::filesystem::is_directory(p, ec)) p = p.parent_path();
    return withslash(p.string());
}
} // namespace

std::string withslash(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') return folder;
    return folder + "/";
}

FargoBinding::FargoBinding(TForm1& form, ReceiveBinding& receive, const AppContext& context)
    : QObject(&form), m_form(form), m_receive(receive), m_programdir(context.programdir) {
    setObjectName("fargobinding");
    auto& sp = form.settingspage;
    connect(form.receive.button12, &QPushButton::clicked, this, &FargoBinding::button12Click);
    connect(form.open.button10, &QToolButton::clicked, this, &FargoBinding::button10Click);
    connect(sp.Button23, &QPushButton::clicked, this, &FargoBinding::Button23Click);
    connect(sp.Button4, &QPushButton::clicked, this, &FargoBinding::Button4Click);
    connect(sp.Edit2, &QLineEdit::editingFinished, this, &FargoBinding::Edit2Exit);
    connect(sp.Edit4, &QLineEdit::editingFinished, this, &FargoBinding::Edit4Exit);
    for (QWidget* w : std::initializer_list<QWidget*>{form.receive.button12, form.open.button10, sp.Button23,
                                                      sp.Button4, sp.Edit2, sp.Edit4})
        w->setEnabled(true);
}

FargoSetup FargoBinding::setup() const {
    const auto& sp = m_form.settingspage;
    return FargoSetup{m_programdir, m_receive.store().folder(), sp.Edit2->text().toStdString(),
                      m_form.settings().directory, sp.Edit4->text().toStdString()};
}

void FargoBinding::button12Click() {
    putfargo(m_form.link(), m_form.shell(), m_receive.store(), setup(), [this] {
        return m_form.shell().messagebox(kFargoSendQuestion, "", Icon::Information, Buttons::YesNo) == Answer::Yes;
    });
    m_receive.showstore();  // the fetched memory went through the package store
}

void FargoBinding::button10Click() {
    // The browser's selection; without one (the browser lists nothing yet), a backup file
    // chosen in a dialog.
    QTreeWidget* list = m_form.open.ListView1;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected()) {
            insertfargo(std::filesystem::path(m_form.settings().directory) / list->topLevelItem(i)->text(0).toStdString());
            return;
        }
    FileDialogSpec spec;
    spec.filename = "*.92b";
    spec.filter = "TI-92 backupfiles|*.92b";
    spec.title = "Insert Fargo to a backup-file";
    spec.defaultext = "92b";
    if (const auto path = m_form.shell().opendialog(spec)) insertfargo(*path);
}

void FargoBinding::insertfargo(const std::filesystem::path& backup) {
    TransferState& s = m_form.state();
    if (s.busy) {
        m_form.shell().messagebox(kBusyText, "", Icon::None, Buttons::Ok);
        return;
    }
    m_form.shell().setcursor(Cursor::Busy);
    s.linkok = true;
    const std::string why = runputfargo(s, m_programdir, setup().fargodir, backup);
    m_form.shell().setcursor(Cursor::Normal);
    // The Windows version said nothing either way; a failed insertion is no longer silent.
    if (why.empty())
        m_form.shell().setstatus(std::string(kInsertedText) + backup.filename().string() + ".");
    else
        m_form.shell().messagebox(why, "", Icon::Error, Buttons::Ok);
}

void FargoBinding::Button23Click() {
    if (const auto chosen = m_form.shell().opendialog(
            folderdialog("Select fargo-dir", "Select Fargo-directory and press open..")))
        m_form.settingspage.Edit2->setText(QString::fromStdString(folderof(*chosen)));
}

void FargoBinding::Button4Click() {
    if (const auto chosen = m_form.shell().opendialog(
            folderdialog("Select library-dir", "Select Library-directory and press open..")))
        m_form.settingspage.Edit4->setText(QString::fromStdString(folderof(*chosen)));
}

void FargoBinding::Edit2Exit() {
    QLineEdit* e = m_form.settingspage.Edit2;
    e->setText(QString::fromStdString(withslash(e->text().toStdString())));
}

void FargoBinding::Edit4Exit() {
    QLineEdit* e = m_form.settingspage.Edit4;
    e->setText(QString::fromStdString(withslash(e->text().toStdString())));
}

} // namespace tessaly::app
