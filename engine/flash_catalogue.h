// SPDX-License-Identifier: GPL-2.0-or-later
// The flash chips the camera boards carry, their sector layouts, and the
// identity last read from the target.
//
// The chip table and the sector maps are compiled-in constants; a
// FlashCatalogue adds only the detected manufacturer and device ids. The
// worker thread writes the identity (setDetected) before it posts the notice
// that reports it; other threads read it only in answer to that notice or
// while no job run is in progress, so nothing here is locked.
//
// Lookups take the first matching row in table order. Ids are looked up each
// by itself unless a function says it compares the pair.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarnwick {

// A run of equal sectors. The bank is carried into every sector of the run;
// nothing decides anything by it.
struct SectorRegion {
    std::uint32_t sectorSize;
    std::uint32_t sectorCount;
    std::uint32_t bank;
};

// Regions in address order, starting at address 0, without gaps.
using SectorMap = std::span<const SectorRegion>;

// One row of the chip table.
struct FlashChip {
    std::uint32_t manufacturerId;
    std::uint32_t deviceId;
    std::string_view vendorName;
    std::string_view chipName;
    std::uint32_t chipSize;
    // Empty when the chip has no sector list.
    SectorMap sectorMap;
};

// One sector of a computed sector list; end is the address of its last byte,
// index its number within the whole chip.
struct FlashSector {
    std::uint32_t start;
    std::uint32_t end;
    std::uint32_t size;
    std::uint32_t index;
    std::uint32_t bank;

    friend bool operator==(const FlashSector&, const FlashSector&) = default;
};

// Camera family, numbered as the image-type catalogue numbers platforms.
enum class TargetPlatform : std::uint32_t { Unknown = 0, Corvel = 1, Sabrel = 2 };

// Passed as an id to the lookups, stands for the detected id.
inline constexpr std::uint32_t kDetectedId = 0xFFFFFFFF;

inline constexpr std::string_view kNotFound = "Not found";

class FlashCatalogue {
public:
    // All rows in table order; the last row is the "Unknown" chip with ids 0/0.
    static std::span<const FlashChip> chips();

    // Both ids are 0 until the first identity is stored.
    void setDetected(std::uint32_t manufacturerId, std::uint32_t deviceId);
    [[nodiscard]] std::uint32_t detectedManufacturerId() const { return manufacturerId_; }
    [[nodiscard]] std::uint32_t detectedDeviceId() const { return deviceId_; }

    // (manufacturer & 0xFF) << 8 | (device & 0xFF); 0 when nothing was read.
    [[nodiscard]] std::uint16_t flashId() const;

    // Derived from flashId alone: a chip of the table may still be Unknown.
    [[nodiscard]] TargetPlatform platform() const;

    // Some row has this id. The "Unknown" row takes part, so 0 is known.
    [[nodiscard]] bool isKnownDevice(std::uint32_t deviceId = kDetectedId) const;
    [[nodiscard]] bool isKnownManufacturer(std::uint32_t manufacturerId = kDetectedId) const;

    // Vendor of the first row with this manufacturer id, or kNotFound.
    [[nodiscard]] std::string_view vendorName(std::uint32_t manufacturerId = kDetectedId) const;

    // Name of the first row matching both ids, or kNotFound.
    [[nodiscard]] std::string_view chipName(std::uint32_t deviceId = kDetectedId,
                                            std::uint32_t manufacturerId = kDetectedId) const;

    // Size of the first row with the detected device id (the manufacturer is
    // not compared); 0 when either detected id is 0 or no row matches.
    [[nodiscard]] std::uint32_t chipSize() const;

    // The sectors whose start address lies in [address, address + length - 1],
    // each whole, in address order. deviceId 0 stands for the detected device.
    // Empty for a device without a sector map, for an empty range, and for a
    // range that starts at 0xFFFFFFFF or runs past it (such ranges lie outside
    // every chip).
    [[nodiscard]] std::vector<FlashSector> sectorsInRange(std::uint32_t address, std::uint32_t length,
                                                          std::uint32_t deviceId = 0) const;

private:
    [[nodiscard]] std::uint32_t deviceOrDetected(std::uint32_t deviceId) const;
    [[nodiscard]] std::uint32_t manufacturerOrDetected(std::uint32_t manufacturerId) const;

    std::uint32_t manufacturerId_ = 0;
    std::uint32_t deviceId_ = 0;
};

}  // namespace tarnwick
