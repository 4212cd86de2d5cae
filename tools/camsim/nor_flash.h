// SPDX-License-Identifier: GPL-2.0-or-later
// The NOR flash of the simulated camera: one catalogue chip's bytes and
// sector layout.
//
// As on the real part, programming can only clear bits (each byte becomes
// old AND new), and only an erase sets bits again, a whole sector or the
// whole chip at a time. A chip without a sector map can only be erased whole.
//
// Not thread-safe: the camera guards it with its lock.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "flash_catalogue.h"

namespace tarnwick {

inline constexpr std::uint8_t kErasedByte = 0xFF;

class NorFlash {
public:
    // Raises std::invalid_argument for a name that no catalogue row has, or
    // for the row without a size.
    explicit NorFlash(std::string_view chipName);

    [[nodiscard]] const FlashChip& chip() const { return chip_; }
    [[nodiscard]] std::uint32_t size() const { return static_cast<std::uint32_t>(bytes_.size()); }
    // The range [address, address + count) lies in the chip.
    [[nodiscard]] bool contains(std::uint32_t address, std::uint32_t count) const;

    // False when the address is no sector start of the chip.
    bool eraseSector(std::uint32_t sectorStart);
    void eraseChip();
    // The range must lie in the chip.
    void program(std::uint32_t address, std::span<const std::uint8_t> data);
    void preset(std::uint32_t address, std::span<const std::uint8_t> data);
    [[nodiscard]] std::span<const std::uint8_t> read(std::uint32_t address, std::uint32_t count) const;
    [[nodiscard]] bool isBlank(std::uint32_t address, std::uint32_t count) const;

    // The sector that starts at this address, if one does.
    [[nodiscard]] const FlashSector* sectorAt(std::uint32_t sectorStart) const;

private:
    [[nodiscard]] std::span<std::uint8_t> range(std::uint32_t address, std::size_t count);

    const FlashChip& chip_;
    std::vector<FlashSector> sectors_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tarnwick
