#pragma once
#include <string>
#include <vector>

#include "files/tifile.h"
#include "transfers/backup.h"
#include "transfers/rig.h"
#include "transfers/send.h"

namespace tessaly::test {

// One table entry of a group file to build: a folder entry, or a variable's stored bytes.
struct FileItem {
    std::string name;
    std::uint8_t type = 0;
    Bytes data;           // the S stored bytes; empty for a folder
    bool folder = false;
};

// A TI-92 file laid out byte by byte, folder entries counting the variables after them.
inline Bytes groupfile(const std::vector<FileItem>& items) {
    GoldenFile f("sent", static_cast<std::uint8_t>(items.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(tidatastart(items.size()));
    for (std::size_t k = 0; k < items.size(); ++k) {
        const FileItem& it = items[k];
        if (it.folder) {
            std::uint16_t count = 0;
            for (std::size_t j = k + 1; j < items.size() && !items[j].folder; ++j) ++count;
            f.entry(offset, it.name, kFolderType, count);
        } else {
            f.entry(offset, it.name, it.type);
            offset += static_cast<std::uint32_t>(it.data.size() + 6);
        }
    }
    f.sizefield(offset);
    for (const FileItem& it : items)
        if (!it.folder) f.section(it.data);
    return f.bytes;
}

// A backup file of n data bytes.
inline Bytes backupfile(std::size_t n, std::uint8_t seed = 3) {
    Bytes data(n);
    for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<std::uint8_t>(seed + i * 13);
    GoldenFile f("backup", 1);
    f.entry(82, "1.11", kBackupType).sizefield(static_cast<std::uint32_t>(84 + n)).section(data, true);
    return f.bytes;
}

// The packets of one direction of a trace, cut by the command table.
inline std::vector<Bytes> packetsof(const Bytes& bytes) {
    std::vector<Bytes> out;
    for (std::size_t i = 0; i + 4 <= bytes.size();) {
        std::size_t n = 4;
        if (carriesdata(bytes[i + 1])) n += bytes[i + 2] + 256u * bytes[i + 3] + 2;
        n = std::min(n, bytes.size() - i);
        out.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.begin() + static_cast<std::ptrdiff_t>(i + n));
        i += n;
    }
    return out;
}

// The sending exchanges against the virtual TI-92, with a folder for the files to send.
struct SendRig : ReceiveRig {
    TempDir files;

    std::filesystem::path file(const std::string& name, const Bytes& bytes) {
        writebytes(files / name, bytes);
        return files / name;
    }
    SendResult send(const std::filesystem::path& path, std::function<bool(std::size_t)> selected = {}) {
        TransferSession session(state, shell);
        return sendvariables(link, shell, path, selected);
    }
    BackupSent restore(const std::filesystem::path& path, BackupPurpose purpose = BackupPurpose::Restore) {
        TransferSession session(state, shell);
        return sendbackup(link, shell, path, purpose);
    }
    bool fetch(const std::filesystem::path& dest) {
        TransferSession session(state, shell);
        std::string comment = "mine";
        return fetchbackup(link, shell, store, dest, comment);
    }
};

} // namespace tessaly::test
