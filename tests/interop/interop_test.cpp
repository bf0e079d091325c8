// The independent link library (through interop_peer and the parport shim) against
// tessaly92-vcalc of every model, and the files each side writes read by the other.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/clirun.h"
#include "files/flashfile.h"
#include "link/clock.h"
#include "support/flashsamples.h"
#include "vcalc/vcalc.h"

namespace {

namespace fs = std::filesystem;
using tessaly::clitest::CliResult;
using tessaly::clitest::quoted;
using tessaly::clitest::slurp;
using tessaly::clitest::TempDir;
using tessaly::clitest::VirtualCable;

struct Model {
    const char* id;
    const char* ext;      // the extension letters of its files: "92" in .92t
    const char* os;       // the system version the virtual calculator reports
    unsigned width, height;  // of its display
};

void PrintTo(const Model& m, std::ostream* os) { *os << m.id; }

// A new model is one line here.
const Model kModels[] = {
    {"ti92", "92", "1.11", 240, 128},
    {"ti92p", "9x", "2.09", 240, 128},
    {"v200", "v2", "3.10", 240, 128},
    {"ti89", "89", "2.09", 160, 100},
    {"ti89t", "89", "3.10", 160, 100},
};

// "name\tsize[\tarchived]" for each variable of a listing, ours ("main\notes\ttext\t102") or
// the peer's ("main\notes\tTEXT\t102\tlocked"); the type names differ between the two.
std::set<std::string> variables(const std::string& listing) {
    std::set<std::string> out;
    std::istringstream in(listing);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string s; std::getline(fields, s, '\t');) f.push_back(s);
        // Our line for an empty folder; an application, which is in no folder and which the
        // library lists apart from the variables.
        if (f.size() < 3 || f[0].ends_with('\\') || f[0].find('\\') == std::string::npos) continue;
        out.insert(f[0] + "\t" + f[2] + (f.size() > 3 && f[3] == "archived" ? "\tarchived" : ""));
    }
    return out;
}

struct Picture {
    unsigned width = 0, height = 0;
    std::string bits;
    bool black(unsigned x, unsigned y) const {
        const auto row = (width + 7) / 8;
        return static_cast<unsigned char>(bits[y * row + x / 8]) & (0x80 >> (x % 8));
    }
};

Picture readpbm(const fs::path& p) {
    std::istringstream in(slurp(p));
    std::string magic;
    Picture pic;
    in >> magic >> pic.width >> pic.height;
    in.get();
    pic.bits.assign(std::istreambuf_iterator<char>(in), {});
    if (magic != "P4" || pic.bits.size() < (pic.width + 7) / 8 * pic.height) pic = {};
    return pic;
}

class Interop : public testing::TestWithParam<Model> {
protected:
    void SetUp() override {
        const Model& m = GetParam();
        m_cable = std::make_unique<VirtualCable>(m_dir.path(), std::vector<std::string>{"--model", m.id, "--pace", "instant"});
        ASSERT_TRUE(m_cable->listening());
    }

    fs::path file(const std::string& name) const { return m_dir.path() / name; }
    // NAME.<model's letters><kind>, as both sides name a file of that model.
    fs::path file(const std::string& name, char kind) const {
        return file(name + "." + GetParam().ext + kind);
    }

