#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "link/cable.h"
#include "link/clock.h"
#include "link/link.h"
#include "link/transferstate.h"

namespace tessaly::cli {

class TerminalProgress;

// Exit codes.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;  // the transfer failed; the pending error text on stderr
inline constexpr int kUsage = 2;   // a usage error or an unreadable input file

struct Options {
    std::string link;   // --link, else TESSALY92_LINK, else the port list over ppdev
    std::string trace;  // --trace FILE
    bool pacing = true; // --no-pacing clears it
    const CalculatorModel* model = nullptr;  // --model; nullptr: whichever answers
    bool anymodel = false;  // --any-model: send files made for another model too
};

// --model NAME and --any-model at args[i] (i moved past a value); nullopt when args[i] is
// neither, else false after saying what is wrong.
std::optional<bool> modeloption(int argc, char** argv, int& i, Options& options);

// The cable a command drives, with the system clock and the Ctrl+C pump.
class CliLink {
public:
    // Parses --link (else TESSALY92_LINK), opens the cable and installs the Ctrl+C
    // handler. Problems and warnings are printed to stderr here; on failure it returns
    // nullptr, error gets the text and exitcode what the command should return (kUsage
    // for a wrong LINK string or trace file, else kFailed).
    static std::unique_ptr<CliLink> open(const Options& options, std::string* error, int* exitcode = nullptr);
    Link& link() { return m_cable->link(); }
    TransferState& state() { return m_state; }
    Clock& clock() { return m_clock; }
    Cable& cable() { return *m_cable; }

private:
    CliLink() = default;
    TransferState m_state;
    SystemClock m_clock;
    std::unique_ptr<MessagePump> m_pump;
    std::unique_ptr<Cable> m_cable;
};

// Prints the pending error text ("Operation cancelled." after Ctrl+C), and what the cable
// says when it was lost, and gives the exit code of a finished transfer.
int finish(TransferState& state, const Link* link = nullptr, const TerminalProgress* progress = nullptr);

// A package store of this run only, so a command-line receive leaves the window's
// pending package alone.
class TemporaryStore {
public:
    // Its name carries the process id, so one that a killed run left behind (SIGKILL
    // leaves no time to clean up) is recognised and removed by the next run.
    TemporaryStore();
    ~TemporaryStore();
    TemporaryStore(const TemporaryStore&) = delete;
    TemporaryStore& operator=(const TemporaryStore&) = delete;
    bool ok() const { return !m_folder.empty(); }
    const std::filesystem::path& folder() const { return m_folder; }

private:
    std::filesystem::path m_folder;
};

// "a,b,,c" -> a, b, c.
std::vector<std::string> splitnames(std::string_view list);

// On a real cable a transfer takes minutes: whether the file can be written and the
// comment is the calculator's is learnt before the cable opens. False after saying why.
// With --model, a name bearing another model's extension is refused as well.
bool cansave(const std::string& output, const std::string& comment, const CalculatorModel* chosen = nullptr);

using Args = std::vector<std::string>;

// The command's usage line from the command table, on stderr: what a command given too
// few or wrong arguments prints.
void printusage(std::string_view command);

// The value of the option args[i] into `into`, with i moved past it; false after saying
// on stderr that it is missing.
bool optionvalue(const Args& args, std::size_t& i, std::string& into);
int cmd_ready(const Options& options, const Args& args);
int cmd_dir(const Options& options, const Args& args);
int cmd_get(const Options& options, const Args& args);
int cmd_info(const Options& options, const Args& args);
int cmd_send(const Options& options, const Args& args);
int cmd_backup(const Options& options, const Args& args);
int cmd_restore(const Options& options, const Args& args);
int cmd_screenshot(const Options& options, const Args& args);
int cmd_key(const Options& options, const Args& args);
int cmd_installfargo(const Options& options, const Args& args);
int cmd_insertfargo(const Options& options, const Args& args);
int cmd_ls(const Options& options, const Args& args);
int cmd_describe(const Options& options, const Args& args);
int cmd_cables(const Options& options, const Args& args);
int cmd_txt2var(const Options& options, const Args& args);
int cmd_var2txt(const Options& options, const Args& args);
// Managing the calculator (cmd_manage.cpp).
int cmd_rm(const Options& options, const Args& args);
int cmd_mkdir(const Options& options, const Args& args);
int cmd_mv(const Options& options, const Args& args);
int cmd_lock(const Options& options, const Args& args);
int cmd_unlock(const Options& options, const Args& args);
int cmd_archive(const Options& options, const Args& args);
int cmd_unarchive(const Options& options, const Args& args);
int cmd_version(const Options& options, const Args& args);
// Flash (cmd_flash.cpp).
int cmd_idlist(const Options& options, const Args& args);
int cmd_cert(const Options& options, const Args& args);
int cmd_clock(const Options& options, const Args& args);
// get NAME -o FILE.89k: the application NAME into an application file.
int getapplication(const Options& options, const std::string& name, const std::string& output);

} // namespace tessaly::cli
