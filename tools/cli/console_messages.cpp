#include "console_messages.h"

namespace tarnwick {

void ConsoleMessages::showMessage(std::string_view text, std::string_view caption, MessageIcon) {
    if (!caption.empty()) {
        err_ << caption << ": ";
    }
    err_ << text << '\n';
}

}  // namespace tarnwick
