#pragma once
#include <QString>
#include <functional>
#include <map>
#include <string_view>

#include "app/dialogs.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace tessaly::app {

// Asked before a save dialog's choice replaces a file: its name, then this.
inline constexpr std::string_view kReplaceQuestion = " already exists.\rDo you want to replace it?";
inline constexpr std::string_view kReplaceCaption = "Replace file";

// "\r" in the program's texts is a line break; a widget wants "\n".
QString shown(std::string_view text);
// The one-line status label shows a line break as a blank.
QString oneline(std::string_view text);

// The shell of the window: the status line, the gauge, the cursor, news and the dialogs.
// An answerer (the scripted shell of the tests) can take over every dialog; it also
// sees every status text, gauge step, cursor change and message pass, so tests read
// what the user would have seen without a modal box ever blocking.
class QtShell final : public Shell {
public:
    QtShell(QLabel* status, QProgressBar* gauge, QWidget* owner);
    ~QtShell() override;

    void setanswerer(Shell* answerer) { m_answerer = answerer; }
    // The file browser re-reads its folder here.
    void setfilelistrefresher(std::function<void()> refresh) { m_refresh = std::move(refresh); }
    Shell* answerer() const { return m_answerer; }
    // Save and open dialogs start where that kind of file was last saved or opened (kept
    // in `folders`, which outlives the shell), else in `fallback`'s folder.
    void setdialogfolders(std::map<std::string, std::string>* folders, std::function<std::string()> fallback) {
        m_folders = folders;
        m_fallbackfolder = std::move(fallback);
    }

    void setstatus(std::string_view text) override;
    void setgaugemax(int max) override;
    void setgaugeposition(int position) override;
    void setcursor(Cursor cursor) override;
    // News is a box with OK over the window, its icon by its weight; the busy refusal too.
    void tell(News news, std::string_view text) override;
    void refusebusy() override;
    Answer messagebox(std::string_view text, std::string_view caption, Icon icon, Buttons buttons) override;
    // The same box with no owner window: it stands on its own, not over the main window.
    Answer unownedmessagebox(std::string_view text, std::string_view caption, Icon icon, Buttons buttons);
    std::optional<std::string> inputbox(std::string_view title, std::string_view prompt,
                                        std::string_view initial) override;
    std::optional<std::string> savedialog(const FileDialogSpec& spec) override;
    std::optional<std::string> opendialog(const FileDialogSpec& spec) override;
    std::size_t choose(std::string_view text, std::string_view caption, const std::vector<std::string>& buttons,
                       std::size_t preferred = 0) override;
    void processmessages() override;
    void refreshfilelist() override;

    // The exact text last put in the status line (the label shows it on one line).
    const std::string& statustext() const { return m_statustext; }

private:
    std::optional<std::string> runsavedialog(const FileDialogSpec& spec);
    std::optional<std::string> runopendialog(const FileDialogSpec& spec);
    FileDialogSpec placed(const FileDialogSpec& spec) const;
    void remember(const FileDialogSpec& spec, const std::optional<std::string>& chosen);
    Answer showbox(QWidget* owner, std::string_view text, std::string_view caption, Icon icon, Buttons buttons);
    QLabel* m_status;
    QProgressBar* m_gauge;
    QWidget* m_owner;
    Shell* m_answerer = nullptr;
    std::function<void()> m_refresh;
    std::map<std::string, std::string>* m_folders = nullptr;
    std::function<std::string()> m_fallbackfolder;
    bool m_busycursor = false;
    std::string m_statustext;
};

} // namespace tessaly::app
