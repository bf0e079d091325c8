#include <gtest/gtest.h>

#include "cli/clirun.h"
#include <map>

#include "files/tifile.h"

using namespace tessaly;
using namespace tessaly::clitest;

namespace {

// Full name -> stored bytes of every variable in a TI-92 file.
std::map<std::string, std::vector<std::uint8_t>> contents(const std::filesystem::path& p) {
    std::map<std::string, std::vector<std::uint8_t>> out;
    TiFileReader reader;
    std::string error;
    if (!reader.open(p, &error)) return out;
    for (const TiEntry* v : reader.file().variables()) {
        std::vector<std::uint8_t> data;
        reader.readvariable(*v, data);
        out[v->fullname()] = data;
    }
    return out;
}

class CliGet : public ::testing::Test {
protected:
    TempDir s;
    std::filesystem::path state, original, output;
    void SetUp() override {
        state = samplestate("group2.92g", s.path());
        original = s.path() / "original.92g";
        std::filesystem::copy_file(state, original);
        output = s.path() / "out.92g";
    }
    CliResult get(std::vector<std::string> args) {
        args.insert(args.begin(), {"--link", "virtual:" + state.string(), "get"});
        return runcli(args, s.path());
    }
};

TEST_F(CliGet, SavesTheRequestedVariablesAsTheCalculatorHoldsThem) {
    const CliResult r = get({"group\\pic", "group\\txt", "group\\prg", "-o", output.string(), "--comment", "from the cli"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto saved = contents(output);
    const auto source = contents(original);
    ASSERT_EQ(saved.size(), 3u);
    for (const auto& [name, bytes] : saved) {
        ASSERT_TRUE(source.count(name)) << name;
        EXPECT_EQ(bytes, source.at(name)) << name;
    }
    std::string error;
    const auto file = readtifile(output, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->comment, "from the cli");
    EXPECT_NE(r.err.find("3 variable(s) received."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("100%"), std::string::npos);  // the progress bar
}

TEST_F(CliGet, WithoutStoreFolderTheNamesAreBare) {
    const CliResult r = get({"group\\str", "-o", output.string(), "--no-store-folder"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto saved = contents(output);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.begin()->first, "str");
}

TEST_F(CliGet, UnknownNameFailsWithoutAFile) {
    const CliResult r = get({"group\\nothere", "-o", output.string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("group\\nothere"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(CliGet, FromCalcTakesWhatTheVirtualCalculatorSends) {
    const CliResult r = get({"--from-calc", "--calc-sends", "group\\exp,group\\list", "-o", output.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto saved = contents(output);
    const auto source = contents(original);
    ASSERT_EQ(saved.size(), 2u);
    // Named as the calculator's headers name them (the virtual TI-92 puts the folder in).
    EXPECT_EQ(saved.at("group\\exp"), source.at("group\\exp"));
    EXPECT_EQ(saved.at("group\\list"), source.at("group\\list"));
}

TEST_F(CliGet, FromCalcTakesWhatAServerOnTheVirtualCableSends) {
    VirtualCable cable(s.path(), {"--pace", "instant", "--state", state.string()});
    ASSERT_TRUE(cable.listening());
    cable.server().say("send group\\mat group\\str");
    ASSERT_EQ(cable.server().line(), "sending");
    const CliResult r = runcli({"--link", cable.link(), "get", "--from-calc", "-o", output.string()}, s.path());
    ASSERT_EQ(r.code, 0) << r.err;
    const auto saved = contents(output);
    const auto source = contents(original);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved.at("group\\mat"), source.at("group\\mat"));
    EXPECT_EQ(saved.at("group\\str"), source.at("group\\str"));
}

TEST_F(CliGet, FromCalcWithNothingSentTimesOut) {
    const CliResult r = get({"--from-calc", "-o", output.string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("The calculator did not responded [Receiving byte]"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(output));
}

struct UsageCase {
    const char* what;
    std::vector<std::string> args;
};

class CliGetUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliGetUsage, IsRefusedWithExitCode2) {
    TempDir s;
    std::vector<std::string> args{"--link", "virtual", "get"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const CliResult r = runcli(args, s.path());
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_FALSE(r.err.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Args, CliGetUsage,
    ::testing::Values(UsageCase{"no_output", {"main\\a"}}, UsageCase{"no_names", {"-o", "x.92g"}},
                      UsageCase{"names_and_from_calc", {"main\\a", "--from-calc", "-o", "x.92g"}},
                      UsageCase{"calc_sends_without_from_calc", {"main\\a", "--calc-sends", "main\\a", "-o", "x.92g"}},
                      UsageCase{"unknown_option", {"main\\a", "-o", "x.92g", "--frobnicate"}}),
    [](const auto& p) { return std::string(p.param.what); });

} // namespace

TEST(CliGetTarget, AnOutputThatCannotBeWrittenIsRefusedBeforeTheTransfer) {
    TempDir s;
    std::filesystem::create_directory(s.path() / "folder");
    for (const std::string& out : {(s.path() / "no" / "such.92g").string(), (s.path() / "folder").string()}) {
        const CliResult r = runcli({"--link", "virtual", "--trace", (s.path() / "t.txt").string(), "get", "-o", out,
                                    "main\\x"},
                                   s.path());
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find("Cannot write"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(s.path() / "t.txt"));  // the cable was never opened
    }
}

TEST(CliGetTarget, WorkingFilesAKilledRunLeftAreCleanedUp) {
    // A folder as a run killed with SIGKILL leaves it: its process is gone.
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const auto stale = std::filesystem::temp_directory_path() / ("tessaly92-get-" + std::to_string(gone) + "-test");
    std::filesystem::create_directories(stale / "inside");
    TempDir s;
    runcli({"--link", "virtual", "get", "-o", (s.path() / "x.92g").string(), "--from-calc"}, s.path());
    EXPECT_FALSE(std::filesystem::exists(stale));
}

namespace {

// A memory holding main\αbé: names are TI-92 bytes, alpha 0x80 and e-acute 0xE9.
constexpr char kTiName[] = "\x80" "b\xE9";
void writeaccentedstate(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> stored{0x00, 0x03, 'h', 'i', 0x2D};  // a string
    const TiTableItem items[] = {{.folder = true, .name = "main", .count = 1},
                                 {.folder = false, .name = kTiName, .type = 0x0C, .size = 5}};
    std::string error;
    TiFileOutput out;
    ASSERT_TRUE(out.create(path, &error)) << error;
    out.write(*tiheader("state", items, false, &error));
    out.writesection(stored, false);
    ASSERT_TRUE(out.commit(&error)) << error;
}

} // namespace

TEST(CliGetCharacters, AccentedNamesAndCommentAreTi92Characters) {
    TempDir s;
    const auto state = s.path() / "state.92g", output = s.path() / "out.92g";
    writeaccentedstate(state);
    const std::string link = "virtual:" + state.string();
    const CliResult dir = runcli({"--link", link, "dir"}, s.path());
    ASSERT_EQ(dir.code, 0) << dir.err;
    EXPECT_NE(dir.out.find("main\\\u03b1b\u00e9\t"), std::string::npos) << dir.out;

    std::string accented;
    for (int i = 0; i < 34; ++i) accented += "\u00e9";
    const CliResult get =
        runcli({"--link", link, "get", "main\\\u03b1b\u00e9", "-o", output.string(), "--comment", accented}, s.path());
    ASSERT_EQ(get.code, 0) << get.err;
    EXPECT_EQ(get.err.find("cut"), std::string::npos) << get.err;
    std::string error;
    const auto file = readtifile(output, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->comment, std::string(34, '\xE9'));
    ASSERT_EQ(file->variables().size(), 1u);
    EXPECT_EQ(file->variables()[0]->fullname(), std::string("main\\") + kTiName);

    // A comment the calculator cannot show: said before anything is received or written.
    const CliResult refused =
        runcli({"--link", link, "get", "main\\\u03b1b\u00e9", "-o", output.string() + "2", "--comment", "\u65e5"}, s.path());
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find("U+65E5"), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(output.string() + "2"));
}
