// SPDX-License-Identifier: GPL-2.0-or-later
// The one way an errno becomes an error and the system's own text for it.
// Any thread.
#pragma once

#include <string>
#include <system_error>

namespace tarnwick {

// An error of the generic category; its message() is SystemText(errorNumber).
std::error_code SystemError(int errorNumber) noexcept;
// The same for the errno the last refused call left.
std::error_code LastSystemError() noexcept;

// The system's text for an errno, as the user is shown it.
std::string SystemText(int errorNumber);

}  // namespace tarnwick
