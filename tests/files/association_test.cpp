#include <gtest/gtest.h>

#include "files/association.h"
#include "link/model.h"
#include "filetestutil.h"

namespace tessaly {
namespace {

using test::TempDir;

std::string readtext(const std::filesystem::path& p) {
    const test::Bytes b = test::readbytes(p);
    return std::string(b.begin(), b.end());
}

struct ListCase {
    std::string text;
    std::string corrected;
    std::vector<std::string> extensions;
};
class ExtensionLists : public ::testing::TestWithParam<ListCase> {};

TEST_P(ExtensionLists, CorrectedTextAndExtensions) {
    const ExtensionList l = parseextensions(GetParam().text);
    EXPECT_EQ(l.text, GetParam().corrected);
    EXPECT_EQ(l.extensions, GetParam().extensions);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtensionLists,
    ::testing::Values(ListCase{"92p;92b", "92p;92b;", {"92p", "92b"}},
                      ListCase{"92p;;92b;", "92p;;92b;", {"92p", "", "92b"}},
                      ListCase{"abcdefg;", "abcdefg;", {"abcde"}},
                      ListCase{"\xce\xb1\xce\xb2\xce\xb3\xce\xb4\xce\xb5\xce\xb6;", "\xce\xb1\xce\xb2\xce\xb3\xce\xb4\xce\xb5\xce\xb6;",
                               {"\xce\xb1\xce\xb2\xce\xb3\xce\xb4\xce\xb5"}},  // five characters, not five bytes
                      ListCase{"", "", {}},
                      ListCase{"1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17",
                               "1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17;",
                               {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15"}}));

struct ExecCase {
    std::string program;
    std::string word;
};
class ExecWords : public ::testing::TestWithParam<ExecCase> {};

TEST_P(ExecWords, QuotedForTheDesktop) { EXPECT_EQ(execword(GetParam().program), GetParam().word); }

INSTANTIATE_TEST_SUITE_P(Cases, ExecWords,
                         ::testing::Values(ExecCase{"/usr/bin/tessaly92", "/usr/bin/tessaly92"},
                                           ExecCase{"/opt/My Apps/tessaly92", "\"/opt/My Apps/tessaly92\""},
                                           ExecCase{"/opt/a$b\"c/100%/t", "\"/opt/a\\\\$b\\\\\"c/100%%/t\""},
                                           ExecCase{"/opt/back\\slash/t", "\"/opt/back\\\\\\\\slash/t\""},
                                           ExecCase{"/opt/line\nbreak/t", ""}));

struct Recorder {
    std::vector<std::vector<std::string>> calls;
    bool missing = false;
    ToolRunner runner() {
        return [this](const std::vector<std::string>& argv) {
            calls.push_back(argv);
            ToolRun r;
            r.ok = !missing;
            r.notfound = missing;
            return r;
        };
    }
};

TEST(Associate, WritesTypesAndEntryTheSameEachTime) {
    TempDir data;
    Recorder tools;
    const std::string program = "/home/u/My Programs/tessaly92";
    const auto list = parseextensions("92p;92b;92P;").extensions;
    const AssociationResult first = associate(list, program, data.path(), tools.runner());
    ASSERT_TRUE(first.ok) << first.error;
    const auto mime = data / "mime/packages/tessaly92.xml";
    const auto desktop = data / "applications/tessaly92-send.desktop";
    const std::string xml = readtext(mime);
    const std::string entry = readtext(desktop);
    EXPECT_NE(xml.find("<mime-type type=\"application/x-tessaly92-92p\">"), std::string::npos);
    EXPECT_NE(xml.find("<glob pattern=\"*.92b\" weight=\"60\"/>\n"
                       "    <magic><match type=\"string\" offset=\"0\" value=\"**TI92**\"/></magic>"), std::string::npos);
    EXPECT_EQ(xml.find("*.92P"), std::string::npos);  // the desktop matches without regard to case
    EXPECT_NE(entry.find("Exec=\"/home/u/My Programs/tessaly92\" %f\n"), std::string::npos);
    EXPECT_NE(entry.find("Name=Send to calculator\n"), std::string::npos);
    EXPECT_NE(entry.find("MimeType=application/x-tessaly92-92p;application/x-tessaly92-92b;\n"), std::string::npos);
    const std::vector<std::vector<std::string>> expected = {{"update-mime-database", (data / "mime").string()},
                                                            {"update-desktop-database", (data / "applications").string()}};
    EXPECT_EQ(tools.calls, expected);

    ASSERT_TRUE(associate(list, program, data.path(), tools.runner()).ok);
    EXPECT_EQ(readtext(mime), xml);
    EXPECT_EQ(readtext(desktop), entry);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data / "applications"), {}), 1);
}

TEST(Associate, MissingToolsAndEmptyPiecesAreWarnings) {
    TempDir data;
    Recorder tools;
    tools.missing = true;
    const AssociationResult r = associate({"92p", "", "9*"}, "/usr/bin/tessaly92", data.path(), tools.runner());
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.warnings.size(), 4u);  // the empty piece, the pattern character, two tools
    EXPECT_EQ(readtext(data / "mime/packages/tessaly92.xml").find("*.\""), std::string::npos);
}

// Something in the way of the second file: the first is put back as it was (here: not there).
class Unwritable : public ::testing::TestWithParam<const char*> {};

TEST_P(Unwritable, ReportedWithNothingLeftBehind) {
    TempDir data;
    Recorder tools;
    std::filesystem::create_directories(data / "applications");
    std::filesystem::create_directories(data / "mime/packages");
    std::filesystem::create_directories(data / GetParam());  // a folder where a file must go
    const AssociationResult r = associate({"92p"}, "/usr/bin/tessaly92", data.path(), tools.runner());
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Cannot write"), std::string::npos) << r.error;
    EXPECT_TRUE(tools.calls.empty());
    for (const char* folder : {"applications", "mime/packages"})
        for (const auto& e : std::filesystem::directory_iterator(data / folder))
            EXPECT_TRUE(e.is_directory()) << e.path();
}

INSTANTIATE_TEST_SUITE_P(Files, Unwritable,
                         ::testing::Values("mime/packages/tessaly92.xml", "applications/tessaly92-send.desktop"));

TEST(Associate, FailedWriteKeepsTheOldPackage) {
    TempDir data;
    Recorder tools;
    ASSERT_TRUE(associate({"92p"}, "/usr/bin/tessaly92", data.path(), tools.runner()).ok);
    const auto mime = data / "mime/packages/tessaly92.xml";
    const std::string old = readtext(mime);
    std::filesystem::remove_all(data / "applications");
    test::writebytes(data / "applications", {'x'});  // the folder cannot be made
    AssociationResult r = associate({"92g"}, "/usr/bin/tessaly92", data.path(), tools.runner());
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("applications"), std::string::npos) << r.error;
    EXPECT_EQ(readtext(mime), old);

