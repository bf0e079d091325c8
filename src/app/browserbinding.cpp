#include "app/browserbinding.h"

#include <QFile>
#include <QMenu>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStorageInfo>
#include <QStringDecoder>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <cstdio>

#include "app/browsericons.h"
#include "app/mainwindow.h"
#include "app/windows.h"
#include "files/browser.h"
#include "files/fileinfo.h"
#include "files/safefile.h"
#include "files/ticharset.h"

namespace tessaly::app {

namespace {

constexpr std::string_view kNewDescriptionTitle = "New description!";
constexpr std::string_view kDescriptionHint = "Description in file";
constexpr std::size_t kFillBatch = 200;            // rows added between two looks at the window's events
constexpr std::size_t kInfoTextLimit = 1024 * 1024;  // a companion note longer than this is cut

QString fromti(std::string_view bytes) { return qs(tibytes_to_utf8(bytes)); }

QTreeWidgetItem* rowitem(const BrowserRow& row) {
    const bool textfile = filekind(row.name) == FileKind::Text;
    const QString description = row.damaged || textfile ? qs(row.description) : fromti(row.description);
    auto* item = new QTreeWidgetItem(QStringList{qs(row.name), description});
    item->setIcon(0, browsericon(row.icon));
    return item;
}

std::string readnote(const std::filesystem::path& path) {
    std::FILE* fp = openregular(path, nullptr);
    if (!fp) return {};
    std::string text(kInfoTextLimit, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), fp));
    std::fclose(fp);
    return text;
}

// Notes are UTF-8 text; one that is not (written in a one-byte code page) is
// shown as Latin-1 rather than with replacement marks.
QString notetext(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return utf8.hasError() ? QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())) : text;
}

// The list's first mask, the TI-92's files and texts, with the later models' files after it.
std::string startmask() {
    std::string_view later = kTiPattern;
    if (later.starts_with("*.92*;")) later.remove_prefix(6);
    return "*.92*;*.txt;" + std::string(later);
}

} // namespace

BrowserBinding::BrowserBinding(MainWindow& form, InfoWindow* info, ScreenshotWindow* scr)
    : QObject(&form), m_form(form), m_info(info), m_scr(scr) {
    setObjectName("browserbinding");
    auto& o = form.open;
    for (QLabel* l : {o.countlabel, o.sizelabel, static_cast<QLabel*>(o.descriptionlabel)}) l->setTextFormat(Qt::PlainText);
    for (QWidget* w : std::initializer_list<QWidget*>{o.drivebox, o.directorytree, o.filelist, o.contentlist,
                                                      o.allbutton, o.refreshbutton})
        w->setEnabled(true);
    o.filelist->installEventFilter(this);
    o.filelist->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(o.filelist, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { contextmenu()->popup(m_form.open.filelist->viewport()->mapToGlobal(at)); });
    movetotrash = [](const std::filesystem::path& path) { return QFile::moveToTrash(QString::fromStdString(path.string())); };

    m_folders = new QFileSystemModel(this);
    m_folders->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_folders->setRootPath(QStringLiteral("/"));
    o.directorytree->setModel(m_folders);
    for (int c = 1; c < m_folders->columnCount(); ++c) o.directorytree->hideColumn(c);
    connect(o.directorytree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) setfolder(m_folders->filePath(current).toStdString());
            });
    filldrives();
    connect(o.drivebox, &QComboBox::activated, this, &BrowserBinding::driveboxChange);

    connect(o.filelist, &QTreeWidget::itemSelectionChanged, this, &BrowserBinding::filelistChange);
    connect(o.contentlist, &QTreeWidget::itemSelectionChanged, this, &BrowserBinding::contentlistChange);
    connect(o.descriptionlabel, &ClickLabel::clicked, this, &BrowserBinding::descriptionlabelClick);
    connect(o.refreshbutton, &QToolButton::clicked, this, &BrowserBinding::refreshbuttonClick);
    auto& sp = form.settingspage;
    connect(sp.txtfilescheck, &QCheckBox::toggled, this, &BrowserBinding::filetypesChange);
    connect(sp.ti92filescheck, &QCheckBox::toggled, this, &BrowserBinding::filetypesChange);
    // A saved package or backup shows in the list at once.
    form.shell().setfilelistrefresher([this] { refresh(); });

    // Both boxes on, as they start, keep the list's first mask as it was made; a box that is
    // off makes the mask as a click on it would.
    const bool both = sp.txtfilescheck->isChecked() && sp.ti92filescheck->isChecked();
    m_mask = both ? startmask() : browsermask(sp.txtfilescheck->isChecked(), sp.ti92filescheck->isChecked());
    std::error_code ec;
    std::filesystem::path start = form.settings().directory;
    if (start.empty() || !std::filesystem::is_directory(start, ec)) start = QDir::homePath().toStdString();
    setfolder(start, false);
}

