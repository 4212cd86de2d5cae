// SPDX-License-Identifier: GPL-2.0-or-later
// The 16-byte identifier of an image type, and its text form.
//
// Pure value type and pure functions; safe on any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// Field layout of the identifier as package files and the package list show it.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    friend constexpr bool operator==(const Guid&, const Guid&) = default;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case digits.
std::string FormatGuid(const Guid& guid);

// Reads five groups of hexadecimal digits separated by runs of '{', '-' and '}'.
// Each group may have leading white space and must start with a digit; the
// first four must hold nothing but digits, the fifth gives the last six bytes
// from its leading digits. Values wider than their field keep their low bits.
// Anything else (no text, fewer or more groups) is rejected.
std::optional<Guid> ParseGuid(std::string_view text);

// The same, with the all-zero identifier for a rejected text, as the readers
// of package files and of the package list want it.
Guid ParseGuidOrZero(std::string_view text);

}  // namespace tarnwick
