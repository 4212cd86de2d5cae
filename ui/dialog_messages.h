// SPDX-License-Identifier: GPL-2.0-or-later
// The system's texts in modal message boxes, owned by the active window.
#pragma once

#include "user_messages.h"

namespace tarnwick {

class DialogMessages final : public UserMessages {
public:
    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
    MessageAnswer ask(std::string_view text, std::string_view caption, MessageIcon icon,
                      MessageButtons buttons) override;
};

}  // namespace tarnwick
