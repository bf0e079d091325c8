#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "files/packagestore.h"
#include "files/savequestions.h"
#include "link/progress.h"
#include "link/transferstate.h"

// The commands that turn texts into text files through the package store and the
// package writer: Txt-convert on the file browser's selection, and the text editor's save.
namespace tessaly {

// Txt-convert: for each of the names (in order, while the link-ok flag holds) that is a
// text file of folder: stage it, ask for its own comment (left in comment), ask where to
// save (the model's text extension offered) and save it as the model's file. A file that cannot be read or holds a character the calculator lacks
// is named to questions.failed and nothing is written for it; the next file follows.
// Returns the number of files saved.
int txtconvertcommand(const std::filesystem::path& folder, const std::vector<std::string>& names,
                      const PackageStore& store, std::string& comment, Progress& progress, SaveQuestions& questions,
                      TransferState& state, const CalculatorModel& model);

// The editor's text (UTF-8) saved as the model's text file dest: staged, a comment asked
// for (into comment), written by the package writer. A failure goes to questions.failed.
bool savetextvariable(const std::filesystem::path& dest, std::string_view text, const PackageStore& store,
                      std::string& comment, Progress& progress, SaveQuestions& questions, TransferState& state,
                      const CalculatorModel& model);

} // namespace tessaly
