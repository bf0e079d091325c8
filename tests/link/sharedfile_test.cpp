#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "link/sharedfile.h"

using namespace tessaly;
namespace fs = std::filesystem;

namespace {
struct ScratchFile {
    fs::path path;
    ScratchFile() {
        char tmpl[] = "/tmp/tessaly-shared-XXXXXX";
        path = fs::path(mkdtemp(tmpl)) / "file.92g";
    }
    ~ScratchFile() { fs::remove_all(path.parent_path()); }
};
} // namespace

TEST(SharedFile, WritesThenReadsWordsBothWays) {
    ScratchFile f;
    SharedFile file;
    ASSERT_TRUE(file.open(f.path, SharedFile::Mode::Create));
    file.writebytes(std::string("\x12\x34\x56", 3));
    file.writebytes("ab");
    EXPECT_EQ(file.size(), 5u);
    EXPECT_EQ(file.readwordle(0), 0x3412);
    EXPECT_EQ(file.readwordbe(1), 0x3456);
    EXPECT_EQ(file.readbytes(3, 2), "ab");
    EXPECT_TRUE(file.ok());
}

TEST(SharedFile, OffsetsBeyond64KReachTheirBytes) {
    ScratchFile f;
    SharedFile file;
    ASSERT_TRUE(file.open(f.path, SharedFile::Mode::Create));
    file.writebytes(std::string(70000, '\0'));
    file.writebytes(std::string("\xBE\xEF", 2));
    EXPECT_EQ(file.readwordbe(70000), 0xBEEF);
    EXPECT_EQ(file.readwordle(70000), 0xEFBE);
    EXPECT_TRUE(file.ok());
}

TEST(SharedFile, ShortReadsFailAndNameTheFile) {
    ScratchFile f;
    {
        SharedFile file;
        ASSERT_TRUE(file.open(f.path, SharedFile::Mode::Create));
        file.writebytes("xyz");
    }
    SharedFile file;
    ASSERT_TRUE(file.open(f.path, SharedFile::Mode::Read));
    EXPECT_EQ(file.readbytes(1, 10), "yz");
    EXPECT_FALSE(file.ok());
    EXPECT_NE(file.error().find(f.path.string()), std::string::npos) << file.error();
    EXPECT_EQ(file.readwordle(3), 0);
    EXPECT_NE(file.error().find("ends too early"), std::string::npos) << "the first failure is kept";

    file.writebytes("no");  // opened for reading only
    EXPECT_FALSE(file.ok());
    ASSERT_TRUE(file.open(f.path, SharedFile::Mode::ReadWrite));
    EXPECT_TRUE(file.ok()) << "a new open starts clean";
}

TEST(SharedFile, OpeningAMissingFileSaysWhich) {
    SharedFile file;
    std::string error;
    EXPECT_FALSE(file.open("/nonexistent-dir/calc.92p", SharedFile::Mode::Read, &error));
    EXPECT_FALSE(file.isopen());
    EXPECT_NE(error.find("/nonexistent-dir/calc.92p"), std::string::npos) << error;
    EXPECT_FALSE(file.open("/nonexistent-dir/out.92g", SharedFile::Mode::Create, &error));
    EXPECT_NE(error.find("cannot be created"), std::string::npos) << error;
    file.close();  // closing a closed file is harmless, as the Cancel routine needs
    EXPECT_EQ(file.readbytes(0, 2), "");
    EXPECT_FALSE(file.ok());
}
