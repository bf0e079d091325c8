#include "app/settingsfile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/safefile.h"
#include "link/byteorder.h"

namespace tessaly::app {

namespace {

std::string_view trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

} // namespace

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    ini.m_sections.push_back({});  // lines before the first section header
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::string_view t = trim(line);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            ini.m_sections.push_back({std::string(trim(t.substr(1, t.size() - 2))), {}});
            continue;
        }
        Section& sect = ini.m_sections.back();
        const std::size_t eq = t.find('=');
        if (t.empty() || t.front() == ';' || eq == std::string_view::npos || eq == 0)
            sect.entries.push_back({std::string(t), {}, true});
        else
            sect.entries.push_back({std::string(trim(t.substr(0, eq))), std::string(trim(t.substr(eq + 1))), false});
    }
    return ini;
}

IniFile IniFile::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return parse({});
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return parse(buffer.str());
}

const IniFile::Section* IniFile::find(std::string_view sect) const {
    for (const Section& s : m_sections)
        if (!s.name.empty() && sameletters(s.name, sect)) return &s;
    return nullptr;
}

IniFile::Section* IniFile::find(std::string_view sect) {
    return const_cast<Section*>(static_cast<const IniFile*>(this)->find(sect));
}

std::optional<std::string> IniFile::value(std::string_view sect, std::string_view name) const {
    const Section* s = find(sect);
    if (!s) return std::nullopt;
    for (const auto& e : s->entries)
        if (!e.raw && sameletters(e.key, name)) return e.value;
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> IniFile::entries(std::string_view sect) const {
    std::vector<std::pair<std::string, std::string>> out;
    if (const Section* s = find(sect))
        for (const auto& e : s->entries)
            if (!e.raw) out.emplace_back(e.key, e.value);
    return out;
}

std::string IniFile::readstring(std::string_view sect, std::string_view name, std::string_view fallback) const {
    auto v = value(sect, name);
    return v ? *v : std::string(fallback);
}

int IniFile::readinteger(std::string_view sect, std::string_view name, int fallback) const {
    auto v = value(sect, name);
    if (!v) return fallback;
    std::string_view text = *v;
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return fallback;
    return number;
}

bool IniFile::readbool(std::string_view sect, std::string_view name, bool fallback) const {
    return readinteger(sect, name, fallback ? 1 : 0) != 0;
}

void IniFile::writestring(std::string_view sect, std::string_view name, std::string_view text) {
    Section* s = find(sect);
    if (!s) {
        m_sections.push_back({std::string(sect), {}});
        s = &m_sections.back();
    }
    for (auto& e : s->entries)
        if (!e.raw && sameletters(e.key, name)) {
            e.value = text;
            return;
        }
    // A new key goes after the last setting of its section, before trailing blank lines.
    auto pos = s->entries.end();
    while (pos != s->entries.begin() && std::prev(pos)->raw && std::prev(pos)->key.empty()) --pos;
    s->entries.insert(pos, {std::string(name), std::string(text), false});
}

void IniFile::writeinteger(std::string_view sect, std::string_view name, int number) {
    writestring(sect, name, std::to_string(number));
}

void IniFile::writebool(std::string_view sect, std::string_view name, bool on) {
    writestring(sect, name, on ? "1" : "0");
}

std::string IniFile::text() const {
    std::string out;
    for (const Section& s : m_sections) {
        // Only the lines before the first header have none; a "[]" header is kept, or its
        // keys would move into the section before it.
        if (&s != &m_sections.front()) out += "[" + s.name + "]\n";
        for (const auto& e : s.entries) out += e.raw ? e.key + "\n" : e.key + "=" + e.value + "\n";
    }
    return out;
}

bool IniFile::save(const std::string& path, std::string* error) const {
    std::error_code ec;
    const std::filesystem::path target(path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    return savewhole(target, text(), error);
}

void readmainwindowsettings(const IniFile& ini, const MainWindowDefaults& d, Settings& s) {
    using namespace key;
    const auto L = section::Last;
    const auto S = section::Settings;
    s.directory = ini.readstring(L, Directory, d.startdir);
    s.fargodir = ini.readstring(S, FargoDir, "");
    s.librarydir = ini.readstring(S, LibraryDir, "");
    s.drive = ini.readstring(L, Drive, d.startdrive);
    s.activepage = ini.readstring(L, ActivePage, "Settings");
    s.top = ini.readinteger(L, XPos, d.screen.height / 2 - kDesignedHeight / 2);
    s.left = ini.readinteger(L, YPos, d.screen.width / 2 - kDesignedWidth / 2);
    s.width = ini.readinteger(L, Width, kDesignedWidth);
    s.height = ini.readinteger(L, Height, kDesignedHeight);
    s.colwidth = ini.readinteger(L, ColWidth, kDefaultColWidth);
    s.showdesc = ini.readbool(S, ShowDesc, true);
    s.showinfo = ini.readbool(S, ShowInfo, true);
    s.showtxt = ini.readbool(S, ShowTXT, true);
    s.show92 = ini.readbool(S, Show92, true);
    s.checkstart = ini.readbool(S, CheckStart, true);
    s.storefolder = ini.readbool(S, StoreFolder, true);
    s.updatestart = ini.readbool(S, UpdateStart, true);
    s.showscreenshot = ini.readbool(S, ShowScreenshot, true);
    s.portrait = ini.readbool(S, Portrait, true);
    s.printersize = ini.readinteger(S, Printersize, 1);
    s.portindex = ini.readinteger(S, PortAdress, 0);
    s.cablekind = ini.readstring(section::Cable, CableKind, "parallel");
    s.serialdevice = ini.readstring(section::Cable, SerialDevice, "");
    s.pacing = ini.readbool(section::Cable, Pacing, true);
    for (auto& [kind, folder] : ini.entries(section::DialogFolders)) s.dialogfolders[kind] = folder;
    s.model = ini.readstring(section::Calculator, Model, "auto");
}

void readinfowindowposition(const IniFile& ini, ScreenSize screen, Settings& s) {
    s.infotop = ini.readinteger(section::Last, key::InfoXPos, screen.height / 2);
    s.infoleft = ini.readinteger(section::Last, key::InfoYPos, screen.width / 2);
}

void readscreenshotwindowposition(const IniFile& ini, ScreenSize screen, Settings& s) {
    s.scrtop = ini.readinteger(section::Last, key::ScrXPos, screen.height / 2 - 100);
    s.scrleft = ini.readinteger(section::Last, key::ScrYPos, screen.width / 2 - 100);
}

void readremotewindowposition(const IniFile& ini, ScreenSize screen, int mainwidth, int mainheight, Settings& s) {
    s.remotetop = ini.readinteger(section::Last, key::RemoteXPos, screen.height / 2 - mainheight / 2);
    s.remoteleft = ini.readinteger(section::Last, key::RemoteYPos, screen.width / 2 - mainwidth / 2);
}

void writesettings(IniFile& ini, const Settings& s, std::string_view exefile) {
    using namespace key;
    const auto L = section::Last;
    const auto S = section::Settings;
    ini.writestring(L, Directory, s.directory);
    ini.writestring(L, Drive, s.drive.substr(0, 1));
    ini.writestring(L, ActivePage, s.activepage);
    ini.writestring(S, FargoDir, s.fargodir);
    ini.writestring(S, LibraryDir, s.librarydir);
    ini.writeinteger(L, XPos, s.top);
    ini.writeinteger(L, YPos, s.left);
    ini.writeinteger(L, InfoXPos, s.infotop);
    ini.writeinteger(L, InfoYPos, s.infoleft);
    ini.writeinteger(L, ScrXPos, s.scrtop);
    ini.writeinteger(L, ScrYPos, s.scrleft);
    ini.writeinteger(L, RemoteXPos, s.remotetop);
    ini.writeinteger(L, RemoteYPos, s.remoteleft);
    ini.writeinteger(L, Width, s.width);
    ini.writeinteger(L, Height, s.height);
    ini.writeinteger(L, ColWidth, s.colwidth);
    ini.writebool(S, ShowDesc, s.showdesc);
    ini.writebool(S, ShowInfo, s.showinfo);
    ini.writebool(S, ShowTXT, s.showtxt);
    ini.writebool(S, Show92, s.show92);
    ini.writebool(S, CheckStart, s.checkstart);
    ini.writebool(S, StoreFolder, s.storefolder);
    ini.writebool(S, UpdateStart, s.updatestart);
    ini.writebool(S, ShowScreenshot, s.showscreenshot);
    ini.writebool(S, Portrait, s.portrait);
    ini.writeinteger(S, Printersize, s.printersize);
    ini.writeinteger(S, PortAdress, s.portindex);
    ini.writestring(S, ExeFile, exefile);
    ini.writestring(section::Cable, CableKind, s.cablekind);
    ini.writestring(section::Cable, SerialDevice, s.serialdevice);
    ini.writebool(section::Cable, Pacing, s.pacing);
    for (const auto& [kind, folder] : s.dialogfolders) ini.writestring(section::DialogFolders, kind, folder);
    ini.writestring(section::Calculator, Model, s.model);
}

std::string settingspath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string dir;
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (xdg && xdg[0] == '/') {
        dir = xdg;
    } else {
        const char* home = std::getenv("HOME");
        dir = std::string(home && *home ? home : ".") + "/.config";
    }
    return dir + "/tessaly.ini";
}

} // namespace tessaly::app
