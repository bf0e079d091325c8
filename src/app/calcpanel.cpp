#include "app/calcpanel.h"

#include <QBoxLayout>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

#include "app/mainwindow.h"
#include "files/filename.h"
#include "files/safefile.h"
#include "files/ticharset.h"
#include "transfers/manage.h"
#include "transfers/session.h"

namespace tessaly::app {

namespace {
QPushButton* panelbutton(const char* name, const QString& text, QLayout* into) {
    auto* b = new QPushButton(text);
    b->setObjectName(QString::fromLatin1(name));
    into->addWidget(b);
    return b;
}

QLabel* valuelabel(const char* name) {
    auto* l = new QLabel(QStringLiteral("-"));
    l->setObjectName(QString::fromLatin1(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}
} // namespace

CalculatorPanel::CalculatorPanel(MainWindow& form) : QObject(&form), m_form(form) {
    setObjectName("calculatorpanelbinding");
    QPushButton* version = form.settingspage.versionbutton;
    auto* button = new QPushButton(QStringLiteral("Ca&lculator..."));
    button->setObjectName("calculatorpanelbutton");
    button->setToolTip(QStringLiteral("The calculator's version, ID list, certificate and clock"));
    // Under Version, which it goes with: beside it the page would grow wider than the window.
    QBoxLayout* row = nullptr;
    if (QWidget* page = version->parentWidget(); page && page->layout())
        for (QBoxLayout* l : page->findChildren<QBoxLayout*>())
            if (l->indexOf(version) >= 0) row = l;
    for (QBoxLayout* outer = row ? qobject_cast<QBoxLayout*>(row->parent()) : nullptr; outer; outer = nullptr)
        for (int i = 0; i < outer->count(); ++i)
            if (outer->itemAt(i)->layout() == row) {
                auto* under = new QHBoxLayout;
                under->addStretch();
                under->addWidget(button);
                outer->insertLayout(i + 1, under);
                break;
            }
    connect(button, &QPushButton::clicked, this, &CalculatorPanel::open);
    build();
}

void CalculatorPanel::build() {
    m_dialog = new QDialog(&m_form);
    m_dialog->setObjectName("calculatorpanel");
    m_dialog->setWindowTitle(QStringLiteral("Calculator"));
    auto* layout = new QVBoxLayout(m_dialog);
    auto* facts = new QFormLayout;
    m_version = valuelabel("calcversion");
    m_idlist = valuelabel("calcidlist");
    m_clock = valuelabel("calcclock");
    facts->addRow(QStringLiteral("Version:"), m_version);
    facts->addRow(QStringLiteral("ID list:"), m_idlist);
    facts->addRow(QStringLiteral("Clock:"), m_clock);
    layout->addLayout(facts);

    auto* row = new QHBoxLayout;
    connect(panelbutton("calcversionbutton", QStringLiteral("&Version"), row), &QPushButton::clicked, this,
            &CalculatorPanel::readversion);
    connect(panelbutton("idlistbutton", QStringLiteral("&ID list"), row), &QPushButton::clicked, this,
            &CalculatorPanel::idlist);
    connect(panelbutton("certificatebutton", QStringLiteral("Back up &certificate..."), row), &QPushButton::clicked, this,
            &CalculatorPanel::savecertificate);
    layout->addLayout(row);

    auto* clockrow = new QHBoxLayout;
    connect(panelbutton("clockreadbutton", QStringLiteral("&Read clock"), clockrow), &QPushButton::clicked, this,
            &CalculatorPanel::readclock);
    connect(panelbutton("clocknowbutton", QStringLiteral("Set to &now"), clockrow), &QPushButton::clicked, this,
            &CalculatorPanel::setclocknow);
    m_chosen = new QDateTimeEdit(QDateTime::currentDateTime());
    m_chosen->setObjectName("clockedit");
    m_chosen->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    // The calculator's clock counts from 1997.
    m_chosen->setMinimumDate(QDate(1997, 1, 1));
    m_chosen->setMaximumDate(QDate(2100, 12, 31));
    m_chosen->setCalendarPopup(true);
    clockrow->addWidget(m_chosen);
    connect(panelbutton("clocksetbutton", QStringLiteral("&Set clock"), clockrow), &QPushButton::clicked, this,
            &CalculatorPanel::setclockchosen);
    layout->addLayout(clockrow);

    auto* close = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(close, &QDialogButtonBox::rejected, m_dialog, &QDialog::reject);
    layout->addWidget(close);
}

void CalculatorPanel::open() {
    m_dialog->show();
    m_dialog->raise();
    readversion();
}

void CalculatorPanel::readversion() {
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    CalculatorVersion answer;
    if (!tessaly::readversion(m_form.link(), m_form.shell(), answer)) {
        m_version->setText(QStringLiteral("no answer"));
        return;
    }
    std::string text = answer.model + ", system " + tibytes_to_utf8(answer.version);
    if (!answer.hardware.empty()) text += ", hardware " + answer.hardware;
    m_version->setText(QString::fromStdString(text));
}

void CalculatorPanel::idlist() {
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    const std::optional<std::string> list = receiveidlist(m_form.link(), m_form.shell());
    m_idlist->setText(list ? QString::fromStdString(*list) : QStringLiteral("-"));
    if (list) m_form.shell().setstatus("ID list " + *list);
}

// Fetched before its file is asked for, so that a calculator without one is refused with
// the core's reason before the user picks a name in vain.
void CalculatorPanel::savecertificate() {
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    Link& link = m_form.link();
    const std::optional<FlashFile> file = receivecertificate(link, m_form.shell());
    if (!file) return;
    const CalculatorModel& model = link.model();
    const std::string suffix = flashsuffix(model, kFlashCertificate);
    const FileDialogSpec spec{.filename = "certificate" + suffix,
                              .filter = std::string(model.name) + " certificates|*" + suffix,
                              .title = "Save certificate as..",
                              .defaultext = suffix.substr(1)};
    const std::optional<std::string> path = m_form.shell().savedialog(spec);
    if (!path) return;
    std::string why;
    if (!savetarget(*path, &why) || !writeflashfile(*path, *file, &why)) return link.faillink(why);
    m_form.shell().setstatus("Certificate saved as " + *path + ".");
}

void CalculatorPanel::showclock(const std::optional<CalculatorClock>& clock) {
    m_clock->setText(QString::fromStdString(clock ? clocktext(*clock) : m_form.state().pendingerror));
}

void CalculatorPanel::readclock() {
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    showclock(tessaly::readclock(m_form.link(), m_form.shell()));
}

void CalculatorPanel::setclockto(int year, int month, int day, int hour, int minute, int second) {
    TransferSession session(m_form.state(), m_form.shell());
    if (!session) return;
    Link& link = m_form.link();
    std::optional<CalculatorClock> clock = tessaly::readclock(link, m_form.shell());
    if (!clock) return showclock(clock);
    clock->year = static_cast<std::uint16_t>(year);
    clock->month = static_cast<std::uint8_t>(month);
    clock->day = static_cast<std::uint8_t>(day);
    clock->hour = static_cast<std::uint8_t>(hour);
    clock->minute = static_cast<std::uint8_t>(minute);
    clock->second = static_cast<std::uint8_t>(second);
    if (!setclock(link, m_form.shell(), *clock)) return showclock(std::nullopt);
    showclock(clock);
    m_form.shell().setstatus("The calculator's clock is set to " + clocktext(*clock) + ".");
}

void CalculatorPanel::setclocknow() {
    const QDateTime now = QDateTime::currentDateTime();
    setclockto(now.date().year(), now.date().month(), now.date().day(), now.time().hour(), now.time().minute(),
               now.time().second());
}

void CalculatorPanel::setclockchosen() {
    const QDateTime at = m_chosen->dateTime();
    setclockto(at.date().year(), at.date().month(), at.date().day(), at.time().hour(), at.time().minute(),
               at.time().second());
}

} // namespace tessaly::app
