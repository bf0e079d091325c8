// The notebook's pages and the status bar, laid out once with every control by name.
// Controls start in the state the window opens in; their bindings enable them as the work allows.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/cablechoice.h"
#include "app/mainwindow.h"
#include "app/pictures.h"
#include "link/cablelist.h"

namespace tessaly::app {

namespace {

template <class W>
W* named(W* widget, const char* name, const QString& tip = QString()) {
    widget->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty()) widget->setToolTip(tip);
    return widget;
}

QPushButton* button(const char* name, const QString& caption, const QString& tip = QString(), bool enabled = false) {
    auto* b = named(new QPushButton(caption), name, tip);
    b->setEnabled(enabled);
    return b;
}

// The flat toolbar-style buttons of the window chrome.
QToolButton* flatbutton(const char* name, const QString& caption, const QString& tip = QString(), bool enabled = false) {
    auto* b = named(new QToolButton, name, tip);
    b->setText(caption);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setEnabled(enabled);
    return b;
}

QToolButton* togglebutton(const char* name, const QString& caption, const QString& tip, bool down) {
    auto* b = flatbutton(name, caption, tip, false);
    b->setCheckable(true);
    b->setChecked(down);
    return b;
}

QTreeWidget* listview(const char* name, const QStringList& columns) {
    auto* v = named(new QTreeWidget, name);
    v->setColumnCount(static_cast<int>(columns.size()));
    v->setHeaderLabels(columns);
    v->setRootIsDecorated(false);
    v->setSelectionMode(QAbstractItemView::ExtendedSelection);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setUniformRowHeights(true);
    return v;
}

QLabel* wrapped(const char* name, const QString& text) {
    auto* l = named(new QLabel(text), name);
    l->setWordWrap(true);
    return l;
}

} // namespace

void MainWindow::buildnotebook() {
    // Small type, as the window was designed for.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    notebook = named(new QTabWidget, "notebook");
    notebook->addTab(buildreceivepage(), QStringLiteral("Receive variables"));
    notebook->addTab(buildopenpage(), QStringLiteral("Open variables"));
    notebook->addTab(buildscreenshotpage(), QStringLiteral("Screenshot"));
    notebook->addTab(buildsettingspage(), QStringLiteral("Settings"));
    notebook->addTab(buildaboutpage(), QStringLiteral("About"));
    notebook->setUsesScrollButtons(false);
    // Narrow tabs, so the page captions and the three buttons fit the designed width.
    notebook->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 6px; }"));

    auto* corner = new QWidget;
    auto* row = new QHBoxLayout(corner);
    row->setContentsMargins(0, 0, 2, 0);
    row->setSpacing(0);
    remotebutton = flatbutton("remotebutton", QStringLiteral("Remote"), QStringLiteral("Remotecontrol your calculator"), true);
    textbutton = flatbutton("textbutton", QStringLiteral("Text"), QStringLiteral("Start up text-editor"), true);
    cancelbtn = flatbutton("cancelbtn", QStringLiteral("&Cancel"), QStringLiteral("Cancel operation"), true);
    QFont bold = cancelbtn->font();
    bold.setBold(true);
    cancelbtn->setFont(bold);
    for (QToolButton* b : {remotebutton, textbutton, cancelbtn}) {
        b->setStyleSheet(QStringLiteral("QToolButton { padding: 1px 2px; }"));
        row->addWidget(b);
    }
    notebook->setCornerWidget(corner, Qt::TopRightCorner);
    connect(remotebutton, &QToolButton::clicked, this, &MainWindow::remotebuttonClick);
    connect(textbutton, &QToolButton::clicked, this, &MainWindow::textbuttonClick);
    connect(cancelbtn, &QToolButton::clicked, this, &MainWindow::cancelbtnClick);
    setCentralWidget(notebook);
}

