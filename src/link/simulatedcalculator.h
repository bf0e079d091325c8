#pragma once
#include <functional>
#include <string>
#include <vector>

namespace tessaly {

// What a front end may do with a simulated calculator at the far end of the cable: the
// demo control that lets it send from its own menu, as a user at a real one would.
class SimulatedCalculator {
public:
    virtual ~SimulatedCalculator() = default;
    // Every variable as "folder\name".
    virtual std::vector<std::string> variablenames() const = 0;
    // Sends these variables ("folder\name") of its own accord, one after another, once the
    // computer listens. False (and why) when a name is unknown or an exchange is in progress.
    virtual bool sendfromcalc(const std::vector<std::string>& fullnames, std::string* error) = 0;
    // FCamera under FARGO streams the screen once the computer listens: mode 1 black and
    // white, 2 four greys.
    virtual void fcamerastream(int mode) = 0;
    // What the calculator has to tell its user that no transfer reports (a backup it kept
    // without taking it in), handed to report when it happens: a headline, a colon, why.
    // An empty text takes the last one back.
    virtual void onnotice(std::function<void(const std::string&)> report) = 0;
};

} // namespace tessaly