BrowserBinding::~BrowserBinding() { m_form.shell().setfilelistrefresher({}); }

void BrowserBinding::filldrives() {
    QComboBox* drives = m_form.open.drivebox;
    drives->clear();
    QStringList places{QStringLiteral("/"), QDir::homePath()};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady() && volume.device().startsWith("/dev/") && !places.contains(volume.rootPath()))
            places.push_back(volume.rootPath());
    for (const QString& place : places) drives->addItem(place, place);
}

void BrowserBinding::driveboxChange(int index) {
    if (index < 0) return;
    setfolder(m_form.open.drivebox->itemData(index).toString().toStdString());
}

void BrowserBinding::setfolder(const std::filesystem::path& folder, bool remember) {
    const std::filesystem::path normal = folder.lexically_normal();
    std::filesystem::path clean = normal.has_filename() || normal == normal.root_path() ? normal : normal.parent_path();
    const bool same = clean == m_folder;
    m_folder = clean;
    if (remember) m_form.settings().directory = clean.string();

    // The drive is the longest place in the list that holds the folder.
    QComboBox* drives = m_form.open.drivebox;
    const QString path = QString::fromStdString(clean.string());
    int best = -1;
    qsizetype length = -1;
    for (int i = 0; i < drives->count(); ++i) {
        const QString place = drives->itemData(i).toString();
        const bool holds = place == QStringLiteral("/") || path == place || path.startsWith(place + QLatin1Char('/'));
        if (holds && place.size() > length) {
            best = i;
            length = place.size();
        }
    }
    if (best >= 0) {
        const QSignalBlocker block(drives);
        drives->setCurrentIndex(best);
        if (remember) m_form.settings().drive = drives->itemData(best).toString().toStdString();
        m_form.open.directorytree->setRootIndex(m_folders->index(drives->itemData(best).toString()));
    }
    QTreeView* tree = m_form.open.directorytree;
    const QModelIndex index = m_folders->index(path);
    if (index.isValid() && tree->currentIndex() != index) {
        const QSignalBlocker block(tree->selectionModel());
        tree->setCurrentIndex(index);
        tree->scrollTo(index);
    }
    if (!same || m_form.open.filenames->count() == 0) refresh();
}

void BrowserBinding::refresh() {
    std::string why;
    const std::vector<std::string> names = listfolder(m_folder, m_mask, &why);
    if (!why.empty()) m_form.shell().setstatus(why);
    QListWidget* hidden = m_form.open.filenames;
    hidden->clear();
    for (const std::string& name : names) hidden->addItem(qs(name));
    filenamesChange();
}

