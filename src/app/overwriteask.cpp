#include "app/overwriteask.h"

#include "files/ticharset.h"
#include "transfers/manage.h"
#include "transfers/send.h"

namespace tessaly {

OverwriteChoice WindowOverwriteQuestions::existing(const Clash& clash, bool canoverwrite) {
    std::string text = tibytes_to_utf8(clash.name) + " is on the calculator already.";
    if (clash.locked) text += "\rIt is locked: the calculator does not let it be overwritten.";
    if (clash.archived) text += "\rIt is archived: the calculator does not let it be overwritten.";
    if (!canoverwrite) {
        static const OverwriteChoice kChoices[] = {OverwriteChoice::Skip, OverwriteChoice::Rename, OverwriteChoice::Cancel};
        return kChoices[std::min<std::size_t>(m_dialogs.choose(text, kExistingCaption, {"Skip", "Send as...", "Cancel"}), 2)];
    }
    static const OverwriteChoice kChoices[] = {OverwriteChoice::Overwrite, OverwriteChoice::Skip, OverwriteChoice::Rename,
                                               OverwriteChoice::All, OverwriteChoice::Cancel};
    const std::size_t i =
        m_dialogs.choose(text, kExistingCaption, {"Overwrite", "Skip", "Send as...", "Overwrite all", "Cancel"});
    return kChoices[std::min<std::size_t>(i, 4)];
}

std::optional<std::string> WindowOverwriteQuestions::newname(const Clash& clash) {
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

std::optional<SendPlan> askbeforesending(Link& link, Shell& shell, ReceivePageModel& page,
                                         const std::vector<std::filesystem::path>& files,
                                         const std::function<bool(std::size_t)>& selected) {
    std::vector<std::string> outgoing;
    for (const auto& path : files)
        if (sendkind(path) == SendKind::Variables)
            for (const std::string& n : outgoingnames(path, selected)) outgoing.push_back(n);
    if (outgoing.empty()) return SendPlan{};
    const DirectoryListing listing = directorylisting(link, shell);
    if (listing.answered) page.showlisting(listing.rows);
    if (!link.state().linkok) return std::nullopt;
    WindowOverwriteQuestions ask(shell);
    const auto plan = planoverwrites(findclashes(outgoing, listing), ask);
    if (!plan) shell.setstatus("Nothing sent.");
    return plan;
}

} // namespace tessaly
