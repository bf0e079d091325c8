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

void TForm1::buildnotebook() {
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
    Button16 = flatbutton("Button16", QStringLiteral("Remote"), QStringLiteral("Remotecontrol your calculator"), true);
    Button24 = flatbutton("Button24", QStringLiteral("Text"), QStringLiteral("Start up text-editor"), true);
    cancelbtn = flatbutton("cancelbtn", QStringLiteral("&Cancel"), QStringLiteral("Cancel operation"), true);
    QFont bold = cancelbtn->font();
    bold.setBold(true);
    cancelbtn->setFont(bold);
    for (QToolButton* b : {Button16, Button24, cancelbtn}) {
        b->setStyleSheet(QStringLiteral("QToolButton { padding: 1px 2px; }"));
        row->addWidget(b);
    }
    notebook->setCornerWidget(corner, Qt::TopRightCorner);
    connect(Button16, &QToolButton::clicked, this, &TForm1::Button16Click);
    connect(Button24, &QToolButton::clicked, this, &TForm1::Button24Click);
    connect(cancelbtn, &QToolButton::clicked, this, &TForm1::cancelbtnClick);
    setCentralWidget(notebook);
}

QWidget* TForm1::buildreceivepage() {
    auto* page = named(new QWidget, "receivepage");
    auto& r = receive;
    r.SpeedButton1 = togglebutton("SpeedButton1", QStringLiteral("&Calculator"), QStringLiteral("View variables on calculator"), true);
    r.SpeedButton2 = togglebutton("SpeedButton2", QStringLiteral("R&eceived"), QStringLiteral("View received files"), false);
    auto* views = new QButtonGroup(page);
    views->setExclusive(true);
    views->addButton(r.SpeedButton1);
    views->addButton(r.SpeedButton2);

    r.Listbox2 = listview("Listbox2", {QStringLiteral("Name"), QStringLiteral("Variabletype"), QStringLiteral("Size")});
    r.Listbox2->setColumnWidth(0, 80);
    r.Listbox2->setColumnWidth(1, 100);
    r.Listbox2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    r.Button30 = button("Button30", QStringLiteral("Update directorylist"));
    r.button1 = button("button1", QStringLiteral("&Receive"));
    r.manual = named(new QCheckBox(QStringLiteral("Select on calc")), "manual");
    r.manual->setEnabled(false);
    r.CheckBox6 = named(new QCheckBox(QStringLiteral("Store folder")), "CheckBox6");
    r.CheckBox6->setChecked(true);
    r.button8 = button("button8", QStringLiteral("&Save to file"));
    r.button11 = button("button11", QStringLiteral("&View"), QStringLiteral("View variable (only text)"));
    r.button27 = button("button27", QStringLiteral("Get &backup"), QStringLiteral("Get memory-backup"));
    r.button12 = button("button12", QStringLiteral("Put &Fargo"), QStringLiteral("Put fargo to calculator"));
    r.Edit1 = named(new QLineEdit, "Edit1", QStringLiteral("Enter a comment for the package"));
    r.Edit1->setMaxLength(34);
    r.Edit1->setEnabled(false);
    r.Label8 = wrapped("Label8", QStringLiteral("press \"update directorylist\" to see the variables on your calculator."));

    auto* top = new QHBoxLayout;
    top->addWidget(r.SpeedButton1);
    top->addWidget(r.SpeedButton2);
    top->addStretch();

    auto* side = new QVBoxLayout;
    side->addWidget(r.Button30);
    side->addWidget(r.button1);
    side->addWidget(r.manual);
    side->addWidget(r.CheckBox6);
    side->addSpacing(6);
    side->addWidget(r.button8);
    side->addWidget(r.button11);
    side->addSpacing(6);
    side->addWidget(r.button27);
    side->addWidget(r.button12);
    side->addStretch();

    auto* middle = new QHBoxLayout;
    middle->addWidget(r.Listbox2, 1);
    middle->addLayout(side);

    auto* comment = new QHBoxLayout;
    comment->addWidget(new QLabel(QStringLiteral("Comment:")));
    comment->addWidget(r.Edit1, 1);

    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(6, 6, 6, 6);
    v->addLayout(top);
    v->addLayout(middle, 1);
    v->addLayout(comment);
    v->addWidget(r.Label8);
    return page;
}

