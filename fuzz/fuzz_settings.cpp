// libFuzzer target over the settings file: any text reads as settings (defaults where a
// key is unreadable), and what is written back reads as the same settings and the same
// keys, so a save never changes what the file meant.
#include "app/settingsfile.h"
#include "fuzzsupport.h"

namespace {

using namespace tessaly::app;

Settings readall(const IniFile& ini) {
    Settings s;
    const MainWindowDefaults defaults{"/opt/tessaly92/", "/", {1920, 1080}};
    readmainwindowsettings(ini, defaults, s);
    readinfowindowposition(ini, defaults.screen, s);
    readscreenshotwindowposition(ini, defaults.screen, s);
    readremotewindowposition(ini, defaults.screen, s.width, s.height, s);
    return s;
}

bool same(const Settings& a, const Settings& b) {
    auto key = [](const Settings& s) {
        return std::tie(s.directory, s.drive, s.activepage, s.xpos, s.ypos, s.width, s.height, s.colwidth, s.infoxpos,
                        s.infoypos, s.scrxpos, s.scrypos, s.remotexpos, s.remoteypos, s.fargodir, s.librarydir,
                        s.showdesc, s.showinfo, s.showtxt, s.show92, s.checkstart, s.storefolder, s.updatestart,
                        s.showscreenshot, s.portrait, s.printersize, s.portadress, s.cablekind, s.serialdevice,
                        s.pacing);
    };
    // The drive is kept as its letter alone, as older settings files hold it.
    Settings x = a, y = b;
    x.drive = x.drive.substr(0, 1);
    y.drive = y.drive.substr(0, 1);
    return key(x) == key(y);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tessaly::fuzz::Input in(data, size);
    const IniFile ini = IniFile::parse(in.text());
    // The file as written keeps what every section and key said.
    const std::string text = ini.text();
    const IniFile again = IniFile::parse(text);
    FUZZ_REQUIRE(again.text() == text);
    for (std::string_view sect : {section::Last, section::Settings, section::Cable})
        for (std::string_view k : {key::Directory, key::Width, key::CableKind, key::SerialDevice, key::ExeFile})
            FUZZ_REQUIRE(ini.value(sect, k) == again.value(sect, k));

    // The settings as read, written over the file and read again, are the same.
    const Settings first = readall(ini);
    IniFile saved = ini;
    writesettings(saved, first, "/opt/tessaly92/tessaly92");
    FUZZ_REQUIRE(same(readall(IniFile::parse(saved.text())), first));
    return 0;
}
