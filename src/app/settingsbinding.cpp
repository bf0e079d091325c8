#include "app/settingsbinding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "app/cablechoice.h"
#include "app/mainwindow.h"

namespace tessaly::app {

namespace {
constexpr std::string_view kTestText = "Plug in your calculator correctly, and press ok!";

// The model box's row: 0 for whichever answers, else the model's place in the table + 1.
int modelindex(std::string_view id) {
    const auto models = allmodels();
    for (std::size_t i = 0; i < models.size(); ++i)
        if (models[i]->id == id) return static_cast<int>(i) + 1;
    return 0;
}
} // namespace

SettingsBinding::SettingsBinding(MainWindow& form) : QObject(&form), m_form(form) {
    SettingsPage& sp = form.settingspage;
    showsettings();
    connect(sp.testbutton, &QPushButton::clicked, this, &SettingsBinding::testbuttonClick);
    connect(sp.portaddressbox, &QComboBox::activated, this, &SettingsBinding::portaddressboxChange);
    connect(sp.cablekind, &QComboBox::activated, this, &SettingsBinding::cablekindChange);
    // Pacing is a property of the link alone, so a change applies to the next transfer.
    connect(sp.pacing, &QCheckBox::toggled, this, [this](bool on) {
        m_form.settings().pacing = on;
        m_form.link().setpacing(on);
    });
    // Like pacing, the model belongs to the link: the next exchange speaks to it.
    connect(sp.model, &QComboBox::activated, this, [this](int index) {
        const auto models = allmodels();
        const CalculatorModel* m = index > 0 ? models[static_cast<std::size_t>(index - 1)] : nullptr;
        m_form.settings().model = m ? std::string(m->id) : std::string("auto");
        m_form.link().choosemodel(m);
    });
    connect(&form, &MainWindow::settingsstoring, this, [this](Settings& settings) { collect(settings); });
}

void SettingsBinding::showsettings() {
    SettingsPage& sp = m_form.settingspage;
    const Settings& s = m_form.settings();
    sp.portaddressbox->clear();
    for (std::uint16_t address : kPortTable)
        sp.portaddressbox->addItem(QStringLiteral("%1").arg(address, 4, 16, QLatin1Char('0')).toUpper());
    sp.portaddressbox->setCurrentIndex(s.portindex);
    sp.descriptionscheck->setChecked(s.showdesc);
    sp.textinfocheck->setChecked(s.showinfo);
    sp.txtfilescheck->setChecked(s.showtxt);
    sp.ti92filescheck->setChecked(s.show92);
    sp.checkcalccheck->setChecked(s.checkstart);
    sp.updatelistcheck->setChecked(s.updatestart);
    sp.screenshotcheck->setChecked(s.showscreenshot);
    sp.portrait->setChecked(s.portrait);
    sp.landscape->setChecked(!s.portrait);
    if (s.printersize >= 0 && s.printersize < sp.size->count()) sp.size->setCurrentIndex(s.printersize);
    sp.fargodiredit->setText(QString::fromStdString(s.fargodir));
    sp.librarydiredit->setText(QString::fromStdString(s.librarydir));
    sp.cablekind->setCurrentIndex(static_cast<int>(cablekindindex(s.cablekind)));
    if (!s.serialdevice.empty()) sp.serialdevice->setCurrentText(QString::fromStdString(s.serialdevice));
    sp.pacing->setChecked(s.pacing);
    sp.model->setCurrentIndex(modelindex(s.model));
    showcablechoice();
}

void SettingsBinding::showcablechoice() {
    SettingsPage& sp = m_form.settingspage;
    const CableKindEntry& k = kCableKinds[cablekindindex(m_form.settings().cablekind)];
    sp.portaddressbox->setVisible(k.key == "parallel");
    sp.portlabel->setVisible(k.key == "parallel");
    sp.serialdevice->setVisible(k.serial);
    sp.pacing->setEnabled(k.bytelevel);
}

void SettingsBinding::testbuttonClick() {
    m_form.shell().unownedmessagebox(kTestText, "Test", Icon::None, Buttons::Ok);
    m_form.statimageClick();
}

void SettingsBinding::portaddressboxChange(int index) {
    if (index < 0 || index >= 3) return;
    m_form.settings().portindex = index;
    // Without a LINK string the port follows the address to its parallel port device.
    m_form.state().portaddress = kPortTable[index];
}

void SettingsBinding::cablekindChange(int index) {
    if (index < 0 || index >= static_cast<int>(std::size(kCableKinds))) return;
    m_form.settings().cablekind = kCableKinds[index].key;
    showcablechoice();
    // The transfers hold on to the cable they were given: another one takes a new start.
    m_form.shell().setstatus(m_form.cablefromsettings()
                                 ? "The chosen cable is used from the next start."
                                 : "TESSALY92_LINK chooses the cable; this choice is kept for when it does not.");
}

void SettingsBinding::collect(Settings& s) const {
    const SettingsPage& sp = m_form.settingspage;
    s.fargodir = sp.fargodiredit->text().toStdString();
    s.librarydir = sp.librarydiredit->text().toStdString();
    s.showdesc = sp.descriptionscheck->isChecked();
    s.showinfo = sp.textinfocheck->isChecked();
    s.showtxt = sp.txtfilescheck->isChecked();
    s.show92 = sp.ti92filescheck->isChecked();
    s.checkstart = sp.checkcalccheck->isChecked();
    s.updatestart = sp.updatelistcheck->isChecked();
    s.showscreenshot = sp.screenshotcheck->isChecked();
    s.portrait = sp.portrait->isChecked();
    s.printersize = sp.size->currentIndex();
    s.portindex = sp.portaddressbox->currentIndex();
    s.cablekind = kCableKinds[cablekindindex(s.cablekind)].key;
    s.serialdevice = sp.serialdevice->currentText().trimmed().toStdString();
    s.pacing = sp.pacing->isChecked();
    const int m = sp.model->currentIndex();
    s.model = m <= 0 ? std::string("auto") : std::string(allmodels()[static_cast<std::size_t>(m - 1)]->id);
}

} // namespace tessaly::app
