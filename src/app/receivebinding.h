#pragma once
#include <QObject>
#include <memory>

#include "files/packagestore.h"
#include "app/receivepage.h"

class QDialog;
class QListWidget;
class QToolButton;

namespace tessaly::app {

class MainWindow;
struct AppContext;

// Gives the receive page its behaviour: the widgets mirror the page model, and what the
// user does to them goes to the model's handlers. Also binds Save to file, the start-up
// listing and, when a virtual TI-92 is attached, the control that makes it send
// variables of its own accord.
class ReceiveBinding : public QObject {
    Q_OBJECT
public:
    ReceiveBinding(MainWindow& form, const AppContext& context);
    ~ReceiveBinding() override;

    ReceivePageModel& model() { return m_model; }
    const PackageStore& store() const { return m_store; }
    // Something else than a receive may have filled the package store (a backup, a
    // converted text): the received view shows what it holds now.
    void showstore() { m_model.showstore(); }

public slots:
    void savebuttonClick();
    // Opens the virtual calculator's send control.
    void vcalcsendClick();
    // The demo control names the calculator chosen or answering.
    void nametexts();

private:
    void changed(ReceivePageModel::Change change);
    void showrows();
    void showcontrols();
    void addvcalcbutton();
    void takeselection();
    void sendfromvirtualcalc();

    MainWindow& m_form;
    PackageStore m_store;
    ReceivePageModel m_model;
    QToolButton* m_vcalcbutton = nullptr;
    QDialog* m_vcalcdialog = nullptr;
    QListWidget* m_vcalclist = nullptr;
    bool m_syncing = false;  // the widgets are being set from the model
};

} // namespace tessaly::app
