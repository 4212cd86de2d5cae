// SPDX-License-Identifier: GPL-2.0-or-later
// How the core shows a message to the user without knowing any toolkit.
//
// Each front end (the Qt window, the command-line tool, a test) implements
// UserMessages; the core calls it on the thread that runs the operation and
// never prints or opens a window itself. Texts and captions are the system's
// own and reach the user unchanged.
#pragma once

#include <string_view>

namespace tarnwick {

// None: a plain box with the text and an OK button.
enum class MessageIcon { Information, Exclamation, Error, Question, None };

// YesNo answers Cancel when the user closes the box or presses Escape.
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

class UserMessages {
public:
    virtual ~UserMessages() = default;
    virtual void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
    // A modal question. Front ends that cannot ask (the command line) keep
    // this default, which declines.
    virtual MessageAnswer ask(std::string_view /*text*/, std::string_view /*caption*/, MessageIcon /*icon*/,
                              MessageButtons buttons) {
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
    }
};

}  // namespace tarnwick
