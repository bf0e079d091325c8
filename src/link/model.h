#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tessaly {

// A calculator model: everything the link, the files and the virtual calculator need to
// know about one kind of calculator, in one table. Code that differs between models asks
// the model for the difference (a field, a flag), never for the model's name, so a
// further model is one more table.

struct TypeInfo {
    std::uint8_t code;
    std::string_view name;       // as the lists show it
    std::string_view extension;  // of a file holding one variable of this type
};

struct KeyInfo {
    std::string_view name;  // as a remote-key script writes it
    std::uint16_t code;
};

// The data of a variable header: the size, then the type, the name's length and the name.
struct HeaderLayout {
    std::size_t typeoffset;        // the size's bytes come before it
    std::size_t namelengthoffset;
    std::size_t nameoffset;
    std::size_t trailingbytes;     // after the name (an attribute byte on later models)
    std::uint8_t calctrailing;     // what the calculator puts there in its own headers
    std::uint8_t sendtrailing;     // ... and the computer in a header that offers a variable
    constexpr std::size_t sizebytes() const { return typeoffset; }
};

// The refusal's data: this many bytes, the reason code among them at reasonoffset.
struct RefusalLayout {
    std::size_t reasonbytes;
    std::size_t reasonoffset;
    std::uint8_t noroom;           // no memory for the variable
    std::uint8_t nosuchvariable;   // a request for a name the calculator lacks
    std::uint8_t locked;           // a locked or archived variable cannot be overwritten
    std::uint8_t undeletable;      // ... nor deleted
    std::uint8_t badname;          // a name it cannot hold
    // A Flash part judged after its last block: made for another model, or its signature
    // rejected; and anything but a system while the boot code waits for one.
    std::uint8_t othermodel;
    std::uint8_t badsignature;
    std::uint8_t waitingforsystem;
    // The whole refusal for no room where the model sends one of its own; else empty.
    std::span<const std::uint8_t> noroomdata;
};

// The system a virtual calculator of the model claims in its version answer.
struct Release {
    std::uint8_t os[2];        // major, minor: 2.09
    std::uint8_t boot[2];
    std::uint8_t hardwarerevision;
    // The low byte of its answer to a ready check addressed to machine 00: 00 without a
    // Flash system, the system's revision on an upgraded calculator.
    std::uint8_t flashrevision;
};

struct CalculatorModel {
    std::string_view name;
    std::string_view id;          // as --model and the settings write it
    std::string_view fileprefix;  // the first two letters of its files' extensions
    std::uint8_t pcmachine;    // the machine byte of every packet we send
    std::uint8_t calcmachine;  // the machine byte of every packet the calculator sends
    // The computer's machine bytes the calculator answers: its own, and on a later model the
    // TI-92's too, with which software that has not yet learnt the model starts.
    std::span<const std::uint8_t> answeredmachines;
    std::span<const TypeInfo> types;
    // The types the exchanges themselves use.
    std::uint8_t directorytype;  // a request for it asks for the listing
    std::uint8_t backuptype;
    std::uint8_t foldertype;
    std::uint8_t texttype;
    HeaderLayout header;
    RefusalLayout refusal;
    std::span<const std::uint8_t> commands;  // the packet commands it knows
    std::uint8_t offercommand;                // what offers it a variable: VAR (06) or RTS (C9)
    // The type byte of a variable offered locked or archived (the real type then comes from
    // the data's last byte); 0 where the model has no such codes.
    std::uint8_t lockedsendtype;
    std::uint8_t archivedsendtype;
    // A data packet whose length word is 0000 carries 65536 bytes (a Flash block), not none.
    bool fullzerolength;
    bool hasversioncommand;                   // answers a version request
    bool hasdeletecommand;                    // deletes a variable on request
    bool hasarchive;                          // keeps variables in an archive too
    std::uint8_t archivedattribute;           // a listing's or header's attribute for one
    // Its backup is a memory image (the backup type); else every variable in a group file.
    bool imagebackup;
    bool runsfargo;                           // FARGO can be installed on it
    std::uint8_t hardwareid;                  // what its version answer names it by
    // The hardware version its version answer's revision byte counts from (an 89's HW2
    // sends 01; a Voyage 200 sends its version itself).
    std::uint8_t hardwarefirst;
    Release release;                          // what its virtual calculator's version answer says
    std::size_t listingentrybytes;            // one entry of its directory listing's data
    // Lists in two phases, each one data packet of entries: the folders (filter 1F in the
    // request's size), then one folder's variables (filter 1B and the folder's name).
    bool folderlisting;
    // Its acknowledgement of a ready check carries a status word (bit 0 of the high byte:
    // not ready) where a TI-92 away from its home screen stays silent.
    bool readystatus;
    std::span<const KeyInfo> keys;            // named keys; other keys send their character
    std::uint16_t secondkey;   // added to a key's code for the key pressed with 2nd
    std::uint16_t diamondkey;  // ... and with the diamond key
    int screenwidth;
    int screenheight;
    // What its display shows of that bitmap, from the top left corner.
    int shownwidth;
    int shownheight;
    std::string_view signature;  // the first bytes of each of its files
    // The device type its Flash files name (98: the TI-89 family, 88: the TI-92 Plus
    // family); 0 where it takes no Flash file.
    std::uint8_t flashdevice;
    // The bytes of Flash its archive and applications share: what its virtual calculator
    // can hold before it refuses for want of room.
    std::size_t flashroom;
    // Its system's request to send names the hardware it is for (size, 23, 00 08 00, hardware
    // ID) where the older boot code takes only size, 23, 00 and refuses more.
    bool longosrequest = false;

