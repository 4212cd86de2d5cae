// SPDX-License-Identifier: GPL-2.0-or-later
#include "console_messages.h"

#include "terminal_text.h"

namespace tarnwick {

void ConsoleMessages::showMessage(std::string_view text, std::string_view caption, MessageIcon) {
    if (!caption.empty()) {
        err_ << caption << ": ";
    }
    // Texts name files and carry what the camera sent; the lines of a text
    // of several stay lines.
    for (std::string_view rest = text;;) {
        const std::size_t end = rest.find('\n');
        err_ << printable(rest.substr(0, end), toTerminal_) << '\n';
        if (end == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(end + 1);
    }
}

}  // namespace tarnwick
