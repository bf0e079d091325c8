#pragma once
#include <QLabel>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qtshell.h"
#include "app/settingsfile.h"
#include "link/clock.h"
#include "link/link.h"
#include "link/linkspec.h"
#include "link/transferstate.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class QToolButton;
class QTreeView;
class QTreeWidget;

namespace tessaly {
class Cable;
class SimulatedCalculator;
}

namespace tessaly::app {

class TTextForm;
class TForm4;
class TInfoForm;
class TScrForm;

// What the program is started with. Tests fill it with a temporary settings file, a
// port and clock of their own and the scripted answerer.
struct AppContext {
    std::string settingsfile;              // empty: settingspath()
    std::vector<std::string> parameters;   // the command line without the program name
    std::string exefile;                   // written as EXE-file
    std::string programdir;                // the program's folder, ending in "/"
    LinkSpec linkspec;                     // which cable, when no port is given
    std::string linkerror;                 // why TESSALY92_LINK names no cable: the window starts without one
    bool linkfromsettings = false;         // no TESSALY92_LINK: the Settings page's cable kind chooses
    Port* port = nullptr;                  // used instead of opening linkspec's backend
    std::string portdescription;           // what that port is, e.g. "virtual TI-92"
    SimulatedCalculator* calculator = nullptr;  // the simulated calculator behind that port, if any
    Clock* clock = nullptr;                // nullptr: the system clock
    Shell* answerer = nullptr;             // answers every dialog instead of a modal box
};

// A label that reports clicks (the status picture, the description label).
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The controls of each page, by their names, for the code that gives them behaviour.
struct ReceivePage {
    QToolButton* SpeedButton1;  // "&Calculator"
    QToolButton* SpeedButton2;  // "R&eceived"
    QTreeWidget* Listbox2;
    QPushButton* Button30;      // "Update directorylist"
    QPushButton* button1;       // "&Receive"
    QPushButton* button8;       // "&Save to file"
    QPushButton* button11;      // "&View"
    QCheckBox* manual;          // "Select on calc"
    QCheckBox* CheckBox6;       // "Store folder"
    QLineEdit* Edit1;           // package comment
    QLabel* Label8;             // help line
    QPushButton* button27;      // "Get &backup"
    QPushButton* button12;      // "Put &Fargo"
};

struct OpenPage {
    QComboBox* DriveComboBox1;
    QTreeView* DirectoryListBox1;
    QListWidget* FileListBox1;  // hidden name list
    QTreeWidget* ListView1;
    QLabel* Label17;
    QLabel* Label18;
    ClickLabel* label19;
    QTreeWidget* ListView2;
    QToolButton* allbutton;
    QToolButton* selbutton;
    QToolButton* button9;
    QToolButton* ToolbarButton973;
    QToolButton* button29;
    QToolButton* button10;
    QToolButton* button25;
    QPushButton* button19;
    QPushButton* button21;
    QPushButton* ToolbarButton972;
};

struct ScreenshotPage {
    QPushButton* button5;
    QPushButton* button13;
    QFrame* panel;
    QLabel* Image1;
    QLabel* Label4;
    QToolButton* fcamerabutton;  // "Download FCamera"
    QPushButton* button6;
    QPushButton* button7;
    QPushButton* button15;
};

struct SettingsPage {
    QComboBox* ComboBox1;
    QPushButton* Button2;
    QRadioButton* portrait;
    QRadioButton* landscape;
    QComboBox* size;
    QLineEdit* Edit2;
    QPushButton* Button23;
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox8;
    QCheckBox* CheckBox5;
    QCheckBox* CheckBox7;
    QLineEdit* Edit3;
    QPushButton* Button14;
    QLineEdit* Edit4;
    QPushButton* Button4;
    // The cable beside the port list (ours: the Windows version had the parallel port only).
    QComboBox* cablekind;
    QComboBox* serialdevice;
    QCheckBox* pacing;
    QLabel* portlabel;  // "portaddres", shown with the port list alone
};

struct AboutPage {
    QToolButton* Officebutton[8];  // Officebutton1 .. Officebutton8
};

// The main window: notebook, status bar, the shared transfer state and the settings file.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(const AppContext& context);
    ~TForm1() override;

