#include "files/packagestore.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "files/filetestutil.h"

namespace tessaly::test {
namespace {

TEST(PackageRecordBytes, ThirtyByteLayout) {
    PackageRecord r{"main\\abcdefghijk", 4, 0x01020304, 0x00ABCDEF, 0x12};
    const std::string b = encoderecord(r);
    ASSERT_EQ(b.size(), 30u);
    EXPECT_EQ(b[0], 16);
    EXPECT_EQ(b.substr(1, 16), "main\\abcdefghijk");
    EXPECT_EQ(b.substr(17, 4), std::string("\x04\0\0\0", 4));
    EXPECT_EQ(b.substr(21, 4), "\x04\x03\x02\x01");
    EXPECT_EQ(b.substr(25, 4), std::string("\xEF\xCD\xAB\0", 4));
    EXPECT_EQ(static_cast<std::uint8_t>(b[29]), 0x12);
    auto back = decoderecord(reinterpret_cast<const std::uint8_t*>(b.data()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, r.name);
    EXPECT_EQ(back->end, r.end);
    EXPECT_EQ(back->size, r.size);

    PackageRecord shortname{"x", 0, 0, 0, 0};
    EXPECT_EQ(encoderecord(shortname).substr(0, 3), std::string("\x01x\0", 3));
    EXPECT_EQ(encoderecord({std::string(20, 'n'), 0, 0, 0, 0})[0], 16);  // cut to 16
}

TEST(PackageStoreFiles, WriterAppendsDropsAndReopens) {
    TempDir dir;
    PackageStore store(dir.path());
    EXPECT_EQ(store.indexpath(), dir / "tessaly.~id");
    EXPECT_EQ(store.datapath(), dir / "tessaly.~dt");
    {
        PackageStoreWriter w(store);
        ASSERT_TRUE(w.open(true, nullptr));
        w.writedata(0x11);
        w.writedata(0x22);
        ASSERT_TRUE(w.appendrecord({"a", 0, 2, 2, 0x0C}));
        // A variable that did not arrive whole, longer than the buffer: dropped.
        Bytes lost(200000, 0x77);
        w.writedata(lost.data(), lost.size());
        EXPECT_TRUE(w.dropfrom(2));
        w.writedata(0x33);
        EXPECT_EQ(w.dataposition(), 3);
        ASSERT_TRUE(w.close(nullptr));
    }
    {
        PackageStoreWriter w(store);  // a further variable of the same receive
        ASSERT_TRUE(w.open(false, nullptr));
        EXPECT_EQ(w.dataposition(), 3);
        w.writedata(0x44);
        EXPECT_TRUE(w.dropfrom(3));  // only the buffered byte goes
        w.writedata(0x55);
        ASSERT_TRUE(w.appendrecord({"b", 2, 4, 2, 0x0B}));
        ASSERT_TRUE(w.close(nullptr));
    }
    EXPECT_EQ(readbytes(store.datapath()), (Bytes{0x11, 0x22, 0x33, 0x55}));
    auto records = store.readrecords(nullptr);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 2u);
    EXPECT_EQ((*records)[1].name, "b");
    EXPECT_EQ((*records)[1].start, 2);

    PackageStoreWriter w(store);
    ASSERT_TRUE(w.open(true, nullptr));  // a new receive that brings nothing takes nothing away
    ASSERT_TRUE(w.close(nullptr));
    EXPECT_EQ(store.readrecords(nullptr)->size(), 2u);
}

TEST(PackageStoreFiles, DamagedIndexIsReported) {
    TempDir dir;
    PackageStore store(dir.path());
    std::string error;
    EXPECT_FALSE(store.readrecords(&error));
    EXPECT_NE(error.find("nothing has been received"), std::string::npos);

    stage(store, {{"a", 0, storedofsize(10)}});
    const std::string good = encoderecord({"a", 0, 10, 10, 0});
    struct Case { const char* what; void (*spoil)(std::string&); const char* message; };
    const Case cases[] = {
        {"partial record", [](std::string& r) { r.pop_back(); }, "not a whole number"},
        {"name length 17", [](std::string& r) { r[0] = 17; }, "longer than 16"},
        {"beyond the data", [](std::string& r) { r[25] = 11; }, "beyond the end"},
        {"negative start", [](std::string& r) { r[20] = '\x80'; }, "beyond the end"},
    };
    for (const auto& c : cases) {
        std::string index = good;
        c.spoil(index);
        writebytes(store.indexpath(), Bytes(index.begin(), index.end()));
        EXPECT_FALSE(store.readrecords(&error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    }
    std::filesystem::remove(store.datapath());
    writebytes(store.indexpath(), Bytes(good.begin(), good.end()));
    EXPECT_FALSE(store.readrecords(&error));
    EXPECT_NE(error.find("missing"), std::string::npos);
}

// Never the program's folder, even a writable one; an earlier store there is taken over
// once, a copy, and does not come back once the user's store is emptied.
TEST(PackageStoreFolder, DataHomeOnlyEarlierStoreCopiedOnce) {
    TempDir dir;
    const std::filesystem::path program = dir / "bin";
    std::filesystem::create_directories(program);
    const std::string record = encoderecord({"main\\a", 0, 2, 2, 0x0C});
    writebytes(program / kPackageIndexName, Bytes(record.begin(), record.end()));
    writebytes(program / kPackageDataName, {0x11, 0x22});
    const auto env = [](const char* name) { const char* v = std::getenv(name); return v ? std::optional<std::string>(v) : std::nullopt; };
    const auto oldxdg = env("XDG_DATA_HOME"), oldhome = env("HOME");
    setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    const auto folder = packagestorefolder(program);
    const auto copied = PackageStore(folder).readrecords(nullptr);
    std::filesystem::remove(folder / kPackageIndexName);
    const auto again = packagestorefolder(program);
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", (dir / "home").c_str(), 1);
    const auto fromhome = packagestorefolder({});
    for (const auto& [name, old] : {std::pair{"XDG_DATA_HOME", oldxdg}, std::pair{"HOME", oldhome}})
        old ? setenv(name, old->c_str(), 1) : unsetenv(name);

    EXPECT_EQ(folder, dir / "data" / "tessaly92");
    EXPECT_EQ(again, folder);
    ASSERT_TRUE(copied && copied->size() == 1u);
    EXPECT_EQ((*copied)[0].name, "main\\a");
    EXPECT_EQ(readbytes(folder / kPackageDataName), (Bytes{0x11, 0x22}));
    EXPECT_FALSE(PackageStore(folder).holdsvariables());  // emptied: not copied a second time
    EXPECT_TRUE(PackageStore(program).holdsvariables());  // the earlier store is left as it was
    EXPECT_EQ(fromhome, dir / "home" / ".local" / "share" / "tessaly92");
    EXPECT_TRUE(std::filesystem::is_directory(fromhome));
}

TEST(PackageStoreFiles, UnwritableFolderIsReported) {
    TempDir dir;
    writebytes(dir / "file", {1});
    PackageStore store(dir / "file" / "sub");
    PackageStoreWriter w(store);
    std::string error;
    EXPECT_FALSE(w.open(true, &error));
    EXPECT_NE(error.find("Cannot write the package store"), std::string::npos) << error;
    EXPECT_FALSE(w.ok());
}

} // namespace
} // namespace tessaly::test