    std::filesystem::remove(data / "applications");
    std::filesystem::create_directories(data / "applications/tessaly92-send.desktop");
    r = associate({"92g"}, "/usr/bin/tessaly92", data.path(), tools.runner());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(readtext(mime), old);  // written, then put back
}

TEST(Associate, ToolsRunWithoutAShell) {
    EXPECT_TRUE(runtool({"true"}).ok);
    const ToolRun failed = runtool({"false"});
    EXPECT_FALSE(failed.ok);
    EXPECT_FALSE(failed.notfound);
    EXPECT_NE(failed.error.find("exit code 1"), std::string::npos) << failed.error;
    const ToolRun missing = runtool({"tessaly92-no-such-tool"});
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.notfound);
}

// The installed types are the ones Associate registers, for every model's files: each
// type's and the group file's extension, Flash files among them by their own signature.
TEST(Associate, InstalledFilesRegisterEveryModelsFiles) {
    const std::filesystem::path share = std::filesystem::path(TESSALY_TESTDATA_DIR) / "../../share";
    std::vector<std::string> list;
    for (const CalculatorModel* m : allmodels()) {
        for (const TypeInfo& t : m->types)
            if (!t.extension.empty()) list.emplace_back(t.extension);
        list.push_back(std::string(m->fileprefix) + "g");
    }
    const std::string installed = readtext(share / "tessaly92.xml");
    EXPECT_EQ(installed, mimepackage(list, false));
    EXPECT_NE(installed.find("<comment>Voyage 200 operating system (.v2u)</comment>\n"
                             "    <sub-class-of type=\"application/octet-stream\"/>\n"
                             "    <icon name=\"tessaly92\"/>\n"
                             "    <glob pattern=\"*.v2u\"/>\n"
                             "    <magic><match type=\"string\" offset=\"0\" value=\"**TIFL**\"/></magic>"),
              std::string::npos);
    const std::string entry = senddesktopentry("/usr/bin/tessaly92", list);
    const std::string types = entry.substr(entry.find("MimeType="));
    EXPECT_NE(readtext(share / "tessaly92.desktop").find(types), std::string::npos) << types;
}

} // namespace
} // namespace tessaly
