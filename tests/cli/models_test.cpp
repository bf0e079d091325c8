// The command line on the virtual calculator of each later model.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "cli/clirun.h"

namespace tessaly::clitest {
namespace {

struct ModelCase {
    std::string id, name, version, prefix, signature;
    unsigned width, height;
    bool usb = false;  // reached by its own USB port, in a tessaly92-vcalc of its own
};

class CliModels : public ::testing::TestWithParam<ModelCase> {};

TEST_P(CliModels, EveryCommandWorks) {
    const ModelCase& m = GetParam();
    TempDir s;
    // The LINK to a virtual calculator of the model that keeps its memory in file (none: the demo's).
    std::vector<std::unique_ptr<VcalcServer>> servers;
    auto linkto = [&](const std::string& file) {
        if (!m.usb) return "virtual:" + m.id + (file.empty() ? "" : ":" + file);
        const std::string path = (s.path() / ("usb" + std::to_string(servers.size()))).string();
        std::vector<std::string> args{"--model", m.id, "--usb", path};
        if (!file.empty()) args.insert(args.end(), {"--state", file});
        servers.push_back(std::make_unique<VcalcServer>(args));
        EXPECT_EQ(servers.back()->line(), "USB port listening on " + path);
        return "usb-socket:" + path;
    };
    const std::string demo = linkto("");
    auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--link", demo});
        return runcli(args, s.path());
    };
    const CliResult ready = cli({"ready"});
    EXPECT_EQ(ready.out, "Calculator is ready!\n" + m.name + ", version " + m.version + "\n") << ready.err;

    const CliResult dir = cli({"dir"});
    EXPECT_NE(dir.out.find("games\\hello\tassembly\t5\tarchived\n"), std::string::npos) << dir.out << dir.err;

    const std::string got = (s.path() / ("got." + m.prefix + "g")).string();
    ASSERT_EQ(cli({"get", "games\\hello", "main\\notes", "-o", got}).code, 0);
    EXPECT_EQ(slurp(got).substr(0, 8), m.signature);
    const CliResult info = runcli({"info", got}, s.path());
    EXPECT_NE(info.out.find("assembly"), std::string::npos) << info.out << info.err;
    const auto calculator = info.out.find("Calculator: ");
    ASSERT_NE(calculator, std::string::npos) << info.out;
    EXPECT_NE(info.out.substr(calculator, info.out.find('\n', calculator) - calculator).find(m.name), std::string::npos);
    // Into a calculator that holds main\notes alone: its memory kept in that file.
    const std::string small = (s.path() / ("small." + m.prefix + "g")).string();
    ASSERT_EQ(cli({"get", "main\\notes", "-o", small}).code, 0);
    const std::string fresh = (s.path() / ("fresh." + m.prefix + "g")).string();
    std::filesystem::copy_file(small, fresh);
    const std::string smalllink = linkto(small);
    EXPECT_EQ(runcli({"--link", smalllink, "send", "--overwrite", got}, s.path()).out, "2 variable(s) sent\n");

    const std::string png = (s.path() / "screen.png").string();
    ASSERT_EQ(cli({"screenshot", "-o", png}).code, 0);
    const std::string header = slurp(png).substr(16, 8);  // the PNG's width and height, big-endian
    EXPECT_EQ(static_cast<unsigned char>(header[3]), m.width);
    EXPECT_EQ(static_cast<unsigned char>(header[7]), m.height);

    const std::string backup = (s.path() / ("all." + m.prefix + "g")).string();
    ASSERT_EQ(cli({"backup", "-o", backup}).code, 0);
    EXPECT_EQ(slurp(backup).substr(0, 8), m.signature);
    const std::string freshlink = linkto(fresh);
    ASSERT_EQ(runcli({"--link", freshlink, "lock", "main\\notes"}, s.path()).code, 0);
    const CliResult restored = runcli({"--link", freshlink, "restore", backup}, s.path());
    EXPECT_EQ(restored.out, "14 variable(s) restored\n") << restored.err;
    EXPECT_EQ(runcli({"--link", freshlink, "dir"}, s.path()).out, dir.out) << "the memory it was backed up with";
    const CliResult rm = runcli({"--link", freshlink, "rm", "main\\notes"}, s.path());
    EXPECT_EQ(rm.out, "deleted main\\notes\n");
    EXPECT_EQ(rm.err.find("Deleting"), rm.err.rfind("Deleting")) << rm.err;
    EXPECT_EQ(cli({"key", "HOME", "ENTER", "--text", "1+1"}).code, 0);

