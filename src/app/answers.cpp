#include "app/answers.h"

#include "files/filename.h"

namespace tessaly::app {

namespace {

// The model's name and extensions: "TI-92 files|*.92*" on a TI-92, "TI-89 files|*.89*" on a TI-89.
FileDialogSpec savespec(SaveKind kind, std::string_view suggested, const CalculatorModel& model) {
    const std::string name(model.name), prefix(model.fileprefix);
    const std::string files = name + " files|*." + prefix + "*";
    const std::string texts = name + " text-files|*." + textextension(model);
    FileDialogSpec spec;
    switch (kind) {
    case SaveKind::Backup:
        spec = {.filename = "*." + backupextension(model), .filter = name + " backupfiles|*." + backupextension(model),
                .title = "Save package as..", .defaultext = backupextension(model)};
        break;
    case SaveKind::Package:
        spec = {.filename = "*." + prefix + "*", .filter = files, .title = "Save package as..",
                .defaultext = groupextension(model)};
        break;
    case SaveKind::TextFile:
    case SaveKind::EditorText:
        spec = {.filename = std::string(suggested), .filter = texts, .title = "Save textfile as..",
                .defaultext = textextension(model)};
        break;
    }
    return spec;
}

} // namespace

std::string WindowAnswers::comment(SaveKind kind, std::string_view source) {
    std::string prompt(kCommentPrompt);
    if (kind == SaveKind::TextFile) prompt = std::string(kTextCommentPrompt) + std::string(source) + ":";
    if (kind == SaveKind::EditorText) prompt = kEditorCommentPrompt;
    return m_dialogs.inputbox(kCommentTitle, prompt, "").value_or("");
}

std::optional<std::filesystem::path> WindowAnswers::destination(SaveKind kind, std::string_view suggested,
                                                                const CalculatorModel& model) {
    FileDialogSpec spec = savespec(kind, suggested, model);
    if (kind == SaveKind::TextFile) spec.startfolder = m_textfolder.string();
    auto chosen = m_dialogs.savedialog(spec);
    if (!chosen) return std::nullopt;
    return std::filesystem::path(*chosen);
}

void WindowAnswers::failed(std::string_view why) { m_dialogs.messagebox(why, kSaveErrorCaption, Icon::Error, Buttons::Ok); }

CopyChoice WindowAnswers::savecopies(std::size_t count) {
    const std::string text =
        count == 1 ? std::string("You have selected one file.\rDo you want to save a copy of the file before sending?")
                   : "You have selected " + std::to_string(count) +
                         " files.\rDo you want to save a copy of the files before sending?";
    switch (m_dialogs.messagebox(text, "", Icon::Information, Buttons::YesNoCancel)) {
    case Answer::Yes: return CopyChoice::Copy;
    case Answer::Cancel: return CopyChoice::Cancel;
    default: return CopyChoice::NoCopy;
    }
}

std::optional<std::filesystem::path> WindowAnswers::copydestination(const std::filesystem::path& suggested,
                                                                    const std::string& extension) {
    const FileDialogSpec spec{.filename = suggested.string(), .filter = extension + "-files|*." + extension,
                              .title = "Save file as..", .defaultext = extension};
    auto chosen = m_dialogs.savedialog(spec);
    if (!chosen) return std::nullopt;
    return std::filesystem::path(*chosen);
}

bool WindowAnswers::sendlibraries(const std::string& program) {
    return m_dialogs.messagebox("Do you want to send all req. libs for " + program + " also?", "", Icon::Confirmation,
                                Buttons::YesNo) == Answer::Yes;
}

} // namespace tessaly::app
