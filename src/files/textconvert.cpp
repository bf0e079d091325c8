#include "files/textconvert.h"

#include "files/filename.h"
#include "files/packagewriter.h"
#include "files/ticharset.h"
#include "files/tifile.h"
#include "files/titext.h"
#include "link/byteorder.h"

namespace tessaly {

namespace {

// The variable's name from a file name, in the calculator's characters; why names the
// file name as the culprit, so a refusal is not taken for one of the text.
std::optional<std::string> variablename(const std::string& filename, std::string* why) {
    std::string error;
    auto name = utf8_to_tibytes(textvariablename(filename), kTiNameSize, &error);
    if (!name && why) *why = "the variable name from the file name: " + error + ".";
    return name;
}

// The file's name and its text as TI-92 bytes; questions.failed hears why when there is none.
bool stagefile(const std::filesystem::path& path, const PackageStore& store, Progress& progress,
               SaveQuestions& questions) {
    const std::string shown = path.filename().string();
    std::string why;
    auto text = readtextfile(path, &why, kMaxTextFile);
    std::optional<std::string> tibytes;
    if (text) tibytes = texttotibytes(*text, &why);
    const auto name = variablename(shown, tibytes ? &why : nullptr);
    if (tibytes && name && stagetext(store, *name, *tibytes, progress, &why)) return true;
    questions.failed("Cannot convert " + shown + ": " + why + "\nNothing was written.");
    return false;
}

} // namespace

int txtconvertcommand(const std::filesystem::path& folder, const std::vector<std::string>& names,
                      const PackageStore& store, std::string& comment, Progress& progress, SaveQuestions& questions,
                      TransferState& state, const CalculatorModel& model) {
    if (names.empty()) return 0;
    state.linkok = true;  // a Cancel clears it: the files not yet converted are left
    int saved = 0;
    for (const std::string& name : names) {
        if (!state.linkok) break;
        if (!convertiblename(name)) continue;
        if (!stagefile(folder / name, store, progress, questions)) continue;
        comment = questions.comment(SaveKind::TextFile, name);
        const std::string suggested = textvariablename(name) + "." + textextension(model);
        if (auto dest = questions.destination(SaveKind::TextFile, suggested, model)) {
            std::string why;
            if (savepackage(*dest, false, store, comment, progress, state, &why, model)) ++saved;
            else questions.failed(why);
        }
    }
    return saved;
}

bool savetextvariable(const std::filesystem::path& dest, std::string_view text, const PackageStore& store,
                      std::string& comment, Progress& progress, SaveQuestions& questions, TransferState& state,
                      const CalculatorModel& model) {
    state.linkok = true;
    std::string why;
    const std::string shown = dest.filename().string();
    const auto tibytes = texttotibytes(text, &why);
    const auto name = tibytes ? variablename(shown, &why) : std::nullopt;
    bool saved = false;
    if (name && stagetext(store, *name, *tibytes, progress, &why)) {
        comment = questions.comment(SaveKind::EditorText, "");
        saved = savepackage(dest, false, store, comment, progress, state, &why, model);
    } else {
        why = "Cannot convert the text: " + why + "\nNothing was written.";
    }
    if (!saved) questions.failed(why);
    return saved;
}

} // namespace tessaly