QWidget* MainWindow::buildreceivepage() {
    auto* page = named(new QWidget, "receivepage");
    auto& r = receive;
    r.calculatorbutton = togglebutton("calculatorbutton", QStringLiteral("&Calculator"), QStringLiteral("View variables on calculator"), true);
    r.receivedbutton = togglebutton("receivedbutton", QStringLiteral("R&eceived"), QStringLiteral("View received files"), false);
    auto* views = new QButtonGroup(page);
    views->setExclusive(true);
    views->addButton(r.calculatorbutton);
    views->addButton(r.receivedbutton);

    r.variablelist = listview("variablelist", {QStringLiteral("Name"), QStringLiteral("Variabletype"), QStringLiteral("Size")});
    r.variablelist->setColumnWidth(0, 80);
    r.variablelist->setColumnWidth(1, 100);
    r.variablelist->setSelectionMode(QAbstractItemView::ExtendedSelection);
    r.updatebutton = button("updatebutton", QStringLiteral("Update directorylist"));
    r.receivebutton = button("receivebutton", QStringLiteral("&Receive"));
    r.manual = named(new QCheckBox(QStringLiteral("Select on calc")), "manual");
    r.manual->setEnabled(false);
    r.storefoldercheck = named(new QCheckBox(QStringLiteral("Store folder")), "storefoldercheck");
    r.storefoldercheck->setChecked(true);
    r.savebutton = button("savebutton", QStringLiteral("&Save to file"));
    r.viewbutton = button("viewbutton", QStringLiteral("&View"), QStringLiteral("View variable (only text)"));
    r.backupbutton = button("backupbutton", QStringLiteral("Get &backup"), QStringLiteral("Get memory-backup"));
    r.fargobutton = button("fargobutton", QStringLiteral("Put &Fargo"), QStringLiteral("Put fargo to calculator"));
    r.commentedit = named(new QLineEdit, "commentedit", QStringLiteral("Enter a comment for the package"));
    r.commentedit->setMaxLength(34);
    r.commentedit->setEnabled(false);
    r.helplabel = wrapped("helplabel", QStringLiteral("press \"update directorylist\" to see the variables on your calculator."));

    auto* top = new QHBoxLayout;
    top->addWidget(r.calculatorbutton);
    top->addWidget(r.receivedbutton);
    top->addStretch();

    auto* side = new QVBoxLayout;
    side->addWidget(r.updatebutton);
    side->addWidget(r.receivebutton);
    side->addWidget(r.manual);
    side->addWidget(r.storefoldercheck);
    side->addSpacing(6);
    side->addWidget(r.savebutton);
    side->addWidget(r.viewbutton);
    side->addSpacing(6);
    side->addWidget(r.backupbutton);
    side->addWidget(r.fargobutton);
    side->addStretch();

    auto* middle = new QHBoxLayout;
    middle->addWidget(r.variablelist, 1);
    middle->addLayout(side);

    auto* comment = new QHBoxLayout;
    comment->addWidget(new QLabel(QStringLiteral("Comment:")));
    comment->addWidget(r.commentedit, 1);

    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(6, 6, 6, 6);
    v->addLayout(top);
    v->addLayout(middle, 1);
    v->addLayout(comment);
    v->addWidget(r.helplabel);
    return page;
}