void BrowserBinding::filenamesChange() {
    const unsigned generation = ++m_generation;
    QTreeWidget* list = m_form.open.filelist;
    m_rebuilding = true;
    list->clear();
    filelistChange();
    const QListWidget* hidden = m_form.open.filenames;
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(hidden->count()));
    for (int i = 0; i < hidden->count(); ++i) names.push_back(hidden->item(i)->text().toStdString());
    const bool descriptions = m_form.settingspage.descriptionscheck->isChecked();
    QList<QTreeWidgetItem*> batch;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (auto row = browserrow(m_folder, names[i], descriptions)) batch.push_back(rowitem(*row));
        if (batch.size() == static_cast<qsizetype>(kFillBatch)) {
            list->addTopLevelItems(batch);
            batch.clear();
            // A folder of thousands of files fills while the window goes on answering; a
            // newer rebuild started meanwhile has taken over the list.
            m_form.shell().processmessages();
            if (generation != m_generation) return;
        }
    }
    list->addTopLevelItems(batch);
    m_rebuilding = false;
}

void BrowserBinding::refreshbuttonClick() {
    m_form.shell().working(Work::Started);
    refresh();
    m_form.shell().working(Work::Ended);
}

void BrowserBinding::filetypesChange() {
    auto& sp = m_form.settingspage;
    const std::string mask = browsermask(sp.txtfilescheck->isChecked(), sp.ti92filescheck->isChecked());
    if (mask == m_mask) return;
    m_mask = mask;
    refresh();
}

std::vector<std::string> BrowserBinding::selectednames() const {
    std::vector<std::string> names;
    const QTreeWidget* list = m_form.open.filelist;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected()) names.push_back(list->topLevelItem(i)->text(0).toStdString());
    return names;
}

void BrowserBinding::selectname(const std::string& name) {
    QTreeWidget* list = m_form.open.filelist;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0).toStdString() == name) {
            list->setCurrentItem(list->topLevelItem(i));
            return;
        }
}

void BrowserBinding::filelistChange() {
    auto& o = m_form.open;
    const std::vector<std::string> names = selectednames();
    std::error_code ec;
    // The information follows the selection whether or not the list has the focus: a file
    // selected for the user (after a save, a description edit) shows what it holds too.
    // Rows appearing while the list is rebuilt, and any selection during a transfer,
    // read nothing.
    if (!names.empty() && !m_rebuilding && !m_form.state().busy && std::filesystem::exists(m_folder / names.front(), ec)) {
        showfileinfo(names.front());
    } else {
        o.contentlist->clear();
        if (names.empty()) {
            // No file, no information: a rebuilt list must not show the file before's.
            o.countlabel->setText(QStringLiteral("-"));
            o.sizelabel->setText(QStringLiteral("-"));
            o.descriptionlabel->setText(QStringLiteral("none selected"));
            o.sendfilebutton->setEnabled(false);
            o.installbutton->setEnabled(false);
            o.convertbutton->setEnabled(false);
        }
    }
    o.sendvariablesbutton->setEnabled(o.sendfilebutton->isEnabled());
    contentlistChange();
}

void BrowserBinding::clearinfo() {
    auto& o = m_form.open;
    o.contentlist->clear();
    o.descriptionlabel->setEnabled(false);
    o.installbutton->setEnabled(false);
}

void BrowserBinding::showcompanions(const std::string& name) {
    const Companions companions = findcompanions(m_folder, name);
    auto& sp = m_form.settingspage;
    QTreeWidget* list = m_form.open.filelist;
    if (m_scr) {
        QPixmap picture;
        if (companions.screenshot && sp.screenshotcheck->isChecked() && picture.load(QString::fromStdString(companions.screenshot->string()))) {
            m_scr->screenpicture->setPixmap(picture);
            m_scr->show();
            list->setFocus();
        } else {
            m_scr->hide();
        }
    }
    if (m_info) {
        if (companions.text && sp.textinfocheck->isChecked()) {
            m_info->infotext->setPlainText(notetext(readnote(*companions.text)));
            m_info->show();
            list->setFocus();
        } else {
            m_info->hide();
        }
    }
}

