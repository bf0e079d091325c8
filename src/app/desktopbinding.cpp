#include "app/desktopbinding.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <cctype>

#include "app/mainwindow.h"
#include "app/screenshotbinding.h"
#include "link/byteorder.h"

namespace tessaly::app {

// Placeholders under reserved names until the project has its own site.
const std::array<std::string_view, 8> kAboutAddresses = {
    "https://tessaly92.example/index.html",      // Tessaly92 - homepage
    "https://tessaly92.example/qview.92p",       // Download Quick View
    "https://fargo-archive.example/",            // The Fargo Archive
    "https://tessaly92.example/cable.html",      // Build a $5-cable
    "https://tessaly92.example/distribute.html", // Distribute tessaly92
    "https://calc-archive.example/",             // Calculator program archive
    "mailto:author@tessaly92.example",           // Send email to me!
    kFCameraAddress,                             // FCamera - homepage
};

bool openaddress(Shell& shell, const QString& address, const std::function<bool(const QUrl&)>& opener) {
    const QUrl url(address);
    if (opener ? opener(url) : QDesktopServices::openUrl(url)) return true;
    const bool mail = url.scheme() == QLatin1String("mailto");
    const QString copied = mail ? url.path() : address;  // what a mail program's address field takes
    QApplication::clipboard()->setText(copied);
    shell.messagebox(std::string(mail ? "No mail program could be started. The address is on the clipboard:\r"
                                      : "No web browser could be started. The address is on the clipboard, to paste "
                                        "into one:\r") + copied.toStdString(),
                     "tessaly92", Icon::Information, Buttons::Ok);
    return false;
}

DesktopBinding::DesktopBinding(MainWindow& form, const AppContext& context)
    : QObject(&form), datahome(xdgdatahome()), m_form(form), m_program(context.exefile) {
    setObjectName("desktopbinding");
    SettingsPage& s = form.settingspage;
    s.extensionsedit->setEnabled(true);
    s.associatebutton->setEnabled(true);
    connect(s.associatebutton, &QPushButton::clicked, this, &DesktopBinding::associatebuttonClick);
    for (std::size_t i = 0; i < kAboutAddresses.size(); ++i) {
        QToolButton* b = form.about.linkbuttons[i];
        const QString address = qs(kAboutAddresses[i]);
        b->setToolTip(address);
        b->setEnabled(true);
        connect(b, &QToolButton::clicked, this, [this, address] { startbrowser(address); });
    }
}

void DesktopBinding::associatebuttonClick() {
    QLineEdit* edit = m_form.settingspage.extensionsedit;
    const ExtensionList list = parseextensions(edit->text().toStdString());
    if (qs(list.text) != edit->text()) edit->setText(qs(list.text));
    const AssociationResult r = associate(list.extensions, m_program, datahome, tools);
    std::string note;
    for (const std::string& w : r.warnings) note += (note.empty() ? "" : "; ") + w;
    if (!r.ok) {
        // "No extension" alone would hide why the ones typed were turned away.
        if (!note.empty()) note[0] = upchar(note[0]);
        m_form.shell().messagebox(note.empty() ? r.error : r.error + "\r" + note + ".", "", Icon::Error, Buttons::Ok);
        return;
    }
    // Success shows nothing; what is worth knowing goes to the status line.
    if (!note.empty()) m_form.shell().setstatus("Associated; " + note + ".");
}

void DesktopBinding::startbrowser(const QString& address) { openaddress(m_form.shell(), address, openurl); }

} // namespace tessaly::app