QWidget* MainWindow::buildopenpage() {
    auto* page = named(new QWidget, "openpage");
    auto& o = open;
    o.drivebox = named(new QComboBox, "drivebox", QStringLiteral("Drive"));
    o.directorytree = named(new QTreeView, "directorytree");
    o.directorytree->setHeaderHidden(true);
    o.filenames = named(new QListWidget, "filenames");
    o.filenames->setFixedWidth(0);
    o.filenames->setVisible(false);
    o.filelist = listview("filelist", {QStringLiteral("Filename"), QStringLiteral("Description")});
    o.filelist->header()->setMinimumSectionSize(kMinColWidth);
    o.filelist->setColumnWidth(0, kDefaultColWidth);
    o.countlabel = named(new QLabel(QStringLiteral("-")), "countlabel", QStringLiteral("Numer of variables in file"));
    o.sizelabel = named(new QLabel(QStringLiteral("-")), "sizelabel", QStringLiteral("Filesize"));
    o.descriptionlabel = named(new ClickLabel(QStringLiteral("none selected")), "descriptionlabel", QStringLiteral("Description in file"));
    o.contentlist = listview("contentlist", {QStringLiteral("Name"), QStringLiteral("Variabletype")});
    o.allbutton = togglebutton("allbutton", QStringLiteral("&All"), QString(), true);
    o.selbutton = togglebutton("selbutton", QStringLiteral("Se&l."), QString(), false);
    auto* which = new QButtonGroup(page);
    which->addButton(o.allbutton);
    which->addButton(o.selbutton);
    o.sendfilebutton = flatbutton("sendfilebutton", QStringLiteral("&Send"), QStringLiteral("Send file to calculator"));
    o.installbutton = flatbutton("installbutton", QStringLiteral("&Install"),
                                    QStringLiteral("Install Fargo-variable on calculator. (Send all req. libs)"));
    o.convertbutton = flatbutton("convertbutton", QStringLiteral("&Txt-convert"), QStringLiteral("Convert text-file to 92g-file"));
    o.insertfargobutton = flatbutton("insertfargobutton", QStringLiteral("Insert &Fargo"), QStringLiteral("Insert Fargo to a backup-file"));
    o.refreshbutton = flatbutton("refreshbutton", QStringLiteral("&Update"), QStringLiteral("Update filelist"));
    o.sendvariablesbutton = button("sendvariablesbutton", QStringLiteral("S&end"), QStringLiteral("Send variables"));
    o.viewtextbutton = button("viewtextbutton", QStringLiteral("&View text"), QStringLiteral("View textvariable"));
    o.savevariablesbutton = button("savevariablesbutton", QStringLiteral("S&ave"));
    for (QWidget* w : std::initializer_list<QWidget*>{o.drivebox, o.directorytree, o.filelist, o.descriptionlabel, o.contentlist})
        w->setEnabled(false);

    auto* tools = new QHBoxLayout;
    tools->setSpacing(0);
    tools->addWidget(o.drivebox);
    tools->addSpacing(8);
    for (QToolButton* b : {o.sendfilebutton, o.installbutton, o.convertbutton, o.insertfargobutton, o.refreshbutton}) tools->addWidget(b);
    tools->addStretch();

    auto* left = new QVBoxLayout;
    left->addWidget(o.directorytree, 1);
    left->addWidget(o.filenames);

    auto* info = new QGridLayout;
    info->setVerticalSpacing(2);
    info->addWidget(new QLabel(QStringLiteral("Number of variables:")), 0, 0);
    info->addWidget(o.countlabel, 0, 1);
    info->addWidget(new QLabel(QStringLiteral("Size:")), 1, 0);
    info->addWidget(o.sizelabel, 1, 1);
    info->addWidget(new QLabel(QStringLiteral("Description:")), 2, 0);
    info->addWidget(o.descriptionlabel, 2, 1);
    info->setColumnStretch(1, 1);

    auto* middle = new QVBoxLayout;
    middle->addWidget(o.filelist, 1);
    middle->addLayout(info);

    auto* choose = new QHBoxLayout;
    choose->setSpacing(0);
    choose->addWidget(o.allbutton);
    choose->addWidget(o.selbutton);
    choose->addStretch();
    auto* varbuttons = new QGridLayout;
    varbuttons->setSpacing(2);
    varbuttons->addWidget(o.sendvariablesbutton, 0, 0);
    varbuttons->addWidget(o.savevariablesbutton, 0, 1);
    varbuttons->addWidget(o.viewtextbutton, 1, 0, 1, 2);
    auto* right = new QVBoxLayout;
    right->addLayout(choose);
    right->addWidget(o.contentlist, 1);
    right->addLayout(varbuttons);

    auto* lists = new QHBoxLayout;
    lists->addLayout(left, 3);
    lists->addLayout(middle, 6);
    lists->addLayout(right, 4);
    for (QWidget* w : std::initializer_list<QWidget*>{o.directorytree, o.filelist, o.contentlist})
        w->setMinimumWidth(60);

    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(6, 4, 6, 6);
    v->addLayout(tools);
    v->addLayout(lists, 1);
    return page;
}

