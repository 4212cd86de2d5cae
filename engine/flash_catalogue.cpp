// SPDX-License-Identifier: GPL-2.0-or-later
#include "flash_catalogue.h"

#include <algorithm>
#include <array>

namespace tarnwick {
namespace {

constexpr std::uint32_t kBootSector = 0x2000;
constexpr std::uint32_t kMainSector = 0x10000;

// Bottom-boot maps: eight small sectors, then main sectors split into banks.
constexpr std::array<SectorRegion, 3> kMapM1{{{kBootSector, 8, 1}, {kMainSector, 15, 1}, {kMainSector, 48, 2}}};
constexpr std::array<SectorRegion, 3> kMapM2{{{kBootSector, 8, 1}, {kMainSector, 7, 1}, {kMainSector, 56, 2}}};
constexpr std::array<SectorRegion, 3> kMapM3{{{kBootSector, 8, 1}, {kMainSector, 31, 1}, {kMainSector, 32, 2}}};
constexpr std::array<SectorRegion, 2> kMapM4{{{kBootSector, 8, 1}, {kMainSector, 31, 2}}};

// Order matters: lookups take the first matching row.
constexpr std::array<FlashChip, 7> kChips{{
    {0x01, 0x53, "AMD", "AM29DL323GB", 0x400000, kMapM1},
    {0x04, 0x56, "Fujitsu", "MBM29DL322BE", 0x400000, kMapM2},
    {0x04, 0x53, "Fujitsu", "MBM29DL323BE", 0x400000, kMapM1},
    {0x04, 0x5F, "Fujitsu", "MBM29DL324BE", 0x400000, kMapM3},
    {0x1F, 0x26, "Atmel", "AT29LV1024", 0x40000, {}},
    {0x1F, 0xC0, "Atmel", "AT49BV16x4A", 0x200000, kMapM4},
    {0x00, 0x00, "Unknown", "Unknown", 0, {}},
}};

struct PlatformOfFlashId {
    std::uint16_t flashId;
    TargetPlatform platform;
};

constexpr std::array<PlatformOfFlashId, 4> kPlatforms{{
    {0x0153, TargetPlatform::Corvel},
    {0x0453, TargetPlatform::Corvel},
    {0x045F, TargetPlatform::Corvel},
    {0x1FC0, TargetPlatform::Sabrel},
}};

const FlashChip* firstChipWithDevice(std::uint32_t deviceId) {
    const auto row = std::ranges::find(kChips, deviceId, &FlashChip::deviceId);
    return row == kChips.end() ? nullptr : &*row;
}

const FlashChip* firstChipWithManufacturer(std::uint32_t manufacturerId) {
    const auto row = std::ranges::find(kChips, manufacturerId, &FlashChip::manufacturerId);
    return row == kChips.end() ? nullptr : &*row;
}

// Only ranges inside [0, 0xFFFFFFFF) are modelled: a start of 0xFFFFFFFF
// marks a region without a fixed address, and a range that wraps would turn
// into sectors at the bottom of the chip.
bool isModelledRange(std::uint32_t address, std::uint32_t length) {
    return length != 0 && address != 0xFFFFFFFF && length - 1 <= 0xFFFFFFFF - address;
}

}  // namespace

std::span<const FlashChip> FlashCatalogue::chips() { return kChips; }

void FlashCatalogue::setDetected(std::uint32_t manufacturerId, std::uint32_t deviceId) {
    manufacturerId_ = manufacturerId;
    deviceId_ = deviceId;
}

std::uint16_t FlashCatalogue::flashId() const {
    return static_cast<std::uint16_t>(((manufacturerId_ & 0xFF) << 8) | (deviceId_ & 0xFF));
}

TargetPlatform FlashCatalogue::platform() const {
    const auto row = std::ranges::find(kPlatforms, flashId(), &PlatformOfFlashId::flashId);
    return row == kPlatforms.end() ? TargetPlatform::Unknown : row->platform;
}

bool FlashCatalogue::isKnownDevice(std::uint32_t deviceId) const {
    return firstChipWithDevice(deviceOrDetected(deviceId)) != nullptr;
}

bool FlashCatalogue::isKnownManufacturer(std::uint32_t manufacturerId) const {
    return firstChipWithManufacturer(manufacturerOrDetected(manufacturerId)) != nullptr;
}

std::string_view FlashCatalogue::vendorName(std::uint32_t manufacturerId) const {
    const FlashChip* chip = firstChipWithManufacturer(manufacturerOrDetected(manufacturerId));
    return chip == nullptr ? kNotFound : chip->vendorName;
}

std::string_view FlashCatalogue::chipName(std::uint32_t deviceId, std::uint32_t manufacturerId) const {
    const std::uint32_t device = deviceOrDetected(deviceId);
    const std::uint32_t manufacturer = manufacturerOrDetected(manufacturerId);
    const auto row = std::ranges::find_if(kChips, [&](const FlashChip& chip) {
        return chip.deviceId == device && chip.manufacturerId == manufacturer;
    });
    return row == kChips.end() ? kNotFound : row->chipName;
}

std::uint32_t FlashCatalogue::chipSize() const {
    if (manufacturerId_ == 0 || deviceId_ == 0) {
        return 0;
    }
    const FlashChip* chip = firstChipWithDevice(deviceId_);
    return chip == nullptr ? 0 : chip->chipSize;
}

std::vector<FlashSector> FlashCatalogue::sectorsInRange(std::uint32_t address, std::uint32_t length,
                                                        std::uint32_t deviceId) const {
    std::vector<FlashSector> sectors;
    const std::uint32_t device = deviceId == 0 ? deviceId_ : deviceId;
    const FlashChip* chip = device == 0 ? nullptr : firstChipWithDevice(device);
    if (chip == nullptr || chip->sectorMap.empty() || !isModelledRange(address, length)) {
        return sectors;
    }
    // Compared as signed 32-bit values: a range reaching into the upper half
    // of the address space selects nothing, and no chip reaches there.
    const auto first = static_cast<std::int32_t>(address);
    const auto last = static_cast<std::int32_t>(address + length - 1);
    std::uint32_t cursor = 0;
    std::uint32_t index = 0;
    for (const SectorRegion& region : chip->sectorMap) {
        for (std::uint32_t i = 0; i < region.sectorCount; ++i, ++index, cursor += region.sectorSize) {
            const auto signedCursor = static_cast<std::int32_t>(cursor);
            if (signedCursor > last) {
                return sectors;
            }
            if (signedCursor >= first) {
                sectors.push_back({cursor, cursor + region.sectorSize - 1, region.sectorSize, index, region.bank});
            }
        }
    }
    return sectors;
}

std::uint32_t FlashCatalogue::deviceOrDetected(std::uint32_t deviceId) const {
    return deviceId == kDetectedId ? deviceId_ : deviceId;
}

std::uint32_t FlashCatalogue::manufacturerOrDetected(std::uint32_t manufacturerId) const {
    return manufacturerId == kDetectedId ? manufacturerId_ : manufacturerId;
}

}  // namespace tarnwick
