#pragma once
// Flash files of our own making: no file from the maker may be kept here, so the tests and
// the virtual calculator build theirs from the field encoding and the seal.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "files/flashfile.h"
#include "link/model.h"
#include "vcalc/flashseal.h"

namespace tessaly::samples {

namespace detail {

using Bytes = std::vector<std::uint8_t>;

inline void append(Bytes& to, const Bytes& more) {
    for (std::uint8_t b : more) to.push_back(b);
}

// The header's fields (in 800F for a system, 810F for an application: the link library reads
// no application whose data begins otherwise), then the payload, then the seal over both.
inline Bytes sealedimage(std::uint16_t headerid, const Bytes& headerfields, std::size_t payloadbytes, bool goodseal) {
    Bytes image = flashfield(headerid, headerfields);
    Bytes payload;
    payload.reserve(payloadbytes);
    for (std::size_t i = 0; i < payloadbytes; ++i) payload.push_back(static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF));
    append(image, flashfield(0x8070, payload));
    auto seal = flashseal(image);
    if (!goodseal) seal[0] ^= 0xFF;
    append(image, flashfield(0x020D, seal));
    return image;
}

inline FlashPart part(const CalculatorModel& model, std::uint8_t datatype, std::string_view name, std::uint8_t hardwareid) {
    FlashPart p;
    p.datatype = datatype;
    p.devicetype = model.flashdevice;
    p.hardwareid = hardwareid;
    p.name = std::string(name);
    p.day = 14;
    p.month = 3;
    p.year = 2005;
    return p;
}

inline FlashPart licence(const CalculatorModel& model) {
    FlashPart p = part(model, kFlashLicence, "license", 0);
    constexpr std::string_view text = "Licence text: use on your own calculator.";
    p.data.assign(text.begin(), text.end());
    return p;
}

} // namespace detail

// A licence part, then the application part (device = model.flashdevice, hw 0).
inline FlashFile application(const CalculatorModel& model, std::string_view name, std::size_t payloadbytes,
                             bool goodseal = true) {
    FlashPart app = detail::part(model, kFlashApplication, name, 0);
    detail::Bytes fields = flashfield(0x8010, detail::Bytes{model.flashdevice, 0});
    detail::append(fields, flashfield(0x8040, detail::Bytes(name.begin(), name.end())));
    app.data = detail::sealedimage(0x810F, fields, payloadbytes, goodseal);
    FlashFile f;
    f.parts.push_back(detail::licence(model));
    f.parts.push_back(std::move(app));
    return f;
}

// A licence part, then the system part (name "basecode", hardware ID = model.hardwareid in
// the header and in field 8010), version major.minor in field 8022.
inline FlashFile system(const CalculatorModel& model, std::uint8_t major, std::uint8_t minor, std::size_t payloadbytes,
                        bool goodseal = true) {
    FlashPart os = detail::part(model, kFlashOs, "basecode", model.hardwareid);
    os.revisionmajor = major;
    os.revisionminor = minor;
    detail::Bytes fields = flashfield(0x8010, detail::Bytes{model.flashdevice, model.hardwareid});
    detail::append(fields, flashfield(0x8022, detail::Bytes{major, minor}));
    os.data = detail::sealedimage(0x800F, fields, payloadbytes, goodseal);
    FlashFile f;
    f.parts.push_back(detail::licence(model));
    f.parts.push_back(std::move(os));
    return f;
}

inline FlashFile certificate(const CalculatorModel& model, std::size_t payloadbytes) {
    FlashPart cert = detail::part(model, kFlashCertificate, "", 0);
    detail::Bytes content;
    for (std::size_t i = 0; i < payloadbytes; ++i) content.push_back(static_cast<std::uint8_t>(0x30 + i % 10));
    cert.data = flashfield(0x0330, content);
    FlashFile f;
    f.parts.push_back(std::move(cert));
    return f;
}

// The ID list as the calculator shows it: 5, 5 and 4 upper-case hex digits joined by dashes.
// (Checked by hand: std::regex trips GCC's uninitialised-use warning under the sanitizers.)
inline bool idlistshaped(std::string_view s) {
    if (s.size() != 16 || s[5] != '-' || s[11] != '-') return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (i != 5 && i != 11 && !((s[i] >= '0' && s[i] <= '9') || (s[i] >= 'A' && s[i] <= 'F'))) return false;
    return true;
}

} // namespace tessaly::samples
