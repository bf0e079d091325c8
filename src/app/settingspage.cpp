// The Settings and About pages, laid out in parts.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/cablechoice.h"
#include "app/mainwindow.h"
#include "app/pagewidgets.h"
#include "app/pictures.h"
#include "link/cablelist.h"

namespace tessaly::app {

QWidget* MainWindow::buildsettingspage() {
    auto* page = named(new QWidget, "settingspage");
    makesettingscontrols();
    // One row per setting, top to bottom in the order users of earlier versions know:
    // port and Test, printer, FARGO folder, file list, start-up, association, library folder.
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(8, 6, 8, 6);
    v->setSpacing(4);
    laysettingsrows(v);
    laysettingsgroups(v);
    v->addStretch();
    return page;
}

void MainWindow::makesettingscontrols() {
    auto& s = settingspage;
    s.portaddressbox = named(new QComboBox, "portaddressbox", QStringLiteral("Where is you $5-cable"));
    s.portaddressbox->addItem(QStringLiteral("0378"));
    s.testbutton = button("testbutton", QStringLiteral("&Test"), QStringLiteral("Check if the calculator is connected"), true);
    s.versionbutton = button("versionbutton", QStringLiteral("&Version"), QStringLiteral("Ask the calculator for its version"), true);
    s.portrait = named(new QRadioButton(QStringLiteral("portrait")), "portrait");
    s.landscape = named(new QRadioButton(QStringLiteral("landscape")), "landscape");
    s.portrait->setChecked(true);
    s.size = named(new QComboBox, "size", QStringLiteral("How large will the screenshot be printed?"));
    s.size->addItems({QStringLiteral("full pagewidth"), QStringLiteral("half pagewidth"), QStringLiteral("third pagewidth"),
                      QStringLiteral("quarter pagewidth")});
    s.size->setCurrentIndex(1);
    s.fargodiredit = named(new QLineEdit, "fargodiredit");
    s.fargodirbutton = button("fargodirbutton", QStringLiteral("Browse"));
    s.descriptionscheck = named(new QCheckBox(QStringLiteral("Descriptions")), "descriptionscheck");
    s.txtfilescheck = named(new QCheckBox(QStringLiteral("TXT-files")), "txtfilescheck");
    s.ti92filescheck = named(new QCheckBox(QStringLiteral("TI92-files")), "ti92filescheck");
    s.textinfocheck = named(new QCheckBox(QStringLiteral("Text-information")), "textinfocheck");
    s.screenshotcheck = named(new QCheckBox(QStringLiteral("Screenshot")), "screenshotcheck");
    s.checkcalccheck = named(new QCheckBox(QStringLiteral("Check calc")), "checkcalccheck");
    s.updatelistcheck = named(new QCheckBox(QStringLiteral("Update directorylist")), "updatelistcheck");
    s.extensionsedit = named(new QLineEdit(QStringLiteral("92p;92b;92g;92t;")), "extensionsedit");
    s.extensionsedit->setEnabled(false);
    s.associatebutton = button("associatebutton", QStringLiteral("&Associate"), QStringLiteral("Configure windows 95 explorer"));
    s.librarydiredit = named(new QLineEdit, "librarydiredit", QStringLiteral("Where are all Fargo-libraries installed"));
    s.librarydirbutton = button("librarydirbutton", QStringLiteral("Browse"));
    s.cablekind = named(new QComboBox, "cablekind", QStringLiteral("Which cable links the calculator"));
    for (const CableKindEntry& k : kCableKinds) s.cablekind->addItem(QString::fromUtf8(k.caption.data(), static_cast<int>(k.caption.size())));
    s.serialdevice = named(new QComboBox, "serialdevice", QStringLiteral("The serial port the cable is plugged into"));
    s.serialdevice->setEditable(true);
    s.serialdevice->setMinimumContentsLength(12);
    for (const auto& dev : serialports()) s.serialdevice->addItem(QString::fromStdString(dev.string()));
    s.pacing = named(new QCheckBox(QStringLiteral("pacing")), "pacing",
                     QStringLiteral("Wait a little after every byte, so the calculator keeps up (cables that send whole bytes)"));
    s.pacing->setChecked(true);
    s.model = named(new QComboBox, "model", QStringLiteral("Which calculator is on the cable"));
    s.model->addItem(QStringLiteral("any model"));
    for (const CalculatorModel* m : allmodels()) s.model->addItem(QString::fromUtf8(m->name.data(), static_cast<int>(m->name.size())));
}

void MainWindow::laysettingsrows(QVBoxLayout* v) {
    auto& s = settingspage;
    auto* port = new QHBoxLayout;
    port->addWidget(s.cablekind);
    s.portlabel = new QLabel(QStringLiteral("portaddres"));
    port->addWidget(s.portlabel);
    port->addWidget(s.portaddressbox);
    port->addWidget(s.serialdevice, 1);
    port->addWidget(s.testbutton);
    port->addWidget(s.pacing);
    port->addStretch();
    v->addLayout(port);

    auto* printer = new QHBoxLayout;
    printer->addWidget(new QLabel(QStringLiteral("printer")));
    printer->addWidget(s.portrait);
    printer->addWidget(s.landscape);
    printer->addWidget(s.size);
    printer->addWidget(s.model);
    printer->addStretch();
    // Under Test: the port row has no room left for it.
    printer->addWidget(s.versionbutton);
    v->addLayout(printer);

    fieldrow(v, QStringLiteral("fargo-directory"), s.fargodiredit, s.fargodirbutton);
}

void MainWindow::laysettingsgroups(QVBoxLayout* v) {
    auto& s = settingspage;
    auto* lists = new QGroupBox;
    lists->setObjectName("filelistoptions");
    auto* lg = new QGridLayout(lists);
    lg->setContentsMargins(6, 4, 6, 4);
    lg->setVerticalSpacing(2);
    lg->addWidget(s.descriptionscheck, 0, 0);
    lg->addWidget(s.txtfilescheck, 0, 1);
    lg->addWidget(s.ti92filescheck, 0, 2);
    lg->addWidget(s.textinfocheck, 1, 0);
    lg->addWidget(s.screenshotcheck, 1, 1);
    v->addWidget(lists);

    auto* startup = new QGroupBox;
    startup->setObjectName("startupoptions");
    auto* sg = new QHBoxLayout(startup);
    sg->setContentsMargins(6, 4, 6, 4);
    sg->addWidget(s.checkcalccheck);
    sg->addWidget(s.updatelistcheck);
    sg->addStretch();
    v->addWidget(startup);

    fieldrow(v, QStringLiteral("windows 95"), s.extensionsedit, s.associatebutton);

    fieldrow(v, QStringLiteral("library directory"), s.librarydiredit, s.librarydirbutton);
}

QWidget* MainWindow::buildaboutpage() {
    auto* page = named(new QWidget, "aboutpage");
    auto* picture = named(new QLabel, "aboutpicture");
    picture->setPixmap(contactpicture().scaled(64, 64, Qt::KeepAspectRatio, Qt::FastTransformation));
    auto* title = named(new QLabel(QStringLiteral("tessaly92")), "abouttitle");
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 8);
    big.setBold(true);
    title->setFont(big);
    auto* version = named(new QLabel(QStringLiteral("Version: beta 6")), "aboutversion");
    // The release that --version, the package and the manual pages give, from the build.
    auto* release = named(new QLabel(QStringLiteral("Release " TESSALY_VERSION)), "aboutrelease");
    QStringList models;
    for (const CalculatorModel* m : allmodels()) models << QString::fromUtf8(m->name.data(), static_cast<qsizetype>(m->name.size()));
    const QString last = models.takeLast();
    auto* notes = wrapped("aboutnotes", QStringLiteral(
        "A link program for the %1 and %2, on a $5-cable or the other cables of the Settings page. "
        "It is free: pass it on unchanged, with this page. "
        "FCamera and Quick View, offered below, are calculator programs by their own authors.").arg(models.join(QStringLiteral(", ")), last));
    // Filled in once a calculator is chosen or has answered.
    aboutcalculator = named(new QLabel, "aboutcalculator");
    aboutcalculator->hide();
    auto* greetings = new QLabel(QStringLiteral("Greetings goes to:"));
    auto* names = named(new QListWidget, "greetings");
    names->addItems({QStringLiteral("everyone who built a $5-cable"), QStringLiteral("the beta testers"),
                     QStringLiteral("the FARGO authors")});
    names->sortItems();
    names->setMaximumHeight(58);

