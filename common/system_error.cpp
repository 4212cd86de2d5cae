// SPDX-License-Identifier: GPL-2.0-or-later
#include "system_error.h"

#include <cerrno>

namespace tarnwick {

std::error_code SystemError(int errorNumber) noexcept { return {errorNumber, std::generic_category()}; }

std::error_code LastSystemError() noexcept { return SystemError(errno); }

std::string SystemText(int errorNumber) { return std::generic_category().message(errorNumber); }

}  // namespace tarnwick
