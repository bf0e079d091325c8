#pragma once
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace tessaly {

// FARGO programs and libraries are single-variable TI-92 files whose content (from file
// offset 88) carries a kind byte and two big-endian positions.
inline constexpr std::size_t kFargoKindOffset = 89;
inline constexpr std::size_t kFargoLibraryWordOffset = 94;     // V: the library table at 89 + V
inline constexpr std::size_t kFargoDescriptionWordOffset = 100;  // D: the description at 88 + D
inline constexpr std::uint8_t kFargoProgramKind = 0x50;  // 'P'
inline constexpr std::uint8_t kFargoLibraryKind = 0x4C;  // 'L'

enum class FargoKind { None, Program, Library };

// Everything here reads only inside bytes: a file too short for a position gives no
// metadata, and the file's end ends a name or description that has no terminator.
FargoKind fargokind(std::span<const std::uint8_t> bytes);
std::vector<std::string> fargolibraries(std::span<const std::uint8_t> bytes);
std::string fargodescription(std::span<const std::uint8_t> bytes);

struct FargoMeta {
    FargoKind kind = FargoKind::None;
    std::vector<std::string> libraries;  // programs only
    std::string description;             // programs only
};
FargoMeta fargometa(std::span<const std::uint8_t> bytes);

// The first bytes of a file, enough for the header, the whole table and every FARGO
// position (a single variable is at most 64 KB). Empty and a message on failure.
bool readfilehead(const std::filesystem::path& path, std::vector<std::uint8_t>& head, std::uint64_t& length,
                  std::string* error);
FargoMeta readfargometa(const std::filesystem::path& path);

} // namespace tessaly
