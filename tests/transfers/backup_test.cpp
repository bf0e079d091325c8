#include <gtest/gtest.h>

#include "transfers/sendrig.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

const Bytes kBlockHeader{0x09, 0x06, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1D, 0x1D, 0x00};

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

// The data bytes of a backup file: from offset 82 to before its checksum.
Bytes backupdata(const Bytes& file) { return Bytes(file.begin() + 82, file.end() - 2); }

TEST(Backup, OneByteBackupByteForByte) {
    SendRig rig;
    const BackupSent sent = rig.restore(rig.file("one.92b", backupfile(1)));
    EXPECT_EQ(rig.trace.text(), transcript({
                                    "> 09 68 00 00",
                                    "< 89 56 00 00",
                                    "> 09 06 05 00 01 00 00 00 1D 1E 00",
                                    "< 89 56 00 00",
                                    "> 09 06 05 00 00 00 00 00 1D 1D 00",
                                    "< 89 56 00 00 89 09 00 00",
                                    "> 09 56 00 00 09 15 01 00 03 03 00",
                                    "< 89 56 00 00",
                                    "> 09 92 00 00",
                                }));
    EXPECT_TRUE(sent.sent);
    EXPECT_EQ(rig.shell.statuses,
              (std::vector<std::string>{"Sending header..", "Sending backup (1b)..", "Backup sent completely!"}));
}

struct BlockCase {
    std::size_t n;
    std::vector<std::size_t> blocks;
    std::vector<int> gauge;  // at the start of each block, then full
};

class BackupBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(BackupBlocks, SentInBlocksOf1024) {
    const BlockCase& c = GetParam();
    SendRig rig;
    const Bytes file = backupfile(c.n);
    rig.restore(rig.file("b.92b", file));

    const auto packets = packetsof(rig.trace.sent());
    ASSERT_GE(packets.size(), 3u);
    EXPECT_EQ(packets[1], (Bytes{0x09, 0x06, 0x05, 0x00, static_cast<std::uint8_t>(c.n), static_cast<std::uint8_t>(c.n >> 8),
                                 0x00, 0x00, 0x1D, static_cast<std::uint8_t>((c.n & 0xFF) + (c.n >> 8) + 0x1D), 0x00}));
    std::vector<std::size_t> blocks;
    Bytes data;
    for (const Bytes& p : packets) {
        if (p[1] == CmdData) {
            blocks.push_back(p[2] + 256u * p[3]);
            data.insert(data.end(), p.begin() + 4, p.end() - 2);
        }
        if (p[1] == CmdVarHeader && &p != &packets[1]) {
            EXPECT_EQ(p, kBlockHeader);
        }
    }
    EXPECT_EQ(blocks, c.blocks);
    EXPECT_EQ(data, backupdata(file));
    EXPECT_EQ(packets.back(), (Bytes{0x09, 0x92, 0x00, 0x00}));
    EXPECT_EQ(rig.shell.gaugemax, static_cast<int>(c.n));
    EXPECT_EQ(rig.shell.gaugepositions, c.gauge);
    EXPECT_TRUE(rig.state.linkok);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BackupBlocks,
                         ::testing::Values(BlockCase{1, {1}, {0, 1}}, BlockCase{0, {0}, {0, 0}},
                                           BlockCase{2048, {1024, 1024}, {0, 1024, 2048}},
                                           BlockCase{2049, {1024, 1024, 1}, {0, 1024, 2048, 2049}}),
                         [](const auto& tp) { return "Data" + std::to_string(tp.param.n); });

TEST(Backup, ReceivedAndRestoredLeavesTheMemoryAsItWas) {
    SendRig rig;
    tessaly::testing::capturememory(rig.calc);
    const Bytes image = backupimage(rig.calc.memory());
    const auto dest = rig.files / "mem.92b";

    ASSERT_TRUE(rig.fetch(dest)) << rig.state.pendingerror;

    EXPECT_TRUE(contains(rig.shell.statuses, "Requesting backup"));
    EXPECT_TRUE(contains(rig.shell.statuses, "Receiving backup."));
    // While the third block arrives, the ROM version of the first names it.
    EXPECT_TRUE(contains(rig.shell.statuses, "Receiving block 3 ROM v1.11"));
    EXPECT_TRUE(contains(rig.shell.statuses, "Backup received!(" + std::to_string(image.size()) + "b)"));
    EXPECT_EQ(rig.shell.laststatus(), "mem.92b saved.");
    // The record keeps every byte; the file holds the image whole.
    const auto records = rig.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, "1.11");
    EXPECT_EQ(records[0].type, kBackupType);
    EXPECT_EQ(records[0].size, records[0].end - records[0].start);
    const Bytes file = readbytes(dest);
    EXPECT_EQ(backupdata(file), image);

    rig.calc.memory().folders.push_back({"extra", {calcvariable("v", 0x00, {1, 2, 3})}});
    rig.restore(dest);
    EXPECT_TRUE(rig.state.linkok) << rig.state.pendingerror;
    EXPECT_EQ(backupimage(rig.calc.memory()), image);
}

