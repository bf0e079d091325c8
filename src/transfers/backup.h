#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "files/packagestore.h"
#include "link/link.h"
#include "link/progress.h"

namespace tessaly {

inline constexpr std::string_view kRequestingBackupText = "Requesting backup";
inline constexpr std::string_view kReceivingBackupText = "Receiving backup.";
inline constexpr std::string_view kNoRequestAckText = "Did not got requestACK";
inline constexpr std::string_view kSendingHeaderText = "Sending header..";
inline constexpr std::string_view kNoHeaderAckText = "Did not got header ACK!";
inline constexpr std::string_view kNoBlockAckText = "Did not got ACK for block ";
inline constexpr std::string_view kBackupSentText = "Backup sent completely!";
inline constexpr std::string_view kFargoBackupText =
    "Could not send all bytes. This is supposed to happen when sending FARGO-backups.\n\nFargo-backup installed.";
inline constexpr std::string_view kNotRestoredText = "The backup was not restored: ";
inline constexpr std::string_view kBackupNotReceivedText = "The backup was not received whole: ";

inline constexpr std::size_t kBackupBlockSize = 1024;
inline constexpr std::uint32_t kLargeBackup = 102000;
inline constexpr std::uint32_t kFargoNoticeBytes = 105000;

struct BackupReceived {
    bool received = false;    // whole, ended by the calculator's end of transmission
    std::string romversion;   // the name of the first block
    std::uint32_t size = 0;   // bytes kept
    std::uint32_t blocks = 0;
    bool groupmodel = false;  // a later model answered: its backup is a group file (groupbackup.h)
};

// Fetches the calculator's memory into the package store (emptied first): one record of
// type backup named by the ROM version. Ends at the end of transmission or as soon as the
// link fails; a backup that did not arrive whole leaves no record.
BackupReceived receivebackup(Link& link, Progress& progress, const PackageStore& store);

// receivebackup, then, only for a whole backup, the package writer in the backup layout:
// the file appears under dest complete or not at all. comment is the package comment. A
// later model's backup is fetched into a group file instead (fetchgroupbackup).
bool fetchbackup(Link& link, Progress& progress, const PackageStore& store, const std::filesystem::path& dest,
                 std::string& comment);

// Why a backup is sent: a restore reports any failure as not restored; FARGO installation
// expects its large backup to be cut off and says so.
enum class BackupPurpose { Restore, Fargo };

struct BackupSent {
    bool sent = false;
    std::uint32_t size = 0;  // N, the data bytes of the file
    std::uint32_t blocks = 0;
};

// Why a file cannot be restored as a backup; empty when it can.
std::string checkbackupfile(const std::filesystem::path& path);

// Sends a .92b file: the total-size header, then 1024-byte blocks, then the end of
// transmission. A file that is not a readable backup is refused before anything is sent.
BackupSent sendbackup(Link& link, Progress& progress, const std::filesystem::path& path,
                      BackupPurpose purpose = BackupPurpose::Restore);

} // namespace tessaly