    // The library's side: one operation, with the given timeout in tenths of a second.
    CliResult peer(const std::vector<std::string>& args, int tenths = 10) const {
        std::string command = "TESSALY92_PARPORT_SOCKET=" + quoted((m_dir.path() / "cable").string()) +
                              " LD_PRELOAD=" + quoted(INTEROP_SHIM) + " timeout 60 " + quoted(INTEROP_PEER) +
                              " -t " + std::to_string(tenths) + " " + GetParam().id;
        for (const auto& a : args) command += " " + quoted(a);
        const auto out = file("peer-out.txt"), err = file("peer-err.txt");
        command += " </dev/null >" + quoted(out.string()) + " 2>" + quoted(err.string());
        const int status = std::system(command.c_str());
        CliResult r;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = slurp(out);
        r.err = slurp(err);
        return r;
    }
    // Until the peer holds the cable (the server has accepted it: a second socket of that
    // name). A calculator that sent before would find nobody listening.
    bool waitforpeer() const {
        const std::string path = " " + (m_dir.path() / "cable").string();
        for (int i = 0; i < 500; ++i) {
            std::istringstream sockets(slurp("/proc/net/unix"));
            int named = 0;
            for (std::string line; std::getline(sockets, line);) named += line.ends_with(path);
            if (named > 1) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // The operation the library does not offer for this model is not ours to test.
    bool unsupported(const CliResult& r) const { return r.code == 3 && r.out == "unsupported\n"; }

    // Ours, on the same cable.
    CliResult ours(std::vector<std::string> args) const {
        args.insert(args.begin(), {"--link", m_cable->link()});
        return tessaly::clitest::runcli(args, m_dir.path());
    }
    std::set<std::string> ourlisting() const {
        const auto r = ours({"dir"});
        EXPECT_EQ(r.code, 0) << r.err;
        return variables(r.out);
    }

    void sendback(const std::string& mode);

    TempDir m_dir;
    std::unique_ptr<VirtualCable> m_cable;
};

#define PEER_OK(r)                                                        \
    do {                                                                  \
        if (unsupported(r)) GTEST_SKIP() << "the library does not offer this for the model"; \
        ASSERT_EQ((r).code, 0) << (r).out << (r).err;                     \
    } while (0)

void Interop::sendback(const std::string& mode) {
    const auto before = file("before", 'g'), after = file("after", 'g');
    ASSERT_EQ(ours({"get", "main\\prgm", "-o", before.string()}).code, 0);
    const auto listing = ourlisting();
    ASSERT_EQ(ours({"rm", "main\\prgm"}).code, 0);
    const auto r = peer({mode, before.string()});
    PEER_OK(r);
    EXPECT_EQ(ourlisting(), listing);
    ASSERT_EQ(ours({"get", "main\\prgm", "-o", after.string()}).code, 0);
    EXPECT_EQ(slurp(after), slurp(before));
}

TEST_P(Interop, Ready) {
    const auto r = peer({"ready"});
    PEER_OK(r);
    EXPECT_EQ(r.out, "ok\n");
}

TEST_P(Interop, Listing) {
    const auto r = peer({"dir"});
    PEER_OK(r);
    EXPECT_EQ(variables(r.out), ourlisting());
}

TEST_P(Interop, Version) {
    const auto r = peer({"version"});
    PEER_OK(r);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), std::string("os ") + GetParam().os);
}

// The type our info gives the variable named at the start of one of its lines ("notes   text"
// or "main\notes   text"), empty when none is.
std::string infotype(const std::string& info, const std::string& name) {
    std::istringstream in(info);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string first, type;
        words >> first >> type;
        if (first == name || first.ends_with("\\" + name)) return type;
    }
    return {};
}

// Type and size of the variable NAME in the library's fileinfo of a file.
std::string libentry(const std::string& fileinfo, const std::string& name) {
    std::istringstream in(fileinfo);
    for (std::string line; std::getline(in, line);) {
        const auto first = line.substr(0, line.find('\t'));
        if (first == name || first.ends_with("\\" + name)) return line.substr(first.size() + 1);
    }
    return {};
}

