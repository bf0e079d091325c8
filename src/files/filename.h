#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "link/model.h"

// What a file is by its name alone, before it is opened: every command, list and dialog
// asks here, so a name is never taken for one kind in one place and another elsewhere.
namespace tessaly {

enum class FileKind { TiFile, Text, Uue, Flash };

struct FileName {
    // By the name's last three characters, without regard to case: TXT a text, UUE a
    // UU-encoded file, a model's application, system or certificate extension (.89k, .9xu,
    // .v2q) a Flash file, anything else read as a calculator's variable file.
    FileKind kind = FileKind::TiFile;
    // The model whose extension the name bears (.89g: the TI-89; the first of two models
    // that share one); nullptr for an extension of none of ours.
    const CalculatorModel* model = nullptr;
    // The extension's letter after the model's two (g, t, p, b...), lower case; 0 without a model.
    char letter = 0;
    // A "92@" file: a kind of TI-92 file this program does not handle; never listed or sent.
    bool unhandled = false;
    // The model's memory image (.92b), which goes back by a restore, not as variables.
    bool memorybackup = false;
    // What a Flash file's name promises: kFlashOs, kFlashApplication or kFlashCertificate
    // (files/flashfile.h); 0 for another kind.
    std::uint8_t flashtype = 0;
};

FileName readfilename(std::string_view name);
inline FileKind filekind(std::string_view name) { return readfilename(name).kind; }

// Whether Txt-convert takes a file: its last three characters are TXT or DOC.
bool convertiblename(std::string_view name);
// Whether the text editor reads a file as rich text: RTF.
bool richtextname(std::string_view name);

// A model's extensions, from its table: the group file (.89g, groupextension in
// link/model.h) holds any variables, the text and backup files are named by their types'
// extensions (.89t, .92b).
std::string textextension(const CalculatorModel& model);
std::string backupextension(const CalculatorModel& model);
// The extension of the model's Flash files of a data type, with its dot (".89k" for an
// application on a TI-89); empty for a type or a model without one (the TI-92).
std::string flashsuffix(const CalculatorModel& model, std::uint8_t datatype);

// Why a file of the model's data may not be saved under this name: it bears the extension
// of a model whose files it does not take ("x.92g" for a TI-89's variables; the message
// offers wanted, else the model's extension with the name's last letter: ".89g"). Empty for
// the model's own extension, one of a model that signs its files alike (the TI-92 Plus and
// the Voyage 200), and a name of none of ours.
std::string othermodelname(std::string_view name, const CalculatorModel& model, std::string_view wanted = {});

} // namespace tessaly
