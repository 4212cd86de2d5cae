// SPDX-License-Identifier: GPL-2.0-or-later
// Comparisons of names without regard to case. Only ASCII letters have a
// case here: names are compared byte by byte whatever the locale, as the
// files that carry them were written. Pure functions, any thread.
#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// The text with A-Z made a-z.
std::string LowerAscii(std::string_view text);

bool EqualIgnoringCase(std::string_view a, std::string_view b) noexcept;
bool LessIgnoringCase(std::string_view a, std::string_view b) noexcept;
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) noexcept;

}  // namespace tarnwick
