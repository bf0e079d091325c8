#include "app/overwriteask.h"

#include "files/ticharset.h"
#include "transfers/manage.h"

namespace tessaly::app {

bool WindowPlanQuestions::sendanyway(const OtherModelFile& file) {
    return m_dialogs.messagebox(othermodeltext(file) + " Send it all the same?", kOtherModelCaption, Icon::Warning,
                                Buttons::YesNo) == Answer::Yes;
}

OverwriteChoice WindowPlanQuestions::existing(const Clash& clash, bool canoverwrite) {
    std::string text = tibytes_to_utf8(clash.name) + " is on the calculator already.";
    if (clash.locked) text += "\rIt is locked: the calculator does not let it be overwritten.";
    if (clash.archived) text += "\rIt is archived: the calculator does not let it be overwritten.";
    if (!canoverwrite) {
        static const OverwriteChoice kChoices[] = {OverwriteChoice::Skip, OverwriteChoice::Rename, OverwriteChoice::Cancel};
        return kChoices[std::min<std::size_t>(m_dialogs.choose(text, kExistingCaption, {"Skip", "Send as...", "Cancel"}), 2)];
    }
    static const OverwriteChoice kChoices[] = {OverwriteChoice::Overwrite, OverwriteChoice::Skip, OverwriteChoice::Rename,
                                               OverwriteChoice::All, OverwriteChoice::Cancel};
    // Enter skips: replacing the calculator's variable takes a deliberate choice.
    const std::size_t i =
        m_dialogs.choose(text, kExistingCaption, {"Overwrite", "Skip", "Send as...", "Overwrite all", "Cancel"}, 1);
    return kChoices[std::min<std::size_t>(i, 4)];
}

std::optional<std::string> WindowPlanQuestions::newname(const Clash& clash) {
    const std::string old = tibytes_to_utf8(clash.name);
    const auto typed = m_dialogs.inputbox("Send as", "Send " + old + " under the name (folder\\name):", old);
    if (!typed || typed->empty()) return std::nullopt;
    std::string why;
    const auto bytes = utf8_to_tibytes(*typed, 18, &why);
    if (bytes) why = checknames(ManageAction::Rename, {clash.name, *bytes});
    if (!why.empty()) {
        m_dialogs.messagebox(tibytes_to_utf8(why) + ".", "", Icon::Error, Buttons::Ok);
        return std::nullopt;
    }
    return bytes;
}

} // namespace tessaly::app
