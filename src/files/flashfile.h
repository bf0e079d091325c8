#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/model.h"

namespace tessaly {

// A Flash file (**TIFL**): an application (.89k .9xk .v2k), an operating system (.89u .9xu
// .v2u) or a certificate (.89q .9xq .v2q). One or more parts follow one another directly,
// each a 78-byte header and its data; a licence part usually comes before the data part.
inline constexpr std::string_view kFlashSignature = "**TIFL**";
inline constexpr std::size_t kFlashHeaderSize = 0x4E;

// The data types a part carries.
inline constexpr std::uint8_t kFlashOs = 0x23;
inline constexpr std::uint8_t kFlashApplication = 0x24;
inline constexpr std::uint8_t kFlashCertificate = 0x25;
inline constexpr std::uint8_t kFlashLicence = 0x3E;

struct FlashPart {
    std::uint8_t revisionmajor = 1;  // as the header's BCD bytes read (1.00)
    std::uint8_t revisionminor = 0;
    std::uint8_t flags = 0;
    std::uint8_t objecttype = 0;
    std::uint8_t day = 1, month = 1;  // plain numbers (the file keeps them in BCD)
    std::uint16_t year = 2000;
    std::string name;                  // up to 8 characters ("basecode" for a system)
    std::uint8_t devicetype = 0;       // 98 (TI-89, TI-89 Titanium), 88 (TI-92 Plus, Voyage 200)
    std::uint8_t datatype = 0;         // kFlashOs, kFlashApplication, kFlashCertificate, kFlashLicence
    std::uint8_t hardwareid = 0;       // 1, 3, 8, 9; 0 where the file names none
    std::vector<std::uint8_t> data;

    bool sent() const { return datatype != kFlashLicence; }  // licences stay on the computer
};

struct FlashFile {
    std::vector<FlashPart> parts;

    // The part that goes to the calculator (the first that is not a licence); nullptr when none.
    const FlashPart* payload() const;
};

// A part made of data just received from a calculator of the model, dated today: the
// calculator sends no header, so the file says when it was fetched.
FlashPart receivedflashpart(const CalculatorModel& model, std::uint8_t datatype, std::string name,
                            std::vector<std::uint8_t> data);

// Whether bytes begin with the Flash signature.
bool isflashfile(std::span<const std::uint8_t> prefix);

// Reads every part. A part longer than the file, an unknown data type or a device type of
// no model gives nullopt and a message naming the part ("part 2 (data): ...").
std::optional<FlashFile> parseflashfile(std::span<const std::uint8_t> bytes, std::string* error);
std::optional<FlashFile> readflashfile(const std::filesystem::path& path, std::string* error);

// A part as a list of files shows it, read without its data (part.data stays empty): a
// system file runs to megabytes, and a folder may hold many.
struct FlashPartHeader {
    FlashPart part;
    std::uint64_t datasize = 0;
    std::uint64_t dataoffset = 0;  // in the file
};
// Every part's header, with the checks and messages of readflashfile.
std::optional<std::vector<FlashPartHeader>> readflashheaders(const std::filesystem::path& path, std::string* error);

// The file's bytes, every part in order (the BCD fields written from the plain numbers).
std::vector<std::uint8_t> flashbytes(const FlashFile& file);
// Written as a whole file (safefile.h): nothing under the name unless it was all written.
bool writeflashfile(const std::filesystem::path& path, const FlashFile& file, std::string* error);

// The models a device type and hardware ID fit; a hardware ID of 0 fits every model of the
// device type. Empty for a device type of no model.
std::vector<const CalculatorModel*> flashmodels(std::uint8_t devicetype, std::uint8_t hardwareid);
// Their names: "TI-92 Plus or Voyage 200"; empty where none fits.
std::string flashmodelnames(std::uint8_t devicetype, std::uint8_t hardwareid);
// Why the file cannot go to this model (another device type or hardware); empty when it can.
std::string flashmismatch(const FlashFile& file, const CalculatorModel& model);

// "application", "operating system", "certificate", "licence"; "part type XX" for another.
std::string flashkindname(std::uint8_t datatype);

// TI's field encoding inside Flash data: a big-endian 16-bit ID whose low nibble gives the
// size (0-C the size itself; D: one size byte follows, E: two, F: four, big-endian).
struct FlashField {
    std::uint16_t id = 0;           // with its size nibble
    std::size_t offset = 0;         // of the field's content within the data
    std::size_t size = 0;
};
// The field at position; nullopt when it does not fit in the data.
std::optional<FlashField> readflashfield(std::span<const std::uint8_t> data, std::size_t position);
// The version an operating system's image names: the two bytes (major, minor: 2.09) of its
// revision field 8022, inside the 800F field it starts with; nullopt when it names none.
std::optional<std::array<std::uint8_t, 2>> flashosversion(std::span<const std::uint8_t> data);
// A field's bytes: the ID (its size nibble set from the content's size, or kept where it
// asks for a wider size that holds the content: 800F stays 800F) and the content.
std::vector<std::uint8_t> flashfield(std::uint16_t id, std::span<const std::uint8_t> content);

} // namespace tessaly