    TransferState& state() { return m_state; }
    Link& link();
    QtShell& shell() { return *m_shell; }
    Settings& settings() { return m_settings; }
    const std::string& settingsfile() const { return m_settingsfile; }
    int contactstate() const { return m_contact; }
    QTimer* controltimer() const { return m_controltimer; }
    bool startupdone() const { return m_startupdone; }
    // The simulated calculator at the other end of the cable; nullptr for a real cable.
    SimulatedCalculator* virtualcalculator() const;


    // Sending files (dropped, or named on the command line) plugs in here.
    using SendFileList = std::function<void(const std::vector<std::string>& paths, bool ask, bool install)>;
    void setsendfilelist(SendFileList send) { m_sendfilelist = std::move(send); }
    void sendfilelist(const std::vector<std::string>& paths, bool ask, bool install);
    // The directory listing, run at start-up when "Update directorylist" is on.
    void setstartuplisting(std::function<void()> listing) { m_startuplisting = std::move(listing); }

    void setsecondarywindows(TTextForm* text, TForm4* remote, TInfoForm* info, TScrForm* scr);
    // The text editor that the Text button opens: the newest one.
    void settextform(TTextForm* text) { m_textform = text; }

    ReceivePage receive{};
    OpenPage open{};
    ScreenshotPage screenshot{};
    SettingsPage settingspage{};
    AboutPage about{};

    QTabWidget* notebook = nullptr;
    QProgressBar* Gauge1 = nullptr;
    QLabel* status = nullptr;
    ClickLabel* statimage = nullptr;
    QLabel* linklabel = nullptr;  // which cable; says plainly when a virtual TI-92 is attached
    QToolButton* Button16 = nullptr;
    QToolButton* Button24 = nullptr;
    QToolButton* cancelbtn = nullptr;
    // Hidden holders of the three status pictures.
    QLabel* contact = nullptr;
    QLabel* nocontact = nullptr;
    QLabel* Image3 = nullptr;

public slots:
    void statimageClick();
    void Button2Click();
    void ComboBox1Change(int index);
    void cablekindChange(int index);
    void controltimerTimer();
    void cancelbtnClick();
    void Button16Click();
    void Button24Click();
    void FormShow();
    void FormActivate();
    void AppMessage(const std::vector<std::string>& droppedpaths);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate(const AppContext& context);
    bool FormCloseQuery();
    void FormDestroy();
    void buildnotebook();
    QWidget* buildreceivepage();
    QWidget* buildopenpage();
    QWidget* buildscreenshotpage();
    QWidget* buildsettingspage();
    QWidget* buildaboutpage();
    void buildstatusbar();
    void openlink();
    void showlinkstate();
    void showcablechoice();
    void linkfromsettings();
    std::string linkproblem() const;  // why there is no cable; empty when there is one
    void collectsettings();

    AppContext m_context;
    std::string m_settingsfile;
    Settings m_settings;
    TransferState m_state;
    std::unique_ptr<Clock> m_ownclock;
    Clock* m_clock = nullptr;
    std::unique_ptr<QtShell> m_shell;
    std::unique_ptr<Port> m_noport;  // stands in for the cable a wrong TESSALY92_LINK did not name
    std::unique_ptr<Cable> m_cable;
    std::string m_calcnotice;  // what the virtual TI-92 told its user last
    QTimer* m_controltimer = nullptr;
    int m_contact = 0;
    bool m_firstactivation = true;
    bool m_shown = false;
    bool m_startupdone = false;
    SendFileList m_sendfilelist;
    std::function<void()> m_startuplisting;
    TTextForm* m_textform = nullptr;
    TForm4* m_remoteform = nullptr;
    TInfoForm* m_infoform = nullptr;
    TScrForm* m_scrform = nullptr;
};

} // namespace tessaly::app
