#pragma once
#include <QLabel>
#include <QMainWindow>
#include <cstdint>
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
class QLayout;
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
class QVBoxLayout;

namespace tessaly {
class Cable;
class SimulatedCalculator;
}

namespace tessaly::app {

class TextEditor;
class RemoteWindow;
class InfoWindow;
class ScreenshotWindow;

// What the program is started with. Tests fill it with a temporary settings file, a
// port and clock of their own and the scripted answerer.
struct AppContext {
    std::string settingsfile;              // empty: settingspath()
    std::vector<std::string> parameters;   // the command line without the program name
    std::string exefile;                   // written as EXE-file
    std::string programdir;                // the program's folder, ending in "/": wputfargo is found from there
    std::string homedir;                   // the user's home folder, ending in "/": the browser starts there
    std::string storefolder;               // the package store's folder (packagestorefolder), FARGO's backup beside it
    LinkSpec linkspec;                     // which cable, when no port is given
    std::string linkerror;                 // why TESSALY92_LINK names no cable: the window starts without one
    bool linkfromsettings = false;         // no TESSALY92_LINK: the Settings page's cable kind chooses
    Port* port = nullptr;                  // used instead of opening linkspec's backend
    std::string portdescription;           // what that port is, e.g. "virtual TI-89"
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
    QToolButton* calculatorbutton;  // "&Calculator"
    QToolButton* receivedbutton;  // "R&eceived"
    QTreeWidget* variablelist;
    QPushButton* updatebutton;      // "Update directorylist"
    QPushButton* receivebutton;       // "&Receive"
    QPushButton* savebutton;       // "&Save to file"
    QPushButton* viewbutton;      // "&View"
    QCheckBox* manual;          // "Select on calc"
    QCheckBox* storefoldercheck;       // "Store folder"
    QLineEdit* commentedit;           // package comment
    QLabel* helplabel;             // help line
    QPushButton* backupbutton;      // "Get &backup"
    QPushButton* fargobutton;      // "Put &Fargo"
};

struct OpenPage {
    QComboBox* drivebox;
    QTreeView* directorytree;
    QListWidget* filenames;  // hidden name list
    QTreeWidget* filelist;
    QLabel* countlabel;
    QLabel* sizelabel;
    ClickLabel* descriptionlabel;
    QTreeWidget* contentlist;
    QToolButton* allbutton;
    QToolButton* selbutton;
    QToolButton* sendfilebutton;
    QToolButton* installbutton;
    QToolButton* convertbutton;
    QToolButton* insertfargobutton;
    QToolButton* refreshbutton;
    QPushButton* sendvariablesbutton;
    QPushButton* viewtextbutton;
    QPushButton* savevariablesbutton;
};

struct ScreenshotPage {
    QPushButton* getscreenbutton;
    QPushButton* fargoscreenbutton;
    QFrame* panel;
    QLabel* screenpicture;
    QLabel* hintlabel;
    QToolButton* fcamerabutton;  // "Download FCamera"
    QPushButton* savescreenbutton;
    QPushButton* copyscreenbutton;
    QPushButton* printbutton;
};

struct SettingsPage {
    QComboBox* portaddressbox;
    QPushButton* testbutton;
    QPushButton* versionbutton;
    QRadioButton* portrait;
    QRadioButton* landscape;
    QComboBox* size;
    QLineEdit* fargodiredit;
    QPushButton* fargodirbutton;
    QCheckBox* descriptionscheck;
    QCheckBox* txtfilescheck;
    QCheckBox* ti92filescheck;
    QCheckBox* textinfocheck;
    QCheckBox* screenshotcheck;
    QCheckBox* checkcalccheck;
    QCheckBox* updatelistcheck;
    QLineEdit* extensionsedit;
    QPushButton* associatebutton;
    QLineEdit* librarydiredit;
    QPushButton* librarydirbutton;
    // The cable beside the port list: other cables than the parallel one.
    QComboBox* cablekind;
    QComboBox* serialdevice;
    QCheckBox* pacing;
    QLabel* portlabel;  // "portaddres", shown with the port list alone
    QComboBox* model;   // the calculator model, or whichever answers
};

struct AboutPage {
    QToolButton* linkbuttons[8];  // aboutlink1 .. aboutlink8
};

// What the status picture says of the calculator.
enum class Contact {
    None,     // no answer: the picture blinks while a transfer runs
    Ready,    // it answered, and the contact picture shows
    Working,  // it answered, and a transfer runs: the busy frame shows, alternating with the contact picture
};

// The main window: notebook, status bar, the shared transfer state and the settings file.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const AppContext& context);
    ~MainWindow() override;

    TransferState& state() { return m_state; }
    Link& link();
    QtShell& shell() { return *m_shell; }
    Settings& settings() { return m_settings; }
    const std::string& settingsfile() const { return m_settingsfile; }
    Contact contactstate() const { return m_contact; }
    QTimer* controltimer() const { return m_controltimer; }
    bool startupdone() const { return m_startupdone; }
    // The simulated calculator at the other end of the cable; nullptr for a real cable.
    SimulatedCalculator* virtualcalculator() const;
    // The calculator the window's texts name: the model that answered, else the one chosen
    // on the Settings page, else the virtual calculator's own; nullptr while none is known.
    const CalculatorModel* calculatormodel() const;
    // Its name; "calculator" while none is known.
    std::string calculatorname() const;

