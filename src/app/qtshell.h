#pragma once
#include <QString>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "app/dialogs.h"
#include "link/transferstate.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace tessaly::app {

// Said instead of asking while a transfer waits for the window's messages to pass.
inline constexpr std::string_view kAfterTransferText =
    "A transfer is in progress: try again once it has ended, or press Cancel.";

// Asked before a save dialog's choice replaces a file: its name, then this.
inline constexpr std::string_view kReplaceQuestion = " already exists.\rDo you want to replace it?";
inline constexpr std::string_view kReplaceCaption = "Replace file";

// The core's UTF-8 text as Qt holds it.
QString qs(std::string_view text);
// A line break ("\n" in the core's texts, "\r" in some of the window's own) as a widget
// wants it: "\n".
QString shown(std::string_view text);
// A line typed into one of the window's boxes as the calculator can take it: the Greek mu
// is the calculator's micro sign, and a tab, which would sit raw in a one-line name or
// description, is a blank.
std::string typedline(std::string_view typed);
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
    // The transfers' shared state: while one runs, a box asked for from within its message
    // pass must not hold it (holdsatransfer).
    void settransferstate(const TransferState* state) { m_transfer = state; }
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
    // Work that makes the user wait shows the busy pointer until it ends.
    void working(Work work) override;
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
    // The browser shows one folder: any change of files may be in it, and it is re-read.
    void fileschanged(const std::filesystem::path& folder) override;

    // The exact text last put in the status line (the label shows it on one line).
    const std::string& statustext() const { return m_statustext; }

private:
    // A box shown here and waited for would hold the running transfer whose message pass
    // called for it, and the calculator does not wait: its timeouts run on.
    bool holdsatransfer() const { return m_pumping > 0 && m_transfer && m_transfer->busy; }
    // Shows news without waiting for it to be read.
    void shownote(QWidget* owner, std::string_view text, std::string_view caption, Icon icon);
    // A question or a dialog asked for while a transfer is held: not asked, and said so.
    bool refusedforatransfer();
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
    const TransferState* m_transfer = nullptr;
    int m_pumping = 0;  // nested message passes now running
    std::string m_statustext;
};

} // namespace tessaly::app
