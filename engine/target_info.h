// SPDX-License-Identifier: GPL-2.0-or-later
// What the camera's boot code reported.
//
// Owned by the worker and written only on the worker thread, by the boot
// commands and the connection procedure; the user interface reads it only in
// answer to a notice posted after the write, or while the worker is idle.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "flash_catalogue.h"

namespace tarnwick {

inline constexpr std::size_t kInfoBlockCapacity = 4096;

struct TargetInfo {
    // The boot code's version text as it sent it (8-bit, no terminator).
    std::string versionText;
    // major * 100 + minor parsed from versionText; 0 until one was parsed.
    std::uint16_t bootVersion = 0;
    // Holds the detected flash identity.
    FlashCatalogue flash;
    // The last blank check reported status 1.
    bool blank = false;
    bool connected = false;
    std::uint32_t infoBlockLength = 0;
    std::array<std::uint8_t, kInfoBlockCapacity> infoBlock{};
};

}  // namespace tarnwick
