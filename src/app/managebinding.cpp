#include "app/managebinding.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

#include "app/mainwindow.h"
#include "app/qtshell.h"

namespace tessaly::app {

ManageBinding::ManageBinding(MainWindow& form, ReceivePageModel& page)
    : QObject(&form), m_form(form), m_manager(form.link(), form.shell(), page) {
    setObjectName("managebinding");
    QTreeWidget* list = form.receive.variablelist;
    using M = CalcManager;
    m_always = {
        action("deleteaction", QStringLiteral("&Delete..."), QKeySequence::Delete, &M::deleteselected),
        action("renameaction", QStringLiteral("&Rename..."), QKeySequence(Qt::Key_F2), &M::renameselected),
        action("newfolderaction", QStringLiteral("&New folder..."), QKeySequence(Qt::CTRL | Qt::Key_N), &M::newfolder),
        action("lockaction", QStringLiteral("&Lock"), {}, nullptr),
        action("unlockaction", QStringLiteral("&Unlock"), {}, nullptr),
        action("versionaction", QStringLiteral("&Version"), {}, &M::version),
    };
    connect(m_always[3], &QAction::triggered, this, [this] { m_manager.lockselected(true); });
    connect(m_always[4], &QAction::triggered, this, [this] { m_manager.lockselected(false); });
    m_archive = {action("archiveaction", QStringLiteral("&Archive"), {}, nullptr),
                 action("unarchiveaction", QStringLiteral("Unarc&hive"), {}, nullptr)};
    connect(m_archive[0], &QAction::triggered, this, [this] { m_manager.archiveselected(true); });
    connect(m_archive[1], &QAction::triggered, this, [this] { m_manager.archiveselected(false); });
    list->installEventFilter(this);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, &ManageBinding::showmenu);
    connect(form.settingspage.versionbutton, &QPushButton::clicked, this, [this] { m_manager.version(); });
}

QAction* ManageBinding::action(const char* name, const QString& text, const QKeySequence& keys,
                               void (CalcManager::*run)()) {
    auto* a = new QAction(text, m_form.receive.variablelist);
    a->setObjectName(QString::fromLatin1(name));
    // Shown in the menu; the list's own key handler does the work, so Del elsewhere
    // keeps its meaning.
    if (!keys.isEmpty()) a->setShortcut(keys);
    if (run) connect(a, &QAction::triggered, this, [this, run] { (m_manager.*run)(); });
    return a;
}

bool ManageBinding::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_form.receive.variablelist || event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
        m_manager.deleteselected();
    } else if (key->key() == Qt::Key_F2) {
        m_manager.renameselected();
    } else if (key->key() == Qt::Key_N && key->modifiers() == Qt::ControlModifier) {
        m_manager.newfolder();
    } else {
        return QObject::eventFilter(watched, event);
    }
    return true;
}

void ManageBinding::showmenu(const QPoint& at) {
    QMenu menu;
    for (QAction* a : m_always) menu.addAction(a);
    // Only a model that has an archive offers it.
    if (m_manager.hasarchive())
        for (QAction* a : m_archive) menu.addAction(a);
    menu.exec(m_form.receive.variablelist->viewport()->mapToGlobal(at));
}

} // namespace tessaly::app
