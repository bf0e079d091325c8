#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "link/clock.h"

namespace tessaly {

// How a program run by runandwait ended.
struct RunResult {
    bool started = false;
    bool notfound = false;  // not started: there is no such program
    bool finished = false;  // ended within the limit
    int exitcode = -1;      // when finished; a signal gives 128 + its number
    std::string error;      // why it could not be started, or why the wait broke off
    bool ok() const { return finished && exitcode == 0; }
};

// Starts the program directly (no shell: arguments reach it whole, blanks and all; a name
// without "/" is looked up on PATH) with none of our descriptors but the standard three,
// and waits for it at most limitms on the given clock. One that runs past the limit is
// killed, so it cannot go on rewriting a file after we gave up on it. With errors, what
// it writes on its standard error is kept there (the first kRunErrorsKept bytes) for the
// message that reports it, instead of going to ours where a window's user never looks.
inline constexpr std::size_t kRunErrorsKept = 4096;
RunResult runandwait(const std::filesystem::path& program, const std::vector<std::string>& arguments, Clock& clock,
                     std::uint32_t limitms, std::string* errors = nullptr);

} // namespace tessaly