QWidget* MainWindow::buildscreenshotpage() {
    auto* page = named(new QWidget, "screenshotpage");
    auto& s = screenshot;
    s.getscreenbutton = button("getscreenbutton", QStringLiteral("&Get Screen"), QStringLiteral("Get screenshot"));
    s.fargoscreenbutton = button("fargoscreenbutton", QStringLiteral("&Fargo scr."), QStringLiteral("Get FARGO-screenshot. (FCamera required)"));
    s.savescreenbutton = button("savescreenbutton", QStringLiteral("&Save to file"), QStringLiteral("Save screenshot to file"));
    s.copyscreenbutton = button("copyscreenbutton", QStringLiteral("&Copy scr."), QStringLiteral("Copy screenshot to clipboard"));
    s.printbutton = button("printbutton", QStringLiteral("&Print"), QStringLiteral("Print screenshot"));
    s.fcamerabutton = flatbutton("fcamerabutton", QStringLiteral("Download FCamera"));
    s.panel = named(new QFrame, "panel");
    s.panel->setFrameShape(QFrame::Panel);
    s.panel->setFrameShadow(QFrame::Sunken);
    s.screenpicture = named(new QLabel, "screenpicture");
    s.screenpicture->setFixedSize(240, 128);
    auto* pl = new QVBoxLayout(s.panel);
    pl->setContentsMargins(4, 4, 4, 4);
    pl->addWidget(s.screenpicture, 0, Qt::AlignCenter);
    s.panel->setFixedSize(250, 138);
    s.hintlabel = wrapped("hintlabel", QStringLiteral("press the Screenshot-button to copy the screen from the TI-92 to the computer. "
                                                "to copy screenshot from FARGO, press the FARGO Screen-button"));

    auto* left = new QVBoxLayout;
    left->addWidget(s.panel);
    left->addWidget(s.hintlabel);
    left->addStretch();

    auto* right = new QVBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{s.getscreenbutton, s.fargoscreenbutton}) right->addWidget(w);
    right->addSpacing(10);
    for (QWidget* w : std::initializer_list<QWidget*>{s.savescreenbutton, s.copyscreenbutton, s.printbutton}) right->addWidget(w);
    right->addStretch();
    right->addWidget(s.fcamerabutton);

    auto* h = new QHBoxLayout(page);
    h->setContentsMargins(8, 8, 8, 8);
    h->addLayout(left, 1);
    h->addSpacing(12);
    h->addLayout(right);
    return page;
}

