// SPDX-License-Identifier: GPL-2.0-or-later
// Decoding of the base64 text (RFC 4648 alphabet) that package files carry.
//
// Pure function; safe on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tarnwick {

// Decodes alphabet characters up to the end or the first '='; whatever
// follows the first '=' is ignored. Fails (nullopt) for an empty text, a '='
// after 0 or 1 characters of a group of four, and any character outside the
// alphabet (white space included). Bits of an incomplete last byte are dropped.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);

}  // namespace tarnwick
