#include "app/fargobinding.h"

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

#include "app/mainwindow.h"
#include "app/receivebinding.h"
#include "transfers/session.h"

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

FargoBinding::FargoBinding(MainWindow& form, ReceiveBinding& receive, const AppContext& context)
    : QObject(&form), m_form(form), m_receive(receive), m_programdir(context.programdir) {
    setObjectName("fargobinding");
    auto& sp = form.settingspage;
    connect(form.receive.fargobutton, &QPushButton::clicked, this, &FargoBinding::fargobuttonClick);
    connect(form.open.insertfargobutton, &QToolButton::clicked, this, &FargoBinding::insertfargobuttonClick);
    connect(sp.fargodirbutton, &QPushButton::clicked, this, &FargoBinding::fargodirbuttonClick);
    connect(sp.librarydirbutton, &QPushButton::clicked, this, &FargoBinding::librarydirbuttonClick);
    connect(sp.fargodiredit, &QLineEdit::editingFinished, this, &FargoBinding::fargodirChange);
    connect(sp.librarydiredit, &QLineEdit::editingFinished, this, &FargoBinding::librarydirChange);
    for (QWidget* w : std::initializer_list<QWidget*>{form.receive.fargobutton, form.open.insertfargobutton, sp.fargodirbutton,
                                                      sp.librarydirbutton, sp.fargodiredit, sp.librarydiredit})
        w->setEnabled(true);
}

FargoSetup FargoBinding::setup() const {
    const auto& sp = m_form.settingspage;
    FargoSetup s{m_programdir, m_receive.store().folder(), sp.fargodiredit->text().toStdString(),
                 m_form.settings().directory, sp.librarydiredit->text().toStdString()};
    s.comment = m_form.receive.commentedit->text().toStdString();
    return s;
}

void FargoBinding::fargobuttonClick() {
    if (!m_form.link().model().runsfargo) {
        m_form.shell().messagebox(kFargoTI92OnlyText, "", Icon::Information, Buttons::Ok);
        return;
    }
    putfargo(m_form.link(), m_form.shell(), m_receive.store(), setup(), [this] {
        return m_form.shell().messagebox(kFargoSendQuestion, "", Icon::Information, Buttons::YesNo) == Answer::Yes;
    });
    m_receive.showstore();  // the fetched memory went through the package store
}

void FargoBinding::insertfargobuttonClick() {
    // The browser's selection; without one (the browser lists nothing yet), a backup file
    // chosen in a dialog.
    QTreeWidget* list = m_form.open.filelist;
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
    // The inserter runs for seconds while the window's messages pass: no transfer starts.
    TransferSession session(s, m_form.shell());
    if (!session) return;
    const std::string why = runputfargo(s, m_programdir, setup().fargodir, backup);
    // Said either way: a failed insertion must not pass for a done one.
    if (why.empty())
        m_form.shell().setstatus(std::string(kInsertedText) + backup.filename().string() + ".");
    else
        m_form.shell().messagebox(why, "", Icon::Error, Buttons::Ok);
}

void FargoBinding::fargodirbuttonClick() {
    if (const auto chosen = m_form.shell().opendialog(
            folderdialog("Select fargo-dir", "Select Fargo-directory and press open..")))
        m_form.settingspage.fargodiredit->setText(QString::fromStdString(folderof(*chosen)));
}

void FargoBinding::librarydirbuttonClick() {
    if (const auto chosen = m_form.shell().opendialog(
            folderdialog("Select library-dir", "Select Library-directory and press open..")))
        m_form.settingspage.librarydiredit->setText(QString::fromStdString(folderof(*chosen)));
}

void FargoBinding::fargodirChange() {
    QLineEdit* e = m_form.settingspage.fargodiredit;
    e->setText(QString::fromStdString(withslash(e->text().toStdString())));
}

void FargoBinding::librarydirChange() {
    QLineEdit* e = m_form.settingspage.librarydiredit;
    e->setText(QString::fromStdString(withslash(e->text().toStdString())));
}

} // namespace tessaly::app
