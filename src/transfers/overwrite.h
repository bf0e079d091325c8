#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "transfers/directory.h"

namespace tessaly {

// A variable about to be sent onto a name the calculator holds already.
struct Clash {
    std::string name;  // the full name, as the calculator lists it
    bool locked = false;
    bool archived = false;
    bool blocked() const { return locked || archived; }  // the calculator would refuse it
};

// The full names the selected variables of a TI-92 file take on the calculator: a name
// without a folder lands in main. Empty for a file that cannot be read.
std::vector<std::string> outgoingnames(const std::filesystem::path& path,
                                       const std::function<bool(std::size_t)>& selected = {});

// The outgoing names that the listing holds already (names compared as the calculator
// does, without regard to case), in the order given, each once.
std::vector<Clash> findclashes(const std::vector<std::string>& outgoing, const DirectoryListing& listing);

// "test\y (locked), main\a (archived)": the names, with why the calculator refuses each.
std::string clashlist(const std::vector<Clash>& clashes);

} // namespace tessaly