// Every kind of variable of the demo memory, fetched silently by the library, reads as ours
// does; the same variables in our file read the same to the library.
TEST_P(Interop, ReceiveSilently) {
    const struct {
        const char *name, *libtype, *ourtype;
    } kinds[] = {
        {"main\\notes", "TEXT", "text"},  {"main\\prgm", "PRGM", "program"}, {"main\\f", "FUNC", "function"},
        {"main\\exp", "EXPR", "expression"}, {"work\\list", "LIST", "list"}, {"work\\mat", "MAT", "matrix"},
        {"work\\str", "STR", "string"},     {"work\\data", "DATA", "data"}, {"work\\ring", "PIC", "picture"},
    };
    std::vector<std::string> get{"get"};
    for (const auto& k : kinds) get.push_back(k.name);
    const auto own = file("own", 'g');
    get.insert(get.end(), {"-o", own.string()});
    ASSERT_EQ(ours(get).code, 0);
    const auto owninfo = peer({"fileinfo", own.string()}).out;
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.name);
        const std::string bare = std::string(k.name).substr(5);
        const auto r = peer({"recv", k.name, k.libtype, m_dir.path().string()});
        PEER_OK(r);
        const auto lib = r.out.substr(0, r.out.find('\n'));
        EXPECT_EQ(infotype(ours({"info", lib}).out, bare), k.ourtype);
        const auto entry = libentry(peer({"fileinfo", lib}).out, bare);
        EXPECT_FALSE(entry.empty());
        EXPECT_EQ(entry, libentry(owninfo, bare));
        if (std::string(k.libtype) == "TEXT") {
            const auto text = ours({"var2txt", lib});
            EXPECT_EQ(text.code, 0) << text.err;
            EXPECT_FALSE(text.out.empty());
            EXPECT_EQ(text.out, ours({"var2txt", own.string(), bare}).out);
        }
    }
}

TEST_P(Interop, ReceiveFromCalculatorMenu) {
    const auto lib = file("lib", 'f');
    auto running = std::async(std::launch::async, [&] { return peer({"recv-ns", lib.string()}, 50); });
    ASSERT_TRUE(waitforpeer()) << running.get().out;
    m_cable->server().say("send main\\f");
    const auto r = running.get();
    PEER_OK(r);
    EXPECT_EQ(r.out, "main\\f\n");
    const auto info = ours({"info", lib.string()});
    EXPECT_EQ(info.code, 0) << info.err;
    EXPECT_EQ(infotype(info.out, "f"), "function") << info.out;
}

// Our group file of one variable, sent by the library after the calculator lost it: the
// variable comes back as it was (and unarchived), silently or as the calculator's own receive.
TEST_P(Interop, SendSilently) { sendback("send"); }
TEST_P(Interop, SendNormally) { sendback("send-ns"); }

// The library's backup lists as every variable the calculator holds.
TEST_P(Interop, Backup) {
    const auto r = peer({"backup", m_dir.path().string()});
    PEER_OK(r);
    const auto path = r.out.substr(0, r.out.find('\n'));
    const auto info = ours({"info", path});
    ASSERT_EQ(info.code, 0) << info.err;
    if (GetParam().id == std::string("ti92")) {
        EXPECT_NE(info.out.find("backup"), std::string::npos) << info.out;
        return;
    }
    for (const auto& v : ourlisting()) {
        const auto name = v.substr(0, v.find('\t'));
        EXPECT_NE(info.out.find(name + " "), std::string::npos) << name << " missing from\n" << info.out;
    }
}

// Our backup file, restored by the library, brings back a variable deleted since.
TEST_P(Interop, RestoreOurBackup) {
    const auto backup = GetParam().id == std::string("ti92") ? file("mem.92b") : file("mem", 'g');
    ASSERT_EQ(ours({"backup", "-o", backup.string()}).code, 0);
    const auto listing = ourlisting();
    ASSERT_EQ(ours({"rm", "main\\prgm"}).code, 0);
    const auto r = peer({"restore", backup.string()}, 30);
    PEER_OK(r);
    EXPECT_EQ(ourlisting(), listing);
}

