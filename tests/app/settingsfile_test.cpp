#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "app/cablechoice.h"
#include "app/settingsfile.h"
#include "link/cablelist.h"
#include "link/linkspec.h"

namespace tessaly::app {
namespace {

const MainWindowDefaults kDefaults{"/home/ana/", "/", {1024, 768}};

TEST(SettingsFile, WindowsEraFileReadsWithItsBackslashes) {
    // As an earlier version left it: CRLF lines, keys in another case, paths with "\".
    const IniFile ini = IniFile::parse(
        "[Last]\r\nDirectory=C:\\TI92\\Games\\\r\nDrive=c\r\nActivePage=Open variables\r\n"
        "X_Pos=40\r\nY_Pos=70\r\nwidth=600\r\nHeight=420\r\nColWidth=120\r\n"
        "[Settings]\r\nFARGO-dir=C:\\FARGO II\\\r\nLibrary-dir=C:\\FARGO II\\lib\\\r\n"
        "Show_Desc=0\r\nShow_Info=1\r\nShow_TXT=0\r\nShow_92=1\r\nCheck_Start=0\r\nStore_Folder=0\r\n"
        "Update_Start=0\r\nShow_Screenshot=0\r\nPortrait=0\r\nPrintersize=3\r\nPortAdress=1\r\n"
        "EXE-file=C:\\PROGRA~1\\TESSALY\\TESSALY.EXE\r\n");
    Settings s;
    readmainwindowsettings(ini, kDefaults, s);
    EXPECT_EQ(s.directory, "C:\\TI92\\Games\\");
    EXPECT_EQ(s.drive, "c");
    EXPECT_EQ(s.activepage, "Open variables");
    EXPECT_EQ(s.top, 40);
    EXPECT_EQ(s.left, 70);
    EXPECT_EQ(s.width, 600);
    EXPECT_EQ(s.height, 420);
    EXPECT_EQ(s.colwidth, 120);
    EXPECT_EQ(s.fargodir, "C:\\FARGO II\\");
    EXPECT_EQ(s.librarydir, "C:\\FARGO II\\lib\\");
    EXPECT_FALSE(s.showdesc);
    EXPECT_TRUE(s.showinfo);
    EXPECT_FALSE(s.showtxt);
    EXPECT_TRUE(s.show92);
    EXPECT_FALSE(s.checkstart);
    EXPECT_FALSE(s.storefolder);
    EXPECT_FALSE(s.updatestart);
    EXPECT_FALSE(s.showscreenshot);
    EXPECT_FALSE(s.portrait);
    EXPECT_EQ(s.printersize, 3);
    EXPECT_EQ(s.portindex, 1);
}

TEST(SettingsFile, MissingFileGivesEveryDefault) {
    Settings s;
    s.showdesc = false;  // must be overwritten by the default
    const IniFile ini = IniFile::load("/nonexistent/folder/tessaly.ini");
    readmainwindowsettings(ini, kDefaults, s);
    readinfowindowposition(ini, kDefaults.screen, s);
    readscreenshotwindowposition(ini, kDefaults.screen, s);
    readremotewindowposition(ini, kDefaults.screen, 600, 400, s);
    EXPECT_EQ(s.directory, "/home/ana/");
    EXPECT_EQ(s.drive, "/");
    EXPECT_EQ(s.activepage, "Settings");
    EXPECT_EQ(s.top, 768 / 2 - 388 / 2);  // top edge: screen height
    EXPECT_EQ(s.left, 1024 / 2 - 560 / 2);  // left edge: screen width
    EXPECT_EQ(s.width, 560);
    EXPECT_EQ(s.height, 388);
    EXPECT_EQ(s.colwidth, 90);
    EXPECT_EQ(s.infotop, 384);
    EXPECT_EQ(s.infoleft, 512);
    EXPECT_EQ(s.scrtop, 284);
    EXPECT_EQ(s.scrleft, 412);
    EXPECT_EQ(s.remotetop, 384 - 200);
    EXPECT_EQ(s.remoteleft, 512 - 300);
    EXPECT_TRUE(s.fargodir.empty());
    EXPECT_TRUE(s.showdesc && s.showinfo && s.showtxt && s.show92 && s.checkstart && s.storefolder &&
                s.updatestart && s.showscreenshot && s.portrait);
    EXPECT_EQ(s.printersize, 1);
    EXPECT_EQ(s.portindex, 0);
}

struct IntegerCase {
    const char* text;
    int expected;
};
class IntegerReading : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerReading, UnreadableGivesTheDefault) {
    const IniFile ini = IniFile::parse(std::string("[Settings]\nPrintersize=") + GetParam().text + "\n");
    EXPECT_EQ(ini.readinteger(section::Settings, key::Printersize, 1), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Values, IntegerReading,
                         ::testing::Values(IntegerCase{"2", 2}, IntegerCase{" 3 ", 3}, IntegerCase{"-40", -40},
                                           IntegerCase{"+7", 7}, IntegerCase{"", 1}, IntegerCase{"abc", 1},
                                           IntegerCase{"2x", 1}, IntegerCase{"1.5", 1},
                                           IntegerCase{"99999999999", 1}, IntegerCase{"- 2", 1}));

TEST(SettingsFile, BooleansReadAsIntegers) {
    const IniFile ini = IniFile::parse("[Settings]\nA=0\nB=1\nC=2\nD=-1\nE=yes\nF=\n");
    EXPECT_FALSE(ini.readbool("Settings", "A", true));
    EXPECT_TRUE(ini.readbool("Settings", "B", false));
    EXPECT_TRUE(ini.readbool("Settings", "C", false));
    EXPECT_TRUE(ini.readbool("Settings", "D", false));
    EXPECT_TRUE(ini.readbool("Settings", "E", true));  // unreadable: the default
    EXPECT_FALSE(ini.readbool("Settings", "F", false));
    EXPECT_TRUE(ini.readbool("Settings", "Missing", true));
}

TEST(SettingsFile, FreshFileIsWrittenInWriteOrder) {
    Settings s;
    s.directory = "/home/u/ti/";
    s.drive = "/";
    s.fargodir = "/home/u/fargo/";
    s.top = 10;
    s.left = 20;
    s.infotop = 1;
    s.infoleft = 2;
    s.scrtop = 3;
    s.scrleft = 4;
    s.remotetop = 5;
    s.remoteleft = 6;
    s.showinfo = false;
    s.portindex = 2;
    IniFile ini = IniFile::parse("");
    writesettings(ini, s, "/usr/bin/tessaly92");
    EXPECT_EQ(ini.text(),
              "[Last]\nDirectory=/home/u/ti/\nDrive=/\nActivePage=Settings\nX_Pos=10\nY_Pos=20\n"
              "Info_X_Pos=1\nInfo_Y_Pos=2\nScr_X_Pos=3\nScr_Y_Pos=4\nRemoteX_Pos=5\nRemoteY_Pos=6\n"
              "Width=560\nHeight=388\nColWidth=90\n"
              "[Settings]\nFARGO-dir=/home/u/fargo/\nLibrary-dir=\nShow_Desc=1\nShow_Info=0\nShow_TXT=1\n"
              "Show_92=1\nCheck_Start=1\nStore_Folder=1\nUpdate_Start=1\nShow_Screenshot=1\nPortrait=1\n"
              "Printersize=1\nPortAdress=2\nEXE-file=/usr/bin/tessaly92\n"
              "[Cable]\nKind=parallel\nSerial-device=\nPacing=1\n[Calculator]\nModel=auto\n");
}

TEST(SettingsFile, CableChoiceIsKeptApartFromTheWindowsKeys) {
    IniFile ini = IniFile::parse("[Settings]\nPortAdress=1\n[Cable]\nKind=grey\nSerial-device=/dev/ttyUSB0\nPacing=0\n");
    Settings s;
    readmainwindowsettings(ini, kDefaults, s);
    EXPECT_EQ(s.portindex, 1);
    EXPECT_EQ(s.cablekind, "grey");
    EXPECT_EQ(s.serialdevice, "/dev/ttyUSB0");
    EXPECT_FALSE(s.pacing);
    s.cablekind = "black";
    writesettings(ini, s, "/usr/bin/tessaly92");
    const std::string text = ini.text();
    EXPECT_NE(text.find("[Cable]\nKind=black\nSerial-device=/dev/ttyUSB0\nPacing=0\n"), std::string::npos) << text;
}

TEST(CableChoice, ComposesTheLinkString) {
    struct Case { const char* kind; const char* device; const char* model; const char* link; };
    const Case cases[] = {{"parallel", "/dev/ttyS0", "ti89", ""}, {"black", "/dev/ttyS0", "auto", "black:/dev/ttyS0"},
                          {"grey", "/dev/ttyUSB1", "auto", "grey:/dev/ttyUSB1"}, {"silver", "/dev/ttyS0", "auto", "silver"},
                          {"virtual", "/dev/ttyS0", "auto", "virtual"}, {"virtual", "", "ti89t", "virtual:ti89t"},
                          {"carrier pigeon", "", "auto", ""}};
    for (const auto& c : cases) {
        EXPECT_EQ(composelinkstring(c.kind, c.device, c.model), c.link) << c.kind;
        std::string why;
        EXPECT_TRUE(!*c.link || parselinkspec(c.link, &why)) << c.link << why;  // the window opens what it composes
    }
}

TEST(CableChoice, SerialPortsOfferedInNumberOrderEmptyUartsLeftOut) {
    QTemporaryDir dev, sys;
    for (const char* name : {"ttyS10", "ttyACM0", "ttyS2", "ttyS3", "ttyUSB0", "tty0", "ttyS", "ttySx", "null"})
        std::ofstream(dev.filePath(name).toStdString());
    for (auto [port, type] : {std::pair{"ttyS2", "4"}, {"ttyS10", "4"}, {"ttyS3", "0"}}) {
        QDir(sys.path()).mkpath(port);
        std::ofstream(sys.filePath(QString(port) + "/type").toStdString()) << type << "\n";
    }
    CableListPaths paths;
    paths.dev = dev.path().toStdString();
    paths.sysclass = sys.path().toStdString();
    const std::string d = dev.path().toStdString() + "/";
    std::vector<std::string> found;
    for (const auto& p : serialports(paths)) found.push_back(p.string());
    EXPECT_EQ(found, (std::vector<std::string>{d + "ttyS2", d + "ttyS10", d + "ttyUSB0", d + "ttyACM0"}));
}

TEST(SettingsFile, RoundTripThroughARealFile) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("sub/folder/tessaly.ini").toStdString();
    Settings written;
    written.directory = "C:\\TI92\\";
    written.drive = "c";
    written.activepage = "About";
    written.top = -5;
    written.left = 300;
    written.width = 700;
    written.colwidth = 20;
    written.fargodir = "C:\\FARGO\\";
    written.librarydir = "/home/u/My Libraries/";
    written.showdesc = false;
    written.portrait = false;
    written.printersize = 0;
    written.portindex = 1;
    IniFile ini = IniFile::load(path);
    writesettings(ini, written, "/x/tessaly92");
    std::string error;
    ASSERT_TRUE(ini.save(path, &error)) << error;  // creates the missing folders