QWidget* TForm1::buildopenpage() {
    auto* page = named(new QWidget, "openpage");
    auto& o = open;
    o.DriveComboBox1 = named(new QComboBox, "DriveComboBox1", QStringLiteral("Drive"));
    o.DirectoryListBox1 = named(new QTreeView, "DirectoryListBox1");
    o.DirectoryListBox1->setHeaderHidden(true);
    o.FileListBox1 = named(new QListWidget, "FileListBox1");
    o.FileListBox1->setFixedWidth(0);
    o.FileListBox1->setVisible(false);
    o.ListView1 = listview("ListView1", {QStringLiteral("Filename"), QStringLiteral("Description")});
    o.ListView1->header()->setMinimumSectionSize(kMinColWidth);
    o.ListView1->setColumnWidth(0, kDefaultColWidth);
    o.Label17 = named(new QLabel(QStringLiteral("-")), "Label17", QStringLiteral("Numer of variables in file"));
    o.Label18 = named(new QLabel(QStringLiteral("-")), "Label18", QStringLiteral("Filesize"));
    o.label19 = named(new ClickLabel(QStringLiteral("none selected")), "label19", QStringLiteral("Description in file"));
    o.ListView2 = listview("ListView2", {QStringLiteral("Name"), QStringLiteral("Variabletype")});
    o.allbutton = togglebutton("allbutton", QStringLiteral("&All"), QString(), true);
    o.selbutton = togglebutton("selbutton", QStringLiteral("Se&l."), QString(), false);
    auto* which = new QButtonGroup(page);
    which->addButton(o.allbutton);
    which->addButton(o.selbutton);
    o.button9 = flatbutton("button9", QStringLiteral("&Send"), QStringLiteral("Send file to calculator"));
    o.ToolbarButton973 = flatbutton("ToolbarButton973", QStringLiteral("&Install"),
                                    QStringLiteral("Install Fargo-variable on calculator. (Send all req. libs)"));
    o.button29 = flatbutton("button29", QStringLiteral("&Txt-convert"), QStringLiteral("Convert text-file to 92g-file"));
    o.button10 = flatbutton("button10", QStringLiteral("Insert &Fargo"), QStringLiteral("Insert Fargo to a backup-file"));
    o.button25 = flatbutton("button25", QStringLiteral("&Update"), QStringLiteral("Update filelist"));
    o.button19 = button("button19", QStringLiteral("S&end"), QStringLiteral("Send variables"));
    o.button21 = button("button21", QStringLiteral("&View text"), QStringLiteral("View textvariable"));
    o.ToolbarButton972 = button("ToolbarButton972", QStringLiteral("S&ave"));
    for (QWidget* w : std::initializer_list<QWidget*>{o.DriveComboBox1, o.DirectoryListBox1, o.ListView1, o.label19, o.ListView2})
        w->setEnabled(false);

    auto* tools = new QHBoxLayout;
    tools->setSpacing(0);
    tools->addWidget(o.DriveComboBox1);
    tools->addSpacing(8);
    for (QToolButton* b : {o.button9, o.ToolbarButton973, o.button29, o.button10, o.button25}) tools->addWidget(b);
    tools->addStretch();

    auto* left = new QVBoxLayout;
    left->addWidget(o.DirectoryListBox1, 1);
    left->addWidget(o.FileListBox1);

    auto* info = new QGridLayout;
    info->setVerticalSpacing(2);
    info->addWidget(new QLabel(QStringLiteral("Number of variables:")), 0, 0);
    info->addWidget(o.Label17, 0, 1);
    info->addWidget(new QLabel(QStringLiteral("Size:")), 1, 0);
    info->addWidget(o.Label18, 1, 1);
    info->addWidget(new QLabel(QStringLiteral("Description:")), 2, 0);
    info->addWidget(o.label19, 2, 1);
    info->setColumnStretch(1, 1);

    auto* middle = new QVBoxLayout;
    middle->addWidget(o.ListView1, 1);
    middle->addLayout(info);

    auto* choose = new QHBoxLayout;
    choose->setSpacing(0);
    choose->addWidget(o.allbutton);
    choose->addWidget(o.selbutton);
    choose->addStretch();
    auto* varbuttons = new QGridLayout;
    varbuttons->setSpacing(2);
    varbuttons->addWidget(o.button19, 0, 0);
    varbuttons->addWidget(o.ToolbarButton972, 0, 1);
    varbuttons->addWidget(o.button21, 1, 0, 1, 2);
    auto* right = new QVBoxLayout;
    right->addLayout(choose);
    right->addWidget(o.ListView2, 1);
    right->addLayout(varbuttons);

    auto* lists = new QHBoxLayout;
    lists->addLayout(left, 3);
    lists->addLayout(middle, 6);
    lists->addLayout(right, 4);
    for (QWidget* w : std::initializer_list<QWidget*>{o.DirectoryListBox1, o.ListView1, o.ListView2})
        w->setMinimumWidth(60);

    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(6, 4, 6, 6);
    v->addLayout(tools);
    v->addLayout(lists, 1);
    return page;
}

