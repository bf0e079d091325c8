#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "link/pump.h"

namespace tessaly {

enum class Icon { None, Information, Warning, Error, Confirmation };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };
enum class Cursor { Normal, Busy };

struct FileDialogSpec {
    std::string filename;    // initial file name or pattern, e.g. "*.92*"
    std::string filter;      // "TI-92 files|*.92*" (description|pattern pairs)
    std::string title;
    std::string defaultext;  // without the dot
    // The window asks before the chosen name replaces an existing file; a command
    // line's output path is taken as given.
    bool overwriteprompt = true;
    bool folder = false;     // a folder is chosen, not a file
};

// Everything a core routine shows to, or asks of, the user. The window implements it
// with widgets, the CLI with a terminal, the tests with a scripted recorder.
// Texts use "\r" for a line break, as the messages are written; a widget shows a newline.
class Shell : public MessagePump {
public:
    virtual void setstatus(std::string_view text) = 0;
    virtual void setgaugemax(int max) = 0;
    virtual void setgaugeposition(int position) = 0;
    virtual void setcursor(Cursor cursor) = 0;
    virtual Answer messagebox(std::string_view text, std::string_view caption, Icon icon, Buttons buttons) = 0;
    // nullopt when the box is cancelled.
    virtual std::optional<std::string> inputbox(std::string_view title, std::string_view prompt,
                                                std::string_view initial) = 0;
    // nullopt when the dialog is cancelled; else the chosen path, which the user has agreed
    // may replace a file of that name.
    virtual std::optional<std::string> savedialog(const FileDialogSpec& spec) = 0;
    virtual std::optional<std::string> opendialog(const FileDialogSpec& spec) = 0;
    // The file browser's file list is re-read (after a save, a delete, a description edit).
    virtual void refreshfilelist() {}
};

// Shows nothing and answers every question with Cancel: for benchmarks and batch work.
class NullShell final : public Shell {
public:
    void setstatus(std::string_view) override {}
    void setgaugemax(int) override {}
    void setgaugeposition(int) override {}
    void setcursor(Cursor) override {}
    Answer messagebox(std::string_view, std::string_view, Icon, Buttons) override { return Answer::Cancel; }
    std::optional<std::string> inputbox(std::string_view, std::string_view, std::string_view) override { return {}; }
    std::optional<std::string> savedialog(const FileDialogSpec&) override { return {}; }
    std::optional<std::string> opendialog(const FileDialogSpec&) override { return {}; }
    void processmessages() override {}
};

// The busy refusal every transfer shows while another one runs.
inline constexpr std::string_view kBusyText =
    "Cannot send. A transfer is in progress!\rWait until it's finnished, or press cancel!";

} // namespace tessaly
