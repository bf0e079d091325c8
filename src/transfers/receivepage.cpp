#include "transfers/receivepage.h"

#include <algorithm>

#include "link/packets.h"
#include "link/typenames.h"

namespace tessaly {

namespace {
constexpr std::uint8_t kReady[] = {0x09, 0x68, 0x00, 0x00};
constexpr std::uint32_t kReadyPauseMs = 200;

std::vector<ListRow> unselected(const std::vector<ListRow>& rows) {
    std::vector<ListRow> copy = rows;
    for (auto& r : copy) r.selected = false;
    return copy;
}
} // namespace

ReceivePageModel::ReceivePageModel(Link& link, Shell& shell, const PackageStore& store)
    : m_link(link), m_shell(shell), m_store(store) {}

void ReceivePageModel::setselected(std::size_t row, bool selected) {
    if (row < m_rows.size()) m_rows[row].selected = selected;
}

void ReceivePageModel::selectall(bool selected) {
    for (auto& r : m_rows) r.selected = selected;
}

void ReceivePageModel::setcalculatordown(bool down) {
    m_speedbutton1down = down;
    m_speedbutton2down = !down;
}

void ReceivePageModel::setsavetofileenabled(bool enabled) {
    m_button8 = enabled;
    changed(Change::Controls);
}

void ReceivePageModel::showrows(const std::vector<ListRow>& rows) {
    m_rows = unselected(rows);
    changed(Change::Rows);
}

void ReceivePageModel::clearrows() {
    m_rows.clear();
    changed(Change::Rows);
}

void ReceivePageModel::addrow(ListRow row) {
    row.selected = false;
    m_rows.push_back(std::move(row));
    changed(Change::RowAdded);
}

void ReceivePageModel::droprow() {
    if (m_rows.empty()) return;
    m_rows.pop_back();
    changed(Change::RowRemoved);
}

bool ReceivePageModel::anyselected() const {
    return std::any_of(m_rows.begin(), m_rows.end(), [](const ListRow& r) { return r.selected; });
}

ReceiveTarget ReceivePageModel::target() {
    return ReceiveTarget{m_shell, m_store, m_manual, m_storefolder, [this](ListRow r) { addrow(std::move(r)); },
                         [this] { droprow(); }};
}

void ReceivePageModel::Button30click() {
    TransferState& s = m_link.state();
    if (s.busy) {
        m_shell.messagebox(kBusyText, "", Icon::None, Buttons::Ok);
        return;
    }
    s.busy = true;
    s.linkok = true;
    s.pendingerror.clear();
    m_packageflag = false;
    m_shell.setcursor(Cursor::Busy);
    clearrows();
    m_button8 = false;
    m_button11 = false;
    changed(Change::Controls);
    m_shell.setstatus(kDirectoryReceivingText);

    if (directorylisting(m_link, [this](ListRow r) { addrow(std::move(r)); })) {
        m_label8 = kLabelMarkVariables;
        changed(Change::Controls);
        m_shell.setstatus(s.linkok ? kDirectoryReceivedText : kSomeErrorText);
    }

    m_shell.setcursor(Cursor::Normal);
    s.busy = false;
}

void ReceivePageModel::SpeedButton1Click() {
    if (m_speedbutton1down == m_viewflag) return;
    m_locview = unselected(m_rows);
    clearrows();
    showrows(m_calcview);
    m_viewflag = true;
    m_button1 = m_manual || anyselected();
    m_button8 = false;
    m_button11 = false;
    m_button30 = true;
    changed(Change::Controls);
}

void ReceivePageModel::SpeedButton2Click() {
    if (m_speedbutton2down != m_viewflag) return;
    m_calcview = unselected(m_rows);
    m_shell.processmessages();
    clearrows();
    showrows(m_locview);
    m_viewflag = false;
    m_packageflag = !m_rows.empty();
    m_button1 = m_manual;
    if (m_packageflag) m_button8 = true;
    m_button30 = false;
    changed(Change::Controls);
}

void ReceivePageModel::manualClick() {
    m_button1 = m_manual || (m_viewflag && anyselected());
    changed(Change::Controls);
}

void ReceivePageModel::Listbox2MouseUp() {
    const bool selected = anyselected();
    if (m_viewflag) m_button1 = selected;
    if (m_packageflag) {
        const auto first = std::find_if(m_rows.begin(), m_rows.end(), [](const ListRow& r) { return r.selected; });
        m_button11 = first != m_rows.end() && first->type == typename_of(kTypeText);
    }
    changed(Change::Controls);
}

void ReceivePageModel::Button1Click() {
    if (m_link.state().busy) {
        m_shell.messagebox(kBusyText, "", Icon::None, Buttons::Ok);
        return;
    }
    if (m_manual)
        receivefromcalc();
    else
        receiverequested();
}

void ReceivePageModel::receiverequested() {
    TransferState& s = m_link.state();
    s.busy = true;
    m_button1 = false;
    changed(Change::Controls);
    s.pendingerror.clear();
    int count = 0;
    m_shell.setcursor(Cursor::Busy);
    s.linkok = true;

    m_link.sendstring(kReady);
    m_link.waitack();

    if (anyselected()) {
        // Every marked row is asked for; there is no fixed number of entries.
        std::vector<RequestEntry> entries;
        for (const ListRow& r : m_rows) {
            if (!r.selected) continue;
            entries.push_back({r.caption.substr(0, kPackageNameSize), typecode_of(r.type)});
            if (!s.linkok) break;
        }

        setcalculatordown(false);
        SpeedButton2Click();
        clearrows();
        m_packageflag = true;

        ReceiveTarget into = target();
        bool first = true;
        bool receptionfailed = false;
        const std::uint32_t cancels = s.cancelgeneration;
        std::string missing;
        auto notreceived = [&](const std::string& name, const std::string& counter) {
            m_shell.setstatus(name + std::string(kNotReceivedStatusText) + counter);
            if (!missing.empty()) missing += ", ";
            missing += name;
        };
        const std::size_t total = entries.size();
        for (std::size_t j = 1; j <= total; ++j) {
            const RequestEntry& entry = entries[j - 1];
            const std::string counter = std::to_string(j) + "/" + std::to_string(total) + "]";
            // A reception that failed, or a Cancel, keeps its own reason; only the
            // calculator's absence from the home screen is recorded entry after entry.
            if (receptionfailed || s.cancelgeneration != cancels) break;

            m_link.sendstring(kReady);
            m_link.waitack();
            m_link.pause(kReadyPauseMs);
            m_link.sendstring(kReady);
            if (!m_link.waitack()) {
                m_link.faillink(std::string(kNotAtHomeText) + entry.name);
                continue;
            }
            m_shell.setstatus(kSendingRequestText);
            sendvariablerequest(m_link, entry);
            if (!m_link.waitack()) {
                // Silence after the request is a timeout, not an absence from the home screen.
                receptionfailed = !s.linkok;
                // Any other answer is a refusal of the request: the user must learn of it.
                if (!receptionfailed) notreceived(entry.name, counter);
                continue;
            }

            m_button1 = false;
            m_button8 = false;
            m_button11 = false;
            m_edit1.clear();
            changed(Change::Controls);
            m_shell.setstatus(std::string(kReceivingVariableText) + counter);

            const int stored = receivevariable(m_link, into, first, entry.name);
            first = false;
            receptionfailed = !s.linkok;

            m_button1 = true;
            m_button8 = true;
            m_label8 = kLabelSaveRequest;
            changed(Change::Controls);
            if (stored > 0) {
                m_shell.setstatus(entry.name + std::string(kReceivedText) + counter);
                ++count;
            } else {
                notreceived(entry.name, counter);
            }
        }
        // A request the calculator answered with something else than the variable: the
        // link itself is fine, so nothing else would tell the user.
        if (s.linkok && !missing.empty()) m_link.faillink(std::string(kNotReceivedText) + missing);
    }

    m_shell.setcursor(Cursor::Normal);
    m_shell.setstatus(std::to_string(count) + std::string(kVariablesReceivedText));
    m_button1 = true;
    changed(Change::Controls);
    s.busy = false;
}

void ReceivePageModel::receivefromcalc() {
    TransferState& s = m_link.state();
    s.busy = true;
    s.pendingerror.clear();
    m_shell.setcursor(Cursor::Busy);
    m_button1 = false;
    m_button8 = false;
    m_button11 = false;
    m_edit1.clear();
    s.linkok = true;
    m_label8 = kLabelSelectOnCalc;
    changed(Change::Controls);
    setcalculatordown(false);
    SpeedButton2Click();
    clearrows();
    m_shell.processmessages();

    ReceiveTarget into = target();
    receivevariable(m_link, into, true, "");

    m_packageflag = true;
    m_button1 = true;
    m_button8 = true;
    m_label8 = kLabelSaveSelect;
    changed(Change::Controls);
    m_shell.setcursor(Cursor::Normal);
    s.busy = false;
}

} // namespace tessaly
