// The command line's way of showing the core's user messages: one line on
// the error stream, "caption: text" (or the text alone without a caption).
#pragma once

#include <ostream>

#include "user_messages.h"

namespace tarnwick {

class ConsoleMessages final : public UserMessages {
public:
    explicit ConsoleMessages(std::ostream& err) : err_(err) {}
    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;

private:
    std::ostream& err_;
};

}  // namespace tarnwick
