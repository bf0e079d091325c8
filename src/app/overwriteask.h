#pragma once
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "app/dialogs.h"
#include "app/receivepage.h"
#include "link/link.h"
#include "transfers/overwrite.h"

namespace tessaly {

inline constexpr std::string_view kExistingCaption = "On the calculator already";

// The window asks about each variable whose name the calculator holds: overwrite, skip,
// rename, overwrite all, or cancel the whole send.
class WindowOverwriteQuestions final : public OverwriteQuestions {
public:
    explicit WindowOverwriteQuestions(Dialogs& dialogs) : m_dialogs(dialogs) {}
    OverwriteChoice existing(const Clash& clash, bool canoverwrite) override;
    std::optional<std::string> newname(const Clash& clash) override;

private:
    Dialogs& m_dialogs;
};

// Before variable files are sent from the window, inside the caller's transfer: the
// calculator's listing is read afresh (the calculator view then shows it) and every name
// it holds already is asked about. nullopt when nothing is to be sent: cancelled, or the
// listing failed (its reason pending). Files that are not variable files are passed by.
std::optional<SendPlan> askbeforesending(Link& link, Shell& shell, ReceivePageModel& page,
                                         const std::vector<std::filesystem::path>& files,
                                         const std::function<bool(std::size_t)>& selected = {});

} // namespace tessaly
