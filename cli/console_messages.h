// SPDX-License-Identifier: GPL-2.0-or-later
// The command line's way of showing the core's user messages: one line on
// the error stream, "caption: text" (or the text alone without a caption).
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "user_messages.h"

namespace tarnwick {

class ConsoleMessages final : public UserMessages {
public:
    // toTerminal: err reaches a terminal, where texts are shown escaped.
    explicit ConsoleMessages(std::ostream& err, bool toTerminal = false) : err_(err), toTerminal_(toTerminal) {}
    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;

private:
    std::ostream& err_;
    bool toTerminal_;
};


}  // namespace tarnwick
