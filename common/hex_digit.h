// SPDX-License-Identifier: GPL-2.0-or-later
// The value of one hexadecimal digit, for the readers of GUIDs and of the
// settings file. Pure, any thread; usable at compile time.
#pragma once

#include <optional>

namespace tarnwick {

// 0-9, a-f and A-F; nothing for any other character.
constexpr std::optional<unsigned> HexDigitValue(char c) noexcept {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<unsigned>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<unsigned>(c - 'A' + 10);
    }
    return std::nullopt;
}

}  // namespace tarnwick
