#pragma once
#include <filesystem>
#include <string>

#include "files/packagestore.h"
#include "link/transferstate.h"
#include "transfers/shell.h"

namespace tessaly {

inline constexpr std::string_view kUnknownDescription = "Description unknown";

// Builds a TI-92 variable file at dest from the whole package store. comment is the
// package comment box (Edit1): an empty one becomes "Description unknown" there too.
// The file is written beside dest under a temporary name and renamed into place when
// complete, so a failure never leaves a half-written file under the chosen name nor
// destroys an existing one. Returns false with a clear message in *error on failure;
// the busy flag is cleared in every case.
bool saveas92g(const std::filesystem::path& dest, bool backuplayout, const PackageStore& store,
               std::string& comment, Shell& shell, TransferState& state, std::string* error);

} // namespace tessaly
