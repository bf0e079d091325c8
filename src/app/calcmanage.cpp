#include "app/calcmanage.h"

#include "files/ticharset.h"
#include "transfers/session.h"
#include "transfers/usbexchanges.h"

namespace tessaly::app {

namespace {
constexpr std::size_t kFullNameChars = 17;  // folder, backslash, name
}

std::vector<std::string> CalcManager::marked() {
    std::vector<std::string> names;
    // An application is no variable: a home-screen line for its bare name would act on
    // main\ instead.
    if (m_page.viewflag())
        for (const ListRow& row : m_page.rows())
            if (row.selected && !isapplicationrow(row)) names.push_back(row.caption);
    if (names.empty()) m_shell.setstatus(kCalculatorViewText);
    return names;
}

std::optional<std::string> CalcManager::calcname(const std::string& typed) {
    std::string why;
    auto bytes = utf8_to_tibytes(typed, kFullNameChars + 1, &why);
    if (bytes && bytes->size() > kFullNameChars) why = typed + " is longer than a name can be.";
    if (!why.empty()) {
        m_shell.messagebox(why, "", Icon::Error, Buttons::Ok);
        return std::nullopt;
    }
    return bytes;
}

void CalcManager::run(ManageAction action, const std::vector<std::string>& names) {
    // Bad input is said before anything reaches the calculator.
    const std::string bad = checknames(action, names);
    if (!bad.empty()) {
        m_shell.messagebox(tibytes_to_utf8(bad) + ".", "", Icon::Error, Buttons::Ok);
        return;
    }
    TransferSession session(m_link.state(), m_shell);
    if (!session) return;
    const ManageOutcome outcome = managecalc(m_link, m_shell, action, names);
    if (outcome.after.answered) m_page.showlisting(outcome.after);
    if (m_link.state().linkok) m_shell.setstatus("Done: " + tibytes_to_utf8(commandline(action, names)));
}

void CalcManager::deleteselected() {
    const std::vector<std::string> names = marked();
    if (names.empty()) return;
    std::string question = "Delete on the calculator?";
    for (const std::string& n : names) question.append("\r").append(tibytes_to_utf8(n));
    // It cannot be undone: a warning, whose Enter does not delete.
    if (m_shell.messagebox(question, kDeleteCaption, Icon::Warning, Buttons::YesNo) != Answer::Yes) return;
    run(ManageAction::Delete, names);
}

void CalcManager::renameselected() {
    const std::vector<std::string> names = marked();
    if (names.empty()) return;
    const std::string old = tibytes_to_utf8(names.front());
    const auto typed = m_shell.inputbox("Rename", "New name of " + old + " (folder\\name):", old);
    if (!typed || typed->empty() || *typed == old) return;
    if (const auto name = calcname(*typed)) run(ManageAction::Rename, {names.front(), *name});
}

void CalcManager::newfolder() {
    const auto typed = m_shell.inputbox("New folder", "Name of the new folder on the calculator:", "");
    if (!typed || typed->empty()) return;
    if (const auto name = calcname(*typed)) run(ManageAction::NewFolder, {*name});
}

void CalcManager::lockselected(bool lock) {
    const std::vector<std::string> names = marked();
    if (!names.empty()) run(lock ? ManageAction::Lock : ManageAction::Unlock, names);
}

void CalcManager::archiveselected(bool archive) {
    if (!hasarchive()) {
        m_shell.messagebox(kNoArchiveText, "", Icon::Information, Buttons::Ok);
        return;
    }
    const std::vector<std::string> names = marked();
    if (!names.empty()) run(archive ? ManageAction::Archive : ManageAction::Unarchive, names);
}

void CalcManager::version() {
    TransferSession session(m_link.state(), m_shell);
    if (!session) return;
    CalculatorVersion answer;
    if (!readversion(m_link, m_shell, answer)) return;
    std::string text = answer.model + "\rROM version " + tibytes_to_utf8(answer.version);
    if (!answer.hardware.empty()) text += "\rHardware " + answer.hardware;
    // Only the Titanium's own port tells these; the link port has no question for them.
    if (m_link.directusb()) {
        const auto info = usbcalculatorinfo(m_link);
        if (!info) return;
        text += "\rProduct " + info->productname + ", ID " + info->fullid;
        text += "\rFree RAM " + std::to_string(info->freeram) + " bytes, free Flash " + std::to_string(info->freeflash) + " bytes";
        text += info->batteryok ? "\rBatteries good" : "\rBatteries low: replace them before sending a system";
    }
    m_shell.messagebox(text, "Version", Icon::Information, Buttons::Ok);
}

} // namespace tessaly::app