    auto* head = new QHBoxLayout;
    head->addWidget(picture);
    auto* tv = new QVBoxLayout;
    tv->addWidget(title);
    tv->addWidget(version);
    tv->addWidget(release);
    head->addLayout(tv, 1);

    auto* left = new QVBoxLayout;
    left->addLayout(head);
    left->addWidget(notes);
    left->addWidget(aboutcalculator);
    left->addWidget(greetings);
    left->addWidget(names);
    left->addStretch();

    auto* h = new QHBoxLayout(page);
    h->setContentsMargins(8, 8, 8, 8);
    h->addLayout(left, 3);
    h->addSpacing(10);
    h->addLayout(aboutlinks(), 2);
    return page;
}

QLayout* MainWindow::aboutlinks() {
    auto* right = new QVBoxLayout;
    right->setSpacing(0);
    right->addWidget(new QLabel(QStringLiteral("Useful links:")));
    static const char* const kNames[8] = {"aboutlink1", "aboutlink2", "aboutlink3", "aboutlink4",
                                          "aboutlink5", "aboutlink6", "aboutlink7", "aboutlink8"};
    const QString captions[8] = {QStringLiteral("Tessaly92 - homepage"), QStringLiteral("Download Quick View"),
                                 QStringLiteral("The Fargo Archive"),    QStringLiteral("Build a $5-cable"),
                                 QStringLiteral("Distribute tessaly92"), QStringLiteral("Calculator program archive"),
                                 QStringLiteral("Send email to me!"),    QStringLiteral("FCamera - homepage")};
    // Shown in the order of the link table: home page and FCamera first.
    const int order[8] = {0, 7, 1, 2, 3, 4, 5, 6};
    for (int i = 0; i < 8; ++i) {
        about.linkbuttons[i] = flatbutton(kNames[i], captions[i]);
        about.linkbuttons[i]->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    for (int i : order) right->addWidget(about.linkbuttons[i]);
    right->addStretch();
    return right;
}

} // namespace tessaly::app
