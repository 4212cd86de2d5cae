// SPDX-License-Identifier: GPL-2.0-or-later
// The program's version record: its name, maker, legal notice and product
// version, fixed when the program is built. The main window's caption and the
// About box are made from it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnwick {

struct VersionRecord {
    std::string_view productName;
    std::string_view companyName;
    std::string_view legalCopyright;
    // Four 16-bit numbers, most significant first: major, minor, release
    // candidate (0 for a release), build.
    std::array<std::uint16_t, 4> productVersion{};
    // The license under which the program may be passed on.
    std::string_view license;
};

// The record this program was built with.
const VersionRecord& programVersion();

// "Tarnwick v1.30-rc1" for 1.30.1.0, "Tarnwick v1.05" for 1.5.0.0.
std::string windowCaption(const VersionRecord& record);

// The About box's six lines: name, version, an empty line, legal notice,
// company name, license, each ended by a line break.
std::string aboutText(const VersionRecord& record);

}  // namespace tarnwick
