#include "app/qtshell.h"

#include <algorithm>

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QProgressBar>
#include <filesystem>

namespace tessaly::app {

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString shown(std::string_view text) {
    QString s = qs(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

std::string typedline(std::string_view typed) {
    QString s = qs(typed);
    s.replace(QChar(0x03BC), QChar(0x00B5));
    s.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return s.toStdString();
}

QString oneline(std::string_view text) {
    QString s = shown(text);
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s;
}

namespace {

// "TI-92 files|*.92*|Text|*.txt" -> "TI-92 files (*.92*);;Text (*.txt)"
QString qtfilter(const std::string& filter) {
    const QStringList parts = qs(filter).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                   QLatin1Char(')');
    return out.join(QStringLiteral(";;"));
}

} // namespace

QtShell::QtShell(QLabel* status, QProgressBar* gauge, QWidget* owner)
    : m_status(status), m_gauge(gauge), m_owner(owner) {}

QtShell::~QtShell() {
    if (m_busycursor) QApplication::restoreOverrideCursor();
}

void QtShell::setstatus(std::string_view text) {
    m_statustext = text;
    m_status->setText(oneline(text));
    m_status->setToolTip(shown(text));
    if (m_answerer) m_answerer->setstatus(text);
}

void QtShell::setgaugemax(int max) {
    m_gauge->setMaximum(max > 0 ? max : 1);
    if (m_answerer) m_answerer->setgaugemax(max);
}

void QtShell::setgaugeposition(int position) {
    m_gauge->setValue(std::min(position, m_gauge->maximum()));
    if (m_answerer) m_answerer->setgaugeposition(position);
}

void QtShell::working(Work work) {
    const bool busy = work == Work::Started;
    if (busy != m_busycursor) {
        if (busy)
            QApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QApplication::restoreOverrideCursor();
        m_busycursor = busy;
    }
    if (m_answerer) m_answerer->working(work);
}

void QtShell::tell(News news, std::string_view text) {
    const Icon icon = news == News::Warning ? Icon::Warning : news == News::Information ? Icon::Information : Icon::None;
    messagebox(text, "", icon, Buttons::Ok);
}

void QtShell::refusebusy() { messagebox(kBusyText, "", Icon::None, Buttons::Ok); }

Answer QtShell::messagebox(std::string_view text, std::string_view caption, Icon icon, Buttons buttons) {
    return showbox(m_owner, text, caption, icon, buttons);
}

std::size_t QtShell::choose(std::string_view text, std::string_view caption, const std::vector<std::string>& buttons,
                            std::size_t preferred) {
    if (refusedforatransfer()) return buttons.size() - 1;
    if (m_answerer) return m_answerer->choose(text, caption, buttons, preferred);
    QMessageBox box(m_owner);
    box.setWindowTitle(caption.empty() ? QApplication::applicationName() : qs(caption));
    box.setText(shown(text));
    box.setIcon(QMessageBox::Question);
    std::vector<QAbstractButton*> made;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        QPushButton* b = box.addButton(qs(buttons[i]), i + 1 == buttons.size() ? QMessageBox::RejectRole
                                                                               : QMessageBox::AcceptRole);
        if (i == preferred) box.setDefaultButton(b);
        made.push_back(b);
    }
    box.exec();
    const auto pressed = std::find(made.begin(), made.end(), box.clickedButton());
    return pressed == made.end() ? buttons.size() - 1 : static_cast<std::size_t>(pressed - made.begin());
}

Answer QtShell::unownedmessagebox(std::string_view text, std::string_view caption, Icon icon, Buttons buttons) {
    return showbox(nullptr, text, caption, icon, buttons);
}

void QtShell::shownote(QWidget* owner, std::string_view text, std::string_view caption, Icon icon) {
    if (m_answerer) {
        m_answerer->messagebox(text, caption, icon, Buttons::Ok);
        return;
    }
    auto* box = new QMessageBox(owner);
    box->setObjectName(QStringLiteral("transfernote"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setWindowTitle(caption.empty() ? QApplication::applicationName() : qs(caption));
    box->setText(shown(text));
    box->setIcon(icon == Icon::Error     ? QMessageBox::Critical
                 : icon == Icon::Warning ? QMessageBox::Warning
                 : icon == Icon::None    ? QMessageBox::NoIcon
                                         : QMessageBox::Information);
    box->setStandardButtons(QMessageBox::Ok);
    box->show();
}

bool QtShell::refusedforatransfer() {
    if (!holdsatransfer()) return false;
    shownote(m_owner, kAfterTransferText, "", Icon::Information);
    return true;
}

Answer QtShell::showbox(QWidget* owner, std::string_view text, std::string_view caption, Icon icon, Buttons buttons) {
    if (holdsatransfer() && buttons == Buttons::Ok) {
        shownote(owner, text, caption, icon);
        return Answer::Ok;
    }
    if (refusedforatransfer()) return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    if (m_answerer) return m_answerer->messagebox(text, caption, icon, buttons);
    QMessageBox box(owner);
    box.setWindowTitle(caption.empty() ? QApplication::applicationName() : qs(caption));
    box.setText(shown(text));
    switch (icon) {
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    case Icon::Confirmation: box.setIcon(QMessageBox::Question); break;
    case Icon::None: break;
    }
    switch (buttons) {
    case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        // A warning asks before something that cannot be undone (a file or the
        // calculator's memory replaced): Enter alone does not do it.
        if (icon == Icon::Warning) box.setDefaultButton(QMessageBox::No);
        break;
    case Buttons::YesNoCancel: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
}

std::optional<std::string> QtShell::inputbox(std::string_view title, std::string_view prompt, std::string_view initial) {
    if (refusedforatransfer()) return std::nullopt;
    if (m_answerer) {
        const auto answer = m_answerer->inputbox(title, prompt, initial);
        return answer ? std::optional(typedline(*answer)) : std::nullopt;
    }
    bool ok = false;
    const QString answer = QInputDialog::getText(m_owner, qs(title), shown(prompt), QLineEdit::Normal, qs(initial), &ok);
    if (!ok) return std::nullopt;
    return typedline(answer.toStdString());
}

namespace {
// The kind of file a dialog is for: its default extension, else its filter's first pattern.
std::string dialogkind(const FileDialogSpec& spec) {
    if (spec.folder) return {};
    std::string kind = spec.defaultext;
    if (kind.empty() || kind == "*") {
        const auto bar = spec.filter.find('|');
        kind = bar == std::string::npos ? std::string() : spec.filter.substr(bar + 1, spec.filter.find_first_of("|;", bar + 1) - bar - 1);
    }
    return kind.starts_with("*.") ? kind.substr(2) : kind;
}
} // namespace

FileDialogSpec QtShell::placed(const FileDialogSpec& spec) const {
    FileDialogSpec out = spec;
    if (!out.startfolder.empty()) return out;
    const std::string kind = dialogkind(spec);
    if (m_folders && !kind.empty())
        if (const auto it = m_folders->find(kind); it != m_folders->end()) out.startfolder = it->second;
    if (out.startfolder.empty() && m_fallbackfolder) out.startfolder = m_fallbackfolder();
    return out;
}

void QtShell::remember(const FileDialogSpec& spec, const std::optional<std::string>& chosen) {
    const std::string kind = dialogkind(spec);
    if (chosen && m_folders && !kind.empty()) (*m_folders)[kind] = std::filesystem::path(*chosen).parent_path().string();
}

std::optional<std::string> QtShell::savedialog(const FileDialogSpec& spec) {
    // The question is the window's own rather than the file dialog's, so it is asked
    // the same way whoever answers the dialog; No goes back to the dialog.
    if (refusedforatransfer()) return std::nullopt;
    FileDialogSpec shown = placed(spec);
    for (;;) {
        std::optional<std::string> path = m_answerer ? m_answerer->savedialog(shown) : runsavedialog(shown);
        remember(spec, path);
        if (!path || !spec.overwriteprompt) return path;
        std::error_code ec;
        const std::filesystem::path chosen(*path);
        if (!std::filesystem::exists(chosen, ec) || std::filesystem::is_directory(chosen, ec)) return path;
        if (showbox(m_owner, chosen.filename().string() + std::string(kReplaceQuestion), kReplaceCaption,
                    Icon::Warning, Buttons::YesNo) == Answer::Yes)
            return path;
        shown.filename = *path;
    }
}

std::optional<std::string> QtShell::runsavedialog(const FileDialogSpec& spec) {
    QFileDialog dialog(m_owner, qs(spec.title), qs(spec.startfolder), qtfilter(spec.filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(qs(spec.defaultext));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!spec.filename.empty()) dialog.selectFile(qs(spec.filename));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> QtShell::opendialog(const FileDialogSpec& asked) {
    if (refusedforatransfer()) return std::nullopt;
    const FileDialogSpec spec = placed(asked);
    std::optional<std::string> chosen = m_answerer ? m_answerer->opendialog(spec) : runopendialog(spec);
    remember(spec, chosen);
    return chosen;
}

std::optional<std::string> QtShell::runopendialog(const FileDialogSpec& spec) {
    QFileDialog dialog(m_owner, qs(spec.title), qs(spec.startfolder), qtfilter(spec.filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(spec.folder ? QFileDialog::Directory : QFileDialog::ExistingFile);
    if (!spec.defaultext.empty() && !spec.folder) dialog.setDefaultSuffix(qs(spec.defaultext));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

void QtShell::processmessages() {
    ++m_pumping;
    QCoreApplication::processEvents();
    --m_pumping;
    if (m_answerer) m_answerer->processmessages();
}

void QtShell::fileschanged(const std::filesystem::path& folder) {
    if (m_refresh) m_refresh();
    if (m_answerer) m_answerer->fileschanged(folder);
}

} // namespace tessaly::app
