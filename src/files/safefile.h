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

// A file written whole or not at all, the one way every save here goes: the bytes go to a
// hidden temporary file beside the target (savetarget), which commit() renames over it
// with an existing target's permissions (else those a new file gets). The chosen name
// never holds half a file, and an existing file survives every failure.
class WholeFile {
public:
    WholeFile() = default;
    ~WholeFile() { abandon(); }
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    // False and the message ("Cannot write NAME in FOLDER: ...") when it cannot be begun.
    bool create(const std::filesystem::path& dest, std::string* error);
    int fd() const { return m_fd; }
    // All of the bytes; false and the reason ("writing failed: ...") otherwise.
    bool write(const void* bytes, std::size_t count, std::string* why);
    // Into place; false and the reason ("putting it in place failed: ...") otherwise, the
    // temporary file then removed.
    bool commit(std::string* why);
    // Gives up: the temporary file is removed, the destination untouched.
    void abandon();

private:
    std::filesystem::path m_target, m_temp;
    int m_fd = -1;
};

// Writes bytes to path as a WholeFile.
bool savewhole(const std::filesystem::path& path, std::string_view bytes, std::string* error);

} // namespace tessaly
