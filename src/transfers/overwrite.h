#pragma once
#include <filesystem>
#include <functional>
#include <optional>
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

// What the questions before a send decided. Files: those of another model sent all the
// same, and those left out. Names the calculator holds already: left out, or sent under
// another full name; those not named here are overwritten.
struct SendPlan {
    std::vector<std::filesystem::path> anymodel;
    std::vector<std::filesystem::path> leftout;
    std::vector<std::string> skip;
    std::vector<std::pair<std::string, std::string>> renamed;
    bool takesanymodel(const std::filesystem::path& path) const;
    bool leavesout(const std::filesystem::path& path) const;
    bool skips(const std::string& fullname) const;
    // The name the variable goes under (its own when not renamed).
    std::string sentname(const std::string& fullname) const;
};

enum class OverwriteChoice { Overwrite, Skip, Rename, All, Cancel };

// Asked one clash at a time: the window asks its user, the command line answers from its
// options.
class OverwriteQuestions {
public:
    virtual ~OverwriteQuestions() = default;
    // canoverwrite is false for a locked or archived target, which the calculator refuses.
    virtual OverwriteChoice existing(const Clash& clash, bool canoverwrite) = 0;
    // The new full name for Rename; nullopt goes back to the question.
    virtual std::optional<std::string> newname(const Clash& clash) = 0;
};

// Asks about each clash (All overwrites the rest that can be). nullopt: cancelled.
std::optional<SendPlan> planoverwrites(const std::vector<Clash>& clashes, OverwriteQuestions& ask);

// "test\y (locked), main\a (archived)": the names, with why the calculator refuses each.
std::string clashlist(const std::vector<Clash>& clashes);

} // namespace tessaly
