// SPDX-License-Identifier: GPL-2.0-or-later
// The texts that the window shows for the selected package item: its
// properties, its firmware file and its destination in the camera's flash.
//
// Pure functions over the package model; no widgets. Any thread, though the
// model itself belongs to the user interface thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "package_model.h"
#include "region_readings.h"

namespace tarnwick {

inline constexpr std::string_view kFileNotFoundText = "File not found!";
// The "Filesize" text before any item was shown.
inline constexpr std::string_view kNoFileSizeText = "0 Byte(s)";

struct FilePropertyTexts {
    std::string fileSize;
    std::string fileDate;

    friend bool operator==(const FilePropertyTexts&, const FilePropertyTexts&) = default;
};

// The item's properties; all empty when no item is shown. editable is the
// enabled flag of the properties "Version" and "File": set exactly when an
// item of a user-built package is shown.
struct ItemPropertyTexts {
    std::string name;
    std::string cameraType;
    std::string version;
    std::string file;
    FilePropertyTexts fileProperties;
    bool editable = false;

    friend bool operator==(const ItemPropertyTexts&, const ItemPropertyTexts&) = default;
};

// The destination panel: empty texts for an item of unknown type, and what
// was read about the item's region ("unknown" for what never was).
struct DestinationTexts {
    std::string name;
    std::string startAddress;
    std::string endAddress;
    std::string size;
    RegionValues read;

    friend bool operator==(const DestinationTexts&, const DestinationTexts&) = default;
};

// The camera model's name ("None" for 0); empty when the catalogue lacks it.
std::string CameraTypeText(std::uint32_t cameraType);

// "Filesize" and "Filedate" of the file at path. A file on disk shows its own
// size and local last-write time; a missing one shows the stored item's size
// and time when one is given (packages read from a file), "File not found!"
// otherwise. An empty path shows no size.
FilePropertyTexts DescribeFile(std::string_view path, const PackageItem* stored);

// The properties of item (nullptr: none selected or not found) of package.
// Files of a user-built package are looked up on disk with no stored fallback.
ItemPropertyTexts DescribeItem(const Package* package, const PackageItem* item);

// Start "0x%08X"; end = start + size - 1 in unsigned 32-bit arithmetic.
DestinationTexts DescribeDestination(const PackageItem* item, const RegionReadings& readings);

// A version typed by the user: major, then minor after the first of ",", ".",
// ";", ":", each a decimal number after any spaces that ends at the first
// non-digit; no separator makes the whole number the version. nullopt when a
// part has no digits, or outgrows its 8 bits (the whole number 16 bits),
// which would spill into the other part.
std::optional<std::uint32_t> ParseEditedVersion(std::string_view text);

// Stores the typed version in the item; false, with the item unchanged, when
// ParseEditedVersion refuses the text.
bool SetEditedVersion(PackageItem& item, std::string_view text);

}  // namespace tarnwick