QWidget* MainWindow::buildsettingspage() {
    auto* page = named(new QWidget, "settingspage");
    auto& s = settingspage;
    s.portaddressbox = named(new QComboBox, "portaddressbox", QStringLiteral("Where is you $5-cable"));
    s.portaddressbox->addItem(QStringLiteral("0378"));
    s.testbutton = button("testbutton", QStringLiteral("&Test"), QStringLiteral("Check if the calculator is connected"), true);
    connect(s.testbutton, &QPushButton::clicked, this, &MainWindow::testbuttonClick);
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

    // One row per setting, top to bottom in the order the Windows version of tessaly92
    // had them: port and Test, printer, FARGO folder, file list, start-up, association,
    // library folder.
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(8, 6, 8, 6);
    v->setSpacing(4);

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
    printer->addStretch();
    v->addLayout(printer);

    auto* fargo = new QHBoxLayout;
    fargo->addWidget(new QLabel(QStringLiteral("fargo-directory")));
    fargo->addWidget(s.fargodiredit, 1);
    fargo->addWidget(s.fargodirbutton);
    v->addLayout(fargo);

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

    auto* assoc = new QHBoxLayout;
    assoc->addWidget(new QLabel(QStringLiteral("windows 95")));
    assoc->addWidget(s.extensionsedit, 1);
    assoc->addWidget(s.associatebutton);
    v->addLayout(assoc);

    auto* library = new QHBoxLayout;
    library->addWidget(new QLabel(QStringLiteral("library directory")));
    library->addWidget(s.librarydiredit, 1);
    library->addWidget(s.librarydirbutton);
    v->addLayout(library);
    v->addStretch();
    return page;
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
    auto* notes = wrapped("aboutnotes", QStringLiteral(
        "A link program for the TI-92 on a $5-cable. It is free: pass it on unchanged, with this page. "
        "FCamera and Quick View, offered below, are calculator programs by their own authors."));
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
    head->addLayout(tv, 1);

    auto* left = new QVBoxLayout;
    left->addLayout(head);
    left->addWidget(notes);
    left->addWidget(greetings);
    left->addWidget(names);
    left->addStretch();

    static const char* const kNames[8] = {"aboutlink1", "aboutlink2", "aboutlink3", "aboutlink4",
                                          "aboutlink5", "aboutlink6", "aboutlink7", "aboutlink8"};
    const QString captions[8] = {QStringLiteral("Tessaly92 - homepage"), QStringLiteral("Download Quick View"),
                                 QStringLiteral("The Fargo Archive"),    QStringLiteral("Build a $5-cable"),
                                 QStringLiteral("Distribute tessaly92"), QStringLiteral("Calculator program archive"),
                                 QStringLiteral("Send email to me!"),    QStringLiteral("FCamera - homepage")};
    auto* right = new QVBoxLayout;
    right->setSpacing(0);
    right->addWidget(new QLabel(QStringLiteral("Useful links:")));
    // Shown in the order of the link table: home page and FCamera first.
    const int order[8] = {0, 7, 1, 2, 3, 4, 5, 6};
    for (int i = 0; i < 8; ++i) {
        about.linkbuttons[i] = flatbutton(kNames[i], captions[i]);
        about.linkbuttons[i]->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    for (int i : order) right->addWidget(about.linkbuttons[i]);
    right->addStretch();

    auto* h = new QHBoxLayout(page);
    h->setContentsMargins(8, 8, 8, 8);
    h->addLayout(left, 3);
    h->addSpacing(10);
    h->addLayout(right, 2);
    return page;
}

void MainWindow::buildstatusbar() {
    gauge = named(new QProgressBar, "gauge");
    gauge->setTextVisible(false);
    gauge->setRange(0, 100);
    gauge->setValue(0);
    gauge->setFixedSize(130, 14);
    gauge->setStyleSheet(QStringLiteral("QProgressBar { border: none; background: transparent; }"
                                         "QProgressBar::chunk { background-color: navy; }"));
    status = named(new QLabel(QStringLiteral("tessaly92")), "status");
    status->setMinimumWidth(60);
    linklabel = named(new QLabel, "linklabel");
    linklabel->setFrameShape(QFrame::StyledPanel);
    statimage = named(new ClickLabel, "statimage");
    statimage->setFixedSize(32, 32);
    statimage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QSizePolicy keep = statimage->sizePolicy();
    keep.setRetainSizeWhenHidden(true);  // blinking must not shift the status line
    statimage->setSizePolicy(keep);
    statimage->setCursor(Qt::PointingHandCursor);
    connect(statimage, &ClickLabel::clicked, this, &MainWindow::statimageClick);

    contact = named(new QLabel(this), "contact");
    contact->setPixmap(contactpicture());
    nocontact = named(new QLabel(this), "nocontact");
    nocontact->setPixmap(nocontactpicture());
    busycontact = named(new QLabel(this), "busycontact");
    busycontact->setPixmap(busycontactpicture());
    for (QLabel* l : {contact, nocontact, busycontact}) l->hide();
    statimage->setPixmap(nocontact->pixmap());

    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    bar->addWidget(gauge);
    bar->addWidget(status, 1);
    bar->addPermanentWidget(linklabel);
    bar->addPermanentWidget(statimage);
}

} // namespace tessaly::app
