#pragma once
#include "app/dialogs.h"
#include "transfers/flash.h"

namespace tessaly::app {

inline constexpr std::string_view kReplaceSystemCaption = "Replace the calculator's system";
inline constexpr std::string_view kReplaceSystemButton = "Replace the system";

// A system upgrade asked with its own buttons, Cancel the one Enter presses: a reflexive
// Enter or Yes must not erase the calculator's system.
class WindowFlashQuestions final : public FlashQuestions {
public:
    explicit WindowFlashQuestions(Dialogs& dialogs) : m_dialogs(dialogs) {}
    bool replacesystem(const FlashPart& system, const CalculatorModel& model) override;

private:
    Dialogs& m_dialogs;
};

} // namespace tessaly::app
