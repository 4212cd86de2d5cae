// SPDX-License-Identifier: GPL-2.0-or-later
#include "nor_flash.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace tarnwick {
namespace {

const FlashChip& chipNamed(std::string_view name) {
    const auto chips = FlashCatalogue::chips();
    const auto found = std::ranges::find(chips, name, &FlashChip::chipName);
    if (found == chips.end() || found->chipSize == 0) {
        throw std::invalid_argument("unknown flash chip: " + std::string(name));
    }
    return *found;
}

}  // namespace

NorFlash::NorFlash(std::string_view chipName)
    : chip_(chipNamed(chipName)),
      sectors_(FlashCatalogue().sectorsInRange(0, chip_.chipSize, chip_.deviceId)),
      bytes_(chip_.chipSize, kErasedByte) {}

bool NorFlash::contains(std::uint32_t address, std::uint32_t count) const {
    return address <= bytes_.size() && count <= bytes_.size() - address;
}

const FlashSector* NorFlash::sectorAt(std::uint32_t sectorStart) const {
    const auto found = std::ranges::find(sectors_, sectorStart, &FlashSector::start);
    return found == sectors_.end() ? nullptr : &*found;
}

bool NorFlash::eraseSector(std::uint32_t sectorStart) {
    const FlashSector* sector = sectorAt(sectorStart);
    if (sector == nullptr) {
        return false;
    }
    std::ranges::fill(range(sector->start, sector->size), kErasedByte);
    return true;
}

void NorFlash::eraseChip() { std::ranges::fill(bytes_, kErasedByte); }

void NorFlash::program(std::uint32_t address, std::span<const std::uint8_t> data) {
    const auto cells = range(address, data.size());
    std::ranges::transform(cells, data, cells.begin(), [](std::uint8_t old, std::uint8_t value) {
        return static_cast<std::uint8_t>(old & value);
    });
}

void NorFlash::preset(std::uint32_t address, std::span<const std::uint8_t> data) {
    std::ranges::copy(data, range(address, data.size()).begin());
}

std::span<const std::uint8_t> NorFlash::read(std::uint32_t address, std::uint32_t count) const {
    if (!contains(address, count)) {
        throw std::out_of_range("flash range outside the chip");
    }
    return std::span(bytes_).subspan(address, count);
}

bool NorFlash::isBlank(std::uint32_t address, std::uint32_t count) const {
    return std::ranges::all_of(read(address, count), [](std::uint8_t byte) { return byte == kErasedByte; });
}

std::span<std::uint8_t> NorFlash::range(std::uint32_t address, std::size_t count) {
    if (count > bytes_.size() || !contains(address, static_cast<std::uint32_t>(count))) {
        throw std::out_of_range("flash range outside the chip");
    }
    return std::span(bytes_).subspan(address, count);
}

}  // namespace tarnwick