    constexpr std::size_t screenrowbytes() const { return static_cast<std::size_t>(screenwidth) / 8; }
    constexpr std::size_t screenbytes() const { return screenrowbytes() * static_cast<std::size_t>(screenheight); }
    constexpr bool knows(std::uint8_t command) const {
        for (std::uint8_t c : commands)
            if (c == command) return true;
        return false;
    }
    // The name of a type code; empty for a code without one.
    constexpr std::string_view typename_of(unsigned code) const {
        for (const TypeInfo& t : types)
            if (t.code == code) return t.name;
        return {};
    }
    // The highest code below 32 whose name equals the text (an empty text gives the
    // highest unnamed code, which the lists show without a name).
    std::uint8_t typecode_of(std::string_view text) const;
    // A named key's code; 0 for a name the model lacks.
    constexpr std::uint16_t key(std::string_view keyname) const {
        for (const KeyInfo& k : keys)
            if (k.name == keyname) return k.code;
        return 0;
    }
};

// The TI-92's tables.
inline constexpr TypeInfo kTI92Types[] = {
    {0x00, "expression", "92e"}, {0x04, "list", "92l"},     {0x06, "matrix", "92m"},  {0x0A, "data", "92c"},
    {0x0B, "text", "92t"},       {0x0C, "string", "92s"},   {0x0D, "gdb", "92d"},     {0x0E, "figure", "92a"},
    {0x10, "picture", "92i"},    {0x12, "program", "92p"},  {0x13, "function", "92f"}, {0x14, "macro", "92x"},
    {0x1D, "backup", "92b"},     {0x1F, "folder", ""},
};

inline constexpr std::uint8_t kTI92Machines[] = {0x09};
// A TI-92's refusal of a variable it has no room for (or will not overwrite).
inline constexpr std::uint8_t kTI92NoRoom[] = {0x05, 0x00, 0x01, 0x00, 0x00};
inline constexpr std::uint8_t kTI92Commands[] = {0x06, 0x09, 0x15, 0x36, 0x56, 0x5A, 0x68, 0x6D, 0x78, 0x87, 0x92, 0xA2, 0xC9};

inline constexpr KeyInfo kTI92Keys[] = {
    {"ENTER", 13},   {"SPACE", 32},   {"BACKSPACE", 257}, {"STO", 258},   {"CLEAR", 263}, {"ESC", 264},
    {"APPS", 265},   {"MODE", 266},   {"ON", 267},        {"F1", 268},    {"F2", 269},    {"F3", 270},
    {"F4", 271},     {"F5", 272},     {"F6", 273},        {"F7", 274},    {"F8", 275},    {"LEFT", 337},
    {"UP", 338},     {"RIGHT", 340},  {"DOWN", 344},      {"INS", 4353},  {"DEL", 8449},  {"QUIT", 4360},
    {"HOME", 8273},
};

