#include "app/receivebinding.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/answers.h"
#include "app/mainwindow.h"
#include "app/managebinding.h"
#include "app/qtshell.h"
#include "files/packagewriter.h"
#include "files/ticharset.h"
#include "link/simulatedcalculator.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {
// Names are the calculator's bytes, in its own character set.
QString fromti(const std::string& bytes) { return QString::fromStdString(tibytes_to_utf8(bytes)); }

QTreeWidgetItem* rowitem(const CalculatorModel& model, const ListRow& row) {
    // Locked and archived variables are told apart: the calculator neither overwrites nor deletes them.
    std::string type = typetext(model, row);
    if (const std::string_view attribute = attributetext(row); !attribute.empty())
        type += " (" + std::string(attribute) + ")";
    auto* item = new QTreeWidgetItem(QStringList{fromti(row.caption), QString::fromStdString(type),
                                                 QString::fromStdString(sizetext(row))});
    // An empty folder is listed so that it is seen; it holds nothing to receive.
    if (isfolderrow(model, row)) item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
    return item;
}
} // namespace

ReceiveBinding::ReceiveBinding(MainWindow& form, const AppContext& context)
    : QObject(&form),
      m_form(form),
      m_store(context.storefolder),
      m_model(form.link(), form.shell(), m_store) {
    setObjectName("receivebinding");
    auto& r = form.receive;
    m_model.setstorefolder(r.storefoldercheck->isChecked());
    m_model.setmanual(r.manual->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{r.manual, r.commentedit, r.calculatorbutton, r.receivedbutton})
        w->setEnabled(true);
    m_model.onchange = [this](ReceivePageModel::Change c) { changed(c); };

    connect(r.updatebutton, &QPushButton::clicked, this, [this] { m_model.updatedirectorylist(); });
    connect(r.receivebutton, &QPushButton::clicked, this, [this] { m_model.receiveselected(); });
    connect(r.savebutton, &QPushButton::clicked, this, &ReceiveBinding::savebuttonClick);
    // A transfer fills the view that showed when it began and reads its marked rows, so
    // a toggle clicked meanwhile springs back.
    connect(r.calculatorbutton, &QToolButton::clicked, this, [this] {
        if (m_form.state().busy) return showcontrols();
        m_model.setcalculatordown(m_form.receive.calculatorbutton->isChecked());
        m_model.showcalculator();
    });
    connect(r.receivedbutton, &QToolButton::clicked, this, [this] {
        if (m_form.state().busy) return showcontrols();
        m_model.setcalculatordown(!m_form.receive.receivedbutton->isChecked());
        m_model.showreceived();
    });
    connect(r.manual, &QCheckBox::clicked, this, [this](bool checked) {
        m_model.setmanual(checked);
        m_model.optionclicked();
    });
    connect(r.storefoldercheck, &QCheckBox::clicked, this, [this](bool checked) {
        m_model.setstorefolder(checked);
        m_model.optionclicked();
    });
    connect(r.variablelist, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (m_syncing) return;
        takeselection();
        m_model.selectionchanged();
    });
    connect(r.commentedit, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_model.setcomment(typedline(text.toStdString()));
        // The box stops at what a file holds; said, so that a paste cut short is noticed.
        if (text.size() >= m_form.receive.commentedit->maxLength())
            m_form.shell().setstatus("A comment holds at most " + std::to_string(m_form.receive.commentedit->maxLength()) +
                                     " characters.");
    });

    connect(&form, &MainWindow::startuplistingdue, this, [this] { m_model.updatedirectorylist(); });
    new ManageBinding(form, m_model);
    addvcalcbutton();
    showcontrols();
}

// The demo control: only with a virtual calculator at the other end of the cable.
void ReceiveBinding::addvcalcbutton() {
    auto& r = m_form.receive;
    m_vcalcbutton = new QToolButton;
    m_vcalcbutton->setObjectName("vcalcsend");
    nametexts();
    connect(&m_form, &MainWindow::calculatorchanged, this, &ReceiveBinding::nametexts);
    if (auto* side = r.manual->parentWidget()->layout()) {
        // Beside "Select on calc", which it goes with.
        for (QLayout* l : side->findChildren<QLayout*>()) {
            const int at = l->indexOf(r.manual);
            if (at >= 0) {
                if (auto* box = qobject_cast<QBoxLayout*>(l)) box->insertWidget(at + 1, m_vcalcbutton);
                break;
            }
        }
    }
    m_vcalcbutton->setVisible(m_form.virtualcalculator() != nullptr);
    connect(m_vcalcbutton, &QToolButton::clicked, this, &ReceiveBinding::vcalcsendClick);
}

void ReceiveBinding::nametexts() {
    const QString name = QString::fromStdString(m_form.calculatorname());
    m_vcalcbutton->setText(QStringLiteral("Virtual %1 sends...").arg(name));
    m_vcalcbutton->setToolTip(
        QStringLiteral("Let the virtual %1 send variables from its own menu, as a user at the calculator would").arg(name));
    if (m_vcalcdialog) m_vcalcdialog->setWindowTitle(QStringLiteral("Virtual %1").arg(name));
}

ReceiveBinding::~ReceiveBinding() { m_model.onchange = nullptr; }

