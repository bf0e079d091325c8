#pragma once
#include <optional>
#include <string>

#include "app/dialogs.h"
#include "app/receivepage.h"
#include "transfers/send.h"

namespace tessaly::app {

inline constexpr std::string_view kExistingCaption = "On the calculator already";
inline constexpr std::string_view kOtherModelCaption = "Another model";

// The window's answers to a send's plan: a file made for another model (send it all the
// same?), then each variable whose name the calculator holds: overwrite, skip, rename,
// overwrite all, or cancel the whole send; Enter skips.
// The listing the plan was made from is shown on the receive page.
class WindowPlanQuestions final : public PlanQuestions {
public:
    WindowPlanQuestions(Dialogs& dialogs, ReceivePageModel& page) : m_dialogs(dialogs), m_page(page) {}
    bool sendanyway(const OtherModelFile& file) override;
    OverwriteChoice existing(const Clash& clash, bool canoverwrite) override;
    std::optional<std::string> newname(const Clash& clash) override;
    void listed(const DirectoryListing& listing) override { m_page.showlisting(listing); }

private:
    Dialogs& m_dialogs;
    ReceivePageModel& m_page;
};

} // namespace tessaly::app