// The TI-92: what every link talks to until another model answers or is chosen.
inline constexpr CalculatorModel kTI92{
    .name = "TI-92",
    .id = "ti92",
    .fileprefix = "92",
    .pcmachine = 0x09,
    .calcmachine = 0x89,
    .answeredmachines = kTI92Machines,
    .types = kTI92Types,
    .directorytype = 0x19,
    .backuptype = 0x1D,
    .foldertype = 0x1F,
    .texttype = 0x0B,
    .header = {.typeoffset = 4, .namelengthoffset = 5, .nameoffset = 6, .trailingbytes = 0, .calctrailing = 0,
               .sendtrailing = 0},
    .refusal = {.reasonbytes = 1,
                .reasonoffset = 0,
                .noroom = 0x05,
                .nosuchvariable = 0x01,
                .locked = 0x05,
                .undeletable = 0x05,
                .badname = 0x05,
                .othermodel = 0,
                .badsignature = 0,
                .waitingforsystem = 0,
                .noroomdata = kTI92NoRoom},
    .commands = kTI92Commands,
    .offercommand = 0x06,
    .lockedsendtype = 0,
    .archivedsendtype = 0,
    .fullzerolength = false,
    .hasversioncommand = false,
    .hasdeletecommand = false,
    .hasarchive = false,
    .archivedattribute = 0,
    .imagebackup = true,
    .runsfargo = true,
    .hardwareid = 0,
    .hardwarefirst = 0,
    .release = {},
    .listingentrybytes = 14,
    .folderlisting = false,
    .readystatus = false,
    .keys = kTI92Keys,
    .secondkey = 4096,
    .diamondkey = 8192,
    .screenwidth = 240,
    .screenheight = 128,
    .shownwidth = 240,
    .shownheight = 128,
    .signature = "**TI92**",
    .flashdevice = 0,
    .flashroom = 0,
};

// The later models' tables (their entries in model.cpp).
extern const CalculatorModel kTI92Plus;
extern const CalculatorModel kV200;
extern const CalculatorModel kTI89;
extern const CalculatorModel kTI89Titanium;

// Every model, the TI-92 first. Where two models share a machine byte, a signature or an
// extension, the earlier one stands for both until the version answer tells them apart.
std::span<const CalculatorModel* const> allmodels();
// By --model's name (ti92, ti92p, v200, ti89, ti89t); nullptr for another name.
const CalculatorModel* modelbyid(std::string_view id);
// By the machine byte of the calculator's packets; the TI-92 Plus and the Voyage 200 share
// one, and the first of them is given. nullptr for a byte no model sends.
const CalculatorModel* modelbymachine(std::uint8_t calcmachine);
// By a file's first eight bytes; the TI-92 Plus stands for its signature, which the
// Voyage 200's files share. nullptr when no model signs files so.
const CalculatorModel* modelbysignature(std::string_view signature);
// By a file name's extension (.92p, .9xg, .v2p, .89t); nullptr for another one.
const CalculatorModel* modelbyextension(std::string_view filename);
// The model's group file extension (92g, 9xg, v2g, 89g): here rather than with the other
// file-name rules in files/ because the LINK string's parser (link/linkspec), which files/
// cannot serve, names a virtual calculator's memory file by it.
std::string groupextension(const CalculatorModel& model);
// Whether the file name ends in the model's own group file extension (.92g, .9xg, .v2g,
// .89g), in either case: the file a virtual calculator of the model keeps its memory in.
bool isgroupfileof(const CalculatorModel& model, std::string_view filename);
// The calculators a file signed by this model is for ("TI-92 Plus or Voyage 200"), narrowed by
// the file name's extension where it names one of them (.v2p: "Voyage 200").
std::string filemodels(const CalculatorModel& signer, std::string_view filename);
// Every model's --model name joined by the separator ("ti92|ti92p|..."), for messages.
std::string modelids(std::string_view separator = "|");
// The later models that answer a version request, by the hardware ID in the answer.
const CalculatorModel* modelbyhardware(std::uint8_t hardwareid);

} // namespace tessaly
