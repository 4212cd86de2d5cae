// SPDX-License-Identifier: GPL-2.0-or-later
// Derives the camera type and version of a raw firmware file (*.bin, *.rbf).
//
// First from the version marker "(@)# " that an image may carry inside, else
// from the file's path. Nothing is reported to the user: a file that cannot be
// opened simply has no marker. Safe on any thread (reads the file only;
// devices and pipes are refused, never waited on).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "package_model.h"

namespace tarnwick {

struct VersionMarker {
    std::string firstWord;
    std::uint32_t version = 0;
};

struct FirmwareInfo {
    std::uint32_t cameraType = kNoCameraModel;
    std::uint32_t version = 0;

    friend bool operator==(const FirmwareInfo&, const FirmwareInfo&) = default;
};

// The first marker in the file and the two words after it. nullopt when the
// file cannot be opened, has no marker, or the marker text lacks a second word.
std::optional<VersionMarker> ReadVersionMarker(const std::string& path);
// The same search over an image in memory.
std::optional<VersionMarker> FindVersionMarker(std::span<const std::uint8_t> image);

// Camera type and version from the path alone: the first catalogue model
// whose lower-case name occurs in the lower-case path, and the number after
// the path's last '-'.
FirmwareInfo FirmwareInfoFromPath(std::string_view path);

// The derived values and the marker they came from (nullopt when they came
// from the path), from one read of the file.
struct FirmwareIdentity {
    FirmwareInfo info;
    std::optional<VersionMarker> marker;
};
FirmwareIdentity IdentifyFirmware(const std::string& path);

// The marker's version with camera type 0 when the file has a marker,
// otherwise FirmwareInfoFromPath.
FirmwareInfo DeriveFirmwareInfo(const std::string& path);

// Stores DeriveFirmwareInfo(item.fileName) in the item's cameraType and
// version; nothing else of the item changes.
void ImportFirmwareInfo(PackageItem& item);

}  // namespace tarnwick
