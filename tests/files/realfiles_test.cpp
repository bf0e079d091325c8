// TI-92 files as they exist in the wild (tests/data) and compared with what an independent
// reader reports about them.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "files/fileinfo.h"
#include "files/filetestutil.h"
#include "files/tifile.h"

namespace tessaly::test {
namespace {

const std::filesystem::path kData = TESSALY_TESTDATA_DIR;

// The flat key/value pairs of a JSON text, in order (enough for the sample reports:
// strings without escapes other than \" and \\, numbers, booleans).
std::vector<std::pair<std::string, std::string>> jsonpairs(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t i = 0;
    auto readstring = [&]() {
        std::string s;
        for (++i; i < text.size() && text[i] != '"'; ++i) {
            if (text[i] == '\\' && i + 1 < text.size()) ++i;
            s += text[i];
        }
        ++i;
        return s;
    };
    while (i < text.size()) {
        if (text[i] != '"') {
            ++i;
            continue;
        }
        std::string key = readstring();
        while (i < text.size() && (text[i] == ' ' || text[i] == ':')) ++i;
        if (i < text.size() && text[i] == '"') {
            pairs.emplace_back(key, readstring());
        } else {
            std::size_t end = text.find_first_of(",}\n]", i);
            pairs.emplace_back(key, text.substr(i, end - i));
            i = end;
        }
    }
    return pairs;
}

struct Reported {
    std::map<std::string, std::string> top;
    std::vector<std::map<std::string, std::string>> entries;
};

Reported report(const std::filesystem::path& json) {
    std::ifstream in(json);
    std::stringstream ss;
    ss << in.rdbuf();
    Reported r;
    bool inentries = false;
    for (const auto& [k, v] : jsonpairs(ss.str())) {
        if (k == "folder") {
            inentries = true;
            r.entries.emplace_back();
        } else if (k == "checksum_computed_total") {
            inentries = false;
        }
        (inentries ? r.entries.back() : r.top)[k] = v;
    }
    return r;
}

Bytes unhex(const std::string& hex) {
    Bytes b;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) b.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

std::uint16_t sum16(const Bytes& b) {
    std::uint32_t s = 0;
    for (auto c : b) s += c;
    return static_cast<std::uint16_t>(s);
}

// Every variable's bytes, with the checksum stored after them.
struct ReadBack {
    const TiEntry* entry;
    Bytes data;
    std::uint16_t storedsum;
};

std::vector<ReadBack> readall(const std::filesystem::path& path, TiFile& file) {
    TiFileReader reader;
    std::string error;
    EXPECT_TRUE(reader.open(path, &error)) << error;
    file = reader.file();
    std::vector<ReadBack> out;
    for (const auto& e : file.entries) {
        if (e.isfolder()) continue;
        ReadBack r{&e, {}, 0};
        EXPECT_TRUE(reader.readvariable(e, r.data));
        std::uint8_t sum[2] = {};
        EXPECT_TRUE(reader.read(e.dataposition + e.size, sum));
        r.storedsum = static_cast<std::uint16_t>(sum[0] | (sum[1] << 8));
        out.push_back(std::move(r));
    }
    return out;
}

class RealSample : public ::testing::TestWithParam<const char*> {};

TEST_P(RealSample, ReadsAsReported) {
    const auto path = kData / "samples" / GetParam();
    auto json = path;
    json.replace_extension(".json");
    ASSERT_TRUE(std::filesystem::exists(json)) << json;
    const Reported rep = report(json);
    TiFile file;
    auto vars = readall(path, file);
    ASSERT_FALSE(vars.empty());
    EXPECT_TRUE(file.formatok);
    EXPECT_EQ(file.comment, rep.top.at("comment").substr(0, 34));
    if (rep.top.at("kind") == "backup") {
        ASSERT_EQ(vars.size(), 1u);
        EXPECT_TRUE(file.backuplayout);
        EXPECT_EQ(vars[0].entry->name, rep.top.at("rom_version"));
        EXPECT_EQ(vars[0].entry->type, std::stoi(rep.top.at("type")));
        EXPECT_EQ(vars[0].data.size(), std::stoul(rep.top.at("data_length")));
        EXPECT_EQ(sum16(vars[0].data), std::stoul(rep.top.at("checksum_computed")));
        EXPECT_EQ(vars[0].storedsum, std::stoul(rep.top.at("checksum_stored")));
        return;
    }
    ASSERT_EQ(vars.size(), rep.entries.size());
    EXPECT_EQ(vars.size(), std::stoul(rep.top.at("num_entries")));
    for (std::size_t i = 0; i < vars.size(); ++i) {
        const auto& e = rep.entries[i];
        SCOPED_TRACE(e.at("name"));
        EXPECT_EQ(vars[i].entry->name, e.at("name"));
        // Single files hold no folder entry; the report takes their default folder.
        EXPECT_TRUE(vars[i].entry->folder.empty() || vars[i].entry->folder == e.at("folder"));
        EXPECT_EQ(vars[i].entry->type, std::stoi(e.at("type")));
        EXPECT_EQ(vars[i].data.size(), std::stoul(e.at("size")));
        EXPECT_EQ(vars[i].data, unhex(e.at("data_hex")));
        EXPECT_EQ(vars[i].storedsum, std::stoul(e.at("checksum")));
    }
    // The information row agrees with the table.
    auto info = readfileinfo(path);
    EXPECT_TRUE(info.sendable);
    EXPECT_EQ(info.rows.size(), vars.size());
}

INSTANTIATE_TEST_SUITE_P(Files, RealSample,
                         ::testing::Values("backup.92b", "group.92g", "group2.92g", "str.92s", "xx.92s", "yy.92s"));

struct Capture {
    const char* file;
    std::vector<std::string> names;  // full names
    std::uint8_t type;
};

class CapturedFile : public ::testing::TestWithParam<Capture> {};

TEST_P(CapturedFile, ReadsWithConsistentLengthsAndChecksums) {
    const auto path = kData / "captures" / GetParam().file;
    TiFile file;
    auto vars = readall(path, file);
    ASSERT_EQ(vars.size(), GetParam().names.size());
    for (std::size_t i = 0; i < vars.size(); ++i) {
        EXPECT_EQ(vars[i].entry->fullname(), GetParam().names[i]);
        EXPECT_EQ(vars[i].entry->type, GetParam().type);
        EXPECT_EQ(vars[i].storedsum, sum16(vars[i].data));
        if (!file.backuplayout) {
            ASSERT_GE(vars[i].data.size(), 2u);
            EXPECT_EQ((vars[i].data[0] << 8 | vars[i].data[1]) + 2u, vars[i].data.size());
        }
    }
    EXPECT_EQ(file.sizefield, file.length);
}

INSTANTIATE_TEST_SUITE_P(Files, CapturedFile,
                         ::testing::Values(Capture{"x.92E", {"x"}, 0x00}, Capture{"y.92E", {"y"}, 0x00},
                                           Capture{"z.92E", {"z"}, 0x00},
                                           Capture{"GROUP.92G", {"test\\x", "test\\y"}, 0x00},
                                           Capture{"BACKUP.92B", {"1.11"}, 0x1D}));

} // namespace
} // namespace tessaly::test
