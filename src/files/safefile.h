#pragma once
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// Opens a file for reading only when it is a regular file. A FIFO, a device or a folder
// given where a file is expected is refused with a message that says what it is, and
// opening never blocks: a FIFO without a writer would otherwise hang the program.
// nullptr and the message on failure.
std::FILE* openregular(const std::filesystem::path& path, std::string* error);

// Appends what is left of an open file to bytes and closes it; false on a read error.
bool readandclose(std::FILE* fp, std::string& bytes);

// Where a save to path really writes: a symlink is followed to its target, so saving
// replaces the file the link names and the link stays. An existing target that is not
// a regular file (a folder, a FIFO, a device) is refused, and so is a folder that does
// not exist. nullopt and the message on failure.
std::optional<std::filesystem::path> savetarget(const std::filesystem::path& path, std::string* error);

// Writes bytes to path whole or not at all: into a temporary file beside the target,
// then renamed over it, keeping an existing target's permissions.
bool savewhole(const std::filesystem::path& path, std::string_view bytes, std::string* error);

} // namespace tessaly
