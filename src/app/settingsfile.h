#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The settings file, "tessaly.ini": plain initialisation-file text, sections in square
// brackets and one key=value line per setting. Kept free of Qt so it is tested on its own.
namespace tessaly::app {

namespace section {
inline constexpr std::string_view Last = "Last";
inline constexpr std::string_view Settings = "Settings";
// A section of its own, so a settings file shared with an earlier version keeps its old sections as they were.
inline constexpr std::string_view Cable = "Cable";
// Where each kind of file was last saved or opened: key the kind ("92b", "txt"), value the folder.
inline constexpr std::string_view DialogFolders = "Dialog-folders";
inline constexpr std::string_view Calculator = "Calculator";
} // namespace section

// Every key of the file, in one place.
namespace key {
inline constexpr std::string_view Directory = "Directory";
inline constexpr std::string_view Drive = "Drive";
inline constexpr std::string_view ActivePage = "ActivePage";
inline constexpr std::string_view XPos = "X_Pos";
inline constexpr std::string_view YPos = "Y_Pos";
inline constexpr std::string_view Width = "Width";
inline constexpr std::string_view Height = "Height";
inline constexpr std::string_view ColWidth = "ColWidth";
inline constexpr std::string_view InfoXPos = "Info_X_Pos";
inline constexpr std::string_view InfoYPos = "Info_Y_Pos";
inline constexpr std::string_view ScrXPos = "Scr_X_Pos";
inline constexpr std::string_view ScrYPos = "Scr_Y_Pos";
inline constexpr std::string_view RemoteXPos = "RemoteX_Pos";
inline constexpr std::string_view RemoteYPos = "RemoteY_Pos";
inline constexpr std::string_view FargoDir = "FARGO-dir";
inline constexpr std::string_view LibraryDir = "Library-dir";
inline constexpr std::string_view ShowDesc = "Show_Desc";
inline constexpr std::string_view ShowInfo = "Show_Info";
inline constexpr std::string_view ShowTXT = "Show_TXT";
inline constexpr std::string_view Show92 = "Show_92";
inline constexpr std::string_view CheckStart = "Check_Start";
inline constexpr std::string_view StoreFolder = "Store_Folder";
inline constexpr std::string_view UpdateStart = "Update_Start";
inline constexpr std::string_view ShowScreenshot = "Show_Screenshot";
inline constexpr std::string_view Portrait = "Portrait";
inline constexpr std::string_view Printersize = "Printersize";
inline constexpr std::string_view PortAdress = "PortAdress";
inline constexpr std::string_view ExeFile = "EXE-file";
// In section Cable.
inline constexpr std::string_view CableKind = "Kind";
inline constexpr std::string_view SerialDevice = "Serial-device";
inline constexpr std::string_view Pacing = "Pacing";
// In section Calculator.
inline constexpr std::string_view Model = "Model";
} // namespace key

// The designed size of the main window.
inline constexpr int kDesignedWidth = 560;
inline constexpr int kDesignedHeight = 388;
inline constexpr int kDefaultColWidth = 90;
inline constexpr int kMinColWidth = 20;

// The text of an initialisation file. Section and key names compare without regard to
// case, as an earlier tessaly92 wrote and read them. Writing a key replaces its value where it
// stands and appends a new key at the end of its section, so a file written by another
// program keeps its lines and order.
class IniFile {
public:
    static IniFile parse(std::string_view text);
    // A missing or unreadable file reads as an empty one: every key takes its default.
    static IniFile load(const std::string& path);

    std::optional<std::string> value(std::string_view sect, std::string_view name) const;
    std::string readstring(std::string_view sect, std::string_view name, std::string_view fallback) const;
    // Decimal text; anything else (missing, empty, "12a", out of range) gives the default.
    int readinteger(std::string_view sect, std::string_view name, int fallback) const;
    // Read as an integer; any value other than 0 is true.
    bool readbool(std::string_view sect, std::string_view name, bool fallback) const;

    // Every key=value line of a section, in order.
    std::vector<std::pair<std::string, std::string>> entries(std::string_view sect) const;
    void writestring(std::string_view sect, std::string_view name, std::string_view text);
    void writeinteger(std::string_view sect, std::string_view name, int number);
    void writebool(std::string_view sect, std::string_view name, bool on);

    std::string text() const;
    // Writes beside the target and renames over it, so an interrupted save never leaves
    // a half-written file; creates the folder when missing.
    bool save(const std::string& path, std::string* error) const;

private:
    struct Section {
        std::string name;
        struct Entry {
            std::string key, value;
            bool raw = false;  // a comment or a line without "=", kept as it was
        };
        std::vector<Entry> entries;
    };
    Section* find(std::string_view sect);
    const Section* find(std::string_view sect) const;
    std::vector<Section> m_sections;
};

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// Everything the settings file holds. The file's X keys hold top edges and its Y keys left
// edges; here each is named by the edge it is.
struct Settings {
    std::string directory, drive, activepage = "Settings";
    int top = 0, left = 0;
    int width = kDesignedWidth, height = kDesignedHeight;
    int colwidth = kDefaultColWidth;
    int infotop = 0, infoleft = 0, scrtop = 0, scrleft = 0, remotetop = 0, remoteleft = 0;
    std::string fargodir, librarydir;
    bool showdesc = true, showinfo = true, showtxt = true, show92 = true;
    bool checkstart = true, storefolder = true, updatestart = true, showscreenshot = true;
    bool portrait = true;
    int printersize = 1;
    int portindex = 0;  // the place of the port address in the port list (key PortAdress)
    // The cable beside the port list: "parallel", "black", "grey" or "silver"; the
    // serial cables' device; pacing of every byte on the cables that take whole bytes.
    std::string cablekind = "parallel";
    std::string serialdevice;
    bool pacing = true;
    std::map<std::string, std::string> dialogfolders;  // section DialogFolders
    // The calculator model chosen (a model table id such as ti92 or ti89t), or "auto": whichever answers.
    std::string model = "auto";
};

// The keys the main window reads when it is created, in the order it reads them.
// startdir is where the browser and the dialogs start before a folder is kept (the user's
// home folder, ending in "/"), which also gives the drive.
struct MainWindowDefaults {
    std::string startdir;
    std::string startdrive;
    ScreenSize screen;
};
void readmainwindowsettings(const IniFile& ini, const MainWindowDefaults& defaults, Settings& s);
// The information, screenshot and remote-control windows read their own positions.
void readinfowindowposition(const IniFile& ini, ScreenSize screen, Settings& s);
void readscreenshotwindowposition(const IniFile& ini, ScreenSize screen, Settings& s);
void readremotewindowposition(const IniFile& ini, ScreenSize screen, int mainwidth, int mainheight, Settings& s);

// Every key, in the order the main window writes them when it closes.
void writesettings(IniFile& ini, const Settings& s, std::string_view exefile);

// $XDG_CONFIG_HOME/tessaly.ini, else ~/.config/tessaly.ini.
std::string settingspath();

} // namespace tessaly::app
