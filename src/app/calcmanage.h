#pragma once
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/receivepage.h"
#include "link/link.h"
#include "transfers/manage.h"

namespace tessaly::app {

inline constexpr std::string_view kDeleteCaption = "Delete on the calculator";
inline constexpr std::string_view kCalculatorViewText = "Choose variables in the calculator view first.";

// The commands of the receive page's calculator list that tidy the calculator: each asks
// what it needs, runs as one transfer, and the list then shows the listing read
// afterwards. What the calculator did not do stays in the pending error text, which the
// window shows in an error box.
class CalcManager {
public:
    CalcManager(Link& link, Shell& shell, ReceivePageModel& page) : m_link(link), m_shell(shell), m_page(page) {}

    void deleteselected();  // asks first, naming every variable that goes
    void renameselected();  // the first marked variable: asks for its new full name
    void newfolder();
    void lockselected(bool lock);
    void archiveselected(bool archive);
    void version();
    bool hasarchive() const { return m_link.model().hasarchive; }

private:
    // The marked rows of the calculator view; empty (and said) in the received view.
    std::vector<std::string> marked();
    // A name typed in the window, in the calculator's characters; nullopt after saying why.
    std::optional<std::string> calcname(const std::string& typed);
    void run(ManageAction action, const std::vector<std::string>& names);

    Link& m_link;
    Shell& m_shell;
    ReceivePageModel& m_page;
};

} // namespace tessaly::app
