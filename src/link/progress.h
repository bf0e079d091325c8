#pragma once
#include <filesystem>
#include <string_view>

#include "link/pump.h"

namespace tessaly {

// A piece of work the user waits for (a transfer, a save, a conversion) began or ended.
enum class Work { Started, Ended };

// How weighty a line of news is, so a front end can show it accordingly.
enum class News { Note, Information, Warning };

// What a core routine reports while it works: the status line, the gauge, that work began
// or ended, window messages (and with them Cancel), news the user must see before going on, and
// the busy refusal. The core asks nothing through it: a flow that needs a decision names
// its own questions (send.h, savequestions.h, fargoinstall.h), which the window answers
// as it sees fit, the CLI from its options and the tests from a script.
// Texts use "\n" for a line break; a front end that wants another converts them.
class Progress : public MessagePump {
public:
    virtual void setstatus(std::string_view text) = 0;
    virtual void setgaugemax(int max) = 0;
    virtual void setgaugeposition(int position) = 0;
    // Said again while the work runs, or Ended said twice, it changes nothing: the user
    // is kept waiting or not, no matter how often.
    virtual void working(Work work) = 0;
    // Something the user must read (a library not found, a copy not saved, a file this
    // version cannot send); the work goes on afterwards.
    virtual void tell(News news, std::string_view text) = 0;
    // A transfer was asked for while another one runs; kBusyText says so.
    virtual void refusebusy() = 0;
    // The files in folder changed: one was written, deleted or described anew.
    virtual void fileschanged(const std::filesystem::path& /*folder*/) {}
};

// Reports nothing: for benchmarks and batch work.
class NullProgress : public Progress {
public:
    void setstatus(std::string_view) override {}
    void setgaugemax(int) override {}
    void setgaugeposition(int) override {}
    void working(Work) override {}
    void tell(News, std::string_view) override {}
    void refusebusy() override {}
    void processmessages() override {}
};

// The busy refusal every transfer shows while another one runs.
inline constexpr std::string_view kBusyText =
    "Cannot send. A transfer is in progress!\nWait until it's finnished, or press cancel!";

} // namespace tessaly