void ReceiveBinding::changed(ReceivePageModel::Change change) {
    QTreeWidget* list = m_form.receive.variablelist;
    m_syncing = true;
    switch (change) {
    case ReceivePageModel::Change::Rows:
        showrows();
        break;
    case ReceivePageModel::Change::RowAdded:
        list->addTopLevelItem(rowitem(m_model.calculatormodel(), m_model.rows().back()));
        break;
    case ReceivePageModel::Change::RowRemoved:
        if (list->topLevelItemCount() > 0) delete list->takeTopLevelItem(list->topLevelItemCount() - 1);
        break;
    case ReceivePageModel::Change::Controls:
        showcontrols();
        break;
    }
    m_syncing = false;
}

void ReceiveBinding::showrows() {
    QTreeWidget* list = m_form.receive.variablelist;
    list->clear();
    for (const ListRow& row : m_model.rows()) {
        QTreeWidgetItem* item = rowitem(m_model.calculatormodel(), row);
        list->addTopLevelItem(item);
        item->setSelected(row.selected);
    }
}

void ReceiveBinding::showcontrols() {
    auto& r = m_form.receive;
    const bool was = m_syncing;
    m_syncing = true;
    r.receivebutton->setEnabled(m_model.receiveenabled());
    r.savebutton->setEnabled(m_model.savetofileenabled());
    r.viewbutton->setEnabled(m_model.viewenabled());
    r.updatebutton->setEnabled(m_model.updateenabled());
    r.calculatorbutton->setChecked(m_model.calculatordown());
    r.receivedbutton->setChecked(m_model.receiveddown());
    r.manual->setChecked(m_model.manual());
    r.storefoldercheck->setChecked(m_model.storefolder());
    if (!m_model.helptext().empty()) r.helplabel->setText(shown(m_model.helptext()));
    const QString comment = QString::fromStdString(m_model.comment());
    if (r.commentedit->text() != comment) r.commentedit->setText(comment);
    m_syncing = was;
}

void ReceiveBinding::takeselection() {
    QTreeWidget* list = m_form.receive.variablelist;
    const int n = list->topLevelItemCount();
    for (int i = 0; i < n; ++i) m_model.setselected(static_cast<std::size_t>(i), list->topLevelItem(i)->isSelected());
}

void ReceiveBinding::savebuttonClick() {
    m_model.setcomment(typedline(m_form.receive.commentedit->text().toStdString()));
    if (m_form.state().busy) {
        m_form.shell().messagebox(kBusyText, kSaveErrorCaption, Icon::None, Buttons::Ok);
        return;
    }
    TransferSession session(m_form.state(), m_form.shell());
    WindowAnswers answers(m_form.shell());
    savepackagecommand(m_store, m_model.comment(), m_form.shell(), answers, m_form.state(), m_form.link().model());
    showcontrols();  // the comment may have been asked for or filled in
}

void ReceiveBinding::vcalcsendClick() {
    SimulatedCalculator* calc = m_form.virtualcalculator();
    if (!calc) return;
    if (!m_vcalcdialog) {
        m_vcalcdialog = new QDialog(&m_form);
        m_vcalcdialog->setObjectName("vcalcsenddialog");
        auto* layout = new QVBoxLayout(m_vcalcdialog);
        layout->addWidget(new QLabel(QStringLiteral(
            "Mark the variables the virtual calculator shall send, as if chosen in its own send menu.\n"
            "Then press Receive with \"Select on calc\" checked.")));
        m_vcalclist = new QListWidget;
        m_vcalclist->setObjectName("vcalcsendlist");
        m_vcalclist->setSelectionMode(QAbstractItemView::MultiSelection);
        layout->addWidget(m_vcalclist);
        auto* buttons = new QDialogButtonBox;
        QPushButton* send = buttons->addButton(QStringLiteral("Send"), QDialogButtonBox::AcceptRole);
        send->setObjectName("vcalcsendok");
        buttons->addButton(QDialogButtonBox::Cancel);
        layout->addWidget(buttons);
        connect(buttons, &QDialogButtonBox::accepted, this, &ReceiveBinding::sendfromvirtualcalc);
        connect(buttons, &QDialogButtonBox::rejected, m_vcalcdialog, &QDialog::reject);
    }
    nametexts();
    m_vcalclist->clear();
    for (const std::string& name : calc->variablenames()) {
        auto* item = new QListWidgetItem(fromti(name), m_vcalclist);
        item->setData(Qt::UserRole, QByteArray::fromStdString(name));
    }
    m_vcalcdialog->show();
    m_vcalcdialog->raise();
}

void ReceiveBinding::sendfromvirtualcalc() {
    SimulatedCalculator* calc = m_form.virtualcalculator();
    m_vcalcdialog->hide();
    if (!calc) return;
    std::vector<std::string> names;
    for (int i = 0; i < m_vcalclist->count(); ++i)
        if (m_vcalclist->item(i)->isSelected())
            names.push_back(m_vcalclist->item(i)->data(Qt::UserRole).toByteArray().toStdString());
    if (names.empty()) return;
    std::string error;
    if (!calc->sendfromcalc(names, &error)) {
        m_form.shell().setstatus("Virtual " + m_form.calculatorname() + ": " + error);
        return;
    }
    // Receiving what the calculator sends is calculator-select mode.
    m_model.setmanual(true);
    m_model.optionclicked();
    m_form.shell().setstatus("The virtual " + m_form.calculatorname() + " is sending " + std::to_string(names.size()) +
                             " variable(s): press Receive.");
}

} // namespace tessaly::app
