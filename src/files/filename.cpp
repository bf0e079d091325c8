#include "files/filename.h"

#include <algorithm>
#include <iterator>

#include "files/flashfile.h"
#include "link/byteorder.h"

namespace tessaly {

namespace {

// The data types whose files carry Flash parts (and not variables).
constexpr std::uint8_t kFlashTypes[] = {kFlashOs, kFlashApplication, kFlashCertificate};

std::string lastthree(std::string_view name) { return upstring(name.substr(name.size() >= 3 ? name.size() - 3 : 0)); }

std::string typeextension(const CalculatorModel& model, std::uint8_t type) {
    for (const TypeInfo& t : model.types)
        if (t.code == type) return std::string(t.extension);
    return {};
}

} // namespace

FileName readfilename(std::string_view name) {
    FileName f;
    const std::string tail = lastthree(name);
    if (tail == "TXT") f.kind = FileKind::Text;
    else if (tail == "UUE") f.kind = FileKind::Uue;
    // The only name a TI-92 gives a file of that kind; the later models have none.
    f.unhandled = tail == "92@";
    f.model = modelbyextension(name);
    if (!f.model) return f;
    f.letter = lowstring(name.substr(name.size() - 1))[0];
    f.memorybackup = f.model->imagebackup && lowstring(name.substr(name.size() - 3)) == backupextension(*f.model);
    for (std::uint8_t type : kFlashTypes) {
        if (flashsuffix(*f.model, type) != lowstring(name.substr(name.size() - 4))) continue;
        f.kind = FileKind::Flash;
        f.flashtype = type;
    }
    return f;
}

bool richtextname(std::string_view name) { return lastthree(name) == "RTF"; }

bool convertiblename(std::string_view name) {
    const std::string tail = lastthree(name);
    return tail == "TXT" || tail == "DOC";
}

std::string textextension(const CalculatorModel& model) { return typeextension(model, model.texttype); }
std::string backupextension(const CalculatorModel& model) { return typeextension(model, model.backuptype); }

std::string flashsuffix(const CalculatorModel& model, std::uint8_t datatype) {
    if (model.flashdevice == 0 || std::find(std::begin(kFlashTypes), std::end(kFlashTypes), datatype) == std::end(kFlashTypes))
        return {};
    const std::string extension = typeextension(model, datatype);
    if (extension.empty()) return {};
    std::string suffix = ".";
    suffix += extension;
    return suffix;
}

std::string othermodelname(std::string_view name, const CalculatorModel& model, std::string_view wanted) {
    const CalculatorModel* named = modelbyextension(name);
    if (!named || named->signature == model.signature) return {};
    const std::string extension =
        wanted.empty() ? std::string(model.fileprefix) + lowstring(name.substr(name.size() - 1)) : std::string(wanted);
    return std::string(name) + " names a " + std::string(named->name) + " file, and the data is a " + std::string(model.name) +
           "'s: name it ." + extension + ".";
}

} // namespace tessaly
