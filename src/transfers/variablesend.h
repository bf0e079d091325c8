#pragma once
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/tifile.h"
#include "link/link.h"
#include "link/progress.h"
#include "transfers/overwrite.h"

namespace tessaly {

// One variable file onto the calculator: what a send, a restore of a later model's backup
// and a backup file's check share. The file lists, libraries and questions before a send
// are send.h's.

inline constexpr std::string_view kSendingText = "Sending ";
inline constexpr std::string_view kVariablesSentText = " variable(s) was sent";
inline constexpr std::string_view kNoDataRequestText = "Did not got datarequest";
inline constexpr std::string_view kNoDataAckText = "Did not got the data ACK";
inline constexpr std::string_view kLockedHintText = "Check if you are trying to overwrite a locked variable!";
inline constexpr std::string_view kHomeHintText = "Go to home screen! (<> Q)";
inline constexpr std::string_view kNotSentText = "Variable(s) not sent: ";
inline constexpr std::string_view kNotTi92FileText = " is not a TI-92 file.";
inline constexpr std::string_view kOtherModelRefusedText = "It was not sent.";

// Why a file cannot be sent as variables (cannot be opened, shorter than its table, not
// a TI-92 file); empty when it can.
std::string checkvariablefile(const std::filesystem::path& path);

// Opens a variable file for sending: read, checked against its table and its signature
// (any model's).
bool openchecked(TiFileReader& reader, const std::filesystem::path& path, std::string* error);

// A file made for another model than the calculator on the link.
struct OtherModelFile {
    std::filesystem::path path;
    const CalculatorModel* file = nullptr;
    const CalculatorModel* calculator = nullptr;
};

// "FILE was made for the TI-89, and the calculator is a TI-92 Plus."
std::string othermodeltext(const std::filesystem::path& path, const CalculatorModel& file,
                           const CalculatorModel& calculator);
inline std::string othermodeltext(const OtherModelFile& f) { return othermodeltext(f.path, *f.file, *f.calculator); }

// Asked before such a file is sent: true sends it all the same.
class OtherModelQuestion {
public:
    virtual ~OtherModelQuestion() = default;
    virtual bool sendanyway(const OtherModelFile& file) = 0;
};

// Whether a file made for model `file` goes to the calculator on the link: at once when
// it is that model's (a ready check first when no calculator answered yet), else when
// ask says so. False, the link failed with why, otherwise.
bool fitsmodel(Link& link, const std::filesystem::path& path, const CalculatorModel& file, OtherModelQuestion* ask);

// What a send brought: full names as sent, and those the calculator would not take.
struct SendResult {
    std::vector<std::string> sent;
    std::vector<std::string> notsent;
};

// Sends the variables of a TI-92 file, each in its ten-packet exchange; selected(i) tells
// whether the variable with selection index i goes (empty: all). The file is read and
// checked before anything is sent: a file that cannot be opened, is shorter than its
// table or is not a TI-92 file fails the link with why. A variable the calculator
// refuses is named in the result and, once the rest is sent, in the pending error text.
// Raises the link-ok flag first, so one failed file does not stop the next. With a plan,
// a file it leaves out is passed by, a file of another model it agreed to is sent, the
// names it skips are left out and those it renames go under their new name; without one,
// a file of another model is refused.
SendResult sendvariables(Link& link, Progress& progress, const std::filesystem::path& path,
                         const std::function<bool(std::size_t)>& selected = {}, const SendPlan* plan = nullptr);

} // namespace tessaly