void BrowserBinding::showfileinfo(const std::string& name) {
    auto& o = m_form.open;
    clearinfo();
    const FileKind kind = filekind(name);
    if (kind == FileKind::TiFile) showcompanions(name);
    const FileInfo info = readfileinfo(m_folder / name);
    o.countlabel->setText(qs(info.entries));
    o.sizelabel->setText(qs(info.length));
    switch (kind) {
    case FileKind::TiFile:
        o.descriptionlabel->setText(info.error.empty() ? fromti(info.description) : qs(info.description));
        o.descriptionlabel->setToolTip(info.error.empty() ? qs(kDescriptionHint) : qs(kDescriptionHint) + "\n" + qs(info.error));
        break;
    case FileKind::Text:
        o.descriptionlabel->setText(shown(info.description));
        o.descriptionlabel->setToolTip(shown(info.descriptionhint));
        break;
    case FileKind::Uue: o.descriptionlabel->setText(qs(info.description)); break;
    case FileKind::Flash:
        o.descriptionlabel->setText(qs(info.description));
        o.descriptionlabel->setToolTip(qs(info.error));
        break;
    }
    o.descriptionlabel->setEnabled(info.describable && kind == FileKind::TiFile);
    o.sendfilebutton->setEnabled(info.sendable);
    o.installbutton->setEnabled(info.fargoprogram);
    o.convertbutton->setEnabled(info.textfile);
    for (const VariableRow& row : info.rows)
        o.contentlist->addTopLevelItem(new QTreeWidgetItem(QStringList{fromti(row.caption), qs(row.type)}));
}

void BrowserBinding::contentlistChange() {
    auto& o = m_form.open;
    std::vector<std::string> types;
    for (int i = 0; i < o.contentlist->topLevelItemCount(); ++i)
        if (o.contentlist->topLevelItem(i)->isSelected()) types.push_back(o.contentlist->topLevelItem(i)->text(1).toStdString());
    const VariableSelection s = variableselection(types);
    o.selbutton->setEnabled(s.selenabled);
    if (s.forceall) o.allbutton->setChecked(true);
    o.viewtextbutton->setEnabled(s.viewtext);
}

void BrowserBinding::descriptionlabelClick() {
    const std::vector<std::string> names = selectednames();
    if (names.empty()) return;
    const std::string& name = names.front();
    Shell& shell = m_form.shell();
    const std::filesystem::path path = m_folder / name;
    std::string why;
    auto refused = [&] {
        shell.messagebox("The description of " + name + " cannot be changed: " + why + ".\rThe file is unchanged.", "",
                         Icon::Error, Buttons::Ok);
    };
    // Asked before a description is typed in vain.
    if (!describable(path, &why)) return refused();
    // The editor starts from the description the file has, so a small change is a small edit.
    const auto row = browserrow(m_folder, name, true);
    const std::string current = row && !row->damaged ? tibytes_to_utf8(row->description) : std::string();
    const auto answer = shell.inputbox(kNewDescriptionTitle, "Please enter a description for the file <" + name + ">", current);
    if (!answer) return;
    bool cut = false;
    const auto bytes = utf8_to_tibytes(*answer, kDescriptionLength, &why, &cut);
    const DescriptionWrite written = bytes ? writedescription(path, *bytes, &why) : DescriptionWrite::Failed;
    if (written == DescriptionWrite::Refused) return refused();
    if (written == DescriptionWrite::Failed) {
        shell.messagebox(why + "; the file is unchanged.", "", Icon::Error, Buttons::Ok);
        return;
    }
    refresh();
    selectname(name);
    if (cut)
        shell.setstatus("The description of " + name + " was cut to its first " + std::to_string(kDescriptionLength) +
                        " characters, all a file holds.");
}

bool BrowserBinding::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_form.open.filelist && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete) {
            deleteselected();
            return true;
        }
        if (key == Qt::Key_F2) {
            if (m_form.open.descriptionlabel->isEnabled()) descriptionlabelClick();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tessaly::app