// Flash through the library: our application and system files sent, the application, the ID
// list, the clock and the certificate received.
TEST_P(Interop, Flash) {
    const tessaly::CalculatorModel& model = *tessaly::modelbyid(GetParam().id);
    if (model.flashdevice == 0) GTEST_SKIP() << "the " << model.name << " has no Flash";
    const auto app = file("tool", 'k'), os = file("base", 'u'), back = file("back", 'k');
    // Small: every bit crosses the virtual parallel cable's socket (the 64 KiB blocks are
    // the core tests' to try).
    ASSERT_TRUE(tessaly::writeflashfile(app, tessaly::samples::application(model, "tool", 300), nullptr));
    ASSERT_TRUE(tessaly::writeflashfile(os, tessaly::samples::system(model, 3, 11, 200), nullptr));
    const auto sentapp = peer({"send-app", app.string()}, 50);
    PEER_OK(sentapp);
    const auto apps = peer({"apps"});
    EXPECT_NE(apps.out.find("demoapp\t"), std::string::npos) << apps.out;
    EXPECT_NE(apps.out.find("tool\t"), std::string::npos) << apps.out;
    const auto received = peer({"recv-app", "tool", back.string()}, 50);
    PEER_OK(received);
    const auto sent = tessaly::readflashfile(app, nullptr), got = tessaly::readflashfile(back, nullptr);
    ASSERT_TRUE(sent && got && got->payload());
    EXPECT_EQ(got->payload()->data, sent->payload()->data);
    const auto ids = peer({"idlist"});
    PEER_OK(ids);
    EXPECT_GE(ids.out.size(), 14u) << ids.out;
    const auto clock = peer({"clock"});
    PEER_OK(clock);
    EXPECT_TRUE(clock.out.starts_with("20")) << clock.out;
    const auto cert = peer({"cert", file("cert", 'q').string()});
    PEER_OK(cert);
    const auto system = peer({"send-os", os.string()}, 50);
    PEER_OK(system);
    const auto version = peer({"version"});
    EXPECT_TRUE(version.out.starts_with("os 3.11")) << version.out;
}

TEST_P(Interop, Screenshot) {
    const auto lib = file("lib.pbm"), own = file("own.pbm");
    const auto r = peer({"screen", lib.string()});
    PEER_OK(r);
    ASSERT_EQ(ours({"screenshot", "-o", own.string()}).code, 0);
    const Picture theirs = readpbm(lib), mine = readpbm(own);
    for (const Picture* p : {&theirs, &mine}) {
        ASSERT_EQ(p->width, GetParam().width);
        ASSERT_EQ(p->height, GetParam().height);
    }
    unsigned differ = 0, black = 0;
    for (unsigned y = 0; y < theirs.height; ++y)
        for (unsigned x = 0; x < theirs.width; ++x) {
            differ += theirs.black(x, y) != mine.black(x, y);
            black += theirs.black(x, y);
        }
    EXPECT_EQ(differ, 0u);
    EXPECT_GT(black, 0u);
}

// A key the library presses shows on the calculator's home screen.
TEST_P(Interop, Key) {
    const auto before = file("before.pbm"), after = file("after.pbm");
    ASSERT_EQ(ours({"screenshot", "-o", before.string()}).code, 0);
    const auto r = peer({"key", "65"});  // A
    PEER_OK(r);
    ASSERT_EQ(ours({"screenshot", "-o", after.string()}).code, 0);
    EXPECT_TRUE(readpbm(before).bits != readpbm(after).bits) << "the screen did not change";
}

TEST_P(Interop, Delete) {
    auto listing = ourlisting();
    const auto r = peer({"del", "work\\str"});
    PEER_OK(r);
    listing.erase("work\\str\t8");
    EXPECT_EQ(ourlisting(), listing);
}

TEST_P(Interop, NewFolder) {
    const auto r = peer({"mkdir", "newf"});
    PEER_OK(r);
    const auto again = ours({"mkdir", "newf"});
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.err.find("already"), std::string::npos) << again.err;
}

