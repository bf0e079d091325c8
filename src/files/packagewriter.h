#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "files/packagestore.h"
#include "link/transferstate.h"
#include "files/savequestions.h"
#include "link/model.h"
#include "link/progress.h"

namespace tessaly {

inline constexpr std::string_view kUnknownDescription = "Description unknown";

// Builds a TI-92 variable file at dest from the whole package store. comment is the
// package comment box (commentedit), as typed (UTF-8): an empty one becomes "Description
// unknown" there too. It is written in the calculator's character set, cut to 34
// characters (the status line says so); a character the TI-92 lacks fails the save
// before anything is written.
// The file is written beside dest under a temporary name and renamed into place when
// complete, so a failure never leaves a half-written file under the chosen name nor
// destroys an existing one. Returns false with a clear message in *error on failure
// (also shown in the status line; the caller decides how to show it). The busy flag is
// the caller's (its transfer session's) and left alone. A Cancel (cancelgeneration
// bumped) stops it the same way.
// The file is signed for model, the calculator the data came from, whatever the name
// says; a name with another model's extension is refused before anything is written.
bool savepackage(const std::filesystem::path& dest, bool backuplayout, const PackageStore& store,
               std::string& comment, Progress& progress, TransferState& state, std::string* error,
               const CalculatorModel& model);

// The comment as the TI-92 bytes a file holds: at most 34 characters, *cut when there
// were more; nullopt and a message naming a character the calculator lacks.
std::optional<std::string> commenttibytes(std::string_view comment, std::string* error, bool* cut = nullptr);

// The "Save to file" command: asks for a comment when the box is empty and for a
// destination, then saves the package store there (a fetched backup in the backup
// layout, as a .92b); a failure goes to questions.failed. The caller refuses it while a
// transfer runs and holds the busy flag while it saves. True when a file was saved.
// model: the calculator the package came from, whose signature the file bears.
bool savepackagecommand(const PackageStore& store, std::string& comment, Progress& progress, SaveQuestions& questions,
                        TransferState& state, const CalculatorModel& model);

} // namespace tessaly
