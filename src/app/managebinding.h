#pragma once
#include <QObject>

#include "app/calcmanage.h"

class QAction;
class QPoint;

namespace tessaly::app {

class MainWindow;

// The calculator list's context menu and keys (Del deletes, F2 renames, Ctrl+N makes a
// folder), and the Settings page's Version button, all run by a CalcManager.
class ManageBinding : public QObject {
public:
    ManageBinding(MainWindow& form, ReceivePageModel& page);
    CalcManager& manager() { return m_manager; }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* action(const char* name, const QString& text, const QKeySequence& keys, void (CalcManager::*run)());
    void showmenu(const QPoint& at);

    MainWindow& m_form;
    CalcManager m_manager;
    std::vector<QAction*> m_always, m_archive;
};

} // namespace tessaly::app
