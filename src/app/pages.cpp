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
#include "app/pagewidgets.h"
#include "app/pictures.h"
#include "link/cablelist.h"

namespace tessaly::app {

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
    makereceivecontrols(page);
    layreceivepage(page);
    return page;
}

void MainWindow::makereceivecontrols(QWidget* page) {
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
}

void MainWindow::layreceivepage(QWidget* page) {
    auto& r = receive;
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
}

QWidget* MainWindow::buildopenpage() {
    auto* page = named(new QWidget, "openpage");
    makeopencontrols(page);
    auto* tools = new QHBoxLayout;
    tools->setSpacing(0);
    tools->addWidget(open.drivebox);
    tools->addSpacing(8);
    for (QToolButton* b : {open.sendfilebutton, open.installbutton, open.convertbutton, open.insertfargobutton, open.refreshbutton})
        tools->addWidget(b);
    tools->addStretch();

    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(6, 4, 6, 6);
    v->addLayout(tools);
    v->addLayout(openpagelists(), 1);
    return page;
}

void MainWindow::makeopencontrols(QWidget* page) {
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
}

QLayout* MainWindow::openpagelists() {
    auto& o = open;
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
    // A long description is cut at the column's edge rather than widening the file list
    // and narrowing the folder tree.
    o.descriptionlabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

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
    return lists;
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
    // A smaller screen (the TI-89's 160 x 100) sits in the middle of the frame.
    s.screenpicture->setAlignment(Qt::AlignCenter);
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
    modellabel = named(new QLabel, "modellabel");
    bar->addPermanentWidget(modellabel);
    bar->addPermanentWidget(statimage);
}

} // namespace tessaly::app
