// SPDX-License-Identifier: GPL-2.0-or-later
// The SHA-256 of bytes, by which the history names an image as programmed
// and a package file, so that a record can be matched with a file months
// later. Any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace tarnwick {

// 64 lower-case hexadecimal digits, as sha256sum prints them.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);
// The same of a file, read a piece at a time; nothing when it cannot be read.
std::optional<std::string> FileSha256Hex(const std::filesystem::path& path);

}  // namespace tarnwick
