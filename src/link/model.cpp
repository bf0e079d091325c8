#include "link/model.h"

#include <vector>

#include "link/byteorder.h"


namespace tessaly {

std::uint8_t CalculatorModel::typecode_of(std::string_view text) const {
    for (int code = 31; code >= 0; --code)
        if (typename_of(static_cast<unsigned>(code)) == text) return static_cast<std::uint8_t>(code);
    // The later models' own types lie above 31; an unnamed text stays the code below 32.
    for (const TypeInfo& t : types)
        if (!text.empty() && t.name == text) return t.code;
    return 0;
}

namespace {

// The later models share the TI-92's types and add their own; only the extensions' first
// two letters differ between them.
#define TESSALY_LATER_TYPES(P)                                                                                       \
    {0x00, "expression", P "e"}, {0x04, "list", P "l"}, {0x06, "matrix", P "m"}, {0x0A, "data", P "c"},               \
        {0x0B, "text", P "t"}, {0x0C, "string", P "s"}, {0x0D, "gdb", P "d"}, {0x0E, "figure", P "a"},                \
        {0x10, "picture", P "i"}, {0x12, "program", P "p"}, {0x13, "function", P "f"}, {0x14, "macro", P "x"},        \
        {0x18, "clock", ""}, {0x1D, "backup", P "b"}, {0x1F, "folder", ""}, {0x21, "assembly", P "z"},                \
        {0x22, "idlist", P "y"}, {0x23, "os", P "u"}, {0x24, "application", P "k"}, {0x25, "certificate", P "q"}

constexpr TypeInfo kTI92PlusTypes[] = {TESSALY_LATER_TYPES("9x")};
constexpr TypeInfo kV200Types[] = {TESSALY_LATER_TYPES("v2")};
constexpr TypeInfo kTI89Types[] = {TESSALY_LATER_TYPES("89")};
#undef TESSALY_LATER_TYPES

// The TI-92's packets, the version request (2D) and the delete (88).
constexpr std::uint8_t kLaterCommands[] = {0x06, 0x09, 0x15, 0x2D, 0x36, 0x56, 0x5A, 0x68,
                                           0x6D, 0x78, 0x87, 0x88, 0x92, 0xA2, 0xC9};

// The TI-89 has no letter keys of its own (letters come through its alpha key and still
// send their character); HOME and CATALOG are keys of their own, and its diamond and
// shift modifiers swap places with the TI-92's.
constexpr KeyInfo kTI89Keys[] = {
    {"ENTER", 13},   {"SPACE", 32},   {"BACKSPACE", 257}, {"STO", 258},    {"CLEAR", 263},   {"ESC", 264},
    {"APPS", 265},   {"MODE", 266},   {"ON", 267},        {"F1", 268},     {"F2", 269},      {"F3", 270},
    {"F4", 271},     {"F5", 272},     {"F6", 273},        {"F7", 274},     {"F8", 275},      {"HOME", 277},
    {"CATALOG", 278}, {"LEFT", 337},  {"UP", 338},        {"RIGHT", 340},  {"DOWN", 344},    {"INS", 4353},
    {"DEL", 16641},  {"QUIT", 4360},
};

// The computer's RTS ends with 00, the calculator's own headers with 03.
constexpr HeaderLayout kLaterHeader{.typeoffset = 4, .namelengthoffset = 5, .nameoffset = 6, .trailingbytes = 1,
                                    .calctrailing = 0x03, .sendtrailing = 0x00};
// 00: a ready check addressed to no model asks whether a Flash system is installed.
constexpr std::uint8_t kLaterMachines[] = {0x08, 0x09, 0x00};
// The reason stands in the third byte. Neither a missing variable nor a full memory has a
// code of its own that the link libraries know: the TI-92's codes stand for them.
constexpr RefusalLayout kLaterRefusal{.reasonbytes = 3,
                                      .reasonoffset = 2,
                                      .noroom = 0x05,
                                      .nosuchvariable = 0x01,
                                      .locked = 0x1E,
                                      .undeletable = 0x21,
                                      .badname = 0x25,
                                      .othermodel = 0x07,
                                      .badsignature = 0x08,
                                      .waitingforsystem = 0x24,
                                      .noroomdata = {}};

// A later model is the TI-92 with these differences, so what they share stands once.
constexpr CalculatorModel later(std::string_view name, std::string_view id, std::string_view prefix,
                                std::uint8_t calcmachine, std::span<const TypeInfo> types, std::uint8_t hardwareid,
                                Release release) {
    CalculatorModel m = kTI92;
    m.name = name;
    m.id = id;
    m.fileprefix = prefix;
    m.pcmachine = 0x08;
    m.calcmachine = calcmachine;
    m.answeredmachines = kLaterMachines;
    m.types = types;
    m.directorytype = 0x1A;
    m.header = kLaterHeader;
    m.refusal = kLaterRefusal;
    m.commands = kLaterCommands;
    m.offercommand = 0xC9;
    m.lockedsendtype = 0x26;
    m.archivedsendtype = 0x27;
    m.fullzerolength = true;
    m.hasversioncommand = true;
    m.hasdeletecommand = true;
    m.hasarchive = true;
    m.archivedattribute = 0x03;
    m.imagebackup = false;
    m.runsfargo = false;
    m.hardwareid = hardwareid;
    m.hardwarefirst = 1;
    m.release = release;
    m.folderlisting = true;
    m.readystatus = true;
    m.signature = "**TI92P*";
    m.flashdevice = 0x88;
    m.flashroom = 720896;  // 704 KiB: a TI-92 Plus's or TI-89's free archive after AMS 2
    return m;
}

constexpr CalculatorModel ti89(std::string_view name, std::string_view id, std::uint8_t hardwareid, Release release) {
    CalculatorModel m = later(name, id, "89", 0x98, kTI89Types, hardwareid, release);
    m.keys = kTI89Keys;
    m.diamondkey = 16384;
    m.shownwidth = 160;
    m.shownheight = 100;
    m.signature = "**TI89**";
    m.flashdevice = 0x98;
    return m;
}

constexpr const CalculatorModel* kModels[] = {&kTI92, &kTI92Plus, &kV200, &kTI89, &kTI89Titanium};

std::string_view extensionof(std::string_view filename) {
    const auto dot = filename.rfind('.');
    if (dot == std::string_view::npos || filename.size() - dot != 4) return {};
    return filename.substr(dot + 1);
}

} // namespace

// The Flash revision a ready check to machine 00 tells: known are 04 (2.05) and 0C (2.08);
// 0D for 2.09 and 10 for 3.10 are a guess that only has to be above 00 (upgraded).
constexpr CalculatorModel kTI92Plus = later("TI-92 Plus", "ti92p", "9x", 0x88, kTI92PlusTypes, 0x01, {{2, 9}, {2, 1}, 1, 0x0D});
// The Voyage 200's listing entries carry eight more bytes than the others'.
constexpr CalculatorModel kV200 = [] {
    CalculatorModel m = later("Voyage 200", "v200", "v2", 0x88, kV200Types, 0x08, {{3, 10}, {3, 1}, 2, 0x10});
    m.listingentrybytes = 22;
    m.hardwarefirst = 0;
    m.flashroom = 2752512;  // 2688 KiB, as on the Titanium
    m.longosrequest = true;
    return m;
}();
constexpr CalculatorModel kTI89 = ti89("TI-89", "ti89", 0x03, {{2, 9}, {1, 0}, 1, 0x0D});
// On its link port the Titanium is a TI-89 in every byte but its version answer.
constexpr CalculatorModel kTI89Titanium = [] {
    CalculatorModel m = ti89("TI-89 Titanium", "ti89t", 0x09, {{3, 10}, {3, 0}, 3, 0x10});
    m.flashroom = 2752512;  // 2688 KiB
    m.longosrequest = true;
    return m;
}();

std::span<const CalculatorModel* const> allmodels() { return kModels; }

const CalculatorModel* modelbyid(std::string_view id) {
    for (const CalculatorModel* m : kModels)
        if (m->id == id) return m;
    return nullptr;
}

const CalculatorModel* modelbymachine(std::uint8_t calcmachine) {
    for (const CalculatorModel* m : kModels)
        if (m->calcmachine == calcmachine) return m;
    return nullptr;
}

const CalculatorModel* modelbysignature(std::string_view signature) {
    for (const CalculatorModel* m : kModels)
        if (signature.starts_with(m->signature)) return m;
    return nullptr;
}

const CalculatorModel* modelbyextension(std::string_view filename) {
    const std::string_view ext = extensionof(filename);
    for (const CalculatorModel* m : kModels)
        if (!ext.empty() && sameletters(ext.substr(0, 2), m->fileprefix)) return m;
    return nullptr;
}

std::string groupextension(const CalculatorModel& model) { return std::string(model.fileprefix) + "g"; }

bool isgroupfileof(const CalculatorModel& model, std::string_view filename) {
    const std::string_view ext = extensionof(filename);
    return !ext.empty() && sameletters(ext, groupextension(model));
}

std::string filemodels(const CalculatorModel& signer, std::string_view filename) {
    std::vector<const CalculatorModel*> models;
    for (const CalculatorModel* m : kModels)
        if (m->signature == signer.signature) models.push_back(m);
    const CalculatorModel* byname = modelbyextension(filename);
    if (byname && byname->signature == signer.signature)
        std::erase_if(models, [&](const CalculatorModel* m) { return m->fileprefix != byname->fileprefix; });
    std::string names;
    for (std::size_t i = 0; i < models.size(); ++i)
        names += (i == 0 ? "" : i + 1 == models.size() ? " or " : ", ") + std::string(models[i]->name);
    return names;
}

std::string modelids(std::string_view separator) {
    std::string ids;
    for (const CalculatorModel* m : kModels) ids += (ids.empty() ? "" : std::string(separator)) + std::string(m->id);
    return ids;
}

const CalculatorModel* modelbyhardware(std::uint8_t hardwareid) {
    for (const CalculatorModel* m : kModels)
        if (m->hasversioncommand && m->hardwareid == hardwareid) return m;
    return nullptr;
}

} // namespace tessaly