QWidget* TForm1::buildscreenshotpage() {
    auto* page = named(new QWidget, "screenshotpage");
    auto& s = screenshot;
    s.button5 = button("button5", QStringLiteral("&Get Screen"), QStringLiteral("Get screenshot"));
    s.button13 = button("button13", QStringLiteral("&Fargo scr."), QStringLiteral("Get FARGO-screenshot. (FCamera required)"));
    s.button6 = button("button6", QStringLiteral("&Save to file"), QStringLiteral("Save screenshot to file"));
    s.button7 = button("button7", QStringLiteral("&Copy scr."), QStringLiteral("Copy screenshot to clipboard"));
    s.button15 = button("button15", QStringLiteral("&Print"), QStringLiteral("Print screenshot"));
    s.fcamerabutton = flatbutton("fcamerabutton", QStringLiteral("Download FCamera"));
    s.panel = named(new QFrame, "panel");
    s.panel->setFrameShape(QFrame::Panel);
    s.panel->setFrameShadow(QFrame::Sunken);
    s.Image1 = named(new QLabel, "Image1");
    s.Image1->setFixedSize(240, 128);
    auto* pl = new QVBoxLayout(s.panel);
    pl->setContentsMargins(4, 4, 4, 4);
    pl->addWidget(s.Image1, 0, Qt::AlignCenter);
    s.panel->setFixedSize(250, 138);
    s.Label4 = wrapped("Label4", QStringLiteral("press the Screenshot-button to copy the screen from the TI-92 to the computer. "
                                                "to copy screenshot from FARGO, press the FARGO Screen-button"));

    auto* left = new QVBoxLayout;
    left->addWidget(s.panel);
    left->addWidget(s.Label4);
    left->addStretch();

    auto* right = new QVBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{s.button5, s.button13}) right->addWidget(w);
    right->addSpacing(10);
    for (QWidget* w : std::initializer_list<QWidget*>{s.button6, s.button7, s.button15}) right->addWidget(w);
    right->addStretch();
    right->addWidget(s.fcamerabutton);

    auto* h = new QHBoxLayout(page);
    h->setContentsMargins(8, 8, 8, 8);
    h->addLayout(left, 1);
    h->addSpacing(12);
    h->addLayout(right);
    return page;
}