std::string modelname(const testing::TestParamInfo<Model>& info) { return info.param.id; }
// Our ppdev port, opened, sets the whole data register once (both lines released, the
// unwired bits high) before its first line change.
TEST_P(Interop, OurPpdevPortReleasesEveryDataBitOnceAtOpen) {
    const fs::path data = file("data.txt");
    const std::string command = "TESSALY92_PARPORT_SOCKET=" + quoted(file("cable").string()) +
                                " TESSALY92_PARPORT_DATA=" + quoted(data.string()) + " LD_PRELOAD=" + quoted(INTEROP_SHIM) +
                                " timeout 60 " + quoted(TESSALY_CLI) + " --link ppdev:/dev/parport0 ready >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::string written = slurp(data);
    EXPECT_TRUE(written.starts_with("ff ")) << written;
    EXPECT_EQ(written.find("ff", 1), std::string::npos) << written;
}

INSTANTIATE_TEST_SUITE_P(Models, Interop, testing::ValuesIn(kModels), modelname);

// The library's own USB cable (its "DirectLink", which speaks to 0451:E004) against the
// virtual Titanium's USB port, through the libusb shim. What it should find is the virtual
// Titanium's demo memory, made here as the server makes it.
class UsbInterop : public testing::Test {
protected:
    void start(std::vector<std::string> flags = {}) {
        flags.insert(flags.begin(), {"--model", "ti89t", "--pace", "instant", "--usb", socket()});
        m_server = std::make_unique<tessaly::clitest::VcalcServer>(flags, file("vcalc-stderr.txt"));
        ASSERT_EQ(m_server->line(), "USB port listening on " + socket());
    }
    std::string socket() const { return file("usb").string(); }
    fs::path file(const std::string& name) const { return m_dir.path() / name; }
    CliResult peer(const std::vector<std::string>& args) const {
        std::string command = "TESSALY92_USB_SOCKET=" + quoted(socket()) + " LD_PRELOAD=" + quoted(INTEROP_USBSHIM) +
                              " timeout 60 " + quoted(INTEROP_PEER) + " -t 10 -u ti89t";
        for (const auto& a : args) command += " " + quoted(a);
        command += " </dev/null >" + quoted(file("peer-out.txt").string()) + " 2>" + quoted(file("peer-err.txt").string());
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(file("peer-out.txt")), slurp(file("peer-err.txt"))};
    }
    static std::set<std::string> demolisting() {
        tessaly::SimClock clock;
        tessaly::VirtualCalculator calc(clock, tessaly::kTI89Titanium);
        calc.loaddemo();
        std::set<std::string> out;
        for (const auto& f : calc.memory().folders)
            for (const auto& v : f.variables)
                out.insert(f.name + "\\" + v.name + "\t" + std::to_string(v.data.size()) + (v.archived ? "\tarchived" : ""));
        return out;
    }

    TempDir m_dir;
    std::unique_ptr<tessaly::clitest::VcalcServer> m_server;
};

TEST_F(UsbInterop, ReadyListingVersionScreen) {
    start();
    EXPECT_EQ(peer({"ready"}).out, "ok\n");
    const auto dir = peer({"dir"});
    ASSERT_EQ(dir.code, 0) << dir.out << dir.err;
    EXPECT_EQ(variables(dir.out), demolisting());
    EXPECT_NE(dir.out.find("main\\secret\tSTR\t8\tlocked"), std::string::npos) << dir.out;
    const auto version = peer({"version"});
    EXPECT_EQ(version.out.substr(0, version.out.find('\n')), "os 3.10") << version.out << version.err;
    const auto r = peer({"screen", file("lib.pbm").string()});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    const Picture pic = readpbm(file("lib.pbm"));
    ASSERT_EQ(pic.width, 160u);
    ASSERT_EQ(pic.height, 100u);
    EXPECT_NE(pic.bits.find_first_not_of('\0'), std::string::npos) << "a blank screen";
}