    const IniFile again = IniFile::load(path);
    Settings read;
    readmainwindowsettings(again, kDefaults, read);
    EXPECT_EQ(read.directory, written.directory);
    EXPECT_EQ(read.drive, written.drive);
    EXPECT_EQ(read.activepage, written.activepage);
    EXPECT_EQ(read.top, written.top);
    EXPECT_EQ(read.left, written.left);
    EXPECT_EQ(read.width, written.width);
    EXPECT_EQ(read.colwidth, written.colwidth);
    EXPECT_EQ(read.fargodir, written.fargodir);
    EXPECT_EQ(read.librarydir, written.librarydir);
    EXPECT_EQ(read.showdesc, written.showdesc);
    EXPECT_EQ(read.portrait, written.portrait);
    EXPECT_EQ(read.printersize, written.printersize);
    EXPECT_EQ(read.portindex, written.portindex);
    // Written once more, the file does not change.
    IniFile third = again;
    writesettings(third, read, "/x/tessaly92");
    EXPECT_EQ(third.text(), again.text());
}

// A file the fuzzer made: a "[]" header after [Cable]. Saved, its keys stay out of [Cable].
TEST(SettingsFile, SavedFileMeansWhatTheLoadedOneMeant) {
    const IniFile loaded = IniFile::load(std::string(TESSALY_TESTDATA_DIR) + "/fuzz/settings-empty-section.ini");
    QTemporaryDir dir;
    const std::string path = dir.filePath("tessaly.ini").toStdString();
    std::string error;
    ASSERT_TRUE(loaded.save(path, &error)) << error;
    const IniFile again = IniFile::load(path);
    EXPECT_EQ(again.text(), loaded.text());
    EXPECT_EQ(again.value(section::Cable, key::CableKind), std::nullopt);
}

TEST(SettingsFile, ForeignLinesStayAndValuesChangeInPlace) {
    IniFile ini = IniFile::parse("; kept\n[Settings]\nPortAdress=2\nOther=keep me\n\n[Last]\nX_Pos=1\n");
    ini.writeinteger(section::Settings, key::PortAdress, 0);
    ini.writeinteger(section::Settings, key::Printersize, 3);
    ini.writeinteger(section::Last, key::XPos, 9);
    EXPECT_EQ(ini.text(), "; kept\n[Settings]\nPortAdress=0\nOther=keep me\nPrintersize=3\n\n[Last]\nX_Pos=9\n");
}

TEST(SettingsFile, UnwritableFolderKeepsTheOldFile) {
    QTemporaryDir dir;
    const std::string folder = dir.filePath("locked").toStdString();
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/tessaly.ini";
    std::ofstream(path) << "[Last]\nX_Pos=1\n";
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::access(folder.c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights that ignore permissions";
    IniFile ini = IniFile::load(path);
    ini.writeinteger(section::Last, key::XPos, 2);
    std::string error;
    EXPECT_FALSE(ini.save(path, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(IniFile::load(path).readinteger(section::Last, key::XPos, 0), 1);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
}

TEST(SettingsFile, LocationFollowsXdgConfigHome) {
    const char* oldxdg = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = oldxdg ? oldxdg : "";
    const char* home = std::getenv("HOME");
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(settingspath(), "/tmp/cfg/tessaly.ini");
    setenv("XDG_CONFIG_HOME", "relative/cfg", 1);  // not an absolute path: ignored
    EXPECT_EQ(settingspath(), std::string(home ? home : ".") + "/.config/tessaly.ini");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settingspath(), std::string(home ? home : ".") + "/.config/tessaly.ini");
    if (oldxdg) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

} // namespace
} // namespace tessaly::app