QWidget* TForm1::buildsettingspage() {
    auto* page = named(new QWidget, "settingspage");
    auto& s = settingspage;
    s.ComboBox1 = named(new QComboBox, "ComboBox1", QStringLiteral("Where is you $5-cable"));
    s.ComboBox1->addItem(QStringLiteral("0378"));
    s.Button2 = button("Button2", QStringLiteral("&Test"), QStringLiteral("Check if the calculator is connected"), true);
    connect(s.Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    s.portrait = named(new QRadioButton(QStringLiteral("portrait")), "portrait");
    s.landscape = named(new QRadioButton(QStringLiteral("landscape")), "landscape");
    s.portrait->setChecked(true);
    s.size = named(new QComboBox, "size", QStringLiteral("How large will the screenshot be printed?"));
    s.size->addItems({QStringLiteral("full pagewidth"), QStringLiteral("half pagewidth"), QStringLiteral("third pagewidth"),
                      QStringLiteral("quarter pagewidth")});
    s.size->setCurrentIndex(1);
    s.Edit2 = named(new QLineEdit, "Edit2");
    s.Button23 = button("Button23", QStringLiteral("Browse"));
    s.CheckBox1 = named(new QCheckBox(QStringLiteral("Descriptions")), "CheckBox1");
    s.CheckBox3 = named(new QCheckBox(QStringLiteral("TXT-files")), "CheckBox3");
    s.CheckBox4 = named(new QCheckBox(QStringLiteral("TI92-files")), "CheckBox4");
    s.CheckBox2 = named(new QCheckBox(QStringLiteral("Text-information")), "CheckBox2");
    s.CheckBox8 = named(new QCheckBox(QStringLiteral("Screenshot")), "CheckBox8");
    s.CheckBox5 = named(new QCheckBox(QStringLiteral("Check calc")), "CheckBox5");
    s.CheckBox7 = named(new QCheckBox(QStringLiteral("Update directorylist")), "CheckBox7");
    s.Edit3 = named(new QLineEdit(QStringLiteral("92p;92b;92g;92t;")), "Edit3");
    s.Edit3->setEnabled(false);
    s.Button14 = button("Button14", QStringLiteral("&Associate"), QStringLiteral("Configure windows 95 explorer"));
    s.Edit4 = named(new QLineEdit, "Edit4", QStringLiteral("Where are all Fargo-libraries installed"));
    s.Button4 = button("Button4", QStringLiteral("Browse"));
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
    port->addWidget(s.ComboBox1);
    port->addWidget(s.serialdevice, 1);
    port->addWidget(s.Button2);
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
    fargo->addWidget(s.Edit2, 1);
    fargo->addWidget(s.Button23);
    v->addLayout(fargo);

    auto* lists = new QGroupBox;
    lists->setObjectName("filelistoptions");
    auto* lg = new QGridLayout(lists);
    lg->setContentsMargins(6, 4, 6, 4);
    lg->setVerticalSpacing(2);
    lg->addWidget(s.CheckBox1, 0, 0);
    lg->addWidget(s.CheckBox3, 0, 1);
    lg->addWidget(s.CheckBox4, 0, 2);
    lg->addWidget(s.CheckBox2, 1, 0);
    lg->addWidget(s.CheckBox8, 1, 1);
    v->addWidget(lists);

    auto* startup = new QGroupBox;
    startup->setObjectName("startupoptions");
    auto* sg = new QHBoxLayout(startup);
    sg->setContentsMargins(6, 4, 6, 4);
    sg->addWidget(s.CheckBox5);
    sg->addWidget(s.CheckBox7);
    sg->addStretch();
    v->addWidget(startup);

    auto* assoc = new QHBoxLayout;
    assoc->addWidget(new QLabel(QStringLiteral("windows 95")));
    assoc->addWidget(s.Edit3, 1);
    assoc->addWidget(s.Button14);
    v->addLayout(assoc);

    auto* library = new QHBoxLayout;
    library->addWidget(new QLabel(QStringLiteral("library directory")));
    library->addWidget(s.Edit4, 1);
    library->addWidget(s.Button4);
    v->addLayout(library);
    v->addStretch();
    return page;
}

QWidget* TForm1::buildaboutpage() {
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

    static const char* const kNames[8] = {"Officebutton1", "Officebutton2", "Officebutton3", "Officebutton4",
                                          "Officebutton5", "Officebutton6", "Officebutton7", "Officebutton8"};
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
        about.Officebutton[i] = flatbutton(kNames[i], captions[i]);
        about.Officebutton[i]->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    for (int i : order) right->addWidget(about.Officebutton[i]);
    right->addStretch();

    auto* h = new QHBoxLayout(page);
    h->setContentsMargins(8, 8, 8, 8);
    h->addLayout(left, 3);
    h->addSpacing(10);
    h->addLayout(right, 2);
    return page;
}

void TForm1::buildstatusbar() {
    Gauge1 = named(new QProgressBar, "Gauge1");
    Gauge1->setTextVisible(false);
    Gauge1->setRange(0, 100);
    Gauge1->setValue(0);
    Gauge1->setFixedSize(130, 14);
    Gauge1->setStyleSheet(QStringLiteral("QProgressBar { border: none; background: transparent; }"
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
    connect(statimage, &ClickLabel::clicked, this, &TForm1::statimageClick);

    contact = named(new QLabel(this), "contact");
    contact->setPixmap(contactpicture());
    nocontact = named(new QLabel(this), "nocontact");
    nocontact->setPixmap(nocontactpicture());
    Image3 = named(new QLabel(this), "Image3");
    Image3->setPixmap(image3picture());
    for (QLabel* l : {contact, nocontact, Image3}) l->hide();
    statimage->setPixmap(nocontact->pixmap());

    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    bar->addWidget(Gauge1);
    bar->addWidget(status, 1);
    bar->addPermanentWidget(linklabel);
    bar->addPermanentWidget(statimage);
}

} // namespace tessaly::app