TEST(Backup, TheRealBackupFileIsSentWholeAndComesBack) {
    const std::string path = tessaly::testing::capturepath("BACKUP.92B");
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no captures";
    SendRig rig;
    const Bytes original = readbytes(path);
    const BackupSent sent = rig.restore(path);
    ASSERT_TRUE(sent.sent) << rig.state.pendingerror;
    EXPECT_EQ(sent.blocks, (original.size() - 84 + 1023) / 1024);

    ASSERT_TRUE(rig.fetch(rig.files / "back.92b")) << rig.state.pendingerror;
    EXPECT_EQ(backupdata(readbytes(rig.files / "back.92b")), backupdata(original));
}

TEST(Backup, AFailedReceiveNeverReplacesTheChosenFile) {
    // 1: every block arrives with a wrong checksum.
    for (const std::size_t after : {std::size_t{0}, std::size_t{1}, std::size_t{60}, std::size_t{3000}}) {
        SendRig rig;
        if (after == 0)
            rig.calc.misbehaviour().mute = true;
        else if (after == 1)
            rig.calc.misbehaviour().wrongchecksum = true;
        else
            rig.calc.misbehaviour().stopafterbytes = after;
        const auto dest = rig.file("old.92b", Bytes{7, 7, 7});

        EXPECT_FALSE(rig.fetch(dest));

        EXPECT_FALSE(rig.state.linkok);
        if (after == 0) {
            EXPECT_EQ(rig.state.pendingerror, "Did not got requestACK");
        }
        if (after == 1) {
            EXPECT_NE(rig.state.pendingerror.find("block 1 arrived damaged (checksum error)"), std::string::npos)
                << rig.state.pendingerror;
        }
        if (after == 3000) {
            EXPECT_TRUE(rig.state.pendingerror.starts_with("Did not receive byte ")) << rig.state.pendingerror;
        }
        EXPECT_EQ(readbytes(dest), (Bytes{7, 7, 7}));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(rig.files.path()), {}), 1);
        EXPECT_TRUE(rig.records().empty());
    }
}

struct RestoreFailure {
    const char* label;
    std::size_t n;
    std::optional<std::size_t> stopafter;  // none: mute
    BackupPurpose purpose;
    std::string pending;
};

class BackupRestoreFailure : public ::testing::TestWithParam<RestoreFailure> {};

TEST_P(BackupRestoreFailure, IsNeverShownAsSuccess) {
    const RestoreFailure& c = GetParam();
    SendRig rig;
    if (c.stopafter)
        rig.calc.misbehaviour().stopafterbytes = *c.stopafter;
    else
        rig.calc.misbehaviour().mute = true;
    const BackupSent sent = rig.restore(rig.file("b.92b", backupfile(c.n)), c.purpose);
    EXPECT_FALSE(sent.sent);
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_TRUE(rig.state.pendingerror.starts_with(c.pending)) << rig.state.pendingerror;
    EXPECT_FALSE(contains(rig.shell.statuses, "Backup sent completely!"));
    if (c.pending == kFargoBackupText) {
        EXPECT_EQ(rig.shell.gaugeposition, int(c.n));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackupRestoreFailure,
    ::testing::Values(
        RestoreFailure{"HeaderUnanswered", 2000, std::nullopt, BackupPurpose::Restore,
                       "The backup was not restored: Did not got header ACK!"},
        RestoreFailure{"CutOffLargeRestore", 106000, 5000, BackupPurpose::Restore, "The backup was not restored: "},
        RestoreFailure{"CutOffLargeFargo", 106000, 5000, BackupPurpose::Fargo, std::string(kFargoBackupText)},
        RestoreFailure{"CutOffFargoNotLarge", 102000, 5000, BackupPurpose::Fargo, "The backup was not restored: "}),
    [](const auto& tp) { return std::string(tp.param.label); });

TEST(Backup, AFileThatIsNoBackupIsRefusedBeforeAnythingIsSent) {
    SendRig rig;
    rig.restore(rig.file("f.92b", groupfile({{"x", 0x00, {0x00, 0x01, 0x05}}})));
    EXPECT_TRUE(rig.trace.bytes().empty());
    EXPECT_EQ(rig.state.pendingerror, "The backup was not restored: f.92b is not a TI-92 backup file.");
}

} // namespace

namespace {

// After a block, only another block header or the end may follow: any other packet would
// be read as a block and its bytes kept as memory, so it fails the receive and nothing is
// kept (where the calculator's own software would start a new block).
TEST(Backup, AnotherPacketAfterABlockFailsTheReceive) {
    const Bytes ack{0x89, 0x56, 0x00, 0x00};
    ScriptedRig rig({
        {4, ack},                                                                    // ready check
        {27, {0x89, 0x56, 0x00, 0x00, 0x89, 0x06, 0x0A, 0x00, 0x00, 0x04, 0x00, 0x00,
              0x1D, 0x04, '1', '.', '1', '1', 0xE6, 0x00}},                          // the block's header
        {35, {0x89, 0x56, 0x00, 0x00, 0x89, 0x15, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
              0xAA, 0xBB, 0x65, 0x01}},                                              // its data
        {39, {0x89, 0x09, 0x00, 0x00}},                                              // then no header
    });
    rig.state.linkok = true;
    const BackupReceived got = receivebackup(rig.link, rig.shell, rig.store);
    EXPECT_EQ(got.blocks, 1u);
    EXPECT_FALSE(got.received);
    EXPECT_FALSE(rig.state.linkok);
    EXPECT_EQ(rig.state.pendingerror, std::string(kBackupNotReceivedText) + "the calculator did not end it");
    EXPECT_TRUE(rig.records().empty());
}

} // namespace
