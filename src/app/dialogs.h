#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/progress.h"

namespace tessaly {

enum class Icon { None, Information, Warning, Error, Confirmation };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

struct FileDialogSpec {
    std::string filename;    // initial file name or pattern, e.g. "*.92*"
    std::string filter;      // "TI-92 files|*.92*" (description|pattern pairs)
    std::string title;
    std::string defaultext;  // without the dot
    // The window asks before the chosen name replaces an existing file.
    bool overwriteprompt = true;
    bool folder = false;     // a folder is chosen, not a file
    // Where the dialog opens; the window fills it in (the folder last used for this kind
    // of file, else the file browser's), and leaves one the caller gave alone.
    std::string startfolder = {};
};

// The window's boxes and file dialogs. Texts use "\n" or "\r" for a line break.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual Answer messagebox(std::string_view text, std::string_view caption, Icon icon, Buttons buttons) = 0;
    // nullopt when the box is cancelled.
    virtual std::optional<std::string> inputbox(std::string_view title, std::string_view prompt,
                                                std::string_view initial) = 0;
    // nullopt when the dialog is cancelled; else the chosen path, which the user has agreed
    // may replace a file of that name.
    virtual std::optional<std::string> savedialog(const FileDialogSpec& spec) = 0;
    virtual std::optional<std::string> opendialog(const FileDialogSpec& spec) = 0;
    // A box with buttons of its own, given in order, the last one cancelling; the index
    // of the one pressed. Enter presses the one at preferred. Where no such box can be
    // shown it is a Yes/No/Cancel box: Yes is the first button, No the second, Cancel the last.
    virtual std::size_t choose(std::string_view text, std::string_view caption, const std::vector<std::string>& buttons,
                               std::size_t preferred = 0) {
        (void)preferred;
        switch (messagebox(text, caption, Icon::Confirmation, Buttons::YesNoCancel)) {
        case Answer::Yes: return 0;
        case Answer::No: return buttons.size() > 2 ? 1 : buttons.size() - 1;
        default: return buttons.size() - 1;
        }
    }
};

// What the window shows and asks: the progress of the core's work and its own dialogs.
// QtShell is it with widgets; the tests' scripted shell records it.
class Shell : public Progress, public Dialogs {};

} // namespace tessaly