    // Nothing chosen: each command learns the model from the calculator's answer.
    EXPECT_EQ(cli({"archive", "main\\prgm"}).out, "archived main\\prgm\n");
    EXPECT_EQ(runcli({"--link", freshlink, "mkdir", "empty"}, s.path()).code, 0);
    const CliResult listed = runcli({"--link", freshlink, "dir"}, s.path());
    EXPECT_NE(listed.out.find("main\\secret\tstring\t8\tlocked\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("empty\\\tfolder\t0\n"), std::string::npos) << listed.out;
    EXPECT_EQ(cli({"get", "notes", "-o", (s.path() / ("n." + m.prefix + "t")).string()}).code, 0) << "main\\notes";
}

INSTANTIATE_TEST_SUITE_P(Later, CliModels,
                         ::testing::Values(ModelCase{"ti92p", "TI-92 Plus", "2.09", "9x", "**TI92P*", 240, 128},
                                           ModelCase{"v200", "Voyage 200", "3.10", "v2", "**TI92P*", 240, 128},
                                           ModelCase{"ti89", "TI-89", "2.09", "89", "**TI89**", 160, 100},
                                           ModelCase{"ti89t", "TI-89 Titanium", "3.10", "89", "**TI89**", 160, 100},
                                           ModelCase{"ti89t", "TI-89 Titanium", "3.10", "89", "**TI89**", 160, 100, true}),
                         [](const auto& param) { return param.param.id + (param.param.usb ? "_usb" : ""); });

TEST(CliModelChoice, MismatchAndOtherModelFilesAreRefused) {
    TempDir s;
    const CliResult wrong = runcli({"--link", "virtual:ti89", "--model", "ti92p", "ready"}, s.path());
    EXPECT_EQ(wrong.code, 1);
    EXPECT_NE(wrong.err.find("A TI-89 answers, not the TI-92 Plus chosen"), std::string::npos) << wrong.err;
    const CliResult shot = runcli({"--link", "virtual:ti89", "--model", "ti92p", "screenshot", "-o", (s.path() / "s.png").string()}, s.path());
    EXPECT_NE(shot.err.find("A TI-89 answers, not the TI-92 Plus chosen"), std::string::npos) << shot.err;
    EXPECT_EQ(runcli({"--model", "ti93", "ready"}, s.path()).code, 2);

    const std::string file = (s.path() / "m.89g").string();
    ASSERT_EQ(runcli({"--link", "virtual:ti89", "get", "main\\notes", "-o", file}, s.path()).code, 0);
    const CliResult refused = runcli({"--link", "virtual:ti92p", "send", "--overwrite", file}, s.path());
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("was made for the TI-89"), std::string::npos) << refused.err;
    EXPECT_EQ(runcli({"--link", "virtual:ti92p", "send", "--any-model", "--overwrite", file}, s.path()).code, 0);
    // The TI-92 Plus and the Voyage 200 answer with one machine byte: their version answers tell them apart.
    for (const auto& [link, chosen, says] : {std::tuple{"virtual:v200", "ti92p", "A Voyage 200 answers, not the TI-92 Plus"},
                                             std::tuple{"virtual:ti92p", "v200", "A TI-92 Plus answers, not the Voyage 200"}})
        for (const char* command : {"version", "dir"}) {
            const CliResult r = runcli({"--link", link, command, "--model", chosen}, s.path());
            EXPECT_EQ(r.code, 1) << command;
            EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("Some error occured!"), std::string::npos) << "said once: " << r.err;
        }
    // With the model chosen, the file is refused before the cable opens: here there is no cable to open.
    const std::string nocable = "socket:" + (s.path() / "none.sock").string();
    const CliResult early = runcli({"--link", nocable, "--model", "ti92p", "send", file}, s.path());
    EXPECT_EQ(early.code, 1);
    EXPECT_EQ(early.err, "tessaly92-cli: m.89g was made for the TI-89, and the calculator is a TI-92 Plus. It was not sent. --any-model "
                         "sends it all the same.\n");
}

} // namespace
} // namespace tessaly::clitest
