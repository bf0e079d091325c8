#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/filetestutil.h"
#include "files/packagestore.h"
#include "files/packagewriter.h"
#include "files/safefile.h"
#include "files/tifile.h"
#include "support/scriptedshell.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

namespace fs = std::filesystem;

// What is at a path where a file is expected, other than a file.
TEST(SafeFile, NonFilesAreRefusedForReadingWithoutBlocking) {
    TempDir d;
    const fs::path fifo = d.path() / "pipe.92p";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        fs::path path;
        const char* says;
    };
    for (const Case& c : {Case{fifo, "a FIFO"}, Case{"/dev/zero", "a device"}, Case{d.path(), "a folder"},
                          Case{d.path() / "missing.92p", "No such file"}}) {
        std::string error;
        EXPECT_EQ(openregular(c.path, &error), nullptr) << c.path;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        TiFileReader reader;
        EXPECT_FALSE(reader.open(c.path, &error)) << c.path;
    }
}

TEST(SafeFile, SavingWritesThroughASymlinkAndKeepsPermissions) {
    TempDir d;
    const fs::path real = d.path() / "real.92g";
    const fs::path link = d.path() / "link.92g";
    writebytes(real, {1, 2, 3});
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    fs::create_symlink("real.92g", link);

    PackageStore store(d.path() / "store");
    stage(store, {{"main\\x", 0x00, stored({0x0C, 0x01, 0x1F})}});
    ScriptedShell shell;
    TransferState state;
    std::string comment = "c", error;
    ASSERT_TRUE(savepackage(link, false, store, comment, shell, state, &error, kTI92)) << error;

    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_GT(readbytes(real).size(), 3u);
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_TRUE(savewhole(link, "text", &error)) << error;
    EXPECT_EQ(readbytes(real), (Bytes{'t', 'e', 'x', 't'}));
}

TEST(SafeFile, TargetsThatAreNoFileOrHaveNoFolderAreRefusedUntouched) {
    TempDir d;
    const fs::path fifo = d.path() / "out.92g";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("out.92g", d.path() / "tofifo.92g");
    for (const fs::path& p : {fifo, d.path() / "tofifo.92g", fs::path("/dev/null"), d.path(),
                              d.path() / "no" / "such.92g"}) {
        std::string error;
        EXPECT_FALSE(savetarget(p, &error)) << p;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(savewhole(p, "x", &error)) << p;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(std::distance(fs::directory_iterator(d.path()), fs::directory_iterator()), 2);  // no stray temporary
}

TEST(SafeFile, NewPackageReplacesTheStoreOnlyOnceAVariableArrived) {
    TempDir d;
    PackageStore store(d.path());
    stage(store, {{"main\\old", 0x00, stored({1, 2})}});
    const Bytes before = readbytes(store.datapath());
    {
        PackageStoreWriter w(store);
        ASSERT_TRUE(w.open(true, nullptr));
        w.writedata(9);
        w.dropfrom(0);
        ASSERT_TRUE(w.close(nullptr));
    }
    EXPECT_EQ(readbytes(store.datapath()), before);
    EXPECT_TRUE(store.holdsvariables());
    {
        PackageStoreWriter w(store);
        ASSERT_TRUE(w.open(true, nullptr));
        w.writedata(0);
        w.writedata(1);
        w.writedata(7);
        ASSERT_TRUE(w.appendrecord(PackageRecord{"main\\new", 0, 3, 3, 0}));
        ASSERT_TRUE(w.close(nullptr));
    }
    const auto records = store.readrecords(nullptr);
    ASSERT_TRUE(records && records->size() == 1);
    EXPECT_EQ((*records)[0].name, "main\\new");
    EXPECT_EQ(readbytes(store.datapath()), (Bytes{0, 1, 7}));
}

} // namespace
