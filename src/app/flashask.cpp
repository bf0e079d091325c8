#include "app/flashask.h"

namespace tessaly::app {

bool WindowFlashQuestions::replacesystem(const FlashPart& system, const CalculatorModel& model) {
    std::string text = "Replace the operating system of the " + std::string(model.name);
    if (const auto version = flashosversion(system.data)) {
        text += " with version ";
        text += std::to_string(int((*version)[0]));
        text += '.';
        if ((*version)[1] < 10) text += '0';
        text += std::to_string(int((*version)[1]));
    }
    text += "?\r\rThe system on the calculator is erased and replaced by this one, and the calculator "
            "restarts when it is done.\rDo not unplug the cable or switch the calculator off until the "
            "transfer has ended: a calculator cut off midway has no system until one is sent again.";
    const std::vector<std::string> buttons{std::string(kReplaceSystemButton), "Cancel"};
    return m_dialogs.choose(text, kReplaceSystemCaption, buttons, 1) == 0;
}

} // namespace tessaly::app