// What the library receives it sends back the same; a program too long for one raw packet,
// of an odd size (the library asks for a smaller buffer for it), arrives whole.
TEST_F(UsbInterop, ReceiveDeleteSendBack) {
    start();
    const auto got = peer({"recv", "main\\prgm", "PRGM", m_dir.path().string()});
    ASSERT_EQ(got.code, 0) << got.out << got.err;
    const auto path = got.out.substr(0, got.out.find('\n'));
    const auto before = slurp(path);
    ASSERT_EQ(peer({"del", "main\\prgm"}).code, 0);
    EXPECT_EQ(variables(peer({"dir"}).out).count("main\\prgm\t29"), 0u);
    ASSERT_EQ(peer({"send", path}).code, 0);
    fs::rename(path, file("first.89p"));
    ASSERT_EQ(peer({"recv", "main\\prgm", "PRGM", m_dir.path().string()}).code, 0);
    // The files differ only in the date of their comment.
    EXPECT_EQ(slurp(path).substr(0x40), before.substr(0x40));
    for (unsigned size : {3000u, 20001u}) {
        SCOPED_TRACE(size);
        const auto big = file("big" + std::to_string(size) + ".89p");
        ASSERT_EQ(peer({"makeprogram", big.string(), std::to_string(size)}).code, 0);
        const auto sent = peer({"send", big.string()});
        ASSERT_EQ(sent.code, 0) << sent.out << sent.err;
        EXPECT_EQ(variables(peer({"dir"}).out).count("main\\big\t" + std::to_string(size)), 1u);
    }
}

// The calculator's refusals reach the library as its error packets say them.
TEST_F(UsbInterop, Refusals) {
    start();
    const auto archived = peer({"del", "work\\kept"});
    EXPECT_EQ(archived.code, 1);
    EXPECT_NE(archived.out.find("archive"), std::string::npos) << archived.out;
    m_server.reset();
    start({"--away"});
    const auto away = peer({"ready"});
    EXPECT_EQ(away.code, 1);
    EXPECT_NE(away.out.find("busy"), std::string::npos) << away.out;
}

// The real TI-92 files the tests keep, as the library reads them: the same variables.
class SampleFiles : public testing::TestWithParam<const char*> {};

TEST_P(SampleFiles, ReadByTheLibrary) {
    const auto path = fs::path(TESSALY_TESTDATA_DIR) / "samples" / GetParam();
    TempDir dir;
    const std::string command = quoted(INTEROP_PEER) + " ti92 fileinfo " + quoted(path.string()) + " 2>/dev/null";
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
        EXPECT_EQ(::pclose(p), 0) << out;
    }
    const auto info = tessaly::clitest::runcli({"info", path.string()}, dir.path());
    ASSERT_EQ(info.code, 0);
    // The library gives the model, then folder\name first on each line (a backup: one line);
    // our info names each variable at the start of a line.
    std::istringstream lines(out);
    std::string model;
    std::getline(lines, model);
    if (model.starts_with("backup ")) {
        EXPECT_EQ(model.substr(0, 12), "backup TI92 ");
        EXPECT_NE(info.out.find("(backup)"), std::string::npos) << info.out;
        return;
    }
    unsigned count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        // A single variable's file keeps no folder: ours names it alone, the library in the
        // file's default folder.
        const auto name = line.substr(0, line.find('\t'));
        const auto bare = name.substr(name.find('\\') + 1);
        EXPECT_TRUE(info.out.find(name + " ") != std::string::npos || info.out.find("\n" + bare + " ") != std::string::npos)
            << name << " not in\n" << info.out;
    }
    EXPECT_GT(count, 0u);
}

INSTANTIATE_TEST_SUITE_P(Real, SampleFiles, testing::Values("backup.92b", "group.92g", "group2.92g", "str.92s", "xx.92s", "yy.92s"),
                         [](const testing::TestParamInfo<const char*>& sample) {
                             std::string n = sample.param;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

} // namespace