    // The cable comes from the Settings page (no TESSALY92_LINK), so a change there counts at the next start.
    bool cablefromsettings() const { return m_context.linkfromsettings; }

    void setsecondarywindows(TextEditor* text, RemoteWindow* remote, InfoWindow* info, ScreenshotWindow* scr);
    // The text editor that the Text button opens: the newest one.
    void settextform(TextEditor* text) { m_textform = text; }

    // Each page's widgets, for the bindings that give them behaviour.
    ReceivePage receive{};
    OpenPage open{};
    ScreenshotPage screenshot{};
    SettingsPage settingspage{};
    AboutPage about{};

signals:
    // The calculator the texts name has changed: what names it follows.
    void calculatorchanged();
    // Files dropped on the window or named on its command line are to be sent. While no
    // binding sends them, the window says that nothing was sent.
    void sendfilesasked(const std::vector<std::string>& paths, bool ask, bool install);
    // The settings are about to be written: a page's binding puts its controls' state in.
    void settingsstoring(Settings& settings);
    // Start-up asks for the directory listing ("Update directorylist" is on).
    void startuplistingdue();

public slots:
    void statimageClick();
    void controltimerTimer();
    // Ends the running transfer at its next byte, then says what ended it.
    void cancelbtnClick();
    // What ended the last transfer: its failure in a box and the status line, else that it
    // was cancelled. The timer calls it once a transfer has failed.
    void reportend();
    void remotebuttonClick();
    void textbuttonClick();
    void startup();
    void sendcommandlinefile();
    void senddropped(const std::vector<std::string>& droppedpaths);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setup(const AppContext& context);
    void storesettings();
    void teardown();
    void buildnotebook();
    QWidget* buildreceivepage();
    void makereceivecontrols(QWidget* page);
    void layreceivepage(QWidget* page);
    QWidget* buildopenpage();
    void makeopencontrols(QWidget* page);
    QLayout* openpagelists();
    QWidget* buildscreenshotpage();
    QWidget* buildsettingspage();
    void makesettingscontrols();
    void laysettingsrows(QVBoxLayout* v);
    void laysettingsgroups(QVBoxLayout* v);
    QWidget* buildaboutpage();
    QLayout* aboutlinks();
    void buildstatusbar();
    void openlink();
    void showlinkstate();
    // A cable that went away is opened again while no transfer runs, at most once a second.
    void reconnect();
    // The hints that depend on the calculator on the cable.
    void showmodelhints();
    void followcalculator();
    int statuslinewidth() const;  // what the status bar needs to show its parts whole
    void widenforstatusline(bool recentre, int screenwidth);
    void linkfromsettings();
    std::string linkproblem() const;  // why there is no cable; empty when there is one
    void collectsettings();
    void sendfilelist(const std::vector<std::string>& paths, bool ask, bool install);

    // The window's own frame: the bindings reach none of it.
    QTabWidget* notebook = nullptr;
    QProgressBar* gauge = nullptr;
    QLabel* status = nullptr;
    ClickLabel* statimage = nullptr;
    QLabel* modellabel = nullptr;  // the model that answered the ready check, beside the link picture
    QLabel* aboutcalculator = nullptr;  // the About page's line naming the calculator
    QLabel* linklabel = nullptr;  // which cable; says plainly when a virtual calculator is attached
    QToolButton* remotebutton = nullptr;
    QToolButton* textbutton = nullptr;
    QToolButton* cancelbtn = nullptr;
    // Hidden holders of the three status pictures.
    QLabel* contact = nullptr;
    QLabel* nocontact = nullptr;
    QLabel* busycontact = nullptr;

    AppContext m_context;
    std::string m_settingsfile;
    Settings m_settings;
    TransferState m_state;
    std::unique_ptr<Clock> m_ownclock;
    Clock* m_clock = nullptr;
    std::unique_ptr<QtShell> m_shell;
    std::unique_ptr<Port> m_noport;  // stands in for the cable a wrong TESSALY92_LINK did not name
    std::unique_ptr<Cable> m_cable;
    std::string m_calcnotice;  // what the virtual calculator told its user last
    const CalculatorModel* m_namedmodel = nullptr;  // the calculator the texts name now
    QTimer* m_controltimer = nullptr;
    Contact m_contact = Contact::None;
    std::int64_t m_lastreopen = 0;  // steady clock, milliseconds
    bool m_firstactivation = true;
    bool m_startupqueued = false;  // the start-up work waits for the first showing
    bool m_startupdone = false;
    TextEditor* m_textform = nullptr;
    RemoteWindow* m_remoteform = nullptr;
    InfoWindow* m_infoform = nullptr;
    ScreenshotWindow* m_scrform = nullptr;
};

} // namespace tessaly::app
